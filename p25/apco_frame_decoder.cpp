#include "p25/apco_frame_decoder.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "p25/frame_sync.h"

namespace {

// Sync acceptance. In the search a window is taken as sync when its summed distance from the
// pattern is below 11 and no symbol is more than one level off: a tight test, because any
// place in the stream is a candidate. Where a frame is expected (after a unit) only the sum is
// tested, against the looser 16.
constexpr int kSearchMaxSum = 11;
constexpr int kSearchMaxSingle = 2;
constexpr int kExpectedMaxSum = 16;

// The all-ones NID (NAC 0xFFF, a terminator with link control) is a code word, and it is what a
// slicer running far below the carrier reads where a frame is expected: every symbol -3, the +3
// ones -1, whose sync passes the looser test there and whose NID lies within the code's reach of
// all ones. It is taken as a NID beyond the code, as the all-zero words of a receiver that drops
// out are taken as no word.
bool IsAllOnesNid(const char* nid) {
    for (int i = 0; i < 31; ++i)
        if (nid[i] != '3') return false;
    return true;
}

}  // namespace

CApcoFrameDecoder::CApcoFrameDecoder() {
    EnsureGolay23Table();
    Reset();
    m_rsEncryptionSync.SetCode(8, 1, 1);
    m_rsHeader.SetCode(16, 1, 1);
    m_rsLinkControl.SetCode(12, 1, 1);
}

CApcoFrameDecoder::~CApcoFrameDecoder() {
    FreeBlock(m_currentBlock);
    FreeList(m_readyHead);
    FreeList(m_freeHead);
    FreeList(m_lentHead);
}

void CApcoFrameDecoder::Reset() {
    m_state = kStateSearchSync;
    std::memset(m_work, 0, kFrameSyncSymbols + 1);
    ImbeInit(&m_imbeState);
    m_lastError = kErrorNone;
    m_writePosition = 0;
    m_bitErrorRate = 0.0f;
    m_transmissionType = kTransmissionNone;
    m_algid = m_nac = m_tgid = m_sourceId = m_destinationId = m_mfid = -1;
    m_emergency = 0;
    m_callEnded = true;  // no call runs yet: nothing for a terminator to end
    m_misreadSyncCountdown = 0;
    m_callUnsettled = false;
    m_endOfCallOwed = false;
    FreeList(m_readyHead);
    m_readyTail = nullptr;
    m_readyCount = 0;
    m_earlierReadyCount = 0;
}

int CApcoFrameDecoder::Process(const char* dibits, int count) {
    if (!dibits || count < 1) {
        m_lastError = kErrorEmptyInput;
        return -1;
    }
    m_input = dibits;
    m_inputLeft = count;
    m_earlierReadyCount = m_readyCount;
    m_stopInput.store(false, std::memory_order_relaxed);
    while (m_inputLeft > 0) {
        switch (m_state) {
        case kStateSearchSync: SearchSync(); break;
        case kStateNid: DecodeNid(); break;
        case kStateLdu1:
        case kStateLdu2:
            if (!DecodeLdu(m_state == kStateLdu1)) {
                m_inputLeft = 0;
                return -1;
            }
            break;
        case kStateAfterLdu: AfterLdu(); break;
        case kStateHdu: DecodeHdu(); break;
        case kStateTerminatorLc: DecodeTerminatorLc(); break;
        case kStateTerminator: DecodeTerminator(); break;
        case kStateAfterTerminator: AfterTerminator(); break;
        case kStateTsdu: DecodeTsdu(); break;
        case kStateResyncAfterTsdu: ResyncAfterTsdu(); break;
        default:
            m_lastError = kErrorBadState;
            m_inputLeft = 0;
            return -1;
        }
    }
    return m_readyCount;
}

int CApcoFrameDecoder::NextDibit() {
    if (m_inputLeft <= 0) return -1;
    if (m_stopInput.load(std::memory_order_relaxed)) {
        m_inputLeft = 0;
        return -1;
    }
    --m_inputLeft;
    const char c = *m_input++;
    return (c >= '0' && c <= '3') ? c : '0';
}

