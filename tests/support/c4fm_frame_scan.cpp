#include "tests/support/c4fm_frame_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "p25/block_codes.h"
#include "p25/c4fm_demodulator.h"
#include "tests/support/p25_frame_builder.h"
#include "tests/support/wav_io.h"

namespace c4fmtest {
namespace {

// The 24 characters at window match the frame sync within the frame decoder's search
// tolerance: character codes differ by at most 1 each and by less than 11 in all.
bool SyncMatches(const char* window) {
    int sum = 0;
    for (int k = 0; k < 24; ++k) {
        int difference = std::abs(window[k] - p25test::kFrameSync[k]);
        if (difference >= 2) return false;
        sum += difference;
    }
    return sum < 11;
}

}  // namespace

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

std::vector<float> ReadRecordingFrom(const std::string& directory, const char* name) {
    std::vector<int16_t> samples;
    int rate = 0;
    const bool read = wavtest::ReadWav16(directory + "/" + name, &samples, &rate) && rate == 48000;
    EXPECT_TRUE(read) << name;
    return read ? wavtest::ToFloat(samples) : std::vector<float>();
}

std::string Demodulate(const std::vector<float>& x, int block, CC4fmDemodulator* demodulator) {
    CC4fmDemodulator own;
    CC4fmDemodulator* d = demodulator ? demodulator : &own;
    std::string text;
    for (size_t done = 0; done < x.size(); done += static_cast<size_t>(block)) {
        const int got = d->Process(x.data() + done, static_cast<int>(std::min<size_t>(block, x.size() - done)));
        EXPECT_GE(got, 0);
        if (got > 0) text.append(d->GetSymbols(), static_cast<size_t>(got));
    }
    return text;
}

}  // namespace c4fmtest
