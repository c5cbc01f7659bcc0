// Parameter decoding of one IMBE frame: bit allocation, bit prioritisation, fundamental,
// voicing and the log2 spectral amplitudes (Q11: 2048 = one octave).
#pragma once

#include <cstdint>

struct ImbeParams;

extern const int16_t kImbeGainLevels[64];            // level of the gain code b2, log2 Q11
extern const int16_t kImbeGainDeviations[5];         // G2 .. G6
extern const int16_t kImbeCoefficientDeviations[9];  // block coefficients of order 2 .. 10
extern const uint16_t kImbeStepSizes[13];            // step * 2^B in Q11 by bit count B
struct ImbeDecoderState;

// Bits B_3 .. B_(L+1) of the spectral coefficients for L harmonics (9 .. 56): L - 1 entries.
const uint8_t* ImbeBitAllocation(int harmonicCount);
int ImbeHarmonicCount(int b0Upper6);   // L from the upper 6 bits of b0, 9 .. 56
int ImbeBandCount(int harmonicCount);  // K, the number of voicing bands
int16_t ImbeFundamental(int b0);       // f0 / 8000 in Q19

// Decodes the 88 information bits (one per byte). Sets params->valid; on a valid frame fills
// harmonicCount, fundamental, amplitude (log2, Q11), amplitudeExponent and voiced, and updates
// prevLog (56 entries) and *prevCount.
void ImbeUnpackParameters(ImbeParams* params, int16_t* prevLog, int16_t* prevCount, const uint8_t* bits);
