// The frame decoder on text from the test-side frame builder: sync, NID dispatch, voice units
// with their link control and encryption sync, the bit-error rate and the voice-block queue.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imbe/imbe_decoder.h"
#include "p25/apco_frame_decoder.h"
#include "tests/support/c4fm_frame_scan.h"
#include "tests/support/imbe_test_encoder.h"
#include "tests/support/p25_frame_builder.h"
#include "tests/support/p25_test_call.h"
#include "tests/support/p25_tsbk_builder.h"

using namespace p25test;

namespace {

constexpr int kNac = 0x293;

// Nine IMBE frames through the vocoder's test encoder; `seed` varies pitch and level.
std::vector<VoiceFrameBits> ImbeVoice(int seed) {
    std::vector<VoiceFrameBits> frames(9);
    for (int f = 0; f < 9; ++f) {
        ImbeTestParams p =
            ImbeTestFlatParams(100.0 + 7.0 * ((seed * 9 + f) % 20), (f + seed) % 3 != 0, 20 + (seed + f) % 30);
        ImbeTestEncodeFrame(p, frames[static_cast<size_t>(f)].data());
    }
    return frames;
}

// Text that never resembles the sync (every symbol at least one level off, most three).
std::string Noise(int symbols) { return std::string(static_cast<size_t>(symbols), '0'); }

int Feed(CApcoFrameDecoder& d, const std::string& text) {
    return d.Process(text.data(), static_cast<int>(text.size()));
}

// Everything the decoder shows, for comparing two decoders.
std::vector<double> Shown(const CApcoFrameDecoder& d) {
    return {double(d.GetNac()),  double(d.GetTgid()),  double(d.GetSourceId()),         double(d.GetDestinationId()),
            double(d.GetMfid()), double(d.GetAlgid()), double(d.GetTransmissionType()), double(d.IsEmergency()),
            d.GetBitErrorRate()};
}

// Replaces sync symbols 1..k (k <= 23) by a neighbour one level away ("1" -> "0", "3" -> "2").
std::string SyncWithOffsets(std::string frame, int k) {
    for (int i = 1; i <= k; ++i) frame[static_cast<size_t>(i)] = frame[static_cast<size_t>(i)] == '1' ? '0' : '2';
    return frame;
}

// The samples the vocoder gives for frames decoded in order from a fresh state.
std::vector<int16_t> ReferenceAudio(const std::vector<std::vector<VoiceFrameBits>>& ldus) {
    ImbeDecoderState state;
    ImbeInit(&state);
    std::vector<int16_t> out;
    for (const auto& ldu : ldus)
        for (const auto& bits : ldu) {
            ImbeFrame f;
            std::memset(&f, 0, sizeof f);
            std::memcpy(f.bits, bits.data(), 144);
            f.sampleCount = 160;
            f.softBits = 1;
            ImbeFecDecode(&f, &state);
            ImbeDecode(&f, &state);
            out.insert(out.end(), f.pcm, f.pcm + 160);
        }
    return out;
}

}  // namespace

TEST(FrameDecoderTest, BadInput) {
    CApcoFrameDecoder d;
    EXPECT_EQ(-1, d.Process(nullptr, 10));
    EXPECT_EQ(-1, d.Process("0", 0));
    EXPECT_EQ(-1, d.Process("0", -5));
    // Characters outside "0".."3" read as "0": a frame with its zeros written as 'x' and NULs
    // decodes the same.
    FrameBuilder fb;
    std::string frame = fb.SyncAndNid(0x0C3, kDuidPdu);
    for (size_t i = 24; i < frame.size(); ++i)
        if (frame[i] == '0') frame[i] = (i % 2) ? 'x' : '\0';
    EXPECT_EQ(0, Feed(d, frame));
    EXPECT_EQ(0x0C3, d.GetNac());
    EXPECT_EQ(kTransmissionPacket, d.GetTransmissionType());
}

TEST(FrameDecoderTest, SyncToleranceInSearch) {
    FrameBuilder fb;
    for (int k : {10, 11}) {
        CApcoFrameDecoder d;
        Feed(d, Noise(30) + SyncWithOffsets(fb.SyncAndNid(kNac, kDuidPdu), k));
        if (k == 10) {
            EXPECT_EQ(kNac, d.GetNac()) << "ten symbols one level off are accepted";
        } else {
            EXPECT_EQ(-1, d.GetNac()) << "eleven are not";
        }
    }
    // One symbol two levels off is never taken in the search.
    CApcoFrameDecoder d;
    std::string frame = fb.SyncAndNid(kNac, kDuidPdu);
    frame[0] = '3';
    Feed(d, Noise(30) + frame);
    EXPECT_EQ(-1, d.GetNac());
}

TEST(FrameDecoderTest, SyncToleranceWhereAFrameIsExpected) {
    // After a terminator (state 8) and after a header (state 4) one symbol two levels off is
    // accepted while the sum stays below 16.
    FrameBuilder fb;
    for (bool afterHeader : {false, true}) {
        for (int extra : {0, 13, 14}) {  // plus the two-level symbol: sums 2, 15, 16
            CApcoFrameDecoder d;
            std::string first = afterHeader ? fb.Hdu(0x111, MakeHeader(0, 0x80, 0, 1).data()) : fb.Tdu(0x111);
            std::string next = SyncWithOffsets(fb.SyncAndNid(0x222, kDuidPdu), extra);
            next[0] = '3';  // "1" sent, "3" received
            Feed(d, first + next);
            if (extra < 14) {
                EXPECT_EQ(0x222, d.GetNac()) << afterHeader << " " << extra;
                EXPECT_EQ(kTransmissionPacket, d.GetTransmissionType());
            } else {
                EXPECT_EQ(-1, d.GetNac()) << afterHeader << " " << extra;
                EXPECT_EQ(kTransmissionNone, d.GetTransmissionType());
            }
        }
    }
}

TEST(FrameDecoderTest, EveryDuidDispatched) {
    // DUID -> transmission type.
    const int kType[16] = {4, 1, 1, 5, 1, 4, 1, 2, 1, 1, 4, 1, 3, 1, 1, 5};
    FrameBuilder fb;
    for (int duid = 0; duid < 16; ++duid) {
        CApcoFrameDecoder d;
        const int nac = 0x100 + duid * 0x0F1;
        Feed(d, Noise(5) + fb.SyncAndNid(nac, duid));
        EXPECT_EQ(kType[duid], d.GetTransmissionType()) << duid;
        EXPECT_EQ(nac & 0xFFF, d.GetNac()) << duid;
        // Units without a body go straight back to the search, so a second NID right after is
        // decoded; the others take it as their body.
        Feed(d, fb.SyncAndNid(0x0AB, kDuidPdu));
        const bool searching = kType[duid] == 1 || kType[duid] == 3;
        EXPECT_EQ(searching, d.GetNac() == 0x0AB) << duid;
    }
}

// 20 NID bit errors, none in the DUID bits (51..48): beyond the code's 11.
uint64_t UncorrectableNidMask() {
    uint64_t mask = 0;
    for (int b : {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 39}) mask |= uint64_t(1) << b;
    return mask;
}

