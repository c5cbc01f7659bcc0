#include "imbe/imbe_params.h"

#include "imbe/imbe_decoder.h"
#include "imbe/imbe_math.h"

namespace {

// B_3 .. B_(L+1) for L = 9 .. 56; the row of L starts at (L + 6) * (L - 9) / 2.
// clang-format off
const uint8_t kBitAllocation[1512] = {
    /* L = 9 */ 10, 9, 9, 9, 9, 9, 8, 7,
    /* L = 10 */ 9, 9, 8, 8, 8, 9, 7, 6, 5,
    /* L = 11 */ 8, 8, 8, 7, 7, 9, 7, 6, 5, 4,
    /* L = 12 */ 8, 7, 7, 7, 7, 8, 7, 6, 5, 4, 3,
    /* L = 13 */ 7, 7, 7, 6, 6, 7, 7, 6, 5, 4, 3, 3,
    /* L = 14 */ 7, 6, 6, 6, 6, 7, 7, 5, 4, 4, 3, 4, 3,
    /* L = 15 */ 7, 6, 6, 6, 5, 6, 7, 5, 4, 4, 3, 3, 3, 3,
    /* L = 16 */ 6, 6, 6, 5, 5, 6, 6, 5, 4, 4, 3, 3, 3, 3, 2,
    /* L = 17 */ 6, 6, 5, 5, 5, 5, 5, 5, 4, 4, 4, 3, 3, 2, 3, 2,
    /* L = 18 */ 6, 5, 5, 5, 5, 5, 4, 5, 5, 4, 3, 3, 3, 3, 2, 2, 2,
    /* L = 19 */ 6, 5, 5, 4, 4, 5, 4, 5, 4, 4, 3, 3, 3, 3, 2, 3, 2, 1,
    /* L = 20 */ 6, 5, 5, 4, 4, 5, 4, 5, 4, 4, 3, 3, 2, 3, 2, 1, 3, 2, 1,
    /* L = 21 */ 5, 5, 5, 4, 4, 4, 4, 5, 4, 4, 3, 3, 2, 2, 3, 2, 1, 3, 2, 1,
    /* L = 22 */ 5, 5, 4, 4, 4, 4, 4, 4, 4, 4, 3, 2, 3, 2, 2, 3, 2, 1, 2, 2, 1,
    /* L = 23 */ 5, 4, 4, 4, 4, 4, 3, 4, 4, 3, 4, 3, 2, 3, 2, 2, 2, 2, 1, 2, 2, 1,
    /* L = 24 */ 5, 4, 4, 4, 4, 4, 3, 3, 4, 3, 3, 3, 3, 2, 3, 2, 1, 2, 2, 1, 2, 2, 1,
    /* L = 25 */ 5, 4, 4, 4, 3, 4, 3, 3, 4, 3, 3, 3, 3, 2, 3, 2, 1, 2, 2, 1, 2, 1, 1, 1,
    /* L = 26 */ 5, 4, 4, 3, 3, 4, 3, 3, 4, 3, 3, 3, 2, 2, 3, 2, 1, 2, 2, 1, 1, 2, 2, 1, 1,
    /* L = 27 */ 5, 4, 4, 3, 3, 4, 3, 2, 4, 3, 2, 3, 2, 2, 3, 2, 2, 1, 2, 2, 1, 1, 2, 2, 1, 1,
    /* L = 28 */ 4, 4, 4, 3, 3, 4, 3, 2, 4, 3, 2, 3, 2, 2, 2, 3, 2, 1, 1, 2, 2, 1, 1, 2, 1, 1, 1,
    /* L = 29 */ 4, 4, 4, 3, 3, 3, 3, 2, 4, 3, 2, 2, 3, 2, 2, 2, 3, 2, 1, 1, 2, 1, 1, 1, 2, 1, 1, 1,
    /* L = 30 */ 4, 4, 4, 3, 3, 3, 3, 2, 2, 3, 3, 2, 2, 3, 2, 2, 1, 3, 2, 1, 1, 2, 1, 1, 1, 2, 1, 1, 1,
    /* L = 31 */ 4, 4, 3, 3, 3, 3, 3, 2, 2, 3, 3, 2, 2, 3, 2, 2, 1, 2, 2, 1, 1, 2, 1, 1, 1, 2, 1, 1, 1, 1,
    /* L = 32 */ 4, 4, 3, 3, 3, 3, 3, 2, 2, 3, 3, 2, 2, 3, 2, 2, 1, 2, 2, 1, 1, 2, 1, 1, 1, 1, 2, 1, 1, 1, 0,
    /* L = 33 */ 4, 3, 3, 3, 3, 3, 3, 2, 2, 3, 3, 2, 2, 3, 2, 1, 1, 2, 2, 1, 1, 1, 2, 1, 1, 1, 1, 2, 1, 1, 1, 1,
    /* L = 34 */ 4, 3, 3, 3, 3, 3, 2, 2, 2, 3, 2, 2, 2, 3, 2, 2, 1, 1, 2, 2, 1, 1, 1, 2, 1, 1, 1, 1, 2, 1, 1, 1, 0,
    /* L = 35 */ 4, 3, 3, 3, 3, 3, 2, 2, 2, 3, 2, 2, 2, 2, 3, 2, 1, 1, 1, 2, 2, 1, 1, 1, 2, 1, 1, 1, 0, 2, 1, 1, 1, 0,
    /* L = 36 */ 4, 3, 3, 3, 3, 3, 2, 2, 2, 1, 3, 2, 2, 2, 1, 3, 2, 1, 1, 1, 2, 2, 1, 1, 1, 2, 1, 1, 1, 0, 2, 1, 1, 1, 0,
    /* L = 37 */ 4, 3, 3, 3, 2, 3, 2, 2, 2, 1, 3, 2, 2, 2, 2, 3, 2, 1, 1, 1, 2, 1, 1, 1, 1, 2, 1, 1, 1, 0, 2, 1, 1, 1, 1, 0,
    /* L = 38 */ 4, 3, 3, 3, 2, 3, 2, 2, 2, 1, 3, 2, 2, 2, 1, 3, 2, 1, 1, 1, 2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 0, 2, 1, 1, 1, 1, 0,
    /* L = 39 */ 4, 3, 3, 3, 2, 3, 2, 2, 2, 1, 3, 2, 2, 2, 1, 3, 2, 1, 1, 1, 2, 2, 1, 1, 1, 0, 2, 1, 1, 1, 1, 0, 2, 1, 1, 1, 0, 0,
    /* L = 40 */ 4, 3, 3, 3, 2, 3, 2, 2, 2, 1, 3, 2, 2, 1, 1, 3, 2, 1, 1, 1, 1, 2, 2, 1, 1, 1, 0, 2, 1, 1, 1, 1, 0, 2, 1, 1, 1, 0, 0,
    /* L = 41 */ 4, 3, 3, 2, 2, 3, 2, 2, 1, 1, 3, 2, 2, 2, 1, 1, 3, 2, 1, 1, 1, 1, 2, 2, 1, 1, 1, 0, 2, 1, 1, 1, 1, 0, 2, 1, 1, 1, 0, 0,
    /* L = 42 */ 4, 3, 3, 2, 2, 3, 2, 2, 2, 1, 1, 3, 2, 2, 2, 1, 1, 2, 2, 1, 1, 1, 1, 2, 2, 1, 1, 1, 0, 2, 1, 1, 1, 0, 0, 2, 1, 1, 1, 0, 0,
    /* L = 43 */ 4, 3, 3, 2, 2, 3, 2, 2, 2, 1, 1, 3, 2, 2, 2, 1, 1, 2, 2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 0, 2, 1, 1, 1, 0, 0, 2, 1, 1, 1, 1, 0, 0,
    /* L = 44 */ 4, 3, 3, 2, 2, 3, 2, 2, 1, 1, 1, 3, 2, 2, 2, 1, 1, 2, 2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 0, 2, 1, 1, 1, 1, 0, 0, 2, 1, 1, 1, 1, 0, 0,
    /* L = 45 */ 4, 3, 3, 2, 2, 3, 2, 2, 1, 1, 1, 3, 2, 2, 1, 1, 1, 2, 2, 1, 1, 1, 1, 2, 2, 1, 1, 1, 0, 0, 2, 1, 1, 1, 1, 0, 0, 2, 1, 1, 1, 1, 0, 0,
    /* L = 46 */ 3, 3, 3, 2, 2, 3, 2, 2, 1, 1, 1, 3, 2, 2, 1, 1, 1, 2, 2, 1, 1, 1, 1, 1, 2, 2, 1, 1, 1, 0, 0, 2, 1, 1, 1, 1, 0, 0, 2, 1, 1, 1, 1, 0, 0,
    /* L = 47 */ 3, 3, 3, 2, 2, 3, 2, 2, 1, 1, 1, 3, 2, 2, 1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 1, 2, 2, 1, 1, 1, 0, 0, 2, 1, 1, 1, 1, 0, 0, 2, 1, 1, 1, 0, 0, 0,
    /* L = 48 */ 3, 3, 3, 2, 2, 3, 2, 2, 1, 1, 1, 1, 3, 2, 2, 1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 1, 2, 2, 1, 1, 1, 0, 0, 2, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 0, 0, 0,
    /* L = 49 */ 3, 3, 3, 2, 2, 3, 2, 2, 1, 1, 1, 1, 3, 2, 2, 1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 0, 0, 2, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0,
    /* L = 50 */ 3, 3, 3, 2, 2, 3, 2, 2, 1, 1, 1, 1, 3, 2, 2, 1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 0, 0, 0, 0,
    /* L = 51 */ 3, 3, 3, 2, 2, 3, 2, 2, 1, 1, 1, 1, 3, 2, 1, 1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0,
    /* L = 52 */ 3, 3, 2, 2, 2, 3, 2, 1, 1, 1, 1, 1, 3, 2, 2, 1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0,
    /* L = 53 */ 3, 3, 2, 2, 2, 3, 2, 1, 1, 1, 1, 1, 3, 2, 2, 1, 1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 0, 0, 0, 0,
    /* L = 54 */ 3, 3, 2, 2, 2, 3, 2, 2, 1, 1, 1, 1, 0, 3, 2, 2, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 0, 0, 0, 0,
    /* L = 55 */ 3, 3, 2, 2, 2, 3, 2, 2, 1, 1, 1, 1, 0, 3, 2, 2, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 0, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0, 0,
    /* L = 56 */ 3, 3, 2, 2, 2, 3, 2, 2, 1, 1, 1, 1, 0, 3, 2, 2, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 1, 1, 0, 2, 2, 1, 1, 1, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0, 0, 0, 2, 1, 1, 1, 0, 0, 0, 0, 0,};
// clang-format on

constexpr int kLogMin = -30720;
constexpr int kLogMax = 30719;

int ImbeReadBits(const uint8_t* bits, int at, int count) {
    int v = 0;
    for (int i = 0; i < count; ++i) v = (v << 1) | (bits[at + i] & 1);
    return v;
}

int16_t ImbeDequantize(int code, int bitCount, int deviation) {
    if (bitCount == 0) return 0;
    int32_t s = (int32_t(deviation) * kImbeStepSizes[bitCount]) >> 16;
    int32_t v = (2 * code + 1 - (1 << bitCount)) * s * (1 << (15 - bitCount));
    return static_cast<int16_t>(v >> 16);
}

// T_k = C_1 + sum_j 2 C_j cos(pi (j-1)(2k+1) / 2J), k = 0 .. J-1. The phase (j-1)(2k+1)/4J
// of a cycle is divided exactly and read with interpolation: the plain table index rounded to
// 1/512 of a cycle would err by up to 0.006 rad, 20 Q11 units on a large coefficient.
void ImbeInverseDct(const int16_t* c, int count, int16_t* out) {
    for (int k = 0; k < count; ++k) {
        int64_t acc = int64_t(c[0]) * 32768;
        for (int j = 1; j < count; ++j) {
            int x = j * (2 * k + 1);
            uint16_t phase = static_cast<uint16_t>((x * 16384 + count / 2) / count);
            acc += int64_t(2) * c[j] * ImbeCos(phase);
        }
        out[k] = ImbeSat16(ImbeSat32((acc + (1 << 14)) >> 15));
    }
}

int16_t PredictionFactorQ15(int harmonicCount) {
    if (harmonicCount <= 15) return 13107;                                             // 0.4
    if (harmonicCount <= 24) return static_cast<int16_t>(983 * harmonicCount - 1638);  // 0.03 L - 0.05
    return 22938;                                                                      // 0.7
}

}  // namespace

