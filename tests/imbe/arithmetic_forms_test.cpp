// The accumulator, division, power and vector forms against int64 and double models, each with
// the largest and smallest inputs, zero and negatives.
#include "imbe/imbe_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int64_t kMax40 = (int64_t(1) << 39) - 1, kMin40 = -(int64_t(1) << 39);
int16_t Clamp16(double v) { return static_cast<int16_t>(std::min(32767.0, std::max(-32768.0, v))); }
int64_t NormCount(int64_t v) {
    ImbeAcc40 a{v};
    return ImbeAccNormalize(&a);
}
int64_t Normalised(int64_t v) {
    ImbeAcc40 a{v};
    ImbeAccNormalize(&a);
    return a.v;
}
const std::vector<int16_t> kEdges = {0, 1, -1, 2, -2, 3, 16384, -16384, 12345, -23456, 32767, -32768, 32766, -32767};

}  // namespace

TEST(ImbeArithmeticForms, Pow2WithInputShiftAgainstExp2) {
    // Polynomial bound of the 16-bit form (1.8e-4 relative plus rounding) as log2, and the input
    // truncated to Q16 when the shift is negative.
    const double bound = -std::log2(1 - 1.8e-4 - 6.0 / 16384) + 1.0 / 65536;
    for (int shift : {-15, -3, 0, 5, 15})
        for (int32_t x : {0, 1, -1, 2048, -2048, 70000, -123457, INT32_MAX, INT32_MIN}) {
            int e = 99;
            const int32_t m = ImbePow2(x, shift, &e);
            EXPECT_GE(m, 1 << 30);
            EXPECT_NEAR(std::ldexp(double(x), shift) / 65536, std::log2(m / 2147483648.0) + e, bound)
                << x << " " << shift;
        }
}

// Integer division and the 40-bit accumulator: {result, known answer} rows.
TEST(ImbeArithmeticForms, DivisionAndAccumulatorKnownAnswers) {
    const ImbeAcc40 max{kMax40}, min{kMin40}, one{1}, minusOne{-1}, zero{0};
    // clang-format off
    const int64_t rows[][2] = {
        {ImbeDivInt(100, 7), 14}, {ImbeDivInt(-100, 7), -14}, {ImbeDivInt(100, -7), -14}, {ImbeDivInt(-100, -7), 14},
        {ImbeDivInt(6, 7), 0}, {ImbeDivInt(-6, 7), 0}, {ImbeDivInt(0, -3), 0}, {ImbeDivInt(32767, 1), 32767},
        {ImbeDivInt(32768, 1), 32767}, {ImbeDivInt(INT32_MAX, 1), 32767}, {ImbeDivInt(INT32_MIN, 1), -32767},
        {ImbeDivInt(INT32_MIN, -32768), 32767}, {ImbeDivInt(1073709056, -32768), -32767},
        {ImbeDivInt(-32768, -32768), 1}, {ImbeDivInt(5, 0), 32767}, {ImbeDivInt(-5, 0), -32767},
        {ImbeAccFrom16(32767).v, 32767 * 65536LL}, {ImbeAccFrom16(-32768).v, -32768 * 65536LL},
        {ImbeAccSub(ImbeAccFrom32(INT32_MIN), INT32_MAX).v, -4294967295LL}, {ImbeAccSub(min, 1).v, kMin40},
        {ImbeAccSub(max, -1).v, kMax40}, {ImbeAccAddAcc({3}, {-5}).v, -2}, {ImbeAccAddAcc(max, max).v, kMax40},
        {ImbeAccAddAcc(min, minusOne).v, kMin40}, {ImbeAccNeg(min).v, kMax40}, {ImbeAccNeg(max).v, -kMax40},
        {ImbeAccNeg(zero).v, 0}, {ImbeAccMsu(zero, -32768, -32768).v, -(1LL << 31)}, {ImbeAccMsu(min, 1, 1).v, kMin40},
        {ImbeAccShl(one, 38).v, 1LL << 38}, {ImbeAccShl(one, 39).v, kMax40}, {ImbeAccShl(minusOne, 39).v, kMin40},
        {ImbeAccShl(minusOne, 99).v, kMin40}, {ImbeAccShl(zero, 99).v, 0}, {ImbeAccShl({-(1LL << 20)}, 19).v, kMin40},
        {ImbeAccShl({1LL << 20}, 19).v, kMax40}, {ImbeAccShl({-5}, -1).v, -3}, {ImbeAccShl(min, -39).v, -1},
        {ImbeAccShl({-5}, -40).v, -1}, {ImbeAccShl({5}, -40).v, 0},
        {ImbeAccTo16(max), 32767}, {ImbeAccTo16(min), -32768}, {ImbeAccTo16(minusOne), -1},
        {ImbeAccTo16({0x12345678}), 0x1234}, {ImbeAccTo16(one), 0},
        {NormCount(kMax40), -8}, {Normalised(kMax40), INT32_MAX}, {NormCount(kMin40), -8}, {Normalised(kMin40), INT32_MIN},
        {NormCount(-1), 31}, {Normalised(-1), INT32_MIN}, {NormCount(0x12345678), 2}, {Normalised(0x12345678), 0x48D159E0},
        {NormCount(0), 0}, {Normalised(0), 0}, {NormCount(1), 30}, {Normalised(1), 1 << 30}};
    // clang-format on
    for (const auto& r : rows) EXPECT_EQ(r[1], r[0]) << "row " << &r - rows;
}