TEST(FrameDecoderTest, NidErrorsCorrectedAndUncorrectableNidStillDispatched) {
    FrameBuilder fb;
    Corruption c;
    for (int b : {1, 5, 9, 20, 33, 40, 47, 50, 55, 58, 62}) c.nidMask |= uint64_t(1) << b;  // 11 errors
    CApcoFrameDecoder d;
    Feed(d, fb.SyncAndNid(0xABC, kDuidPdu, c));
    EXPECT_EQ(0xABC, d.GetNac());
    EXPECT_EQ(kTransmissionPacket, d.GetTransmissionType());

    // Beyond the code: the DUID as received still dispatches (the frame timing holds), but
    // the NAC of the unchecked NID is not shown, neither at first nor over a known one.
    Corruption bad;
    bad.nidMask = UncorrectableNidMask();
    CApcoFrameDecoder d2;
    Feed(d2, fb.SyncAndNid(0xABC, kDuidTdu, bad));
    EXPECT_EQ(kTransmissionTerminator, d2.GetTransmissionType());
    EXPECT_EQ(-1, d2.GetNac());
    CApcoFrameDecoder d3;
    Feed(d3, fb.SyncAndNid(0x123, kDuidPdu) + fb.SyncAndNid(0xABC, kDuidTdu, bad));
    EXPECT_EQ(kTransmissionTerminator, d3.GetTransmissionType());
    EXPECT_EQ(0x123, d3.GetNac());
    // No call runs, so that terminator reports no end of call (its 15 symbols, then a failed
    // sync check); a checked one does. It shows until a voice unit's next sync would have ended.
    Feed(d3, Noise(807 + 23));
    EXPECT_EQ(kTransmissionTerminator, d3.GetTransmissionType());
    Feed(d3, Noise(1));
    EXPECT_EQ(0, d3.GetEventCount());
    EXPECT_EQ(kTransmissionNone, d3.GetTransmissionType());
    Feed(d3, fb.Tdu(0x123));
    EXPECT_EQ(1, d3.GetEventCount());
}

// A unit behind an uncorrectable NID sets no field, even when its own words check out: here an
// LDU1 whose DUID reads as LDU2 (its link control, a (24,12) Reed-Solomon word, is also a word
// of the encryption sync's (24,16) code, whose roots it shares), and an HDU.
TEST(FrameDecoderTest, UnitBehindAnUncorrectableNidSetsNoField) {
    FrameBuilder fb;
    const auto voice = ImbeVoice(6);
    CApcoFrameDecoder d;
    Feed(d, fb.Hdu(kNac, MakeHeader(0x90, 0x81, 0x1234, 1543).data()) +
                fb.Ldu1(kNac, voice, GroupLc(0x90, false, 1543, 2287).data()) +
                fb.Ldu2(kNac, voice, MakeEs(0x81, 0x1234).data()));
    ASSERT_EQ(0x81, d.GetAlgid());
    ASSERT_EQ(0x90, d.GetMfid());
    const std::vector<double> shown = Shown(d);

    Corruption asLdu2;  // DUID 0x5 received as 0xA, and 14 errors in all
    asLdu2.nidMask = uint64_t(0xF) << 48;
    for (int b : {2, 6, 10, 14, 18, 22, 26, 30, 34, 38}) asLdu2.nidMask |= uint64_t(1) << b;
    LinkControl lc = GroupLc(0x00, true, 0x4444, 0x555555);
    for (int i = 0; i < 9; ++i) lc[i] |= static_cast<uint8_t>(0x11 * i);  // any content
    Feed(d, fb.Ldu1(kNac, voice, lc.data(), asLdu2));                     // decoded as a voice unit all the same
    EXPECT_EQ(shown, Shown(d));

    Corruption bad;
    bad.nidMask = UncorrectableNidMask();
    Feed(d, fb.Hdu(kNac, MakeHeader(0x00, 0x80, 0, 77).data(), bad));
    EXPECT_EQ(shown, Shown(d));
}

// A slicer running far below the carrier reads every symbol as -3 but the +3 ones, which it reads
// as -1. Where a frame is expected that sync passes (11 symbols one level off), and the NID of
// the call's LDU2 then lies within the code's reach of the all-ones word: NAC 0xFFF, a
// terminator with link control. Neither that nor a clean all-ones NID is believed: the call's
// NAC stays until the call ends, no field changes and the end of call carries the call's NAC;
// the next frame that checks out is decoded as ever.
std::string FarBelow(std::string text) {
    for (char& c : text) c = c == '1' ? '2' : '3';
    return text;
}

TEST(FrameDecoderTest, AllOnesNidIsNotBelieved) {
    FrameBuilder fb;
    const auto voice = ImbeVoice(3);
    const std::string call =
        fb.Hdu(kNac, MakeHeader(0x00, 0x80, 0, 1).data()) + fb.Ldu1(kNac, voice, GroupLc(0x00, false, 1, 1).data());
    const std::string ldu2 = FarBelow(fb.Ldu2(kNac, voice, MakeEs(0x80, 0).data()));
    // Precondition: the code takes that NID for the all-ones word.
    std::vector<char> nid(ldu2.begin() + 24, ldu2.begin() + 35);
    nid.insert(nid.end(), ldu2.begin() + 36, ldu2.begin() + 57);
    nid.push_back('\0');
    unsigned corrected = 0;
    ASSERT_TRUE(CApcoFrameDecoder::DecodeBch(nid.data(), &corrected));
    ASSERT_EQ(std::string(31, '3'), std::string(nid.data(), 31));
    ASSERT_GT(corrected, 0u);

    const std::string allOnes = FarBelow(fb.SyncAndNid(kNac, kDuidTdulc)).substr(0, 24) + std::string(33, '3');
    for (const std::string& unit : {ldu2, allOnes + fb.WithStatus(Noise(300), 57)}) {
        CApcoFrameDecoder d;
        Feed(d, call);
        ASSERT_EQ(kNac, d.GetNac());
        ASSERT_EQ(0x80, d.GetAlgid());
        for (size_t k = 0; k < unit.size(); ++k) {
            d.Process(unit.data() + k, 1);
            const std::string what = std::to_string(k) + " of " + std::to_string(unit.size());
            ASSERT_NE(0xFFF, d.GetNac()) << what;
            if (k < 57) {
                ASSERT_EQ(kNac, d.GetNac()) << what;  // the NID is not believed
            }
            // The unit's end without a sync after it ends the call; nothing else is shown.
            ASSERT_TRUE(d.GetTgid() == 1 || d.GetTgid() == -1) << what;
            ASSERT_TRUE(d.GetSourceId() == 1 || d.GetSourceId() == -1) << what;
            ASSERT_EQ(-1, d.GetDestinationId()) << what;
            ASSERT_EQ(0x80, d.GetAlgid()) << what;
            ASSERT_EQ(0x00, d.GetMfid()) << what;
        }
        EXPECT_EQ(0, d.GetEventCount());
        Feed(d, Noise(100) + fb.Tdu(0x123));
        EXPECT_EQ(0x123, d.GetNac());
        // The call's end is reported once the next sync shows it, with the call's own NAC.
        std::vector<uint32_t> ends;
        for (const EventRecord& e : TakeEvents(d)) ends.push_back(e[0] == 0x81 ? EventField(e, 1) : 0);
        EXPECT_EQ((std::vector<uint32_t>{kNac, 0x123}), ends);
    }
}

