// Error correction of IMBE frames: codes, de-interleaving, pseudo-random demodulation and the
// per-vector error counts, against the test-side encoder.
#include "imbe/imbe_decoder.h"
#include "imbe/imbe_fec.h"
#include "tests/support/imbe_test_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

int Weight(uint32_t x) {
    int n = 0;
    for (; x; x &= x - 1) ++n;
    return n;
}

ImbeFrame MakeFrame(const uint8_t channel[144], int softBits = 1) {
    ImbeFrame f{};
    std::copy(channel, channel + 144, f.bits);
    f.sampleCount = 160;
    f.softBits = static_cast<int16_t>(softBits);
    return f;
}

ImbeTestWords RandomWords(std::mt19937& rng) {
    ImbeTestWords w;
    for (int v = 0; v < 8; ++v) w.u[v] = static_cast<uint16_t>(rng() & (v < 4 ? 0xFFF : (v < 7 ? 0x7FF : 0x7F)));
    return w;
}

// A random frame's channel bits and the information bits it carries.
struct Encoded {
    uint8_t channel[144];
    uint8_t info[88];
};

Encoded EncodeRandom(std::mt19937& rng) {
    Encoded e;
    ImbeTestWords w = RandomWords(rng);
    ImbeTestEncodeWords(w, e.channel);
    ImbeTestWordsToBits(w, e.info);
    return e;
}

void FlipBits(uint8_t channel[144], int vector, int count, std::mt19937& rng) {
    int errors[7] = {};
    errors[vector] = count;
    ImbeTestAddErrors(channel, errors, rng());
}

// A random frame sent with softBits 3 at full confidence (levels 0 and 7).
struct SoftFrame {
    uint8_t channel[144];
    uint8_t info[88];
    ImbeFrame frame;
};

SoftFrame MakeSoftFrame(std::mt19937& rng) {
    SoftFrame s;
    ImbeTestWords w = RandomWords(rng);
    ImbeTestEncodeWords(w, s.channel);
    ImbeTestWordsToBits(w, s.info);
    s.frame = MakeFrame(s.channel, 3);
    for (int i = 0; i < 144; ++i) s.frame.bits[i] = s.channel[i] ? 7 : 0;
    return s;
}

// Makes one entry barely wrong: 3 for a sent 1, 4 for a sent 0 (reliability 1).
void Weaken(SoftFrame* s, int vector, int bit) {
    const int at = ImbeTestChannelIndex(vector, bit);
    s->frame.bits[at] = s->channel[at] ? 3 : 4;
}

}  // namespace

// The decoders are linear: the correction depends only on the syndrome of the error pattern,
// so every pattern of weight <= 3 over a few code words covers the whole code.
TEST(ImbeFec, GolayKeepsCodeWordsAndCorrectsEveryPatternUpToThreeErrors) {
    std::vector<uint32_t> patterns;
    patterns.push_back(0);
    for (int a = 0; a < 23; ++a) {
        patterns.push_back(1u << a);
        for (int b = a + 1; b < 23; ++b) {
            patterns.push_back((1u << a) | (1u << b));
            for (int c = b + 1; c < 23; ++c) patterns.push_back((1u << a) | (1u << b) | (1u << c));
        }
    }
    ASSERT_EQ(2048u, patterns.size());  // 1 + 23 + 253 + 1771
    for (uint32_t info = 0; info < 4096; ++info) {
        const uint32_t c = ImbeTestGolayEncode(static_cast<uint16_t>(info));
        ASSERT_EQ(info, c >> 11);
        ASSERT_EQ(c, ImbeGolayCorrect(c));
    }
    for (uint32_t info : {0u, 0xFFFu, 0xA5Cu, 0x123u}) {
        const uint32_t c = ImbeTestGolayEncode(static_cast<uint16_t>(info));
        for (uint32_t e : patterns) ASSERT_EQ(c, ImbeGolayCorrect(c ^ e)) << std::hex << e;
    }
}

