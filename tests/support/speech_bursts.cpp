#include "tests/support/speech_bursts.h"

#include <cmath>

#include "tests/support/gaussian_noise.h"

std::vector<int16_t> MakeSpeechBursts(double rateHz, double seconds, double amplitude, uint32_t seed) {
    const double kPi = 3.14159265358979323846;
    const double voiced = 0.180, fricative = 0.050, pause = 0.120;
    const double cycle = voiced + fricative + pause;
    const double pitch = 120.0;
    GaussianNoise noise(seed);
    std::vector<int16_t> out(static_cast<size_t>(std::llround(rateHz * seconds)));
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = i / rateHz;
        const double inCycle = std::fmod(t, cycle);
        double v;
        if (inCycle < voiced) {
            double sum = 0.0;
            for (int h = 1; pitch * h < 3000.0; ++h) sum += std::sin(2.0 * kPi * pitch * h * t) / h;
            const double envelope = 0.5 - 0.5 * std::cos(2.0 * kPi * inCycle / voiced);
            v = 0.5 * amplitude * envelope * sum;
        } else if (inCycle < voiced + fricative) {
            v = noise.Next(0.3 * amplitude);
        } else {
            v = noise.Next(0.002 * amplitude);
        }
        const double r = std::nearbyint(v);
        out[i] = static_cast<int16_t>(r > 32767.0 ? 32767.0 : r < -32768.0 ? -32768.0 : r);
    }
    return out;
}
