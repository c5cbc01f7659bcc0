#include "tests/support/imbe_test_encoder.h"

#include "dsp/dsp_math.h"
#include "imbe/imbe_params.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

const int kWidths[8] = {12, 12, 12, 12, 11, 11, 11, 7};
const int kVectorLengths[8] = {23, 23, 23, 23, 15, 15, 15, 7};
const int kVectorStarts[8] = {0, 23, 46, 69, 92, 107, 122, 137};
const int kInterleave[12] = {0, 24, 48, 72, 96, 120, 25, 1, 73, 49, 121, 97};

int Parity(uint32_t x) {
    int p = 0;
    for (; x; x >>= 1) p ^= x & 1;
    return p;
}

}  // namespace

int ImbeTestHarmonicCount(int b0) {
    // L = floor(0.9254 * floor(pi / w0 + 0.25)), w0 = 4 pi / (b0 + 39.5): the inner floor is
    // b0 / 4 + 10 for integer b0, and 0.9254 is 60648 / 65536.
    int l = (60648 * (b0 / 4 + 10)) >> 16;
    return l < 9 ? 9 : (l > 56 ? 56 : l);
}

int ImbeTestBandCount(int b0) {
    int l = ImbeTestHarmonicCount(b0);
    return (l + 2) / 3 > 12 ? 12 : (l + 2) / 3;
}

int ImbeTestCoefficientBits(int b0, int m) { return ImbeBitAllocation(ImbeTestHarmonicCount(b0))[m - 3]; }

double ImbeTestFundamentalHz(int b0) { return 8000.0 * 8.0 / (4.0 * b0 + 158.0); }

int ImbeTestFundamentalCode(double hz) {
    int b0 = static_cast<int>(std::lround((64000.0 / hz - 158.0) / 4.0));
    return b0 < 0 ? 0 : (b0 > 207 ? 207 : b0);
}

ImbeTestParams ImbeTestRandomParams(int b0, std::mt19937& rng) {
    ImbeTestParams p;
    p.fundamentalCode = b0;
    p.gainCode = static_cast<int>(rng() % 64);
    p.voicing = static_cast<uint16_t>(rng() & ((1 << ImbeTestBandCount(b0)) - 1));
    const int l = ImbeTestHarmonicCount(b0);
    for (int m = 3; m <= l + 1; ++m)
        p.coefficients[m - 3] = static_cast<int>(rng() % (1u << ImbeTestCoefficientBits(b0, m)));
    p.lastBit = static_cast<int>(rng() & 1);
    return p;
}

ImbeTestParams ImbeTestFlatParams(double fundamentalHz, bool voiced, int gainCode) {
    ImbeTestParams p;
    p.fundamentalCode = ImbeTestFundamentalCode(fundamentalHz);
    p.gainCode = gainCode;
    int k = ImbeTestBandCount(p.fundamentalCode);
    p.voicing = voiced ? static_cast<uint16_t>((1 << k) - 1) : 0;
    int l = ImbeTestHarmonicCount(p.fundamentalCode);
    for (int m = 3; m <= l + 1; ++m) {
        int b = ImbeTestCoefficientBits(p.fundamentalCode, m);
        // The uniform quantiser has no zero level: 2^(B-1) is the first step above it.
        p.coefficients[m - 3] = b > 0 ? 1 << (b - 1) : 0;
    }
    return p;
}

void ImbeTestPackParameters(const ImbeTestParams& p, uint8_t info[88]) {
    const int b0 = p.fundamentalCode;
    const int l = ImbeTestHarmonicCount(b0);
    const int k = ImbeTestBandCount(b0);
    const uint8_t* alloc = ImbeBitAllocation(l);
    auto bit = [](int value, int n) { return static_cast<uint8_t>((value >> n) & 1); };

    for (int i = 0; i < 6; ++i) info[i] = bit(b0, 7 - i);
    for (int i = 0; i < 3; ++i) info[6 + i] = bit(p.gainCode, 5 - i);
    for (int i = 0; i < k; ++i) info[48 + i] = bit(p.voicing, k - 1 - i);
    info[48 + k] = bit(p.gainCode, 2);
    info[49 + k] = bit(p.gainCode, 1);
    info[84] = bit(p.gainCode, 0);
    info[85] = bit(b0, 1);
    info[86] = bit(b0, 0);
    info[87] = static_cast<uint8_t>(p.lastBit & 1);

    // Coefficient bits by significance: every coefficient's top bit before any lower bit.
    int positions[73];
    int count = 0;
    for (int i = 9; i < 48; ++i) positions[count++] = i;
    for (int i = 50 + k; i < 84; ++i) positions[count++] = i;
    int next = 0;
    for (int level = 12; level >= 1; --level)
        for (int m = 0; m < l - 1; ++m)
            if (alloc[m] >= level) info[positions[next++]] = bit(p.coefficients[m], level - 1);
}

