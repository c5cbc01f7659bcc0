// CSetupDialog: the setup window "K927 APCO P25 Decoder Setup". It shows the settings the main
// window does not: the wave-out device, the two recording pauses, the call log (file, interval
// or every change, squelch filter, on/off) and the FM path's audio filter (on/off, low-pass or
// band-pass, cut-offs, de-emphasis, length) with its response graph; plus Help, About and OK.
//
// The window never applies a setting: every user change leaves at once through one of its 13
// Events, with the window as sender, and the owner applies it and may show the accepted value
// back through the setters. OK and closing the window only raise OnClose; the owner hides it.
//
// Silent flag of the setters: set, the value is shown (fields, graph, buttons) and no Event is
// raised (the owner loading stored settings); clear, the Event is raised once, with the value
// that finally stands after clamping, when that value differs from the one shown before. A
// value typed into a cut-off field goes through the same clamping setter, so the owner never
// hears a cut-off the window does not show.
//
// Wave-out devices: the list positions are device indices; the choice follows the device's
// name when the list is rebuilt after the system reports a device added, removed or changed
// (WM_USER with wParam 2, 3 or 4, posted by the device listener from the audio service's
// thread). GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/string.h"
#include "plugin/mixer_source_selector.h"
#include "toolkit/component.h"
#include "toolkit/event.h"

class Button;
class CAboutDialog;
class CAudioFilterGraph;
class CFirFilter;
class CParamEdit;
class ComboBox;
class DeviceNotificationClient;
class Edit;
class FixedPointEdit;
class Label;
class Panel;
class PopupMenu;
class SpinControl;

// Creates the device listener for a window and keeps it. Its destructor unregisters the
// listener and deletes it: the audio service must not call into code that is going away.
class CDeviceNotifyHolder {
public:
    CDeviceNotifyHolder() = default;
    virtual ~CDeviceNotifyHolder();
    CDeviceNotifyHolder(const CDeviceNotifyHolder&) = delete;
    CDeviceNotifyHolder& operator=(const CDeviceNotifyHolder&) = delete;

    // 1 when the listener posts to the window (already, or now registered), else 0.
    int SetWindow(HWND window);
    // Unregisters and deletes the listener; the holder can be pointed at a window again.
    void Release();
    DeviceNotificationClient* GetListener() const { return m_listener; }
    HWND GetWindow() const { return m_window; }

protected:
    virtual DeviceNotificationClient* Create();

private:
    DeviceNotificationClient* m_listener = nullptr;
    HWND m_window = nullptr;
};

class CSetupDialog : public Component {
public:
    static constexpr int kMaxCutoffHz = 8000;
    // The limits of the "Filter Length" and "Deemphasis" fields.
    static constexpr int kMinFilterTaps = 16;
    static constexpr int kMaxFilterTaps = 4096;
    static constexpr int kMinDeemphasisTenths = -100;
    static constexpr int kMaxDeemphasisTenths = 0;
    static constexpr uint32_t kLogEveryChange = 0x80000000u;  // else by interval
    static constexpr uint32_t kLogUseSquelch = 0x40000000u;
    static constexpr uint32_t kLogIntervalMask = 0xFFFFu;  // seconds, 1..3600
    static constexpr COLORREF kIndicatorOn = 0x00FF00;
    static constexpr COLORREF kIndicatorOff = 0x004000;

    CSetupDialog(HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle);
    ~CSetupDialog() override;

    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Recording pauses: shown, no Event.
    void SetPauseUnderSquelch(int on);
    void SetPauseNoApco(int on);
    int GetPauseUnderSquelch() const { return m_pauseUnderSquelch; }
    int GetPauseNoApco() const { return m_pauseNoApco; }

