#include "tests/support/squelch_tones.h"

#include <cmath>

#include "tests/support/gaussian_noise.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kDcsBaud = 134.4;

int16_t Clip16(double v) {
    const double r = std::nearbyint(v);
    if (r > 32767.0) return 32767;
    if (r < -32768.0) return -32768;
    return static_cast<int16_t>(r);
}

size_t SampleCount(double rateHz, double seconds) { return static_cast<size_t>(std::llround(rateHz * seconds)); }

}  // namespace

uint32_t GolayRemainder(uint32_t word) {
    for (int b = 22; b >= 11; --b)
        if (word & (1u << b)) word ^= 0xC75u << (b - 11);
    return word & 0x7FF;
}

uint32_t DcsGolayWord(unsigned code) {
    const uint32_t data = (code & 0x1FF) | 0x800;
    for (uint32_t parity = 0; parity < 2048; ++parity) {
        const uint32_t word = data | parity << 12;
        if (GolayRemainder(word) == 0) return word;
    }
    return 0;  // not reached: the code is systematic
}

const uint32_t kCtcssHostMilliHz[52] = {
    62500,  64700,  67000,  69300,  71900,  74400,  77000,  79700,  82500,  85400,  88500,  91500,  94800,
    97400,  100000, 103500, 107200, 110900, 114800, 118800, 123000, 127300, 131800, 136500, 141300, 146200,
    151400, 156700, 159800, 162200, 165500, 167900, 171300, 173800, 177300, 179900, 183500, 186200, 189900,
    192800, 196600, 199500, 203500, 206500, 210700, 218100, 225700, 229100, 233600, 241800, 250300, 254100,
};

std::vector<int16_t> MakeCtcssAudio(double rateHz, double toneHz, double seconds, double amplitude, double noiseRms,
                                    uint32_t seed) {
    GaussianNoise noise(seed);
    std::vector<int16_t> out(SampleCount(rateHz, seconds));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = Clip16(amplitude * std::sin(2.0 * kPi * toneHz * i / rateHz) + noise.Next(noiseRms));
    return out;
}

std::vector<int16_t> MakeDcsAudio(double rateHz, unsigned code, bool inverted, double seconds, double amplitude,
                                  double noiseRms, uint32_t seed) {
    GaussianNoise noise(seed);
    uint32_t word = DcsGolayWord(code);
    if (inverted) word ^= 0x7FFFFF;
    // Start somewhere inside the word and inside a bit, as a receiver joining a transmission.
    const double start = (seed % 23) + 0.37;
    std::vector<int16_t> out(SampleCount(rateHz, seconds));
    for (size_t i = 0; i < out.size(); ++i) {
        const uint64_t bitIndex = static_cast<uint64_t>(start + i * kDcsBaud / rateHz);
        const int bit = (word >> (bitIndex % 23)) & 1;
        out[i] = Clip16((bit ? amplitude : -amplitude) + noise.Next(noiseRms));
    }
    return out;
}

std::vector<int16_t> MakeNoiseAudio(double rateHz, double seconds, double noiseRms, uint32_t seed) {
    GaussianNoise noise(seed);
    std::vector<int16_t> out(SampleCount(rateHz, seconds));
    for (auto& v : out) v = Clip16(noise.Next(noiseRms));
    return out;
}