TEST(FrameDecoderTest, StatusSymbolsNeverEnterData) {
    // Any value in the status symbols gives the same decoding.
    const std::vector<VoiceFrameBits> voice = ImbeVoice(1);
    const LinkControl lc = GroupLc(0, true, 0x1234, 0x56789A);
    const EncryptionSync es = MakeEs(0x81, 0x1111);
    for (char status : {'0', '1', '2', '3'}) {
        FrameBuilder fb;
        fb.statusSymbol = status;
        CApcoFrameDecoder d;
        Feed(d, fb.Hdu(kNac, MakeHeader(0x90, 0x84, 7, 0x4321).data()) + fb.Ldu1(kNac, voice, lc.data()) +
                    fb.Ldu2(kNac, voice, es.data()));
        EXPECT_EQ(0x1234, d.GetTgid()) << status;
        EXPECT_EQ(0x56789A, d.GetSourceId()) << status;
        EXPECT_EQ(0x81, d.GetAlgid()) << status;
        EXPECT_TRUE(d.IsEmergency()) << status;
        EXPECT_EQ(0.0f, d.GetBitErrorRate()) << status;
    }
}

TEST(FrameDecoderTest, HeaderFieldsUnderErrors) {
    FrameBuilder fb;
    Corruption c;
    c.wordMasks.assign(36, 0);
    // Three flips in every Golay group are corrected by the Golay code...
    for (int g = 0; g < 36; ++g)
        c.wordMasks[static_cast<size_t>(g)] = (1u << (g % 18)) | (1u << ((g + 5) % 18)) | (1u << ((g + 11) % 18));
    // ...and eight groups destroyed outright are left to the Reed-Solomon code (16 parity).
    for (int g : {0, 4, 9, 12, 13, 17, 22, 35}) c.wordMasks[static_cast<size_t>(g)] = 0x3F000 | 0xFFF;
    CApcoFrameDecoder d;
    Feed(d, fb.Hdu(kNac, MakeHeader(0x90, 0xAA, 0x1234, 0xBEEF).data(), c));
    EXPECT_EQ(0x90, d.GetMfid());  // all eight bits
    EXPECT_EQ(0xAA, d.GetAlgid());
    EXPECT_EQ(0xBEEF, d.GetTgid());
    EXPECT_EQ(-1, d.GetSourceId());
    EXPECT_EQ(kTransmissionVoice, d.GetTransmissionType());
}

TEST(FrameDecoderTest, LinkControlAndEncryptionSyncUnderErrors) {
    FrameBuilder fb;
    const std::vector<VoiceFrameBits> voice = ImbeVoice(2);
    // Hamming corrects one flip per word; two flips in the hexbit part spoil the hexbit, which
    // the Reed-Solomon code repairs: 6 of 24 for the link control, 4 for the encryption sync.
    Corruption lcErrors;
    lcErrors.wordMasks.assign(24, 0);
    for (int w = 0; w < 24; ++w) lcErrors.wordMasks[static_cast<size_t>(w)] = 1u << (w % 10);
    for (int w : {0, 3, 8, 11, 17, 23}) lcErrors.wordMasks[static_cast<size_t>(w)] = (1u << 9) | (1u << 6);
    Corruption esErrors = lcErrors;
    for (int w : {8, 23}) esErrors.wordMasks[static_cast<size_t>(w)] = 1u << 2;

    CApcoFrameDecoder d;
    Feed(d, fb.Hdu(kNac, MakeHeader(0, 0x80, 0, 0x0101).data()));
    Feed(d, fb.Ldu1(kNac, voice, GroupLc(0x90, true, 0xCAFE, 0xABCDEF).data(), lcErrors));
    EXPECT_EQ(0x90, d.GetMfid());
    EXPECT_EQ(0xCAFE, d.GetTgid());
    EXPECT_EQ(0xABCDEF, d.GetSourceId());
    EXPECT_EQ(-1, d.GetDestinationId());  // LCF 0 leaves the destination alone
    EXPECT_TRUE(d.IsEmergency());

    Feed(d, fb.Ldu2(kNac, voice, MakeEs(0x84, 0x2222).data(), esErrors));
    EXPECT_EQ(0x84, d.GetAlgid());

    // LCF 3: destination set, talk group kept, emergency cleared.
    Feed(d, fb.Ldu1(kNac, voice, UnitLc(0x01, 0x123456, 0x654321).data(), lcErrors));
    EXPECT_EQ(0x01, d.GetMfid());
    EXPECT_EQ(0xCAFE, d.GetTgid());
    EXPECT_EQ(0x123456, d.GetDestinationId());
    EXPECT_EQ(0x654321, d.GetSourceId());
    EXPECT_FALSE(d.IsEmergency());

    // Any other LCF changes nothing.
    LinkControl other = GroupLc(0x55, false, 0x7777, 0x111111);
    other[0] = 0x4A;
    Feed(d, fb.Ldu2(kNac, voice, MakeEs(0x84, 0).data()) + fb.Ldu1(kNac, voice, other.data()));
    EXPECT_EQ(0x01, d.GetMfid());
    EXPECT_EQ(0xCAFE, d.GetTgid());
    EXPECT_EQ(0x654321, d.GetSourceId());
    EXPECT_EQ(kTransmissionVoice, d.GetTransmissionType());
}

// Reed-Solomon words beyond their code leave the fields as the last good word set them; within
// it they set them. A spoiled hexbit: four of its six bits flipped in an HDU Golay group (the
// perfect (23,12) code decodes a word 4 away from the sent one to another code word, which
// cannot restore all four), two in a link control or encryption sync Hamming word (one
// correction cannot undo two).
Corruption SpoiledHexbits(int words, std::vector<int> spoiled, uint32_t mask) {
    Corruption c;
    c.wordMasks.assign(static_cast<size_t>(words), 0);
    for (int w : spoiled) c.wordMasks[static_cast<size_t>(w)] = mask;
    return c;
}

