// Test-side WAV files: 16-bit mono PCM, read and written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wavtest {

// Reads the first channel of a 16-bit PCM file; false when it is not one.
bool ReadWav16(const std::string& path, std::vector<int16_t>* samples, int* sampleRate);
// Writes samples (full scale 1.0, clipped) as 16-bit mono PCM.
bool WriteWav16(const std::string& path, const std::vector<float>& samples, int sampleRate);

std::vector<float> ToFloat(const std::vector<int16_t>& samples);  // / 32768

}  // namespace wavtest
