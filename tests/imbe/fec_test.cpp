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

// Flips `count` distinct random bits of code vector `vector` in the channel bits.
void FlipBits(uint8_t channel[144], int vector, int count, std::mt19937& rng) {
    std::vector<int> bits(ImbeTestVectorLength(vector));
    for (size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<int>(i);
    std::shuffle(bits.begin(), bits.end(), rng);
    for (int i = 0; i < count; ++i) channel[ImbeTestChannelIndex(vector, bits[i])] ^= 1;
}

}  // namespace

TEST(ImbeFec, EncodersAgreeOnEveryInformationWord) {
    for (uint32_t info = 0; info < 4096; ++info) {
        uint32_t c = ImbeTestGolayEncode(static_cast<uint16_t>(info));
        ASSERT_EQ(c, ImbeGolayEncode(info));
        ASSERT_EQ(c, ImbeGolayCorrect(c));
        ASSERT_EQ(info, c >> 11);
    }
    for (uint16_t info = 0; info < 2048; ++info) {
        uint16_t c = ImbeTestHammingEncode(info);
        ASSERT_EQ(c, ImbeHammingEncode(info));
        ASSERT_EQ(c, ImbeHammingCorrect(c));
    }
}

// The decoders are linear: the correction depends only on the syndrome of the error pattern,
// so every pattern of weight <= 3 over a few code words covers the whole code.
TEST(ImbeFec, GolayCorrectsEveryPatternUpToThreeErrors) {
    std::vector<uint32_t> patterns;
    patterns.push_back(0);
    for (int a = 0; a < 23; ++a) {
        patterns.push_back(1u << a);
        for (int b = a + 1; b < 23; ++b) {
            patterns.push_back((1u << a) | (1u << b));
            for (int c = b + 1; c < 23; ++c) patterns.push_back((1u << a) | (1u << b) | (1u << c));
        }
    }
    ASSERT_EQ(2048u, patterns.size());   // 1 + 23 + 253 + 1771
    for (uint32_t info : {0u, 0xFFFu, 0xA5Cu, 0x123u}) {
        const uint32_t c = ImbeTestGolayEncode(static_cast<uint16_t>(info));
        for (uint32_t e : patterns) ASSERT_EQ(c, ImbeGolayCorrect(c ^ e)) << std::hex << e;
    }
}

TEST(ImbeFec, GolayDecodesEveryWordToTheNearestCodeWord) {
    // A perfect code: any word lies within distance 3 of exactly one code word, so four errors
    // decode to a wrong code word three bits away, never to a non-code word.
    std::mt19937 rng(11);
    for (int i = 0; i < 20000; ++i) {
        uint32_t w = rng() & 0x7FFFFF;
        uint32_t c = ImbeGolayCorrect(w);
        ASSERT_EQ(c, ImbeTestGolayEncode(static_cast<uint16_t>(c >> 11)));
        ASSERT_LE(Weight(c ^ w), 3);
    }
}

TEST(ImbeFec, HammingCorrectsSingleErrorsAndMiscorrectsDoubles) {
    for (uint16_t info = 0; info < 2048; ++info) {
        const uint16_t c = ImbeTestHammingEncode(info);
        for (int b = 0; b < 15; ++b) ASSERT_EQ(c, ImbeHammingCorrect(c ^ (1 << b)));
        for (int b = 0; b < 15; b += 3) {
            uint16_t r = c ^ (1 << b) ^ (1 << ((b + 5) % 15));
            uint16_t d = ImbeHammingCorrect(r);
            ASSERT_NE(c, d);
            ASSERT_EQ(1, Weight(d ^ r));
        }
    }
}

TEST(ImbeFec, RandomFramesRoundTripExactly) {
    std::mt19937 rng(1);
    ImbeDecoderState state;
    ImbeInit(&state);
    for (int n = 0; n < 2000; ++n) {
        ImbeTestWords w = RandomWords(rng);
        uint8_t channel[144], info[88];
        ImbeTestEncodeWords(w, channel);
        ImbeTestWordsToBits(w, info);
        ImbeFrame f = MakeFrame(channel);
        ImbeFecDecode(&f, &state);
        ASSERT_EQ(0, f.status);
        ASSERT_EQ(0, f.errorCount);
        ASSERT_EQ(0, f.errorRate);
        ASSERT_TRUE(std::equal(info, info + 88, f.bits)) << "frame " << n;
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
                ImbeTestWords w = RandomWords(rng);
                uint8_t channel[144], info[88];
                ImbeTestEncodeWords(w, channel);
                ImbeTestWordsToBits(w, info);
                FlipBits(channel, vector, errors, rng);
                ImbeFrame f = MakeFrame(channel);
                ImbeFecDecode(&f, &state);
                ASSERT_TRUE(std::equal(info, info + 88, f.bits)) << "vector " << vector << " errors " << errors;
                for (int v = 0; v < 7; ++v) ASSERT_EQ(v == vector ? errors : 0, state.vectorErrors[v]);
                ASSERT_EQ(errors, f.errorCount);
            }
        }
    }
    // Every vector at its capacity at once: 15 corrected errors, exact bits.
    ImbeDecoderState state;
    ImbeInit(&state);
    ImbeTestWords w = RandomWords(rng);
    uint8_t channel[144], info[88];
    ImbeTestEncodeWords(w, channel);
    ImbeTestWordsToBits(w, info);
    for (int v = 0; v < 7; ++v) FlipBits(channel, v, v < 4 ? 3 : 1, rng);
    ImbeFrame f = MakeFrame(channel);
    ImbeFecDecode(&f, &state);
    EXPECT_TRUE(std::equal(info, info + 88, f.bits));
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
    EXPECT_FALSE(std::equal(info + 59, info + 70, f.bits + 59));   // u5 is bits 59 .. 69
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
        uint8_t one;   // the value sent for a 1
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
        ImbeTestWords w = RandomWords(rng);
        uint8_t channel[144], info[88];
        ImbeTestEncodeWords(w, channel);
        ImbeTestWordsToBits(w, info);
        ImbeFrame f = MakeFrame(channel, 3);
        for (int i = 0; i < 144; ++i) f.bits[i] = channel[i] ? 7 : 0;
        for (int b : {1, 8, 15}) {
            int at = ImbeTestChannelIndex(0, b);
            f.bits[at] = channel[at] ? 3 : 4;
        }
        int strong = ImbeTestChannelIndex(0, 20);
        f.bits[strong] = channel[strong] ? 0 : 7;
        ImbeDecoderState state;
        ImbeInit(&state);
        ImbeFecDecode(&f, &state);
        ASSERT_TRUE(std::equal(info, info + 88, f.bits)) << "trial " << trial;
        EXPECT_EQ(4, state.vectorErrors[0]);
        // Metric of the right word: three entries 4 away from their level, one 7 away.
        EXPECT_EQ(3 * 16 + 49, f.decoderMetric);
    }
}
