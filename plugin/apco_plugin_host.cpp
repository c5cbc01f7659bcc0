// CApcoPlugin: calls into the host, the host-call queue, host notifications and scanning.
// Everything here runs on the GUI thread except PushHostCall.
#include <cstring>

#include "plugin/apco_plugin.h"
#include "plugin/host_record.h"
#include "ui/k927_apco_plugin_window.h"

uint32_t CApcoPlugin::CallPluginProc(uint32_t msg, uint32_t dwParam, uint32_t cbData, void* lpData) {
    // A host that asked to close hears nothing more but PM_CLOSED; a dying object reports no
    // late stream blocks, only that the host's flags go back to 0.
    const bool farewell = msg == PM_SETFLAGS && dwParam == 0;
    if (!m_hostCallback || m_closeRequested || (IsClosing() && !farewell)) return kHostNoAnswer;
    // The host may answer a mode report with a mode notification, which must not switch back.
    const bool modeCall = msg == PM_MODE;
    if (modeCall) m_modeGuard = true;
    uint32_t answer = m_hostCallback(GetWindowHandle(), msg, dwParam, cbData, lpData);
    if (modeCall) m_modeGuard = false;
    return answer;
}

// Sends a record with PM_HOSTINFO and frees it; with keep, its copy becomes the stored one.
void CApcoPlugin::SendHostRecord(uint8_t* record, bool keep) {
    if (!record) return;
    uint32_t size;
    std::memcpy(&size, record, 4);
    CallPluginProc(PM_HOSTINFO, 0, size, record);
    if (keep) {
        FreeHostRecord(m_hostRecord);
        m_hostRecord = DuplicateHostRecord(record);
    }
    FreeHostRecord(record);
}

void CApcoPlugin::DemodStart() { SendHostRecord(BuildHostAnnouncement(m_hostRecord, true), true); }

void CApcoPlugin::DemodEnd() { SendHostRecord(BuildHostAnnouncement(m_hostRecord, false), true); }

void CApcoPlugin::UpdateHostFlags(bool demodulating) {
    SendHostRecord(HostRecordWithFlags(m_hostRecord, demodulating), false);
}

void CApcoPlugin::SetHostInfo(const void* record, uint32_t cbData) {
    if (cbData == 0 || !record) return;
    // The record may claim no more than the host handed over.
    uint8_t* copy = DuplicateHostRecord(record, cbData);
    if (!copy) return;
    FreeHostRecord(m_hostRecord);
    m_hostRecord = copy;
}

void CApcoPlugin::EnablePlugin(uint32_t on) {
    m_enabled = on != 0;
    if (!m_window) return;
    m_window->ResetSpectrum();
    EnableWindow(m_window->GetHandle(), on != 0);
}

void CApcoPlugin::OnHostMode(uint32_t mode, uint32_t cbData, void* lpData) {
    if (m_modeGuard) return;
    if (cbData == 8 && lpData) {
        uint32_t words[2];
        std::memcpy(words, lpData, 8);
        const uint32_t answer = words[1] == kDemodModeP25 ? 1 : 0;
        std::memcpy(lpData, &answer, 4);
        if (answer) SetDemodulationMode(kModeBoth);
    }
    if (mode == kDemodModeP25)
        SetDemodulationMode(kModeP25);
    else if (mode == kDemodModeFm)
        SetDemodulationMode(kModeFm);
}

void CApcoPlugin::SetSquelchSettings(uint32_t bits, const void* record, uint32_t cbData) {
    m_squelchFlag = bits;
    if (!record || cbData < sizeof(SquelchParams)) return;
    SquelchParams p;
    std::memcpy(&p, record, sizeof p);
    m_levelSqVal = p.level;
    m_noiseSqVal = p.noiseLevel;
    m_ctcssSqVal = static_cast<int32_t>(p.ctcssMilliHz);
    m_voiceSqVal = p.voicePercent;
    m_dcsSqVal = static_cast<uint32_t>(p.dcsCode);
}

void CApcoPlugin::SetHostSquelch(uint32_t state) {
    if (state)
        m_squelchState.fetch_or(1);
    else
        m_squelchState = 0;
    int playerState;
    bool addPause = false, releasePause = false;
    {
        CriticalSectionLock lock(&m_fileLock);
        playerState = m_playerState;
        if (m_pauseUnderSquelch && m_playerState == kPlayerRecording) {
            if (state) {
                m_pauseReasons |= kPauseSquelched;
                addPause = true;
            } else if (m_pauseReasons & kPauseSquelched) {
                m_pauseReasons &= ~static_cast<uint32_t>(kPauseSquelched);
                releasePause = m_pauseReasons == 0;
            }
        }
    }
    if (!m_window) return;
    if (playerState != kPlayerPlaying) m_window->SetSquelched(state != 0);
    if (addPause) m_window->SetPaused(1, 0);
    if (releasePause) m_window->SetPaused(0, 0);
}

