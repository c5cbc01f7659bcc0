// Fixed-point primitives against exact values and double-precision models.
#include "imbe/imbe_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "dsp/dsp_math.h"

namespace {

double FloatValue(ImbeFloat f) { return f.m * std::ldexp(1.0, f.e) / 32768.0; }

}  // namespace

TEST(ImbeMath, SaturatingOperationsKnownAnswers) {
    EXPECT_EQ(INT32_MAX, ImbeAdd32(0x7FFFFFFF, 1));
    EXPECT_EQ(INT32_MIN, ImbeAdd32(INT32_MIN, -1));
    EXPECT_EQ(5, ImbeAdd32(2, 3));
    EXPECT_EQ(INT32_MIN, ImbeSub32(INT32_MIN, 1));
    EXPECT_EQ(INT32_MAX, ImbeSub32(0x7FFFFFF0, -100));
    EXPECT_EQ(0x7FFFFFFF, ImbeMult(-32768, -32768));
    EXPECT_EQ(2 * 16384 * 16384, ImbeMult(16384, 16384));
    EXPECT_EQ(-2 * 16384 * 3, ImbeMult(16384, -3));
    EXPECT_EQ(0x7FFF0000, ImbeRound32(0x7FFFFFFF));  // saturates instead of wrapping
    EXPECT_EQ(0x00010000, ImbeRound32(0x00008000));
    EXPECT_EQ(0, ImbeRound32(0x00007FFF));
    EXPECT_EQ(INT32_MAX, ImbeShl32(0x40000000, 1));
    EXPECT_EQ(INT32_MIN, ImbeShl32(-0x40000001, 1));
    EXPECT_EQ(0x40000000, ImbeShl32(0x20000000, 1));
    EXPECT_EQ(-1, ImbeShl32(-5, -40));  // counts below -30 give the sign
    EXPECT_EQ(0, ImbeShl32(5, -31));
    EXPECT_EQ(-3, ImbeShl32(-5, -1));
    EXPECT_EQ(16384, ImbeMultRound(32767, 16384));
    EXPECT_EQ(0x7FFFFFFF, ImbeMac(0x7FFFFFF0, 100, 100));
    EXPECT_EQ(INT32_MIN, ImbeMsu(INT32_MIN + 10, 100, 100));
    EXPECT_EQ(0x20000, ImbeAddHigh(0x10000, 1));
    EXPECT_EQ(INT32_MAX, ImbeAddHigh(0x7FFFFFFF, 1));
    // 0.5 (Q31) * 0.5 (Q15) = 0.25 exactly
    EXPECT_EQ(0x20000000, ImbeMult32x16(0x40000000, 16384));
    EXPECT_EQ(32767, ImbeDivQ15(0x7FFFFFFF, 1));
    EXPECT_EQ(16384, ImbeDivQ15(0x40000000, 32767));  // raw quotient 32769, halved
    EXPECT_EQ(-16384, ImbeDivQ15(-0x40000000, 32767));
    EXPECT_EQ(0, ImbeDivQ15(5, 7));
}

TEST(ImbeMath, Normalisation) {
    EXPECT_EQ(0, ImbeNorm(0));
    EXPECT_EQ(0, ImbeNorm(0x40000000));
    EXPECT_EQ(30, ImbeNorm(1));
    EXPECT_EQ(31, ImbeNorm(-1));
    EXPECT_EQ(0, ImbeNorm(INT32_MIN));
    EXPECT_EQ(0, ImbeNorm(INT32_MAX));
    EXPECT_EQ(1, ImbeNorm(-0x40000001 + 0x40000000 - 0x20000000));  // -0x20000001
    for (int s = 0; s < 31; ++s) {
        int32_t x = 1 << s;
        int32_t y = x;
        EXPECT_EQ(30 - s, ImbeNormalize(&y));
        EXPECT_EQ(0x40000000, y);
    }
    EXPECT_EQ(1, ImbeNorm16(16383));
    EXPECT_EQ(15, ImbeNorm16(-1));
}

