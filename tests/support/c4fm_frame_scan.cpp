#include "tests/support/c4fm_frame_scan.h"

#include <cstdlib>

#include "p25/block_codes.h"
#include "tests/support/p25_frame_builder.h"
#include "tests/support/wav_io.h"

namespace c4fmtest {

bool SyncMatches(const char* window) {
    int sum = 0;
    for (int k = 0; k < 24; ++k) {
        int difference = std::abs(window[k] - p25test::kFrameSync[k]);
        if (difference >= 2) return false;
        sum += difference;
    }
    return sum < 11;
}

std::vector<FoundFrame> FindFrames(const std::string& text) {
    std::vector<FoundFrame> frames;
    for (size_t i = 0; i + 57 <= text.size(); ++i) {
        if (!SyncMatches(text.c_str() + i)) continue;
        // NID: frame places 24..56 without the status symbol at place 35.
        std::string nid = text.substr(i + 24, 11) + text.substr(i + 36, 21);
        std::vector<char> buffer(nid.begin(), nid.end());
        buffer.push_back('\0');
        unsigned corrected = 0;
        if (!DecodeNidBch(buffer.data(), &corrected)) continue;
        int value = 0;
        for (int k = 0; k < 8; ++k) value = value << 2 | (buffer[k] - '0');
        frames.push_back({i, value >> 4, value & 0xF});
        i += 56;
    }
    return frames;
}

std::vector<float> ReadRecording(const std::string& directory, const char* name) {
    std::vector<int16_t> samples;
    int rate = 0;
    if (!wavtest::ReadWav16(directory + "/" + name, &samples, &rate) || rate != 48000) return {};
    return wavtest::ToFloat(samples);
}

}  // namespace c4fmtest
