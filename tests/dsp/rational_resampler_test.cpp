#include "dsp/rational_resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/test_signals.h"

namespace {

RationalResamplerPtr Make(int taps, float in, float out) {
    RationalResamplerPtr r(RationalResamplerCreate(nullptr));
    EXPECT_TRUE(r);
    if (r) {
        EXPECT_EQ(RationalResamplerConfigure(r.get(), taps, in, out, 0.01f), 1);
    }
    return r;
}

// Feeds x in pieces of `chunk` values into out16 buffers sized exactly for the documented
// maximum, with a guard zone after each that must stay untouched.
std::vector<int16_t> Resample(RationalResampler* r, const std::vector<int16_t>& x, size_t chunk) {
    std::vector<int16_t> out;
    const int16_t kGuard = 0x5A5A;
    for (size_t i = 0; i < x.size(); i += chunk) {
        const uint32_t n = static_cast<uint32_t>(std::min(chunk, x.size() - i));
        // Run splits n into blocks; each block may give its own maximum.
        uint32_t room = 0;
        for (uint32_t left = n; left; left -= std::min(left, r->blockSize))
            room += RationalResamplerMaxOutput(r, std::min(left, r->blockSize));
        std::vector<int16_t> buffer(room + 16, kGuard);
        const uint32_t produced = RationalResamplerRun(r, buffer.data(), x.data() + i, n, 1);
        EXPECT_LE(produced, room);
        for (size_t g = room; g < buffer.size(); ++g) EXPECT_EQ(buffer[g], kGuard);
        out.insert(out.end(), buffer.begin(), buffer.begin() + produced);
    }
    return out;
}

}  // namespace

TEST(RationalResampler, ChoosesTheSmallestFittingRatio) {
    struct Case {
        float in, out;
        uint32_t L, M, taps;
    } cases[] = {
        {48000.0f, 1378.0f, 1, 35, 127},  // 1371.4 Hz, 0.48 % off
        {48000.0f, 2688.0f, 1, 18, 127},  // 2666.7 Hz, 0.79 % off
        {16000.0f, 1378.0f, 2, 23, 255},  // L = 1 would be 3.3 % off; 1391.3 Hz, 0.96 % off
        {1000.0f, 2688.0f, 8, 3, 1017},   // 2666.7 Hz: the first L within 1 % is 8
        {8000.0f, 8000.0f, 1, 1, 127},
    };
    for (const Case& c : cases) {
        RationalResamplerPtr r = Make(127, c.in, c.out);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->L, c.L) << c.in << " -> " << c.out;
        EXPECT_EQ(r->M, c.M) << c.in << " -> " << c.out;
        EXPECT_EQ(r->totalTaps, c.taps) << c.in << " -> " << c.out;
    }
}

TEST(RationalResampler, RefusesUnsafeArgumentsAndKeepsItsConfiguration) {
    RationalResamplerPtr r = Make(127, 48000.0f, 1378.0f);
    ASSERT_TRUE(r);
    EXPECT_EQ(RationalResamplerConfigure(r.get(), 127, 48000.0f, 1378.0f, 0.0f), 0);
    EXPECT_EQ(RationalResamplerConfigure(r.get(), 127, 48000.0f, 1378.0f, -1.0f), 0);
    EXPECT_EQ(RationalResamplerConfigure(r.get(), 127, 0.0f, 1378.0f, 0.01f), 0);
    EXPECT_EQ(RationalResamplerConfigure(r.get(), 127, 48000.0f, -5.0f, 0.01f), 0);
    EXPECT_EQ(RationalResamplerConfigure(r.get(), 0, 48000.0f, 1378.0f, 0.01f), 0);
    EXPECT_EQ(RationalResamplerConfigure(r.get(), 127, std::nanf(""), 1378.0f, 0.01f), 0);
    // No ratio of small integers is that close: the bounded search gives up.
    EXPECT_EQ(RationalResamplerConfigure(r.get(), 127, 48000.0f, 1378.0f, 1e-9f), 0);
    EXPECT_EQ(r->L, 1u);
    EXPECT_EQ(r->M, 35u);
    EXPECT_EQ(RationalResamplerSetBlockSize(r.get(), 0), 0);
    EXPECT_EQ(RationalResamplerSetBlockSize(r.get(), (1u << 20) + 1), 0);
    EXPECT_EQ(r->blockSize, 1024u);
    EXPECT_EQ(RationalResamplerRun(r.get(), nullptr, Sine16(48000, 100, 1000, 10).data(), 10, 0), 0u);
}

