// Fixed-point arithmetic of the IMBE decoder, in the manner of a 16-bit signal processor:
// saturating 16/32-bit operations, mantissa-and-exponent numbers, a 40-bit accumulator,
// log2 / 2^x / square root by polynomials, a 512-entry cosine table and a block-floating-point
// radix-2 FFT of 8 .. 256 points. Nothing here allocates; callers exclude division by zero.
//
// Formats: Q15 int16 v stands for v / 32768, Q31 int32 v for v / 2^31. A mantissa-and-exponent
// pair (m, e) stands for m * 2^e / 32768 with m normalised (top two bits differ) or 0 (e = 0).
#pragma once

#include <cstdint>

using q15 = int16_t;
using q31 = int32_t;

extern const int16_t kImbeCosine[512];     // round(32767 * cos(2*pi*k/512))
extern const int16_t kImbeSqrtRamp[50];    // round(32768 * sqrt(k/50))
extern const int16_t kImbeReciprocal[58];  // floor(32768 / k), 32767 for k = 1, 0 for k = 0, 57
// A table entry by a phase's integer part; any index wraps to the period.
inline int16_t ImbeCosineEntry(int32_t index) { return kImbeCosine[index & 511]; }

// ---- saturating scalar operations ----
inline int16_t ImbeSat16(int32_t x) { return x > 32767 ? 32767 : (x < -32768 ? -32768 : static_cast<int16_t>(x)); }
inline int32_t ImbeSat32(int64_t x) {
    return x > INT32_MAX ? INT32_MAX : (x < INT32_MIN ? INT32_MIN : static_cast<int32_t>(x));
}
int32_t ImbeAdd32(int32_t a, int32_t b);  // on overflow: the limit of a's sign
int32_t ImbeSub32(int32_t a, int32_t b);
int32_t ImbeAddHigh(int32_t a, int16_t b);  // a + b * 65536, saturating
int32_t ImbeRound32(int32_t a);             // + 0x8000 saturating, low half cleared
int32_t ImbeShl32(int32_t a, int shift);    // saturating left, arithmetic right if < 0
int16_t ImbeShl16(int16_t a, int shift);
int32_t ImbeMult(int16_t a, int16_t b);  // a*b*2 (Q15*Q15 -> Q31), saturating
int32_t ImbeMac(int32_t acc, int16_t a, int16_t b);
int32_t ImbeMsu(int32_t acc, int16_t a, int16_t b);
int16_t ImbeMultRound(int16_t a, int16_t b);  // Q15 * Q15 -> Q15, rounded
int32_t ImbeMult32x16(int32_t a, int16_t b);  // Q31 * Q15 -> Q31

// Shifts that put the first significant bit next to the sign bit (0 for 0, 31 for -1).
int ImbeNorm(int32_t x);
int ImbeNorm16(int16_t x);
int32_t ImbeNormalize(int32_t* x);  // shifts *x by ImbeNorm, returns the count

// |a| / |b| with the sign of a*b. Q15 form: the raw quotient of a / b shifted right 1 (so a Q31
// a over a Q15 b gives Q15), 32767 when it would not fit 16 bits.
int16_t ImbeDivQ15(int32_t a, int16_t b);
// Integer form: the unshifted quotient, 0 when |a| < |b|, 32767 (with the sign) when it would
// not fit 16 bits.
int16_t ImbeDivInt(int32_t a, int16_t b);

// ---- mantissa and exponent ----
struct ImbeFloat {
    int16_t m;
    int16_t e;
};
ImbeFloat ImbeFloatFrom32(int32_t x, int exponent);  // value x * 2^exponent / 2^31
ImbeFloat ImbeFloatFrom16(int16_t x, int exponent);  // value x * 2^exponent / 32768
ImbeFloat ImbeFloatFrom64(int64_t x, int exponent);  // value x * 2^exponent
ImbeFloat ImbeFloatAdd(ImbeFloat a, ImbeFloat b);
ImbeFloat ImbeFloatSub(ImbeFloat a, ImbeFloat b);
ImbeFloat ImbeFloatMul(ImbeFloat a, ImbeFloat b);
ImbeFloat ImbeFloatDiv(ImbeFloat a, ImbeFloat b);          // b != 0
ImbeFloat ImbeFloatDiv32(int32_t a, int ea, ImbeFloat b);  // (a * 2^ea / 2^31) / b
bool ImbeFloatGreater(ImbeFloat a, ImbeFloat b);
bool ImbeFloatLess(ImbeFloat a, ImbeFloat b);
// m * 2^(e + shift) / 32768 as an integer, saturated to 32 bits.
int32_t ImbeFloatToInt(ImbeFloat a, int shift);

