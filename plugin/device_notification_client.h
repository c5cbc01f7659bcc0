// DeviceNotificationClient: the listener that the system's audio service calls when audio
// endpoints come, go or change. It does nothing on the service's thread but post WM_USER to
// the window it was given, with wParam 1 default device changed, 2 added, 3 removed, 4 state
// changed, 5 property changed, and lParam 0.
//
// Its owner deletes it (Release never does) and must have it unregistered first: Unregister,
// or the destructor, which unregisters when still registered. The reference count is not
// atomic: the object's lifetime is its owner's.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

class DeviceNotificationClient : public IMMNotificationClient {
public:
    enum Code : WPARAM { kDefaultChanged = 1, kAdded = 2, kRemoved = 3, kStateChanged = 4, kPropertyChanged = 5 };

    DeviceNotificationClient() = default;
    virtual ~DeviceNotificationClient();
    DeviceNotificationClient(const DeviceNotificationClient&) = delete;
    DeviceNotificationClient& operator=(const DeviceNotificationClient&) = delete;

    // Keeps the window and registers with the device enumerator once; 1 when registered (now or
    // before), else 0 and the window is forgotten.
    int Register(HWND window);
    // Withdraws from the enumerator; afterwards nothing is posted.
    void Unregister();
    bool IsRegistered() const { return m_registered; }
    HWND GetWindow() const { return m_window; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR deviceId, DWORD newState) override;
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR deviceId) override;
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR deviceId) override;
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR deviceId) override;
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR deviceId, const PROPERTYKEY key) override;

protected:
    // The system's enumerator (a test may hand out its own); null when it cannot be made.
    virtual IMMDeviceEnumerator* CreateEnumerator();

private:
    HRESULT Post(WPARAM code);

    ULONG m_refCount = 0;
    HWND m_window = nullptr;
    bool m_registered = false;
};
