#include "imbe/imbe_math.h"

namespace {

const int16_t kLog2Poly[6] = {23170, -23636, 22285, -23636, 16714, -16384};
const int16_t kPow2Poly[6] = {22370, 20171, 29100, 31487, 22713, 16384};
const int16_t kSqrtPoly[4] = {-6538, 29003, 10303, 23170};

constexpr int64_t kAcc40Max = (int64_t(1) << 39) - 1;
constexpr int64_t kAcc40Min = -(int64_t(1) << 39);

int64_t Clamp40(int64_t v) { return v > kAcc40Max ? kAcc40Max : (v < kAcc40Min ? kAcc40Min : v); }

int32_t ShiftRound(int32_t x, int shift) { return shift > 0 ? (x + (1 << (shift - 1))) >> shift : x; }

}  // namespace

int32_t ImbeAdd32(int32_t a, int32_t b) {
    int64_t s = int64_t(a) + b;
    if (s > INT32_MAX || s < INT32_MIN) return a >= 0 ? INT32_MAX : INT32_MIN;
    return static_cast<int32_t>(s);
}

int32_t ImbeSub32(int32_t a, int32_t b) {
    int64_t s = int64_t(a) - b;
    if (s > INT32_MAX || s < INT32_MIN) return a >= 0 ? INT32_MAX : INT32_MIN;
    return static_cast<int32_t>(s);
}

int32_t ImbeAddHigh(int32_t a, int16_t b) { return ImbeSat32(int64_t(a) + int64_t(b) * 65536); }

int32_t ImbeRound32(int32_t a) {
    return static_cast<int32_t>(static_cast<uint32_t>(ImbeAdd32(a, 0x8000)) & 0xFFFF0000u);
}

int32_t ImbeShl32(int32_t a, int shift) {
    if (shift < 0) {
        if (shift < -30) return a < 0 ? -1 : 0;
        return a >> -shift;
    }
    if (shift > 31) shift = 31;
    return ImbeSat32(int64_t(a) * (int64_t(1) << shift));
}

int16_t ImbeShl16(int16_t a, int shift) {
    if (shift < 0) return shift < -15 ? (a < 0 ? -1 : 0) : static_cast<int16_t>(a >> -shift);
    if (shift > 16) shift = 16;
    return ImbeSat16(int32_t(a) * (1 << shift));
}

int32_t ImbeMult(int16_t a, int16_t b) {
    if (a == -32768 && b == -32768) return INT32_MAX;
    return int32_t(a) * b * 2;
}

int32_t ImbeMac(int32_t acc, int16_t a, int16_t b) { return ImbeAdd32(acc, ImbeMult(a, b)); }
int32_t ImbeMsu(int32_t acc, int16_t a, int16_t b) { return ImbeSub32(acc, ImbeMult(a, b)); }

int16_t ImbeMultRound(int16_t a, int16_t b) { return static_cast<int16_t>(ImbeRound32(ImbeMult(a, b)) >> 16); }

int32_t ImbeMult32x16(int32_t a, int16_t b) {
    int16_t hi = static_cast<int16_t>(a >> 16);
    int32_t lo = a & 0xFFFF;
    return ImbeAdd32(ImbeMult(hi, b), (lo * b) >> 15);
}

int ImbeNorm(int32_t x) {
    if (x == 0) return 0;
    if (x == -1) return 31;
    uint32_t v = static_cast<uint32_t>(x < 0 ? ~x : x);
    int n = 0;
    while (v < 0x40000000u) {
        v <<= 1;
        ++n;
    }
    return n;
}

int ImbeNorm16(int16_t x) {
    if (x == 0) return 0;
    if (x == -1) return 15;
    return ImbeNorm(int32_t(x) * 65536);
}

int32_t ImbeNormalize(int32_t* x) {
    int n = ImbeNorm(*x);
    *x = static_cast<int32_t>(static_cast<uint32_t>(*x) << n);
    return n;
}

