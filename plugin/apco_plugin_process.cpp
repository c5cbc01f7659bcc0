// CApcoPlugin::ProcessData: one IF block through the whole signal chain, on the receiver's
// stream thread. The window is reached by posted messages, by sent ones (the stream thread
// waits while the GUI thread hands spectra, parameters and audio to the host) and by
// DisplaySpectrum. No lock is held while a message is sent.
#include <cmath>
#include <cstring>

#include "plugin/apco_plugin.h"
#include "ui/k927_apco_plugin_window.h"

namespace {

constexpr float kInt16Scale = 1.0f / 32768.0f;
constexpr double kRadiansToInt16 = 10430.060040584269;  // 32767 / pi

}  // namespace

void CApcoPlugin::Int16ToFloat(float* out, const int16_t* in, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) out[i] = in[i] * kInt16Scale;
}

void CApcoPlugin::FloatToInt16(int16_t* out, const float* in, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        double v = std::nearbyint(in[i] * kRadiansToInt16);
        if (v > 32767.0) v = 32767.0;
        if (v < -32768.0) v = -32768.0;
        out[i] = static_cast<int16_t>(v);
    }
}

LRESULT CApcoPlugin::SendToWindow(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND window = GetWindowHandle();
    return window ? SendMessageA(window, msg, wParam, lParam) : 0;
}

void CApcoPlugin::PostToWindow(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND window = GetWindowHandle();
    if (window) PostMessageA(window, msg, wParam, lParam);
}

// Requests of the GUI thread, taken once at the start of a block.
void CApcoPlugin::ApplyRequests() {
    const uint32_t requested = m_requestedFftSize;
    if (requested != m_currentFftSize) {
        m_fft.SetFFTSize(requested);
        m_currentFftSize = requested;
        m_resetSpectrum = false;
    } else if (m_resetSpectrum.exchange(false)) {
        m_fft.Reset();
    }
    // A frequency change counts up the generation: the spectrum starts afresh at the next block
    // (a retune while this one was under way included), and nothing begun under the old
    // frequency is sent as new.
    const uint32_t generation = m_spectrumGeneration;
    if (generation != m_fftGeneration) {
        m_fft.Reset();
        m_fftGeneration = generation;
    }
    int due = 1;
    if (m_scanModeRequest.compare_exchange_strong(due, 0))
        m_receiver.SetAdvancedScanMode(m_receiverHandle, 1, nullptr, 0);
    if (m_resetDemodulator.exchange(false)) m_c4fm.Reset();
    if (m_resetDecoder.exchange(false)) m_decoder.Reset();
    if (m_resetAudioFill.exchange(false) && m_currentBuffer) {
        // What a stopped file or recording left half-filled must not open the next buffer.
        ReturnAudioBuffer(m_currentBuffer);
        m_currentBuffer = nullptr;
        m_currentFill = 0;
    }
}

void CApcoPlugin::ProcessData(const int16_t* samples, uint32_t count) {
    if (!samples || count == 0 || !m_enabled || IsClosing()) return;
    ApplyRequests();
    if (m_scanning) {
        ScanningRoad(samples, count);
        return;
    }
    RecordIF(samples, count);
    int displayFlag = 2;
    if (!PlaybackStep(&samples, &count)) return;
    {
        CriticalSectionLock lock(&m_fileLock);
        if (m_playerState == kPlayerPlaying) displayFlag = 0;
    }

    float* block = m_ifFloat.Reserve(count);
    if (!block) return;
    Int16ToFloat(block, samples, count);

    m_fft.TransformAvg(block, static_cast<int>(count));
    if (m_fft.IsOutputReady()) {
        float* bins = m_spectrumBins.Reserve(m_currentFftSize);
        const int n = bins ? m_fft.GetSpectrum(bins, static_cast<int>(m_currentFftSize)) : 0;
        if (n > 0) {
            m_scanSpectrumSent = true;
            SendToWindow(WM_APCO_SENDIFSPECTRUM, reinterpret_cast<WPARAM>(bins), n);
        }
    }
    if (m_window) {
        if (m_eepromWord < m_receiverHz) displayFlag |= 4;
        m_window->DisplaySpectrum(block, static_cast<int>(count), displayFlag, nullptr);
    }

    const int symbols = m_c4fm.Process(block, static_cast<int>(count));
    int ready = 0, type = kTransmissionNone;
    if (m_demodMode != kModeFm) {
        if (symbols > 0) {
            ready = m_decoder.Process(m_c4fm.GetSymbols(), symbols);
            if (ready < 0) ready = 0;
        }
        type = m_decoder.GetTransmissionType();
        if (m_decoder.GetEventCount() != 0 && !m_eventsPending.exchange(true)) PostToWindow(WM_APCO_SENDEVENTS, 0, 0);
    }
    ReadDecodedFields(type);
    SendToWindow(WM_APCO_SENDMEDIA, reinterpret_cast<WPARAM>(&m_params), sizeof m_params);
    EvaluateSquelch();

    const bool signal = type != kTransmissionNone || ready > 0;
    if (!signal && m_p25Seen != 0 && m_demodMode != kModeFm) {
        m_p25Seen = 0;
        bool post = false;
        {
            CriticalSectionLock lock(&m_fileLock);
            if (m_pauseNoApco && m_playerState == kPlayerRecording) {
                m_pauseReasons |= kPauseNoP25;
                post = true;
            }
        }
        if (post) PostToWindow(WM_APCO_PAUSE, 1, 0);
    } else if (signal && m_p25Seen == 0) {
        m_p25Seen = static_cast<uint32_t>(type);
        bool resumed = false;
        {
            CriticalSectionLock lock(&m_fileLock);
            if (m_playerState == kPlayerRecording && (m_pauseReasons & kPauseNoP25)) {
                m_pauseReasons &= ~static_cast<uint32_t>(kPauseNoP25);
                resumed = m_pauseReasons == 0;
            }
        }
        if (resumed) {
            PostToWindow(WM_APCO_PAUSE, 0, 0);
            RecordIF(samples, count);
        }
    }

    if (!signal) {
        if (m_demodMode != kModeP25) AnalogueRoad(block, count);
    } else {
        P25Road(ready);
    }
}