ImbeTestWords ImbeTestBitsToWords(const uint8_t info[88]) {
    ImbeTestWords w{};
    int at = 0;
    for (int v = 0; v < 8; ++v)
        for (int b = 0; b < kWidths[v]; ++b) w.u[v] = static_cast<uint16_t>((w.u[v] << 1) | (info[at++] & 1));
    return w;
}

void ImbeTestWordsToBits(const ImbeTestWords& w, uint8_t info[88]) {
    int at = 0;
    for (int v = 0; v < 8; ++v)
        for (int b = kWidths[v] - 1; b >= 0; --b) info[at++] = static_cast<uint8_t>((w.u[v] >> b) & 1);
}

uint32_t ImbeTestGolayEncode(uint16_t info12) {
    // Systematic: the remainder of info * x^11 divided by g(x) = 0xC75 fills bits 10 .. 0.
    uint32_t r = static_cast<uint32_t>(info12 & 0xFFF) << 11;
    for (int i = 22; i >= 11; --i)
        if (r & (1u << i)) r ^= 0xC75u << (i - 11);
    return (static_cast<uint32_t>(info12 & 0xFFF) << 11) | r;
}

uint16_t ImbeTestHammingEncode(uint16_t info11) {
    static const uint16_t masks[4] = {0x55B, 0x66D, 0x78E, 0x7F0};
    uint16_t w = static_cast<uint16_t>((info11 & 0x7FF) << 4);
    for (int i = 0; i < 4; ++i) w |= static_cast<uint16_t>(Parity(info11 & masks[i]) << i);
    return w;
}

void ImbeTestEncodeWords(const ImbeTestWords& w, uint8_t channel[144]) {
    uint8_t work[144];
    for (int v = 0; v < 8; ++v) {
        uint32_t code = v < 4 ? ImbeTestGolayEncode(w.u[v]) : (v < 7 ? ImbeTestHammingEncode(w.u[v]) : (w.u[7] & 0x7F));
        for (int b = 0; b < kVectorLengths[v]; ++b)
            work[kVectorStarts[v] + b] = static_cast<uint8_t>((code >> (kVectorLengths[v] - 1 - b)) & 1);
    }
    uint16_t p = static_cast<uint16_t>(16 * w.u[0]);
    for (int i = 23; i < 137; ++i) {
        p = static_cast<uint16_t>(173 * p + 13849);
        if (p & 0x8000) work[i] ^= 1;
    }
    for (int g = 0; g < 12; ++g)
        for (int j = 0; j < 12; ++j) channel[12 * g + j] = work[2 * g + kInterleave[j]];
}

void ImbeTestEncodeFrame(const ImbeTestParams& params, uint8_t channel[144]) {
    uint8_t info[88];
    ImbeTestPackParameters(params, info);
    ImbeTestEncodeWords(ImbeTestBitsToWords(info), channel);
}

int ImbeTestVectorLength(int vector) { return kVectorLengths[vector]; }