namespace {
// |a| / |b| shifted right, with the sign of a*b, 32767 (signed) when it would not fit 16 bits or b is 0.
int16_t SignedQuotient(int32_t a, int16_t b, int rightShift) {
    int64_t num = a < 0 ? -int64_t(a) : a;
    int64_t den = b < 0 ? -int64_t(b) : b;
    if (den == 0) return a < 0 ? -32767 : 32767;
    int64_t q = (num / den) >> rightShift;
    if (q > 32767) q = 32767;
    return static_cast<int16_t>(((a < 0) != (b < 0)) ? -q : q);
}
}  // namespace

int16_t ImbeDivQ15(int32_t a, int16_t b) { return SignedQuotient(a, b, 1); }
int16_t ImbeDivInt(int32_t a, int16_t b) { return SignedQuotient(a, b, 0); }

ImbeFloat ImbeFloatFrom32(int32_t x, int exponent) {
    if (x == 0) return {0, 0};
    int n = ImbeNorm(x);
    int32_t v = static_cast<int32_t>(static_cast<uint32_t>(x) << n);
    int32_t m = v >> 16;
    // Round to nearest unless that would leave the mantissa's range.
    if ((v & 0x8000) && m < 32767) ++m;
    return {static_cast<int16_t>(m), static_cast<int16_t>(exponent - n)};
}

ImbeFloat ImbeFloatFrom64(int64_t x, int exponent) {
    int r = 0;
    while (x > INT32_MAX || x < INT32_MIN) {
        x >>= 1;
        ++r;
    }
    return ImbeFloatFrom32(static_cast<int32_t>(x), exponent + r + 31);
}

ImbeFloat ImbeFloatFrom16(int16_t x, int exponent) { return ImbeFloatFrom32(int32_t(x) * 65536, exponent); }

namespace {
// Aligns both operands to the larger exponent + 1 and returns the Q31-ish sum or difference.
ImbeFloat FloatAddSub(ImbeFloat a, ImbeFloat b, bool subtract) {
    if (b.m == 0) return a.m == 0 ? ImbeFloat{0, 0} : ImbeFloatFrom16(a.m, a.e);
    if (a.m == 0) {
        if (!subtract) return ImbeFloatFrom16(b.m, b.e);
        return ImbeFloatFrom32(-int32_t(b.m) * 65536, b.e);
    }
    int e = (a.e > b.e ? a.e : b.e) + 1;
    int da = e - a.e, db = e - b.e;
    int32_t va = da > 31 ? 0 : (int32_t(a.m) * 65536) >> da;
    int32_t vb = db > 31 ? 0 : (int32_t(b.m) * 65536) >> db;
    int32_t s = subtract ? va - vb : va + vb;
    return ImbeFloatFrom32(s, e);
}
}  // namespace

ImbeFloat ImbeFloatAdd(ImbeFloat a, ImbeFloat b) { return FloatAddSub(a, b, false); }
ImbeFloat ImbeFloatSub(ImbeFloat a, ImbeFloat b) { return FloatAddSub(a, b, true); }

ImbeFloat ImbeFloatMul(ImbeFloat a, ImbeFloat b) {
    if (a.m == 0 || b.m == 0) return {0, 0};
    return ImbeFloatFrom32(ImbeMult(a.m, b.m), a.e + b.e);
}

ImbeFloat ImbeFloatDiv32(int32_t a, int ea, ImbeFloat b) {
    if (a == 0 || b.m == 0) return {0, 0};
    int n = ImbeNorm(a);
    a = static_cast<int32_t>(static_cast<uint32_t>(a) << n);
    ea -= n;
    b = ImbeFloatFrom16(b.m, b.e);
    int64_t absA = a < 0 ? -int64_t(a) : a;
    int64_t absB = b.m < 0 ? -int64_t(b.m) : b.m;
    // Keep the quotient below 1 so that it fits a Q15 mantissa.
    if (absB * 65536 <= absA) {
        a >>= 1;
        ++ea;
    }
    int16_t q = ImbeDivQ15(a, b.m);
    return ImbeFloatFrom16(q, ea - b.e);
}