void CApcoPlugin::ReadDecodedFields(int type) {
    if (type == kTransmissionNone) {
        m_bitErrorWord = 0;
        m_nac = m_tgid = m_sourceId = m_destinationId = -1;
    } else {
        m_bitErrorWord = static_cast<uint32_t>(m_decoder.GetBitErrorRate() * 10.0f);
        m_nac = m_decoder.GetNac();
        m_tgid = m_decoder.GetTgid();
        m_sourceId = m_decoder.GetSourceId();
        m_destinationId = m_decoder.GetDestinationId();
    }
    m_params.bitErrorRatePercent = m_bitErrorWord * 0.1f;
    m_params.nac = m_nac;
    m_params.tgid = m_tgid;
    m_params.sourceId = m_sourceId;
    m_params.destinationId = m_destinationId;
    m_params.transmissionType = type;
    m_params.algorithmId = m_decoder.GetAlgid();
    m_params.manufacturerId = m_decoder.GetMfid();
    m_params.emergency = m_decoder.IsEmergency() ? 1 : 0;
}

// Recording IF: the block as received, while no pause reason holds.
void CApcoPlugin::RecordIF(const int16_t* samples, uint32_t count) {
    bool failed;
    uint32_t bytes, seconds;
    {
        CriticalSectionLock lock(&m_fileLock);
        if (m_playerState != kPlayerRecording || m_pauseReasons || m_audioFile) return;
        failed = !m_waveFile.Write(samples, count);
        bytes = static_cast<uint32_t>(m_waveFile.GetSize());
        seconds = m_waveFile.GetLengthSeconds();
    }
    if (failed) SendToWindow(WM_APCO_PLAYRECEND, 0, 0);
    PostToWindow(WM_APCO_RECBYTES, bytes, 0);
    PostToWindow(WM_APCO_RECSECONDS, seconds, 0);
}

// Playback: an IF file replaces the block (the receiver's stream is the clock); an audio file
// goes straight to the output. False when the block ends here.
bool CApcoPlugin::PlaybackStep(const int16_t** samples, uint32_t* count) {
    bool audio;
    {
        CriticalSectionLock lock(&m_fileLock);
        if (m_playerState != kPlayerPlaying) return true;
        if (m_pauseReasons || !m_waveFile.IsOpen()) return false;
        audio = m_audioFile;
    }
    if (audio) {
        PumpAudioFile(*count);
        return false;
    }
    const uint32_t read = PumpIFFile(*count);
    if (read == 0) return false;
    *samples = m_fileSamples.GetData();
    *count = read;
    {
        CriticalSectionLock lock(&m_fileLock);
        m_playPosition[0] = m_waveFile.GetPosition();
        m_playPosition[1] = m_waveFile.GetPositionSeconds();
    }
    // Sent, not posted: the pair is rewritten by the next block.
    SendToWindow(WM_APCO_PLAYPOSITION, reinterpret_cast<WPARAM>(m_playPosition), sizeof m_playPosition);
    return true;
}

