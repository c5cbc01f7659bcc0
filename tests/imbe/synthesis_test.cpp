// Speech synthesis, tested by the behaviour of the audio: pitch, spectrum, level, continuity,
// bad-frame handling, determinism and range.
#include "dsp/dsp_math.h"
#include "imbe/imbe_decoder.h"
#include "imbe/imbe_params.h"
#include "tests/support/failure_injection.h"
#include "tests/support/imbe_test_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Decodes frames one after another on one state; collects the PCM.
class Decoder {
public:
    Decoder() { ImbeInit(&state); }

    // Encodes p, flips errors[v] bits of code vector v, decodes; returns the status.
    int Frame(const ImbeTestParams& p, const int* errors = nullptr, int sampleCount = 160) {
        uint8_t channel[144];
        ImbeTestEncodeFrame(p, channel);
        if (errors) ImbeTestAddErrors(channel, errors, static_cast<uint32_t>(frames));
        return Channel(channel, sampleCount);
    }
    int Channel(const uint8_t* channel, int sampleCount = 160) {
        ImbeFrame f{};
        std::memcpy(f.bits, channel, 144);
        f.sampleCount = static_cast<int16_t>(sampleCount);
        f.softBits = 1;
        ImbeFecDecode(&f, &state);
        ImbeDecode(&f, &state);
        pcm.insert(pcm.end(), f.pcm, f.pcm + f.sampleCount);
        ++frames;
        return f.status;
    }

    ImbeDecoderState state;
    std::vector<int16_t> pcm;
    int frames = 0;
};

double Rms(const std::vector<int16_t>& s, size_t from, size_t to) {
    double e = 0;
    for (size_t i = from; i < to; ++i) e += double(s[i]) * s[i];
    return std::sqrt(e / double(to - from));
}

double Db(double ratio) { return 20 * std::log10(ratio); }

// Period in samples from the normalised autocorrelation peak, refined by a parabola.
double PitchPeriod(const std::vector<int16_t>& s, size_t from) {
    auto corr = [&](int lag) {
        double c = 0, a = 0, b = 0;
        for (size_t i = from; i + lag < s.size(); ++i) {
            c += double(s[i]) * s[i + lag];
            a += double(s[i]) * s[i];
            b += double(s[i + lag]) * s[i + lag];
        }
        return c / std::sqrt(a * b);
    };
    // Multiples of the period correlate almost as well: take the first local peak that comes
    // within 10 % of the largest.
    std::vector<double> r(132, 0.0);
    double top = -2;
    for (int lag = 18; lag <= 131; ++lag) top = std::max(top, r[lag] = corr(lag));
    int best = 20;
    for (int lag = 20; lag <= 130; ++lag) {
        if (r[lag] >= 0.9 * top && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
            best = lag;
            break;
        }
    }
    const double left = r[best - 1], centre = r[best], right = r[best + 1];
    return best + 0.5 * (left - right) / (left - 2 * centre + right);
}

// Largest sample-to-sample step inside the frames: joints (multiples of `frame`, and of
// frame / 2 when `halves`) are left out so they can be compared against it.
int MaxStep(const std::vector<int16_t>& s, size_t from, size_t to, size_t frame = 160, bool halves = false) {
    int m = 0;
    for (size_t i = std::max<size_t>(from, 1); i < to; ++i) {
        if (i % frame == 0 || (halves && i % frame == frame / 2)) continue;
        m = std::max(m, std::abs(s[i] - s[i - 1]));
    }
    return m;
}

}  // namespace

TEST(ImbeSynthesis, VoicedFramesHaveTheirPitch) {
    for (double hz : {90.0, 125.0, 160.0, 210.0, 300.0}) {
        Decoder d;
        ImbeTestQuantizer q;
        ImbeTestParams p = q.Flat(hz, true, 4);
        for (int i = 0; i < 30; ++i) d.Frame(q.Flat(hz, true, 4));
        const double f0 = ImbeTestFundamentalHz(p.fundamentalCode);
        const double period = PitchPeriod(d.pcm, 1600);
        EXPECT_NEAR(f0, 8000.0 / period, 0.01 * f0) << "f0 " << f0;
    }
}