// Gain levels of the 6-bit code b2, log2 in Q11.
const int16_t kImbeGainLevels[64] = {
    -5821, -5518, -5239, -4880, -4549, -4292, -4057, -3760, -3370, -2903, -2583, -2305, -1962, -1601, -1138, -711,
    -302,  57,    433,   795,   1132,  1510,  1909,  2333,  2705,  3038,  3376,  3689,  3979,  4339,  4754,  5129,
    5435,  5695,  5991,  6300,  6596,  6969,  7342,  7751,  8101,  8511,  8835,  9102,  9375,  9698,  10055, 10415,
    10762, 11084, 11403, 11752, 12123, 12468, 12863, 13239, 13615, 13997, 14382, 14770, 15301, 15849, 16640, 17809};
const int16_t kImbeGainDeviations[5] = {20316, 13173, 11010, 9503, 8651};
const int16_t kImbeCoefficientDeviations[9] = {20120, 15794, 13566, 12452, 11731, 11338, 10813, 11141, 11141};
// Quantiser step times 2^B in Q11, by number of bits B.
const uint16_t kImbeStepSizes[13] = {0,     4915,  6963,  10650, 13107, 18350, 19661,
                                     20972, 20972, 20972, 20972, 20972, 20972};

const uint8_t* ImbeBitAllocation(int harmonicCount) {
    return kBitAllocation + (harmonicCount + 6) * (harmonicCount - 9) / 2;
}

