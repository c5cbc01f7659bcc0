// Sensitivity of the C4FM demodulator on the synthetic signal, and the signals the throughput
// figures use.
#pragma once

#include <string>
#include <vector>

// A voice call of `pairs` LDU pairs (HDU, LDUs, TDU) as dibit text.
std::string BenchVoiceCall(int pairs);
// The real clear-voice recording (9.2 s), or empty.
std::vector<float> BenchRecordingSecond();
// The whole receive chain (demodulator, frame decoder, vocoder) over x in blocks of 2048;
// returns the number of audio blocks.
int RunChain(const std::vector<float>& x);

// Prints the symbol and bit error rates from 8 to 30 dB Eb/N0 of the demodulator and of the
// reference receiver, then the carrier-offset and clock-error ranges over which the NAC of
// every settled frame still decodes.
void PrintSensitivity();