TEST(ImbeSynthesis, UnvoicedFramesGiveFlatNoise) {
    // A flat target quantises to amplitudes within about half an octave of it; averaged over
    // the harmonics of a 500 Hz band and 60 frames the band powers agree within 3 dB.
    for (double hz : {100.0, 200.0}) {
        Decoder d;
        ImbeTestQuantizer q;
        for (int i = 0; i < 80; ++i) d.Frame(q.Flat(hz, false, 4));
        const size_t from = 20 * 160;
        std::vector<double> power(128, 0.0);
        int segments = 0;
        for (size_t o = from; o + 256 <= d.pcm.size(); o += 128, ++segments) {
            for (int k = 0; k < 128; ++k) {
                std::complex<double> x = 0;
                for (int n = 0; n < 256; ++n)
                    x += (0.5 - 0.5 * std::cos(2 * kPi * n / 256)) * d.pcm[o + n] *
                         std::polar(1.0, -2 * kPi * k * n / 256);
                power[k] += std::norm(x);
            }
        }
        std::vector<double> bands;
        for (int b = 8; b < 112; b += 16) {  // 250 .. 3500 Hz in 500 Hz bands
            double e = 0;
            for (int k = b; k < b + 16; ++k) e += power[k];
            bands.push_back(10 * std::log10(e));
        }
        double mean = 0;
        for (double v : bands) mean += v / bands.size();
        for (size_t i = 0; i < bands.size(); ++i) EXPECT_NEAR(mean, bands[i], 3.0) << hz << " Hz, band " << i;
        // Noise-like: zeroing the lowest 3 and the top 7 of 128 bins removes 10/128 of a flat
        // spectrum, which leaves |r| up to 0.08 at any lag; the estimate over 9600 samples has
        // a standard deviation of 1/sqrt(9600) = 0.01. 0.15 is 0.08 plus 7 deviations.
        for (int lag = 1; lag <= 120; ++lag) {
            double c = 0, e = 0;
            for (size_t i = from; i + lag < d.pcm.size(); ++i) {
                c += double(d.pcm[i]) * d.pcm[i + lag];
                e += double(d.pcm[i]) * d.pcm[i];
            }
            EXPECT_LT(std::fabs(c / e), 0.15) << hz << " Hz, lag " << lag;
        }
    }
}

TEST(ImbeSynthesis, FullyVoicedFramesCarryNoNoise) {
    // With every harmonic voiced every noise bin is zeroed (below the first band, the bands,
    // above the last one), so the noise generator's seed cannot change a sample; with one
    // band unvoiced it must.
    for (double hz : {95.0, 140.0, 230.0}) {
        for (bool allVoiced : {true, false}) {
            std::vector<int16_t> out[2];
            for (int run = 0; run < 2; ++run) {
                Decoder d;
                d.state.noiseSeed = static_cast<uint16_t>(run * 12345);
                ImbeTestQuantizer q;
                for (int i = 0; i < 8; ++i) {
                    ImbeTestParams p = q.Flat(hz, true, 5);
                    if (!allVoiced) p.voicing &= static_cast<uint16_t>(~2u);  // band 2 unvoiced
                    ASSERT_EQ(0, d.Frame(p));
                }
                out[run] = d.pcm;
            }
            if (allVoiced) {
                EXPECT_EQ(out[0], out[1]) << hz << " Hz";
            } else {
                EXPECT_NE(out[0], out[1]) << hz << " Hz";
            }
        }
    }
}

TEST(ImbeSynthesis, LevelFollowsTheGainIndex) {
    // The gain level is the mean log2 amplitude: a step of x octaves is 6.02 x dB of output.
    // The enhancement keeps the energy, so only the residual quantisation (< 1.5 dB) remains.
    for (bool voiced : {true, false}) {
        double previousDb = 0;
        int previousCode = -1;
        for (int code : {16, 24, 32, 40, 48}) {
            Decoder d;
            for (int i = 0; i < 20; ++i) d.Frame(ImbeTestFlatParams(150, voiced, code));
            double db = Db(Rms(d.pcm, 800, d.pcm.size()));
            if (previousCode >= 0) {
                double want = 6.02 * (kImbeGainLevels[code] - kImbeGainLevels[previousCode]) / 2048.0;
                EXPECT_NEAR(want, db - previousDb, 1.5) << "voiced " << voiced << " code " << code;
            }
            previousDb = db;
            previousCode = code;
        }
    }
}

