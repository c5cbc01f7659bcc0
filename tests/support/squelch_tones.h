// Demodulated FM audio carrying the analogue squelch signals, as the squelch detectors see
// it: a CTCSS tone, or a DCS code as 134.4 bit/s NRZ (positive = 1), with white Gaussian
// noise, as 16-bit samples (saturated).
#pragma once

#include <cstdint>
#include <vector>

// The 23-bit Golay (23,12) word of a 9-bit DCS code, found independently of the decoder:
// bits 0..8 the code, bit 11 set, and the parity bits 12..22 that make the word, read as a
// polynomial with bit i the coefficient of x^i, divisible by the generator 0xC75.
uint32_t DcsGolayWord(unsigned code);

// Remainder of a 23-bit word divided by the Golay generator 0xC75 (0 for a code word).
uint32_t GolayRemainder(uint32_t word);

// The 52 CTCSS tones as a host sets them, in milli-Hz (the published decimal tones times 1000),
// in table order.
extern const uint32_t kCtcssHostMilliHz[52];

// toneHz sine of the given peak amplitude plus noise of noiseRms.
std::vector<int16_t> MakeCtcssAudio(double rateHz, double toneHz, double seconds, double amplitude, double noiseRms,
                                    uint32_t seed);

// The code's word sent repeatedly, bit 0 first, at 134.4 bit/s as +-amplitude (inverted:
// every bit complemented), starting at a random bit phase, plus noise of noiseRms.
std::vector<int16_t> MakeDcsAudio(double rateHz, unsigned code, bool inverted, double seconds, double amplitude,
                                  double noiseRms, uint32_t seed);

// Noise alone.
std::vector<int16_t> MakeNoiseAudio(double rateHz, double seconds, double noiseRms, uint32_t seed);
