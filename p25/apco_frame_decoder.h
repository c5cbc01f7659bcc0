// P25 Phase 1 frame decoder: consumes the demodulator's DibitString text ("0" +1, "1" +3,
// "2" -1, "3" -3), finds the frame sync, decodes the NID and the data units (voice units with
// their link control and encryption sync, terminators, trunking signalling), keeps the decoded
// call fields and queues the voice as blocks of 16-bit samples at 8000 samples per second.
//
// A symbol-serial state machine: it keeps its place across calls, so a frame may be split over
// any number of Process calls with the same result. Characters outside "0".."3" count as "0".
//
// Threads: Process, the getters and the audio-block queue belong to the receiver's stream
// thread. SetReceiverFrequency, GetEventCount and GetEventPacket may be called from the GUI
// thread; the event queue, the receiver frequency and the stop request are the only state they
// share with the stream thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "foundation/bounded_ring.h"
#include "foundation/critical_section.h"
#include "imbe/imbe_decoder.h"
#include "p25/block_codes.h"
#include "p25/reed_solomon.h"
#include "p25/trellis_decoder.h"
#include "p25/trunking_events.h"

// Kind of traffic being decoded.
enum TransmissionType {
    kTransmissionNone = 0,
    kTransmissionOther = 1,       // other data unit
    kTransmissionTrunking = 2,    // TSDU
    kTransmissionPacket = 3,      // PDU
    kTransmissionVoice = 4,       // HDU, LDU1, LDU2
    kTransmissionTerminator = 5,  // TDU, TDU with link control
};

class CApcoFrameDecoder {
public:
    static constexpr int kDefaultBlockSize = 1024;
    static constexpr int kMinBlockSize = 200;      // above one voice frame (160), so a frame's
                                                   // samples span at most two blocks
    static constexpr int kMaxBlockSize = 1 << 20;  // 2 MB a block: its byte size cannot wrap
    static constexpr int kMaxReadyBlocks = 10;     // left over from earlier calls; see Process
    static constexpr unsigned kHoldSymbols = 10000;
    static constexpr int kMaxQueuedEvents = 4096;  // beyond this the oldest event gives way

    // Error codes left in the last error (nothing outside reads it).
    enum Error { kErrorNone = 0, kErrorNoBlock = 1, kErrorBlockLost = 2, kErrorEmptyInput = 3, kErrorBadState = 4 };

    CApcoFrameDecoder();
    ~CApcoFrameDecoder();
    CApcoFrameDecoder(const CApcoFrameDecoder&) = delete;
    CApcoFrameDecoder& operator=(const CApcoFrameDecoder&) = delete;

    // Back to the search for sync; clears the call fields and the ready blocks (freed). The
    // current block and the free blocks stay; the event queue and identifier table stay.
    void Reset();

    // Consumes count characters. Returns the number of ready audio blocks, or -1: null text or
    // count < 1 (error 3), unknown state (4), no audio block could be had (1 or 2; the rest of
    // the text is dropped). Every block made within one call stays ready, however many (a large
    // IF block brings many); blocks still ready from earlier calls give way, oldest first, while
    // kMaxReadyBlocks or more are ready and no free block is left, so a caller that never takes
    // blocks out holds at most kMaxReadyBlocks or one call's worth.
    int Process(const char* dibits, int count);

    // Samples per audio block, clamped to kMinBlockSize .. kMaxBlockSize. A new size frees the
    // current block (its samples are lost) and every queued block.
    void SetBlockSize(int samples);
    int GetBlockSize() const { return m_blockSize; }

    // The oldest ready block (GetBlockSize() samples), or null. It belongs to the caller until
    // given back with ReleaseAudioBlock; a block of an older size is freed then, not reused.
    // Pointers that are not lent blocks (null, foreign, given back twice) are ignored. Blocks
    // still lent when the decoder is destroyed are freed with it.
    int16_t* PopAudioBlock();
    void ReleaseAudioBlock(int16_t* samples);
    int GetReadyBlockCount() const { return m_readyCount; }

    // Decoded fields; -1 when not decoded. Values come only from NID, header, link control and
    // encryption sync words that their codes accept (clean or corrected); a word beyond its code
    // sets none, nor does an all-zero word. ALGID, MFID and emergency stay shown after a call
    // ends (a terminator, or sync lost after a voice unit; a unit behind a NID beyond the code,
    // whatever its DUID reads, may be a misread voice unit, and ends it only when the next sync,
    // or the next NID that checks, says it was not); the next call's first voice unit, its header or not,
    // checked NID or not, shows ALGID, MFID, TGID, SID and DID -1 and emergency off until the
    // call's own words decode.
    float GetBitErrorRate() const { return m_bitErrorRate; }  // percent, of the last voice frame
    int GetTransmissionType() const { return m_transmissionType; }
    int GetAlgid() const { return m_algid; }
    int GetNac() const { return m_nac; }
    int GetTgid() const { return m_tgid; }
    int GetSourceId() const { return m_sourceId; }
    int GetDestinationId() const { return m_destinationId; }
    int GetMfid() const { return m_mfid; }
    bool IsEmergency() const { return m_emergency != 0; }