bool CApcoFrameDecoder::IsStatusSymbol() {
    const bool status = m_statusPosition == 35;
    if (++m_statusPosition >= 36) m_statusPosition = 0;
    return status;
}

void CApcoFrameDecoder::SyncDistance(int* sum, int* largest) const {
    int s = 0, m = 0;
    for (int i = 0; i < kFrameSyncSymbols; ++i) {
        int d = m_work[i] - kFrameSyncPattern[i];
        if (d < 0) d = -d;
        s += d;
        if (d > m) m = d;
    }
    *sum = s;
    *largest = m;
}

void CApcoFrameDecoder::ShiftIntoWindow(char c) {
    std::memmove(m_work, m_work + 1, kFrameSyncSymbols - 1);
    m_work[kFrameSyncSymbols - 1] = c;
}

void CApcoFrameDecoder::ClearIdentifiers() { m_nac = m_tgid = m_sourceId = m_destinationId = -1; }

void CApcoFrameDecoder::DropCall() {
    QueueOwedEndOfCall();  // sync lost behind an unchecked terminator: the call ended there
    m_callUnsettled = false;
    m_state = kStateSearchSync;
    m_unitPosition = 0;
    m_transmissionType = kTransmissionNone;
    ClearIdentifiers();
    m_emergency = 0;
    m_callEnded = true;
}

void CApcoFrameDecoder::SearchSync() {
    int c;
    while ((c = NextDibit()) >= 0) {
        ShiftIntoWindow(static_cast<char>(c));
        int sum, largest;
        SyncDistance(&sum, &largest);
        bool found = sum < kSearchMaxSum && largest < kSearchMaxSingle;
        if (m_misreadSyncCountdown > 0) {
            // After an unchecked unit: a frame found before the place where a voice unit's next
            // sync would be, or none there (sync lost), ends the call. A sync there (a frame is
            // expected, so only the sum counts) may follow a misread voice unit or open the next
            // transmission: the next checked NID decides (SettleUncheckedUnit).
            const bool due = --m_misreadSyncCountdown == 0;
            if (due && sum < kExpectedMaxSum)
                found = true;
            else if (due || found)
                EndCall();
        }
        if (found) {
            StartNid();
            std::memset(m_work, '0', 35);
            m_work[35] = '\0';
            return;
        }
        if (m_transmissionType >= kTransmissionOther && m_transmissionType <= kTransmissionPacket) {
            // Fields of a finished non-voice transmission are held a while, then dropped.
            if (m_holdCounter > 0) --m_holdCounter;
            if (m_holdCounter == 0) {
                m_transmissionType = kTransmissionNone;
                m_unitPosition = 0;
                m_algid = m_mfid = -1;
                ClearIdentifiers();
                m_emergency = 0;
            }
        }
    }
}

