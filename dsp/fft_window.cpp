#include "dsp/fft_window.h"

#include <cmath>
#include <cstring>

#include "dsp/dsp_math.h"

namespace {

const char* const kWindowNames[] = {
    "Rectangular", "Hanning",           "Hamming", "Blackman", "Flat Top",   "Bartlett - Hanning",
    "Bartlett",    "Blackman - Harris", "Bohman",  "Gaussian", "Triangular",
};
constexpr int kWindowCount = 11;

bool Valid(int kind, const void* data, int n) { return data && n >= 1 && kind >= 0 && kind < kWindowCount; }

double BohmanWeight(int i, int n) {
    // The outer n/2 weights on each side follow the Bohman curve; the middle one of an odd
    // window is 1.
    const int h = n / 2;
    int j = i < h ? i : n - 1 - i;
    if (j >= h) return 1.0;
    double t = 1.0 - j / static_cast<double>(static_cast<float>(n) / 2.0f);
    return (1.0 - t) * std::cos(kPi * t) + std::sin(kPi * t) / kPi;
}

}  // namespace

double CFftWindow::Weight(int kind, int i, int n) {
    if (n <= 1) return 1.0;  // every formula below degenerates (0/0) for one point
    const int h = n / 2;
    const double x = (i - h) / static_cast<double>(h);
    switch (kind) {
    case kWindowHanning: return 0.5 + 0.5 * std::cos(kPi * x);
    case kWindowHamming: return 0.54 + 0.46 * std::cos(kPi * x);
    case kWindowBlackman: return 0.42 + 0.5 * std::cos(kPi * x) + 0.08 * std::cos(2.0 * kPi * x);
    case kWindowFlatTop:
        return 0.2810639 - 0.5208972 * std::cos(2.0 * kPi * i / n) + 0.1980399 * std::cos(4.0 * kPi * i / n);
    case kWindowBartlettHanning: {
        double u = i / static_cast<double>(n - 1) - 0.5;
        return 0.62 - 0.48 * std::fabs(u) + 0.38 * std::cos(2.0 * kPi * u);
    }
    case kWindowBartlett: {
        float m = static_cast<float>(n - 1);
        if (i < h) return 2.0f * i / m;
        if (n % 2 == 0) return (2.0f * (n - i) - 2.0f) / m;
        return 2.0f - 2.0f * i / m;
    }
    case kWindowBlackmanHarris: {
        double a = 2.0 * kPi * i / (n - 1);
        return 0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2.0 * a) - 0.01168 * std::cos(3.0 * a);
    }
    case kWindowBohman: return BohmanWeight(i, n);
    case kWindowGaussian: return std::exp(-0.5 * (2.5 * x) * (2.5 * x));
    case kWindowTriangular: {
        // The symmetric triangle with non-zero ends, peak 1 in the middle.
        if (n % 2 == 0) {
            int k = i < h ? i : n - 1 - i;
            return (2.0f * k + 1.0f) / static_cast<float>(n);
        }
        int k = i <= h ? i : n - 1 - i;
        return (2.0f * k + 2.0f) / static_cast<float>(n + 1);
    }
    default: return 1.0;
    }
}

int CFftWindow::Apply(int kind, float* data, int n) {
    if (!Valid(kind, data, n)) return 0;
    if (kind == kWindowRectangular) return 1;
    for (int i = 0; i < n; ++i) data[i] = static_cast<float>(data[i] * Weight(kind, i, n));
    return 1;
}

int CFftWindow::ApplyDouble(int kind, double* data, int n) {
    if (!Valid(kind, data, n)) return 0;
    if (kind == kWindowRectangular) return 1;
    for (int i = 0; i < n; ++i) data[i] *= Weight(kind, i, n);
    return 1;
}

int CFftWindow::ApplyComplex(int kind, float* data, int n) {
    if (!Valid(kind, data, n)) return 0;
    if (kind == kWindowRectangular) return 1;
    for (int i = 0; i + 1 < n; i += 2) data[i] = static_cast<float>(data[i] * Weight(kind, i, n));
    return 1;
}

int CFftWindow::GetName(int kind, char* buffer, int size) {
    const char* name = kind >= 0 && kind < kWindowCount ? kWindowNames[kind] : "N/A";
    int length = static_cast<int>(std::strlen(name));
    if (buffer && size >= 1) {
        int copied = length < size - 1 ? length : size - 1;
        std::memcpy(buffer, name, copied);
        buffer[copied] = '\0';
    }
    return length;
}
