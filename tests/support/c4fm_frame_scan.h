// Test-side check of demodulated text: the P25 frames in a DibitString found the way the frame
// decoder finds them (sync within its tolerance, a NID the BCH code accepts), independently of
// the decoder's state machine.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace c4fmtest {

struct FoundFrame {
    size_t position;  // of the first sync symbol
    int nac, duid;
};

// The 24 characters at window match the frame sync within the frame decoder's search
// tolerance: character codes differ by at most 1 each and by less than 11 in all.
bool SyncMatches(const char* window);

// Every frame in the text, in order.
std::vector<FoundFrame> FindFrames(const std::string& text);

// A real recording as floats (full scale 1) at 48000 samples/s; empty when it cannot be read.
std::vector<float> ReadRecording(const std::string& directory, const char* name);

}  // namespace c4fmtest