TEST(FrameDecoderTest, WordsBeyondTheirCodeKeepTheFields) {
    FrameBuilder fb;
    const auto voice = ImbeVoice(7);
    const uint32_t kGolaySpoil = 0x3C000, kHammingSpoil = (1u << 9) | (1u << 6);

    // HDU (36,20,17): 8 errors corrected, 9 not. A new header starts a new call: the last
    // call's fields read "not decoded" until decoded, and a header beyond its code shows none.
    CApcoFrameDecoder d;
    Feed(d, fb.Hdu(kNac, MakeHeader(0x90, 0xAA, 0x1234, 0xBEEF).data()));
    ASSERT_EQ(0xBEEF, d.GetTgid());
    const std::vector<int> nine = {0, 3, 7, 12, 18, 21, 26, 30, 35};
    Feed(d, fb.Hdu(kNac, MakeHeader(0x01, 0x81, 0x5678, 0x0F0F).data(), SpoiledHexbits(36, nine, kGolaySpoil)));
    EXPECT_EQ(-1, d.GetMfid());
    EXPECT_EQ(-1, d.GetAlgid());
    EXPECT_EQ(-1, d.GetTgid());
    const std::vector<int> eight(nine.begin() + 1, nine.end());
    Feed(d, fb.Hdu(kNac, MakeHeader(0x01, 0x81, 0x5678, 0x0F0F).data(), SpoiledHexbits(36, eight, kGolaySpoil)));
    EXPECT_EQ(0x01, d.GetMfid());
    EXPECT_EQ(0x81, d.GetAlgid());
    EXPECT_EQ(0x0F0F, d.GetTgid());

    // LDU1 link control (24,12,13): 6 corrected, 7 not; LCF 0 and LCF 3 alike.
    const std::vector<int> seven = {0, 2, 5, 9, 14, 19, 23};
    const std::vector<int> six(seven.begin() + 1, seven.end());
    Feed(d, fb.Ldu1(kNac, voice, GroupLc(0x90, true, 0xCAFE, 0xABCDEF).data()));
    ASSERT_EQ(0xCAFE, d.GetTgid());
    for (const LinkControl& lc : {GroupLc(0x00, false, 0x1111, 0x222222), UnitLc(0x00, 0x333333, 0x444444)}) {
        Feed(d, fb.Ldu2(kNac, voice, MakeEs(0x81, 0).data()) +
                    fb.Ldu1(kNac, voice, lc.data(), SpoiledHexbits(24, seven, kHammingSpoil)));
        EXPECT_EQ(0x90, d.GetMfid());
        EXPECT_EQ(0xCAFE, d.GetTgid());
        EXPECT_EQ(0xABCDEF, d.GetSourceId());
        EXPECT_EQ(-1, d.GetDestinationId());
        EXPECT_TRUE(d.IsEmergency());
    }
    Feed(d, fb.Ldu2(kNac, voice, MakeEs(0x81, 0).data()) + fb.Ldu1(kNac, voice,
                                                                   GroupLc(0x00, false, 0x1111, 0x222222).data(),
                                                                   SpoiledHexbits(24, six, kHammingSpoil)));
    EXPECT_EQ(0x00, d.GetMfid());
    EXPECT_EQ(0x1111, d.GetTgid());
    EXPECT_EQ(0x222222, d.GetSourceId());
    EXPECT_FALSE(d.IsEmergency());

    // LDU2 encryption sync (24,16,9): 4 corrected, 5 not.
    const std::vector<int> five = {1, 6, 11, 17, 22};
    const std::vector<int> four(five.begin() + 1, five.end());
    Feed(d, fb.Ldu2(kNac, voice, MakeEs(0x80, 0).data(), SpoiledHexbits(24, five, kHammingSpoil)));
    EXPECT_EQ(0x81, d.GetAlgid());
    Feed(d, fb.Ldu1(kNac, voice, GroupLc(0x00, false, 0x1111, 0x222222).data()) +
                fb.Ldu2(kNac, voice, MakeEs(0x80, 0).data(), SpoiledHexbits(24, four, kHammingSpoil)));
    EXPECT_EQ(0x80, d.GetAlgid());
    EXPECT_EQ(kTransmissionVoice, d.GetTransmissionType());

    // All-zero words (what a receiver gap demodulates to) are code words, but no real header,
    // link control or encryption sync is all zero: they set nothing.
    Feed(d, fb.Ldu1(kNac, voice, LinkControl{}.data()) + fb.Ldu2(kNac, voice, EncryptionSync{}.data()));
    EXPECT_EQ(0x1111, d.GetTgid());
    EXPECT_EQ(0x222222, d.GetSourceId());
    EXPECT_EQ(0x80, d.GetAlgid());
    Feed(d, fb.Hdu(kNac, HeaderWord{}.data()));
    EXPECT_EQ(-1, d.GetTgid());  // the header cleared them for a new call, and set none
    EXPECT_EQ(-1, d.GetAlgid());
    EXPECT_EQ(-1, d.GetMfid());
}

TEST(FrameDecoderTest, BitErrorRateFollowsInjectedErrors) {
    // The rate is the vocoder's smoothed channel error rate eps_R (Q15) in percent; per frame
    // eps_R = 0.95 eps_R + 0.05 eps_T / 137, where eps_T is the number of bits corrected. The
    // fixed-point update floors once per frame (under 1/32768 each); the floors decay by 0.95
    // per frame, so the model and the decoder differ by less than 20 LSB = 0.061 %.
    FrameBuilder fb;
    // Every frame has errors, so the rate moves at every frame and the sequence can be read
    // by feeding one symbol at a time.
    const int kErrorsPerFrame[9] = {3, 6, 9, 1, 2, 12, 2, 5, 4};
    std::vector<double> expected;
    double rate = 0;
    Corruption c;
    for (int f = 0; f < 9; ++f) {
        // Up to three errors in each of c0..c3 (Golay), spread over the vectors.
        for (int e = 0; e < kErrorsPerFrame[f]; ++e)
            c.voiceFlips.push_back({f, ImbeTestChannelIndex(e % 4, 2 + 5 * (e / 4))});
        rate = 0.95 * rate + 0.05 * kErrorsPerFrame[f] / 137.0;
        expected.push_back(rate * 100.0);
    }
    CApcoFrameDecoder d;
    const std::string hdu = fb.Hdu(kNac, MakeHeader(0, 0x80, 0, 5).data());
    const std::string ldu = fb.Ldu1(kNac, ImbeVoice(3), GroupLc(0, false, 5, 6).data(), c);
    Feed(d, hdu);
    EXPECT_EQ(0.0f, d.GetBitErrorRate());
    std::vector<double> seen;
    for (char ch : ldu) {
        const float before = d.GetBitErrorRate();
        d.Process(&ch, 1);
        if (d.GetBitErrorRate() != before) seen.push_back(d.GetBitErrorRate());
    }
    ASSERT_EQ(9u, seen.size());
    for (int f = 0; f < 9; ++f) EXPECT_NEAR(expected[static_cast<size_t>(f)], seen[static_cast<size_t>(f)], 0.061) << f;

    // Clean frames: exactly 0 from the start of a call.
    CApcoFrameDecoder clean;
    Feed(clean, hdu + fb.Ldu1(kNac, ImbeVoice(3), GroupLc(0, false, 5, 6).data()) +
                    fb.Ldu2(kNac, ImbeVoice(4), MakeEs(0x80, 0).data()));
    EXPECT_EQ(0.0f, clean.GetBitErrorRate());
}