// ---- log, power, roots ----
// log2(m * 2^e / 32768) in Q16 (integer part = exponent); m > 0, else the most negative value.
int32_t ImbeLog2(int16_t m, int e);
int32_t ImbeLog2Round(int16_t m, int e, int fractionBits);
// 2^(x / 65536) as a normalised mantissa and exponent.
ImbeFloat ImbePow2(int32_t xQ16);
// 2^(x * 2^inputShift / 65536), so x is in Q(16 - inputShift) (inputShift -15 .. 15, clamped):
// returns a Q31 mantissa in [2^30, 2^31) and sets *e so the value is mantissa * 2^*e / 2^31.
// Unlike the form above the exponent is not limited to 16 bits.
int32_t ImbePow2(int32_t x, int inputShift, int* e);
// Square root of x * 2^e / 2^31 for x in [2^30, 2^31): returns the Q31 mantissa, *e becomes
// the root's exponent ((e + 1) >> 1, with 1/sqrt2 applied for an odd e).
int32_t ImbeSqrt(int32_t x, int* e);
ImbeFloat ImbeFloatSqrt(ImbeFloat a);  // a >= 0
// The square root rounded to 16 bits: any x > 0 (normalised here first), value x * 2^e / 2^31;
// returns the Q15 mantissa, *e the root's exponent. x <= 0 gives 0 with *e = 0.
int16_t ImbeSqrtRound(int32_t x, int* e);
// Fourth root of x * 2^e / 2^31 for any x > 0 (normalised here first): returns the Q31
// mantissa, *e becomes the root's exponent ((e + 3) >> 2 after normalising, with 2^-3/4,
// 2^-1/2 or 2^-1/4 applied for e mod 4 = 1, 2, 3). x <= 0 gives 0 with *e = 0.
int32_t ImbeFourthRoot(int32_t x, int* e);
int16_t ImbeFourthRootRound(int32_t x, int* e);  // the same rounded to a Q15 mantissa

// ---- angles ----
// Angles are Q13 radians: kImbePiQ13 = round(pi * 8192) stands for pi, half of it (exactly)
// for pi/2. Largest error against the exact angle: 1.4e-4 rad, about one Q13 step.
constexpr int16_t kImbePiQ13 = 25736;
// atan(m * 2^e / 32768) in [-pi/2, pi/2]; any mantissa (normalised here), any exponent.
int16_t ImbeAtan(ImbeFloat x);
// The angle of (x, y) in [-pi, pi]: 0 for y = 0 with x >= 0 (also for both 0), pi for y = 0
// with x < 0, +-pi/2 for x = 0. Any 32-bit values, both on the same scale.
int16_t ImbeAtan2(int32_t y, int32_t x);

// ---- phase ----
// Remainder of x modulo 2^(31 - s), keeping the sign, shifted left by s.
int32_t ImbeWrapPhase(int32_t x, int s);
// Cosine and sine of a 16-bit phase (65536 per cycle), interpolated between table entries.
int16_t ImbeCos(uint16_t phase);
int16_t ImbeSin(uint16_t phase);

// The noise generator: seed = 173 * seed + 13849 (mod 2^16); returns the new seed.
inline uint16_t ImbeNoise(uint16_t* seed) {
    *seed = static_cast<uint16_t>(173u * *seed + 13849u);
    return *seed;
}

