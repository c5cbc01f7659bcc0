// CApcoPlugin: the handlers of the main window's events for the squelch lists, volume and
// mute, the player and recorder, the audio filter, the pause options, the output device and
// the call log. All run on the GUI thread.
//
// The WAV file and the player state are shared with the stream thread, which writes and reads
// the file under m_fileLock: every change here takes the same lock, so a recording stopped
// while the stream runs is closed (and its header completed) between two writes.
#include <cstring>
#include <new>

#include "plugin/apco_plugin.h"
#include "plugin/boundary.h"
#include "toolkit/application.h"
#include "toolkit/message_dialog.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/play_rec_panel.h"

namespace {

constexpr uint32_t kHostFlagsPlaying = 0x800;
constexpr uint32_t kHostFlagsDefault = 0x10004;

void ProcessPendingMessages() {
    if (Application* app = GetApplication()) app->ProcessMessages();
}

// The selected name without its extension "wav" and then without an inner extension "if".
String RecordingStem(const String& selected) {
    String name = selected.GetFileName();
    if (name.GetExtension().ToLower() == "wav") name = name.RemoveExtension();
    if (name.GetExtension().ToLower() == "if") name = name.RemoveExtension();
    return name.Length() ? name : String("unnamed");
}

bool FileReadable(const String& path) {
    HANDLE h = CreateFileA(path.CStr(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// In the player panel's error box. The stream thread ends a failed recording inside a message
// it sends and waits for: the box shows once that message is handled.
void ShowRecordingError(CK927ApcoPluginWindow* window, const char* before, const String& path, const char* after) {
    CPlayRecPanel* panel = window ? window->GetPlayRecPanel() : nullptr;
    if (panel) panel->ShowErrorLater((String(before) + path + after).CStr());
}

}  // namespace

// The window's events reach the plug-in object through these thunks; each runs its handler
// guarded, so nothing unwinds into the window's message handling.
class CApcoPluginEvents {
public:
    explicit CApcoPluginEvents(CApcoPlugin* plugin) : p(plugin) {}

    template <auto Method, typename... Args>
    void Forward(Object*, Args... args) {
        CallGuarded("window event", [&] { (p->*Method)(args...); });
    }
    void SquelchList(Object*, uint32_t type, int32_t value) {
        CallGuarded("OnSquelchListChange", [&] {
            if (type == kSquelchBER)
                p->m_squelchBer = value < 0 ? 0u : static_cast<uint32_t>(value);
            else
                p->RefreshSquelchCodes();
            p->EvaluateSquelch();
        });
    }
    void InvertSquelch(Object*) {
        CallGuarded("OnInvertSquelchChange", [&] {
            p->m_invertSquelch = p->m_window && p->m_window->GetInvertSquelch();
            p->EvaluateSquelch();
        });
    }
    void FreqLow(Object* s, int hz) { SetFilterValue(s, &CApcoPlugin::m_afFreqLow, hz); }
    void FreqHigh(Object* s, int hz) { SetFilterValue(s, &CApcoPlugin::m_afFreqHigh, hz); }
    void Deemphasis(Object* s, int tenths) { SetFilterValue(s, &CApcoPlugin::m_afDeemphasis, tenths); }
    void FilterLength(Object* s, int taps) { SetFilterValue(s, &CApcoPlugin::m_afFilterLen, taps); }
    void FilterType(Object*, int lowpass) {
        CallGuarded("OnAFFilterTypeChange", [&] {
            if ((lowpass != 0) == p->m_afLowpass) return;
            p->m_afLowpass = lowpass != 0;
            p->UpdateAudioFilter();
        });
    }
    void LoggingEnable(Object*) {
        CallGuarded("OnLoggingEnable", [&] {
            if (p->m_logOpen)
                p->CloseLogFile();
            else
                p->OpenLogFile();
        });
    }
    void LogFileName(Object*) {
        CallGuarded("OnLogFileNameChange", [&] {
            if (!p->m_logOpen) return;
            p->CloseLogFile();
            p->OpenLogFile();
        });
    }
    void LoggingParams(Object*) {
        CallGuarded("OnLoggingParamsChange", [&] {
            if (!p->m_window) return;
            const uint32_t word = p->m_window->GetLoggingParams();
            if (word == p->m_loggingParams) return;
            p->m_loggingParams = word;
            if (p->m_logOpen) {
                p->CloseLogFile();
                p->OpenLogFile();
            }
            p->m_window->SetLoggingParams(word);
        });
    }

private:
    // UpdateAudioFilter hands the filter to the window's graph as well.
    void SetFilterValue(Object*, int CApcoPlugin::*member, int value) {
        CallGuarded("audio filter event", [&] {
            if (p->*member == value) return;
            p->*member = value;
            p->UpdateAudioFilter();
        });
    }

    CApcoPlugin* p;
};

void CApcoPlugin::BindSettingsEvents() {
    if (!m_window) return;
    if (!m_events) m_events = new (std::nothrow) CApcoPluginEvents(this);
    CApcoPluginEvents* e = m_events;
    if (!e) return;
    CK927ApcoPluginWindow* w = m_window;
    using E = CApcoPluginEvents;
    w->OnSquelchTypeChange.Bind(e, &E::Forward<&CApcoPlugin::SetSquelchType, uint32_t>);
    w->OnSquelchListChange.Bind(e, &E::SquelchList);
    w->OnInvertSquelchChange.Bind(e, &E::InvertSquelch);
    w->OnVolumeChange.Bind(e, &E::Forward<&CApcoPlugin::SetVolume, int>);
    w->OnMuteChange.Bind(e, &E::Forward<&CApcoPlugin::SetMute, int>);
    w->OnPlayRecEnd.Bind(e, &E::Forward<&CApcoPlugin::StopPlayRec>);
    w->OnLoggingTimer.Bind(e, &E::Forward<&CApcoPlugin::WriteLogEntry>);
    w->OnApcoParamsChange.Bind(e, &E::Forward<&CApcoPlugin::LogEvent>);
    w->OnFileNameChange.Bind(e, &E::Forward<&CApcoPlugin::OpenFile, const char*>);
    w->OnStartPlay.Bind(e, &E::Forward<&CApcoPlugin::StartPlayback>);
    w->OnFilePosChange.Bind(e, &E::Forward<&CApcoPlugin::SeekFile, uint32_t>);
    w->OnPlayRecStop.Bind(e, &E::Forward<&CApcoPlugin::StopPlayRec>);
    w->OnPlayRecPause.Bind(e, &E::Forward<&CApcoPlugin::PausePlayback, int>);
    w->OnFileTimePosChange.Bind(e, &E::Forward<&CApcoPlugin::SkipSeconds, int>);
    w->OnRecordStart.Bind(e, &E::Forward<&CApcoPlugin::StartRecording>);
    w->OnAFFreqLowChange.Bind(e, &E::FreqLow);
    w->OnAFFreqHighChange.Bind(e, &E::FreqHigh);
    w->OnAFFilterTypeChange.Bind(e, &E::FilterType);
    w->OnAFFilterDeempChange.Bind(e, &E::Deemphasis);
    w->OnAFLenChange.Bind(e, &E::FilterLength);
    w->OnAFEnable.Bind(e, &E::Forward<&CApcoPlugin::SetAudioFilterEnabled, int>);
    w->OnPauseUnderSquelchChange.Bind(e, &E::Forward<&CApcoPlugin::SetPauseUnderSquelchOption, int>);
    w->OnPauseNoApcoChange.Bind(e, &E::Forward<&CApcoPlugin::SetPauseNoApcoOption, int>);
    w->OnWaveOutDeviceChange.Bind(e, &E::Forward<&CApcoPlugin::SetWaveOutDevice, int>);
    w->OnLoggingEnable.Bind(e, &E::LoggingEnable);
    w->OnLogFileNameChange.Bind(e, &E::LogFileName);
    w->OnLoggingParamsChange.Bind(e, &E::LoggingParams);
}

void CApcoPlugin::ReleaseHandlerObjects() {
    delete m_events;
    m_events = nullptr;
}

void CApcoPlugin::OpenFile(const char* name) {
    if (!m_window) return;
    CriticalSectionLock lock(&m_fileLock);
    if (m_playerState != kPlayerIdle) {
        m_window->SetWaveFile(&m_waveFile, 1);
        return;
    }
    // Any well-formed WAV file is shown with its details; only what can be played says so.
    const bool supported = name && m_waveFile.OpenRead(name) && m_waveFile.IsSupported();
    m_window->SetWaveFile(&m_waveFile, supported ? 1 : 0);
    m_waveFile.Close();
}

void CApcoPlugin::StartPlayback() {
    bool ifFile;
    uint32_t rate;
    {
        CriticalSectionLock lock(&m_fileLock);
        if (m_playerState != kPlayerIdle) return;
        if (!m_waveFile.IsOpen() && !m_waveFile.OpenRead(nullptr)) return;
        if (!m_waveFile.IsSupported()) {
            m_waveFile.Close();
            return;
        }
        rate = m_waveFile.GetSampleRate();
        ifFile = m_waveFile.IsIFFile();
    }
    PostToWindow(WM_APCO_SQUELCH, 0, 0);
    PostToWindow(WM_APCO_PLAYBACK, ifFile ? 1 : 2, 0);
    if (m_window) m_window->StartPlayback();
    const uint32_t flags = CallPluginProc(PM_GETVALUE, PN_FLAGS, 0, nullptr);
    m_hostFlags = flags == kHostNoAnswer ? kHostFlagsDefault : flags;
    CallPluginProc(PM_SETFLAGS, m_hostFlags | kHostFlagsPlaying, 0, nullptr);
    {
        // The stream thread takes the file's rate at its next block (never in mid-block).
        CriticalSectionLock lock(&m_fileLock);
        m_fileRate = rate;
        m_audioFile = !ifFile;
        m_playerState = kPlayerPlaying;
    }
    if (ifFile) {
        m_resetDemodulator = true;
        m_resetDecoder = true;
        m_decoder.SetReceiverFrequency(0xFFFFFFFFu);
        if (m_player) m_player->SetPreBuffering();
    } else {
        ReopenOutput(rate, -1);
        PostToWindow(WM_APCO_AUDIOPLAYBACK, 1, 0);
        PostToWindow(WM_APCO_STATUS, 0, 0);
    }
    PostToWindow(WM_APCO_SAMPLERATE, rate, 0);
}

void CApcoPlugin::StopPlayRec() {
    bool recording, playing, audio, failed = false;
    String path;
    {
        CriticalSectionLock lock(&m_fileLock);
        recording = m_playerState == kPlayerRecording;
        playing = m_playerState == kPlayerPlaying;
        audio = m_audioFile;
        if (recording) {
            m_waveFile.Finish();  // completes the header: the sizes shown are those on the disk
            failed = m_waveFile.HasFailed();
            path = m_waveFile.GetFileName();
            if (m_window) m_window->SetWaveFile(&m_waveFile, 1);
        }
        m_waveFile.Close();
        m_fileRate = 0;
        m_playerState = kPlayerIdle;
        m_pauseReasons = 0;
        m_audioFile = false;
    }
    // The stream thread owns the buffer being filled: it drops it at its next block.
    m_resetAudioFill = true;
    if (!recording) {
        m_resetDemodulator = true;
        m_resetDecoder = true;
    }
    if (m_window) {
        m_window->StopPlayRec();
        m_window->SetFilePos(0);
        m_window->SetFilePosTime(0);
        PostToWindow(WM_APCO_PLAYBACK, 0, 0);
        m_window->SetSquelched(m_squelchState != 0);
        if (audio) m_window->SetSampleRate(m_streamRate);
        PostToWindow(WM_APCO_AUDIOPLAYBACK, 0, 0);
    }
    if (audio && m_player && m_player->GetSampleRate() != m_outputRate) ReopenOutput(m_outputRate, -1);
    // Only playback changed the host's flags: after a recording (or nothing) they stay.
    if (playing) CallPluginProc(PM_SETFLAGS, m_hostFlags, 0, nullptr);
    const uint32_t hz = CallPluginProc(PM_GETVALUE, PN_FREQUENCY, 0, nullptr);
    m_decoder.SetReceiverFrequency(hz);
    if (failed)
        ShowRecordingError(m_window, "Failed to write to the file:\n", path,
                           "\nThe disk may be full. Recording has stopped.");
}

void CApcoPlugin::PausePlayback(int on) {
    {
        CriticalSectionLock lock(&m_fileLock);
        if (on)
            m_pauseReasons |= kPauseUser;
        else
            m_pauseReasons = 0;
    }
    if (!on && m_player) m_player->SetPreBuffering();
}

void CApcoPlugin::SeekFile(uint32_t bytes) {
    uint32_t position, seconds;
    {
        CriticalSectionLock lock(&m_fileLock);
        if (!m_waveFile.IsOpen() || m_waveFile.IsWriting() || !m_waveFile.SeekBytes(bytes)) return;
        position = m_waveFile.GetPosition();
        seconds = m_waveFile.GetPositionSeconds();
    }
    if (m_window) {
        m_window->SetFilePos(position);
        m_window->SetFilePosTime(seconds);
    }
    m_resetDemodulator = true;
    m_resetDecoder = true;
}

void CApcoPlugin::SkipSeconds(int seconds) {
    uint32_t position, shown;
    bool show;
    {
        CriticalSectionLock lock(&m_fileLock);
        if (!m_waveFile.IsOpen() || m_waveFile.IsWriting()) return;
        int64_t target = static_cast<int64_t>(m_waveFile.GetPosition()) +
                         static_cast<int64_t>(seconds) * m_waveFile.GetBytesPerSecond();
        if (target < 0) target = 0;
        if (target > 0xFFFFFFFFll) target = 0xFFFFFFFFll;
        show = m_waveFile.SeekBytes(static_cast<uint32_t>(target)) && m_pauseReasons;
        position = m_waveFile.GetPosition();
        shown = m_waveFile.GetPositionSeconds();
    }
    if (show && m_window) {
        m_window->SetFilePos(position);
        m_window->SetFilePosTime(shown);
    }
}

void CApcoPlugin::StartRecording() {
    if (!m_window) return;
    {
        CriticalSectionLock lock(&m_fileLock);
        if (m_playerState != kPlayerIdle) return;
    }
    const bool ifRecording = m_window->IsIFSelected() != 0;
    const String path = m_window->GetAudioDirPath() + "\\" + RecordingStem(m_window->GetSelectedAudioFile()) +
                        (ifRecording ? ".if.wav" : ".wav");
    if (FileReadable(path) && !ConfirmOverwrite(path)) return;
    bool pauseSquelched = false, pauseNoP25 = false, created;
    {
        CriticalSectionLock lock(&m_fileLock);
        m_waveFile.Close();
        created = m_waveFile.Create(path.CStr(), ifRecording ? m_streamRate : m_outputRate) != 0;
        if (created) {
            m_audioFile = !ifRecording;
            pauseSquelched = m_pauseUnderSquelch && m_squelchState != 0;
            pauseNoP25 = m_pauseNoApco && m_p25Seen == 0 && m_demodMode != kModeFm;
            m_pauseReasons = (pauseSquelched ? kPauseSquelched : 0) | (pauseNoP25 ? kPauseNoP25 : 0);
            m_playerState = kPlayerRecording;
        }
    }
    if (!created) {
        ShowRecordingError(m_window, "Failed to create the file:\n", path, "\nRecording has not started.");
        return;
    }
    m_window->StartRecording();
    if (pauseSquelched || pauseNoP25) m_window->SetPaused(1, 0);
}

// The question lives for one answer: made, asked and deleted here, while its owner (the main
// window, whose destruction would take the dialog and its object with it) surely stands: a
// close that arrives meanwhile answers "no" and waits for this call to return.
bool CApcoPlugin::ConfirmOverwrite(const String& path) {
    if (m_closeRequested || m_overwriteDialog) return false;
    MessageDialog* dialog = new (std::nothrow) MessageDialog(GetWindowHandle(), 2, "Overwrite existing file?");
    if (!dialog) return false;
    dialog->SetButtonText(0, "Yes");
    dialog->SetButtonText(1, "No");
    const String text = path.Length()
                            ? String("The file: \n") + path + "\nalready exists.\nDo you want to overwrite it?"
                            : String("File with that name already exists.\nDo you want to overwrite it?");
    m_overwriteDialog = dialog;
    const bool overwrite = dialog->Run(text.CStr(), false) == 0;
    m_overwriteDialog = nullptr;
    delete dialog;
    return overwrite && !m_closeRequested;
}

void CApcoPlugin::ReopenOutput(uint32_t rateHz, int device) {
    if (!m_player) return;
    const bool running = m_player->IsOpen();
    m_player->Stop();
    ProcessPendingMessages();
    m_player->Close();
    ProcessPendingMessages();
    if (rateHz) m_player->SetSampleRate(rateHz);
    if (device >= 0) m_player->SetDevice(static_cast<UINT>(device));
    if (rateHz || running) m_player->Open();
}

void CApcoPlugin::SetWaveOutDevice(int index) {
    const String name = WaveOutPlayer::GetDeviceCaps(static_cast<UINT>(index));
    if (name == m_deviceName) return;
    m_deviceIndex = index;
    m_deviceName = name;
    ReopenOutput(0, index);
}

void CApcoPlugin::SetAudioFilterEnabled(bool on) {
    if (on == m_afEnabled) return;
    m_afEnabled = on;
    if (m_window) m_window->EnableAudioFilter(on);
}

void CApcoPlugin::SetPauseUnderSquelchOption(bool on) {
    bool pressed = false, released = false;
    {
        CriticalSectionLock lock(&m_fileLock);
        m_pauseUnderSquelch = on;
        if (!on && (m_pauseReasons & kPauseSquelched)) {
            m_pauseReasons &= ~static_cast<uint32_t>(kPauseSquelched);
            released = m_pauseReasons == 0;
        } else if (on && m_playerState == kPlayerRecording && m_squelchState != 0 &&
                   !(m_pauseReasons & kPauseSquelched)) {
            m_pauseReasons |= kPauseSquelched;
            pressed = true;
        }
    }
    if (m_window && (pressed || released)) m_window->SetPaused(pressed ? 1 : 0, 0);
}

void CApcoPlugin::SetPauseNoApcoOption(bool on) {
    if (on) {
        CriticalSectionLock lock(&m_fileLock);
        m_pauseNoApco = true;
        m_p25Seen = 100;
        return;
    }
    bool release = false;
    {
        CriticalSectionLock lock(&m_fileLock);
        m_pauseNoApco = false;
        if (m_pauseReasons & kPauseNoP25) {
            m_pauseReasons &= ~static_cast<uint32_t>(kPauseNoP25);
            release = m_pauseReasons == 0;
        }
    }
    if (release && m_window) m_window->SetPaused(0, 0);
}