ImbeFloat ImbeFloatDiv(ImbeFloat a, ImbeFloat b) { return ImbeFloatDiv32(int32_t(a.m) * 65536, a.e, b); }

bool ImbeFloatGreater(ImbeFloat a, ImbeFloat b) { return ImbeFloatSub(a, b).m > 0; }
bool ImbeFloatLess(ImbeFloat a, ImbeFloat b) { return ImbeFloatSub(a, b).m < 0; }

int32_t ImbeFloatToInt(ImbeFloat a, int shift) {
    int s = a.e + shift - 15;
    if (s >= 0) return ImbeShl32(a.m, s);
    return s < -31 ? (a.m < 0 ? -1 : 0) : int32_t(a.m) >> -s;
}

// log2 by a Taylor polynomial in t = x - 1/sqrt2 for x in [0.5, 1), evaluated by Horner in
// Q14 with truncating products (coefficients: t^4..t^2 in Q14, t in Q13, constant in Q15).
int32_t ImbeLog2(int16_t m, int e) {
    if (m <= 0) return INT32_MIN;
    int n = ImbeNorm16(m);
    int32_t x = int32_t(m) << n;
    e -= n;
    int32_t t = x - kLog2Poly[0];
    int32_t acc = kLog2Poly[1];
    acc = ((acc * t) >> 15) + kLog2Poly[2];
    acc = ((acc * t) >> 15) + kLog2Poly[3];
    acc = ((acc * t) >> 15) + 2 * kLog2Poly[4];
    acc = ((acc * t) >> 15) + kLog2Poly[5] / 2;
    return acc * 4 + e * 65536;
}

int32_t ImbeLog2Round(int16_t m, int e, int fractionBits) {
    int32_t v = ImbeLog2(m, e);
    if (v == INT32_MIN) return v;
    return ShiftRound(v, 16 - fractionBits);
}

// 2^f for f in [0, 1) by its Taylor polynomial, Horner with each coefficient in its own Q
// (Q24, Q21, Q19, Q17, Q15, Q14) so every partial sum keeps 15 significant bits.
ImbeFloat ImbePow2(int32_t xQ16) {
    int32_t i = xQ16 >> 16;
    int32_t f = (xQ16 & 0xFFFF) >> 1;    // Q15
    int32_t p = kPow2Poly[0];            // Q24
    p = ((p * f) >> 18) + kPow2Poly[1];  // Q21
    p = ((p * f) >> 17) + kPow2Poly[2];  // Q19
    p = ((p * f) >> 17) + kPow2Poly[3];  // Q17
    p = ((p * f) >> 17) + kPow2Poly[4];  // Q15
    p = ((p * f) >> 16) + kPow2Poly[5];  // Q14: 2^f in [1, 2)
    if (p > 32767) p = 32767;
    if (i > 32000) i = 32000;
    if (i < -32000) i = -32000;
    return {static_cast<int16_t>(p), static_cast<int16_t>(i + 1)};
}

// The fraction goes through the 16-bit form (its exponent is then 1); the integer part is
// added here, where it has the whole int range.
int32_t ImbePow2(int32_t x, int inputShift, int* e) {
    if (inputShift > 15) inputShift = 15;
    if (inputShift < -15) inputShift = -15;
    const int64_t q16 = inputShift >= 0 ? int64_t(x) * (int64_t(1) << inputShift) : int64_t(x) >> -inputShift;
    const ImbeFloat f = ImbePow2(static_cast<int32_t>(q16 & 0xFFFF));
    *e = static_cast<int>(q16 >> 16) + f.e;
    return int32_t(f.m) * 65536;
}

// Quadratic fit of sqrt on [0.5, 1) in Q15.
int32_t ImbeSqrt(int32_t x, int* e) {
    if (x <= 0) {
        *e = 0;
        return 0;
    }
    int16_t xs = static_cast<int16_t>(x >> 16);
    int32_t y = (int32_t(kSqrtPoly[0]) * xs) >> 15;
    y = ((y * xs) >> 15) + ((int32_t(kSqrtPoly[1]) * xs) >> 15) + kSqrtPoly[2];
    if (y > 32767) y = 32767;
    int32_t r = y * 65536;
    if (*e & 1) r = ImbeMult32x16(r, kSqrtPoly[3]);
    *e = (*e + 1) >> 1;
    return r;
}