TEST(FrameDecoderTest, CallTypesAndDrop) {
    FrameBuilder fb;
    const auto voice = ImbeVoice(5);
    CApcoFrameDecoder d;
    std::vector<int> types;
    Feed(d, Noise(40) + fb.Hdu(kNac, MakeHeader(0, 0x80, 0, 77).data()));
    types.push_back(d.GetTransmissionType());
    for (int i = 0; i < 4; ++i) {
        Feed(d, i % 2 ? fb.Ldu2(kNac, voice, MakeEs(0x80, 0).data())
                      : fb.Ldu1(kNac, voice, GroupLc(0, false, 77, 88).data()));
        types.push_back(d.GetTransmissionType());
    }
    EXPECT_EQ(0, d.GetEventCount());
    Feed(d, fb.Tdu(kNac));
    types.push_back(d.GetTransmissionType());
    EXPECT_EQ(1, d.GetEventCount());  // end of call
    EXPECT_EQ(88, d.GetSourceId());
    Feed(d, Noise(24));
    types.push_back(d.GetTransmissionType());
    EXPECT_EQ((std::vector<int>{4, 4, 4, 4, 4, 5, 0}), types);
    EXPECT_EQ(-1, d.GetNac());
    EXPECT_EQ(-1, d.GetTgid());
    EXPECT_EQ(-1, d.GetSourceId());
    EXPECT_EQ(0x80, d.GetAlgid());  // kept after a terminator

    // The next call's header is lost: its voice units do not show the old call's ALGID, from
    // the first LDU's NID until its own encryption sync decodes.
    const std::string ldu1 = fb.Ldu1(kNac, voice, GroupLc(0, false, 77, 88).data());
    Feed(d, ldu1.substr(0, 60));
    EXPECT_EQ(kTransmissionVoice, d.GetTransmissionType());
    EXPECT_EQ(-1, d.GetAlgid());
    Feed(d, ldu1.substr(60) + fb.Ldu2(kNac, voice, MakeEs(0x81, 0).data()));
    EXPECT_EQ(0x81, d.GetAlgid());

    // A voice unit followed by no sync drops the call at once.
    CApcoFrameDecoder d2;
    Feed(d2, fb.Ldu1(kNac, voice, GroupLc(0, true, 77, 88).data()));
    EXPECT_EQ(kTransmissionVoice, d2.GetTransmissionType());
    EXPECT_TRUE(d2.IsEmergency());
    Feed(d2, Noise(23));
    EXPECT_EQ(kTransmissionVoice, d2.GetTransmissionType());
    Feed(d2, Noise(1));
    EXPECT_EQ(kTransmissionNone, d2.GetTransmissionType());
    EXPECT_EQ(-1, d2.GetNac());
    EXPECT_FALSE(d2.IsEmergency());
    // A voice unit read as a terminator behind a NID beyond the code, the next one behind such a
    // NID too, then no sync: the call ends at the lost sync, reported once with its NAC, and its
    // ALGID shows to the end (no unchecked NID ends it, nor does its unit start a new call).
    Corruption asTdu, lost;
    lost.nidMask = 0xAAAAAAAAAAull;
    asTdu.nidMask = lost.nidMask | uint64_t(kDuidLdu1 ^ kDuidTdu) << 48;
    CApcoFrameDecoder d4;
    Feed(d4, fb.Hdu(kNac, MakeHeader(0, 0x81, 0, 77).data()) +
                 fb.Ldu1(kNac, voice, GroupLc(0, false, 77, 88).data(), asTdu) +
                 fb.Ldu2(kNac, voice, MakeEs(0x81, 0).data(), lost) + Noise(23));
    EXPECT_EQ(0x81, d4.GetAlgid());
    EXPECT_EQ(0, d4.GetEventCount());
    Feed(d4, Noise(1));
    const std::vector<EventRecord> ends = TakeEvents(d4);
    ASSERT_EQ(1u, ends.size());
    EXPECT_EQ(uint32_t(kNac), EventField(ends[0], 1));
    EXPECT_EQ(0x81, d4.GetAlgid());

    // Nor does a call that ended without its terminator lend its ALGID to the next.
    Feed(d2, fb.Ldu2(kNac, voice, MakeEs(0x80, 0).data()) + Noise(24) +
                 fb.Ldu1(kNac, voice, GroupLc(0, false, 77, 88).data()));
    EXPECT_EQ(-1, d2.GetAlgid());

    // TDU with link control: end-of-call event too.
    CApcoFrameDecoder d3;
    Feed(d3, fb.Tdulc(0x5A5, GroupLc(0, false, 1, 2).data()));
    EXPECT_EQ(kTransmissionTerminator, d3.GetTransmissionType());
    unsigned size = 0;
    uint8_t* packet = d3.GetEventPacket(&size);
    ASSERT_NE(nullptr, packet);
    ASSERT_EQ(140u + 21u, size);
    const uint8_t endOfCall[21] = {0x81, 0xA5, 0x05, 0, 0};
    EXPECT_EQ(0, std::memcmp(packet + 140, endOfCall, 21));
    std::free(packet);
}

