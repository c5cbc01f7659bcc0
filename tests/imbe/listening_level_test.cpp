// The output level of the vocoder: the amplitude scale on synthetic frames, and speech from
// real radios through the whole receive chain at a listening level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "dsp/dsp_math.h"
#include "imbe/imbe_decoder.h"
#include "p25/c4fm_demodulator.h"
#include "tests/support/c4fm_frame_scan.h"
#include "tests/support/p25_frame_builder.h"

namespace {

double Dbfs(double rms) { return 20 * std::log10(std::max(rms, 1e-3) / 32768); }

double Rms(const int16_t* s, size_t n) {
    double e = 0;
    for (size_t i = 0; i < n; ++i) e += double(s[i]) * s[i];
    return std::sqrt(e / double(n));
}

// A steady 125 Hz frame (64-sample period) of L harmonics, rendered `frames` times.
std::vector<int16_t> Render(ImbeSynthesisRoutine routine, const ImbeParams& p, int frames) {
    ImbeDecoderState state;
    ImbeInit(&state);
    std::vector<int16_t> pcm;
    for (int f = 0; f < frames; ++f) {
        ImbeParams q = p;
        int16_t out[160];
        routine(&q, out, 160, &state);
        pcm.insert(pcm.end(), out, out + 160);
    }
    return pcm;
}

struct RecordingLevels {
    double voicedMedianDbfs = -200;
    double clippedFraction = 1;
    double mutedDbfs = 0;  // frames muted after the recording
};

// The recording through the C4FM demodulator; the nine voice frames of every LDU the frame
// scan finds decoded in order (a header starts a new call), then ten muted frames.
RecordingLevels Measure(const char* name) {
    const std::vector<float> x = c4fmtest::ReadRecording(name);
    CC4fmDemodulator demodulator;
    demodulator.EnsureFilters();
    const std::string text = c4fmtest::Demodulate(x, 2048, &demodulator);
    ImbeDecoderState state;
    ImbeInit(&state);
    std::vector<double> voiced, muted;
    long samples = 0, clipped = 0;
    auto decode = [&](const uint8_t* bits, bool mute) {
        ImbeFrame frame{};
        std::copy(bits, bits + 144, frame.bits);
        frame.sampleCount = 160;
        frame.softBits = 1;
        ImbeFecDecode(&frame, &state);
        if (mute) frame.status = kImbeMute;
        ImbeDecode(&frame, &state);
        const ImbeParams& p = state.lastParams;
        const bool anyVoiced = std::count(p.voiced, p.voiced + p.harmonicCount, 1) > 0;
        if (mute || (frame.status == 0 && anyVoiced)) (mute ? muted : voiced).push_back(Rms(frame.pcm, 160));
        clipped += std::count_if(frame.pcm, frame.pcm + 160, [](int16_t s) { return s == 32767 || s == -32768; });
        samples += 160;
    };
    for (const c4fmtest::FoundFrame& f : c4fmtest::FindFrames(text)) {
        if (f.duid == p25test::kDuidHdu) ImbeInit(&state);
        if (f.duid == p25test::kDuidLdu1 || f.duid == p25test::kDuidLdu2)
            for (const p25test::VoiceFrameBits& bits : p25test::LduVoiceFrames(text, f.position))
                decode(bits.data(), false);
    }
    RecordingLevels r;
    if (voiced.empty()) return r;
    const uint8_t none[144] = {};
    for (int i = 0; i < 10; ++i) decode(none, true);
    std::sort(voiced.begin(), voiced.end());
    r.voicedMedianDbfs = Dbfs(voiced[voiced.size() / 2]);
    r.clippedFraction = double(clipped) / double(samples);
    // The first muted frame still fades the speech out.
    r.mutedDbfs = Dbfs(*std::max_element(muted.begin() + 1, muted.end()));
    return r;
}

}  // namespace

TEST(ImbeListeningLevel, VoicedHarmonicsPeakAtSixteenTimesTheirAmplitude) {
    // Harmonics 1 .. 7 come from oscillators, 8 .. 20 from the wave table; after two frames of
    // the same parameters both are steady, so two periods hold each harmonic in one DFT bin.
    ImbeParams p;
    ImbeInitParams(&p, ImbeSynthesizeSamples);
    p.fundamental = 8192;  // 125 Hz
    p.harmonicCount = 20;
    p.amplitudeExponent = -8;
    for (int l = 0; l < 20; ++l) {
        p.amplitude[l] = static_cast<int16_t>(5120 << (l % 3));  // M = 20, 40, 80
        p.voiced[l] = 1;
    }
    const std::vector<int16_t> pcm = Render(ImbeSynthesizeSamples, p, 4);
    for (int l = 1; l <= 20; ++l) {
        std::complex<double> x = 0;
        for (int n = 0; n < 128; ++n) x += double(pcm[400 + n]) * std::polar(1.0, -2 * kPi * l * n / 64);
        const double peak = 2 * std::abs(x) / 128, want = 16 * (20 << ((l - 1) % 3));
        EXPECT_NEAR(0, 20 * std::log10(peak / want), 1.0) << "harmonic " << l;
    }
}

TEST(ImbeListeningLevel, UnvoicedBandsCarryTheirNoisePower) {
    // A band of w = fundamental / 2048 bins carries M^2 w^2 L 34486 / 2^16 per sample; the
    // enhancement reshapes the amplitudes but keeps their energy, so the total is the sum.
    for (int fundamental : {6554, 8192, 16384}) {
        ImbeParams p;
        ImbeInitParams(&p, ImbeSynthesizeFrame);
        p.fundamental = static_cast<int16_t>(fundamental);
        p.harmonicCount = static_cast<int16_t>(std::min(56, 242600 / fundamental));
        double power = 0;
        const double w = fundamental / 2048.0;
        for (int l = 0; l < p.harmonicCount; ++l) {
            p.amplitude[l] = static_cast<int16_t>(2048 * (2 + l % 3));  // log2 M = 2 .. 4
            power += std::pow(4.0, 2 + l % 3) * w * w * p.harmonicCount * 34486 / 65536;
        }
        const std::vector<int16_t> pcm = Render(ImbeSynthesizeFrame, p, 40);
        const double got = Rms(pcm.data() + 1600, pcm.size() - 1600);
        EXPECT_NEAR(0, 20 * std::log10(got / std::sqrt(power)), 1.0) << fundamental;
    }
}

TEST(ImbeListeningLevel, RealSpeechAtAListeningLevel) {
    // Clear calls from two systems, about 15 dB apart as decoded: speech between -36 and
    // -12 dBFS, the quieter no lower than -34, hardly any clipping, and muted frames 40 dB
    // below the speech.
    double quietest = 0;
    for (const char* name : {"voice-nac293-tg1.if.wav", "voice-nac1f5-tg7455.if.wav"}) {
        const RecordingLevels r = Measure(name);
        EXPECT_GE(r.voicedMedianDbfs, -36) << name;
        EXPECT_LE(r.voicedMedianDbfs, -12) << name;
        EXPECT_LE(r.clippedFraction, 0.001) << name;
        EXPECT_LE(r.mutedDbfs, r.voicedMedianDbfs - 40) << name;
        quietest = std::min(quietest, r.voicedMedianDbfs);
    }
    EXPECT_GE(quietest, -34);
}