    // Audio filter.
    void SetAFEnabled(int on);  // raises OnAFEnable when it changes, as a click does
    int IsAFEnabled() const { return m_filterEnabled; }
    void SetAFLowpass(int lowpass, int silent);
    // Low cut-off: at most high - 1, at least 0. Silent by default: the owner's call shows a
    // stored value.
    void SetAFFreqLow(int hz, int silent = 1);
    // High cut-off: above the low one (above 0 in low-pass mode), at most 8000.
    void SetAFFreqHigh(int hz, int silent);
    // Clamped to the field's limits; a value that had to be clamped is reported even when
    // silent, as the owner's own value does not stand.
    void SetAFDeemphasis(int tenthsDbPerOctave, int silent);
    void SetAFFilterLen(int taps, int silent);
    int GetAFLowpass() const { return m_lowpass; }
    int GetAFFreqLow() const { return m_freqLow; }
    int GetAFFreqHigh() const { return m_freqHigh; }
    int GetAFDeemphasis() const { return m_deemphasis; }
    int GetAFFilterLen() const { return m_filterLen; }
    // The graph draws this filter's response.
    void SetAudioFilter(CFirFilter* filter);
    // Type, cut-offs, de-emphasis and length of the filter into the controls (nothing for null).
    void ReadAudioFilterParams(CFirFilter* filter);
    void EnableControlsForDemodMode(int flag);
    bool IsFilterGroupEnabled() const;

    // Call log.
    void SetLoggingParams(uint32_t word);
    uint32_t GetLoggingParams() const { return m_loggingParams; }
    void SetLoggingEnabled(int on);
    int IsLoggingEnabled() const;
    void SetLogFileName(const char* name);
    // The stored name; with useDefault, the default path when the name is empty.
    String GetLogFileName(int useDefault = 0) const;
    // The documents folder + "\Quorvane\APCO\ApcoLog.csv"; empty when there is no such folder.
    static String GetDefaultLogFileName();

    // Help: "\K927Apco.chm" in the host's plug-in folder (the value "SearchPath" of HKLM
    // "SOFTWARE\VKT", opened for reading), else in "C:\Program Files\Quorvane\Plugins".
    static String GetHelpFilePath(HKEY root = HKEY_LOCAL_MACHINE, const char* key = "SOFTWARE\\VKT");
    // Once per window: the big icon of that window becomes this window's.
    void CopyParentIcon(HWND window);
    HWND GetIconSource() const { return m_iconSource; }

    // Output devices.
    void FillWaveOutDevices();
    void RefreshWaveOutDevices();
    int GetPreferredWaveOutDevice();
    // -1 is the preferred device; an index beyond the list changes nothing.
    void SelectWaveOutDevice(int index);
    void SetWaveOutDeviceName(const char* name);
    String GetWaveOutDeviceName();
    int GetSelectedWaveOutDevice() const { return m_selectedDevice; }
    uint32_t GetDeviceCount() const { return m_deviceCount; }
    int GetDeviceFills() const { return m_deviceFills; }
    CDeviceNotifyHolder& GetDeviceNotifyHolder() { return m_deviceNotify; }

    CAudioFilterGraph* GetGraph() const { return m_graph; }
    CAboutDialog* GetAboutDialog() const { return m_about; }
    ComboBox* GetDeviceCombo() const { return m_deviceCombo; }

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

protected:
    // The system's side, replaceable in tests: wave-out devices, the save-file dialog, HTML
    // Help and the message box.
    virtual uint32_t CountWaveOutDevices();
    // False when the device's name cannot be read.
    virtual bool ReadWaveOutDeviceName(uint32_t index, String* name);
    virtual bool QueryPreferredDevice(DWORD* device);
    // The save-file dialog owned by this window, as the foundation's AskSaveFileName takes it:
    // true with the chosen path in buffer (size characters) when the user confirmed.
    virtual bool AskSaveFileName(const char* title, const char* filter, const char* defaultExtension, DWORD flags,
                                 char* buffer, int size);
    virtual HMODULE LoadHelpLibrary();
    virtual FARPROC FindHelpEntry(HMODULE module);
    virtual void ShowMessage(const char* text);

private:
    void CreateControls();
    Panel* MakeGroup(const char* caption, int x, int y, int height, bool dark, int* rowY);
    // An indicator and its label in a row at *y; *y leaves as the next row's top.
    Button* MakeIndicator(Panel* parent, const char* caption, int x, int* y, void (CSetupDialog::*handler)(Object*));
    static void ShowIndicator(Button* indicator, bool on);
    void ShowLogFileName();
    void AddDeviceEntries();

