// Reproducible white Gaussian noise for test signals (the same sequence on every platform).
#pragma once

#include <cstdint>
#include <random>

class GaussianNoise {
public:
    explicit GaussianNoise(uint32_t seed) : m_engine(seed) {}
    // One sample of zero mean and the given standard deviation.
    double Next(double rms);

private:
    std::mt19937 m_engine;
    bool m_haveSpare = false;
    double m_spare = 0.0;
};