void CApcoFrameDecoder::DecodeNid() {
    int c;
    while ((c = NextDibit()) >= 0) {
        if (IsStatusSymbol()) continue;
        m_work[m_unitPosition++] = static_cast<char>(c);
        if (m_unitPosition < 32) continue;

        auto duidOf = [this] { return (m_work[6] - '0') * 10 + (m_work[7] - '0'); };
        int duid = duidOf();
        // A NID beyond what the code corrects is still dispatched on its DUID as received, so
        // that the frame timing holds through a burst of errors; but nothing in it is believed:
        // the NAC stays, and the unit changes no decoded field and decides nothing about a
        // running call (a wrong DUID reads one unit as another, and an LDU1's link control even
        // passes the encryption sync's check). Only the next checked NID, or a lost sync, does.
        m_nidVerified = DecodeNidBch(m_work, nullptr) && !IsAllOnesNid(m_work);
        int nac = -1;
        if (m_nidVerified) {
            duid = duidOf();
            nac = 0;
            for (int i = 0; i < 6; ++i) nac = nac * 4 + (m_work[i] - '0');
            if (m_callUnsettled) SettleUncheckedUnit(duid, nac);
            m_nac = nac;
        }
        m_unitPosition = 0;

        if (!m_nidVerified && !m_callEnded && !IsCallUnit(duid)) {
            // Inside a running call a header, trunking or other unit behind an unchecked NID is
            // most likely a voice unit misread: it is skipped, the call keeping its fields, and
            // the search waits for the sync a voice unit would bring.
            m_callUnsettled = true;
            m_misreadSyncCountdown = kLduBodySymbols + kFrameSyncSymbols;
            m_state = kStateSearchSync;
            return;
        }

        switch (duid) {
        case kDuidHdu:
            if (m_nidVerified) m_callEnded = true;  // a checked header always starts a new call
            StartVoiceUnit();
            m_state = kStateHdu;
            m_transmissionType = kTransmissionVoice;
            m_headerAccumulator = 0;
            std::memset(m_rsWord, 0, sizeof m_rsWord);
            m_headerIndex = 0;  // out of range: the first Golay group starts the word afresh
            break;
        case kDuidLdu1:
            StartVoiceUnit();
            m_state = kStateLdu1;
            m_transmissionType = kTransmissionVoice;
            m_voicePosition = 0;
            m_linkControl.bitCount = m_linkControl.index = 0;
            m_linkControl.accumulator = 0;
            break;
        case kDuidLdu2:
            StartVoiceUnit();
            m_state = kStateLdu2;
            m_transmissionType = kTransmissionVoice;
            m_voicePosition = 0;
            m_encryptionSync.bitCount = m_encryptionSync.index = 0;
            m_encryptionSync.accumulator = 0;
            break;
        case kDuidTdu:
            m_state = kStateTerminator;
            m_transmissionType = kTransmissionTerminator;
            break;
        case kDuidTdulc:
            m_state = kStateTerminatorLc;
            m_transmissionType = kTransmissionTerminator;
            break;
        case kDuidTsdu:
            m_state = kStateTsdu;
            m_transmissionType = kTransmissionTrunking;
            break;
        case kDuidPdu:
            m_state = kStateSearchSync;
            m_transmissionType = kTransmissionPacket;
            m_holdCounter = kHoldSymbols;
            break;
        default:
            m_state = kStateSearchSync;
            m_transmissionType = kTransmissionOther;
            m_holdCounter = kHoldSymbols;
            break;
        }
        return;
    }
}

bool CApcoFrameDecoder::IsCallUnit(int duid) {
    return duid == kDuidLdu1 || duid == kDuidLdu2 || duid == kDuidTdu || duid == kDuidTdulc;
}

void CApcoFrameDecoder::StartVoiceUnit() {
    // After a call ended, a voice unit belongs to another call, checked NID or not: the last
    // call's fields (say ALGID "clear") must not stand for its voice. They read "not decoded"
    // until this call's own words decode. Only a checked NID settles that a call runs again;
    // until one comes, each voice unit starts afresh (an unchecked unit decodes no field).
    if (!m_callEnded) return;
    m_algid = m_mfid = m_tgid = m_sourceId = m_destinationId = -1;
    m_emergency = 0;
    if (m_nidVerified) m_callEnded = false;
}

void CApcoFrameDecoder::StartNid() {
    m_state = kStateNid;
    m_unitPosition = 0;
    m_statusPosition = 24;
}

bool CApcoFrameDecoder::ReadExpectedSync(int* sum) {
    int c;
    while ((c = NextDibit()) >= 0) {
        m_work[m_unitPosition++] = static_cast<char>(c);
        if (m_unitPosition < kFrameSyncSymbols) continue;
        int largest;
        SyncDistance(sum, &largest);  // where a frame is expected only the sum counts
        return true;
    }
    return false;
}

void CApcoFrameDecoder::AfterLdu() {
    int sum;
    if (!ReadExpectedSync(&sum)) return;
    if (sum >= kExpectedMaxSum)
        DropCall();
    else
        StartNid();
}

