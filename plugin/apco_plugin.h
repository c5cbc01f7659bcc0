// CApcoPlugin: the engine behind one host instance. It owns the signal chain (C4FM and FM
// demodulators, P25 frame decoder with its vocoder, resamplers, filters, the IF spectrum), the
// audio output, the WAV file, the host-call queue and the main window, and it binds itself to
// the receiver library, whose stream thread delivers the IF blocks.
//
// Threads. Construction, the second stage (OnWindowReady), host notifications, the receiver
// check and destruction run on the host's GUI thread; LocalIFCallback and ProcessData on the
// receiver's stream thread. The stream thread reaches the window only by posted or sent
// private messages and by DisplaySpectrum; it never calls the host. State they share:
//   - m_busy / m_closing: the stream thread sets busy before it tests closing, the destructor
//     sets closing before it waits for busy to clear, so no block enters a dying object;
//   - the requests of the GUI thread (resets, FFT size, scan mode), the scanning flags, the
//     squelch-state word and the enable flag: atomics read once per block;
//   - the host-call queue: m_dequeCS; the free-audio-buffer pool: m_poolLock; the WAV file and
//     the player state: m_fileLock. None of these is held while a message is sent.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "dsp/ctcss_detector.h"
#include "dsp/dcs_detector.h"
#include "dsp/fft.h"
#include "dsp/fir_filter.h"
#include "dsp/fm_demodulator.h"
#include "dsp/resampler.h"
#include "dsp/voice_activity_detector.h"
#include "foundation/critical_section.h"
#include "foundation/item_array.h"
#include "foundation/scratch_buffer.h"
#include "foundation/string.h"
#include "p25/apco_frame_decoder.h"
#include "p25/c4fm_demodulator.h"
#include "plugin/host_call_record.h"
#include "plugin/host_protocol.h"
#include "plugin/receiver_api.h"
#include "plugin/tsb.h"
#include "plugin/wave_file.h"
#include "plugin/wave_out_player.h"

class CK927ApcoPluginWindow;
class CApcoPluginEvents;
class MessageDialog;
class Object;

class CApcoPlugin : public IAudioBufferOwner {
public:
    static constexpr uint32_t kDefaultIfRate = 48000;
    static constexpr uint32_t kOutputRate = 16000;
    static constexpr uint32_t kVoiceRate = 8000;
    static constexpr int kVoiceBlockSamples = 512;
    static constexpr int kAudioBufferCount = 10;
    static constexpr int kAudioBufferSamples = 1024;
    static constexpr int kStatusCountdownDone = 20;  // analogue blocks muted after P25 ends
    static constexpr uint32_t kSettlingBaseSamples = 1536;
    // The spectrum linearisation in the receiver's EEPROM: bytes 216..226, their sum at 227.
    static constexpr int kLinearizationOffset = 216;
    static constexpr int kLinearizationCoeffs = 11;

    // Player states.
    enum { kPlayerIdle = 0, kPlayerPlaying = 1, kPlayerRecording = 3 };
    // Pause reasons (bits).
    enum { kPauseUser = 1, kPauseSquelched = 2, kPauseNoP25 = 4 };
    // Demodulation modes.
    enum { kModeBoth = 0, kModeP25 = 1, kModeFm = 2 };

    // Copies the host record, creates the main window and announces itself to the stored
    // copy (there is no callback yet). hostHandle is also the receiver handle.
    CApcoPlugin(uint32_t hostHandle, const void* hostRecord);
    virtual ~CApcoPlugin();
    CApcoPlugin(const CApcoPlugin&) = delete;
    CApcoPlugin& operator=(const CApcoPlugin&) = delete;

    HWND GetWindowHandle() const;
    CK927ApcoPluginWindow* GetWindow() const { return m_window; }
    void SetHostCallback(PluginProc callback) { m_hostCallback = callback; }

    // Calls into the host (GUI thread). 0x80000000 without a callback, once a close was
    // requested, and while the object is destroyed (except its farewell PM_SETFLAGS (0)).
    uint32_t CallPluginProc(uint32_t msg, uint32_t dwParam, uint32_t cbData, void* lpData);
    // The host asked to close while one of the plug-in's calls was under way; the instance is
    // destroyed once the outermost call has returned. Until then nothing reaches the host and
    // IF blocks are dropped; every modal loop of the instance ends at once (a box as if
    // cancelled, so the overwrite question as "no"; a menu closes) (GUI thread).
    void RequestClose();
    bool IsCloseRequested() const { return m_closeRequested.load(); }
    // From the start of a close on, no box, dialog or menu of the instance opens: nobody may be
    // there to answer it (the host may pump inside the close's own calls to it).
    void RefuseModalWindows();
    // The capabilities the plug-in offers (PM_HOSTINFO): announced at start, withdrawn on close;
    // UpdateHostFlags tells whether the plug-in demodulates for the host.
    void DemodStart();
    void DemodEnd();
    void UpdateHostFlags(bool demodulating);

