// Constants, fixed-point conventions and window formulas shared by the signal-processing code.
#pragma once

#include <cmath>
#include <cstdint>

constexpr double kPi = 3.14159265358979323846;

using q15 = int16_t;                         // 1.15: value = raw / 32768
constexpr float kQ15ToFloat = 1.0f / 32768;  // 16-bit full scale in: 32768
constexpr float kFloatToQ15 = 32767.0f;      // out: 32767, so +1.0 still fits

// Saturates to the 16-bit range (an integer sum or an already rounded value).
template <typename T>
inline int16_t Saturate16(T v) {
    if (v > 32767) return 32767;
    if (v < -32768) return -32768;
    return static_cast<int16_t>(v);
}

// The Blackman window at angle a: 0 at a = 0 and 2 pi, 1 at a = pi.
inline double BlackmanAt(double a) { return 0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(2.0 * a); }

// Blackman-windowed sinc low-pass centred on h[centre]: writes h[centre - k .. centre + k],
// k = 0 .. centre, for a cut-off of passFraction of the Nyquist frequency; windowSpan is the
// window's length less one (the window reaches 0 at k = windowSpan / 2). Not normalised.
inline void BlackmanSinc(double* h, int centre, double windowSpan, double passFraction) {
    h[centre] = passFraction;
    for (int k = 1; k <= centre; ++k) {
        const double w = BlackmanAt(kPi * (1.0 - 2.0 * k / windowSpan));
        h[centre + k] = h[centre - k] = w * std::sin(kPi * k * passFraction) / (kPi * k);
    }
}