void CApcoFrameDecoder::AfterTerminator() {
    int sum;
    if (!ReadExpectedSync(&sum)) return;
    if (sum < kExpectedMaxSum) {
        // A frame follows at once: the unit was no voice unit, whatever its NID said.
        QueueOwedEndOfCall();
        m_callEnded = true;
        m_callUnsettled = false;
        m_misreadSyncCountdown = 0;
        StartNid();
        return;
    }
    if (m_misreadSyncCountdown > 0) {
        // Perhaps a voice unit behind a misread NID: the call keeps its fields while the search
        // looks on (see SearchSync).
        m_misreadSyncCountdown -= kFrameSyncSymbols;
        m_state = kStateSearchSync;
        m_unitPosition = 0;
        return;
    }
    EndCall();
}

void CApcoFrameDecoder::EndCall() {
    QueueOwedEndOfCall();
    // ALGID, MFID and emergency stay for display until the next call starts.
    m_state = kStateSearchSync;
    m_unitPosition = 0;
    m_transmissionType = kTransmissionNone;
    ClearIdentifiers();
    m_callEnded = true;
    m_callUnsettled = false;
    m_misreadSyncCountdown = 0;
}

void CApcoFrameDecoder::SettleUncheckedUnit(int duid, int nac) {
    // Only the call's own voice unit or terminator shows that the unchecked units were misread
    // voice units: the call runs on (a terminator then reports its end itself). A header, any
    // other unit or another NAC is the next transmission: the call ended at the first unchecked
    // unit, and an end owed there is queued before anything of this.
    if (nac == m_nac && IsCallUnit(duid)) {
        m_callUnsettled = false;
        m_endOfCallOwed = false;
    } else {
        EndCall();  // the dispatch that follows sets the state
    }
}

void CApcoFrameDecoder::QueueOwedEndOfCall() {
    // The call's NAC still stands: nothing between its terminator and here sets one.
    if (m_endOfCallOwed) PushEvent(TrunkingEventRecord::EndOfCall(static_cast<uint32_t>(m_nac)));
    m_endOfCallOwed = false;
}

// --- Audio blocks ---------------------------------------------------------------------------

CApcoFrameDecoder::AudioBlock* CApcoFrameDecoder::AllocateBlock(int samples) {
    if (samples <= 0 || samples > kMaxBlockSize) return nullptr;
    unsigned char* p =
        new (std::nothrow) unsigned char[sizeof(AudioBlock) + sizeof(int16_t) * static_cast<size_t>(samples)];
    if (!p) return nullptr;
    AudioBlock* b = reinterpret_cast<AudioBlock*>(p);
    b->next = nullptr;
    b->sampleCount = samples;
    return b;
}

void CApcoFrameDecoder::FreeBlock(AudioBlock* block) {
    if (block) delete[] reinterpret_cast<unsigned char*>(block);
}

void CApcoFrameDecoder::FreeList(AudioBlock*& head) {
    while (head) {
        AudioBlock* next = head->next;
        FreeBlock(head);
        head = next;
    }
}

void CApcoFrameDecoder::QueueReady(AudioBlock* block) {
    block->next = nullptr;
    if (m_readyTail)
        m_readyTail->next = block;
    else
        m_readyHead = block;
    m_readyTail = block;
    ++m_readyCount;
}

bool CApcoFrameDecoder::NewAudioBlock() {
    AudioBlock* block = nullptr;
    if (m_freeHead) {
        block = m_freeHead;
        m_freeHead = block->next;
        if (!m_freeHead) m_freeTail = nullptr;
    } else if (m_readyCount >= kMaxReadyBlocks && m_earlierReadyCount > 0) {
        // Nobody took the audio of earlier calls: reuse the oldest, so the newest is kept. A
        // block made within this call is never reused: the caller takes blocks out only
        // between calls, and one large IF block may bring more than the cap.
        block = m_readyHead;
        m_readyHead = block->next;
        if (!m_readyHead) m_readyTail = nullptr;
        --m_readyCount;
        --m_earlierReadyCount;
    } else {
        block = AllocateBlock(m_blockSize);
    }
    m_writePosition = 0;
    m_currentBlock = block;
    if (block) block->next = nullptr;
    return block != nullptr;
}

