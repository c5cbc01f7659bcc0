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

// Bit prioritisation: scatters the 88 information bits (one per byte) into the 88-entry
// parameter vector b0 (8 bits), b2 (6), b3 .. b(L+1) (B_m bits each), b1 (K bits), one spare
// bit; every field most significant bit first, L and K from the first six bits. Returns 1, or 0
// with vector untouched when b0 is reserved (208 .. 255: no layout). bits and vector must not
// overlap.
int ImbeReorderBits(const uint8_t* bits, uint8_t* vector);
// Its inverse, the parameter vector back to information-bit order (the transmit side; the
// decoder has no caller). Same contract with the roles swapped.
int ImbeRestoreBitOrder(const uint8_t* vector, uint8_t* bits);

// Decodes the 88 information bits (one per byte). Sets params->valid; on a valid frame fills
// harmonicCount, fundamental, amplitude (log2, Q11), amplitudeExponent and voiced, and updates
// prevLog (56 entries) and *prevCount.
void ImbeUnpackParameters(ImbeParams* params, int16_t* prevLog, int16_t* prevCount, const uint8_t* bits);
