#include "tests/support/c4fm_modulator.h"

#include <random>

#include "dsp/dsp_math.h"
#include "tests/support/gaussian_noise.h"

namespace c4fmtest {

namespace {

constexpr double kSymbolRate = 4800.0;
constexpr int kTableSteps = 100;  // pulse table points per symbol
constexpr int kPulseSpan = 8;     // symbols either side of the centre

// Frequency response of the C4FM shaping: raised cosine (roll-off 0.2) times x / sin(x),
// x = pi f / 4800.
double Shaping(double f) {
    f = std::fabs(f);
    const double lo = 1920.0, hi = 2880.0;
    if (f >= hi) return 0.0;
    double rc = f <= lo ? 1.0 : 0.5 * (1.0 + std::cos(kPi * (f - lo) / (hi - lo)));
    double x = kPi * f / kSymbolRate;
    return rc * (x == 0.0 ? 1.0 : x / std::sin(x));
}

// The pulse g(t) = T * integral H(f) e^{j 2 pi f t} df, tabulated at T/100 over +-8 symbols;
// sum_k g(t - kT) = H(0) = 1, so a run of one level holds its deviation.
const std::vector<double>& PulseTable() {
    static const std::vector<double> table = [] {
        const int points = 2 * kPulseSpan * kTableSteps + 1;
        std::vector<double> g(points);
        const int steps = 2880;
        const double df = 2880.0 / steps;
        for (int m = 0; m < points; ++m) {
            double t = (m - kPulseSpan * kTableSteps) / (kTableSteps * kSymbolRate);
            double sum = 0.0;
            for (int k = 0; k < steps; ++k) {
                double f = (k + 0.5) * df;
                sum += Shaping(f) * std::cos(2 * kPi * f * t);
            }
            g[m] = 2.0 * sum * df / kSymbolRate;
        }
        return g;
    }();
    return table;
}

double Pulse(double symbols) {
    const std::vector<double>& g = PulseTable();
    double position = (symbols + kPulseSpan) * kTableSteps;
    if (position <= 0.0 || position >= g.size() - 1) return 0.0;
    int i = static_cast<int>(position);
    double frac = position - i;
    return g[i] * (1.0 - frac) + g[i + 1] * frac;
}

}  // namespace

std::vector<float> ModulateC4fm(const std::string& dibits, const C4fmOptions& o) {
    std::vector<double> levels;
    for (char c : dibits) {
        switch (c) {
        case '0': levels.push_back(1); break;
        case '1': levels.push_back(3); break;
        case '2': levels.push_back(-1); break;
        case '3': levels.push_back(-3); break;
        default: break;
        }
    }
    const double symbolRate = kSymbolRate * (1.0 + o.clockErrorPpm * 1e-6);
    const double duration = (levels.size() + 0.5) / symbolRate;
    const int count = static_cast<int>(duration * o.sampleRate + o.delaySamples) + 1;
    std::vector<float> out(count);
    double phase = 0.0;
    const int symbolCount = static_cast<int>(levels.size());
    for (int n = 0; n < count; ++n) {
        double t = (n - o.delaySamples) / o.sampleRate;
        double deviation = 0.0;
        if (t >= 0.0) {
            double position = t * symbolRate;  // symbol k is centred at k + 0.5
            int first = static_cast<int>(std::floor(position - 0.5)) - kPulseSpan;
            for (int k = first; k <= first + 2 * kPulseSpan + 1; ++k)
                if (k >= 0 && k < symbolCount) deviation += levels[k] * Pulse(position - 0.5 - k);
        }
        double hz = o.carrierHz + o.carrierOffsetHz + 600.0 * o.deviationScale * deviation;
        phase += 2 * kPi * hz / o.sampleRate;
        if (phase > 2 * kPi) phase -= 2 * kPi;
        out[n] = static_cast<float>(o.amplitude * std::cos(phase));
    }
    if (std::isfinite(o.ebN0Db)) AddWhiteNoise(out, NoiseRmsForEbN0(o.amplitude, o.ebN0Db, o.sampleRate), o.seed);
    return out;
}

double NoiseRmsForEbN0(double amplitude, double ebN0Db, double sampleRate) {
    const double signalPower = amplitude * amplitude / 2.0;
    const double n0 = signalPower / (2.0 * kSymbolRate * std::pow(10.0, ebN0Db / 10.0));
    return std::sqrt(n0 * sampleRate / 2.0);
}

void AddWhiteNoise(std::vector<float>& samples, double rms, unsigned seed) {
    GaussianNoise noise(seed);
    for (float& x : samples) x += static_cast<float>(noise.Next(rms));
}

std::vector<float> WhiteNoise(int count, double rms, unsigned seed) {
    std::vector<float> v(count, 0.0f);
    AddWhiteNoise(v, rms, seed);
    return v;
}

std::string RandomDibits(int n, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(n, '0');
    for (char& c : s) c = static_cast<char>('0' + random() % 4);
    return s;
}

}  // namespace c4fmtest
