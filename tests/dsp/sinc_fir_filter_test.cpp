#include "dsp/sinc_fir_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <vector>

#include "tests/support/test_signals.h"

namespace {

SincFirFilterPtr MakeLowPass(float rate, float cutoff, uint32_t length) {
    SincFirFilterPtr f(SincFirCreate(nullptr));
    EXPECT_TRUE(f);
    SincFirSetSampleRate(f.get(), rate);
    SincFirSetUpperFrequency(f.get(), cutoff);
    SincFirSetMode(f.get(), SincFirFilter::kLowPass);
    SincFirSetLength(f.get(), length);
    return f;
}

// 16-bit values carried in the upper half of 32-bit words, as the filter takes them.
std::vector<int32_t> Widen(const std::vector<int16_t>& x) {
    std::vector<int32_t> w(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        w[i] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(x[i])) << 16);
    return w;
}

std::vector<int16_t> Filter(SincFirFilter* f, const std::vector<int32_t>& x, size_t chunk, uint32_t decimation = 1) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < x.size(); i += chunk) {
        const uint32_t n = static_cast<uint32_t>(std::min(chunk, x.size() - i));
        std::vector<int16_t> block(n / decimation + 2, 0x7777);
        const uint32_t produced = SincFirRun(f, block.data(), x.data() + i, n, 1, decimation);
        EXPECT_LE(produced, n / decimation + 1);
        out.insert(out.end(), block.begin(), block.begin() + produced);
    }
    return out;
}

std::vector<int16_t> Noise(size_t n, uint32_t seed, int amplitude = 20000) {
    std::mt19937 engine(seed);
    std::vector<int16_t> x(n);
    for (auto& v : x) v = static_cast<int16_t>(static_cast<int>(engine() % (2 * amplitude + 1)) - amplitude);
    return x;
}

// Steady-state amplitude of a filtered sine relative to the input amplitude, in dB.
double ResponseDb(SincFirFilter* f, double rate, double tone) {
    const std::vector<int16_t> x = Sine16(rate, tone, 16000.0, 8192);
    const std::vector<int16_t> y = Filter(f, Widen(x), x.size());
    return 20.0 * std::log10(FitTone(y.data(), f->length, y.size(), tone, rate).amplitude / 16000.0);
}

}  // namespace

TEST(SincFirFilter, SettersClampAsDocumented) {
    SincFirFilterPtr f(SincFirCreate(nullptr));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->length, 31u);
    SincFirSetLength(f.get(), 4);
    EXPECT_EQ(f->length, 5u);
    SincFirSetLength(f.get(), 0);
    EXPECT_EQ(f->length, 3u);
    SincFirSetUpperFrequency(f.get(), 1.0f);
    EXPECT_EQ(f->upperFrequency, 2.0f);
    EXPECT_EQ(f->lowerFrequency, 1.0f);  // pulled below the new upper edge
    SincFirSetSampleRate(f.get(), 2688.0f);
    SincFirSetUpperFrequency(f.get(), 2000.0f);
    EXPECT_EQ(f->upperFrequency, 1344.0f);
    SincFirSetSampleRate(f.get(), 1000.0f);
    EXPECT_EQ(f->upperFrequency, 500.0f);
    SincFirSetSampleRate(f.get(), 1.0f);
    EXPECT_EQ(f->sampleRate, 4.0f);
    SincFirSetBlockSize(f.get(), 0);
    EXPECT_EQ(f->blockSize, 1u);
}

TEST(SincFirFilter, QuantisationToQ15) {
    SincFirFilterPtr f(SincFirCreate(nullptr));
    ASSERT_TRUE(f);
    const double taps[5] = {1.0, -1.0, -1.5, 0.5, 2.0};
    ASSERT_EQ(SincFirLoadDouble(f.get(), taps, 5), 1);
    EXPECT_EQ(f->length, 5u);
    const q15 expected[5] = {32767, -32767, -32768, 16383, 32767};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(f->taps.GetData()[i], expected[i]) << i;
    // The padding up to 32 taps stays zero.
    for (int i = 5; i < 32; ++i) EXPECT_EQ(f->taps.GetData()[i], 0) << i;
    const float ftaps[4] = {0.25f, -0.25f, 0.0f, 1.0f};
    ASSERT_EQ(SincFirLoadFloat(f.get(), ftaps, 4), 1);
    EXPECT_EQ(f->length, 5u);  // an even count is made odd; the last tap stays 0
    EXPECT_EQ(f->taps.GetData()[0], 8191);
    EXPECT_EQ(f->taps.GetData()[3], 32767);
    EXPECT_EQ(f->taps.GetData()[4], 0);
}