// The host's word is signed (0x80000000 and up are negative): the player clamps it, below 0 to
// silence, above its maximum to the maximum. Only a change of the clamped volume is shown and
// answered: two words that clamp alike (-1 and 0x80000000 at 0) change nothing.
void CApcoPlugin::SetVolume(uint32_t volume) {
    if (!m_player || m_showingVolume) return;
    const int before = m_player->GetVolume();
    m_player->SetVolume(static_cast<int>(volume));
    const int now = m_player->GetVolume();
    if (now == before) return;
    // The panel's field reports the value it is given (clamped to its own range) as if the
    // user had changed it; that echo must not move the output or reach the host.
    m_showingVolume = true;
    if (m_window) m_window->SetVolume(now);
    m_showingVolume = false;
    CallPluginProc(PM_VOLUME, static_cast<uint32_t>(now), 0, nullptr);
}

void CApcoPlugin::SetMute(uint32_t mute) {
    if (m_player) m_player->SetMute(mute != 0);
    if (m_window) m_window->SetMute(mute != 0);
    CallPluginProc(PM_MUTE, mute, 0, nullptr);
}

void CApcoPlugin::HandleCallPluginProc(HostCallRecord* record, uint32_t size, int direct) {
    if (size != sizeof(HostCallRecord)) return;
    HostCallRecord* taken = nullptr;
    if (direct) {
        if (!record) return;
        taken = record;
    } else {
        CriticalSectionLock lock(&m_dequeCS);
        if (m_hostCalls.GetCount()) taken = reinterpret_cast<HostCallRecord*>(m_hostCalls.Remove(0));
    }
    if (!taken) return;
    if (!m_scanning) {
        if (taken->scanFlag != 1) CallPluginProc(taken->msg, taken->dwParam, taken->cbData, taken->lpData);
    } else if (taken->scanFlag == 1) {
        if (taken->msg != PMR_IFSpectrum || !taken->lpData || taken->cbData == 0) {
            CallPluginProc(taken->msg, taken->dwParam, taken->cbData, taken->lpData);
        } else if (m_sentSpectrumGeneration != m_spectrumGeneration) {
            // Begun before the latest frequency change: the IF of another frequency.
        } else if (m_delayPending) {
            // The first spectrum after scanning starts waits for the delay; newer ones replace it
            // without restarting it (a receiver that streams on would hold it back for ever).
            const uint32_t floats = taken->cbData / sizeof(float);
            float* copy = floats ? m_scanSpectrum.Reserve(floats) : nullptr;
            if (copy) {
                std::memcpy(copy, taken->lpData, floats * sizeof(float));
                m_scanSpectrumBytes = floats * sizeof(float);
            } else {
                m_scanSpectrumBytes = 0;
            }
            if (!m_delayRunning) StartScanningDelay();
        } else {
            m_scanSpectrumSent = true;
            CallPluginProc(taken->msg, taken->dwParam, taken->cbData, taken->lpData);
        }
    }
    if (!direct) delete taken;
}

void CApcoPlugin::PushHostCall(HostCallRecord* record) {
    if (!record) return;
    if (!m_window || IsClosing()) {
        delete record;
        return;
    }
    uint32_t before;
    {
        CriticalSectionLock lock(&m_dequeCS);
        before = m_hostCalls.GetCount();
        m_hostCalls.Insert(reinterpret_cast<ItemArray::Item>(record), 0xFFFFFFFFu);
        if (m_hostCalls.GetCount() == before) {  // the queue is full
            delete record;
            return;
        }
    }
    SendToWindow(WM_APCO_CALLPLUGINPROC, 1, sizeof(HostCallRecord));
}

void CApcoPlugin::SendScanningSpectrum() {
    // The delay is over before the host hears of it: a retune inside the call starts afresh.
    m_delayPending = false;
    m_delayRunning = false;
    if (m_scanSpectrumBytes && m_scanSpectrum.GetData()) {
        // It is the frequency's one scanning spectrum: the stream does not send another.
        m_scanSpectrumSent = true;
        CallPluginProc(PMR_IFSpectrum, m_currentIfRate / 2, m_scanSpectrumBytes, m_scanSpectrum.GetData());
    }
    DropHeldSpectrum();
}

