// Test-side P25 Phase 1 frame builder: DibitString text ("0" +1, "1" +3, "2" -1, "3" -3) of
// whole frames, written from the frame layout independently of the decoder: frame sync, the
// NID with its BCH (63,16) code and parity bit, a status symbol at place 35 of every 36 counted
// from the start of the frame, HDU, LDU1, LDU2, TDU and TDULC, with chosen bit errors.
// The encoders of the codes are here too, as the independent model the decoder is checked
// against.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace p25test {

extern const char kFrameSync[25];  // the 24 sync symbols as text

constexpr int kDuidHdu = 0x0, kDuidTdu = 0x3, kDuidLdu1 = 0x5, kDuidTsdu = 0x7, kDuidLdu2 = 0xA, kDuidPdu = 0xC,
              kDuidTdulc = 0xF;

using VoiceFrameBits = std::array<uint8_t, 144>;  // one IMBE frame, one bit per byte, sent order

// --- Encoders -------------------------------------------------------------------------------
// 64 NID bits, bit 63 sent first: NAC (12), DUID (4), 47 BCH parity bits, even overall parity.
uint64_t NidEncode(int nac, int duid);
// Golay (23,12) code word, data in bits 22..11.
uint32_t Golay23EncodeModel(unsigned data12);
// Hamming (10,6,3) word, hexbit in bits 9..4.
unsigned Hamming10Encode(unsigned hexbit);
// Reed-Solomon over GF(64) (x^6 + x + 1, roots alpha^1 .. alpha^parity): appends `parity`
// symbols to the data hexbits.
std::vector<int> RsEncode(const std::vector<int>& data, int parity);
// Hexbits of bytes, most significant bit first (bytes * 8 must be a multiple of 6).
std::vector<int> BytesToHexbits(const uint8_t* bytes, int count);
// Text of bits, two per symbol, first bit high.
std::string BitsToDibits(const std::vector<uint8_t>& bits);
// Flips bit `bit` (0 = high bit of the first symbol) of a dibit text.
void FlipDibitBit(std::string& text, int bit);

// --- Frames -----------------------------------------------------------------------------------
// Bit errors to inject while building. Masks flip bits of a code word as sent (its bit 0 is the
// last bit sent).
struct Corruption {
    uint64_t nidMask = 0;                         // over the 64 NID bits
    std::vector<uint32_t> wordMasks;              // HDU: 36 Golay groups (18 bits); LDU: 24 Hamming words (10 bits)
    std::vector<std::pair<int, int>> voiceFlips;  // (voice frame 0..8, bit 0..143)
    std::vector<int> syncFlips;                   // bit indices 0..47 of the frame sync
};

// Every builder returns the whole frame: sync, NID and body, status symbols included.
// Status symbols carry `statusSymbol`, a value chosen by the caller so that a decoder reading
// one as data would notice.
struct FrameBuilder {
    char statusSymbol = '2';

    std::string Hdu(int nac, const uint8_t header[15],
                    const Corruption& c = {}) const;  // MI(9) MFID ALGID KID(2) TGID(2)
    std::string Ldu1(int nac, const std::vector<VoiceFrameBits>& voice, const uint8_t lc[9],
                     const Corruption& c = {}) const;
    std::string Ldu2(int nac, const std::vector<VoiceFrameBits>& voice, const uint8_t es[12],
                     const Corruption& c = {}) const;
    std::string Tdu(int nac, const Corruption& c = {}) const;
    std::string Tdulc(int nac, const uint8_t lc[9], const Corruption& c = {}) const;
    // Sync and NID only (a unit whose body the caller supplies, or none).
    std::string SyncAndNid(int nac, int duid, const Corruption& c = {}) const;

    // Lays out `data` symbols after the sync and NID, inserting status symbols; `place` is the
    // frame place of the first body symbol (57 after sync and NID).
    std::string WithStatus(const std::string& data, int place) const;
};

// --- Words ----------------------------------------------------------------------------------
using LinkControl = std::array<uint8_t, 9>;
using HeaderWord = std::array<uint8_t, 15>;                             // MI(9) MFID ALGID KID(2) TGID(2)
using EncryptionSync = std::array<uint8_t, 12>;                         // MI(9) ALGID KID(2)
LinkControl GroupLc(int mfid, bool emergency, int tgid, int sourceId);  // LCF 0, group voice
LinkControl UnitLc(int mfid, int destinationId, int sourceId);          // LCF 3 (emergency bit set)
HeaderWord MakeHeader(int mfid, int algid, int kid, int tgid);
EncryptionSync MakeEs(int algid, int kid);
// A call: HDU, `pairs` LDU1/LDU2 pairs of pattern voice, TDU.
std::string VoiceCall(const FrameBuilder& fb, int nac, int pairs, const HeaderWord& header, const LinkControl& lc,
                      const EncryptionSync& es);

// The clear group call the demodulator's figures were measured on: header MI 1 .. 9, ALGID 0x80,
// TGID 1; link control TGID 1, source 1; encryption sync ALGID 0x80, MI 0.
std::string PlainCall(int nac, int pairs);

// The nine voice frames of the LDU whose sync starts at `position` in `text` (the inverse of
// Ldu1/Ldu2's layout); empty when the text ends before the LDU does.
std::vector<VoiceFrameBits> LduVoiceFrames(const std::string& text, size_t position);

// Voice frames of a recognisable test pattern (not IMBE-coded): frame f, bit b.
std::vector<VoiceFrameBits> PatternVoice(int seed);

}  // namespace p25test