void ImbeTestAddErrors(uint8_t channel[144], const int errors[7], uint32_t seed) {
    std::mt19937 rng(seed);
    for (int v = 0; v < 7; ++v) {
        std::vector<int> bits(kVectorLengths[v]);
        for (size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<int>(i);
        std::shuffle(bits.begin(), bits.end(), rng);
        for (int i = 0; i < errors[v] && i < kVectorLengths[v]; ++i) channel[ImbeTestChannelIndex(v, bits[i])] ^= 1;
    }
}

int ImbeTestChannelIndex(int vector, int bit) {
    int pos = kVectorStarts[vector] + bit;
    for (int g = 0; g < 12; ++g)
        for (int j = 0; j < 12; ++j)
            if (2 * g + kInterleave[j] == pos) return 12 * g + j;
    return -1;
}

namespace {

// Quantiser step in octaves for B bits and a deviation: value = (2c + 1 - 2^B) * step.
double QuantStep(int bits, int deviation) {
    double s = std::floor(deviation * double(kImbeStepSizes[bits]) / 65536.0);
    return s * std::ldexp(1.0, 15 - bits) / 65536.0 / 2048.0;
}

int QuantCode(double value, int bits, int deviation) {
    if (bits == 0) return 0;
    double c = std::round((value / QuantStep(bits, deviation) + std::ldexp(1.0, bits) - 1) / 2);
    return static_cast<int>(std::clamp(c, 0.0, std::ldexp(1.0, bits) - 1));
}

double Dequant(int code, int bits, int deviation) {
    return bits == 0 ? 0 : (2.0 * code + 1 - std::ldexp(1.0, bits)) * QuantStep(bits, deviation);
}

// T_k = C_1 + sum_j 2 C_j cos(pi (j-1)(2k+1) / 2J) and its inverse.
std::vector<double> ForwardDct(const std::vector<double>& t) {
    const int n = static_cast<int>(t.size());
    std::vector<double> c(n, 0.0);
    for (int j = 0; j < n; ++j) {
        for (int k = 0; k < n; ++k) c[j] += t[k] * std::cos(kPi * j * (2 * k + 1) / (2.0 * n));
        c[j] /= n;
    }
    return c;
}

std::vector<double> InverseDct(const std::vector<double>& c) {
    const int n = static_cast<int>(c.size());
    std::vector<double> t(n);
    for (int k = 0; k < n; ++k) {
        t[k] = c[0];
        for (int j = 1; j < n; ++j) t[k] += 2 * c[j] * std::cos(kPi * j * (2 * k + 1) / (2.0 * n));
    }
    return t;
}

}  // namespace

std::vector<double> ImbeTestModel::Predict(int l) const {
    const double rho = l <= 15 ? 0.4 : (l <= 24 ? 0.03 * l - 0.05 : 0.7);
    auto prev = [this](int i) { return prevLog[std::min(std::max(i, 1), 56) - 1]; };
    std::vector<double> pred(l);
    double sum = 0;
    for (int k = 1; k <= l; ++k) {
        double pos = double(k) * prevCount / l;
        int n = static_cast<int>(pos);
        pred[k - 1] = (1 - (pos - n)) * prev(n) + (pos - n) * prev(n + 1);
        sum += pred[k - 1];
    }
    for (double& v : pred) v = rho * (v - sum / l);
    return pred;
}

std::vector<double> ImbeTestModel::Decode(const ImbeTestParams& p) {
    const int l = ImbeTestHarmonicCount(p.fundamentalCode);
    const uint8_t* alloc = ImbeBitAllocation(l);
    std::vector<double> g(6);
    g[0] = kImbeGainLevels[p.gainCode] / 2048.0;
    for (int k = 1; k < 6; ++k) g[k] = Dequant(p.coefficients[k - 1], alloc[k - 1], kImbeGainDeviations[k - 1]);
    std::vector<double> means = InverseDct(g);
    std::vector<double> out;
    int next = 5;
    for (int b = 0; b < 6; ++b) {
        std::vector<double> c(l / 6 + (b >= 6 - l % 6 ? 1 : 0));
        c[0] = means[b];
        for (size_t j = 1; j < c.size(); ++j, ++next)
            c[j] = Dequant(p.coefficients[next], alloc[next], kImbeCoefficientDeviations[j - 1]);
        std::vector<double> t = InverseDct(c);
        out.insert(out.end(), t.begin(), t.end());
    }
    std::vector<double> pred = Predict(l);
    for (int k = 0; k < l; ++k) out[k] = std::clamp(out[k] + pred[k], -15.0, 15.0);
    for (int k = 0; k < 56; ++k) prevLog[k] = out[std::min(k, l - 1)];
    prevCount = l;
    return out;
}

void ImbeTestQuantizer::Reset() { m_model = ImbeTestModel(); }

ImbeTestParams ImbeTestQuantizer::Quantize(int b0, const double* target, uint16_t voicing) {
    ImbeTestParams p;
    p.fundamentalCode = b0;
    p.voicing = voicing;
    const int l = ImbeTestHarmonicCount(b0);
    const uint8_t* alloc = ImbeBitAllocation(l);
    const std::vector<double> pred = m_model.Predict(l);

    // Residual blocks, their DCTs, and the DCT of the block means.
    std::vector<std::vector<double>> blocks;
    int at = 0;
    for (int b = 0; b < 6; ++b) {
        std::vector<double> t(l / 6 + (b >= 6 - l % 6 ? 1 : 0));
        for (size_t k = 0; k < t.size(); ++k, ++at) t[k] = target[at] - pred[at];
        blocks.push_back(ForwardDct(t));
    }
    std::vector<double> means(6);
    for (int b = 0; b < 6; ++b) means[b] = blocks[b][0];
    std::vector<double> g = ForwardDct(means);

    double best = 1e30;
    for (int c = 0; c < 64; ++c) {
        double d = std::fabs(kImbeGainLevels[c] / 2048.0 - g[0]);
        if (d < best) {
            best = d;
            p.gainCode = c;
        }
    }
    for (int k = 1; k < 6; ++k) p.coefficients[k - 1] = QuantCode(g[k], alloc[k - 1], kImbeGainDeviations[k - 1]);
    int next = 5;
    for (int b = 0; b < 6; ++b)
        for (size_t j = 1; j < blocks[b].size(); ++j, ++next)
            p.coefficients[next] = QuantCode(blocks[b][j], alloc[next], kImbeCoefficientDeviations[j - 1]);
    m_model.Decode(p);  // the decoder's next prediction starts from what it decodes
    return p;
}

ImbeTestParams ImbeTestQuantizer::Flat(double hz, bool voiced, double level) {
    const int b0 = ImbeTestFundamentalCode(hz);
    const int l = ImbeTestHarmonicCount(b0);
    std::vector<double> target(l, level);
    const int k = ImbeTestBandCount(b0);
    return Quantize(b0, target.data(), voiced ? static_cast<uint16_t>((1 << k) - 1) : 0);
}
