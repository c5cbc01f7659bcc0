// Test-side IMBE encoder: model parameters -> 88 information bits -> 144 channel bits with the
// vocoder's Golay/Hamming codes, pseudo-random modulation and interleaving. Written from the
// frame format alone so that decoder faults show up as round-trip failures.
#pragma once

#include <cstdint>

// Code words of one frame: u0 .. u3 (12 bits), u4 .. u6 (11 bits), u7 (7 bits).
struct ImbeTestWords {
    uint16_t u[8];
};

// Quantised parameters (the b-vector) of one frame.
struct ImbeTestParams {
    int fundamentalCode = 100;   // b0, 0 .. 207 (208 .. 255 are reserved, still encodable)
    int gainCode = 32;           // b2, 0 .. 63
    uint16_t voicing = 0;        // b1, K bits, band 1 in the most significant of them
    int coefficients[55] = {};   // b3 .. b(L+1) codes, index m - 3, each 0 .. 2^B_m - 1
    int lastBit = 0;             // the 88th bit, which nothing reads
};

int ImbeTestHarmonicCount(int fundamentalCode);   // L for b0
int ImbeTestBandCount(int fundamentalCode);       // K for b0
int ImbeTestCoefficientBits(int fundamentalCode, int m);   // B_m, m = 3 .. L+1
double ImbeTestFundamentalHz(int fundamentalCode);
int ImbeTestFundamentalCode(double hz);           // nearest code, clamped to 0 .. 207

// Codes whose dequantised value is as close to zero as the quantiser allows (a flat spectrum
// at the gain level), every band voiced or unvoiced.
ImbeTestParams ImbeTestFlatParams(double fundamentalHz, bool voiced, int gainCode);

// The 88 information bits in priority order (one per byte) and the code words they fill.
void ImbeTestPackParameters(const ImbeTestParams& params, uint8_t info[88]);
ImbeTestWords ImbeTestBitsToWords(const uint8_t info[88]);
void ImbeTestWordsToBits(const ImbeTestWords& words, uint8_t info[88]);

// Code vectors c0 .. c6 (23, 23, 23, 23, 15, 15, 15 bits) plus u7, modulated and interleaved
// into 144 channel bits (one per byte, 0/1) in transmission order.
uint32_t ImbeTestGolayEncode(uint16_t info12);
uint16_t ImbeTestHammingEncode(uint16_t info11);
void ImbeTestEncodeWords(const ImbeTestWords& words, uint8_t channel[144]);
void ImbeTestEncodeFrame(const ImbeTestParams& params, uint8_t channel[144]);

// Channel position of bit `bit` (0 = most significant) of code vector `vector` (0 .. 7, 7 = u7),
// for tests that plant errors in chosen vectors.
int ImbeTestChannelIndex(int vector, int bit);
int ImbeTestVectorLength(int vector);
