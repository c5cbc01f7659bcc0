// The spectrum-analyzer panel of the main window, as far as the main window reaches it: the
// Setup button, volume, mute, notch settings and the pass-through of spectra and stream state.
// This thin panel keeps the values it is given and draws nothing; the full panel with its
// analyzer library replaces it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/event.h"
#include "toolkit/panel.h"

class Button;

class CSpectrumAnalyzerPanel : public Panel {
public:
    CSpectrumAnalyzerPanel(HWND parent, int x, int y, int width, int height, DWORD style, DWORD extra);
    ~CSpectrumAnalyzerPanel() override;

    void Initialize() {}
    void CloseAnalyzer() { m_closed = true; }
    void DisplaySpectrum(const float* samples, int count, int flag);
    void SetSampleRate(uint32_t hz) { m_sampleRate = hz; }
    void SetPlayback(uint32_t mode) { m_playback = mode; }
    void SetSquelched(bool on) { m_squelched = on; }
    void SetAudioPlayback(bool on) { m_audioPlayback = on; }
    void SetSpectrumLinearizationCoeffs(float a, float b) { m_coeffA = a; m_coeffB = b; }
    void ResetSpectrum() { ++m_resets; }
    void ResetIFSpectrumCalc() { ++m_calcResets; }
    void SetIFSpectrumFFTSize(int size) { m_fftSize = size; }

    int GetNotchEnabled() const { return m_notchEnabled; }
    void SetNotchEnabled(int on) { m_notchEnabled = on ? 1 : 0; }
    int GetNotchFrequency() const { return m_notchFrequency; }
    void SetNotchFrequency(int hz) { m_notchFrequency = hz; }
    int GetNotchWidth() const { return m_notchWidth; }
    void SetNotchWidth(int hz) { m_notchWidth = hz; }

    // 0..31; values outside are brought inside.
    int GetVolume() const { return m_volume; }
    void SetVolume(int volume);
    int IsMuted() const { return m_mute; }
    void SetMute(int on) { m_mute = on ? 1 : 0; }

    // The Setup button: the main window shows the setup window while it is down. Setting it
    // from code reports the change like a click does.
    bool IsSetupDown() const;
    void SetSetupDown(bool down);
    Button* GetSetupButton() const { return m_setupButton; }

    // What the panel was given last (read by tests of the main window).
    uint32_t GetSampleRate() const { return m_sampleRate; }
    uint32_t GetPlayback() const { return m_playback; }
    bool IsSquelched() const { return m_squelched; }
    bool IsAudioPlayback() const { return m_audioPlayback; }
    bool IsClosed() const { return m_closed; }
    int GetSpectrumCount() const { return m_spectrumCount; }
    int GetLastSpectrumLength() const { return m_lastLength; }
    int GetCalcResets() const { return m_calcResets; }

    Event<> OnSetup;
    Event<int> OnVolumeChange;
    Event<int> OnMuteChange;

private:
    void HandleSetupClick(Object* sender) { OnSetup.Invoke(this); }

    Button* m_setupButton = nullptr;
    int m_notchEnabled = 0;
    int m_notchFrequency = 5000;
    int m_notchWidth = 1000;
    int m_volume = 8;
    int m_mute = 0;
    uint32_t m_sampleRate = 48000;
    uint32_t m_playback = 0;
    bool m_squelched = false;
    bool m_audioPlayback = false;
    bool m_closed = false;
    float m_coeffA = 0.0f;
    float m_coeffB = 0.0f;
    int m_resets = 0;
    int m_calcResets = 0;
    int m_fftSize = 0;
    int m_spectrumCount = 0;
    int m_lastLength = 0;
};