ImbeFloat ImbeFloatSqrt(ImbeFloat a) {
    if (a.m <= 0) return {0, 0};
    a = ImbeFloatFrom16(a.m, a.e);
    int e = a.e;
    int32_t r = ImbeSqrt(int32_t(a.m) * 65536, &e);
    return ImbeFloatFrom32(r, e);
}

int16_t ImbeSqrtRound(int32_t x, int* e) {
    if (x <= 0) {
        *e = 0;
        return 0;
    }
    *e -= ImbeNormalize(&x);
    return static_cast<int16_t>(ImbeRound32(ImbeSqrt(x, e)) >> 16);
}

namespace {

const int16_t kFourthRootPoly[5] = {-3981, 16166, -28014, 31619, 16977};
const int16_t kFourthRootFactor[3] = {19484, 23170, 27554};  // 2^-3/4, 2^-1/2, 2^-1/4

}  // namespace

// x^(1/4) on [0.5, 1) by a quartic in Q15 coefficients, evaluated by Horner in Q31 so that the
// evaluation adds next to nothing to the polynomial's own 2^-15; the coefficients sum to
// 32767/32768, so no partial sum leaves (-1, 1).
int32_t ImbeFourthRoot(int32_t x, int* e) {
    if (x <= 0) {
        *e = 0;
        return 0;
    }
    *e -= ImbeNormalize(&x);
    const int16_t xs = static_cast<int16_t>(x >> 16);
    int32_t y = int32_t(kFourthRootPoly[0]) * 65536;
    for (int i = 1; i < 5; ++i) y = ImbeAdd32(ImbeMult32x16(y, xs), int32_t(kFourthRootPoly[i]) * 65536);
    // e = 4q + r: the root is x^(1/4) 2^q 2^(r/4) = x^(1/4) 2^(q+1) 2^((r-4)/4) for r > 0.
    const int r = *e & 3;
    if (r != 0) y = ImbeMult32x16(y, kFourthRootFactor[r - 1]);
    *e = (*e + 3) >> 2;
    return y;
}

int16_t ImbeFourthRootRound(int32_t x, int* e) { return static_cast<int16_t>(ImbeRound32(ImbeFourthRoot(x, e)) >> 16); }

namespace {

// atan(u) = u (c1 + c3 u^2 + c5 u^4) in Q15, the minimax fit over |u| <= tan(pi/8): within
// 3.5e-6 rad of atan there, far below the Q13 output step of 1.2e-4 rad.
const int16_t kAtanPoly[3] = {32766, -10826, 5360};
constexpr int16_t kHalfPiQ13 = kImbePiQ13 / 2;  // exact halves: 25736 = 4 * 6434
constexpr int16_t kQuarterPiQ13 = kImbePiQ13 / 4;
constexpr ImbeFloat kOne = {16384, 1};
constexpr ImbeFloat kTanPi8 = {27146, -1};  // 0.414214
constexpr ImbeFloat kTan3Pi8 = {19777, 2};  // 2.414214

// |u| a little above tan(pi/8) (rounding at the octant edges) stays well inside the Q15 range.
int16_t AtanReduced(ImbeFloat u) {
    const int32_t uq = ImbeFloatToInt(u, 15);
    const int32_t v = (uq * uq) >> 15;
    int32_t p = kAtanPoly[2];
    p = ((p * v) >> 15) + kAtanPoly[1];
    p = ((p * v) >> 15) + kAtanPoly[0];
    return static_cast<int16_t>((p * uq + (1 << 16)) >> 17);  // Q30 -> Q13, rounded
}

}  // namespace