TEST(ImbeSynthesis, BadFramesRepeatThenMuteThenRecover) {
    const int fourInC0[7] = {4, 0, 0, 0, 0, 0, 0};
    Decoder d;
    ImbeTestQuantizer q;
    for (int i = 0; i < 20; ++i) ASSERT_EQ(0, d.Frame(q.Flat(150, true, 5)));
    const double speech = Rms(d.pcm, 10 * 160, 20 * 160);
    const size_t badStart = d.pcm.size();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(0x24, d.Frame(q.Flat(150, true, 5), fourInC0));
    // Repeats continue the sound at its level and without steps.
    EXPECT_NEAR(0.0, Db(Rms(d.pcm, badStart, d.pcm.size()) / speech), 2.0);
    const int slope = MaxStep(d.pcm, 10 * 160, 20 * 160);
    for (size_t b = badStart; b < d.pcm.size(); b += 160) EXPECT_LE(std::abs(d.pcm[b] - d.pcm[b - 1]), slope);
    // The fourth bad frame is muted to quiet noise; the voice fades out up to sample 105,
    // so the level is measured after that.
    EXPECT_EQ(0x24, d.Frame(q.Flat(150, true, 5), fourInC0));
    const double muted = Rms(d.pcm, d.pcm.size() - 55, d.pcm.size());
    EXPECT_GT(muted, 0.0);
    EXPECT_LT(Db(muted / speech), -30.0);
    // The next good frames decode normally again.
    q.Reset();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(0, d.Frame(q.Flat(150, true, 5)));
    EXPECT_NEAR(0.0, Db(Rms(d.pcm, d.pcm.size() - 160, d.pcm.size()) / speech), 3.0);
}

TEST(ImbeSynthesis, CorrectableErrorsGiveIdenticalSpeech) {
    // Up to three errors per frame within the codes' capacity, at most every 20th frame, keep
    // the smoothed rate near 0.05 * 3/137 = 0.0011 (36 in Q15), below the smoothing's 165.
    std::mt19937 rng(41);
    Decoder clean, noisy;
    ImbeTestQuantizer q;
    for (int i = 0; i < 60; ++i) {
        double hz = 100 + 3 * i;
        int b0 = ImbeTestFundamentalCode(hz);
        std::vector<double> target(ImbeTestHarmonicCount(b0));
        for (double& v : target) v = 2 + 3 * std::sin(0.3 * (&v - target.data()) + 0.1 * i);
        uint16_t voicing = static_cast<uint16_t>(rng() & ((1 << ImbeTestBandCount(b0)) - 1));
        ImbeTestParams p = q.Quantize(b0, target.data(), voicing);
        int errors[7] = {};
        if (i % 20 == 7) {
            errors[0] = 1;
            errors[2] = 1;
            errors[5] = 1;
        }
        ASSERT_EQ(0, clean.Frame(p));
        ASSERT_EQ(0, noisy.Frame(p, errors));
        ASSERT_LT(noisy.state.errorRate, 165);
    }
    EXPECT_GT(noisy.state.errorRate, 0);
    EXPECT_EQ(clean.pcm, noisy.pcm);
}

TEST(ImbeSynthesis, ManyErrorsTriggerTheSmoothing) {
    // One loud unvoiced harmonic (2^12) among quiet ones (2^6). With four corrected errors,
    // one of them in c4, the voicing threshold is 1.414 S_E^0.375, about 2^9.5 here, so the
    // loud harmonic is rendered voiced; without errors nothing changes.
    const int b0 = ImbeTestFundamentalCode(150);
    const int l = ImbeTestHarmonicCount(b0);
    std::vector<double> target(l, 6.0);
    target[4] = 12.0;
    const int errors[7] = {0, 3, 0, 0, 1, 0, 0};
    for (bool withErrors : {false, true}) {
        Decoder d;
        ImbeTestQuantizer q;
        for (int i = 0; i < 30; ++i) d.Frame(q.Quantize(b0, target.data(), 0), withErrors ? errors : nullptr);
        EXPECT_EQ(withErrors ? 1 : 0, d.state.lastParams.voiced[4]);
        for (int h = 10; h < l; ++h) EXPECT_EQ(0, d.state.lastParams.voiced[h]) << h;
    }
}

