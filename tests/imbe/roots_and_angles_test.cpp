// Roots and arctangents against double precision, with the edges of their input ranges.
#include "imbe/imbe_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "dsp/dsp_math.h"

namespace {

double Scaled(double m, int e) { return m * std::ldexp(1.0, e); }

// Angles compare modulo 2 pi. Rounding to the Q13 step costs 6.1e-5 rad, the polynomial
// 3.5e-6 and the reduced argument's 15-bit mantissa about 3e-5.
bool AngleNear(double exact, int16_t q13) { return std::fabs(std::remainder(q13 / 8192.0 - exact, 2 * kPi)) < 1.5e-4; }

}  // namespace

// Relative tolerances: the fourth root's quartic errs by 2^-15 and its remainder factors by up
// to 2.6e-5 in Q15 (7e-5 in all), rounding to a Q15 mantissa of at least 0.59 adds 2.6e-5; the
// square root's quadratic errs by 1.22e-3 (its double model on [0.5, 1)), its Q15 evaluation,
// 1/sqrt2 and the rounding by up to 8 units of 2^-15.
TEST(ImbeRoots, MatchDoubleForEveryExponentRemainderAndInputRange) {
    std::vector<int32_t> inputs = {1, 3, 12345, 0x3FFFFFFF, 0x40000000, INT32_MAX};
    std::mt19937 rng(41);
    for (int i = 0; i < 400; ++i) inputs.push_back(static_cast<int32_t>(rng() >> (rng() % 31 + 1)) | 1);
    for (int32_t x : inputs) {
        for (int e0 : {-9, -8, -7, -6, 0, 1, 2, 3, 29, 30}) {
            const double v = Scaled(x, e0 - 31);
            int e = e0, e16 = e0, es = e0, e32 = e0;
            const int32_t r = ImbeFourthRoot(x, &e);
            const int16_t r16 = ImbeFourthRootRound(x, &e16), s16 = ImbeSqrtRound(x, &es);
            EXPECT_NEAR(1, Scaled(r, e - 31) / std::pow(v, 0.25), 7e-5) << x << " e " << e0;
            EXPECT_NEAR(1, Scaled(r16, e16 - 15) / std::pow(v, 0.25), 1e-4) << x << " e " << e0;
            EXPECT_NEAR(1, Scaled(s16, es - 15) / std::sqrt(v), 1.22e-3 + 8.0 / 32768) << x << " e " << e0;
            // The 16-bit forms are the 32-bit ones rounded, not cut.
            EXPECT_LE(std::fabs(r16 - r / 65536.0), 0.5) << x << " e " << e0;
            if (x >= 0x40000000) {
                EXPECT_LE(std::fabs(s16 - ImbeSqrt(x, &e32) / 65536.0), 0.5) << x;
            }
        }
    }
    for (int32_t x : {0, -1, INT32_MIN}) {  // no root: 0 with exponent 0
        int e = 7, e16 = 7, es = 7;
        EXPECT_EQ(0, ImbeFourthRoot(x, &e) | ImbeFourthRootRound(x, &e16) | ImbeSqrtRound(x, &es)) << x;
        EXPECT_EQ(0, e | e16 | es) << x;
    }
}

// Every half degree at radii from a few units to the edge of the 32-bit range: every octant,
// its edges and the axes; then exact answers and the extreme inputs.
TEST(ImbeAngles, ArctangentsAgainstDoubleAndAtTheEdges) {
    for (double radius : {5.0, 32767.0, 2.1e9}) {
        for (int step = -360; step < 360; ++step) {
            const auto y = static_cast<int32_t>(std::lround(radius * std::sin(step * kPi / 360)));
            const auto x = static_cast<int32_t>(std::lround(radius * std::cos(step * kPi / 360)));
            EXPECT_TRUE(AngleNear(std::atan2(double(y), double(x)), ImbeAtan2(y, x))) << y << " " << x;
            const ImbeFloat ratio = ImbeFloatDiv(ImbeFloatFrom32(y, 31), ImbeFloatFrom32(x, 31));  // signed
            if (x != 0) {
                EXPECT_TRUE(AngleNear(std::atan(double(y) / x), ImbeAtan(ratio))) << y << " / " << x;
            }
        }
    }
    for (int32_t y : {1, -1, INT32_MAX, INT32_MIN})
        for (int32_t x : {1, -1, INT32_MAX, INT32_MIN})
            EXPECT_TRUE(AngleNear(std::atan2(double(y), double(x)), ImbeAtan2(y, x))) << y << " " << x;
    const int pi = kImbePiQ13, half = pi / 2, quarter = pi / 4;
    const struct {
        int32_t y, x;
        int want;
    } exact[] = {{0, 0, 0},    {0, INT32_MAX, 0},     {0, -1, pi},     {0, INT32_MIN, pi},
                 {1, 0, half}, {INT32_MIN, 0, -half}, {7, 7, quarter}, {INT32_MIN, INT32_MIN, -3 * quarter}};
    for (const auto& r : exact) EXPECT_EQ(r.want, ImbeAtan2(r.y, r.x)) << r.y << " " << r.x;
    // Mantissa-and-exponent form: zero, unnormalised mantissas, negatives and extreme exponents.
    const struct {
        ImbeFloat x;
        int want;
    } rows[] = {{{0, 0}, 0},        {{0, 32767}, 0},          {{1, 15}, quarter},   {{-32768, 0}, -quarter},
                {{1, 32767}, half}, {{-32768, 32767}, -half}, {{32767, -32768}, 0}, {{1, -32768}, 0},
                {{-1, -32768}, 0}};
    for (const auto& r : rows) EXPECT_EQ(r.want, ImbeAtan(r.x)) << r.x.m << " e " << r.x.e;
}
