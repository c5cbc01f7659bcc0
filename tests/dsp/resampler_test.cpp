#include "dsp/resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/test_signals.h"

namespace {

// Feeds x in pieces of `chunk` and collects every output.
std::vector<int16_t> Resample(CResampler& r, const std::vector<int16_t>& x, size_t chunk) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < x.size(); i += chunk) {
        const uint32_t n = static_cast<uint32_t>(std::min(chunk, x.size() - i));
        uint32_t produced = 0;
        const int16_t* y = r.Process(x.data() + i, n, &produced);
        EXPECT_NE(y, nullptr);
        if (!y) break;
        EXPECT_LE(produced, r.MaxOutput(n));
        out.insert(out.end(), y, y + produced);
    }
    return out;
}

// SNR of the output against the analytic sine at each output's input position. Output j
// reads input position j * step - 8 (8 samples of history delay); the first outputs, which
// still see the silent history, are skipped.
double SnrDb(const std::vector<int16_t>& y, uint32_t step, double inRate, double toneHz, double amplitude) {
    double signal = 0.0, error = 0.0;
    for (size_t j = 0; j < y.size(); ++j) {
        const double position = j * (step / 65536.0) - 8.0;
        if (position < 8.0) continue;
        const double ref = amplitude * std::sin(2.0 * kPi * toneHz * position / inRate);
        signal += ref * ref;
        error += (y[j] - ref) * (y[j] - ref);
    }
    return 10.0 * std::log10(signal / error);
}

}  // namespace

TEST(Resampler, TableRowsAreTheNormalisedBlackmanInterpolators) {
    const int16_t half[8] = {0, 267, -2845, 18962, 18962, -2845, 267, 0};
    const int16_t first[8] = {55, -727, 2306, 29549, 2306, -727, 55, -48};
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(CResampler::TableRow(1024)[k], half[k]) << k;
        EXPECT_EQ(CResampler::TableRow(0)[k], first[k]) << k;
    }
    // Each row is scaled to a sum of 1.0 (32768) before rounding: 8 roundings of at most
    // half an LSB each leave the sum within 4.
    for (int r = 0; r < CResampler::kPhaseRows; ++r) {
        int sum = 0;
        for (int k = 0; k < 8; ++k) sum += CResampler::TableRow(r)[k];
        EXPECT_NEAR(sum, 32768, 4) << "row " << r;
    }
    // Row 2048 (fraction +0.5) is row 0 (fraction -0.5) moved on by one whole sample.
    for (int k = 0; k < 8; ++k) EXPECT_EQ(CResampler::TableRow(2048)[k], CResampler::TableRow(0)[(k + 7) % 8]) << k;
}

TEST(Resampler, OutputCountsFollowTheRateRatio) {
    CResampler voice;
    ASSERT_EQ(voice.SetRates(8000.0f, 16000.0f, 512), 1);
    EXPECT_EQ(voice.GetStep(), 32768u);
    std::vector<int16_t> block(512, 100);
    for (int i = 0; i < 5; ++i) {
        uint32_t n = 0;
        ASSERT_NE(voice.Process(block.data(), 512, &n), nullptr);
        EXPECT_EQ(n, 1024u) << "block " << i;
    }
    // 48000 -> 16000: outputs sit at input positions 8 + 3j below the end of the input, so
    // after k blocks of 2048 there are exactly ceil(2048 k / 3); one block gives 682 or 683.
    CResampler audio;
    std::vector<int16_t> big(2048, -5);
    uint64_t total = 0;
    for (uint64_t k = 1; k <= 12; ++k) {
        uint32_t n = 0;
        ASSERT_NE(audio.Process(big.data(), 2048, &n), nullptr);
        EXPECT_TRUE(n == 682 || n == 683) << n;
        total += n;
        EXPECT_EQ(total, (2048 * k + 2) / 3) << "after block " << k;
    }
}

TEST(Resampler, SineAgainstAnalyticModel) {
    struct Case {
        float in, out;
        double minSnrDb;
    } cases[] = {{8000.0f, 16000.0f, 50.0}, {48000.0f, 16000.0f, 60.0}};
    for (const Case& c : cases) {
        CResampler r;
        ASSERT_EQ(r.SetRates(c.in, c.out, 2048), 1);
        const std::vector<int16_t> x = Sine16(c.in, 1000.0, 20000.0, static_cast<size_t>(c.in));
        const std::vector<int16_t> y = Resample(r, x, 2048);
        EXPECT_GT(SnrDb(y, r.GetStep(), c.in, 1000.0, 20000.0), c.minSnrDb) << c.in << " -> " << c.out;
    }
}

