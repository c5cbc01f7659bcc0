// Voice-call units of the frame decoder: header, LDU1/LDU2 with their voice frames, link control
// and encryption sync, and the two terminators.
#include <cstring>

#include "p25/apco_frame_decoder.h"
#include "p25/frame_sync.h"

namespace {

// Unit layout after the NID, in symbols counted from 1 with status symbols included.
constexpr int kHduDataSymbols = 329;  // 36 Golay groups of 9 symbols, then 5 null symbols
constexpr int kHduHeaderSymbols = 324;
constexpr int kTduSymbols = 15;
constexpr int kTdulcSymbols = 159;
constexpr int kVoiceFrameSymbols = 72;
// Reed-Solomon words, decoded as the shortened codes they are (the leading symbols of the 63
// are zero by construction): a correction that would land in those symbols marks a word beyond
// the code's reach, which the full-length decoding would have taken for a code word.
constexpr int kHeaderHexbits = 36;  // (36,20,17)

// Link control (LDU1) or encryption sync (LDU2) positions; the last range is low-speed data.
bool AllZero(const int* symbols, int count) {
    for (int i = 0; i < count; ++i)
        if (symbols[i] != 0) return false;
    return true;
}

bool IsLinkControlPosition(int u) {
    return (u >= 149 && u <= 169) || (u >= 244 && u <= 263) || (u >= 338 && u <= 358) || (u >= 433 && u <= 453) ||
           (u >= 528 && u <= 547) || (u >= 622 && u <= 642) || (u >= 717 && u <= 732);
}

}  // namespace

void CApcoFrameDecoder::DecodeHdu() {
    int c;
    while ((c = NextDibit()) >= 0) {
        const bool status = IsStatusSymbol();
        if (m_unitPosition == kHduDataSymbols) {
            // This symbol is the final status symbol; a new call starts from fresh vocoder state.
            m_state = kStateAfterLdu;
            m_unitPosition = 0;
            m_statusPosition = 0;
            ImbeInit(&m_imbeState);
            return;
        }
        if (status) continue;
        ++m_unitPosition;
        m_headerAccumulator = m_headerAccumulator * 4 + static_cast<unsigned>(c - '0');
        if (m_unitPosition > kHduHeaderSymbols || m_unitPosition % 9 != 0) continue;

        const unsigned word = Golay23Decode(m_headerAccumulator & 0x3FFFF);
        m_headerAccumulator = 0;
        const int first = kRsWordLength - kHeaderHexbits;
        if (m_headerIndex < first || m_headerIndex >= kRsWordLength) m_headerIndex = first;
        m_rsWord[m_headerIndex++] = static_cast<int>((word >> 12) & 63);
        if (m_headerIndex < kRsWordLength) continue;

        m_headerIndex = 0;
        // A word the code cannot correct leaves the fields as they were, and so does the
        // all-zero word (a receiver gap, no real header).
        const int* h = m_rsWord + kRsWordLength - kHeaderHexbits;
        if (!m_nidVerified || !m_rsHeader.Decode(kHeaderHexbits, m_rsWord + kRsWordLength - kHeaderHexbits) ||
            AllZero(h, kHeaderHexbits))
            continue;
        m_mfid = h[12] * 4 + ((h[13] >> 4) & 3);
        m_algid = ((h[13] & 15) << 4) + ((h[14] >> 2) & 15);
        m_tgid = ((h[17] & 15) << 12) + (h[18] << 6) + h[19];
    }
}

bool CApcoFrameDecoder::DecodeLdu(bool ldu1) {
    int c;
    while ((c = NextDibit()) >= 0) {
        if (++m_unitPosition == kLduBodySymbols) {
            m_state = kStateAfterLdu;
            m_unitPosition = 0;
            m_statusPosition = 0;
            return true;
        }
        if (IsStatusSymbol()) continue;
        if (IsLinkControlPosition(m_unitPosition)) {
            if (ldu1)
                DecodeLinkControl(static_cast<char>(c));
            else
                DecodeEncryptionSync(static_cast<char>(c));
            continue;
        }
        m_work[m_voicePosition++] = static_cast<char>(c);
        if (m_voicePosition == kVoiceFrameSymbols) {
            m_voicePosition = 0;
            if (!FrameToVoice()) return false;
        }
    }
    return true;
}

bool CApcoFrameDecoder::AccumulateHexbit(HexbitWord& w, char c) {
    w.accumulator = w.accumulator * 4 + static_cast<unsigned>(c & 3);
    w.bitCount += 2;
    if (w.bitCount < 10) return false;
    w.hexbits[w.index++] = DecodeHamming(static_cast<int>(w.accumulator), nullptr);
    w.bitCount = 0;
    w.accumulator = 0;
    if (w.index < kHexbitWordLength) return false;
    w.index = 0;
    // Link control (24,12,13) and encryption sync (24,16,9): the tail of a zero-led full word.
    std::memset(m_rsWord, 0, (kRsWordLength - kHexbitWordLength) * sizeof m_rsWord[0]);
    std::memcpy(m_rsWord + kRsWordLength - kHexbitWordLength, w.hexbits, sizeof w.hexbits);
    return true;
}

