#include "plugin/device_notification_client.h"

namespace {

const CLSID kDeviceEnumeratorClass = {0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
const IID kDeviceEnumeratorInterface = {0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
const IID kNotificationClientInterface = {0x7991EEC9, 0x7E89, 0x4D85, {0x83, 0x90, 0x6C, 0x70, 0x3C, 0xEC, 0x60, 0xC0}};
const IID kUnknownInterface = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace

DeviceNotificationClient::~DeviceNotificationClient() { Unregister(); }

IMMDeviceEnumerator* DeviceNotificationClient::CreateEnumerator() {
    IMMDeviceEnumerator* enumerator = nullptr;
    if (FAILED(CoCreateInstance(kDeviceEnumeratorClass, nullptr, CLSCTX_ALL, kDeviceEnumeratorInterface,
                                reinterpret_cast<void**>(&enumerator))))
        return nullptr;
    return enumerator;
}

int DeviceNotificationClient::Register(HWND window) {
    m_window = window;
    if (!m_registered) {
        IMMDeviceEnumerator* enumerator = CreateEnumerator();
        if (enumerator) {
            m_registered = SUCCEEDED(enumerator->RegisterEndpointNotificationCallback(this));
            enumerator->Release();
        }
    }
    if (!m_registered) m_window = nullptr;
    return m_registered ? 1 : 0;
}

void DeviceNotificationClient::Unregister() {
    // Forgetting the window first: a notification already on its way posts nothing.
    m_window = nullptr;
    if (!m_registered) return;
    IMMDeviceEnumerator* enumerator = CreateEnumerator();
    if (enumerator) {
        enumerator->UnregisterEndpointNotificationCallback(this);
        enumerator->Release();
    }
    m_registered = false;
}

HRESULT DeviceNotificationClient::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, kUnknownInterface) || IsEqualIID(iid, kNotificationClientInterface)) {
        *out = static_cast<IMMNotificationClient*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG DeviceNotificationClient::AddRef() { return ++m_refCount; }

ULONG DeviceNotificationClient::Release() {
    if (m_refCount > 0) --m_refCount;
    return m_refCount;
}

HRESULT DeviceNotificationClient::Post(WPARAM code) {
    HWND window = m_window;
    if (window) PostMessageA(window, WM_USER, code, 0);
    return S_OK;
}

HRESULT DeviceNotificationClient::OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) { return Post(kDefaultChanged); }
HRESULT DeviceNotificationClient::OnDeviceAdded(LPCWSTR) { return Post(kAdded); }
HRESULT DeviceNotificationClient::OnDeviceRemoved(LPCWSTR) { return Post(kRemoved); }
HRESULT DeviceNotificationClient::OnDeviceStateChanged(LPCWSTR, DWORD) { return Post(kStateChanged); }
HRESULT DeviceNotificationClient::OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) { return Post(kPropertyChanged); }