TEST(Resampler, AnySplitGivesTheSameStreamAndExactRate) {
    // Three seconds of 48 kHz input give exactly 48000 outputs at 16 kHz whatever the block
    // size, including blocks larger than the resampler's internal pass.
    const std::vector<int16_t> x = Sine16(48000.0, 1234.5, 15000.0, 3 * 48000);
    CResampler whole;
    const std::vector<int16_t> reference = Resample(whole, x, x.size());
    EXPECT_EQ(reference.size(), 48000u);
    for (size_t chunk : {1, 7, 64, 333, 2048, 4096, 20000, 48000}) {
        CResampler r;
        EXPECT_EQ(Resample(r, x, chunk), reference) << "chunk " << chunk;
    }
    // Voice path: 8000 -> 16000 doubles exactly.
    const std::vector<int16_t> v = Sine16(8000.0, 700.0, 12000.0, 8000);
    CResampler a, b;
    a.SetRates(8000.0f, 16000.0f, 512);
    b.SetRates(8000.0f, 16000.0f, 512);
    const std::vector<int16_t> va = Resample(a, v, 512);
    EXPECT_EQ(va.size(), 16000u);
    EXPECT_EQ(Resample(b, v, 160), va);
}

TEST(Resampler, OutputSaturatesInsteadOfWrapping) {
    // A full-scale square wave overshoots at its edges (Gibbs); the overshoot must clip at
    // full scale, so every output away from an edge keeps the sign of its plateau.
    std::vector<int16_t> x(8000);
    for (size_t i = 0; i < x.size(); ++i) x[i] = (i / 32) % 2 ? -32768 : 32767;
    CResampler r;
    ASSERT_EQ(r.SetRates(8000.0f, 16000.0f, 512), 1);
    const std::vector<int16_t> y = Resample(r, x, 512);
    int top = 0;
    for (size_t j = 0; j < y.size(); ++j) {
        const double position = j * 0.5 - 8.0;
        if (position < 2.0) continue;
        const double inPeriod = std::fmod(position, 32.0);
        if (inPeriod < 1.5 || inPeriod > 30.5) continue;  // within 1.5 samples of an edge
        const bool high = static_cast<int>(position / 32.0) % 2 == 0;
        EXPECT_EQ(y[j] > 0, high) << "output " << j << " = " << y[j];
        top = std::max<int>(top, y[j]);
    }
    EXPECT_EQ(top, 32767);
}

TEST(Resampler, RefusesUnsafeRatesAndKeepsItsSettings) {
    CResampler r;
    EXPECT_EQ(r.SetRates(0.0f, 16000.0f, 2048), 0);
    EXPECT_EQ(r.SetRates(48000.0f, -1.0f, 2048), 0);
    EXPECT_EQ(r.SetRates(std::nanf(""), 16000.0f, 2048), 0);
    EXPECT_EQ(r.SetRates(48000.0f, 16000.0f, 0), 0);
    EXPECT_EQ(r.SetRates(1e9f, 1.0f, 2048), 0);     // step would overflow the 16.16 phase
    EXPECT_EQ(r.SetRates(1.0f, 1000.0f, 2048), 0);  // step below 1/256
    EXPECT_EQ(r.GetInRate(), 48000.0f);
    EXPECT_EQ(r.GetOutRate(), 16000.0f);
    uint32_t n = 99;
    EXPECT_EQ(r.Process(nullptr, 10, &n), nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(r.Process(nullptr, 0, &n), nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(r.SetRates(48000.0f, 16000.0f, (1u << 20) + 1), 0);
    // At the largest upsampling (step 1/256) 2^22 + 1 inputs would need more than 2^31 bytes
    // of output: refused before a single sample is read.
    ASSERT_EQ(r.SetRates(8000.0f, 8000.0f * 256, 2048), 1);
    const uint32_t huge = (1u << 22) + 1;
    std::vector<int16_t> big(huge, 1);
    EXPECT_EQ(r.Process(big.data(), huge, &n), nullptr);
    EXPECT_EQ(n, 0u);
    // Still usable afterwards.
    EXPECT_NE(r.Process(big.data(), 16, &n), nullptr);
    EXPECT_EQ(n, 16u * 256);
}

TEST(Resampler, SetRatesClearsHistory) {
    const std::vector<int16_t> x = Sine16(48000.0, 500.0, 10000.0, 4096);
    CResampler fresh, used;
    Resample(used, x, 1000);
    used.SetRates(48000.0f, 16000.0f, 2048);
    EXPECT_EQ(Resample(used, x, 2048), Resample(fresh, x, 2048));
}