// A clear call (MFID 0x90, TGID 0x1234, emergency) ends in one of several ways; then an
// encrypted call (ALGID 0x81, MFID 0x00, TGID 0x0777) follows, its header and first LDU1 behind
// NIDs beyond correction, or its header intact. Read after every symbol, the second call never
// shows the first one's ALGID, MFID, TGID, SID or emergency; a checked header shows every field
// it carries as soon as it is decoded; in the end the second call's own fields show.
TEST(FrameDecoderTest, NextCallNeverShowsTheLastCallsFields) {
    FrameBuilder fb;
    const auto voice = ImbeVoice(8);
    const int kSecondNac = 0x2B4;
    std::string first = fb.Hdu(kNac, MakeHeader(0x90, 0x80, 0, 0x1234).data());
    for (int i = 0; i < 2; ++i)
        first += fb.Ldu1(kNac, voice, GroupLc(0x90, true, 0x1234, 0xABCDE).data()) +
                 fb.Ldu2(kNac, voice, MakeEs(0x80, 0).data());
    Corruption bad;
    bad.nidMask = UncorrectableNidMask();
    const struct {
        const char* what;
        std::string end;  // after the first call's last LDU2
        bool headerLost;
    } kCases[] = {
        {"terminator, next call at once", fb.Tdu(kNac), true},
        {"terminator, then noise", fb.Tdu(kNac) + Noise(500), true},
        {"terminator with link control", fb.Tdulc(kNac, GroupLc(0x90, true, 0x1234, 0xABCDE).data()), true},
        {"unchecked terminator, next call at once", fb.Tdu(kNac, bad), true},
        {"unchecked terminator, then noise", fb.Tdu(kNac, bad) + Noise(500), true},
        {"sync lost", Noise(500), true},
        {"terminator, header intact", fb.Tdu(kNac), false},
    };
    const HeaderWord header = MakeHeader(0x00, 0x81, 0x4321, 0x0777);
    const LinkControl lc = GroupLc(0x00, false, 0x0777, 0x00C0DE);
    const EncryptionSync es = MakeEs(0x81, 0x4321);
    for (const auto& c : kCases) {
        const Corruption lost = c.headerLost ? bad : Corruption{};
        const std::string hdu = fb.Hdu(kSecondNac, header.data(), lost);
        const std::string second = hdu + fb.Ldu1(kSecondNac, voice, lc.data(), lost) +
                                   fb.Ldu2(kSecondNac, voice, es.data()) + fb.Ldu1(kSecondNac, voice, lc.data()) +
                                   fb.Ldu2(kSecondNac, voice, es.data());
        CApcoFrameDecoder d;
        Feed(d, first);
        ASSERT_EQ(0x80, d.GetAlgid()) << c.what;
        ASSERT_EQ(0x90, d.GetMfid()) << c.what;
        ASSERT_EQ(0x1234, d.GetTgid()) << c.what;
        ASSERT_TRUE(d.IsEmergency()) << c.what;
        Feed(d, c.end);
        int voiceSymbols = 0;
        for (size_t i = 0; i < second.size(); ++i) {
            d.Process(&second[i], 1);
            if (d.GetTransmissionType() != kTransmissionVoice) continue;
            ++voiceSymbols;
            ASSERT_NE(0x80, d.GetAlgid()) << c.what << " symbol " << i;
            ASSERT_NE(0x90, d.GetMfid()) << c.what << " symbol " << i;
            ASSERT_NE(0x1234, d.GetTgid()) << c.what << " symbol " << i;
            ASSERT_NE(0xABCDE, d.GetSourceId()) << c.what << " symbol " << i;
            ASSERT_FALSE(d.IsEmergency()) << c.what << " symbol " << i;
            if (!c.headerLost && i + 1 == hdu.size()) {  // the checked header's last symbol
                EXPECT_EQ(0x81, d.GetAlgid()) << c.what;
                EXPECT_EQ(0x00, d.GetMfid()) << c.what;
                EXPECT_EQ(0x0777, d.GetTgid()) << c.what;
                EXPECT_EQ(-1, d.GetSourceId()) << c.what;
            }
        }
        EXPECT_GT(voiceSymbols, static_cast<int>(second.size()) - 60) << c.what;
        EXPECT_EQ(0x81, d.GetAlgid()) << c.what;
        EXPECT_EQ(0x00, d.GetMfid()) << c.what;
        EXPECT_EQ(0x0777, d.GetTgid()) << c.what;
        EXPECT_EQ(0x00C0DE, d.GetSourceId()) << c.what;
        EXPECT_EQ(kSecondNac, d.GetNac()) << c.what;
    }
}

// A call with a NID beyond the code near its end, demodulated at IF blocks of 512 to 32768
// samples and decoded symbol by symbol. An encrypted call with one LDU whose DUID bits read as a
// terminator or a header, perhaps with more NIDs beyond the code behind it: from the first LDU on
// the ALGID stays 0x81 and the NAC and TGID the call's up to its terminator, only that unit's
// nine frames are lost, and the one end of call comes at the real terminator, even when that is
// the unit behind. A clear call whose own terminator is behind such a NID: its end of call comes
// once, with its NAC, when what follows shows the call ended (no sync a voice unit later, or the
// next call: at once, before that place, or exactly there, shown by its NID, also behind a stray
// NID beyond the code; or a checked TSDU there), and the next call ends with its own.
TEST(FrameDecoderTest, DamagedNidNearTheEndStillEndsTheCallOnce) {
    constexpr size_t kLduLength = 864;
    const struct {
        const char* what;
        int misreadLdu, misreadAs, terminator, nextCallNac;  // no misread LDU: the terminator's NID is lost
        size_t nextCallAt;  // symbols from the terminator's sync to the next call's; 0: at once
        int lostAfter;      // LDUs behind the misread one whose NIDs are beyond correction
        int strayDuid;      // a sync and NID where a voice unit would follow the terminator: beyond
                            // correction before a next call, else checked; -1 none
    } kRows[] = {
        {"third LDU1 read as TDU", 4, kDuidTdu, kDuidTdu, -1, 0, 0, -1},
        {"third LDU1 read as TDULC", 4, kDuidTdulc, kDuidTdu, -1, 0, 0, -1},
        {"fourth LDU2 read as TDU", 7, kDuidTdu, kDuidTdu, -1, 0, 0, -1},
        {"fourth LDU2 read as TDULC", 7, kDuidTdulc, kDuidTdu, -1, 0, 0, -1},
        {"last LDU2 read as TDU, the TDU behind", 9, kDuidTdu, kDuidTdu, -1, 0, 0, -1},
        {"last LDU2 read as TDULC, the TDULC behind", 9, kDuidTdulc, kDuidTdulc, -1, 0, 0, -1},
        {"TDU beyond correction, then noise", -1, 0, kDuidTdu, -1, 0, 0, -1},
        {"TDULC beyond correction, then noise", -1, 0, kDuidTdulc, -1, 0, 0, -1},
        {"TDU beyond correction, next call at once", -1, 0, kDuidTdu, 0x1C5, 0, 0, -1},
        {"TDULC beyond correction, next call at once", -1, 0, kDuidTdulc, 0x1C5, 0, 0, -1},
        {"TDU beyond correction, next call a symbol before a voice unit", -1, 0, kDuidTdu, 0x1C5, kLduLength - 1, 0,
         -1},
        {"TDU beyond correction, next call where a voice unit would be", -1, 0, kDuidTdu, 0x1C5, kLduLength, 0, -1},
        {"TDU beyond correction, next call a symbol after a voice unit", -1, 0, kDuidTdu, 0x1C5, kLduLength + 1, 0, -1},
        {"TDULC beyond correction, next call a symbol before a voice unit", -1, 0, kDuidTdulc, 0x1C5, kLduLength - 1, 0,
         -1},
        {"TDULC beyond correction, next call where a voice unit would be", -1, 0, kDuidTdulc, 0x1C5, kLduLength, 0, -1},
        {"TDULC beyond correction, next call a symbol after a voice unit", -1, 0, kDuidTdulc, 0x1C5, kLduLength + 1, 0,
         -1},
        {"third LDU1 read as TDU, the LDU2 behind beyond correction", 4, kDuidTdu, kDuidTdu, -1, 0, 1, -1},
        {"third LDU1 read as TDULC, the LDU2 behind beyond correction", 4, kDuidTdulc, kDuidTdu, -1, 0, 1, -1},
        {"fourth LDU2 read as TDU, two LDUs behind beyond correction", 7, kDuidTdu, kDuidTdu, -1, 0, 2, -1},
        {"third LDU1 read as HDU", 4, kDuidHdu, kDuidTdu, -1, 0, 0, -1},
        {"third LDU1 read as HDU, the LDU2 behind beyond correction", 4, kDuidHdu, kDuidTdu, -1, 0, 1, -1},
        {"TDU beyond correction, next call's header with the call's NAC where a voice unit would be", -1, 0, kDuidTdu,
         0x2A7, kLduLength, 0, -1},
        {"TDU beyond correction, a checked TSDU where a voice unit would be", -1, 0, kDuidTdu, -1, 2 * kLduLength, 0,
         kDuidTsdu},
        {"TDU beyond correction, a NID read as TSDU beyond correction, next call a voice unit later", -1, 0, kDuidTdu,
         0x1C5, 2 * kLduLength, 0, kDuidTsdu},
        {"TDULC beyond correction, a NID read as LDU1 beyond correction, next call a voice unit later", -1, 0,
         kDuidTdulc, 0x1C5, 2 * kLduLength, 0, kDuidLdu1},
    };
    for (const auto& row : kRows) {
        const bool misread = row.misreadLdu >= 0, next = row.nextCallNac >= 0;
        const size_t terminatorLength = row.terminator == kDuidTdu ? 72 : 216;
        TestCall call;
        call.algid = misread ? 0x81 : 0x80;
        call.misreadLdu = row.misreadLdu;
        call.misreadAs = row.misreadAs;
        call.terminator = row.terminator;
        call.terminatorLost = !misread;
        call.nextCallNac = row.nextCallNac;
        call.nextCallGap = row.nextCallAt ? static_cast<int>(row.nextCallAt - terminatorLength) : 0;
        call.lostAfterMisread = row.lostAfter;
        call.strayDuid = row.strayDuid;
        call.strayLost = next;
        const bool stray = row.strayDuid >= 0;
        int voiceFrames = 0;
        const std::vector<float> x = MakeTestCallIf(call, &voiceFrames);
        for (int ifBlock : {512, 2048, 32768}) {
            SCOPED_TRACE(testing::Message() << row.what << ", IF block " << ifBlock);
            const std::string text = c4fmtest::Demodulate(x, ifBlock);
            // Precondition: every frame's NID checks out but the damaged one's, whose DUID reads as
            // sent, and the next call's sync lies where it was sent.
            const std::vector<c4fmtest::FoundFrame> found = c4fmtest::FindFrames(text);
            const size_t checked = 11 - row.lostAfter + (stray && !next);  // of the first call, and a stray
            ASSERT_EQ(checked + next * 12, found.size());
            const size_t end = found[1].position + 10 * kLduLength;  // the call's terminator
            const size_t damaged = misread ? found[1].position + row.misreadLdu * kLduLength : end;
            ASSERT_EQ(misread ? row.misreadAs : row.terminator, std::stoi(text.substr(damaged + 30, 2), nullptr, 4));
            const size_t nextSync = end + (row.nextCallAt ? row.nextCallAt : terminatorLength);
            if (next) {
                ASSERT_EQ(nextSync, found[checked].position);
            }
            CApcoFrameDecoder d;
            d.SetBlockSize(512);
            int blocks = 0, changed = 0;
            std::vector<std::pair<size_t, uint32_t>> ends;  // symbol, NAC
            for (size_t k = 0; k < text.size(); ++k) {
                d.Process(&text[k], 1);
                for (int16_t* b; (b = d.PopAudioBlock()) != nullptr; ++blocks) d.ReleaseAudioBlock(b);
                for (const EventRecord& e : d.GetEventCount() ? TakeEvents(d) : std::vector<EventRecord>())
                    if (e[0] == 0x81) ends.emplace_back(k, EventField(e, 1));
                if (k >= found[1].position && k < end + terminatorLength)
                    changed +=
                        d.GetAlgid() != call.algid || (k < end && (d.GetNac() != call.nac || d.GetTgid() != call.tgid));
            }
            EXPECT_EQ(0, changed) << "symbols with another ALGID, NAC or TGID";
            // A unit read as an LDU is voice, whatever it holds: the stray one brings nine frames.
            const int strayFrames = stray && next && row.strayDuid == kDuidLdu1 ? 9 : 0;
            EXPECT_EQ((voiceFrames - misread * 9 + strayFrames) * 160 / 512, blocks);
            // The end of call: at the terminator's last symbol when its NID checks out (the real
            // one behind a misread voice unit); else at the last symbol of the next call's sync,
            // or of its NID when that sync lies where a voice unit's would, or where a voice
            // unit's next sync would have ended.
            size_t firstEnd = end + kLduLength + 23;
            if (misread)
                firstEnd = end + terminatorLength - 1;
            else if (stray && !next)
                firstEnd = end + kLduLength + 56;
            else if (next && row.nextCallAt && row.nextCallAt % kLduLength == 0)
                firstEnd = nextSync + 56;
            else if (next && row.nextCallAt < kLduLength)
                firstEnd = nextSync + 23;
            std::vector<std::pair<size_t, uint32_t>> expected = {{firstEnd, call.nac}};
            if (next) expected.emplace_back(found.back().position + terminatorLength - 1, row.nextCallNac);
            EXPECT_EQ(expected, ends);
        }
    }
}