TEST(SincFirFilter, PassThroughDelaysByHalfTheLength) {
    SincFirFilterPtr f(SincFirCreate(nullptr));
    ASSERT_TRUE(f);
    SincFirSetLength(f.get(), 21);
    const std::vector<int16_t> x = Noise(500, 3);
    const std::vector<int16_t> y = Filter(f.get(), Widen(x), 37);
    ASSERT_EQ(y.size(), x.size());
    // The centre tap is 32767/32768: positive samples lose at most one LSB.
    for (size_t n = 10; n < x.size(); ++n) EXPECT_NEAR(y[n], x[n - 10], 1) << n;
    for (size_t n = 0; n < 10; ++n) EXPECT_EQ(y[n], 0) << n;
}

TEST(SincFirFilter, LowPassMeetsItsMaskAndUnitDcGain) {
    // The DCS filter: 300 Hz at 2688 Hz, 255 taps. A Blackman window's transition is about
    // 5.5 / 255 of the rate (58 Hz) wide and its side lobes are 74 dB down; Q15 taps add
    // noise near -80 dB. Mask: within 0.1 dB to 200 Hz, below -60 dB from 420 Hz.
    SincFirFilterPtr f = MakeLowPass(2688.0f, 300.0f, 255);
    for (double tone : {50.0, 120.0, 200.0}) EXPECT_NEAR(ResponseDb(f.get(), 2688.0, tone), 0.0, 0.1) << tone;
    for (double tone : {420.0, 600.0, 1000.0, 1300.0}) EXPECT_LT(ResponseDb(f.get(), 2688.0, tone), -60.0) << tone;

    // DC gain: the Q15 taps sum to 1 within 1e-3, and so does a steady input's output.
    double sum = 0.0;
    for (uint32_t i = 0; i < f->length; ++i) sum += f->taps.GetData()[i] / 32768.0;
    EXPECT_NEAR(sum, 1.0, 1e-3);
    SincFirFilterPtr g = MakeLowPass(2688.0f, 300.0f, 255);
    const std::vector<int16_t> dc(1024, 20000);
    const std::vector<int16_t> y = Filter(g.get(), Widen(dc), 1024);
    EXPECT_NEAR(y.back() / 20000.0, 1.0, 1e-3);
}

TEST(SincFirFilter, AnySplitGivesTheSameOutput) {
    const std::vector<int32_t> x = Widen(Noise(5000, 11));
    for (uint32_t decimation : {1u, 3u}) {
        SincFirFilterPtr whole = MakeLowPass(8000.0f, 1000.0f, 63);
        const std::vector<int16_t> reference = Filter(whole.get(), x, x.size(), decimation);
        EXPECT_EQ(reference.size(), x.size() / decimation);
        for (size_t chunk : {1, 7, 64, 333, 1024, 1500}) {
            SincFirFilterPtr f = MakeLowPass(8000.0f, 1000.0f, 63);
            EXPECT_EQ(Filter(f.get(), x, chunk, decimation), reference)
                << "chunk " << chunk << " decimation " << decimation;
        }
        SincFirFilterPtr small = MakeLowPass(8000.0f, 1000.0f, 63);
        SincFirSetBlockSize(small.get(), 50);
        EXPECT_EQ(Filter(small.get(), x, 777, decimation), reference) << "block 50";
        // A block size changed mid-stream keeps the old samples and an unfinished group.
        SincFirFilterPtr changed = MakeLowPass(8000.0f, 1000.0f, 63);
        const std::vector<int32_t> head(x.begin(), x.begin() + 2002), tail(x.begin() + 2002, x.end());
        std::vector<int16_t> joined = Filter(changed.get(), head, 2002, decimation);
        SincFirSetBlockSize(changed.get(), 4096);
        const std::vector<int16_t> rest = Filter(changed.get(), tail, 64, decimation);
        joined.insert(joined.end(), rest.begin(), rest.end());
        EXPECT_EQ(joined, reference) << "block changed, decimation " << decimation;
    }
}