    // Host notifications (GUI thread).
    void SetHostFlags(uint32_t flags) { m_hostFlags = flags & ~0x800u; }
    void EnablePlugin(uint32_t on);
    void SetReceiverFrequency(uint32_t hz);
    void OnHostMode(uint32_t mode, uint32_t cbData, void* lpData);
    void SetSquelchSettings(uint32_t bits, const void* record, uint32_t cbData);
    void SetHostSquelch(uint32_t state);
    void SetRBW(uint32_t hz);
    void SetVolume(uint32_t volume);
    void SetMute(uint32_t mute);
    void SetScanner(uint32_t on);
    void SetHostInfo(const void* record, uint32_t cbData);

    // Second stage, on WM_APCO_INIT; then the first receiver connection.
    void OnWindowReady();
    int ConnectReceiver();  // 1 when the IF stream is hooked
    void CheckReceiver();   // the 1000 ms presence poll
    void SetDemodulationMode(uint32_t mode);
    void SendScanningSpectrum();
    void SendDecoderEvents();
    // The window's host-call event: direct 1 calls the host with the caller's record; direct 0
    // takes one record from the queue.
    void HandleCallPluginProc(HostCallRecord* record, uint32_t size, int direct);

    // The receiver library's IF callback (stream thread).
    static void VKT_STDCALL IFStreamCallback(void* context, const int16_t* samples, uint32_t bytes, uint32_t rateHz);
    void LocalIFCallback(const int16_t* samples, uint32_t bytes, uint32_t rateHz);
    void ProcessData(const int16_t* samples, uint32_t count);

    // IAudioBufferOwner: the player gives back a played or refused buffer (GUI or stream thread).
    void ReturnAudioBuffer(AudioBuffer* buffer) override;

    // Sample conversions: x / 32768, and radians to 16 bits (x * 32767 / pi, nearest).
    static void Int16ToFloat(float* out, const int16_t* in, uint32_t count);
    static void FloatToInt16(int16_t* out, const float* in, uint32_t count);
    // Decoded voice must not be played when its algorithm identifier says encrypted.
    static bool IsEncryptedAlgid(int algid) { return algid >= 0 && algid <= 255 && algid != 0x80; }

    // Digital squelch: whether the identifiers fail the enabled code lists (1 squelched).
    int MatchSquelchCodes(int32_t nac, int32_t tgid, int32_t sourceId, int32_t destinationId);
    void SetSquelchType(uint32_t bits);

    // Inspection for tests and benchmarks.
    uint32_t GetDemodulationMode() const { return m_demodMode; }
    uint32_t GetRequestedFftSize() const { return m_requestedFftSize; }
    uint32_t GetSquelchState() const { return m_squelchState; }

private:
    struct ReceiverEeprom;

    void CreatePluginWindow();
    void SendHostRecord(uint8_t* record, bool keep);
    // The held-back scanning spectrum's delay (GUI thread).
    void StartScanningDelay();
    void DropHeldSpectrum();
    void BindWindowEvents();
    void ReadReceiverEeprom();
    void SetIFSampleRate(uint32_t hz, bool force = false);
    void UpdateAudioFilter();
    bool IsClosing() const { return m_closing.load(); }

    // Processing pieces (stream thread).
    void ApplyRequests();
    void ScanningRoad(const int16_t* samples, uint32_t count);
    bool PlaybackStep(const int16_t** samples, uint32_t* count);
    void RecordIF(const int16_t* samples, uint32_t count);
    uint32_t PumpIFFile(uint32_t count);
    void PumpAudioFile(uint32_t count);
    void ReadDecodedFields(int transmissionType);
    void AnalogueRoad(const float* block, uint32_t count);
    void P25Road(int readyBlocks);
    // Squelch zeroing, host hand-over and output of one block of output-rate audio.
    void DeliverAudio(const int16_t* samples, uint32_t count, bool mute);
    uint32_t BuildAudioBlock(const int16_t* samples, uint32_t count);
    int OutputAudio(const int16_t* samples, uint32_t count);
    bool GetFreeAudioBuffer();
    void PushHostCall(HostCallRecord* record);
    LRESULT SendToWindow(UINT msg, WPARAM wParam, LPARAM lParam);
    void PostToWindow(UINT msg, WPARAM wParam, LPARAM lParam);

