// Test-side C4FM modulator: DibitString text ("0" +1, "1" +3, "2" -1, "3" -3) to the
// receiver's real IF stream. Raised-cosine shaping (roll-off 0.2) with the C4FM inverse-sinc
// pre-distortion, deviation +-600 / +-1800 Hz, carrier 12 kHz, 48000 samples/s; with a
// carrier offset, symbol-clock error, timing delay, amplitude and white noise at a given
// Eb/N0.
#pragma once

#include <cmath>
#include <string>
#include <vector>

namespace c4fmtest {

struct C4fmOptions {
    double sampleRate = 48000.0;
    double carrierHz = 12000.0;
    double carrierOffsetHz = 0.0;
    double clockErrorPpm = 0.0;   // symbol rate 4800 * (1 + ppm / 1e6)
    double delaySamples = 0.0;    // the whole signal starts this much later
    double amplitude = 0.5;       // of the carrier, full scale 1
    double deviationScale = 1.0;  // 1: +3 is 1800 Hz
    double ebN0Db = INFINITY;     // white noise over the whole band; infinite: none
    unsigned seed = 1;
};

// One sample per 1/sampleRate for the symbols of `dibits` (characters other than 0..3 are
// skipped), ending half a pulse after the last symbol.
std::vector<float> ModulateC4fm(const std::string& dibits, const C4fmOptions& options);

// RMS of real white noise that gives Eb/N0 (dB) for a carrier of `amplitude` at 9600 bit/s:
// N0 = (A^2/2) / (9600 Eb/N0), and sampled noise of density N0/2 over +-rate/2 has variance
// N0 rate / 2.
double NoiseRmsForEbN0(double amplitude, double ebN0Db, double sampleRate = 48000.0);
void AddWhiteNoise(std::vector<float>& samples, double rms, unsigned seed);
std::vector<float> WhiteNoise(int count, double rms, unsigned seed);

// Random dibit text of n symbols.
std::string RandomDibits(int n, unsigned seed);

}  // namespace c4fmtest
