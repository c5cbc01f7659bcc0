// Error statistics, repeat/mute decisions and the status word of whole frames.
#include "imbe/imbe_decoder.h"
#include "imbe/imbe_fec.h"
#include "tests/support/imbe_test_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// A frame of the given parameters with errors[v] flipped bits in code vector v.
ImbeFrame EncodedFrame(const ImbeTestParams& p, const int errors[7], std::mt19937& rng) {
    uint8_t channel[144];
    ImbeTestEncodeFrame(p, channel);
    ImbeTestAddErrors(channel, errors, rng());
    ImbeFrame f{};
    std::copy(channel, channel + 144, f.bits);
    f.sampleCount = 160;
    f.softBits = 1;
    return f;
}

const int kNoErrors[7] = {0, 0, 0, 0, 0, 0, 0};
const int kFourInC0[7] = {4, 0, 0, 0, 0, 0, 0};

int DecodeFrame(ImbeFrame* f, ImbeDecoderState* state) {
    ImbeFecDecode(f, state);
    ImbeDecode(f, state);
    return f->status;
}

}  // namespace

TEST(ImbeFrameControl, ErrorRateFollowsItsSmoothingModel) {
    // eR = 0.95 eR + 0.05 eT / 137 in Q15. The fixed-point update truncates by less than one
    // unit per frame, and the 0.95 recursion accumulates at most 1 / (1 - 0.95) = 20 units.
    std::mt19937 rng(21);
    ImbeDecoderState state;
    ImbeInit(&state);
    ImbeTestParams p = ImbeTestFlatParams(150, true, 40);
    double model = 0;
    for (int n = 0; n < 400; ++n) {
        int errors[7];
        int total = 0;
        for (int v = 0; v < 7; ++v) {
            errors[v] = v == 0 ? static_cast<int>(rng() % 2) : static_cast<int>(rng() % (v < 4 ? 4 : 2));
            total += errors[v];
        }
        ImbeFrame f = EncodedFrame(p, errors, rng);
        ImbeFecDecode(&f, &state);
        ASSERT_EQ(total, f.errorCount);
        model = 0.95 * model + 0.05 * total / 137.0 * 32768.0;
        ASSERT_NEAR(model, f.errorRate, 20.0) << "frame " << n;
        ASSERT_LE(f.errorRate, model + 0.5);
    }
}

TEST(ImbeFrameControl, RepeatAndMuteThresholds) {
    struct Case {
        int rate, e0, total, softBits, flags;
    } cases[] = {
        // hard bits: threshold min(12, 10 + 40 eR) with the rate before the frame
        {0, 2, 10, 1, kImbeRepeat},
        {0, 2, 9, 1, 0},
        {0, 1, 14, 1, 0},
        {1638, 2, 11, 1, kImbeRepeat},  // 10 + 40 * 1638/32768 = 11.9996: threshold 11
        {1639, 2, 11, 1, 0},
        {1639, 2, 12, 1, kImbeRepeat},
        {2000, 3, 12, 1, kImbeRepeat},
        // mute once the updated rate exceeds 0.0875 (2867): 3020 * 0.95 = 2869
        {3000, 0, 0, 1, 0},
        {3020, 0, 0, 1, kImbeMute},
        // soft bits: eT + e0 >= 19 with e0 >= 3; mute above 0.12 (3932)
        {0, 3, 16, 2, kImbeRepeat},
        {0, 2, 17, 2, 0},
        {0, 3, 15, 2, 0},
        {4160, 0, 0, 2, kImbeMute},
        {4130, 0, 0, 2, 0},
        {4130, 0, 0, 1, kImbeMute},
    };
    for (const Case& c : cases) {
        ImbeDecoderState state;
        ImbeInit(&state);
        state.errorRate = static_cast<int16_t>(c.rate);
        state.vectorErrors[0] = static_cast<int16_t>(c.e0);
        state.vectorErrors[1] = static_cast<int16_t>(c.total - c.e0);
        EXPECT_EQ(c.flags, ImbeFrameErrorFlags(&state, c.softBits))
            << "rate " << c.rate << " e0 " << c.e0 << " total " << c.total << " soft " << c.softBits;
        EXPECT_EQ(c.total, state.errorTotal);
    }
}

