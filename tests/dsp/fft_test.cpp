#include "dsp/fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/support/test_signals.h"

namespace {

// Hann window (coherent gain 1/2) and the 4/N scale: a sine of amplitude A at a bin centre
// reads A^2 in its bin and (A/2)^2 in each neighbour (the Hann window's -6 dB), ~0 elsewhere.
TEST(CFFT, SineThroughHannGivesTheExpectedPowerBin) {
    CFFT fft(512, 1);
    ASSERT_EQ(512u, fft.GetFFTSize());
    std::vector<float> x = Sine(512, 64.0 / 512, 0.5f);
    ASSERT_EQ(0, fft.TransformAvg(x.data(), 512));
    ASSERT_TRUE(fft.IsOutputReady());
    std::vector<float> p(257);
    ASSERT_EQ(257, fft.GetSpectrum(p.data(), 1000));
    EXPECT_FALSE(fft.IsOutputReady());
    EXPECT_NEAR(0.25, p[64], 1e-4);
    EXPECT_NEAR(0.0625, p[63], 1e-4);
    EXPECT_NEAR(0.0625, p[65], 1e-4);
    EXPECT_LT(p[60], 1e-8);
    EXPECT_LT(p[0], 1e-8);

    // A full-scale sine reads at most 1.0.
    std::vector<float> full = Sine(512, 64.0 / 512, 1.0f);
    fft.TransformLast(full.data(), 512);
    fft.GetSpectrum(p.data(), 257);
    EXPECT_LE(p[64], 1.0f);
    EXPECT_NEAR(1.0, p[64], 1e-3);
}

TEST(CFFT, HopsAndCarryAcrossBlocks) {
    CFFT fft(512, 1);
    std::vector<float> x(1024, 0.1f);
    EXPECT_EQ(0, fft.TransformAvg(x.data(), 1000));
    EXPECT_EQ(1, fft.GetSpectrumCount());
    EXPECT_EQ(488, fft.GetCarriedCount());
    EXPECT_EQ(0, fft.TransformAvg(x.data(), 24));
    EXPECT_EQ(2, fft.GetSpectrumCount());
    EXPECT_EQ(0, fft.GetCarriedCount());
    EXPECT_EQ(0, fft.TransformAvg(x.data(), 100));  // shorter than a hop: only carried
    EXPECT_EQ(2, fft.GetSpectrumCount());
    EXPECT_EQ(100, fft.GetCarriedCount());

    CFFT quarter(512, 4);  // hop 128
    EXPECT_EQ(0, quarter.TransformAvg(x.data(), 1000));
    EXPECT_EQ(7, quarter.GetSpectrumCount());
    EXPECT_EQ(1000 - 7 * 128, quarter.GetCarriedCount());
    EXPECT_EQ(512, quarter.GetOutputSize(0));
    EXPECT_EQ(1024, quarter.GetOutputSize(1));
    EXPECT_EQ(0, quarter.GetOutputSize(2));

    // Any split of a stream gives the same last spectrum.
    const int total = 5000;
    std::vector<float> s = Sine(total, 0.0371, 0.7f);
    for (float& v : s) v += 0.01f * static_cast<float>(std::cos(v * 1000));
    CFFT a(256, 4), b(256, 4);
    a.TransformLast(s.data(), total);
    for (int done = 0, n = 1; done < total; done += n, n = n * 5 % 301 + 1)
        b.TransformLast(s.data() + done, std::min(n, total - done));
    std::vector<float> pa(129), pb(129);
    a.GetSpectrum(pa.data(), 129);
    b.GetSpectrum(pb.data(), 129);
    EXPECT_EQ(pa, pb);
}

// Dropping the carried count alone: the stream goes on from the same frame into the same
// average, as if the carried samples had never come (Reset would restart both).
TEST(CFFT, ClearedCarriedCountKeepsFrameAndAverage) {
    const std::vector<float> x = Sine(600, 0.0437, 0.6f), next = Sine(512, 0.1123, 0.3f);
    for (const int overlap : {1, 4}) {
        CFFT dropped(512, overlap), reference(512, overlap);
        dropped.TransformAvg(x.data(), 600);
        reference.TransformAvg(x.data(), 512);
        ASSERT_EQ(88, dropped.GetCarriedCount());
        dropped.ClearCarriedCount();
        EXPECT_EQ(0, dropped.GetCarriedCount());
        EXPECT_TRUE(dropped.IsOutputReady());
        dropped.TransformAvg(next.data(), 512);
        reference.TransformAvg(next.data(), 512);
        EXPECT_EQ(reference.GetSpectrumCount(), dropped.GetSpectrumCount()) << overlap;
        std::vector<float> a(257), b(257);
        dropped.GetSpectrum(a.data(), 257);
        reference.GetSpectrum(b.data(), 257);
        EXPECT_EQ(b, a) << overlap;
    }
}

TEST(CFFT, AverageIsRenormalisedAfterAThousandSpectra) {
    CFFT fft(64, 1);
    std::vector<float> x = Sine(64 * 1001, 8.0 / 64, 0.5f);
    ASSERT_EQ(0, fft.TransformAvg(x.data(), 64 * 1000));
    EXPECT_EQ(1000, fft.GetSpectrumCount());
    ASSERT_EQ(0, fft.TransformAvg(x.data() + 64 * 1000, 64));
    EXPECT_EQ(1, fft.GetSpectrumCount());  // 1001 spectra became their mean
    std::vector<float> p(33);
    ASSERT_EQ(33, fft.GetSpectrum(p.data(), 33));
    EXPECT_NEAR(0.25, p[8], 1e-3);
    EXPECT_NEAR(0.0625, p[9], 1e-3);
}

TEST(CFFT, BadSettingsAndInputFailClearly) {
    std::vector<float> x(600, 0.25f);
    CFFT big(512, 1000);  // an overlap beyond N: hops of one sample, not of zero
    EXPECT_EQ(0, big.TransformAvg(x.data(), 600));
    EXPECT_EQ(600, big.GetSpectrumCount());
    EXPECT_EQ(0, big.GetCarriedCount());

    CFFT fft(512, 1);
    EXPECT_EQ(2, fft.TransformAvg(nullptr, 10));
    EXPECT_EQ(2, fft.TransformAvg(x.data(), 0));
    EXPECT_EQ(2, fft.TransformAvg(x.data(), -5));
    EXPECT_EQ(2, fft.TransformLast(x.data(), -1));
    EXPECT_EQ(0, fft.SetWindow(11));
    EXPECT_EQ(1, fft.SetWindow(0));
    EXPECT_EQ(1, fft.SetOverlap(0));
    EXPECT_EQ(1, fft.GetOverlap());
    EXPECT_EQ(0, fft.GetSpectrum(nullptr, 5));
    float one;
    EXPECT_EQ(0, fft.GetSpectrum(&one, 0));

    // Carried samples beyond the new, smaller hop wait for later hops.
    fft.TransformAvg(x.data(), 500);
    fft.SetOverlap(8);
    EXPECT_EQ(0, fft.TransformAvg(x.data(), 10));
    EXPECT_EQ(7, fft.GetSpectrumCount());
    EXPECT_EQ(510 - 7 * 64, fft.GetCarriedCount());

    CFFT none(0, 1);
    EXPECT_EQ(0u, none.GetFFTSize());
    EXPECT_EQ(1, none.TransformAvg(x.data(), 600));
    EXPECT_EQ(0, none.GetSpectrum(&one, 1));
}

TEST(CFFT, SixteenBitInputAndFixedPointSpectrum) {
    CFFT fft(512, 1);
    std::vector<short> s(512);
    for (int i = 0; i < 512; ++i) s[i] = static_cast<short>(std::lround(16384 * std::sin(2 * kPi * 32 * i / 512)));
    ASSERT_EQ(0, fft.TransformAvgInt16(s.data(), 512));
    EXPECT_EQ(2, fft.TransformAvgInt16(nullptr, 512));
    std::vector<unsigned> fixed(256);
    ASSERT_EQ(256, fft.GetSpectrumFixed(fixed.data(), 1000));
    // Bin 32 holds 0.25 * 10 = 2.5, beyond 0.32 fixed point: saturated, not wrapped.
    EXPECT_EQ(0xFFFFFFFFu, fixed[32]);
    // The neighbours hold 0.0625 * 10 = 0.625.
    EXPECT_NEAR(0.625, fixed[31] / 4294967296.0, 1e-3);
    // A NaN sample poisons the average; the fixed-point spectrum reads it as 0.
    std::vector<float> nan(512, std::nanf(""));
    ASSERT_EQ(0, fft.TransformAvg(nan.data(), 512));
    ASSERT_EQ(256, fft.GetSpectrumFixed(fixed.data(), 256));
    EXPECT_EQ(0u, fixed[32]);
    EXPECT_EQ(11, CFFT::GetWindowCount());
}

TEST(CFFT, LiveObjectsAreCounted) {
    int before = CFFT::GetLiveCount();
    {
        CFFT a(128, 1), b(256, 2);
        EXPECT_EQ(before + 2, CFFT::GetLiveCount());
    }
    EXPECT_EQ(before, CFFT::GetLiveCount());
}

}  // namespace