TEST(ImbeMath, MantissaExponentArithmetic) {
    // 1 / 160: 0x40000000 with exponent 1 is 1.0; 160 = 20480 * 2^8 / 32768.
    ImbeFloat q = ImbeFloatDiv32(0x40000000, 1, ImbeFloatFrom16(160, 15));
    EXPECT_EQ(26214, q.m);
    EXPECT_EQ(-7, q.e);

    std::mt19937 rng(7);
    std::uniform_real_distribution<double> mant(-1.0, 1.0);
    std::uniform_int_distribution<int> ex(-20, 20);
    for (int i = 0; i < 2000; ++i) {
        double a = mant(rng) * std::ldexp(1.0, ex(rng)), b = mant(rng) * std::ldexp(1.0, ex(rng));
        if (std::fabs(a) < 1e-9 || std::fabs(b) < 1e-9) continue;
        int ea, eb;
        double fa = std::frexp(a, &ea), fb = std::frexp(b, &eb);
        ImbeFloat A = ImbeFloatFrom32(static_cast<int32_t>(std::lround(fa * 2147483647.0)), ea);
        ImbeFloat B = ImbeFloatFrom32(static_cast<int32_t>(std::lround(fb * 2147483647.0)), eb);
        // Mantissas hold 15 bits: relative error a few 2^-15 per operation.
        const double tol = 4.0 / 32768.0;
        EXPECT_NEAR(a * b, FloatValue(ImbeFloatMul(A, B)), tol * std::fabs(a * b));
        EXPECT_NEAR(a / b, FloatValue(ImbeFloatDiv(A, B)), tol * std::fabs(a / b));
        double big = std::max(std::fabs(a), std::fabs(b));
        EXPECT_NEAR(a + b, FloatValue(ImbeFloatAdd(A, B)), tol * big);
        EXPECT_NEAR(a - b, FloatValue(ImbeFloatSub(A, B)), tol * big);
        if (std::fabs(a - b) > tol * big) {
            EXPECT_EQ(a > b, ImbeFloatGreater(A, B));
            EXPECT_EQ(a < b, ImbeFloatLess(A, B));
        }
    }
    // Back to an integer with a shift: 20544 = 20480 * 2^9 / 32768 * 64, times 2^10.
    EXPECT_EQ(20544 << 10, ImbeFloatToInt(ImbeFloat{20544, 15}, 10));
    EXPECT_EQ(321 << 16, ImbeFloatToInt(ImbeFloatFrom32(20544, 31), 10));
    EXPECT_EQ(INT32_MAX, ImbeFloatToInt(ImbeFloat{16384, 40}, 0));
    EXPECT_EQ(-3, ImbeFloatToInt(ImbeFloat{-24576, 2}, 0));
    // An operand 32 or more exponents below the other is ignored.
    ImbeFloat big{16384, 40}, tiny{16384, 0};
    EXPECT_EQ(16384, ImbeFloatAdd(big, tiny).m);
}

// The polynomial bounds below are the truncation errors of the printed coefficients, measured
// on a fine grid by a double model of the same polynomials; the fixed-point evaluation adds at
// most a few units of its last Q bit.
TEST(ImbeMath, Log2AccuracySweep) {
    auto model = [](double x) {
        double t = x - 23170.0 / 32768;
        return -0.5 + t * (16714.0 / 8192 + t * (-23636.0 / 16384 + t * (22285.0 / 16384 + t * (-23636.0 / 16384))));
    };
    double polyErr = 0;
    for (double x = 0.5; x < 1.0; x += 1e-5) polyErr = std::max(polyErr, std::fabs(model(x) - std::log2(x)));
    EXPECT_LT(polyErr, 0.004);
    const double bound = polyErr + 6.0 / 16384;
    for (int m = 1; m < 32768; m += 7) {
        for (int e : {-20, -3, 0, 5, 17}) {
            double exact = std::log2(m / 32768.0) + e;
            EXPECT_NEAR(exact, ImbeLog2(static_cast<int16_t>(m), e) / 65536.0, bound) << m << " " << e;
        }
    }
    EXPECT_EQ(INT32_MIN, ImbeLog2(0, 0));
    EXPECT_EQ(INT32_MIN, ImbeLog2(-5, 0));
    EXPECT_EQ((ImbeLog2(20000, 3) + 32) >> 6, ImbeLog2Round(20000, 3, 10));
}

TEST(ImbeMath, Pow2AccuracySweep) {
    // Taylor remainder of 2^f on [0, 1) after the 5th power: sum_n>=6 (ln2)^n / n! < 1.8e-4.
    const double bound = 1.8e-4 + 6.0 / 16384;
    for (int32_t x = -20 * 65536; x < 20 * 65536; x += 977) {
        double exact = std::exp2(x / 65536.0);
        ImbeFloat p = ImbePow2(x);
        EXPECT_NEAR(1.0, FloatValue(p) / exact, bound) << x;
        EXPECT_GE(p.m, 16384);
    }
}