    // Handlers of the controls.
    void TogglePauseUnderSquelch(Object* sender);
    void TogglePauseNoApco(Object* sender);
    void HandleIndicatorLabelMouseUp(Object* sender, int keys, int x, int y);
    void HandleAFOnClick(Object* sender);
    void HandleLowpassClick(Object* sender);
    void HandleBandpassClick(Object* sender);
    void HandleAFFreqLowChange(Object* sender, int64_t value);
    void HandleAFFreqHighChange(Object* sender, int64_t value);
    void HandleGraphFreqLowChange(Object* sender, int hz);
    void HandleGraphFreqHighChange(Object* sender, int hz);
    void HandleAFDeempChange(Object* sender);
    void HandleAFLenChange(Object* sender, int64_t value);
    void SetLogEveryChange(Object* sender);
    void SetLogInterval(Object* sender);
    void ToggleUseSquelchFilter(Object* sender);
    void HandleIntervalChange(Object* sender, int64_t value);
    void HandleLoggingEnableClick(Object* sender);
    void HandleLogFileClick(Object* sender);
    void HandleHelpClick(Object* sender);
    void HandleAboutClick(Object* sender);
    void HandleOKClick(Object* sender);
    void HandleWaveDeviceSelChange(Object* sender);

    // State.
    int m_pauseUnderSquelch = 0;
    int m_pauseNoApco = 0;
    int m_filterEnabled = 0;
    int m_lowpass = 0;
    bool m_iconCopied = false;
    uint32_t m_loggingParams = 0;
    int m_freqLow = 0;
    int m_freqHigh = 4000;
    int m_deemphasis = 0;
    int m_filterLen = 512;
    HMODULE m_helpModule = nullptr;
    uint32_t m_deviceCount = 0;
    int m_selectedDevice = -1;
    int m_deviceFills = 0;
    HWND m_iconSource = nullptr;
    MixerSourceSelector m_selector;
    CDeviceNotifyHolder m_deviceNotify;
    String m_logFileName;

    // Controls (children: deleted with the window).
    Panel* m_groupOutput = nullptr;
    Panel* m_groupRecording = nullptr;
    Panel* m_groupLogging = nullptr;
    Panel* m_groupFilter = nullptr;
    ComboBox* m_deviceCombo = nullptr;
    Button* m_pauseSquelchIndicator = nullptr;
    Button* m_pauseNoApcoIndicator = nullptr;
    Edit* m_logFileEdit = nullptr;
    Button* m_useSquelchIndicator = nullptr;
    Button* m_everyChangeIndicator = nullptr;
    Button* m_intervalIndicator = nullptr;
    CParamEdit* m_intervalField = nullptr;
    Button* m_loggingEnableButton = nullptr;
    CAudioFilterGraph* m_graph = nullptr;
    Button* m_onButton = nullptr;
    Button* m_lowpassButton = nullptr;
    Button* m_bandpassButton = nullptr;
    CParamEdit* m_freqLowField = nullptr;
    CParamEdit* m_freqHighField = nullptr;
    FixedPointEdit* m_deemphasisField = nullptr;
    SpinControl* m_deemphasisSpin = nullptr;
    CParamEdit* m_filterLenField = nullptr;
    // Indicator labels and the indicators they stand for.
    static constexpr int kIndicatorCount = 5;
    Label* m_indicatorLabels[kIndicatorCount] = {};
    Button* m_indicatorsOfLabels[kIndicatorCount] = {};
    int m_indicatorLabelCount = 0;
    // Not children.
    CAboutDialog* m_about = nullptr;
    PopupMenu* m_popupMenu = nullptr;
};