// A delay that no timer would end holds every later spectrum back: without one, the held
// spectrum goes out at once.
void CApcoPlugin::StartScanningDelay() {
    m_delayRunning = m_window && m_window->CreateScanningDelayTimer();
    if (!m_delayRunning) SendScanningSpectrum();
}

void CApcoPlugin::DropHeldSpectrum() {
    m_scanSpectrum.Release();
    m_scanSpectrumBytes = 0;
}

void CApcoPlugin::SetScanner(uint32_t on) {
    if (on) {
        m_scanning = true;
        m_settlingCounter = 1;
        m_settled = true;
        m_scanSpectrumSent = true;
        m_tsb.Reset();
        m_resetSpectrum = true;
        m_delayPending = true;
    } else {
        m_scanning = false;
        // A pending delay ends with nothing sent: the host no longer scans.
        if (m_window) m_window->DestroyScanningDelayTimer();
        m_delayPending = false;
        m_delayRunning = false;
        DropHeldSpectrum();
        uint32_t size = 4096;
        m_receiver.SetAdvancedScanMode(m_receiverHandle, 1, &size, 4);
        m_settlingCounter = 0;
        m_receiver.SetAdvancedScanMode(m_receiverHandle, 0, nullptr, 0);
        SetRBW(12);
    }
    if (m_window) EnableWindow(m_window->GetHandle(), !m_scanning);
}

void CApcoPlugin::SetRBW(uint32_t hz) {
    if (hz == 0) return;
    uint32_t bins = m_currentIfRate / hz;
    if (bins > 16384) bins = 16384;
    uint32_t p = 16384;
    while (p >= 33 && !(bins & p)) p /= 2;
    if (m_window) m_tsb.Reset();
    m_requestedFftSize = 2 * p;
    if (m_scanning) {
        uint32_t size = 2 * p;
        m_receiver.SetAdvancedScanMode(m_receiverHandle, 1, &size, 4);
        m_scanModeRequest = 2;
    }
}

void CApcoPlugin::SetReceiverFrequency(uint32_t hz) {
    m_decoder.SetReceiverFrequency(hz);
    const bool changed = hz != m_receiverHz;
    m_receiverHz = hz;
    m_resetDemodulator = true;
    ++m_spectrumGeneration;  // resets the spectrum at the next block
    m_resetDecoder = true;
    if (m_scanning) {
        m_scanSpectrumSent = false;
        m_settlingCounter = 1;
        m_settled = false;
        int armed = 2;
        m_scanModeRequest.compare_exchange_strong(armed, 1);
        // The held spectrum is the old frequency's; the new one's waits a whole delay.
        if (m_delayPending) {
            DropHeldSpectrum();
            if (m_delayRunning) StartScanningDelay();
        }
    } else {
        m_samplesToSkip = m_currentIfRate / 20;
    }
    if (changed) LogEvent();
}

void CApcoPlugin::SendDecoderEvents() {
    m_eventsPending = false;
    unsigned size = 0;
    uint8_t* packet = m_decoder.GetEventPacket(&size);
    if (!packet) return;
    CallPluginProc(PMR_Media, 0, size, packet);
    std::free(packet);
}

void CApcoPlugin::SetDemodulationMode(uint32_t mode) {
    if (mode > kModeFm || mode == m_demodMode) return;
    m_demodMode = mode;
    if (m_window) m_window->SetDemodMode(mode);
    if (mode == kModeFm) {
        m_statusCountdown = kStatusCountdownDone;
        bool release = false;
        {
            CriticalSectionLock lock(&m_fileLock);
            if (m_pauseNoApco && m_playerState == kPlayerRecording && (m_pauseReasons & kPauseNoP25)) {
                m_pauseReasons &= ~static_cast<uint32_t>(kPauseNoP25);
                release = m_pauseReasons == 0;
            }
        }
        if (release && m_window) m_window->SetPaused(0, 0);
    } else {
        m_p25Seen = 100;
    }
    UpdateHostFlags(mode != kModeP25);
    if (m_player) m_player->SetPreBuffering();
    EvaluateSquelch();
}

// The window's one direct call into the plug-in object (WM_APCO_SENDEVENTS).
void SendPluginDecoderEvents(CApcoPlugin* plugin) {
    if (plugin) plugin->SendDecoderEvents();
}