// Octant reduction: above tan(3pi/8) atan t = pi/2 - atan(1/t), above tan(pi/8)
// atan t = pi/4 + atan((t - 1) / (t + 1)); both leave |u| <= tan(pi/8) for the polynomial.
int16_t ImbeAtan(ImbeFloat x) {
    if (x.m == 0) return 0;
    const bool negative = x.m < 0;
    const int32_t mag = negative ? -int32_t(x.m) : x.m;  // 1 .. 32768
    // |x| lies in [2^(top - 1), 2^top); taken apart first so that no exponent wraps 16 bits.
    const int top = 16 - ImbeNorm(mag) + x.e;
    int16_t a;
    if (top > 16) {
        a = kHalfPiQ13;  // |x| >= 2^16: pi/2 - atan|x| < 1.6e-5 rad, under half a step
    } else if (top < -20) {
        a = 0;
    } else {
        const ImbeFloat t = ImbeFloatFrom64(mag, x.e - 15);
        if (ImbeFloatGreater(t, kTan3Pi8))
            a = static_cast<int16_t>(kHalfPiQ13 - AtanReduced(ImbeFloatDiv(kOne, t)));
        else if (ImbeFloatGreater(t, kTanPi8))
            a = static_cast<int16_t>(kQuarterPiQ13 +
                                     AtanReduced(ImbeFloatDiv(ImbeFloatSub(t, kOne), ImbeFloatAdd(t, kOne))));
        else
            a = AtanReduced(t);
    }
    return negative ? static_cast<int16_t>(-a) : a;
}

// The axes are answered exactly; elsewhere the first-quadrant angle of |y| / |x| is mirrored
// into the quadrant of (x, y).
int16_t ImbeAtan2(int32_t y, int32_t x) {
    if (y == 0) return x < 0 ? kImbePiQ13 : 0;
    if (x == 0) return y < 0 ? static_cast<int16_t>(-kHalfPiQ13) : kHalfPiQ13;
    // Magnitudes in 64 bits: -2^31 has no 32-bit negation.
    const int64_t ay = y < 0 ? -int64_t(y) : y;
    const int64_t ax = x < 0 ? -int64_t(x) : x;
    int16_t a = ImbeAtan(ImbeFloatDiv(ImbeFloatFrom64(ay, 0), ImbeFloatFrom64(ax, 0)));
    if (x < 0) a = static_cast<int16_t>(kImbePiQ13 - a);
    return y < 0 ? static_cast<int16_t>(-a) : a;
}

int32_t ImbeWrapPhase(int32_t x, int s) {
    const uint32_t modMask = (uint32_t(1) << (31 - s)) - 1;
    uint32_t mag = static_cast<uint32_t>(x < 0 ? -int64_t(x) : x) & modMask;
    int32_t r = static_cast<int32_t>(mag << s);
    return x < 0 ? -r : r;
}

int16_t ImbeCos(uint16_t phase) {
    int i = phase >> 7;
    int frac = phase & 127;
    int32_t a = kImbeCosine[i];
    int32_t b = kImbeCosine[(i + 1) & 511];
    return static_cast<int16_t>(a + (((b - a) * frac + 64) >> 7));
}

int16_t ImbeSin(uint16_t phase) { return ImbeCos(static_cast<uint16_t>(phase + 49152)); }

ImbeAcc40 ImbeAccFrom32(int32_t x) { return {x}; }
ImbeAcc40 ImbeAccFrom16(int16_t x) { return {int64_t(x) * 65536}; }
ImbeAcc40 ImbeAccAdd(ImbeAcc40 a, int64_t x) { return {Clamp40(a.v + x)}; }
ImbeAcc40 ImbeAccSub(ImbeAcc40 a, int32_t x) { return {Clamp40(a.v - x)}; }
ImbeAcc40 ImbeAccAddAcc(ImbeAcc40 a, ImbeAcc40 b) { return {Clamp40(a.v + b.v)}; }
ImbeAcc40 ImbeAccNeg(ImbeAcc40 a) { return {Clamp40(-a.v)}; }
ImbeAcc40 ImbeAccMac(ImbeAcc40 a, int16_t x, int16_t y) { return {Clamp40(a.v + int64_t(x) * y * 2)}; }
ImbeAcc40 ImbeAccMsu(ImbeAcc40 a, int16_t x, int16_t y) { return {Clamp40(a.v - int64_t(x) * y * 2)}; }