bool CApcoFrameDecoder::DecodeWord(CReedSolomon& code) {
    int* word = m_rsWord + kRsWordLength - kHexbitWordLength;
    return m_nidVerified && code.Decode(kHexbitWordLength, word) && !AllZero(word, kHexbitWordLength);
}

void CApcoFrameDecoder::DecodeLinkControl(char c) {
    if (!AccumulateHexbit(m_linkControl, c) || !DecodeWord(m_rsLinkControl)) return;
    const int* h = m_rsWord + kRsWordLength - kHexbitWordLength;
    const int lcf = (h[0] * 4 + ((h[1] >> 4) & 3)) & 0xFF;
    if (lcf == 0) {  // group voice channel user
        m_mfid = ((h[1] & 15) << 4) + ((h[2] >> 2) & 15);
        m_tgid = ((h[5] & 15) << 12) + (h[6] << 6) + h[7];
        m_sourceId = (h[8] << 18) + (h[9] << 12) + (h[10] << 6) + h[11];
        m_emergency = static_cast<uint8_t>((h[2] >> 1) & 1);
    } else if (lcf == 3) {  // unit-to-unit voice channel user
        m_mfid = ((h[1] & 15) << 4) + ((h[2] >> 2) & 15);
        m_emergency = 0;
        m_destinationId = (h[4] << 18) + (h[5] << 12) + (h[6] << 6) + h[7];
        m_sourceId = (h[8] << 18) + (h[9] << 12) + (h[10] << 6) + h[11];
    }
}

void CApcoFrameDecoder::DecodeEncryptionSync(char c) {
    if (!AccumulateHexbit(m_encryptionSync, c) || !DecodeWord(m_rsEncryptionSync)) return;
    const int* h = m_rsWord + kRsWordLength - kHexbitWordLength;
    m_algid = h[12] * 4 + ((h[13] >> 4) & 3);
}

bool CApcoFrameDecoder::FrameToVoice() {
    for (int i = 0; i < kVoiceFrameSymbols; ++i) {
        const int v = m_work[i] - '0';
        m_imbeFrame.bits[2 * i] = static_cast<uint8_t>(v >> 1);
        m_imbeFrame.bits[2 * i + 1] = static_cast<uint8_t>(v & 1);
    }
    m_imbeFrame.status = 0;
    m_imbeFrame.sampleCount = 160;
    m_imbeFrame.softBits = 1;
    ImbeFecDecode(&m_imbeFrame, &m_imbeState);
    m_bitErrorRate = static_cast<float>(m_imbeFrame.errorRate) * 100.0f / 32768.0f;
    ImbeDecode(&m_imbeFrame, &m_imbeState);

    int count = m_imbeFrame.sampleCount;
    if (count < 0) count = 0;
    if (count > kImbeMaxSamples) count = kImbeMaxSamples;
    const int16_t* src = m_imbeFrame.pcm;
    int left = count;
    while (left > 0) {
        if (!m_currentBlock && !NewAudioBlock()) {
            m_lastError = left < count ? kErrorBlockLost : kErrorNoBlock;
            return false;
        }
        int n = m_blockSize - m_writePosition;
        if (n > left) n = left;
        std::memcpy(m_currentBlock->Samples() + m_writePosition, src, sizeof(int16_t) * static_cast<size_t>(n));
        m_writePosition += n;
        src += n;
        left -= n;
        if (m_writePosition == m_blockSize) {
            QueueReady(m_currentBlock);
            m_currentBlock = nullptr;
            m_writePosition = 0;
        }
    }
    return true;
}

void CApcoFrameDecoder::EndTerminator(int symbols) {
    while (NextDibit() >= 0) {
        if (++m_unitPosition < symbols) continue;
        // Only a checked NID says the unit was a terminator. Behind an unchecked one a voice
        // unit may hide, its DUID misread: the next sync tells (right after this unit, or one
        // voice unit after its own, with the NID behind it); until then a running call keeps
        // its fields.
        if (m_nidVerified) {
            PushEvent(TrunkingEventRecord::EndOfCall(static_cast<uint32_t>(m_nac)));
            m_callEnded = true;
            m_misreadSyncCountdown = 0;
        } else {
            m_misreadSyncCountdown = kLduBodySymbols - symbols + kFrameSyncSymbols;
            // Should what follows say the call ended here, its end is reported then, once. An
            // unchecked unit behind this one leaves both as they are.
            if (!m_callEnded) m_callUnsettled = m_endOfCallOwed = true;
        }
        m_state = kStateAfterTerminator;
        m_unitPosition = 0;
        return;
    }
}

void CApcoFrameDecoder::DecodeTerminator() { EndTerminator(kTduSymbols); }

// The terminator's link control is not decoded.
void CApcoFrameDecoder::DecodeTerminatorLc() { EndTerminator(kTdulcSymbols); }