TEST(ImbeSynthesis, SmoothingStartsAtAnErrorRateOf165) {
    // An error-free frame updates the rate to (r * 62260) >> 16: 174 gives 165, 173 gives 164.
    // At 165 (no errors in c4) the threshold is 45.255 S_E^0.375 2^(-400 * 165/32768), about
    // 11.2 S_E^0.375. Eight clean frames build up a loud unvoiced harmonic (2^13 among 2^2);
    // with S_E then set to its floor (8191.75), the last frame's S_E is 0.95 * 8192 +
    // 0.05 M^2, so for M near 2^13 the threshold is about 3000: the loud harmonic becomes
    // voiced. At 164 nothing is smoothed.
    const int b0 = ImbeTestFundamentalCode(150);
    std::vector<double> target(ImbeTestHarmonicCount(b0), 2.0);
    target[4] = 13.0;
    for (int rate : {173, 174}) {
        Decoder d;
        ImbeTestQuantizer q;
        for (int i = 0; i < 8; ++i) ASSERT_EQ(0, d.Frame(q.Quantize(b0, target.data(), 0)));
        ASSERT_EQ(0, d.state.errorRate);
        ASSERT_EQ(0, d.state.lastParams.voiced[4]);
        d.state.errorRate = static_cast<int16_t>(rate);
        d.state.energy = 32767;
        d.state.energyExponent = -17;
        ASSERT_EQ(0, d.Frame(q.Quantize(b0, target.data(), 0)));
        ASSERT_EQ(rate == 174 ? 165 : 164, d.state.errorRate);
        EXPECT_EQ(rate == 174 ? 1 : 0, d.state.lastParams.voiced[4]) << "rate " << rate;
        for (int h = 0; h < ImbeTestHarmonicCount(b0); ++h) {
            if (h == 4) continue;
            EXPECT_EQ(0, d.state.lastParams.voiced[h]) << "harmonic " << h + 1;
        }
    }
}

TEST(ImbeSynthesis, PitchChangesOfOneFifthOrMoreFadeInsteadOfSweeping) {
    // Fundamental codes: b0 100 gives 7516 (Q19), 73 gives 9320 and 72 gives 9404. The low
    // harmonics sweep while |f - f_prev| < 0.2 f: 1804 < 1864 for 73, 1888 > 1880.8 for 72.
    // Without a sweep the previous harmonics play on unchanged up to sample 54 and the new ones
    // only start there, so the first 55 samples do not depend on the new frame at all (the
    // sounds are fully voiced, so the noise part is silent).
    auto decode = [](int nextCode) {
        Decoder d;
        ImbeTestQuantizer q;
        const int codes[2] = {100, nextCode};
        for (int i = 0; i < 11; ++i) {
            const int b0 = codes[i / 10];
            std::vector<double> target(ImbeTestHarmonicCount(b0), 5.0);
            const uint16_t voiced = static_cast<uint16_t>((1 << ImbeTestBandCount(b0)) - 1);
            EXPECT_EQ(0, d.Frame(q.Quantize(b0, target.data(), voiced)));
        }
        return std::vector<int16_t>(d.pcm.end() - 160, d.pcm.end() - 105);
    };
    const std::vector<int16_t> fade = decode(72), farther = decode(60), sweep = decode(73);
    EXPECT_EQ(fade, farther);
    int largest = 0;
    for (size_t i = 0; i < fade.size(); ++i) largest = std::max(largest, std::abs(fade[i] - sweep[i]));
    // The sweep moves the low harmonics' frequency and phase from the first sample on, by a
    // sizeable part of a cycle within these samples: far more than rounding.
    EXPECT_GT(largest, 100) << largest;
}

