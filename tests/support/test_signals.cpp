#include "tests/support/test_signals.h"

std::vector<float> Sine(size_t n, double cyclesPerSample, double amplitude, size_t start) {
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = static_cast<float>(amplitude * std::sin(2 * kPi * cyclesPerSample * static_cast<double>(start + i)));
    return x;
}

std::vector<int16_t> Sine16(double rateHz, double toneHz, double amplitude, size_t n) {
    std::vector<int16_t> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * kPi * toneHz * i / rateHz)));
    return x;
}
