// The spectrum-analyzer panel of the main window: a tool bar (Notch with its frequency and
// width, Setup, Volume, Mute) over a host panel in which the analyzer library
// k927apcospect.dll draws the spectrum. The library is loaded from the host's plug-in folder;
// without it the panel keeps its tool bar and an empty host panel, and every forward to the
// analyzer is skipped.
//
// DisplaySpectrum may run on the stream thread; everything else runs on the GUI thread.
// CloseAnalyzer waits (letting sent messages through) until no spectrum call is under way.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/critical_section.h"
#include "plugin/vkt_interfaces.h"
#include "toolkit/event.h"
#include "toolkit/panel.h"

class Button;
class CParamEdit;

class CSpectrumAnalyzerPanel : public Panel {
public:
    static constexpr int kNotchLimit = 10000;  // the notch stays inside +-10 kHz of the IF centre

    CSpectrumAnalyzerPanel(HWND parent, int x, int y, int width, int height, DWORD style, DWORD extra);
    ~CSpectrumAnalyzerPanel() override;

    void DoOnEnable() override;

    void Initialize() {}
    void CloseAnalyzer();
    void DisplaySpectrum(const float* samples, int count, int flag);
    void SetSampleRate(uint32_t hz);
    void SetPlayback(uint32_t mode);
    void SetSquelched(bool on);
    void SetAudioPlayback(bool on);
    // Slot 24 gets the address of a copy the panel keeps (valid while the analyzer lives) and
    // the count; more than kAnalyzerMaxLinearization, or none, is not passed on.
    void SetSpectrumLinearizationCoeffs(const int8_t* coeffs, uint32_t count);
    void ResetSpectrum();
    void ResetIFSpectrumCalc();
    void SetIFSpectrumFFTSize(int size);
    int GetAnalyzerValue(void* pointer);
    void SetAnalyzerCentre(int value);

    int GetNotchEnabled() const { return m_notchEnabled; }
    void SetNotchEnabled(int on);
    int GetNotchFrequency() const { return m_notchFrequency; }
    void SetNotchFrequency(int hz);
    int GetNotchWidth() const { return m_notchWidth; }
    void SetNotchWidth(int hz);

    int GetVolume() const { return m_volume; }
    void SetVolume(int volume);
    int IsMuted() const { return m_mute; }
    void SetMute(int on);

    // The Setup button: the main window shows the setup window while it is down. Setting it
    // from code reports the change like a click does.
    bool IsSetupDown() const;
    void SetSetupDown(bool down);
    Button* GetSetupButton() const { return m_setupButton; }

    bool HasAnalyzer() const { return m_analyzer != nullptr; }
    bool IsSquelched() const { return m_squelched; }
    uint32_t GetSampleRate() const { return m_sampleRate; }
    uint32_t GetPlayback() const { return m_playback; }
    int GetLastSpectrumLength() const { return m_lastLength; }
    Button* GetNotchButton() const { return m_notchButton; }
    Button* GetMuteButton() const { return m_muteButton; }
    CParamEdit* GetFreqField() const { return m_freqField; }
    CParamEdit* GetWidthField() const { return m_widthField; }
    CParamEdit* GetVolumeField() const { return m_volumeField; }
    Panel* GetHostPanel() const { return m_hostPanel; }

    Event<> OnSetup;
    Event<int> OnVolumeChange;
    Event<int> OnMuteChange;
    // Two more, for the owner to bind like the others; no control of the panel fires them.
    Event<> OnSpare1;
    Event<> OnSpare2;

private:
    static void VKT_STDCALL AnalyzerCallback(uint32_t code, int32_t value, void* context);

    void LoadAnalyzerLibrary();
    void CreateToolBar();
    void CreateAnalyzerObject(DWORD style, DWORD extra);
    void SetNotchFields(uint32_t code, int32_t value);
    void Call(int slot);
    void Call(int slot, uintptr_t a);
    void Call(int slot, uintptr_t a, uintptr_t b);

    void HandleNotchClick(Object* sender);
    void HandleNotchFreqChange(Object* sender, int64_t value);
    void HandleNotchWidthChange(Object* sender, int64_t value);
    void HandleSetupDownChange(Object* sender);
    void HandleVolumeChange(Object* sender, int64_t value);
    void HandleMuteClick(Object* sender);
    void EnableNotchFields();

    Panel* m_hostPanel = nullptr;
    Panel* m_toolBar = nullptr;
    Button* m_notchButton = nullptr;
    CParamEdit* m_freqField = nullptr;
    CParamEdit* m_widthField = nullptr;
    int m_notchEnabled = 0;
    int m_allowNotch = 1;
    bool m_notchSaved = false;
    int m_mute = 0;
    ISpectrumAnalyzer* m_created = nullptr;
    uint32_t m_playback = 0;
    CParamEdit* m_volumeField = nullptr;
    Button* m_muteButton = nullptr;
    int m_last35 = -20000;
    int m_last36 = 0;
    int m_notchFrequency = -20000;
    int m_notchWidth = 0;
    int m_volume = 8;
    HMODULE m_library = nullptr;
    CreateAnalyzerFn m_createAnalyzer = nullptr;
    ISpectrumAnalyzer* m_analyzer = nullptr;
    Button* m_setupButton = nullptr;

    // Guards m_analyzer and m_displaysRunning between DisplaySpectrum and CloseAnalyzer.
    CriticalSection m_analyzerLock;
    int m_displaysRunning = 0;
    bool m_squelched = false;
    uint32_t m_sampleRate = 48000;
    int m_lastLength = 0;
    int8_t m_linearization[kAnalyzerMaxLinearization] = {};
};