TEST(RationalResampler, InBandSineKeepsItsLevelAndShape) {
    // The pass band ends at 0.85 of the lower Nyquist frequency; the Blackman transition is
    // about 5.5 / taps of the filter rate wide on each side of it, so "in band" is below
    // 0.85 * Nyquist - 2.75 * rate * L / taps. Gain within 0.2 dB, everything else (aliases,
    // ripple, 16-bit rounding) at least 60 dB down.
    struct Case {
        float in, out;
        double tone;
    } cases[] = {
        {48000.0f, 16000.0f, 1000.0},  // L 1, M 3: band to about 5.8 kHz
        {16000.0f, 2688.0f, 300.0},    // L 1, M 6: 127 taps, band to about 790 Hz
        {8000.0f, 11025.0f, 1000.0},   // upsampling, L > 1
        {16000.0f, 1378.0f, 100.0},    // the CTCSS path at 16 kHz, L 2, M 23
    };
    for (const Case& c : cases) {
        RationalResamplerPtr r = Make(127, c.in, c.out);
        ASSERT_TRUE(r);
        const double outRate = static_cast<double>(c.in) * r->L / r->M;
        const std::vector<int16_t> y =
            Resample(r.get(), Sine16(c.in, c.tone, 16000.0, static_cast<size_t>(2 * c.in)), 1024);
        // Skip the filter's start-up: its length at the output rate.
        const size_t skip = static_cast<size_t>(r->totalTaps / r->M) + 2;
        const ToneFit fit = FitTone(y.data(), skip, y.size(), c.tone, outRate);
        EXPECT_NEAR(20.0 * std::log10(fit.amplitude / 16000.0), 0.0, 0.2) << c.in << " -> " << c.out;
        EXPECT_LT(fit.residualDb, -60.0) << c.in << " -> " << c.out;
    }
}

TEST(RationalResampler, ExactCountsAndSameStreamForAnySplit) {
    // Outputs sit at virtual positions k * M below N * L: exactly ceil(N L / M) of them,
    // and each block fits its ceil(n L / M) + 1 buffer (checked by the guard zones).
    const std::vector<int16_t> x = Sine16(16000.0, 211.0, 20000.0, 16000 + 17);
    for (float out : {1378.0f, 2688.0f, 11025.0f, 44100.0f}) {
        RationalResamplerPtr whole = Make(127, 16000.0f, out);
        ASSERT_TRUE(whole);
        const std::vector<int16_t> reference = Resample(whole.get(), x, x.size());
        const uint64_t expected = (static_cast<uint64_t>(x.size()) * whole->L + whole->M - 1) / whole->M;
        EXPECT_EQ(reference.size(), expected) << out;
        for (size_t chunk : {1, 7, 29, 64, 333, 1024, 1025}) {
            RationalResamplerPtr r = Make(127, 16000.0f, out);
            EXPECT_EQ(Resample(r.get(), x, chunk), reference) << out << " chunk " << chunk;
        }
        RationalResamplerPtr small = Make(127, 16000.0f, out);
        ASSERT_EQ(RationalResamplerSetBlockSize(small.get(), 30), 1);
        EXPECT_EQ(Resample(small.get(), x, 1000), reference) << out << " block 30";
        // A block size changed mid-stream keeps the history and the phase.
        RationalResamplerPtr changed = Make(127, 16000.0f, out);
        const std::vector<int16_t> head(x.begin(), x.begin() + 5003), tail(x.begin() + 5003, x.end());
        std::vector<int16_t> joined = Resample(changed.get(), head, 700);
        ASSERT_EQ(RationalResamplerSetBlockSize(changed.get(), 4000), 1);
        const std::vector<int16_t> rest = Resample(changed.get(), tail, 3999);
        joined.insert(joined.end(), rest.begin(), rest.end());
        EXPECT_EQ(joined, reference) << out << " block changed";
    }
}

