// Test signals, a single-tone fit and block-splitting helpers shared by the DSP tests.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/dsp_math.h"

// The piece sizes every stateful object is fed in to prove that splitting changes nothing.
constexpr size_t kSplitSizes[] = {1, 7, 64, 333};

// amplitude * sin(2 pi cyclesPerSample (start + i)), i = 0 .. n-1.
std::vector<float> Sine(size_t n, double cyclesPerSample, double amplitude, size_t start = 0);
// The same at toneHz of rateHz, rounded to 16 bits.
std::vector<int16_t> Sine16(double rateHz, double toneHz, double amplitude, size_t n);

// Least-squares fit of one sine at toneHz to y[from .. to): its amplitude, and the power of
// what the fit leaves over relative to the fitted tone, in dB.
struct ToneFit {
    double amplitude;
    double residualDb;
};
template <typename T>
ToneFit FitTone(const T* y, size_t from, size_t to, double toneHz, double rateHz) {
    double ss = 0, cc = 0, sc = 0, sy = 0, cy = 0;
    for (size_t i = from; i < to; ++i) {
        const double s = std::sin(2 * kPi * toneHz * i / rateHz), c = std::cos(2 * kPi * toneHz * i / rateHz);
        ss += s * s;
        cc += c * c;
        sc += s * c;
        sy += s * y[i];
        cy += c * y[i];
    }
    const double det = ss * cc - sc * sc;
    const double a = (sy * cc - cy * sc) / det, b = (cy * ss - sy * sc) / det;
    double residual = 0, signal = 0;
    for (size_t i = from; i < to; ++i) {
        const double fit = a * std::sin(2 * kPi * toneHz * i / rateHz) + b * std::cos(2 * kPi * toneHz * i / rateHz);
        residual += (y[i] - fit) * (y[i] - fit);
        signal += fit * fit;
    }
    return {std::hypot(a, b), 10.0 * std::log10(residual / signal)};
}

// Feeds `in` to process(const In* piece, size_t count, std::vector<Out>* out) in pieces whose
// sizes cycle through `pieces`, and returns everything process appended.
template <typename Out, typename In, typename Process>
std::vector<Out> FeedInPieces(const std::vector<In>& in, std::initializer_list<size_t> pieces, Process process) {
    std::vector<Out> out;
    auto size = pieces.begin();
    for (size_t done = 0; done < in.size();) {
        const size_t n = *size < in.size() - done ? *size : in.size() - done;
        process(in.data() + done, n, &out);
        done += n;
        if (++size == pieces.end()) size = pieces.begin();
    }
    return out;
}

// "Reset equals fresh": `used` has run and been reset; fed `input` in pieces of `piece` next
// to a fresh object, observe(used) must equal observe(fresh) after every piece.
template <typename Object, typename Sample, typename Feed, typename Observe>
void ExpectResetEqualsFresh(Object& used, Object& fresh, const std::vector<Sample>& input, size_t piece, Feed feed,
                            Observe observe) {
    for (size_t i = 0; i < input.size(); i += piece) {
        const size_t n = piece < input.size() - i ? piece : input.size() - i;
        feed(used, input.data() + i, n);
        feed(fresh, input.data() + i, n);
        ASSERT_EQ(observe(used), observe(fresh)) << "after " << i + n << " samples";
    }
}