TEST(SincFirFilter, StrideTakesEveryNthWord) {
    const std::vector<int32_t> x = Widen(Noise(3000, 5));
    std::vector<int32_t> stereo(2 * x.size(), 0x7FFF0000);
    for (size_t i = 0; i < x.size(); ++i) stereo[2 * i + 1] = x[i];
    SincFirFilterPtr a = MakeLowPass(8000.0f, 1000.0f, 31), b = MakeLowPass(8000.0f, 1000.0f, 31);
    std::vector<int16_t> ya(x.size()), yb(x.size());
    ASSERT_EQ(SincFirRun(a.get(), ya.data(), x.data(), static_cast<uint32_t>(x.size()), 1, 1), x.size());
    ASSERT_EQ(SincFirRun(b.get(), yb.data(), stereo.data() + 1, static_cast<uint32_t>(stereo.size() - 1), 2, 1),
              x.size());
    EXPECT_EQ(ya, yb);
    EXPECT_EQ(SincFirRun(a.get(), ya.data(), x.data(), 10, 0, 1), 0u);
    EXPECT_EQ(SincFirRun(a.get(), ya.data(), x.data(), 10, 1, 0), 0u);
}

TEST(SincFirFilter, OutputSaturates) {
    // Taps summing to 1.5 (32-bit sums), 3 and 255 (64-bit sums) drive full-scale input
    // past 16 bits: the output clips instead of wrapping.
    const struct {
        uint32_t n;
        double tap;
    } cases[] = {{3, 0.5}, {3, 0.999}, {255, 0.999}};
    for (const auto& c : cases) {
        const uint32_t n = c.n;
        SincFirFilterPtr f(SincFirCreate(nullptr));
        std::vector<double> taps(n, c.tap);
        ASSERT_EQ(SincFirLoadDouble(f.get(), taps.data(), n), 1);
        const std::vector<int32_t> high = Widen(std::vector<int16_t>(600, 32767));
        const std::vector<int32_t> low = Widen(std::vector<int16_t>(600, -32768));
        EXPECT_EQ(Filter(f.get(), high, 600).back(), 32767) << n;
        EXPECT_EQ(Filter(f.get(), low, 600).back(), -32768) << n;
    }
}

namespace {

// Frequency response of the Q15 taps as the filter applies them (y[n] = sum_j taps[j] *
// x[n - (length - 1) + j]), with the linear-phase delay c = length / 2 removed: a real value
// for the symmetric designs, an imaginary one for the antisymmetric ones.
std::complex<double> TapResponse(const SincFirFilter* f, double rate, double hz) {
    const int c = static_cast<int>(f->length / 2);
    std::complex<double> sum = 0.0;
    for (uint32_t j = 0; j < f->length; ++j) {
        const double lag = static_cast<double>(c) - static_cast<double>(j);  // x[n - c - lag]
        sum += f->taps.GetData()[j] / 32768.0 * std::polar(1.0, -2 * kPi * hz / rate * (lag));
    }
    return sum;
}

SincFirFilterPtr MakeDesign(int mode, float rate, float lower, float upper, uint32_t length, float gain = 1.0f) {
    SincFirFilterPtr f(SincFirCreate(nullptr));
    EXPECT_TRUE(f);
    f->gain = gain;  // no setter either
    SincFirSetSampleRate(f.get(), rate);
    f->lowerFrequency = lower;  // no setter: the designs read it as it stands
    SincFirSetUpperFrequency(f.get(), upper);
    SincFirSetLength(f.get(), length);
    SincFirSetMode(f.get(), mode);
    return f;
}

}  // namespace

