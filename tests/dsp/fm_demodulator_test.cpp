#include "dsp/fm_demodulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/test_signals.h"

namespace {

// Real FM signal: carrier hz, modulated by a tone of toneHz at deviationHz.
std::vector<float> FmSignal(int n, double rate, double carrierHz, double toneHz, double deviationHz,
                            float amplitude = 0.5f) {
    std::vector<float> x(n);
    const double beta = toneHz > 0 ? deviationHz / toneHz : 0.0;
    for (int i = 0; i < n; ++i) {
        double t = i / rate;
        x[i] =
            amplitude * static_cast<float>(std::cos(2 * kPi * carrierHz * t + beta * std::sin(2 * kPi * toneHz * t)));
    }
    return x;
}

// The expected tone level, from a double model of the discriminator: the phase step per
// sample is D cos(.) with D = 2 beta sin(pi toneHz / rate), and the discriminator returns
// atan2(|z|^2 sin(step), |z|^2) = atan(sin(step)); the output level is that function's
// fundamental. The 6 kHz branch filters and the 5 Hz DC block are flat at 1 kHz.
double ExpectedLevel(double rate, double toneHz, double deviationHz) {
    const double d = 2 * (deviationHz / toneHz) * std::sin(kPi * toneHz / rate);
    const int steps = 100000;
    double sum = 0;
    for (int k = 0; k < steps; ++k) {
        double theta = 2 * kPi * (k + 0.5) / steps;
        sum += std::atan(std::sin(d * std::cos(theta))) * std::cos(theta);
    }
    return 2 * sum / steps;
}

TEST(FmDemodulator, CarrierAtTheCentreGivesZero) {
    CFmDemodulator fm;
    std::vector<float> x = FmSignal(48000, 48000, 12000, 0, 0);
    const float* y = fm.Process(x.data(), 48000);
    ASSERT_NE(nullptr, y);
    for (int i = 24000; i < 48000; ++i) ASSERT_NEAR(0.0f, y[i], 1e-4) << i;
}

// One second of a 1 kHz tone at 3 kHz deviation at `rate`; the level over its second half
// within 2 % of the model.
void ExpectToneLevel(CFmDemodulator& fm, int rate) {
    std::vector<float> x = FmSignal(rate, rate, 12000, 1000, 3000);
    const float* y = fm.Process(x.data(), rate);
    ASSERT_NE(nullptr, y);
    const double expected = ExpectedLevel(rate, 1000, 3000);
    EXPECT_NEAR(expected, FitTone(y, rate / 2, rate, 1000, rate).amplitude, 0.02 * expected) << rate;
}

TEST(FmDemodulator, ToneAtThreeKilohertzDeviationGivesTheExpectedLevel) {
    CFmDemodulator fm;
    ExpectToneLevel(fm, 48000);
}

TEST(FmDemodulator, RateChangeTakesEffect) {
    CFmDemodulator fm;
    for (uint32_t refused : {999u, 1000001u, 0x7FFFFFFFu}) {
        fm.SetSampleRate(refused);
        EXPECT_EQ(48000u, fm.GetSampleRate()) << refused;
    }
    std::vector<float> warm = FmSignal(4800, 48000, 12000, 1000, 3000);
    ASSERT_NE(nullptr, fm.Process(warm.data(), 4800));
    fm.SetSampleRate(32000);
    fm.Reset();
    ExpectToneLevel(fm, 32000);
}

TEST(FmDemodulator, OutputIsClampedAndBadInputRejected) {
    CFmDemodulator fm;
    fm.SetGain(100.0f);
    std::vector<float> x = FmSignal(9600, 48000, 12000, 500, 4000);
    const float* y = fm.Process(x.data(), 9600);
    ASSERT_NE(nullptr, y);
    float peak = 0;
    for (int i = 0; i < 9600; ++i) peak = std::max(peak, std::fabs(y[i]));
    EXPECT_EQ(3.0f, peak);
    EXPECT_EQ(nullptr, fm.Process(nullptr, 10));
    EXPECT_EQ(nullptr, fm.Process(x.data(), 0));
}

TEST(FmDemodulator, BlockSplitsGiveIdenticalOutput) {
    const int n = 20000;
    std::vector<float> x = FmSignal(n, 48000, 12300, 700, 2500);
    CFmDemodulator one, pieces;
    const float* y = one.Process(x.data(), n);
    std::vector<float> expected(y, y + n);
    auto got =
        FeedInPieces<float>(x, {1, 7, 64, 333, 2048, 5000}, [&](const float* in, size_t m, std::vector<float>* out) {
            const float* z = pieces.Process(in, static_cast<int>(m));
            ASSERT_NE(nullptr, z);
            out->insert(out->end(), z, z + m);
        });
    EXPECT_EQ(expected, got);
}

}  // namespace