// ---- 40-bit accumulator (held in 64 bits, saturated to 40 on every operation) ----
struct ImbeAcc40 {
    int64_t v;
};
ImbeAcc40 ImbeAccFrom32(int32_t x);
ImbeAcc40 ImbeAccFrom16(int16_t x);  // x * 65536: a Q15 value at the products' Q31 scale
ImbeAcc40 ImbeAccAdd(ImbeAcc40 a, int64_t x);
ImbeAcc40 ImbeAccSub(ImbeAcc40 a, int32_t x);
ImbeAcc40 ImbeAccAddAcc(ImbeAcc40 a, ImbeAcc40 b);
ImbeAcc40 ImbeAccNeg(ImbeAcc40 a);                        // -2^39 gives 2^39 - 1
ImbeAcc40 ImbeAccMac(ImbeAcc40 a, int16_t x, int16_t y);  // + x*y*2
ImbeAcc40 ImbeAccMsu(ImbeAcc40 a, int16_t x, int16_t y);  // - x*y*2
// Saturating left shift, arithmetic right for a negative count (below -39: the sign).
ImbeAcc40 ImbeAccShl(ImbeAcc40 a, int shift);
int ImbeAccNorm(ImbeAcc40 a);        // shifts to put bit 39's neighbour at 31 (31 for -1)
int ImbeAccNormalize(ImbeAcc40* a);  // shifts *a by ImbeAccNorm, returns the count
int32_t ImbeAccTo32(ImbeAcc40 a);    // saturated
int16_t ImbeAccTo16(ImbeAcc40 a);    // upper half of the saturated 32-bit value (truncated)

// ---- vectors ----
int16_t* ImbeCopyWords(int16_t* dst, const int16_t* src, int n);
int16_t* ImbeFillWords(int16_t* dst, int16_t value, int n);
int ImbeMaxMagnitude(const int16_t* x, int n);  // largest |x|, 0 .. 32768
// Element-wise saturating a + b and a - b into dst; dst may be a or b.
void ImbeAddWords(int16_t* dst, const int16_t* a, const int16_t* b, int n);
void ImbeSubWords(int16_t* dst, const int16_t* a, const int16_t* b, int n);
int32_t ImbeSumWords(const int16_t* x, int n);   // the exact sum, saturated to 32 bits
int16_t ImbeMeanWords(const int16_t* x, int n);  // rounded half up; 0 for n < 1
// First index of the largest value; -1 for n < 1.
int ImbeMaxIndex16(const int16_t* x, int n);
int ImbeMaxIndex32(const int32_t* x, int n);
// Common left shift (0 .. 15) that puts the block's first significant bit next to the sign bit,
// 0 for an all-zero block; ImbeBlockNormalize applies it in place and returns it, so the
// block's common exponent drops by the count.
int ImbeBlockNorm(const int16_t* x, int n);
int ImbeBlockNormalize(int16_t* x, int n);
// dst = x * factor shifted by shift (ImbeShl32 on the Q31 product), rounded to 16 bits,
// saturating; dst may be x.
void ImbeScaleWords(int16_t* dst, const int16_t* x, int n, q15 factor, int shift);
// dst = ImbeShl16(x, shift): saturating left, arithmetic right; dst may be x.
void ImbeShiftWords(int16_t* dst, const int16_t* x, int n, int shift);
// power[i] = re^2 + im^2 of n interleaved (re, im) Q15 pairs, in Q31, saturating.
void ImbePairPower(int32_t* power, const int16_t* pairs, int n);
// Energy sum x^2 as a mantissa and exponent (value of each x taken as x/32768).
ImbeFloat ImbeEnergy(const int16_t* x, int n);

// ---- FFT ----
// In-place complex FFT of 2^k points (k = 3 .. 8) on interleaved (re, im) int16 pairs,
// forward (e^-j) or inverse (e^+j, unnormalised). Block floating point: a pass whose input
// could overflow is scaled down by one bit; returns the number of such scalings, so the true
// result is the stored one times 2^returned.
int ImbeFft(int16_t* data, int k, bool inverse);
// 2^k real samples x (true value x * 2^e) -> bins 0 .. 2^(k-1) - 1 as (re, im) pairs in place,
// bin 0's imaginary part cleared (the Nyquist bin is dropped). Returns the exponent e' with
// X[k] = stored * 2^e' (unnormalised DFT).
int ImbeRealFft(int16_t* x, int e, int k);
// Inverse of ImbeRealFft (bins 0 .. 2^(k-1) - 1, Nyquist taken as 0) including the 1/2^k:
// returns e' with x[n] = stored * 2^e'.
int ImbeRealIfft(int16_t* x, int e, int k);