int ImbeHarmonicCount(int b0Upper6) {
    int l = (60648 * (b0Upper6 + 10)) >> 16;
    return l < 9 ? 9 : (l > 56 ? 56 : l);
}

int ImbeBandCount(int harmonicCount) {
    int k = (harmonicCount + 2) / 3;
    return k > 12 ? 12 : k;
}

int16_t ImbeFundamental(int b0) { return static_cast<int16_t>(4194304 / (4 * b0 + 158)); }

namespace {

// The quantised fields of one frame, gathered from the prioritised information bits.
struct ImbeCodes {
    int b0, b1, b2;
    int coefficients[55];  // b3 .. b(L+1)
};

constexpr int kReservedUpper6 = 52;  // b0 208 .. 255

// Parameter-vector position of each information bit for L harmonics. Vector layout: b0 at
// 0 .. 7, b2 at 8 .. 13, the coefficients from 14, b1 at 87 - K .. 86, the spare bit at 87.
void ImbeParameterPositions(int L, uint8_t* position) {
    const int K = ImbeBandCount(L);
    const uint8_t* alloc = ImbeBitAllocation(L);
    for (int i = 0; i < 6; ++i) position[i] = static_cast<uint8_t>(i);          // b0 bits 7 .. 2
    for (int i = 0; i < 3; ++i) position[6 + i] = static_cast<uint8_t>(8 + i);  // b2 bits 5 .. 3
    for (int i = 0; i < K; ++i) position[48 + i] = static_cast<uint8_t>(87 - K + i);
    position[48 + K] = 11;  // b2 bits 2 and 1
    position[49 + K] = 12;
    position[84] = 13;  // b2 bit 0
    position[85] = 6;   // b0 bits 1 and 0
    position[86] = 7;
    position[87] = 87;

    int start[55];
    int maxBits = 0;
    for (int m = 0, at = 14; m < L - 1; at += alloc[m], ++m) {
        start[m] = at;
        if (alloc[m] > maxBits) maxBits = alloc[m];
    }
    int at = 9;
    for (int level = maxBits; level >= 1; --level) {
        for (int m = 0; m < L - 1; ++m) {
            if (alloc[m] < level) continue;
            if (at == 48) at = 50 + K;  // b1 and two bits of b2 sit in between
            position[at++] = static_cast<uint8_t>(start[m] + alloc[m] - level);
        }
    }
}

// Residuals T_1 .. T_L: the gain vector's inverse DCT gives the six block means, each block's
// coefficients their inverse DCT.
void ImbeDecodeSpectralAmplitudes(const ImbeCodes& c, int L, int16_t* residual) {
    const uint8_t* alloc = ImbeBitAllocation(L);
    const int* codes = c.coefficients;
    int16_t gain[6];
    gain[0] = kImbeGainLevels[c.b2];
    for (int k = 1; k < 6; ++k) gain[k] = ImbeDequantize(codes[k - 1], alloc[k - 1], kImbeGainDeviations[k - 1]);
    int16_t blockMean[6];
    ImbeInverseDct(gain, 6, blockMean);

    const int shortBlocks = 6 - L % 6;
    int harmonic = 0;
    int coefficient = 5;  // b8
    for (int block = 0; block < 6; ++block) {
        const int J = L / 6 + (block >= shortBlocks ? 1 : 0);
        int16_t coef[10];
        coef[0] = blockMean[block];
        for (int j = 1; j < J; ++j, ++coefficient)
            coef[j] = ImbeDequantize(codes[coefficient], alloc[coefficient], kImbeCoefficientDeviations[j - 1]);
        ImbeInverseDct(coef, J, residual + harmonic);
        harmonic += J;
    }
}

// Log amplitudes = residuals + rho * (previous frame resampled to L harmonics - its mean);
// they become the previous frame of the next prediction.
void ImbePredictAmplitudes(const int16_t* residual, int L, ImbeParams* params, int16_t* prevLog, int16_t* prevCount) {
    const int Lp = *prevCount;
    int16_t resampled[kImbeMaxHarmonics];
    int32_t sum = 0;
    for (int k = 1; k <= L; ++k) {
        const int pos = k * Lp;
        int n = pos / L;
        const int32_t frac = int32_t(pos - n * L) * kImbeReciprocal[L];  // Q15
        auto prev = [prevLog](int i) -> int32_t {
            if (i > kImbeMaxHarmonics) i = kImbeMaxHarmonics;
            return prevLog[i < 1 ? 0 : i - 1];
        };
        int32_t a = prev(n), b = prev(n + 1);
        resampled[k - 1] = static_cast<int16_t>(a + (((b - a) * frac) >> 15));
        sum += resampled[k - 1];
    }
    const int32_t mean = sum / L;
    const int16_t rho = PredictionFactorQ15(L);
    for (int k = 0; k < L; ++k) {
        int32_t prediction = (rho * (resampled[k] - mean)) >> 15;
        int32_t v = ImbeSat16(residual[k] + prediction);
        v = v < kLogMin ? kLogMin : (v > kLogMax ? kLogMax : v);
        params->amplitude[k] = static_cast<int16_t>(v);
    }
    for (int k = L; k < kImbeMaxHarmonics; ++k) params->amplitude[k] = 0;
    params->amplitudeExponent = 0;
    for (int k = 0; k < kImbeMaxHarmonics; ++k) prevLog[k] = params->amplitude[k < L ? k : L - 1];
    *prevCount = static_cast<int16_t>(L);
}

// Band j covers harmonics 3j+1 .. 3j+3; harmonics past the last band take its bit.
void ImbeDecodeVoicing(int b1, int L, int K, int16_t* voiced) {
    for (int l = 0; l < kImbeMaxHarmonics; ++l) {
        int band = l / 3;
        if (band > K - 1) band = K - 1;
        voiced[l] = static_cast<int16_t>(l < L ? (b1 >> (K - 1 - band)) & 1 : 0);
    }
}

}  // namespace

