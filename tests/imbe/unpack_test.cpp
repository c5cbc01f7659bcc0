// Parameter unpacking against the test side's double-precision model of the quantisers, the
// inverse DCTs and the prediction from the previous frame.
#include "imbe/imbe_decoder.h"
#include "imbe/imbe_params.h"
#include "tests/support/imbe_test_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

TEST(ImbeUnpack, HarmonicAndBandCounts) {
    EXPECT_EQ(56, ImbeHarmonicCount(51));
    EXPECT_EQ(9, ImbeHarmonicCount(0));
    for (int b0 = 0; b0 < 208; ++b0) {
        // L = floor(0.9254 floor(pi / w0 + 0.25)) with w0 = 4 pi / (b0 + 39.5)
        int l = static_cast<int>(std::floor(0.9254 * std::floor((b0 + 39.5) / 4.0 + 0.25)));
        EXPECT_EQ(l, ImbeHarmonicCount(b0 >> 2)) << b0;
        EXPECT_EQ(std::min(12, (l + 2) / 3), ImbeBandCount(l));
        EXPECT_EQ(static_cast<int>(4194304 / (4 * b0 + 158)), ImbeFundamental(b0));
    }
}

// The test encoder quantises with the decoder's own tables, so a typo in one would pass every
// round trip: each is pinned here on its own terms.
TEST(ImbeUnpack, TablesAgainstTheFrameFormat) {
    // Every allocation row fills the 88 bits exactly: b0 (8), b2 (6), the K voicing bits, the
    // coefficients and the one spare bit; three rows as the frame format lists them.
    for (int l = 9; l <= 56; ++l) {
        const uint8_t* row = ImbeBitAllocation(l);
        int sum = 0;
        for (int m = 0; m < l - 1; ++m) sum += row[m];
        EXPECT_EQ(88, 8 + 6 + std::min(12, (l + 2) / 3) + sum + 1) << "L " << l;
    }
    const std::vector<std::vector<int>> rows = {
        {10, 9, 9, 9, 9, 9, 8, 7},
        {6, 5, 5, 4, 4, 5, 4, 5, 4, 4, 3, 3, 2, 3, 2, 1, 3, 2, 1},
        {3, 3, 2, 2, 2, 3, 2, 2, 1, 1, 1, 1, 0, 3, 2, 2, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 1, 1,
         0, 2, 2, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0, 0, 2, 1, 1, 1, 0, 0, 0, 0, 0}};
    for (const auto& row : rows) {
        const int l = static_cast<int>(row.size()) + 1;
        EXPECT_TRUE(std::equal(row.begin(), row.end(), ImbeBitAllocation(l))) << "L " << l;
    }
    // Gain levels rise with the code, from -2.84 to 8.70 octaves.
    EXPECT_EQ(-5821, kImbeGainLevels[0]);
    EXPECT_EQ(17809, kImbeGainLevels[63]);
    for (int c = 1; c < 64; ++c) EXPECT_LT(kImbeGainLevels[c - 1], kImbeGainLevels[c]) << c;
    // The uniform quantiser's step for B bits, in deviations: 1.2, 0.85, 0.65, 0.40, 0.28, 0.15,
    // then 0.08 halving with each further bit; the table holds step * 2^B in Q11.
    const double steps[7] = {1.2, 0.85, 0.65, 0.40, 0.28, 0.15, 0.08};
    EXPECT_EQ(0, kImbeStepSizes[0]);
    for (int b = 1; b <= 12; ++b) {
        const double step = b <= 7 ? steps[b - 1] : 0.08 / (1 << (b - 7));
        EXPECT_EQ(std::lround(step * (1 << b) * 2048), kImbeStepSizes[b]) << "B " << b;
    }
    // Deviations fall with the order of the gain coefficient.
    for (int k = 1; k < 5; ++k) EXPECT_LT(kImbeGainDeviations[k], kImbeGainDeviations[k - 1]);
}

TEST(ImbeUnpack, MatchesTheDoubleModel) {
    // Tolerance in Q11 units (1/2048 octave): each dequantised value truncates by up to one
    // unit and enters a residual through two inverse DCTs with weights |2 cos| <= 2; the
    // interpolated cosine and the truncated prediction add a unit or two. The errors mostly
    // cancel; 16 units (0.05 dB) bounds them with margin.
    const double tol = 16.0 / 2048.0;
    std::mt19937 rng(31);
    // b0 codes for L = 9, 16, 25, 37 and 56.
    const int codes[5][2] = {{0, 9}, {32, 16}, {72, 25}, {120, 37}, {204, 56}};
    for (const auto& code : codes) {
        const int b0 = code[0];
        ASSERT_EQ(code[1], ImbeTestHarmonicCount(b0));
        ImbeParams params{};
        int16_t prevLog[56] = {};
        int16_t prevCount = 30;
        ImbeTestModel model;
        for (int frame = 0; frame < 6; ++frame) {
            // Vary L from frame to frame so that the prediction resamples.
            int code = frame % 2 ? b0 : (b0 + 37) % 208;
            ImbeTestParams p = ImbeTestRandomParams(code, rng);
            uint8_t info[88];
            ImbeTestPackParameters(p, info);
            // The model predicts from the decoder's own previous values, so that each frame's
            // error is measured alone instead of accumulating through the prediction.
            for (int i = 0; i < 56; ++i) model.prevLog[i] = prevLog[i] / 2048.0;
            model.prevCount = prevCount;
            ImbeUnpackParameters(&params, prevLog, &prevCount, info);
            std::vector<double> want = model.Decode(p);
            const int lf = ImbeTestHarmonicCount(code);
            ASSERT_EQ(1u, params.valid);
            ASSERT_EQ(lf, params.harmonicCount);
            ASSERT_EQ(lf, prevCount);
            EXPECT_EQ(4194304 / (4 * code + 158), params.fundamental);
            const int k = ImbeTestBandCount(code);
            for (int h = 0; h < lf; ++h) {
                EXPECT_NEAR(want[h], params.amplitude[h] / 2048.0, tol)
                    << "L " << lf << " harmonic " << h + 1 << " frame " << frame;
                int band = std::min(h / 3, k - 1);
                EXPECT_EQ((p.voicing >> (k - 1 - band)) & 1, params.voiced[h]) << "harmonic " << h + 1;
            }
            for (int h = lf; h < 56; ++h) {
                EXPECT_EQ(0, params.amplitude[h]);
                EXPECT_EQ(params.amplitude[lf - 1], prevLog[h]);
            }
        }
    }
}