uint32_t CApcoPlugin::PumpIFFile(uint32_t count) {
    const uint32_t fileRate = m_currentIfRate;
    uint64_t want = count;
    if (fileRate != m_streamRate && m_streamRate)
        want = static_cast<uint64_t>(count * static_cast<double>(fileRate) / m_streamRate + 0.999);
    int16_t* buffer = want ? m_fileSamples.Reserve(want) : nullptr;
    uint32_t read = 0;
    if (buffer) {
        CriticalSectionLock lock(&m_fileLock);
        read = m_waveFile.Read(buffer, static_cast<uint32_t>(want));
    }
    if (read == 0) {
        SendToWindow(WM_APCO_PLAYRECEND, 0, 0);
        return 0;
    }
    m_fileSamples.SetCount(read);
    return read;
}

void CApcoPlugin::PumpAudioFile(uint32_t count) {
    const uint64_t want = m_streamRate ? static_cast<uint64_t>(count) * m_fileRate / m_streamRate : 0;
    int16_t* buffer = want ? m_fileSamples.Reserve(want) : nullptr;
    float* floats = want ? m_ifFloat.Reserve(want) : nullptr;
    uint32_t read = 0, position = 0, seconds = 0;
    if (buffer && floats) {
        CriticalSectionLock lock(&m_fileLock);
        read = m_waveFile.Read(buffer, static_cast<uint32_t>(want));
        position = m_waveFile.GetPosition();
        seconds = m_waveFile.GetPositionSeconds();
    }
    if (read == 0) {
        SendToWindow(WM_APCO_PLAYRECEND, 0, 0);
        return;
    }
    Int16ToFloat(floats, buffer, read);
    if (m_window) {
        m_window->DisplaySpectrum(floats, static_cast<int>(read), 0, nullptr);
        m_window->SetFilePos(position);
        m_window->SetFilePosTime(seconds);
    }
    OutputAudio(buffer, read);
}

void CApcoPlugin::AnalogueRoad(const float* block, uint32_t count) {
    const float* audio = m_fm.Process(block, static_cast<int>(count));
    if (!audio) return;
    int16_t* pcm = m_analogAudio.Reserve(count);
    if (!pcm) return;
    FloatToInt16(pcm, audio, count);
    EvaluateDigitalSquelches(pcm, count);
    if (m_afEnabled && m_afFilter) m_afFilter->ProcessInt16(pcm, static_cast<int>(count));
    if (m_squelchFlag & 0x100) EvaluateVoiceSquelch(pcm, count);
    if (uint32_t settling = m_settlingCounter) m_settlingCounter = settling + count;
    uint32_t outCount = 0;
    const int16_t* out = m_ifResampler.Process(pcm, count, &outCount);
    if (!out || outCount == 0) return;
    bool mute = false;
    if (m_statusCountdown < kStatusCountdownDone) {
        mute = true;
        ++m_statusCountdown;
        PostToWindow(WM_APCO_STATUS, 0, 0);
    } else {
        PostToWindow(WM_APCO_STATUS, 2, 0);
    }
    DeliverAudio(out, outCount, mute);
}

void CApcoPlugin::P25Road(int readyBlocks) {
    PostToWindow(WM_APCO_STATUS, 1, 0);
    m_statusCountdown = 0;
    if (m_currentBuffer) {  // a partly filled buffer is not played
        ReturnAudioBuffer(m_currentBuffer);
        m_currentBuffer = nullptr;
        m_currentFill = 0;
    }
    // Posted with a copy of its own: a slot is rewritten only kMediaRing blocks later, long
    // after the window has read it, and the stream thread need not wait for the display.
    ApcoParams& slot = m_mediaRing[m_mediaNext++ % kMediaRing];
    slot = m_params;
    PostToWindow(WM_APCO_MEDIA, reinterpret_cast<WPARAM>(&slot), sizeof slot);
    // Ciphertext through the vocoder is loud noise, never speech: while the algorithm says
    // encrypted the blocks still travel (lengths and timing stay) but carry silence.
    const bool encrypted = IsEncryptedAlgid(m_decoder.GetAlgid());
    for (int i = 0; i < readyBlocks; ++i) {
        int16_t* voice = m_decoder.PopAudioBlock();
        if (!voice) break;
        uint32_t outCount = 0;
        // The count varies by one from block to block (the phase carries over): use it as given.
        const int16_t* out =
            m_voiceResampler.Process(voice, static_cast<uint32_t>(m_decoder.GetBlockSize()), &outCount);
        m_decoder.ReleaseAudioBlock(voice);
        if (out && outCount) DeliverAudio(out, outCount, encrypted);
    }
}