// The pieces of the vector decoder: the Golay decoder reads soft entries (3 bits here) as the
// hard word, the candidates flip the least reliable positions, the count compares words.
TEST(ImbeFec, GolayDecodeCandidatesAndBitCount) {
    const uint32_t c = ImbeTestGolayEncode(0xA5C), errors = (1u << 22) | (1u << 9) | 1u;
    uint8_t entries[23];
    for (int i = 0; i < 23; ++i) entries[i] = ((c ^ errors) >> (22 - i) & 1) ? 6 : 1;  // 3-bit soft values
    EXPECT_EQ(c, ImbeGolayDecode(entries, 3));
    EXPECT_EQ(3, ImbeCountBits(c, c ^ errors));
    EXPECT_EQ(32, ImbeCountBits(0xFFFFFFFFu, 0));
    EXPECT_EQ(0, ImbeCountBits(c, c));
    const int positions[3] = {0, 13, 22};  // entry 0 is bit n - 1
    uint32_t golay[8], hamming[5];
    ImbeGolayCandidates(c, 23, positions, golay);
    const uint32_t flips[3] = {1u << 22, 1u << 9, 1u};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(c ^ (k & 1 ? flips[0] : 0) ^ (k & 2 ? flips[1] : 0) ^ (k & 4 ? flips[2] : 0), golay[k]) << k;
    const int hammingPositions[4] = {14, 1, 0, 5};
    ImbeHammingCandidates(0x7FFF, 15, hammingPositions, hamming);
    const uint32_t single[5] = {0x7FFF, 0x7FFF ^ 0x1, 0x7FFF ^ 0x2000, 0x7FFF ^ 0x4000, 0x7FFF ^ 0x200};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(single[k], hamming[k]) << k;
}

TEST(ImbeFec, HammingKeepsCodeWordsCorrectsSinglesAndMiscorrectsDoubles) {
    for (uint16_t info = 0; info < 2048; ++info) {
        const uint16_t c = ImbeTestHammingEncode(info);
        ASSERT_EQ(info, c >> 4);
        ASSERT_EQ(c, ImbeHammingCorrect(c));
        for (int b = 0; b < 15; ++b) ASSERT_EQ(c, ImbeHammingCorrect(c ^ (1 << b)));
        for (int b = 0; b < 15; b += 3) {
            uint16_t r = c ^ (1 << b) ^ (1 << ((b + 5) % 15));
            uint16_t d = ImbeHammingCorrect(r);
            ASSERT_NE(c, d);
            ASSERT_EQ(1, Weight(d ^ r));
        }
    }
}

TEST(ImbeFec, RandomParametersForEveryHarmonicCountRoundTrip) {
    std::mt19937 rng(9);
    ImbeDecoderState state;
    ImbeInit(&state);
    for (int b0 = 0; b0 < 208; b0 += 4) {  // every upper-6-bit value: L = 9 .. 56
        for (int trial = 0; trial < 10; ++trial) {
            ImbeTestParams p = ImbeTestRandomParams(b0 + static_cast<int>(rng() % 4), rng);
            const int l = ImbeTestHarmonicCount(b0);
            uint8_t info[88], channel[144];
            ImbeTestPackParameters(p, info);
            ImbeTestEncodeFrame(p, channel);
            ImbeFrame f = MakeFrame(channel);
            ImbeFecDecode(&f, &state);
            ASSERT_TRUE(std::equal(info, info + 88, f.bits)) << "b0 " << p.fundamentalCode;
            ASSERT_EQ(0, state.errorTotal);
            ImbeDecode(&f, &state);
            ASSERT_EQ(0, f.status);
            ASSERT_EQ(l, state.prevHarmonicCount);
        }
    }
}

// The interleave undoes the de-interleave (soft values too); the de-interleave's own order is
// pinned by the round trips through the test encoder.
TEST(ImbeFec, InterleaveInvertsTheDeinterleave) {
    std::mt19937 rng(12);
    for (int trial = 0; trial < 20; ++trial) {
        uint8_t a[144], work[144], back[144];
        for (uint8_t& v : a) v = static_cast<uint8_t>(rng());
        ImbeDeinterleave(a, work);
        ImbeInterleave(work, back);
        ASSERT_TRUE(std::equal(a, a + 144, back));
    }
}