TEST(RationalResampler, StrideTakesEveryNthValue) {
    // Interleaved stereo: the left channel with stride 2 equals the left channel alone.
    const std::vector<int16_t> left = Sine16(48000.0, 150.0, 9000.0, 5000);
    std::vector<int16_t> stereo(2 * left.size());
    for (size_t i = 0; i < left.size(); ++i) {
        stereo[2 * i] = left[i];
        stereo[2 * i + 1] = static_cast<int16_t>(-left[i] / 3 + 77);
    }
    RationalResamplerPtr a = Make(127, 48000.0f, 1378.0f), b = Make(127, 48000.0f, 1378.0f);
    std::vector<int16_t> outA(2000), outB(2000);
    const uint32_t na = RationalResamplerRun(a.get(), outA.data(), left.data(), static_cast<uint32_t>(left.size()), 1);
    const uint32_t nb =
        RationalResamplerRun(b.get(), outB.data(), stereo.data(), static_cast<uint32_t>(stereo.size()), 2);
    ASSERT_EQ(na, nb);
    outA.resize(na);
    outB.resize(nb);
    EXPECT_EQ(outA, outB);
}

TEST(RationalResampler, BranchesCannotOverflowTheAccumulator) {
    // Each output sums one branch of Q31 taps times 24-bit samples in 64 bits: safe while a
    // branch's absolute tap sum stays below 2^9. Interpolating branches exceed 2.
    for (float out : {1378.0f, 2688.0f, 11025.0f, 44100.0f}) {
        RationalResamplerPtr r = Make(127, 8000.0f, out);
        for (uint32_t p = 0; p < r->L; ++p) {
            double sum = 0.0;
            for (uint32_t k = 0; k < r->phaseTaps; ++k)
                sum += std::fabs(r->taps.GetData()[p * r->phaseTaps + k] / 2147483648.0);
            EXPECT_LT(sum, 512.0) << out << " branch " << p;
        }
    }
    // Full-scale square wave: saturated, never wrapped.
    std::vector<int16_t> x(8000);
    for (size_t i = 0; i < x.size(); ++i) x[i] = (i / 200) % 2 ? -32768 : 32767;
    RationalResamplerPtr r = Make(127, 8000.0f, 11025.0f);
    const std::vector<int16_t> y = Resample(r.get(), x, 1024);
    const double delay = (r->totalTaps - 1) / 2.0 / r->L;  // input samples
    for (size_t j = 0; j < y.size(); ++j) {
        const double position = j * static_cast<double>(r->M) / r->L - delay;
        if (position < 0) continue;
        const double inPeriod = std::fmod(position, 200.0);
        if (inPeriod < 10.0 || inPeriod > 190.0) continue;
        EXPECT_EQ(y[j] > 0, static_cast<int>(position / 200.0) % 2 == 0) << j;
    }
}

TEST(RationalResampler, ResetGivesAFreshStream) {
    const std::vector<int16_t> first = Sine16(16000.0, 440.0, 20000.0, 3001);
    const std::vector<int16_t> second = Sine16(16000.0, 97.0, 15000.0, 2500);
    RationalResamplerPtr used = Make(127, 16000.0f, 2688.0f), fresh = Make(127, 16000.0f, 2688.0f);
    Resample(used.get(), first, 1000);
    RationalResamplerReset(used.get());
    EXPECT_EQ(used->phase, 0u);
    EXPECT_EQ(Resample(used.get(), second, 333), Resample(fresh.get(), second, 333));
}