int ImbeReorderBits(const uint8_t* bits, uint8_t* vector) {
    const int upper = ImbeReadBits(bits, 0, 6);
    if (upper >= kReservedUpper6) return 0;
    uint8_t position[88];
    ImbeParameterPositions(ImbeHarmonicCount(upper), position);
    for (int i = 0; i < 88; ++i) vector[position[i]] = bits[i];
    return 1;
}

// b0's upper six bits lead the vector as they lead the information bits, so L is read alike.
int ImbeRestoreBitOrder(const uint8_t* vector, uint8_t* bits) {
    const int upper = ImbeReadBits(vector, 0, 6);
    if (upper >= kReservedUpper6) return 0;
    uint8_t position[88];
    ImbeParameterPositions(ImbeHarmonicCount(upper), position);
    for (int i = 0; i < 88; ++i) bits[i] = vector[position[i]];
    return 1;
}

namespace {
// The fields of the parameter vector, each most significant bit first.
void ImbeGatherCodes(const uint8_t* vector, int L, int K, ImbeCodes* c) {
    c->b0 = ImbeReadBits(vector, 0, 8);
    c->b2 = ImbeReadBits(vector, 8, 6);
    c->b1 = ImbeReadBits(vector, 87 - K, K);
    const uint8_t* alloc = ImbeBitAllocation(L);
    for (int m = 0; m < 55; ++m) c->coefficients[m] = 0;
    for (int m = 0, at = 14; m < L - 1; at += alloc[m], ++m) c->coefficients[m] = ImbeReadBits(vector, at, alloc[m]);
}
}  // namespace

void ImbeUnpackParameters(ImbeParams* params, int16_t* prevLog, int16_t* prevCount, const uint8_t* bits) {
    params->updateMask = 0;
    const int upper = ImbeReadBits(bits, 0, 6);
    if (upper >= 52) {  // b0 208 .. 255 are reserved
        params->valid = 0;
        return;
    }
    const int L = ImbeHarmonicCount(upper);
    const int K = ImbeBandCount(L);
    params->valid = 1;
    params->harmonicCount = static_cast<int16_t>(L);

    uint8_t vector[88];
    ImbeReorderBits(bits, vector);
    ImbeCodes codes;
    ImbeGatherCodes(vector, L, K, &codes);
    params->fundamental = ImbeFundamental(codes.b0);
    int16_t residual[kImbeMaxHarmonics];
    ImbeDecodeSpectralAmplitudes(codes, L, residual);
    ImbePredictAmplitudes(residual, L, params, prevLog, prevCount);
    ImbeDecodeVoicing(codes.b1, L, K, params->voiced);
}
