// Test-side IMBE encoder: model parameters -> 88 information bits -> 144 channel bits with the
// vocoder's Golay/Hamming codes, pseudo-random modulation and interleaving. Written from the
// frame format alone so that decoder faults show up as round-trip failures.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

// Code words of one frame: u0 .. u3 (12 bits), u4 .. u6 (11 bits), u7 (7 bits).
struct ImbeTestWords {
    uint16_t u[8];
};

// Quantised parameters (the b-vector) of one frame.
struct ImbeTestParams {
    int fundamentalCode = 100;  // b0, 0 .. 207 (208 .. 255 are reserved, still encodable)
    int gainCode = 32;          // b2, 0 .. 63
    uint16_t voicing = 0;       // b1, K bits, band 1 in the most significant of them
    int coefficients[55] = {};  // b3 .. b(L+1) codes, index m - 3, each 0 .. 2^B_m - 1
    int lastBit = 0;            // the 88th bit, which nothing reads
};

// Every field drawn at random for the given fundamental code (valid or reserved).
ImbeTestParams ImbeTestRandomParams(int fundamentalCode, std::mt19937& rng);

int ImbeTestHarmonicCount(int fundamentalCode);           // L for b0
int ImbeTestBandCount(int fundamentalCode);               // K for b0
int ImbeTestCoefficientBits(int fundamentalCode, int m);  // B_m, m = 3 .. L+1
double ImbeTestFundamentalHz(int fundamentalCode);
int ImbeTestFundamentalCode(double hz);  // nearest code, clamped to 0 .. 207

// Codes whose dequantised value is as close to zero as the quantiser allows (a flat spectrum
// at the gain level), every band voiced or unvoiced.
ImbeTestParams ImbeTestFlatParams(double fundamentalHz, bool voiced, int gainCode);

// Double-precision model of the decoder's parameter unpacking: log2 spectral amplitudes in
// octaves from a b-vector, with the prediction from the previous frame.
class ImbeTestModel {
public:
    // The prediction term of each of the L harmonics from the previous frame.
    std::vector<double> Predict(int harmonicCount) const;
    // Decodes one valid frame's amplitudes (L values) and makes them the previous frame.
    std::vector<double> Decode(const ImbeTestParams& params);

    double prevLog[56] = {};
    int prevCount = 30;
};

// A quantiser with the decoder's prediction state: chosen log2 spectral amplitudes (octaves;
// a voiced harmonic of value v peaks at 16 * 2^v PCM units) become
// the b-vector whose decoding comes closest to them. Keep one per decoder and feed it every
// frame the decoder decodes normally.
class ImbeTestQuantizer {
public:
    // log2Amplitudes holds L values (L from the fundamental code); voicing as in ImbeTestParams.
    ImbeTestParams Quantize(int fundamentalCode, const double* log2Amplitudes, uint16_t voicing);
    // Every harmonic at the same level.
    ImbeTestParams Flat(double fundamentalHz, bool voiced, double log2Amplitude);
    void Reset();

private:
    ImbeTestModel m_model;
};

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
// Flips errors[v] distinct bits of each code vector v (0 .. 6) at positions drawn from seed.
void ImbeTestAddErrors(uint8_t channel[144], const int errors[7], uint32_t seed);