TEST(ImbeMath, SqrtAccuracySweep) {
    auto model = [](double x) { return -6538.0 / 32768 * x * x + 29003.0 / 32768 * x + 10303.0 / 32768; };
    double polyErr = 0;
    for (double x = 0.5; x < 1.0; x += 1e-5) polyErr = std::max(polyErr, std::fabs(model(x) - std::sqrt(x)));
    EXPECT_LT(polyErr, 1e-3);
    const double bound = polyErr + 4.0 / 32768;
    for (int32_t x = 0x40000000; x > 0 && x <= 0x7FFFFFFF - 333333; x += 333333) {
        for (int e : {-9, -8, 0, 1, 14}) {
            int re = e;
            int32_t r = ImbeSqrt(x, &re);
            double got = r / 2147483648.0 * std::ldexp(1.0, re);
            double exact = std::sqrt(x / 2147483648.0 * std::ldexp(1.0, e));
            EXPECT_NEAR(1.0, got / exact, bound / 0.7) << x << " " << e;
        }
    }
    ImbeFloat s = ImbeFloatSqrt(ImbeFloatFrom16(160, 15));
    EXPECT_NEAR(std::sqrt(160.0), FloatValue(s), 0.002 * std::sqrt(160.0));
    EXPECT_EQ(0, ImbeFloatSqrt(ImbeFloat{0, 0}).m);
}

TEST(ImbeMath, PhaseAndTables) {
    for (int k = 0; k < 512; ++k) EXPECT_EQ(std::lround(32767 * std::cos(2 * kPi * k / 512)), kImbeCosine[k]);
    for (int k = 0; k < 50; ++k) EXPECT_EQ(std::lround(32768 * std::sqrt(k / 50.0)), kImbeSqrtRamp[k]);
    EXPECT_EQ(32767, kImbeReciprocal[1]);
    for (int k = 2; k <= 56; ++k) EXPECT_EQ(32768 / k, kImbeReciprocal[k]);
    EXPECT_EQ(0, kImbeReciprocal[57]);
    // Interpolated cosine: linear interpolation between entries 2 pi / 512 apart errs by at
    // most (2 pi / 512)^2 / 8 = 1.9e-5 of full scale, plus rounding.
    for (int p = 0; p < 65536; p += 37) {
        EXPECT_NEAR(32767 * std::cos(2 * kPi * p / 65536), ImbeCos(static_cast<uint16_t>(p)), 2.0);
        EXPECT_NEAR(32767 * std::sin(2 * kPi * p / 65536), ImbeSin(static_cast<uint16_t>(p)), 2.0);
    }
    EXPECT_EQ(5 << 4, ImbeWrapPhase((3 << 27) + 5, 4));
    EXPECT_EQ(-(5 << 4), ImbeWrapPhase(-((3 << 27) + 5), 4));
    uint16_t seed = 0;
    EXPECT_EQ(13849, ImbeNoise(&seed));
    EXPECT_EQ(static_cast<uint16_t>(173 * 13849 + 13849), ImbeNoise(&seed));
}

TEST(ImbeMath, AccumulatorAndVectors) {
    ImbeAcc40 a = ImbeAccFrom32(INT32_MAX);
    a = ImbeAccAdd(a, INT32_MAX);
    EXPECT_EQ(int64_t(INT32_MAX) * 2, a.v);  // 8 guard bits keep it
    EXPECT_EQ(INT32_MAX, ImbeAccTo32(a));
    EXPECT_EQ(-1, ImbeAccNorm(a));
    for (int i = 0; i < 1000; ++i) a = ImbeAccAdd(a, int64_t(1) << 38);
    EXPECT_EQ((int64_t(1) << 39) - 1, a.v);  // saturates at 40 bits
    int16_t buf[9] = {1, -7, 3, 0, 0, 0, 0, 0, 42};
    EXPECT_EQ(buf + 3, ImbeFillWords(buf, 5, 3));
    EXPECT_EQ(5, buf[2]);
    EXPECT_EQ(42, buf[8]);
    int16_t dst[4] = {0, 0, 0, 9};
    EXPECT_EQ(dst + 3, ImbeCopyWords(dst, buf, 3));
    EXPECT_EQ(9, dst[3]);
    int16_t v[3] = {100, -32768, 5};
    EXPECT_EQ(32768, ImbeMaxMagnitude(v, 3));
    int16_t x[4] = {16384, 16384, 0, 0};  // 0.25 + 0.25
    EXPECT_NEAR(0.5, FloatValue(ImbeEnergy(x, 4)), 1e-4);
}

