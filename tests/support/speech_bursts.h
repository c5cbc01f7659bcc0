// Speech-like audio for the voice-activity detector: syllables of a voiced sound (120 Hz
// pitch, harmonics falling 6 dB per octave up to 3 kHz, raised-cosine envelope) followed by a
// fricative (white noise), with pauses of low background noise between them.
#pragma once

#include <cstdint>
#include <vector>

// Cycle: 180 ms voiced, 50 ms fricative, 120 ms pause; peak level about amplitude.
std::vector<int16_t> MakeSpeechBursts(double rateHz, double seconds, double amplitude, uint32_t seed);
