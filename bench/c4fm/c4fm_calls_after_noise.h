// How calls survive the receiver noise before them, and how many frames of the shared
// recordings the demodulator finds at every block size.
#pragma once

#include <vector>

// Calls of a header, three LDU1/LDU2 pairs and a terminator after 0.5, 1 or 3 s of white noise
// at the signal's level, carrier offsets 0, +-500, +-1500 Hz, `seeds` seeds each, demodulated
// in IF blocks of each of `blocks` samples: headers found, frames lost before the first one
// found (mean, worst), calls lost whole, frames found that were not sent (a wrong NAC or DUID,
// or no frame there), and calls during which the frame decoder showed a NAC, or any field, that
// the call does not carry. One line per block size; with `eachCase` also one per case.
void PrintCallsAfterNoise(const std::vector<int>& blocks, int seeds, bool eachCase);

// The programs' options for that table, taken out of argv (the rest stays, in order):
//   --blocks=N[,N...]  IF block sizes, 1 .. 2^20 samples (default 2048)
//   --seeds=N          seeds per case (default 40)
//   --calls-only       that table alone, one line per case and block size
struct CallsAfterNoiseOptions {
    std::vector<int> blocks;
    int seeds = 40;
    bool callsOnly = false;
};
constexpr const char* kCallsAfterNoiseUsage = "[--blocks=N[,N...]] [--seeds=N] [--calls-only]";
// False on a malformed option.
bool TakeCallsAfterNoiseOptions(int* argc, char** argv, CallsAfterNoiseOptions* options);

// The frames the four shared recordings carry that are found, and false ones, for block sizes
// 512 .. 32768.
void PrintRecordingFrames();