TEST(FrameDecoderTest, OneCharacterPiecesDecodeAsOneBlock) {
    FrameBuilder fb;
    Corruption c;
    c.voiceFlips = {{0, 5}, {3, 70}, {8, 140}};
    c.wordMasks.assign(24, 0);
    c.wordMasks[3] = 1;
    const std::string call = Noise(17) + fb.Hdu(kNac, MakeHeader(0x90, 0x84, 3, 0x3333).data()) +
                             fb.Ldu1(kNac, ImbeVoice(6), GroupLc(0, true, 0x3333, 0x444444).data(), c) +
                             fb.Ldu2(kNac, ImbeVoice(7), MakeEs(0x84, 3).data(), c) + fb.Tdu(kNac) + Noise(30) +
                             fb.SyncAndNid(0x777, kDuidPdu);
    CApcoFrameDecoder whole, pieces;
    whole.SetBlockSize(512);
    pieces.SetBlockSize(512);
    const int wholeReady = Feed(whole, call);
    int piecesReady = 0;
    for (char ch : call) piecesReady = pieces.Process(&ch, 1);
    EXPECT_EQ(wholeReady, piecesReady);
    EXPECT_EQ(Shown(whole), Shown(pieces));
    EXPECT_EQ(0x777, pieces.GetNac());
    EXPECT_GT(whole.GetBitErrorRate(), 0.0f);
    EXPECT_EQ(whole.GetEventCount(), pieces.GetEventCount());
    for (;;) {
        int16_t* a = whole.PopAudioBlock();
        int16_t* b = pieces.PopAudioBlock();
        ASSERT_EQ(a == nullptr, b == nullptr);
        if (!a) break;
        EXPECT_EQ(0, std::memcmp(a, b, 512 * sizeof(int16_t)));
        whole.ReleaseAudioBlock(a);
        pieces.ReleaseAudioBlock(b);
    }
}