ImbeAcc40 ImbeAccShl(ImbeAcc40 a, int shift) {
    if (shift < 0) {
        if (shift < -39) return {a.v < 0 ? -1 : 0};
        return {a.v >> -shift};
    }
    if (shift > 39) shift = 39;  // any nonzero value saturates by then
    // Test against the limits shifted down, so the shift itself cannot overflow 64 bits.
    if (a.v > (kAcc40Max >> shift)) return {kAcc40Max};
    if (a.v < (kAcc40Min >> shift)) return {kAcc40Min};
    return {a.v * (int64_t(1) << shift)};
}

int ImbeAccNorm(ImbeAcc40 a) {
    if (a.v == 0) return 0;
    if (a.v == -1) return 31;  // its complement is 0, which no shift normalises
    int64_t v = a.v < 0 ? ~a.v : a.v;
    int n = 0;
    while (v >= (int64_t(1) << 31)) {
        v >>= 1;
        --n;
    }
    while (v < (int64_t(1) << 30)) {
        v <<= 1;
        ++n;
    }
    return n;
}

int ImbeAccNormalize(ImbeAcc40* a) {
    const int n = ImbeAccNorm(*a);
    *a = ImbeAccShl(*a, n);
    return n;
}

int32_t ImbeAccTo32(ImbeAcc40 a) { return ImbeSat32(a.v); }
int16_t ImbeAccTo16(ImbeAcc40 a) { return static_cast<int16_t>(ImbeSat32(a.v) >> 16); }

int16_t* ImbeCopyWords(int16_t* dst, const int16_t* src, int n) {
    for (int i = 0; i < n; ++i) dst[i] = src[i];
    return dst + n;
}

int16_t* ImbeFillWords(int16_t* dst, int16_t value, int n) {
    for (int i = 0; i < n; ++i) dst[i] = value;
    return dst + n;
}

int ImbeMaxMagnitude(const int16_t* x, int n) {
    int m = 0;
    for (int i = 0; i < n; ++i) {
        int v = x[i] < 0 ? -x[i] : x[i];
        if (v > m) m = v;
    }
    return m;
}

void ImbeAddWords(int16_t* dst, const int16_t* a, const int16_t* b, int n) {
    for (int i = 0; i < n; ++i) dst[i] = ImbeSat16(int32_t(a[i]) + b[i]);
}

void ImbeSubWords(int16_t* dst, const int16_t* a, const int16_t* b, int n) {
    for (int i = 0; i < n; ++i) dst[i] = ImbeSat16(int32_t(a[i]) - b[i]);
}

namespace {
int64_t Sum64(const int16_t* x, int n) {
    int64_t s = 0;
    for (int i = 0; i < n; ++i) s += x[i];
    return s;
}
}  // namespace

int32_t ImbeSumWords(const int16_t* x, int n) { return ImbeSat32(Sum64(x, n)); }

int16_t ImbeMeanWords(const int16_t* x, int n) {
    if (n < 1) return 0;
    // floor((sum + n/2) / n), computed on doubled values so an odd n rounds exactly.
    const int64_t num = 2 * Sum64(x, n) + n, den = 2 * int64_t(n);
    int64_t q = num / den;
    if (num % den != 0 && num < 0) --q;
    return static_cast<int16_t>(q);
}

namespace {
template <typename T>
int MaxIndex(const T* x, int n) {
    if (n < 1) return -1;
    int best = 0;
    for (int i = 1; i < n; ++i)
        if (x[i] > x[best]) best = i;
    return best;
}
}  // namespace

int ImbeMaxIndex16(const int16_t* x, int n) { return MaxIndex(x, n); }
int ImbeMaxIndex32(const int32_t* x, int n) { return MaxIndex(x, n); }