    // Events: trunking grants and identifier updates, and an end of call for each terminator
    // whose NID checks out, queued at its last symbol. A running call's terminator behind a NID
    // beyond the code queues one, with the call's NAC, when what follows shows the call ended: a
    // frame at once or too early, none where the next voice unit would begin, or a next NID that
    // checks and is not the call's own voice unit or terminator with its NAC (NIDs beyond the
    // code in between decide nothing); some 180 ms later, or a voice unit later for each of those.
    //
    // GUI thread. A changed receiver frequency (Hz, 0xFFFFFFFF for none) discards the queued
    // events and stops the text being decoded at its next symbol.
    void SetReceiverFrequency(uint32_t hz);
    int GetEventCount();
    // Events that gave way, over the decoder's life, because nobody drained the full queue.
    unsigned GetDroppedEventCount();
    // A new type-256 media packet with every queued event (the queue is emptied), allocated with
    // std::malloc for the caller to free; null when the queue is empty (*size 0) or when no
    // memory could be had (the events stay queued, *size is the size it would have had).
    uint8_t* GetEventPacket(unsigned* size);

    // The codes and checks the decoder runs on what it receives, and its frequency and opcode
    // conversions; static, so that each can be checked on its own.
    static bool DecodeBch(char* nid, unsigned* errors) { return DecodeNidBch(nid, errors); }
    static int DecodeHamming(int word, unsigned* syndrome) { return DecodeHamming10(word, syndrome); }
    // CRC-16 (polynomial 0x1021, inverted) of block bytes 0..9, to compare with bytes 10..11.
    static uint16_t Crc16Ccitt(const unsigned char* block);
    // A frequency in Hz as sent to the host: as is below 2^31, else units of 10 Hz | 0x80000000.
    static uint32_t PackFrequency(uint64_t hz);
    // Descriptive name of a trunking block opcode (byte & 63), "Unknown" for others.
    static const char* OpcodeName(int opcode);

private:
    // The DUID's two symbols read as two decimal digits (symbols "1" "3" give 13): the data-unit
    // codes 0x0, 0x3, 0x5, 0x7, 0xA, 0xC and 0xF.
    enum DuidDigits {
        kDuidHdu = 0,
        kDuidTdu = 3,
        kDuidLdu1 = 11,
        kDuidTsdu = 13,
        kDuidLdu2 = 22,
        kDuidPdu = 30,
        kDuidTdulc = 33,
    };

    // Working sizes.
    static constexpr int kWorkSymbols = 100;      // symbols held: sync (24), NID (32) or voice frame (72)
    static constexpr int kLduBodySymbols = 807;   // an LDU after its NID; the last is a status symbol
    static constexpr int kRsWordLength = 63;      // a full GF(64) word; the shortened codes use its tail
    static constexpr int kHexbitWordLength = 24;  // link control and encryption sync hexbits
    static constexpr int kTsbkNibbles = 49;       // a trellis-coded trunking block as sent
    static constexpr int kTsbkBytes = 12;         // a decoded trunking block, CRC included
    static constexpr int kChannelIdentifiers = 16;

    enum State {
        kStateSearchSync = 0,
        kStateNid = 1,
        kStateLdu1 = 2,
        kStateLdu2 = 3,
        kStateAfterLdu = 4,
        kStateHdu = 5,
        kStateTerminatorLc = 6,
        kStateTerminator = 7,
        kStateAfterTerminator = 8,
        kStateTsdu = 9,
        kStateResyncAfterTsdu = 10,
    };

    // Link control or encryption sync: 24 Hamming words of 10 bits collected into hexbits.
    struct HexbitWord {
        int bitCount = 0;
        unsigned accumulator = 0;
        int index = 0;
        int hexbits[kHexbitWordLength] = {};
    };

    // An audio block: this header followed by its samples.
    struct AudioBlock {
        AudioBlock* next;
        int sampleCount;
        int16_t* Samples() { return reinterpret_cast<int16_t*>(this + 1); }
    };

    // Input.
    int NextDibit();
    bool IsStatusSymbol();  // advances the status position
    void SyncDistance(int* sum, int* largest) const;
    void ShiftIntoWindow(char c);

    // State handlers; false only when the voice path could not get an audio block.
    void SearchSync();
    void DecodeNid();
    bool DecodeLdu(bool ldu1);
    void AfterLdu();
    void DecodeHdu();
    void DecodeTerminatorLc();
    void DecodeTerminator();
    void EndTerminator(int symbols);  // reads the unit's symbols, then queues (or owes) the end of call
    void AfterTerminator();
    void EndCall();  // after a terminator: back to the search, the identifiers cleared
    void QueueOwedEndOfCall();
    // The first checked NID after a running call's unit behind an unchecked NID that was not
    // taken as voice: does the call go on?
    void SettleUncheckedUnit(int duid, int nac);
    static bool IsCallUnit(int duid);  // a voice unit or terminator: what a running call sends
    void DecodeTsdu();
    void ResyncAfterTsdu();