// Element-wise forms over the edge values paired with every other edge value (dst aliasing a).
TEST(ImbeArithmeticForms, ElementWiseFormsAgainstModels) {
    const int n = static_cast<int>(kEdges.size());
    for (int rot = 0; rot < n; ++rot) {
        std::vector<int16_t> a = kEdges, b(n), diff(n), pairs(2 * n);
        std::vector<int32_t> power(n);
        for (int i = 0; i < n; ++i) b[i] = kEdges[(i + rot) % n], pairs[2 * i] = a[i], pairs[2 * i + 1] = b[i];
        ImbeSubWords(diff.data(), a.data(), b.data(), n);
        ImbePairPower(power.data(), pairs.data(), n);
        ImbeAddWords(a.data(), a.data(), b.data(), n);
        for (int i = 0; i < n; ++i) {
            const double x = kEdges[i], y = b[i];
            EXPECT_EQ(Clamp16(x + y), a[i]) << x << " + " << y;
            EXPECT_EQ(Clamp16(x - y), diff[i]) << x << " - " << y;
            EXPECT_EQ(std::min(2147483647.0, 2 * (x * x + y * y)), power[i]) << x << ", " << y;
        }
    }
    for (int16_t factor : {int16_t(32767), int16_t(-32768), int16_t(16384), int16_t(-3), int16_t(0)})
        for (int shift : {-40, -16, -1, 0, 1, 2, 17}) {
            std::vector<int16_t> scaled(n), shifted(n);
            ImbeScaleWords(scaled.data(), kEdges.data(), n, factor, shift);
            ImbeShiftWords(shifted.data(), kEdges.data(), n, shift);
            for (int i = 0; i < n; ++i) {
                // Exact: the Q31 product saturates (-1 * -1), then the right shift floors and the
                // rounding adds half, both on whole LSBs.
                const double product = std::min(2147483647.0, 2.0 * kEdges[i] * factor);
                EXPECT_EQ(Clamp16(std::floor(std::ldexp(product, shift) / 65536 + 0.5)), scaled[i])
                    << kEdges[i] << " * " << factor << " << " << shift;
                EXPECT_EQ(Clamp16(std::floor(std::ldexp(double(kEdges[i]), shift))), shifted[i])
                    << kEdges[i] << " << " << shift;
            }
        }
}

TEST(ImbeArithmeticForms, ReductionsAgainstModels) {
    // clang-format off
    const std::vector<std::vector<int16_t>> rows = {
        {}, {0, 0, 0}, {1, 2}, {-1, -2}, {1, 0, 0}, {-3}, {-32768, -32768}, {32767, 32767}, {16384}, {-16384},
        {1, -1}, {0, 3, 0}, kEdges, std::vector<int16_t>(70000, 32767), std::vector<int16_t>(70000, -32768)};
    // clang-format on
    for (const std::vector<int16_t>& x : rows) {
        const int n = static_cast<int>(x.size());
        double sum = 0;
        for (int16_t v : x) sum += v;
        EXPECT_EQ(std::min(2147483647.0, std::max(-2147483648.0, sum)), ImbeSumWords(x.data(), n)) << n;
        EXPECT_EQ(n ? std::floor(sum / n + 0.5) : 0, ImbeMeanWords(x.data(), n)) << n;
        std::vector<int32_t> wide(x.begin(), x.end());
        for (int32_t& v : wide)
            v = v == -32768 ? INT32_MIN : (v == 32767 ? INT32_MAX : v * 65537);  // same order, full range
        const int first = n ? static_cast<int>(std::max_element(x.begin(), x.end()) - x.begin()) : -1;
        EXPECT_EQ(first, ImbeMaxIndex16(x.data(), n));
        EXPECT_EQ(first, ImbeMaxIndex32(wide.data(), n));
        int fits = 0;  // the largest shift that keeps every element in 16 bits, 0 for all zeros
        auto next = [&](int16_t v) { return Clamp16(v * (2.0 * (1 << fits))) == v * (2 << fits); };
        if (std::any_of(x.begin(), x.end(), [](int16_t v) { return v != 0; }))
            while (fits < 15 && std::all_of(x.begin(), x.end(), next)) ++fits;
        std::vector<int16_t> y = x;
        EXPECT_EQ(fits, ImbeBlockNormalize(y.data(), n)) << n;
        for (int i = 0; i < n; ++i) EXPECT_EQ(x[i] * (1 << fits), y[i]);
    }
    for (int32_t k : {0, 128, 256, 511, 512, -1, -512, 100000})
        EXPECT_EQ(std::lround(32767 * std::cos(std::acos(-1.0) * (((k % 512) + 512) % 512) / 256)), ImbeCosineEntry(k))
            << k;
}
