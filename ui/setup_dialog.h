// The setup window, as far as the main window reaches it: its setters and getters and its 13
// events. This thin window keeps the values it is given and has no controls; the full setup
// window with its groups, response graph and device list replaces it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/string.h"
#include "toolkit/component.h"
#include "toolkit/event.h"

class CFirFilter;

class CSetupDialog : public Component {
public:
    CSetupDialog(HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle);
    ~CSetupDialog() override = default;

    void FillWaveOutDevices() { ++m_deviceFills; }
    void CopyParentIcon(HWND window) { m_iconSource = window; }
    void SetAudioFilter(CFirFilter* filter) { m_filter = filter; }
    void ReadAudioFilterParams(CFirFilter* filter) { m_readFilter = filter; }
    void SetAFFreqLow(int hz) { m_freqLow = hz; }
    void SetPauseNoApco(int on) { m_pauseNoApco = on; }
    void SetPauseUnderSquelch(int on) { m_pauseUnderSquelch = on; }
    String GetWaveOutDeviceName() const { return m_deviceName; }
    void SetWaveOutDeviceName(const char* name) { m_deviceName = name; }
    String GetLogFileName() const { return m_logFileName; }
    void SetLogFileName(const char* name) { m_logFileName = name; }
    uint32_t GetLoggingParams() const { return m_loggingParams; }
    void SetLoggingParams(uint32_t word) { m_loggingParams = word; }
    void SetAFEnabled(int on) { m_afEnabled = on; }
    void SetLoggingEnabled(int on) { m_loggingEnabled = on; }
    void EnableControlsForDemodMode(int flag) { m_filterGroupEnabled = (flag & 0xFF) != 0; }

    int GetDeviceFills() const { return m_deviceFills; }
    HWND GetIconSource() const { return m_iconSource; }
    int IsAFEnabled() const { return m_afEnabled; }
    int IsLoggingEnabled() const { return m_loggingEnabled; }
    bool IsFilterGroupEnabled() const { return m_filterGroupEnabled; }

    Event<> OnClose;
    Event<int64_t> OnAFFreqLowChange;
    Event<int64_t> OnAFFreqHighChange;
    Event<int> OnAFFilterTypeChange;
    Event<int> OnAFFilterDeempChange;
    Event<int> OnAFLenChange;
    Event<int> OnAFEnable;
    Event<int> OnPauseUnderSquelchChange;
    Event<int> OnPauseNoApcoChange;
    Event<int> OnWaveOutDeviceChange;
    Event<> OnLoggingEnable;
    Event<> OnLogFileNameChange;
    Event<> OnLoggingParamsChange;

private:
    String m_deviceName;
    String m_logFileName;
    CFirFilter* m_filter = nullptr;
    CFirFilter* m_readFilter = nullptr;
    HWND m_iconSource = nullptr;
    uint32_t m_loggingParams = 0;
    int m_deviceFills = 0;
    int m_freqLow = 0;
    int m_pauseNoApco = 0;
    int m_pauseUnderSquelch = 0;
    int m_afEnabled = 0;
    int m_loggingEnabled = 0;
    bool m_filterGroupEnabled = true;
};