TEST(SincFirFilter, EveryDesignHasItsIdealResponse) {
    // 255 Blackman-windowed taps at 8000 Hz: transition about 5.5 / 255 * 8000 = 170 Hz wide,
    // side lobes 74 dB down, Q15 rounding near -80 dB. Away from the edges every design is
    // within 0.01 of its ideal response (phase included), so a wrong sign, a missing gain
    // or a swapped edge shows.
    const float rate = 8000.0f;
    struct Point {
        double hz;
        std::complex<double> ideal;
    };
    const std::complex<double> j(0.0, 1.0);
    const struct {
        int mode;
        std::vector<Point> points;
    } cases[] = {
        {SincFirFilter::kLowPass, {{0, 1}, {500, 1}, {1800, 1}, {2300, 0}, {3500, 0}}},
        {SincFirFilter::kHighPass, {{0, 0}, {600, 0}, {1200, 1}, {2500, 1}, {3900, 1}}},
        {SincFirFilter::kBandPass, {{0, 0}, {700, 0}, {1200, 1}, {1900, 1}, {2300, 0}, {3500, 0}}},
        {SincFirFilter::kBandStop, {{0, 1}, {700, 1}, {1200, 0}, {1900, 0}, {2300, 1}, {3500, 1}}},
        // y = -H{x}: the taps act as a correlation, which reverses the antisymmetric
        // Hilbert kernel (a sine comes out as +cos).
        {SincFirFilter::kHilbert, {{500, j}, {1500, j}, {3000, j}}},
        {SincFirFilter::kPassThrough, {{0, 1}, {1000, 1}, {3900, 1}}},
    };
    for (const auto& c : cases) {
        for (float gain : {1.0f, 0.5f}) {
            SincFirFilterPtr f = MakeDesign(c.mode, rate, 1000.0f, 2000.0f, 255, gain);
            for (const Point& p : c.points) {
                const std::complex<double> h = TapResponse(f.get(), rate, p.hz);
                EXPECT_NEAR(h.real(), gain * p.ideal.real(), 0.01)
                    << "mode " << c.mode << " gain " << gain << " at " << p.hz;
                EXPECT_NEAR(h.imag(), gain * p.ideal.imag(), 0.01)
                    << "mode " << c.mode << " gain " << gain << " at " << p.hz;
            }
        }
    }
    // Moving average: every tap gain/length, truncated to Q15.
    SincFirFilterPtr avg = MakeDesign(SincFirFilter::kMovingAverage, rate, 1000.0f, 2000.0f, 9);
    for (uint32_t i = 0; i < 9; ++i) EXPECT_EQ(avg->taps.GetData()[i], static_cast<q15>(32767.0 / 9)) << i;
    // Differentiator: d/dn, so a slow sine's response is j * omega; taps scaled to an
    // absolute sum of 1. Compare the slope with the ideal one at 100 Hz within 1 %.
    SincFirFilterPtr diff = MakeDesign(SincFirFilter::kDifferentiator, rate, 1000.0f, 2000.0f, 31);
    double absSum = 0.0, weighted = 0.0;
    for (uint32_t i = 0; i < diff->length; ++i) absSum += std::fabs(diff->taps.GetData()[i] / 32768.0);
    EXPECT_NEAR(absSum, 1.0, 1e-3);
    // Scale: the unscaled kernel's slope is sum_k 2 k h_k; after scaling the response at
    // omega is j omega * slope.
    for (uint32_t k = 1; k <= diff->length / 2; ++k)
        weighted += 2.0 * k * diff->taps.GetData()[diff->length / 2 + k] / 32768.0;
    const double omega = 2 * kPi * 100.0 / rate;
    const std::complex<double> h = TapResponse(diff.get(), rate, 100.0);
    EXPECT_NEAR(h.real(), 0.0, 1e-6);
    EXPECT_NEAR(h.imag() / (omega * weighted), 1.0, 0.01);
    EXPECT_GT(weighted, 0.0);  // positive slope: a rising input gives a positive output
}

TEST(SincFirFilter, ResetGivesAFreshStream) {
    const std::vector<int32_t> first = Widen(Noise(1001, 21));
    const std::vector<int32_t> second = Widen(Noise(700, 22));
    SincFirFilterPtr used = MakeLowPass(8000.0f, 1000.0f, 63), fresh = MakeLowPass(8000.0f, 1000.0f, 63);
    Filter(used.get(), first, first.size(), 3);  // leaves an unfinished group of 2
    SincFirReset(used.get());
    EXPECT_EQ(Filter(used.get(), second, 64, 3), Filter(fresh.get(), second, 64, 3));
}