void CApcoPlugin::DeliverAudio(const int16_t* samples, uint32_t count, bool mute) {
    int16_t* block = m_outputBlock.Reserve(count);
    if (!block) return;
    int playerState;
    {
        CriticalSectionLock lock(&m_fileLock);
        playerState = m_playerState;
    }
    if (mute || (m_squelchState != 0 && playerState != kPlayerPlaying))
        std::memset(block, 0, count * sizeof(int16_t));
    else
        std::memcpy(block, samples, count * sizeof(int16_t));
    const uint32_t size = BuildAudioBlock(block, count);
    if (size) {
        uint8_t* record = m_audioRecord.GetData();
        SendToWindow(WM_APCO_SENDAUDIO, reinterpret_cast<WPARAM>(record), size);
        // The host may have changed the samples: what it left is what plays and records.
        std::memcpy(block, record + sizeof(AudioBlockHeader), count * sizeof(int16_t));
    }
    OutputAudio(block, count);
}

uint32_t CApcoPlugin::BuildAudioBlock(const int16_t* samples, uint32_t count) {
    if (!samples) return 0;
    const uint32_t size = AudioBlockRecordSize(count);
    if (!size) return 0;
    uint8_t* record = m_audioRecord.Reserve(size);
    if (!record) return 0;
    return WriteAudioBlockRecord(record, m_outputRate, samples, count);
}

int CApcoPlugin::OutputAudio(const int16_t* samples, uint32_t count) {
    if (!samples || count == 0) return 0;
    bool failed = false, recorded = false;
    uint32_t bytes = 0, seconds = 0;
    {
        CriticalSectionLock lock(&m_fileLock);
        if (m_playerState == kPlayerRecording && m_audioFile && !m_pauseReasons) {
            recorded = true;
            failed = !m_waveFile.Write(samples, count);
            bytes = static_cast<uint32_t>(m_waveFile.GetSize());
            seconds = m_waveFile.GetLengthSeconds();
        }
    }
    if (failed) SendToWindow(WM_APCO_PLAYRECEND, 0, 0);
    if (recorded) {
        PostToWindow(WM_APCO_RECBYTES, bytes, 0);
        PostToWindow(WM_APCO_RECSECONDS, seconds, 0);
    }
    while (count) {
        if (!m_currentBuffer && !GetFreeAudioBuffer()) return 0;  // the rest is dropped
        int16_t* data = m_currentBuffer->GetData();
        uint32_t room = kAudioBufferSamples - m_currentFill;
        uint32_t n = count < room ? count : room;
        std::memcpy(data + m_currentFill, samples, n * sizeof(int16_t));
        m_currentFill += n;
        samples += n;
        count -= n;
        if (m_currentFill == static_cast<uint32_t>(kAudioBufferSamples)) {
            m_currentBuffer->SetCount(kAudioBufferSamples);
            AudioBuffer* full = m_currentBuffer;
            m_currentBuffer = nullptr;
            m_currentFill = 0;
            if (m_player)
                m_player->Write(full);
            else
                ReturnAudioBuffer(full);
        }
    }
    return 1;
}

void CApcoPlugin::ScanningRoad(const int16_t* samples, uint32_t count) {
    float* block = m_ifFloat.Reserve(count);
    if (!block) return;
    Int16ToFloat(block, samples, count);
    const bool squelches = (m_squelchFlag & (2 | 4 | 0x200 | 0x100)) != 0;
    if (!m_scanSpectrumSent) {
        m_fft.TransformLast(block, static_cast<int>(count));
        if (m_fft.IsOutputReady()) {
            float* bins = m_spectrumBins.Reserve(m_currentFftSize);
            const int n = bins ? m_fft.GetSpectrum(bins, static_cast<int>(m_currentFftSize)) : 0;
            if (n > 0) {
                m_sentSpectrumGeneration = m_fftGeneration;
                SendToWindow(WM_APCO_SENDSCANIFSPECTRUM, reinterpret_cast<WPARAM>(bins), n);
            }
            if (squelches && !m_settled) m_receiver.SetAdvancedScanMode(m_receiverHandle, 0, nullptr, 0);
        }
    }
    if (!squelches || m_settled) return;
    const float* audio = m_fm.Process(block, static_cast<int>(count));
    if (!audio) return;
    if (m_settlingCounter > kSettlingBaseSamples && !m_settled) {
        int16_t* pcm = m_analogAudio.Reserve(count);
        if (pcm) {
            FloatToInt16(pcm, audio, count);
            EvaluateDigitalSquelches(pcm, count);
            if (m_squelchFlag & 0x100) {
                if (m_afEnabled && m_afFilter) m_afFilter->ProcessInt16(pcm, static_cast<int>(count));
                EvaluateVoiceSquelch(pcm, count);
            }
        }
    }
    if (uint32_t settling = m_settlingCounter) m_settlingCounter = settling + count;
}