void CApcoFrameDecoder::SetBlockSize(int samples) {
    if (samples < kMinBlockSize) samples = kMinBlockSize;
    if (samples > kMaxBlockSize) samples = kMaxBlockSize;
    if (samples == m_blockSize) return;
    FreeBlock(m_currentBlock);
    m_currentBlock = nullptr;
    m_writePosition = 0;
    FreeList(m_readyHead);
    m_readyTail = nullptr;
    FreeList(m_freeHead);
    m_freeTail = nullptr;
    m_readyCount = 0;
    m_earlierReadyCount = 0;
    m_blockSize = samples;
}

int16_t* CApcoFrameDecoder::PopAudioBlock() {
    AudioBlock* block = m_readyHead;
    if (!block) return nullptr;
    m_readyHead = block->next;
    if (!m_readyHead) m_readyTail = nullptr;
    --m_readyCount;
    if (m_earlierReadyCount > 0) --m_earlierReadyCount;
    // Lent blocks are remembered so that only our own blocks are taken back.
    block->next = m_lentHead;
    m_lentHead = block;
    return block->Samples();
}

void CApcoFrameDecoder::ReleaseAudioBlock(int16_t* samples) {
    if (!samples) return;
    AudioBlock** link = &m_lentHead;
    while (*link && (*link)->Samples() != samples) link = &(*link)->next;
    AudioBlock* block = *link;
    if (!block) return;  // not one of ours, or given back twice
    *link = block->next;
    block->next = nullptr;
    if (block->sampleCount != m_blockSize) {
        FreeBlock(block);  // lent before a size change
        return;
    }
    if (m_freeTail)
        m_freeTail->next = block;
    else
        m_freeHead = block;
    m_freeTail = block;
}

// --- Events -----------------------------------------------------------------------------------

void CApcoFrameDecoder::PushEvent(const TrunkingEventRecord& record) {
    CriticalSectionLock lock(&m_eventLock);
    m_events.push_back(record);  // a full ring drops its oldest event
}

unsigned CApcoFrameDecoder::GetDroppedEventCount() {
    CriticalSectionLock lock(&m_eventLock);
    return static_cast<unsigned>(m_events.dropped());
}

int CApcoFrameDecoder::GetEventCount() {
    CriticalSectionLock lock(&m_eventLock);
    return static_cast<int>(m_events.size());
}

uint8_t* CApcoFrameDecoder::GetEventPacket(unsigned* size) {
    CriticalSectionLock lock(&m_eventLock);
    const size_t count = m_events.size();
    if (count == 0) {
        if (size) *size = 0;
        return nullptr;
    }
    const size_t total = kMediaPacketHeaderSize + 4 + kTrunkingEventSize * count;
    if (size) *size = static_cast<unsigned>(total);
    uint8_t* p = static_cast<uint8_t*>(std::malloc(total));
    if (!p) return nullptr;
    std::memset(p, 0, kMediaPacketNameSize);
    std::memcpy(p, kMediaPacketName, sizeof kMediaPacketName);
    TrunkingEventRecord::Put32(p + 128, kMediaTypeEvents);
    TrunkingEventRecord::Put32(p + 132, static_cast<uint32_t>(4 + kTrunkingEventSize * count));
    TrunkingEventRecord::Put32(p + 136, static_cast<uint32_t>(count));
    uint8_t* out = p + kMediaPacketHeaderSize + 4;
    for (const TrunkingEventRecord& r : m_events) {
        std::memcpy(out, r.bytes, kTrunkingEventSize);
        out += kTrunkingEventSize;
    }
    m_events.clear();
    return p;
}

void CApcoFrameDecoder::SetReceiverFrequency(uint32_t hz) {
    if (hz == m_receiverHz.load()) return;
    {
        CriticalSectionLock lock(&m_eventLock);
        m_events.clear();
        m_stopInput.store(true);
    }
    m_receiverHz.store(hz);
}