// 512-sample blocks: 160-sample frames straddle block edges. Taken out as the plug-in does,
// after each piece of text, the blocks are the vocoder's output for the same frames, sample for
// sample; left in the queue, the newest ten are kept.
TEST(FrameDecoderTest, VoiceBlocksCarryEverySample) {
    FrameBuilder fb;
    std::vector<std::vector<VoiceFrameBits>> ldus;
    for (int i = 0; i < 8; ++i) ldus.push_back(ImbeVoice(20 + i));
    const std::vector<int16_t> reference = ReferenceAudio(ldus);
    std::string text = fb.Hdu(kNac, MakeHeader(0, 0x80, 0, 1).data());
    for (int i = 0; i < 8; ++i)
        text += i % 2 ? fb.Ldu2(kNac, ldus[static_cast<size_t>(i)], MakeEs(0x80, 0).data())
                      : fb.Ldu1(kNac, ldus[static_cast<size_t>(i)], GroupLc(0, false, 1, 2).data());
    CApcoFrameDecoder taken, left;
    taken.SetBlockSize(512);
    left.SetBlockSize(512);
    std::vector<int16_t> got;
    for (size_t pos = 0; pos < text.size(); pos += 777) {
        const std::string piece = text.substr(pos, 777);
        ASSERT_GE(Feed(taken, piece), 0);
        ASSERT_LE(Feed(left, piece), 10);
        while (int16_t* b = taken.PopAudioBlock()) {
            got.insert(got.end(), b, b + 512);
            taken.ReleaseAudioBlock(b);
        }
    }
    // 8 x 1440 = 11520 samples: 22 full blocks, 256 samples still in the current block, which
    // took the oldest ready block of the queue left alone: its ready ones are blocks 13..21.
    ASSERT_EQ(22u * 512u, got.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), reference.begin()));
    ASSERT_EQ(9, left.GetReadyBlockCount());
    for (int b = 13; b < 22; ++b) {
        int16_t* block = left.PopAudioBlock();
        ASSERT_NE(nullptr, block);
        EXPECT_TRUE(std::equal(block, block + 512, reference.begin() + 512 * b)) << b;
        left.ReleaseAudioBlock(block);
    }
    EXPECT_EQ(nullptr, left.PopAudioBlock());
}

// One Process call that makes more blocks than the queue keeps between calls (one large IF
// block) loses none of them; what is left over when nobody takes blocks out gives way to the
// next call's blocks, oldest first.
TEST(FrameDecoderTest, OneCallKeepsEveryBlockItMakes) {
    FrameBuilder fb;
    std::vector<std::vector<VoiceFrameBits>> ldus;
    for (int i = 0; i < 10; ++i) ldus.push_back(ImbeVoice(40 + i));
    const std::vector<int16_t> reference = ReferenceAudio(ldus);
    std::string first = fb.Hdu(kNac, MakeHeader(0, 0x80, 0, 1).data()), second;
    for (int i = 0; i < 10; ++i)
        (i < 8 ? first : second) += i % 2 ? fb.Ldu2(kNac, ldus[static_cast<size_t>(i)], MakeEs(0x80, 0).data())
                                          : fb.Ldu1(kNac, ldus[static_cast<size_t>(i)], GroupLc(0, false, 1, 2).data());
    CApcoFrameDecoder d;
    d.SetBlockSize(512);
    // 72 frames, 11520 samples: 22 full blocks and 256 samples in the current one.
    EXPECT_EQ(22, Feed(d, first));
    // 18 more frames: 2880 + 256 samples fill 6 blocks; each takes the place of an old one.
    EXPECT_EQ(22, Feed(d, second));
    for (int b = 6; b < 28; ++b) {
        int16_t* block = d.PopAudioBlock();
        ASSERT_NE(nullptr, block) << b;
        EXPECT_TRUE(std::equal(block, block + 512, reference.begin() + 512 * b)) << b;
        d.ReleaseAudioBlock(block);
    }
    EXPECT_EQ(nullptr, d.PopAudioBlock());
}

TEST(FrameDecoderTest, BlockSizeChanges) {
    FrameBuilder fb;
    CApcoFrameDecoder d;
    d.SetBlockSize(100);
    EXPECT_EQ(200, d.GetBlockSize());
    const std::string call =
        fb.Hdu(kNac, MakeHeader(0, 0x80, 0, 1).data()) + fb.Ldu1(kNac, ImbeVoice(1), GroupLc(0, false, 1, 2).data());
    EXPECT_EQ(7, Feed(d, call));  // 1440 samples in 200-sample blocks
    d.SetBlockSize(200);          // unchanged: nothing lost
    EXPECT_EQ(7, d.GetReadyBlockCount());

    // A block lent at the old size and given back after a change is freed, not refilled at the
    // new, larger size (ASan would see the overrun).
    int16_t* old = d.PopAudioBlock();
    ASSERT_NE(nullptr, old);
    d.SetBlockSize(1000);
    EXPECT_EQ(0, d.GetReadyBlockCount());
    d.ReleaseAudioBlock(old);
    d.ReleaseAudioBlock(old);  // twice: ignored
    int16_t stranger[4] = {};
    d.ReleaseAudioBlock(stranger);  // not ours: ignored
    d.ReleaseAudioBlock(nullptr);
    EXPECT_EQ(1, Feed(d, fb.Ldu2(kNac, ImbeVoice(2), MakeEs(0x80, 0).data())));
    int16_t* block = d.PopAudioBlock();
    ASSERT_NE(nullptr, block);
    d.ReleaseAudioBlock(block);
    EXPECT_EQ(1, Feed(d, fb.Ldu1(kNac, ImbeVoice(2), GroupLc(0, false, 1, 2).data())));  // 2880 samples

    // A size whose bytes would wrap a 32-bit size_t is capped; the next frames fill the block
    // without overrunning it (ASan, and the Windows build's own heap).
    d.SetBlockSize(0x7FFFFFFF);
    EXPECT_EQ(CApcoFrameDecoder::kMaxBlockSize, d.GetBlockSize());
    EXPECT_EQ(0, Feed(d, fb.Ldu2(kNac, ImbeVoice(3), MakeEs(0x80, 0).data())));
}

TEST(FrameDecoderTest, HoldCounterClearsNonVoiceFields) {
    FrameBuilder fb;
    CApcoFrameDecoder d;
    Feed(d, fb.SyncAndNid(0x345, kDuidPdu));
    EXPECT_EQ(kTransmissionPacket, d.GetTransmissionType());
    Feed(d, Noise(9999));
    EXPECT_EQ(0x345, d.GetNac());
    Feed(d, Noise(1));
    EXPECT_EQ(-1, d.GetNac());
    EXPECT_EQ(kTransmissionNone, d.GetTransmissionType());
    Feed(d, Noise(20000));  // no wrap-around: stays cleared
    EXPECT_EQ(kTransmissionNone, d.GetTransmissionType());
}

TEST(FrameDecoderTest, ResetShowsWhatAFreshDecoderShows) {
    FrameBuilder fb;
    CApcoFrameDecoder d, fresh;
    d.SetBlockSize(200);
    Feed(d, fb.Hdu(kNac, MakeHeader(0x90, 0x84, 0, 9).data()) +
                fb.Ldu1(kNac, ImbeVoice(1), GroupLc(0, true, 9, 8).data()));
    EXPECT_GT(d.GetReadyBlockCount(), 0);
    d.Reset();
    EXPECT_EQ(Shown(fresh), Shown(d));
    EXPECT_EQ(0, d.GetReadyBlockCount());
    EXPECT_EQ(nullptr, d.PopAudioBlock());
    EXPECT_EQ(200, d.GetBlockSize());  // the size stays
}