// Bit prioritisation and its inverse against the test encoder's packing, several random frames
// for every b0 (every L and pair of low bits); reserved codes are refused, nothing written.
TEST(ImbeUnpack, BitOrderAndItsInverse) {
    std::mt19937 rng(34);
    for (int b0 = 0; b0 < 256; ++b0) {
        for (int trial = 0; trial < 8; ++trial) {
            const ImbeTestParams p = ImbeTestRandomParams(b0, rng);
            std::vector<uint8_t> want;  // the fields in order: b0, b2, b3 .. b(L+1), b1, spare bit
            auto put = [&want](int value, int n) {
                while (n--) want.push_back(static_cast<uint8_t>((value >> n) & 1));
            };
            put(b0, 8);
            put(p.gainCode, 6);
            for (int m = 3; m <= ImbeTestHarmonicCount(b0) + 1; ++m)
                put(p.coefficients[m - 3], ImbeTestCoefficientBits(b0, m));
            put(p.voicing, ImbeTestBandCount(b0));
            put(p.lastBit, 1);
            uint8_t info[88], vector[88], back[88];
            ImbeTestPackParameters(p, info);
            std::fill(vector, vector + 88, 0xA5);
            std::fill(back, back + 88, 0xA5);
            const int done = ImbeReorderBits(info, vector) + ImbeRestoreBitOrder(want.data(), back);
            if (b0 >= 208) {
                EXPECT_EQ(0, done) << b0;
                EXPECT_EQ(176, std::count(vector, vector + 88, 0xA5) + std::count(back, back + 88, 0xA5)) << b0;
                continue;
            }
            ASSERT_EQ(88u, want.size());
            EXPECT_EQ(2, done) << b0;
            EXPECT_TRUE(std::equal(want.begin(), want.end(), vector)) << "b0 " << b0;
            EXPECT_TRUE(std::equal(info, info + 88, back)) << "b0 " << b0;
        }
    }
}

TEST(ImbeUnpack, ReservedFundamentalCodesAreInvalid) {
    std::mt19937 rng(32);
    for (int b0 = 208; b0 < 256; ++b0) {
        ImbeTestParams p = ImbeTestRandomParams(100, rng);
        p.fundamentalCode = b0;
        uint8_t info[88];
        ImbeTestPackParameters(p, info);
        ImbeParams params{};
        params.valid = 1;
        int16_t prevLog[56];
        for (int i = 0; i < 56; ++i) prevLog[i] = static_cast<int16_t>(i * 10);
        int16_t prevCount = 23;
        ImbeUnpackParameters(&params, prevLog, &prevCount, info);
        EXPECT_EQ(0u, params.valid) << b0;
        EXPECT_EQ(23, prevCount);
        for (int i = 0; i < 56; ++i) EXPECT_EQ(i * 10, prevLog[i]);
    }
}

TEST(ImbeUnpack, PredictionFactorByHarmonicCount) {
    // The same frame twice: the second decode differs from the first (predicted from zeros)
    // by rho * (previous - mean of previous), since resampling L to L is the identity.
    std::mt19937 rng(33);
    for (int b0 : {0, 27, 32, 40, 66, 72, 204}) {  // L = 9, 14, 16 (0.43), 18, 24, 25 (0.7), 56
        const int l = ImbeTestHarmonicCount(b0);
        const double rho = l <= 15 ? 0.4 : (l <= 24 ? 0.03 * l - 0.05 : 0.7);
        ImbeTestParams p = ImbeTestRandomParams(b0, rng);
        uint8_t info[88];
        ImbeTestPackParameters(p, info);
        ImbeParams first{}, second{};
        int16_t prevLog[56] = {};
        int16_t prevCount = 30;
        ImbeUnpackParameters(&first, prevLog, &prevCount, info);
        int16_t before[56];
        std::copy(prevLog, prevLog + 56, before);
        ImbeUnpackParameters(&second, prevLog, &prevCount, info);
        double mean = 0;
        for (int h = 0; h < l; ++h) mean += before[h];
        mean /= l;
        for (int h = 0; h < l; ++h) {
            double want = first.amplitude[h] + rho * (before[h] - mean);
            if (std::fabs(want) < 30000) {  // clear of the clamp
                EXPECT_NEAR(want, second.amplitude[h], 2.0) << "L " << l << " harmonic " << h + 1;
            }
        }
    }
}
