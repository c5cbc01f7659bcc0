#include "dsp/ctcss_detector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/squelch_tones.h"
#include "tests/support/test_signals.h"

namespace {

// The tone index found; its milli-Hz reading in *milliHz.
int Detect(float rate, const std::vector<int16_t>& audio, size_t chunk, uint32_t* milliHz = nullptr) {
    CCtcssDetector d;
    EXPECT_EQ(d.SetSampleRate(rate), 1);
    for (size_t i = 0; i < audio.size(); i += chunk)
        d.Process(audio.data() + i, static_cast<uint32_t>(std::min(chunk, audio.size() - i)), 1);
    if (milliHz) *milliHz = d.GetToneMilliHz();
    return d.GetToneIndex();
}

}  // namespace

TEST(CtcssDetector, EveryToneIsReportedAsItself) {
    // 1.5 s fills the 1024-sample window (0.75 s at about 1378 Hz) twice. Neighbouring
    // tones are 2.1 Hz or more apart, at least 1.5 bins of 1.34 Hz, so the Blackman main lobe
    // of a tone peaks in its own bin.
    // The reading is the host's setting for the tone, to the milli-Hz.
    for (float rate : {48000.0f, 16000.0f}) {
        for (int t = 0; t < CCtcssDetector::kToneCount; ++t) {
            const std::vector<int16_t> audio =
                MakeCtcssAudio(rate, kCtcssHostMilliHz[t] / 1000.0, 1.5, 3000.0, 30.0, 100 + t);
            uint32_t milliHz = 0;
            EXPECT_EQ(Detect(rate, audio, 1024, &milliHz), t) << kCtcssHostMilliHz[t] << " mHz at " << rate;
            EXPECT_EQ(milliHz, kCtcssHostMilliHz[t]) << rate;
        }
    }
}

TEST(CtcssDetector, ToneIsFoundInBroadbandNoise) {
    // -10 dB broadband SNR: noise power 10 times the tone's (rms = amplitude * sqrt(5)),
    // spread over 24 kHz (8 kHz at 16 kHz). The 191 Hz tone band keeps under a tenth of it
    // even with the resampler's aliasing, so the tone holds well over a quarter of the band.
    const double amplitude = 2000.0;
    for (float rate : {48000.0f, 16000.0f}) {
        const std::vector<int16_t> audio = MakeCtcssAudio(rate, 100.0, 2.0, amplitude, amplitude * std::sqrt(5.0), 42);
        EXPECT_EQ(Detect(rate, audio, 2048), 14) << rate;
    }
}

TEST(CtcssDetector, NoToneNoResult) {
    // White noise spreads over the ~143 bins of the band: the largest tone bin of an
    // exponential periodogram is a few times the mean, far below a quarter of the band.
    for (float rate : {48000.0f, 16000.0f}) {
        EXPECT_EQ(Detect(rate, MakeNoiseAudio(rate, 2.0, 3000.0, 9), 1024), -1) << rate;
        uint32_t milliHz = 1;
        EXPECT_EQ(Detect(rate, std::vector<int16_t>(static_cast<size_t>(rate), 0), 1024, &milliHz), -1)
            << "silence " << rate;
        EXPECT_EQ(milliHz, 0u) << "no tone reads 0";
    }
    CCtcssDetector fresh;
    EXPECT_EQ(fresh.GetToneIndex(), -1);
    EXPECT_EQ(fresh.GetToneMilliHz(), 0u);
}

TEST(CtcssDetector, ResultDoesNotDependOnBlockSize) {
    // A tone that changes half-way: the window at the end holds only the second one.
    std::vector<int16_t> audio = MakeCtcssAudio(48000.0, 88.5, 1.0, 3000.0, 300.0, 1);
    const std::vector<int16_t> second = MakeCtcssAudio(48000.0, 203.5, 1.0, 3000.0, 300.0, 2);
    audio.insert(audio.end(), second.begin(), second.end());
    for (size_t chunk : {1u, 7u, 64u, 333u, 1024u, 8192u, 96000u})
        EXPECT_EQ(Detect(48000.0f, audio, chunk), 42) << chunk;
}

TEST(CtcssDetector, RefusesUnsafeRates) {
    CCtcssDetector d;
    ASSERT_TRUE(d.IsReady());
    EXPECT_NEAR(d.GetEffectiveRate(), 48000.0 / 35.0, 1e-2);
    EXPECT_EQ(d.SetSampleRate(0.0f), 0);
    EXPECT_EQ(d.SetSampleRate(-48000.0f), 0);
    EXPECT_EQ(d.SetSampleRate(std::nanf("")), 0);
    EXPECT_NEAR(d.GetEffectiveRate(), 48000.0 / 35.0, 1e-2);
    const std::vector<int16_t> audio = MakeCtcssAudio(48000.0, 100.0, 1.0, 3000.0, 0.0, 1);
    d.Process(audio.data(), static_cast<uint32_t>(audio.size()), 0);  // stride 0: ignored
    EXPECT_EQ(d.GetToneIndex(), -1);
    d.Process(audio.data(), static_cast<uint32_t>(audio.size()), 1);
    EXPECT_EQ(d.GetToneIndex(), 14);
}

TEST(CtcssDetector, HundredHertzAtAnyRate) {
    // Whatever L/M the resampler picks, the analysis rate stays within 1 % of 1378 Hz and
    // 100 Hz lands in its own bin (tones 2.6 Hz apart around it, bins of about 1.35 Hz).
    for (float rate : {8000.0f, 11025.0f, 22050.0f, 44100.0f, 96000.0f}) {
        CCtcssDetector d;
        ASSERT_EQ(d.SetSampleRate(rate), 1);
        EXPECT_NEAR(d.GetEffectiveRate() / 1378.0, 1.0, 0.01) << rate;
        const std::vector<int16_t> audio = MakeCtcssAudio(rate, 100.0, 1.0, 3000.0, 300.0, 11);
        d.Process(audio.data(), static_cast<uint32_t>(audio.size()), 1);
        EXPECT_EQ(d.GetToneIndex(), 14) << rate;
    }
}

TEST(CtcssDetector, ResetRestoresTheFreshState) {
    const std::vector<int16_t> first = MakeCtcssAudio(48000.0, 67.0, 1.0, 3000.0, 300.0, 5);
    const std::vector<int16_t> second = MakeCtcssAudio(48000.0, 167.9, 1.0, 3000.0, 300.0, 6);
    CCtcssDetector used, fresh;
    used.Process(first.data(), static_cast<uint32_t>(first.size()), 1);
    ASSERT_EQ(used.GetToneIndex(), 2);
    used.Reset();
    EXPECT_EQ(used.GetToneIndex(), -1);
    ExpectResetEqualsFresh(
        used, fresh, second, 1500,
        [](CCtcssDetector& d, const int16_t* x, size_t n) { d.Process(x, static_cast<uint32_t>(n), 1); },
        [](const CCtcssDetector& d) { return d.GetToneIndex(); });
    EXPECT_EQ(used.GetToneIndex(), 31);
}