TEST(ImbeSynthesis, OneAndTwoPieceFramesRenderWithoutGaps) {
    for (int count : {160, 204, 205, 206, 207, 240}) {
        Decoder d;
        ImbeTestQuantizer q;
        for (int i = 0; i < 12; ++i) d.Frame(q.Flat(180, true, 6), nullptr, count);
        ASSERT_EQ(size_t(12 * count), d.pcm.size());
        const int slope = MaxStep(d.pcm, 2 * count, 6 * count, count, count > 205);
        ASSERT_GT(slope, 0);
        int zeroRun = 0, longest = 0;
        for (size_t i = 2 * count; i < d.pcm.size(); ++i) {
            ASSERT_LT(std::abs(d.pcm[i]), 32767) << "count " << count;
            zeroRun = d.pcm[i] == 0 ? zeroRun + 1 : 0;
            longest = std::max(longest, zeroRun);
        }
        EXPECT_LE(longest, 2) << "count " << count;
        // The joints between frames and between the two pieces are no steeper than the signal.
        // This loud 20-harmonic sound steps by up to 8700 between samples, so where a joint
        // meets its peak slope is chance: 10 % margin; a lost phase or gap steps far more.
        const int limit = slope + slope / 10;
        for (int f = 2; f < 12; ++f) EXPECT_LE(std::abs(d.pcm[f * count] - d.pcm[f * count - 1]), limit) << count;
        if (count > 205) {
            for (int f = 2; f < 12; ++f)
                EXPECT_LE(std::abs(d.pcm[f * count + count / 2] - d.pcm[f * count + count / 2 - 1]), limit) << count;
        }
    }
}

TEST(ImbeSynthesis, RandomFramesNeverClip) {
    // Random channel bits (mostly repeats and mutes) and random valid parameter frames of the
    // lower 24 gain levels (up to 0.9 octaves; real speech sits at 1 to 6 octaves with a far
    // smoother spectrum than random coefficients give, whose peaks clip above these levels).
    // Channel bits that happen to decode carry any gain: they, their repeats and the frame they
    // fade out in are not counted.
    std::mt19937 rng(42);
    Decoder d;
    int normal = 0, clipped = 0;
    bool anyGain = false;
    for (int i = 0; i < 10000; ++i) {
        uint8_t channel[144];
        if (i % 2) {
            for (uint8_t& b : channel) b = static_cast<uint8_t>(rng() & 1);
        } else {
            ImbeTestParams p = ImbeTestRandomParams(static_cast<int>(rng() % 208), rng);
            p.gainCode %= 24;
            ImbeTestEncodeFrame(p, channel);
        }
        const int status = d.Channel(channel);
        const bool fading = anyGain;  // the previous sound fades out in this frame
        if (status == 0) anyGain = i % 2;
        normal += status == 0;
        for (size_t k = d.pcm.size() - 160; k < d.pcm.size() && !anyGain && !fading; ++k)
            clipped += d.pcm[k] == 32767 || d.pcm[k] == -32768;
    }
    EXPECT_GT(normal, 2000);
    EXPECT_EQ(0, clipped);
}

TEST(ImbeSynthesis, ReinitialisedDecoderRepeatsItsOutputExactly) {
    // The decoder's whole state lives in its record: a second decoder, and the first one after
    // re-initialisation, give the same samples for the same frames, bit for bit.
    auto run = [](Decoder& d, std::vector<int16_t>* out) {
        std::mt19937 rng(43);
        const int fourInC0[7] = {4, 0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 200; ++i) {
            ImbeTestParams p = ImbeTestRandomParams(static_cast<int>(rng() % 208), rng);
            d.Frame(p, i % 17 == 5 ? fourInC0 : nullptr, i % 23 == 3 ? 240 : 160);
        }
        *out = d.pcm;
    };
    Decoder a, b;
    std::vector<int16_t> first, second;
    run(a, &first);
    run(b, &second);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, second);
    Decoder c;
    std::vector<int16_t> other;
    run(c, &other);
    ImbeInit(&c.state);  // a used state, initialised again
    c.pcm.clear();
    c.frames = 0;
    run(c, &other);
    EXPECT_EQ(first, other);
}

TEST(ImbeSynthesis, NeedsNoHeap) {
    // The vocoder keeps everything in its state record and the frame: with every allocation
    // failing it gives the same samples, bit for bit.
    std::mt19937 rng(7);
    std::vector<std::array<uint8_t, 144>> channels(60);
    for (auto& c : channels) ImbeTestEncodeFrame(ImbeTestRandomParams(static_cast<int>(rng() % 208), rng), c.data());
    Decoder want, got;
    got.pcm.reserve(160 * channels.size());  // the test's own storage, taken before
    for (const auto& c : channels) want.Channel(c.data());
    ForEachFailingAllocation(0, [&](int) {
        for (const auto& c : channels) got.Channel(c.data());
        return true;
    });
    if (!IsSkipped()) {
        EXPECT_EQ(want.pcm, got.pcm);
    }
}
