// WAV files for the stand-ins: the receiver streams one, the host writes the audio it
// received into one. 16-bit PCM only; a multi-channel file gives its first channel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testbed {

// False (with a reason) when the file is not 16-bit PCM with a data chunk.
bool ReadWav16(const std::string& path, std::vector<int16_t>* samples, uint32_t* sampleRateHz, std::string* error);
bool WriteWav16(const std::string& path, const int16_t* samples, size_t count, uint32_t sampleRateHz);

}  // namespace testbed
