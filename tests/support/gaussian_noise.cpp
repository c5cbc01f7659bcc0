#include "tests/support/gaussian_noise.h"

#include <cmath>

double GaussianNoise::Next(double rms) {
    // Box-Muller from the engine's raw words: std::normal_distribution's algorithm is not
    // fixed by the standard.
    if (m_haveSpare) {
        m_haveSpare = false;
        return m_spare * rms;
    }
    const double u1 = (m_engine() + 1.0) / 4294967297.0;  // (0, 1]
    const double u2 = m_engine() / 4294967296.0;
    const double radius = std::sqrt(-2.0 * std::log(u1));
    const double angle = 2.0 * 3.14159265358979323846 * u2;
    m_spare = radius * std::sin(angle);
    m_haveSpare = true;
    return radius * std::cos(angle) * rms;
}