    // Squelch evaluation (apco_plugin_squelch.cpp). The code lists are read through a copy
    // refreshed under m_squelchCS on every change, never from the window's lists directly.
    void EvaluateSquelch();
    void EvaluateDigitalSquelches(int16_t* audio, uint32_t count);
    void EvaluateVoiceSquelch(int16_t* audio, uint32_t count);
    uint32_t MeasureNoiseLevel(const int16_t* audio, uint32_t count);
    void HighPassFilter(int16_t* audio, uint32_t count);
    bool SquelchReportDue(uint32_t threshold) const;
    void ReportSquelch(uint32_t status, const SquelchParams& measured);
    void RefreshSquelchCodes();
    void UpdatePauseUnderSquelch(bool squelched);
    // Settings (apco_plugin_settings.cpp).
    void LoadSettings();
    void SaveSettings();
    void LoadSquelchCodes(HKEY key, const char* name, uint32_t bit);
    void SaveSquelchCodes(HKEY key, const char* name, uint32_t bit);
    void LoadAudioDir(const String& folder);
    // Call log (apco_plugin_log.cpp).
    void OpenLogFile();
    void CloseLogFile();
    void WriteLogEntry();
    bool WriteLogHeader();
    bool WriteLogField(const char* text, bool last);
    void LogEvent();
    // Window-event handlers (apco_plugin_handlers.cpp).
    void BindSettingsEvents();
    void ReleaseHandlerObjects();  // after the window is gone
    void OpenFile(const char* name);
    void StartPlayback();
    void StopPlayRec();
    void PausePlayback(int on);
    void SeekFile(uint32_t bytes);
    void SkipSeconds(int seconds);
    void StartRecording();
    bool ConfirmOverwrite(const String& path);
    void SetWaveOutDevice(int index);
    void ReopenOutput(uint32_t rateHz, int device);
    void SetAudioFilterEnabled(bool on);
    void SetPauseUnderSquelchOption(bool on);
    void SetPauseNoApcoOption(bool on);

    // Window-event thunks (the window's Event members call member functions with the sender).
    void OnInitializeEvent(Object* sender);
    void OnCallPluginProcEvent(Object* sender, HostCallRecord* record, uint32_t size, int direct);
    void OnDemodModeEvent(Object* sender, uint32_t mode);
    void OnScanningDelayEvent(Object* sender);
    void OnRcvCheckEvent(Object* sender);

    // Owned objects.
    CK927ApcoPluginWindow* m_window = nullptr;
    PluginProc m_hostCallback = nullptr;
    WaveOutPlayer* m_player = nullptr;
    WaveFile m_waveFile;
    CApcoFrameDecoder m_decoder;
    CC4fmDemodulator m_c4fm;
    CResampler m_ifResampler;
    CResampler m_voiceResampler;
    CFirFilter* m_noiseFilter = nullptr;
    CFirFilter* m_afFilter = nullptr;
    uint8_t* m_hostRecord = nullptr;

    // Queues.
    ItemArray m_audioBufferPool{16, 64};  // ScratchBuffer<int16_t>* of the free buffers
    CriticalSection m_poolLock;
    ItemArray m_hostCalls{16, 4096};  // HostCallRecord* waiting for the GUI thread
    CriticalSection m_dequeCS;

    // Work buffers (stream thread).
    ScratchBuffer<float> m_ifFloat;
    ScratchBuffer<float> m_spectrumBins;
    ScratchBuffer<int16_t> m_fileSamples;
    ScratchBuffer<int16_t> m_analogAudio;
    ScratchBuffer<int16_t> m_outputBlock;
    AudioBuffer m_audioBuffers[kAudioBufferCount];
    AudioBuffer* m_currentBuffer = nullptr;
    uint32_t m_currentFill = 0;
    ScratchBuffer<uint8_t> m_audioRecord;  // the AudioBlockRecord sent to the host
    ScratchBuffer<float> m_scanSpectrum;   // held-back scanning spectrum (GUI thread)
    uint32_t m_scanSpectrumBytes = 0;

    TSB m_tsb{10};
    CFmDemodulator m_fm;
    CFFT m_fft{512, 4};
    CVoiceActivityDetector m_vad;
    CCtcssDetector m_ctcss;
    CDcsDetector m_dcs;