TEST(ImbeFec, CorrectableErrorsInEachVectorAreCountedAndRemoved) {
    std::mt19937 rng(2);
    for (int vector = 0; vector < 7; ++vector) {
        const int capacity = vector < 4 ? 3 : 1;
        for (int errors = 0; errors <= capacity; ++errors) {
            for (int trial = 0; trial < 40; ++trial) {
                ImbeDecoderState state;
                ImbeInit(&state);
                Encoded e = EncodeRandom(rng);
                FlipBits(e.channel, vector, errors, rng);
                ImbeFrame f = MakeFrame(e.channel);
                ImbeFecDecode(&f, &state);
                ASSERT_TRUE(std::equal(e.info, e.info + 88, f.bits)) << "vector " << vector << " errors " << errors;
                for (int v = 0; v < 7; ++v) ASSERT_EQ(v == vector ? errors : 0, state.vectorErrors[v]);
                ASSERT_EQ(errors, f.errorCount);
            }
        }
    }
    // Every vector at its capacity at once: 15 corrected errors, exact bits.
    ImbeDecoderState state;
    ImbeInit(&state);
    Encoded e = EncodeRandom(rng);
    const int full[7] = {3, 3, 3, 3, 1, 1, 1};
    ImbeTestAddErrors(e.channel, full, 99);
    ImbeFrame f = MakeFrame(e.channel);
    ImbeFecDecode(&f, &state);
    EXPECT_TRUE(std::equal(e.info, e.info + 88, f.bits));
    EXPECT_EQ(15, f.errorCount);
}

TEST(ImbeFec, ErrorsBeyondCapacity) {
    std::mt19937 rng(4);
    // Four errors in c0 decode to a wrong u0, so c1 .. c6 are demodulated with the wrong
    // sequence and collect many errors: the frame is marked for repetition.
    for (int trial = 0; trial < 50; ++trial) {
        ImbeDecoderState state;
        ImbeInit(&state);
        uint8_t channel[144];
        ImbeTestEncodeWords(RandomWords(rng), channel);
        FlipBits(channel, 0, 4, rng);
        ImbeFrame f = MakeFrame(channel);
        ImbeFecDecode(&f, &state);
        EXPECT_EQ(3, state.vectorErrors[0]);
        EXPECT_TRUE(f.status & kImbeRepeat) << "trial " << trial << " errors " << f.errorCount;
    }
    // Two errors in a Hamming word: one more bit changed, count 1, wrong information.
    ImbeDecoderState state;
    ImbeInit(&state);
    ImbeTestWords w = RandomWords(rng);
    uint8_t channel[144], info[88];
    ImbeTestEncodeWords(w, channel);
    ImbeTestWordsToBits(w, info);
    channel[ImbeTestChannelIndex(5, 2)] ^= 1;
    channel[ImbeTestChannelIndex(5, 9)] ^= 1;
    ImbeFrame f = MakeFrame(channel);
    ImbeFecDecode(&f, &state);
    EXPECT_EQ(1, state.vectorErrors[5]);
    EXPECT_EQ(1, f.errorCount);
    EXPECT_FALSE(std::equal(info + 59, info + 70, f.bits + 59));  // u5 is bits 59 .. 69
    EXPECT_TRUE(std::equal(info, info + 59, f.bits));
    EXPECT_TRUE(std::equal(info + 70, info + 88, f.bits + 70));
    // A flip in the plain bits of u7 is neither corrected nor counted.
    ImbeInit(&state);
    ImbeTestEncodeWords(w, channel);
    channel[ImbeTestChannelIndex(7, 3)] ^= 1;
    f = MakeFrame(channel);
    ImbeFecDecode(&f, &state);
    EXPECT_EQ(0, f.errorCount);
    EXPECT_NE(info[81 + 3], f.bits[81 + 3]);
}

TEST(ImbeFec, AllZeroFrame) {
    // u0 = 0 starts the sequence at 0; c1 .. c6 then differ from valid code words by the
    // sequence's inversions, which the decoders count as 12 corrected errors.
    ImbeDecoderState state;
    ImbeInit(&state);
    uint8_t channel[144] = {};
    ImbeFrame f = MakeFrame(channel);
    ImbeFecDecode(&f, &state);
    EXPECT_EQ(12, f.errorCount);
    EXPECT_EQ(0, state.vectorErrors[0]);
    EXPECT_EQ(0, f.status);
    ImbeDecode(&f, &state);
    EXPECT_EQ(0, f.status);
}

