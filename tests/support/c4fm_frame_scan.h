// Test-side check of demodulated text: the P25 frames in a DibitString found the way the frame
// decoder finds them (sync within its tolerance, a NID the BCH code accepts), independently of
// the decoder's state machine.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CC4fmDemodulator;

namespace c4fmtest {

struct FoundFrame {
    size_t position;  // of the first sync symbol
    int nac, duid;
};

// Every frame in the text, in order.
std::vector<FoundFrame> FindFrames(const std::string& text);

// A real recording as floats (full scale 1) at 48000 samples/s; empty, and a test failure,
// when it cannot be read.
std::vector<float> ReadRecordingFrom(const std::string& directory, const char* name);
#ifdef APCO_TESTDATA_DIR
inline std::vector<float> ReadRecording(const char* name) { return ReadRecordingFrom(APCO_TESTDATA_DIR, name); }
#endif

// The whole signal through `demodulator` (a fresh one when null) in blocks of `block` samples;
// a block the demodulator refuses is a test failure.
std::string Demodulate(const std::vector<float>& x, int block, CC4fmDemodulator* demodulator = nullptr);

}  // namespace c4fmtest
