#include "dsp/psd_estimator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "dsp/dsp_math.h"

namespace {

SpectrumEstimatorPtr Make(uint32_t n, int window) {
    SpectrumEstimatorPtr e(SpectrumEstimatorCreate(nullptr));
    EXPECT_TRUE(e);
    EXPECT_EQ(SpectrumEstimatorSetSize(e.get(), n), 1);
    EXPECT_EQ(SpectrumEstimatorSetWindow(e.get(), window), 1);
    return e;
}

// Double-precision model: symmetric window of mean 1 and the naive N-point DFT, |X[k]|^2.
std::vector<double> ModelWindow(uint32_t n, int kind) {
    std::vector<double> w(n);
    for (uint32_t k = 0; k < n / 2; ++k) {
        const double a = 2 * kPi * k / n;
        const double v = kind == 1   ? 2.0 * k / n
                         : kind == 2 ? 0.5 - 0.5 * std::cos(a)
                         : kind == 3 ? 0.54 - 0.46 * std::cos(a)
                         : kind == 4 ? 0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(2 * a)
                                     : 1.0;
        w[k] = w[n - 1 - k] = v;
    }
    double sum = 0;
    for (double v : w) sum += v;
    for (double& v : w) v *= n / sum;
    return w;
}

template <typename T>
std::vector<double> ModelPower(const std::vector<T>& x, uint32_t n, int kind) {
    const std::vector<double> w = ModelWindow(n, kind);
    std::vector<double> p(n / 2);
    for (uint32_t k = 0; k < n / 2; ++k) {
        double re = 0, im = 0;
        for (uint32_t i = 0; i < n && i < x.size(); ++i) {
            const double angle = -2 * kPi * static_cast<double>(k) * i / n;
            re += x[i] * w[i] * std::cos(angle);
            im += x[i] * w[i] * std::sin(angle);
        }
        p[k] = re * re + im * im;
    }
    return p;
}

// Largest error relative to the largest bin: float arithmetic over log2(N) stages keeps it
// near 1e-6, so 1e-4 leaves room while catching any wrong twiddle, bin or scale.
double RelativeError(const float* p, const std::vector<double>& model) {
    double peak = 0, error = 0;
    for (size_t k = 0; k < model.size(); ++k) {
        peak = std::max(peak, model[k]);
        error = std::max(error, std::fabs(p[k] - model[k]));
    }
    return error / peak;
}

}  // namespace

TEST(SpectrumEstimator, SizeIsThePowerOfTwoAtOrAbove) {
    SpectrumEstimatorPtr e(SpectrumEstimatorCreate(nullptr));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->size, 512u);
    EXPECT_EQ(SpectrumEstimatorSetSize(e.get(), 1000), 1);
    EXPECT_EQ(e->size, 1024u);
    EXPECT_EQ(SpectrumEstimatorSetSize(e.get(), 3), 1);
    EXPECT_EQ(e->size, 4u);
    EXPECT_EQ(SpectrumEstimatorSetSize(e.get(), 0), 1);
    EXPECT_EQ(e->size, 4u);
    // A size whose arrays would pass 32-bit byte counts is refused.
    EXPECT_EQ(SpectrumEstimatorSetSize(e.get(), 0x80000001u), 0);
    EXPECT_EQ(e->size, 4u);
    EXPECT_EQ(SpectrumEstimatorSetWindow(e.get(), 5), 0);
    EXPECT_EQ(SpectrumEstimatorSetWindow(e.get(), -1), 0);
    EXPECT_EQ(e->window, 0);
}

TEST(SpectrumEstimator, MatchesTheNaiveDftForEveryWindow) {
    std::mt19937 engine(7);
    for (uint32_t n : {4u, 16u, 256u, 1024u}) {
        std::vector<int16_t> x16(n);
        std::vector<int32_t> x32(n);
        for (uint32_t i = 0; i < n; ++i) {
            x16[i] = static_cast<int16_t>(static_cast<int>(engine() % 60001) - 30000);
            // A tone over noise, as the CTCSS detector feeds it: 32-bit samples.
            x32[i] = static_cast<int32_t>(1e9 * std::sin(2 * kPi * 37.3 * i / n)) +
                     static_cast<int32_t>(engine() % 2000001) - 1000000;
        }
        for (int kind = 0; kind <= 4; ++kind) {
            SpectrumEstimatorPtr e = Make(n, kind);
            const float* p16 = SpectrumEstimatorTransform16(e.get(), x16.data(), n);
            ASSERT_NE(p16, nullptr);
            EXPECT_LT(RelativeError(p16, ModelPower(x16, n, kind)), 1e-4) << "16-bit N " << n << " window " << kind;
            const float* p32 = SpectrumEstimatorTransform32(e.get(), x32.data(), n);
            ASSERT_NE(p32, nullptr);
            EXPECT_LT(RelativeError(p32, ModelPower(x32, n, kind)), 1e-4) << "32-bit N " << n << " window " << kind;
            // The direct DFT gives the same bins over a range and zero elsewhere.
            const float* d = SpectrumEstimatorDft16(e.get(), x16.data(), n, 1, n / 4);
            ASSERT_NE(d, nullptr);
            std::vector<double> model = ModelPower(x16, n, kind);
            for (uint32_t k = 0; k < n / 2; ++k)
                if (k < 1 || k > n / 4) model[k] = 0;
            EXPECT_LT(RelativeError(d, model), 1e-4) << "direct N " << n << " window " << kind;
        }
    }
}

TEST(SpectrumEstimator, ShortInputIsZeroPaddedAndReadNoFurther) {
    // The short array is allocated at its exact length, so a read past it shows under ASan;
    // an earlier full transform must not leak into the result.
    const uint32_t n = 256;
    std::mt19937 engine(3);
    std::vector<int16_t> full(n);
    for (auto& v : full) v = static_cast<int16_t>(static_cast<int>(engine() % 20001) - 10000);
    for (uint32_t count : {0u, 1u, 7u, 100u, 255u}) {
        SpectrumEstimatorPtr e = Make(n, 4);
        SpectrumEstimatorTransform16(e.get(), full.data(), n);
        std::unique_ptr<int16_t[]> shortInput(new int16_t[count]);
        for (uint32_t i = 0; i < count; ++i) shortInput[i] = full[i];
        const float* p = SpectrumEstimatorTransform16(e.get(), shortInput.get(), count);
        ASSERT_NE(p, nullptr);
        std::vector<int16_t> padded(full.begin(), full.begin() + count);
        padded.resize(n, 0);
        const std::vector<double> model = ModelPower(padded, n, 4);
        if (count == 0) {
            for (uint32_t k = 0; k < n / 2; ++k) EXPECT_EQ(p[k], 0.0f);
        } else {
            EXPECT_LT(RelativeError(p, model), 1e-4) << count;
        }
    }
    SpectrumEstimatorPtr e = Make(n, 0);
    EXPECT_EQ(SpectrumEstimatorTransform16(e.get(), nullptr, 5), nullptr);
}