    void StartNid();
    void StartVoiceUnit();            // an HDU's or LDU's NID was read
    bool ReadExpectedSync(int* sum);  // true when the 24 symbols are in
    void DropCall();
    void ClearIdentifiers();
    bool AccumulateHexbit(HexbitWord& word, char c);  // true when a word of 24 is complete
    // The collected link control or encryption sync word: true when it may be read (its NID
    // and its code check passed, corrected in place, and it is not all zero: a receiver that
    // drops out gives '0' symbols, which read as the all-zero code word, and no real word is 0).
    bool DecodeWord(CReedSolomon& code);
    void DecodeLinkControl(char c);
    void DecodeEncryptionSync(char c);
    bool FrameToVoice();
    bool NewAudioBlock();
    void QueueReady(AudioBlock* block);
    static AudioBlock* AllocateBlock(int samples);
    static void FreeBlock(AudioBlock* block);
    static void FreeList(AudioBlock*& head);

    // Trunking blocks.
    void HandleTrunkingBlock();
    void CheckIdentifierTable();
    uint32_t ChannelFrequency(int identifier, int channel) const;
    void PushEvent(const TrunkingEventRecord& record);

    // Running state carried between calls.
    int m_state = kStateSearchSync;
    const char* m_input = nullptr;
    int m_inputLeft = 0;
    std::atomic<bool> m_stopInput{false};
    char m_work[kWorkSymbols] = {};
    int m_unitPosition = 0;
    int m_voicePosition = 0;
    int m_statusPosition = 0;
    bool m_nidVerified = false;  // the current unit's NID passed its check
    // No call runs (none yet, or one ended: a terminator, or a voice unit followed by no
    // sync): the fields still shown are the old call's, to be cleared by the next voice unit.
    bool m_callEnded = true;
    // A unit that is not voice behind a NID beyond the code (a terminator with no sync right
    // after it): it may be a voice unit whose NID was misread. Symbols left until the end of the
    // sync that would follow that voice unit; 0 when nothing is pending.
    int m_misreadSyncCountdown = 0;
    // A running call met a unit behind a NID beyond the code that was not taken as voice (a
    // terminator, header, trunking or other unit): whether the call goes on is left to the next
    // checked NID, or to the sync found too early or not where a voice unit's would be.
    bool m_callUnsettled = false;
    // That unit was a terminator (the call's checked units set the NAC): the end-of-call event is
    // queued when the call is found to have ended, and dropped when it goes on.
    bool m_endOfCallOwed = false;
    ImbeDecoderState m_imbeState;
    ImbeFrame m_imbeFrame = {};

    // Audio blocks.
    int m_blockSize = kDefaultBlockSize;
    AudioBlock* m_currentBlock = nullptr;
    int m_writePosition = 0;
    int m_lastError = kErrorNone;
    AudioBlock* m_readyHead = nullptr;
    AudioBlock* m_readyTail = nullptr;
    AudioBlock* m_freeHead = nullptr;
    AudioBlock* m_freeTail = nullptr;
    AudioBlock* m_lentHead = nullptr;  // popped, not yet given back
    int m_readyCount = 0;
    int m_earlierReadyCount = 0;  // the first ready blocks, queued before this Process call

    float m_bitErrorRate = 0.0f;
    int m_transmissionType = kTransmissionNone;

    // Voice-unit working fields.
    HexbitWord m_encryptionSync;
    int m_rsWord[kRsWordLength] = {};  // shared by the three Reed-Solomon codes
    unsigned m_headerAccumulator = 0;
    int m_headerIndex = 0;
    HexbitWord m_linkControl;
    CReedSolomon m_rsEncryptionSync{6};
    CReedSolomon m_rsHeader{6};
    CReedSolomon m_rsLinkControl{6};

    // Call fields.
    int m_algid = -1;
    int m_nac = -1;
    int m_mfid = -1;
    int m_tgid = -1;
    int m_sourceId = -1;
    int m_destinationId = -1;
    uint8_t m_emergency = 0;
    uint32_t m_holdCounter = 0;

    // Trunking.
    unsigned char m_blockNibbles[kTsbkNibbles] = {};
    unsigned char m_block[kTsbkBytes] = {};
    CTrellisDecoder m_trellis;
    struct ChannelIdentifier {
        uint64_t baseHz = 0;
        uint32_t spacingHz = 0;
    };
    ChannelIdentifier m_identifiers[kChannelIdentifiers];
    uint32_t m_referenceHz = 0xFFFFFFFFu;
    std::atomic<uint32_t> m_receiverHz{0xFFFFFFFFu};

    // Guarded by m_eventLock.
    CriticalSection m_eventLock;
    // Bounded (86 KB; a busy control channel brings some 50 blocks a second): when nobody
    // drains the events the oldest give way, counted in m_events.dropped().
    BoundedRing<TrunkingEventRecord, kMaxQueuedEvents> m_events;
};