    // Flags.
    std::atomic<bool> m_enabled{true};
    bool m_receiverPresent = true;
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_closeRequested{false};
    // Set once the stored settings are read: a close before that must not save the defaults
    // over them.
    bool m_settingsLoaded = false;
    std::atomic<bool> m_busy{false};  // a block is being processed
    std::atomic<bool> m_resetDemodulator{false};
    std::atomic<bool> m_resetSpectrum{false};
    std::atomic<bool> m_resetDecoder{false};
    std::atomic<bool> m_resetAudioFill{false};  // drop the partly filled audio buffer
    std::atomic<bool> m_scanning{false};
    std::atomic<bool> m_scanSpectrumSent{false};
    std::atomic<bool> m_delayPending{false};
    bool m_delayRunning = false;  // the scanning delay runs for the held-back spectrum (GUI thread)
    // Counted up by every frequency change. The stream resets the spectrum once per count and
    // tags the scanning spectrum it sends with the count it was begun under.
    std::atomic<uint32_t> m_spectrumGeneration{0};
    uint32_t m_fftGeneration = 0;  // stream thread
    std::atomic<uint32_t> m_sentSpectrumGeneration{0};
    std::atomic<bool> m_settled{false};
    std::atomic<bool> m_eventsPending{false};
    bool m_modeGuard = false;  // a PM_MODE call is under way
    bool m_pauseUnderSquelch = false;
    bool m_pauseNoApco = false;
    bool m_afEnabled = false;

    // Numbers.
    CriticalSection m_fileLock;  // m_waveFile, m_playerState, m_audioFile, m_pauseReasons
    int m_playerState = kPlayerIdle;
    bool m_audioFile = false;
    uint32_t m_fileRate = 0;
    uint32_t m_pauseReasons = 0;
    std::atomic<uint32_t> m_demodMode{kModeBoth};
    uint32_t m_outputRate = kOutputRate;
    uint32_t m_streamRate = kDefaultIfRate;
    std::atomic<uint32_t> m_squelchState{0};  // bit 1 host, bit 2 digital
    std::atomic<uint32_t> m_currentIfRate{kDefaultIfRate};
    uint32_t m_eepromWord = 0xFFFFFFFFu;
    std::atomic<uint32_t> m_receiverHz{0};
    std::atomic<uint32_t> m_squelchFlag{0};
    uint32_t m_levelSqVal = 0, m_noiseSqVal = 1000, m_voiceSqVal = 0, m_dcsSqVal = 0;
    int32_t m_ctcssSqVal = -1;
    uint32_t m_hostFlags = 0;
    uint32_t m_savedVolume = 0;
    bool m_volumeRead = false;  // m_savedVolume came from the receiver
    uint32_t m_currentFftSize = 4096;
    std::atomic<uint32_t> m_requestedFftSize{4096};
    std::atomic<int> m_scanModeRequest{0};  // 0 none, 2 armed, 1 due
    std::atomic<uint32_t> m_settlingCounter{0};
    std::atomic<uint32_t> m_samplesToSkip{0};
    int m_afDeemphasis = -60;
    int m_afFilterLen = 512;
    int m_afFreqHigh = 4000;
    int m_afFreqLow = 0;
    bool m_afLowpass = false;
    std::atomic<int> m_statusCountdown{0};
    std::atomic<uint32_t> m_p25Seen{0};
    uint32_t m_bitErrorWord = 0;  // tenths of a percent
    int32_t m_nac = -1, m_tgid = -1, m_sourceId = -1, m_destinationId = -1;
    ApcoParams m_params;
    static constexpr uint32_t kMediaRing = 64;
    ApcoParams m_mediaRing[kMediaRing];
    uint32_t m_mediaNext = 0;
    uint32_t m_playPosition[2] = {0, 0};
    bool m_windowReady = false;

    ReceiverApi m_receiver;
    uint32_t m_receiverHandle;

    // Squelch settings and the stream thread's copy of the code lists.
    struct SquelchCodes {
        ScratchBuffer<uint32_t> codes;
        uint32_t count = 0;
        bool present = false;
    };
    CriticalSection m_squelchCS;
    SquelchCodes m_squelchCodes[4];  // NAC, TGID, SID, DID
    std::atomic<uint32_t> m_squelchType{0};
    std::atomic<bool> m_invertSquelch{false};
    std::atomic<uint32_t> m_squelchBer{0};
    float m_noiseLevel = 0.0f;
    int32_t m_highPassIn = 0;
    float m_highPassOut = 0.0f;
    ScratchBuffer<int16_t> m_noiseWork;

    // Call log (GUI thread).
    HANDLE m_logFile = INVALID_HANDLE_VALUE;
    bool m_logOpen = false;
    bool m_logHeaderWritten = false;
    uint32_t m_loggingParams = 0x80000001u;

    // Player and output device (GUI thread).
    int m_deviceIndex = -1;
    String m_deviceName;
    bool m_showingVolume = false;  // the window's volume field echoes what it is shown
    // The overwrite question while it is asked (ConfirmOverwrite owns it).
    MessageDialog* m_overwriteDialog = nullptr;
    friend class CApcoPluginEvents;
    CApcoPluginEvents* m_events = nullptr;  // the window's events land here
};
