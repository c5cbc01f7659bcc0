#include "dsp/fir_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "dsp/cpu_features.h"
#include "dsp/fft_window.h"
#include "dsp/mmx_fir_filter.h"
#include "tests/support/test_signals.h"

namespace {

const double kRate = 48000.0;

// |H(f)| of the taps, evaluated directly in double (independent of the filter's FFT).
double GainDb(const float* taps, int n, double hz, double rate = kRate) {
    std::complex<double> sum = 0.0;
    for (int j = 0; j < n; ++j) sum += double(taps[j]) * std::polar(1.0, -2 * kPi * hz * j / rate);
    return 20 * std::log10(std::abs(sum) + 1e-300);
}

std::unique_ptr<CFirFilter> MakeFilter(bool fixedPoint, int type, float hz, float bandwidth = 1000, int taps = 512,
                                       int window = kWindowHanning) {
    std::unique_ptr<CFirFilter> f(fixedPoint ? new CMmxFirFilter : new CFirFilter);
    EXPECT_EQ(1, f->SetTaps(taps));
    EXPECT_EQ(1, f->SetType(type));
    EXPECT_EQ(1, f->SetWindow(window));
    EXPECT_EQ(1, f->SetFrequency(hz));
    EXPECT_EQ(1, f->SetBandwidth(bandwidth));
    return f;
}

std::vector<float> Noise(int n, unsigned seed, float amplitude = 0.5f) {
    std::vector<float> v(n);
    uint32_t s = seed;
    for (float& x : v) {
        s = s * 1664525u + 1013904223u;
        x = amplitude * (static_cast<int32_t>(s) / 2147483648.0f);
    }
    return v;
}

TEST(FirFilter, SettersAcceptTheirRangesOnly) {
    for (bool fixed : {false, true}) {
        std::unique_ptr<CFirFilter> f(fixed ? new CMmxFirFilter : new CFirFilter);
        // {value, accepted, then shown}: a refused value leaves the one accepted before.
        auto check = [&](const char* name, auto set, auto get, std::initializer_list<std::array<double, 3>> rows) {
            for (const auto& r : rows) {
                EXPECT_EQ(r[1], set(r[0])) << name << " " << r[0];
                EXPECT_EQ(r[2], get()) << name << " " << r[0];
            }
        };
        check(
            "taps", [&](double v) { return f->SetTaps(int(v)); }, [&] { return f->GetTaps(); },
            {{16384, 1, 16384}, {0, 0, 16384}, {16385, 0, 16384}, {1, 1, fixed ? 16.0 : 1.0}});
        check(
            "fft", [&](double v) { return f->SetFFTSize(int(v)); }, [&] { return f->GetFFTSize(); },
            {{128, 1, 128}, {127, 0, 128}, {65537, 0, 128}, {65536, 1, 65536}});
        check(
            "type", [&](double v) { return f->SetType(int(v)); }, [&] { return f->GetType(); },
            {{4, 1, 4}, {-1, 0, 4}, {5, 0, 4}});
        check(
            "frequency", [&](double v) { return f->SetFrequency(float(v)); }, [&] { return f->GetFrequency(); },
            {{23999, 1, 23999}, {23999, 1, 23999}, {0, 0, 23999}, {24000, 0, 23999}});
        check(
            "bandwidth", [&](double v) { return f->SetBandwidth(float(v)); }, [&] { return f->GetBandwidth(); },
            {{20000, 1, 20000}, {0, 0, 20000}, {24000, 0, 20000}});
        check(
            "window", [&](double v) { return f->SetWindow(int(v)); }, [&] { return f->GetWindow(); },
            {{10, 1, 10}, {-1, 0, 10}, {11, 0, 10}});
        check(
            "deemphasis", [&](double v) { return f->SetDeemphasis(float(v)); }, [&] { return f->GetDeemphasis(); },
            {{-100, 1, -100}, {0.5, 0, -100}, {-100.5, 0, -100}});
        check(
            "rate", [&](double v) { return f->SetSampleRate(float(v)); }, [&] { return f->GetSampleRate(); },
            {{48000, 1, 48000}, {999, 0, 48000}});
        // Lowering the rate pulls the frequency and bandwidth below the new Nyquist.
        EXPECT_EQ(1, f->SetSampleRate(16000));
        EXPECT_EQ(7999, f->GetFrequency());
        EXPECT_EQ(7999, f->GetBandwidth());
        EXPECT_EQ(0, f->SetFrequency(8000));
        EXPECT_EQ(1, f->SetSampleRate(1000));
        EXPECT_EQ(499, f->GetFrequency());
    }
    CMmxFirFilter m;
    EXPECT_EQ(1, m.SetTaps(17));
    EXPECT_EQ(32, m.GetTaps());
}

TEST(FirFilter, NoTapsAndTypeNonePassTheSignalThrough) {
    for (bool fixed : {false, true}) {
        std::unique_ptr<CFirFilter> f(fixed ? new CMmxFirFilter : new CFirFilter);
        std::vector<float> x = Noise(300, 1), y = x;
        f->Process(y.data(), 300);  // no taps yet
        EXPECT_EQ(x, y);
        EXPECT_EQ(1, f->SetTaps(64));
        EXPECT_EQ(1, f->Design(true));  // type 0
        f->Process(y.data(), 300);
        EXPECT_EQ(x, y);
        int length = 0;
        const float* response = f->GetResponse(&length);
        ASSERT_NE(nullptr, response);
        EXPECT_EQ(8192 / 2 + 1, length);
        EXPECT_NEAR(0.0, response[0], 1e-4);
        EXPECT_NEAR(0.0, response[length / 3], 1e-4);
        std::vector<int16_t> s = {1, -2, 32767, -32768};
        f->ProcessInt16(s.data(), 4);
        EXPECT_EQ((std::vector<int16_t>{1, -2, 32767, -32768}), s);
        f->Process(nullptr, 10);  // no crash
        f->Process(y.data(), 0);
        EXPECT_EQ(nullptr, f->GetResponse(nullptr));
    }
}

TEST(FirFilter, ImpulseGivesTheTapsAndTheirTransformIsTheResponse) {
    for (bool fixed : {false, true}) {
        auto f = MakeFilter(fixed, kFilterLowPass, 3000, 1000, 128);
        const int taps = f->GetTaps();
        std::vector<float> x(taps + 20, 0.0f);
        x[0] = 1.0f;
        f->ProcessPrecise(x.data(), static_cast<int>(x.size()));
        const float* h = f->GetCoefficients();
        ASSERT_NE(nullptr, h);
        for (int j = 0; j < taps; ++j) {
            // The 16-bit variant runs the taps mirrored; Q15 taps and input are within 2^-15.
            float expected = fixed ? h[taps - 1 - j] : h[j];
            EXPECT_NEAR(expected, x[j], fixed ? 1e-4 : 1e-7) << j;
        }
        for (int j = taps; j < taps + 20; ++j) EXPECT_EQ(0.0f, x[j]);
        if (fixed) {
            const int16_t* c16 = static_cast<CMmxFirFilter*>(f.get())->GetCoefficients16();
            for (int j = 0; j < taps; ++j) EXPECT_EQ(int16_t(std::trunc(32767.0 * h[j])), c16[j]);
        }

        ASSERT_EQ(1, f->Design(true));
        int length = 0;
        const float* response = f->GetResponse(&length);
        ASSERT_EQ(4097, length);
        for (int k = 0; k < length; k += 97) {
            double model = GainDb(h, taps, k * kRate / 8192);
            // Float transform: exact to 0.01 dB down to -60 dB.
            if (model > -60) {
                EXPECT_NEAR(model, response[k], 0.01) << k;
            }
        }
    }
}

// Mask of each default design: 512 Hann-windowed taps at 48 kHz. The window's main lobe spans
// +-2 bins of 48000/512 Hz, so the band edges blur over about +-190 Hz; outside 500 Hz from an
// edge the pass band is flat within 0.1 dB and the Hann sidelobes keep the stop band below
// -40 dB (a windowed brick wall reaches about -44 dB).
TEST(FirFilter, DefaultDesignsMeetTheirMasks) {
    struct Case {
        int type;
        float hz, bandwidth;
        std::vector<double> pass, stop;
    };
    const Case cases[] = {
        {kFilterLowPass, 3000, 1000, {0, 500, 1500, 2500}, {3500, 5000, 12000, 23000}},
        {kFilterHighPass, 3000, 1000, {3500, 6000, 12000, 20000}, {0, 1000, 2500}},
        {kFilterBandPass, 12000, 4000, {10500, 12000, 13500}, {0, 6000, 9500, 14500, 20000}},
        {kFilterBandStop, 12000, 4000, {2000, 8000, 9000, 15000, 16000, 22000}, {11000, 12000, 13000}},
    };
    for (const Case& c : cases) {
        auto f = MakeFilter(false, c.type, c.hz, c.bandwidth);
        ASSERT_EQ(1, f->Design(false));
        const float* h = f->GetCoefficients();
        // The band-stop keeps a wider blur: its bins carry a quarter-turn phase, whose
        // truncated impulse response decays slower than the linear-phase one.
        double stopLimit = c.type == kFilterBandStop ? -25 : -40;
        double passTolerance = c.type == kFilterBandStop ? 0.5 : 0.1;
        for (double hz : c.pass) EXPECT_NEAR(0.0, GainDb(h, 512, hz), passTolerance) << c.type << " " << hz;
        for (double hz : c.stop) EXPECT_LT(GainDb(h, 512, hz), stopLimit) << c.type << " " << hz;
    }
}

TEST(FirFilter, DeemphasisSlopesFromTheBottomOfTheVoiceBand) {
    auto f = MakeFilter(false, kFilterLowPass, 3400, 1000, 1024);
    ASSERT_EQ(1, f->SetDeemphasis(-6));
    ASSERT_EQ(1, f->Design(false));
    const float* h = f->GetCoefficients();
    // -6 dB per octave above 300 Hz, flat below; peak 1.
    EXPECT_NEAR(0.0, GainDb(h, 1024, 150), 0.3);
    EXPECT_NEAR(-6.0, GainDb(h, 1024, 600), 0.3);
    EXPECT_NEAR(-12.0, GainDb(h, 1024, 1200), 0.3);
    EXPECT_NEAR(-18.0, GainDb(h, 1024, 2400), 0.3);
    EXPECT_LT(GainDb(h, 1024, 5000), -50);

    auto b = MakeFilter(false, kFilterBandPass, 1500, 2000, 1024);
    ASSERT_EQ(1, b->SetDeemphasis(-6));
    ASSERT_EQ(1, b->Design(false));
    // Band 500..2500 Hz, referenced to its lower edge.
    EXPECT_NEAR(0.0, GainDb(b->GetCoefficients(), 1024, 600), 0.5);
    EXPECT_NEAR(-6.0, GainDb(b->GetCoefficients(), 1024, 1200), 0.5);
}

TEST(FirFilter, AllStopBandStopGivesSilenceNotNaN) {
    for (bool fixed : {false, true}) {
        auto f = MakeFilter(fixed, kFilterBandStop, 12000, 23999);
        std::vector<float> x = Noise(1000, 3);
        f->Process(x.data(), 1000);
        for (float v : x) ASSERT_EQ(0.0f, v);
    }
}

TEST(FirFilter, MoreTapsThanTheTransformEnlargeTheDesign) {
    auto f = MakeFilter(false, kFilterLowPass, 3000, 1000, 512);
    ASSERT_EQ(1, f->SetFFTSize(128));
    ASSERT_EQ(1, f->Design(true));
    int length = 0;
    ASSERT_NE(nullptr, f->GetResponse(&length));
    EXPECT_EQ(1024 / 2 + 1, length);
    EXPECT_NEAR(0.0, GainDb(f->GetCoefficients(), 512, 1000), 0.1);
    EXPECT_LT(GainDb(f->GetCoefficients(), 512, 6000), -40);
}

TEST(FirFilter, DesignWithResponseRecomputesAStaleResponse) {
    auto f = MakeFilter(false, kFilterLowPass, 3000, 1000, 256);
    ASSERT_EQ(1, f->Design(true));
    int length = 0;
    ASSERT_NE(nullptr, f->GetResponse(&length));
    ASSERT_EQ(1, f->SetFrequency(9000));
    ASSERT_EQ(1, f->Design(false));
    EXPECT_EQ(nullptr, f->GetResponse(&length));  // stale responses are not shown
    ASSERT_EQ(1, f->Design(true));
    const float* response = f->GetResponse(&length);
    ASSERT_NE(nullptr, response);
    EXPECT_NEAR(0.0, response[6000 * 8192 / 48000], 0.1);  // 6 kHz now passes
}

// Whole-stream output must not depend on how the stream is cut into blocks.
TEST(FirFilter, BlockSplitsGiveIdenticalOutput) {
    const int total = 9000;
    std::vector<float> x = Noise(total, 7);
    for (bool fixed : {false, true}) {
        auto f = MakeFilter(fixed, kFilterBandPass, 12000, 6000, 100);
        std::vector<float> whole = x;
        f->Process(whole.data(), total);
        for (int scheme = 0; scheme < 3; ++scheme) {
            f->Reset();
            std::vector<float> pieces = x;
            const int fixedSizes[] = {1, 7, 64, 333};
            int done = 0, step = 0, grow = 1;
            while (done < total) {
                int n = scheme == 0 ? fixedSizes[step++ % 4] : scheme == 1 ? grow : 4096 / grow + 1;
                grow = grow < 4096 ? grow * 2 : 1;
                if (n > total - done) n = total - done;
                f->Process(pieces.data() + done, n);
                done += n;
            }
            ASSERT_EQ(whole, pieces) << "fixed " << fixed << " scheme " << scheme;
        }
        // The 16-bit path alike.
        std::vector<int16_t> s(total), t;
        for (int i = 0; i < total; ++i) s[i] = static_cast<int16_t>(x[i] * 30000);
        t = s;
        f->Reset();
        f->ProcessInt16(s.data(), total);
        f->Reset();
        for (int done = 0, n = 1; done < total; done += n, n = n * 3 % 1000 + 1)
            f->ProcessInt16(t.data() + done, std::min(n, total - done));
        ASSERT_EQ(s, t) << fixed;
    }
}

// Gain at hz once the filter has filled, from a fit of the tone to the output.
double ToneGainDb(CFirFilter* f, double hz) {
    std::vector<float> x = Sine(12000, hz / kRate, 0.5);
    f->Reset();
    f->Process(x.data(), 12000);
    return 20 * std::log10(FitTone(x.data(), 2048, x.size(), hz, kRate).amplitude / 0.5);
}

TEST(FirFilter, FloatAndSixteenBitAgreeInMagnitude) {
    for (int type : {kFilterLowPass, kFilterBandPass, kFilterBandStop}) {
        auto a = MakeFilter(false, type, type == kFilterLowPass ? 3000 : 12000, 4000, 256);
        auto b = MakeFilter(true, type, type == kFilterLowPass ? 3000 : 12000, 4000, 256);
        for (double hz : {500.0, 2000.0, 3000.0, 7000.0, 10000.0, 12000.0, 13900.0, 17000.0}) {
            double ga = ToneGainDb(a.get(), hz), gb = ToneGainDb(b.get(), hz);
            if (ga < -20) continue;  // below that the Q15 rounding noise dominates
            EXPECT_NEAR(ga, gb, 0.05) << type << " " << hz;
        }
    }
}

TEST(FirFilter, SixteenBitOutputsSaturateInsteadOfWrapping) {
    for (bool fixed : {false, true}) {
        // A sharp low-pass has sum |h| > 1, so the input matched to the taps' signs exceeds
        // full scale.
        auto f = MakeFilter(fixed, kFilterLowPass, 2000, 1000, 64, kWindowRectangular);
        ASSERT_EQ(1, f->Design(false));
        const float* h = f->GetCoefficients();
        double l1 = 0;
        for (int j = 0; j < 64; ++j) l1 += std::fabs(h[j]);
        ASSERT_GT(l1, 1.2);
        for (int sign : {1, -1}) {
            std::vector<int16_t> s(64);
            for (int j = 0; j < 64; ++j) {
                float tap = fixed ? h[j] : h[63 - j];  // oldest sample meets h[63] (float variant)
                s[j] = static_cast<int16_t>((tap >= 0 ? 1 : -1) * sign * 32767);
            }
            f->Reset();
            f->ProcessInt16(s.data(), 64);
            EXPECT_EQ(sign > 0 ? 32767 : -32768, s[63]) << fixed;
        }
        // Float input beyond full scale is clipped, not wrapped, on the way in.
        std::vector<float> x(64, 0.0f);
        x[0] = 4.0f;
        f->Reset();
        f->Process(x.data(), 64);
        double peak = 0;
        for (float v : x) peak = std::max(peak, double(v));
        EXPECT_GT(peak, 0.0);
        if (fixed) {
            EXPECT_LE(peak, 1.01 * *std::max_element(h, h + 64));
        }
    }
}

TEST(FirFilter, CreateFirFilterPicksTheVariantFromTheProcessor) {
    std::unique_ptr<CFirFilter> f(CreateFirFilter());
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(CpuHasMmx(), dynamic_cast<CMmxFirFilter*>(f.get()) != nullptr);
#if defined(__i386__) || defined(__x86_64__)
    EXPECT_TRUE(CpuIdSupported());
    CpuFeatures features;
    ASSERT_TRUE(CpuGetFeatures(&features));
    EXPECT_EQ(12u, std::strlen(features.vendor));
    EXPECT_TRUE(CpuHasMmx());  // every x86 processor that runs this build has MMX
#endif
}

// Under ThreadSanitizer: the GUI thread changes settings and designs while the stream thread
// filters, and two filters plan their transforms at the same time.
TEST(FirFilter, SettingsRaceProcessingSafely) {
    for (bool fixed : {false, true}) {
        auto f = MakeFilter(fixed, kFilterLowPass, 3000, 1000, 128);
        std::thread gui([&] {
            for (int i = 0; i < 40; ++i) {
                f->SetFrequency(2000.0f + 100 * i);
                f->SetTaps(64 + 16 * (i % 5));
                f->SetType(1 + i % 4);
                f->SetFFTSize(i % 2 ? 1024 : 2048);
                f->Design(true);
                int length = 0;
                f->GetResponse(&length);
                f->GetTaps();
            }
        });
        std::vector<float> x = Noise(512, 9);
        for (int i = 0; i < 200; ++i) {
            f->Process(x.data(), 512);
            for (float v : x) ASSERT_TRUE(std::isfinite(v));
        }
        gui.join();
    }
    std::vector<std::thread> planners;
    for (int t = 0; t < 2; ++t)
        planners.emplace_back([t] {
            for (int i = 0; i < 20; ++i) {
                CFirFilter f;
                f.SetTaps(100);
                f.SetType(kFilterLowPass);
                f.SetFrequency(1000.0f + t * 500);
                f.SetFFTSize(256 << (i % 5));
                EXPECT_EQ(1, f.Design(true));
            }
        });
    for (auto& t : planners) t.join();
}

TEST(FirFilter, FurtherDesigns) {
    CFirFilter f;
    f.SetTaps(255);
    f.SetType(kFilterLowPass);
    f.SetFrequency(4000);
    ASSERT_EQ(1, f.DesignWindowedSinc(true));
    const float* h = f.GetCoefficients();
    double dc = 0;
    for (int j = 0; j < 255; ++j) dc += h[j];
    EXPECT_NEAR(1.0, dc, 1e-6);            // unit gain at 0 Hz
    EXPECT_LT(GainDb(h, 255, 6000), -60);  // Blackman: about -74 dB sidelobes
    EXPECT_EQ(0.0f, h[254]);
    f.SetType(kFilterBandPass);
    EXPECT_EQ(0, f.DesignWindowedSinc(false));

    for (int kind = 0; kind < 3; ++kind) {
        CFirFilter g;
        g.SetTaps(127);
        int ok = kind == 0   ? g.DesignRaisedCosine(0.1f, 0.2f)
                 : kind == 1 ? g.DesignShaping(0.5f)
                             : g.DesignInverseShaping(1.0f);
        ASSERT_EQ(1, ok);
        for (int j = 0; j < 127; ++j) ASSERT_TRUE(std::isfinite(g.GetCoefficients()[j])) << kind;
    }
    // The shaping, x = pi f / 4800: sin(x)/x and x/sin(x) on the bins. The quarter-turn bins
    // (s g, s g) leave 0 Hz (real only) 3 dB low and blur the band edges, so the shape is
    // checked between frequencies inside the band: within 0.3 dB with 1023 Blackman taps.
    auto shapeDb = [](double hz, bool inverse) {
        double x = kPi * hz / 4800.0;
        return 20 * std::log10(inverse ? x / std::sin(x) : std::sin(x) / x);
    };
    CFirFilter shaping, inverse;
    for (CFirFilter* g : {&shaping, &inverse}) {
        g->SetTaps(1023);
        g->SetWindow(kWindowBlackman);
    }
    ASSERT_EQ(1, shaping.DesignShaping(0.5f));
    ASSERT_EQ(1, inverse.DesignInverseShaping(0.15f));
    const float* hs = shaping.GetCoefficients();
    const float* hi = inverse.GetCoefficients();
    EXPECT_NEAR(shapeDb(2400, false) - shapeDb(600, false), GainDb(hs, 1023, 2400) - GainDb(hs, 1023, 600), 0.3);
    EXPECT_NEAR(shapeDb(1800, true) - shapeDb(600, true), GainDb(hi, 1023, 1800) - GainDb(hi, 1023, 600), 0.3);
}

}  // namespace
