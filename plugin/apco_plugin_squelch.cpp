// CApcoPlugin: the digital squelch on the decoded identifiers and the bit-error rate, and the
// host squelches on the demodulated FM audio (noise level, CTCSS, DCS, voice activity).
//
// The stream thread evaluates against its own copy of the window's code lists: the GUI
// thread edits the lists at any time, so the copy is refreshed under m_squelchCS whenever a
// list or the squelch type changes, and matching reads it under the same lock.
#include <cmath>
#include <cstring>
#include <new>

#include "plugin/apco_plugin.h"
#include "ui/k927_apco_plugin_window.h"

namespace {

constexpr uint32_t kListBits[4] = {kSquelchNAC, kSquelchTGID, kSquelchSID, kSquelchDID};
constexpr uint32_t kHostSquelchNoise = 0x2, kHostSquelchCtcss = 0x4, kHostSquelchVoice = 0x100, kHostSquelchDcs = 0x200;
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

void CApcoPlugin::RefreshSquelchCodes() {
    CriticalSectionLock lock(&m_squelchCS);
    for (int i = 0; i < 4; ++i) {
        SquelchCodes& copy = m_squelchCodes[i];
        const CSquelchCodeList* list = m_window ? m_window->GetSquelchList(kListBits[i]) : nullptr;
        copy.present = list != nullptr;
        copy.count = 0;
        const uint32_t n = list ? list->Count() : 0;
        uint32_t* codes = n ? copy.codes.Reserve(n) : nullptr;
        // A list that finds no memory matches nothing: it squelches rather than passes all.
        if (codes) copy.count = list->CopyTo(codes, n);
    }
}

int CApcoPlugin::MatchSquelchCodes(int32_t nac, int32_t tgid, int32_t sourceId, int32_t destinationId) {
    const uint32_t type = m_squelchType;
    const bool invert = m_invertSquelch;
    const uint32_t values[4] = {static_cast<uint32_t>(nac), static_cast<uint32_t>(tgid),
                                static_cast<uint32_t>(sourceId), static_cast<uint32_t>(destinationId)};
    int squelched = 0;
    CriticalSectionLock lock(&m_squelchCS);
    for (int i = 0; i < 4; ++i) {
        if (!(type & kListBits[i]) || (i == 3 && destinationId == 0)) continue;
        // Each enabled step overwrites the ones before it: the last enabled list decides.
        const SquelchCodes& list = m_squelchCodes[i];
        if (list.present) {
            squelched = 1;
            for (uint32_t k = 0; k < list.count && squelched; ++k)
                if (list.codes.GetData()[k] == values[i]) squelched = 0;
        }
        if (invert) squelched = !squelched;
    }
    return squelched;
}

void CApcoPlugin::EvaluateSquelch() {
    int squelched = MatchSquelchCodes(m_nac, m_tgid, m_sourceId, m_destinationId);
    if ((m_squelchType & kSquelchBER) && m_bitErrorWord > m_squelchBer * 10) squelched = 1;
    const bool digital = squelched && m_demodMode != kModeFm;
    uint32_t old = m_squelchState.load(), now;
    do {
        now = digital ? (old | 2u) : (old & ~2u);
    } while (!m_squelchState.compare_exchange_weak(old, now));
    UpdatePauseUnderSquelch(now != 0);
    bool playing;
    {
        CriticalSectionLock lock(&m_fileLock);
        playing = m_playerState == kPlayerPlaying;
    }
    if (!playing && now != old) PostToWindow(WM_APCO_SQUELCH, now, 0);
}

// Pause reason 2 follows the squelch while recording with PauseUnderSquelch; the window hears
// of each change by a posted message.
void CApcoPlugin::UpdatePauseUnderSquelch(bool squelched) {
    bool paused = false, resumed = false;
    {
        CriticalSectionLock lock(&m_fileLock);
        if (!m_pauseUnderSquelch || m_playerState != kPlayerRecording) return;
        if (squelched && !(m_pauseReasons & kPauseSquelched)) {
            m_pauseReasons |= kPauseSquelched;
            paused = true;
        } else if (!squelched && (m_pauseReasons & kPauseSquelched)) {
            m_pauseReasons &= ~static_cast<uint32_t>(kPauseSquelched);
            resumed = m_pauseReasons == 0;
        }
    }
    if (paused || resumed) PostToWindow(WM_APCO_PAUSE, paused ? 1 : 0, 0);
}

void CApcoPlugin::SetSquelchType(uint32_t bits) {
    if (bits == m_squelchType) return;
    m_squelchType = bits;
    RefreshSquelchCodes();
    if (m_window) m_window->SetSquelchType(bits);
    EvaluateSquelch();
}

bool CApcoPlugin::SquelchReportDue(uint32_t threshold) const {
    const uint32_t settling = m_settlingCounter;
    return (settling == 0 || settling > threshold) && (!m_scanning || m_scanSpectrumSent);
}

// A report that finds no memory is skipped and leaves the frequency unsettled (tried again).
void CApcoPlugin::ReportSquelch(uint32_t status, const SquelchParams& measured) {
    auto* record = new (std::nothrow) HostCallRecord(PM_SQUELCH, status);
    if (!record) return;
    if (!record->CopyData(&measured, sizeof measured)) {
        delete record;
        return;
    }
    m_settled = true;
    PushHostCall(record);
}

void CApcoPlugin::EvaluateDigitalSquelches(int16_t* audio, uint32_t count) {
    const uint32_t flag = m_squelchFlag & ~1u;
    const uint32_t rate = m_currentIfRate;
    SquelchParams p{};
    if (flag == kHostSquelchNoise) {
        const uint32_t level = MeasureNoiseLevel(audio, count);
        if (!SquelchReportDue(kSettlingBaseSamples)) return;
        p.noiseLevel = level;
        ReportSquelch(level < m_noiseSqVal ? kHostSquelchNoise : 0, p);
    } else if (flag == kHostSquelchCtcss) {
        m_ctcss.SetSampleRate(static_cast<float>(rate));
        m_ctcss.Process(audio, count, 1);
        if (!SquelchReportDue(rate + kSettlingBaseSamples)) return;
        p.ctcssMilliHz = m_ctcss.GetToneMilliHz();
        ReportSquelch(p.ctcssMilliHz == static_cast<uint32_t>(m_ctcssSqVal) ? kHostSquelchCtcss : 0, p);
    } else if (flag == kHostSquelchDcs) {
        HighPassFilter(audio, count);
        m_dcs.SetSampleRate(static_cast<float>(rate));
        m_dcs.Process(audio, count, 1);
        if (!SquelchReportDue(rate / 4 * 3 + kSettlingBaseSamples)) return;
        const int found = m_dcs.GetFoundCount();
        if (found > 0) m_settlingCounter = kSettlingBaseSamples;
        bool matched = false;
        for (int i = 0; i < found; ++i) {
            int32_t code = m_dcs.GetFound()[i];
            if (code > 0x1FF) code = -(code - 0x200);
            if (code == static_cast<int32_t>(m_dcsSqVal)) {
                p.dcsCode = code;
                matched = true;
            }
        }
        m_dcs.ClearFound();
        ReportSquelch(matched ? kHostSquelchDcs : 0, p);
    }
}

void CApcoPlugin::EvaluateVoiceSquelch(int16_t* audio, uint32_t count) {
    const uint32_t rate = m_currentIfRate;
    m_vad.SetSampleRate(static_cast<float>(rate));
    m_vad.SetBlockLength(m_streamRate / 2);
    m_vad.SetLevelThreshold(0.1f);
    m_vad.SetVoiceThreshold(m_voiceSqVal * 0.01f);
    m_vad.Process(audio, count, 1);
    if (!m_window || !SquelchReportDue(rate / 2 + kSettlingBaseSamples)) return;
    SquelchParams p{};
    p.voicePercent = static_cast<uint32_t>(m_vad.GetScore() * 100.0f);
    ReportSquelch(m_vad.GetClass() == CVoiceActivityDetector::kVoice ? kHostSquelchVoice : 0, p);
}

uint32_t CApcoPlugin::MeasureNoiseLevel(const int16_t* audio, uint32_t count) {
    if (!m_noiseFilter) return 0;
    if (count == 0) return static_cast<uint32_t>(m_noiseLevel);
    int16_t* work = m_noiseWork.Reserve(count);
    if (!work) return 0xFFFFFFFFu;
    std::memcpy(work, audio, count * sizeof(int16_t));
    m_noiseFilter->ProcessInt16(work, static_cast<int>(count));
    double sum = 0.0;
    for (uint32_t i = 0; i < count; ++i) sum += static_cast<double>(work[i]) * work[i];
    double level = std::sqrt(sum / count) * 3.076923 * 0.00666;
    if (level > 99.0) level = 99.0;
    m_noiseLevel = static_cast<float>(level * 0.15 + m_noiseLevel * 0.85);
    return static_cast<uint32_t>(m_noiseLevel);
}

// First-order high-pass in front of the DCS detector; its state lasts across blocks.
void CApcoPlugin::HighPassFilter(int16_t* audio, uint32_t count) {
    const uint32_t rate = m_currentIfRate;
    if (!rate) return;
    const double a = std::exp(-kTwoPi / rate);
    const double g = (1.0 + a) / 2.0;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t x = audio[i];
        const double y = a * m_highPassOut + g * (x - m_highPassIn);
        double clipped = y > 32767.0 ? 32767.0 : (y < -32768.0 ? -32768.0 : y);
        audio[i] = static_cast<int16_t>(clipped);
        m_highPassOut = static_cast<float>(y);
        m_highPassIn = x;
    }
}