TEST(ImbeFrameControl, StatusesRepeatsAndMutes) {
    std::mt19937 rng(23);
    ImbeDecoderState state;
    ImbeInit(&state);
    ImbeTestParams good = ImbeTestFlatParams(120, true, 45);
    const int16_t goodFundamental = static_cast<int16_t>(4194304 / (4 * good.fundamentalCode + 158));

    ImbeFrame f = EncodedFrame(good, kNoErrors, rng);
    EXPECT_EQ(0, DecodeFrame(&f, &state));
    EXPECT_EQ(goodFundamental, state.lastParams.fundamental);
    EXPECT_EQ(ImbeSynthesizeSamples, state.lastParams.synthesize);

    // A reserved fundamental code repeats the last frame without FEC flags.
    ImbeTestParams reserved = good;
    reserved.fundamentalCode = 210;
    f = EncodedFrame(reserved, kNoErrors, rng);
    EXPECT_EQ(0x20, DecodeFrame(&f, &state));
    EXPECT_EQ(goodFundamental, state.lastParams.fundamental);

    f = EncodedFrame(good, kNoErrors, rng);
    EXPECT_EQ(0, DecodeFrame(&f, &state));

    // Three repeats of the last good parameters, then the fourth bad frame is muted.
    for (int n = 1; n <= 4; ++n) {
        f = EncodedFrame(good, kFourInC0, rng);
        EXPECT_EQ(0x24, DecodeFrame(&f, &state)) << "bad frame " << n;
        if (n < 4) {
            EXPECT_EQ(goodFundamental, state.lastParams.fundamental);
        } else {
            EXPECT_EQ(16384, state.lastParams.fundamental);
            EXPECT_EQ(14, state.lastParams.harmonicCount);
            EXPECT_EQ(0, state.lastParams.voiced[0]);
        }
    }
    // Recovery on the next good frame.
    f = EncodedFrame(good, kNoErrors, rng);
    EXPECT_EQ(0, DecodeFrame(&f, &state));
    EXPECT_EQ(goodFundamental, state.lastParams.fundamental);
    EXPECT_EQ(1, state.lastParams.voiced[0]);

    // The mute flag mutes at once, also after good frames; with the repeat flag too: 0x2C.
    state.errorRate = 4000;
    f = EncodedFrame(good, kNoErrors, rng);
    EXPECT_EQ(0x28, DecodeFrame(&f, &state));
    EXPECT_EQ(16384, state.lastParams.fundamental);
    state.errorRate = 4000;
    f = EncodedFrame(good, kFourInC0, rng);
    EXPECT_EQ(0x2C, DecodeFrame(&f, &state));
}

TEST(ImbeFrameControl, MutedFrameStillUpdatesThePrediction) {
    // The mute flag silences the frame, yet its parameters are unpacked and become the
    // previous amplitudes of the next frame's prediction.
    std::mt19937 rng(25);
    ImbeDecoderState state;
    ImbeInit(&state);
    ImbeTestParams p = ImbeTestFlatParams(100, true, 50);
    state.errorRate = 4000;
    ImbeFrame f = EncodedFrame(p, kNoErrors, rng);
    EXPECT_EQ(0x28, DecodeFrame(&f, &state));
    EXPECT_EQ(ImbeTestHarmonicCount(p.fundamentalCode), state.prevHarmonicCount);
    EXPECT_NE(0, state.prevLogAmplitude[0]);
}

TEST(ImbeFrameControl, SampleCountIsClampedAndBoundsTheOutput) {
    std::mt19937 rng(24);
    struct Case {
        int asked, clamped;
    } cases[] = {{100, 132}, {132, 132}, {160, 160}, {205, 205}, {206, 206}, {240, 240}, {300, 240}, {-5, 132}};
    for (const Case& c : cases) {
        ImbeDecoderState state;
        ImbeInit(&state);
        ImbeFrame f = EncodedFrame(ImbeTestFlatParams(180, true, 40), kNoErrors, rng);
        f.sampleCount = static_cast<int16_t>(c.asked);
        ImbeFecDecode(&f, &state);
        std::fill(f.pcm, f.pcm + kImbeMaxSamples, int16_t(0x5A5A));
        ImbeDecode(&f, &state);
        EXPECT_EQ(c.clamped, f.sampleCount);
        for (int i = c.clamped; i < kImbeMaxSamples; ++i) ASSERT_EQ(0x5A5A, f.pcm[i]) << "asked " << c.asked;
        EXPECT_EQ(160, state.samplesPerFrame);
        EXPECT_EQ(160, state.voicedFrameLength);
    }
}