// The smallest per-element count, not the count of the largest magnitude: -16384 still has one
// bit of room where +16384 has none.
int ImbeBlockNorm(const int16_t* x, int n) {
    int shift = 15;
    bool any = false;
    for (int i = 0; i < n; ++i) {
        if (x[i] == 0) continue;
        any = true;
        const int s = ImbeNorm16(x[i]);
        if (s < shift) shift = s;
    }
    return any ? shift : 0;
}

int ImbeBlockNormalize(int16_t* x, int n) {
    const int shift = ImbeBlockNorm(x, n);
    for (int i = 0; i < n; ++i) x[i] = static_cast<int16_t>(x[i] * (1 << shift));
    return shift;
}

void ImbeScaleWords(int16_t* dst, const int16_t* x, int n, q15 factor, int shift) {
    for (int i = 0; i < n; ++i)
        dst[i] = static_cast<int16_t>(ImbeRound32(ImbeShl32(ImbeMult(x[i], factor), shift)) >> 16);
}

void ImbeShiftWords(int16_t* dst, const int16_t* x, int n, int shift) {
    for (int i = 0; i < n; ++i) dst[i] = ImbeShl16(x[i], shift);
}

void ImbePairPower(int32_t* power, const int16_t* pairs, int n) {
    for (int i = 0; i < n; ++i)
        power[i] = ImbeMac(ImbeMult(pairs[2 * i], pairs[2 * i]), pairs[2 * i + 1], pairs[2 * i + 1]);
}

ImbeFloat ImbeEnergy(const int16_t* x, int n) {
    ImbeAcc40 acc{0};
    for (int i = 0; i < n; ++i) acc = ImbeAccMac(acc, x[i], x[i]);
    int s = ImbeAccNorm(acc);
    int64_t v = s >= 0 ? acc.v << s : acc.v >> -s;
    return ImbeFloatFrom32(static_cast<int32_t>(v), -s);
}

namespace {

// Largest input magnitude for which a radix-2 butterfly cannot overflow: |a| + sqrt2 |b|.
constexpr int kPassHeadroom = 13572;

int MaxPair(const int16_t* d, int n2) { return ImbeMaxMagnitude(d, n2); }

void BlockNormalize(int16_t* d, int n, int* e) {
    int m = ImbeMaxMagnitude(d, n);
    if (m == 0) return;
    int s = 0;
    while ((m << (s + 1)) <= kPassHeadroom) ++s;
    if (s == 0) return;
    for (int i = 0; i < n; ++i) d[i] = static_cast<int16_t>(d[i] * (1 << s));
    *e -= s;
}

}  // namespace

// Bit reversal by a reversed counter instead of stored swap lists; the headroom is checked
// before every pass (a decision per pair of passes can overflow) and the butterflies saturate
// as a last guard for inputs at full scale.
int ImbeFft(int16_t* d, int k, bool inverse) {
    const int n = 1 << k;
    for (int i = 1, j = 0; i < n; ++i) {
        int bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) {
            int16_t t = d[2 * i];
            d[2 * i] = d[2 * j];
            d[2 * j] = t;
            t = d[2 * i + 1];
            d[2 * i + 1] = d[2 * j + 1];
            d[2 * j + 1] = t;
        }
    }
    int scalings = 0;
    for (int size = 2; size <= n; size <<= 1) {
        const int half = size >> 1;
        const int step = 512 / size;
        const int shift = MaxPair(d, 2 * n) > kPassHeadroom ? 16 : 15;
        if (shift == 16) ++scalings;
        const int32_t round = 1 << (shift - 1);
        for (int j = 0; j < half; ++j) {
            const int32_t wr = kImbeCosine[(j * step) & 511];
            const int32_t ws0 = kImbeCosine[(j * step - 128) & 511];  // sin
            const int32_t wi = inverse ? ws0 : -ws0;
            for (int i = j; i < n; i += size) {
                int16_t* a = d + 2 * i;
                int16_t* b = d + 2 * (i + half);
                int32_t tr = b[0] * wr - b[1] * wi;
                int32_t ti = b[0] * wi + b[1] * wr;
                int32_t ar = a[0] * 32768, ai = a[1] * 32768;
                a[0] = ImbeSat16((ar + tr + round) >> shift);
                a[1] = ImbeSat16((ai + ti + round) >> shift);
                b[0] = ImbeSat16((ar - tr + round) >> shift);
                b[1] = ImbeSat16((ai - ti + round) >> shift);
            }
        }
    }
    return scalings;
}