TEST(ImbeFec, SoftBitsAreClampedAndHardBitsAreNonzero) {
    std::mt19937 rng(6);
    ImbeTestWords w = RandomWords(rng);
    uint8_t channel[144], info[88];
    ImbeTestEncodeWords(w, channel);
    ImbeTestWordsToBits(w, info);
    struct Case {
        int softBits;
        uint8_t one;  // the value sent for a 1
    } cases[] = {{1, 1}, {1, 200}, {0, 1}, {-3, 9}, {3, 7}, {3, 255}, {8, 255}, {12, 255}};
    for (const Case& c : cases) {
        ImbeDecoderState state;
        ImbeInit(&state);
        ImbeFrame f = MakeFrame(channel, c.softBits);
        for (int i = 0; i < 144; ++i) f.bits[i] = channel[i] ? c.one : 0;
        ImbeFecDecode(&f, &state);
        EXPECT_TRUE(std::equal(info, info + 88, f.bits)) << "softBits " << c.softBits;
        EXPECT_EQ(0, f.errorCount);
        EXPECT_EQ(0, f.status);
        EXPECT_EQ(0, f.decoderMetric);
    }
}

TEST(ImbeFec, SoftDecisionRecoversFromWeakErrors) {
    // softBits 3: values 0 .. 7, reliability |2v - 7|. Four wrong bits in c0 are beyond the
    // hard decoder; when three of them are barely wrong (3 or 4), flipping the three least
    // reliable positions leaves one hard error, which the candidate search corrects.
    std::mt19937 rng(8);
    for (int trial = 0; trial < 20; ++trial) {
        SoftFrame s = MakeSoftFrame(rng);
        for (int b : {1, 8, 15}) Weaken(&s, 0, b);
        int strong = ImbeTestChannelIndex(0, 20);
        s.frame.bits[strong] = s.channel[strong] ? 0 : 7;
        ImbeFrame& f = s.frame;
        const uint8_t* info = s.info;
        ImbeDecoderState state;
        ImbeInit(&state);
        ImbeFecDecode(&f, &state);
        ASSERT_TRUE(std::equal(info, info + 88, f.bits)) << "trial " << trial;
        EXPECT_EQ(4, state.vectorErrors[0]);
        // Metric of the right word: three entries 4 away from their level, one 7 away.
        EXPECT_EQ(3 * 16 + 49, f.decoderMetric);
    }
}

TEST(ImbeFec, SoftDecisionRecoversTwoWeakErrorsInAHammingWord) {
    // softBits 3. Two wrong bits in c4 are beyond the hard decoder, which changes a third bit.
    // Both wrong entries are barely wrong (4 for a 0, 3 for a 1: reliability 1), so they are
    // among the four least reliable; flipping either leaves one error that the code corrects.
    // The right word's metric is 2 * 4^2 = 32, the hard decoder's 2 * 3^2 + 7^2 = 67.
    std::mt19937 rng(12);
    for (int trial = 0; trial < 20; ++trial) {
        SoftFrame s = MakeSoftFrame(rng);
        const int a = static_cast<int>(rng() % 15);
        const int b = (a + 1 + static_cast<int>(rng() % 14)) % 15;
        for (int bit : {a, b}) Weaken(&s, 4, bit);
        ImbeFrame& f = s.frame;
        const uint8_t* info = s.info;
        const uint8_t* channel = s.channel;
        ImbeFrame hard = MakeFrame(channel);
        for (int bit : {a, b}) hard.bits[ImbeTestChannelIndex(4, bit)] ^= 1;
        ImbeDecoderState state;
        ImbeInit(&state);
        ImbeFecDecode(&hard, &state);
        ASSERT_FALSE(std::equal(info + 48, info + 59, hard.bits + 48));  // u4 is bits 48 .. 58
        ImbeInit(&state);
        ImbeFecDecode(&f, &state);
        ASSERT_TRUE(std::equal(info, info + 88, f.bits)) << "trial " << trial;
        EXPECT_EQ(2, state.vectorErrors[4]);
        EXPECT_EQ(32, f.decoderMetric);
    }
}

TEST(ImbeFec, SoftMetricSumSaturatesOnStoring) {
    // softBits 8 with every entry at 128, halfway between the levels 0 and 255: each of the
    // 137 coded entries adds at least 127^2 whatever word is chosen, 2.2 million in all, so
    // the 16-bit metric must hold its ceiling instead of a wrapped value.
    ImbeDecoderState state;
    ImbeInit(&state);
    ImbeFrame f{};
    std::fill(f.bits, f.bits + 144, uint8_t(128));
    f.sampleCount = 160;
    f.softBits = 8;
    ImbeFecDecode(&f, &state);
    EXPECT_EQ(32767, f.decoderMetric);
    EXPECT_EQ(32767, state.metricTotal);
}
