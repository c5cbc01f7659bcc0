#include "dsp/fft_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "dsp/dsp_math.h"

namespace {

// Textbook forms, written in the usual way: the cosine windows as sums of cos(2*pi*i/M) with
// M = 2*(n/2) (periodic for even n, symmetric for odd n), the others over n - 1 or from the
// distance to the nearer end.
double Textbook(int kind, int i, int n) {
    const double M = 2 * (n / 2);
    const double c1 = std::cos(2 * kPi * i / M), c2 = std::cos(4 * kPi * i / M);
    switch (kind) {
    case 0: return 1.0;
    case 1: return 0.5 - 0.5 * c1;
    case 2: return 0.54 - 0.46 * c1;
    case 3: return 0.42 - 0.5 * c1 + 0.08 * c2;
    case 4: return 0.2810639 - 0.5208972 * std::cos(2 * kPi * i / n) + 0.1980399 * std::cos(4 * kPi * i / n);
    case 5: {
        double u = i / (n - 1.0) - 0.5;
        return 0.62 - 0.48 * std::fabs(u) + 0.38 * std::cos(2 * kPi * u);
    }
    case 6: return 1.0 - std::fabs(2.0 * i / (n - 1) - 1.0);
    case 7: {
        double a = 2 * kPi * i / (n - 1);
        return 0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2 * a) - 0.01168 * std::cos(3 * a);
    }
    case 8: {
        int j = std::min(i, n - 1 - i);
        if (j >= n / 2) return 1.0;
        double t = 1.0 - 2.0 * j / n;  // distance from the centre, 1 at the ends
        return (1 - t) * std::cos(kPi * t) + std::sin(kPi * t) / kPi;
    }
    case 9: {
        double x = (i - n / 2) / double(n / 2);
        return std::exp(-0.5 * 6.25 * x * x);
    }
    case 10: {
        // Symmetric triangle of width n + 1 (odd n) or n (even n), non-zero ends.
        double centre = (n - 1) / 2.0;
        double half = n % 2 ? (n + 1) / 2.0 : n / 2.0;
        return 1.0 - std::fabs(i - centre) / half;
    }
    }
    return NAN;
}

TEST(FftWindow, EveryKindMatchesItsTextbookFormAtSevenAndEightPoints) {
    for (int n : {7, 8}) {
        for (int kind = 0; kind < CFftWindow::GetCount(); ++kind) {
            std::vector<float> data(n, 1.0f);
            std::vector<double> dbl(n, 2.0);
            ASSERT_EQ(1, CFftWindow::Apply(kind, data.data(), n));
            ASSERT_EQ(1, CFftWindow::ApplyDouble(kind, dbl.data(), n));
            for (int i = 0; i < n; ++i) {
                double expected = Textbook(kind, i, n);
                EXPECT_NEAR(expected, data[i], 2e-7) << "kind " << kind << " n " << n << " i " << i;
                // The Bartlett and triangle ratios are computed in float.
                double tol = (kind == 6 || kind == 10) ? 2e-7 : 1e-12;
                EXPECT_NEAR(2 * expected, dbl[i], tol) << "kind " << kind << " n " << n << " i " << i;
                if (kind != 4) {  // the flat top dips below 0
                    EXPECT_GE(data[i], -1e-6f) << "kind " << kind << " i " << i;
                }
            }
            // Every kind is symmetric about the middle except the periodic (even n) forms.
            if (n % 2 == 1 && kind != 4) {
                for (int i = 0; i < n; ++i) EXPECT_NEAR(data[i], data[n - 1 - i], 1e-6) << kind;
            }
        }
    }
}

TEST(FftWindow, OnePointIsUnitWeightForEveryKind) {
    for (int kind = 0; kind < CFftWindow::GetCount(); ++kind) {
        float v = 0.75f;
        double d = 0.75;
        EXPECT_EQ(1, CFftWindow::Apply(kind, &v, 1));
        EXPECT_EQ(1, CFftWindow::ApplyDouble(kind, &d, 1));
        EXPECT_EQ(0.75f, v) << kind;
        EXPECT_EQ(0.75, d) << kind;
    }
}

TEST(FftWindow, BadArgumentsChangeNothing) {
    float data[4] = {1, 2, 3, 4};
    EXPECT_EQ(0, CFftWindow::Apply(11, data, 4));
    EXPECT_EQ(0, CFftWindow::Apply(-1, data, 4));
    EXPECT_EQ(0, CFftWindow::Apply(1, data, 0));
    EXPECT_EQ(0, CFftWindow::Apply(1, nullptr, 4));
    EXPECT_EQ(0, CFftWindow::ApplyComplex(11, data, 4));
    EXPECT_EQ(0, CFftWindow::ApplyDouble(1, nullptr, 4));
    EXPECT_EQ(1, data[0]);
    EXPECT_EQ(4, data[3]);
}

TEST(FftWindow, ComplexFormWeightsRealPartsAtEvenPositions) {
    const int n = 8;
    float data[n];
    std::fill(data, data + n, 1.0f);
    ASSERT_EQ(1, CFftWindow::ApplyComplex(kWindowHamming, data, n));
    for (int k = 0; k < n / 2; ++k) {
        EXPECT_NEAR(Textbook(kWindowHamming, 2 * k, n), data[2 * k], 2e-7);
        EXPECT_EQ(1.0f, data[2 * k + 1]);  // imaginary parts untouched
    }
}

TEST(FftWindow, Names) {
    char buffer[16];
    EXPECT_EQ(8, CFftWindow::GetName(3, buffer, 16));
    EXPECT_STREQ("Blackman", buffer);
    EXPECT_EQ(18, CFftWindow::GetName(5, buffer, 16));  // full length even when cut
    EXPECT_STREQ("Bartlett - Hann", buffer);
    EXPECT_EQ(3, CFftWindow::GetName(11, buffer, 16));
    EXPECT_STREQ("N/A", buffer);
    EXPECT_EQ(3, CFftWindow::GetName(-1, buffer, 16));
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(11, CFftWindow::GetName(0, small, 1));
    EXPECT_EQ('\0', small[0]);
    EXPECT_EQ('x', small[1]);
    EXPECT_EQ(7, CFftWindow::GetName(1, nullptr, 0));
}

}  // namespace
