// How calls survive the receiver noise before them, and how many frames of the shared
// recordings the demodulator finds at every block size.
#pragma once

// Calls of a header, three LDU1/LDU2 pairs and a terminator after 0.5, 1 or 3 s of white noise
// at the signal's level, carrier offsets 0, +-500, +-1500 Hz, 40 seeds each, blocks of 2048:
// headers found, frames lost before the first one found (mean, worst), calls lost whole, and
// frames found that were not sent (a wrong NAC or no frame there).
void PrintCallsAfterNoise();

// The frames the four shared recordings carry that are found, and false ones, for block sizes
// 512 .. 32768.
void PrintRecordingFrames();