namespace {

std::vector<std::complex<double>> Dft(const std::vector<std::complex<double>>& x, int sign) {
    const size_t n = x.size();
    std::vector<std::complex<double>> y(n);
    for (size_t k = 0; k < n; ++k)
        for (size_t t = 0; t < n; ++t) y[k] += x[t] * std::polar(1.0, sign * 2 * kPi * double(k * t) / n);
    return y;
}

double SnrDb(const std::vector<std::complex<double>>& ref, const std::vector<std::complex<double>>& got) {
    double s = 0, e = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        s += std::norm(ref[i]);
        e += std::norm(ref[i] - got[i]);
    }
    return 10 * std::log10(s / std::max(e, 1e-30));
}

}  // namespace

// Block-floating-point FFT: 16-bit data with a rounding per pass keeps roughly 6 dB per bit of
// the 15-bit mantissa less 3 dB per pass; 60 dB leaves a margin for 8 passes.
TEST(ImbeMath, ComplexFftMatchesDoubleDft) {
    std::mt19937 rng(3);
    for (int k = 3; k <= 8; ++k) {
        const int n = 1 << k;
        for (int amplitude : {32767, 3000, 40}) {
            std::uniform_int_distribution<int> d(-amplitude, amplitude);
            std::vector<int16_t> data(2 * n);
            std::vector<std::complex<double>> x(n);
            for (int i = 0; i < n; ++i) {
                data[2 * i] = static_cast<int16_t>(d(rng));
                data[2 * i + 1] = static_cast<int16_t>(d(rng));
                x[i] = {double(data[2 * i]), double(data[2 * i + 1])};
            }
            for (bool inverse : {false, true}) {
                std::vector<int16_t> work = data;
                int s = ImbeFft(work.data(), k, inverse);
                auto ref = Dft(x, inverse ? 1 : -1);
                std::vector<std::complex<double>> got(n);
                for (int i = 0; i < n; ++i)
                    got[i] = std::complex<double>(work[2 * i], work[2 * i + 1]) * std::ldexp(1.0, s);
                double minSnr = amplitude > 1000 ? 60.0 : 25.0;  // 40 is only ~6 bits of signal
                EXPECT_GT(SnrDb(ref, got), minSnr) << "k " << k << " amplitude " << amplitude;
            }
        }
    }
}

TEST(ImbeMath, RealFftMatchesDftAndRoundTrips) {
    std::mt19937 rng(5);
    for (int k = 4; k <= 8; ++k) {
        const int n = 1 << k;
        std::uniform_int_distribution<int> d(-20000, 20000);
        std::vector<int16_t> x(n);
        std::vector<std::complex<double>> xc(n);
        for (int i = 0; i < n; ++i) {
            x[i] = static_cast<int16_t>(d(rng));
            xc[i] = x[i];
        }
        auto ref = Dft(xc, -1);
        std::vector<int16_t> w = x;
        int e = ImbeRealFft(w.data(), 3, k);  // input exponent 3: x_true = x * 8
        std::vector<std::complex<double>> refHalf(n / 2), got(n / 2);
        for (int i = 0; i < n / 2; ++i) {
            refHalf[i] = ref[i] * 8.0;
            got[i] = std::complex<double>(w[2 * i], w[2 * i + 1]) * std::ldexp(1.0, e);
        }
        refHalf[0] = ref[0].real() * 8.0;  // bin 0 imaginary cleared (Nyquist dropped)
        EXPECT_GT(SnrDb(refHalf, got), 60.0) << "k " << k;

        // Round trip of a signal without a Nyquist component: (-1)^n content removed first.
        double nyq = 0;
        for (int i = 0; i < n; ++i) nyq += (i & 1 ? -1.0 : 1.0) * x[i] / n;
        std::vector<int16_t> y(n);
        std::vector<std::complex<double>> yref(n), ygot(n);
        for (int i = 0; i < n; ++i) {
            y[i] = static_cast<int16_t>(std::lround(x[i] - (i & 1 ? -nyq : nyq)));
            yref[i] = y[i];
        }
        std::vector<int16_t> r = y;
        int e1 = ImbeRealFft(r.data(), 0, k);
        int e2 = ImbeRealIfft(r.data(), e1, k);
        for (int i = 0; i < n; ++i) ygot[i] = r[i] * std::ldexp(1.0, e2);
        EXPECT_GT(SnrDb(yref, ygot), 55.0) << "k " << k;
    }
}
