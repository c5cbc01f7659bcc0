// The setup window's list of wave-out devices, and the holder of the device listener.
#include <new>

#include "plugin/device_notification_client.h"
#include "toolkit/combo_box.h"
#include "toolkit/listbox.h"
#include "ui/setup_dialog.h"

namespace {
// The wave mapper's query for the preferred device (DRVM_MAPPER_PREFERRED_GET).
constexpr UINT kMapperPreferredGet = 0x2015;
}  // namespace

// Listener holder ---------------------------------------------------------------------------

CDeviceNotifyHolder::~CDeviceNotifyHolder() { Release(); }

DeviceNotificationClient* CDeviceNotifyHolder::Create() { return new (std::nothrow) DeviceNotificationClient; }

int CDeviceNotifyHolder::SetWindow(HWND window) {
    if (window == m_window) return 1;
    if (!m_listener) m_listener = Create();
    if (!m_listener || !m_listener->Register(window)) return 0;
    m_window = window;
    return 1;
}

void CDeviceNotifyHolder::Release() {
    if (m_listener) {
        m_listener->Unregister();
        delete m_listener;
    }
    m_listener = nullptr;
    m_window = nullptr;
}

// Device list -------------------------------------------------------------------------------

uint32_t CSetupDialog::CountWaveOutDevices() { return m_selector.GetNumDevices(); }

bool CSetupDialog::ReadWaveOutDeviceName(uint32_t index, String* name) {
    const char* text = m_selector.GetDeviceName(index);
    if (!text) return false;
    *name = text;
    return true;
}

bool CSetupDialog::QueryPreferredDevice(DWORD* device) {
    DWORD flags = 0;
    return waveOutMessage(reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(WAVE_MAPPER)), kMapperPreferredGet,
                          reinterpret_cast<DWORD_PTR>(device), reinterpret_cast<DWORD_PTR>(&flags)) == MMSYSERR_NOERROR;
}

int CSetupDialog::GetPreferredWaveOutDevice() {
    if (CountWaveOutDevices() <= 1) return 0;
    DWORD device = 0;
    if (!QueryPreferredDevice(&device)) return 0;
    return static_cast<int>(device);
}

void CSetupDialog::SelectWaveOutDevice(int index) {
    if (index == -1) index = GetPreferredWaveOutDevice();
    if (static_cast<uint32_t>(index) >= m_deviceCount) return;
    m_selectedDevice = index;
    if (m_deviceCombo) m_deviceCombo->Select(index);
    OnWaveOutDeviceChange.Invoke(this, index);
}

void CSetupDialog::HandleWaveDeviceSelChange(Object*) {
    SelectWaveOutDevice(m_deviceCombo ? m_deviceCombo->GetCurrent() : -1);
}

void CSetupDialog::AddDeviceEntries() {
    m_deviceCount = CountWaveOutDevices();
    Listbox* list = m_deviceCombo ? m_deviceCombo->GetList() : nullptr;
    if (!list) return;
    list->Clear();
    // One entry per device, an unreadable one empty, so that list positions are device indices.
    for (uint32_t i = 0; i < m_deviceCount; ++i) {
        String name("");
        if (!ReadWaveOutDeviceName(i, &name)) name = "";
        list->Add(name);
    }
}

void CSetupDialog::FillWaveOutDevices() {
    ++m_deviceFills;
    AddDeviceEntries();
    SelectWaveOutDevice(-1);
}

void CSetupDialog::RefreshWaveOutDevices() {
    const String shown =
        m_deviceCombo && m_deviceCombo->GetCurrent() >= 0 ? m_deviceCombo->GetItemText(-1) : String("");
    AddDeviceEntries();
    SetWaveOutDeviceName(shown.CStr());
}

void CSetupDialog::SetWaveOutDeviceName(const char* name) {
    if (!name || !*name) {
        SelectWaveOutDevice(-1);
        return;
    }
    const uint32_t count = CountWaveOutDevices();
    for (uint32_t i = 0; i < count; ++i) {
        String device("");
        if (ReadWaveOutDeviceName(i, &device) && device == name) {
            SelectWaveOutDevice(static_cast<int>(i));
            return;
        }
    }
    SelectWaveOutDevice(-1);
}

String CSetupDialog::GetWaveOutDeviceName() {
    String name("");
    if (m_selectedDevice < 0 || !ReadWaveOutDeviceName(static_cast<uint32_t>(m_selectedDevice), &name))
        return String("");
    return name;
}