int ImbeRealFft(int16_t* x, int e, int k) {
    const int m = 1 << (k - 1);  // complex points
    BlockNormalize(x, 2 * m, &e);
    e += ImbeFft(x, k - 1, false);
    // Split step, computed as X/2 to keep the range: X[k] = Fe + W^k Fo, X[M-k] = conj(Fe - W^k Fo).
    const int step = 512 >> k;
    int32_t re0 = x[0], im0 = x[1];
    x[0] = ImbeSat16((re0 + im0) >> 1);
    x[1] = 0;
    for (int i = 1; i <= m / 2; ++i) {
        int16_t* p = x + 2 * i;
        int16_t* q = x + 2 * (m - i);
        int32_t ar = p[0], ai = p[1], br = q[0], bi = -q[1];
        int32_t fer = ar + br, fei = ai + bi;       // 2 Fe
        int32_t fo_r = ai - bi, fo_i = -(ar - br);  // 2 Fo = -j (A - B)
        int32_t wr = kImbeCosine[(i * step) & 511];
        int32_t wi = -kImbeCosine[(i * step - 128) & 511];
        int32_t tr = (fo_r * wr - fo_i * wi) >> 15;  // 2 W Fo
        int32_t ti = (fo_r * wi + fo_i * wr) >> 15;
        int16_t xr = ImbeSat16((fer + tr + 2) >> 2), xi = ImbeSat16((fei + ti + 2) >> 2);
        int16_t yr = ImbeSat16((fer - tr + 2) >> 2), yi = ImbeSat16((-(fei - ti) + 2) >> 2);
        p[0] = xr;
        p[1] = xi;
        if (q != p) {
            q[0] = yr;
            q[1] = yi;
        }
    }
    return e + 1;
}

int ImbeRealIfft(int16_t* x, int e, int k) {
    const int m = 1 << (k - 1);
    BlockNormalize(x, 2 * m, &e);
    const int step = 512 >> k;
    // Z[k] = Fe + j Fo with Fe = (X[k] + conj X[M-k]) / 2, Fo = (X[k] - conj X[M-k]) W^-k / 2,
    // computed as Z/2.
    int32_t x0 = x[0];
    x[0] = ImbeSat16((x0 + 2) >> 2);
    x[1] = x[0];
    for (int i = 1; i <= m / 2; ++i) {
        int16_t* p = x + 2 * i;
        int16_t* q = x + 2 * (m - i);
        int32_t ar = p[0], ai = p[1], br = q[0], bi = -q[1];
        int32_t fer = ar + br, fei = ai + bi;  // 2 Fe
        int32_t dr = ar - br, di = ai - bi;    // X[k] - conj X[M-k]
        int32_t wr = kImbeCosine[(i * step) & 511];
        int32_t wi = kImbeCosine[(i * step - 128) & 511];  // W^-k = cos + j sin
        int32_t for_ = (dr * wr - di * wi) >> 15;          // 2 Fo
        int32_t foi = (dr * wi + di * wr) >> 15;
        // Z[k] = Fe + j Fo; Z[M-k] = conj(Fe) + j conj(Fo) (Fe(M-k) = conj Fe(k), Fo likewise)
        int16_t zr = ImbeSat16((fer - foi + 2) >> 2), zi = ImbeSat16((fei + for_ + 2) >> 2);
        int16_t wr2 = ImbeSat16((fer + foi + 2) >> 2), wi2 = ImbeSat16((-fei + for_ + 2) >> 2);
        p[0] = zr;
        p[1] = zi;
        if (q != p) {
            q[0] = wr2;
            q[1] = wi2;
        }
    }
    e += 1 + ImbeFft(x, k - 1, true);
    return e - (k - 1);
}
