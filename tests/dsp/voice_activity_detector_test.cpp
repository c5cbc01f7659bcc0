#include "dsp/voice_activity_detector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/speech_bursts.h"
#include "tests/support/gaussian_noise.h"
#include "tests/support/squelch_tones.h"

namespace {

const float kRate = 48000.0f;
const uint32_t kBlock = 24000;  // the plug-in analyses half a second

struct Result {
    float score;
    int cls;
    float level;
};

Result Analyse(const std::vector<int16_t>& audio, size_t chunk, float voiceThreshold = 0.2f) {
    CVoiceActivityDetector d;
    EXPECT_EQ(d.SetSampleRate(kRate), 1);
    EXPECT_EQ(d.SetBlockLength(kBlock), 1);
    EXPECT_EQ(d.SetLevelThreshold(0.1f), 1);
    EXPECT_EQ(d.SetVoiceThreshold(voiceThreshold), 1);
    for (size_t i = 0; i < audio.size(); i += chunk)
        d.Process(audio.data() + i, static_cast<uint32_t>(std::min(chunk, audio.size() - i)), 1);
    return {d.GetScore(), d.GetClass(), d.GetLevel()};
}

}  // namespace

TEST(VoiceActivityDetector, SpeechLikeBurstsOpenIt) {
    // A third of each 350 ms cycle is a pause about 50 dB down: 7 or more of the 22 segments
    // of a block are quiet, r2 >= 7/22 * 16.7 = 5.3, and the score saturates at 1.
    const Result r = Analyse(MakeSpeechBursts(kRate, 2.0, 12000.0, 1), 4800, 0.5f);
    EXPECT_EQ(r.cls, CVoiceActivityDetector::kVoice);
    EXPECT_GE(r.score, 0.5f);
    EXPECT_LE(r.score, 1.0f);
}

TEST(VoiceActivityDetector, SteadyNoiseAndToneDoNot) {
    // Steady signals: a 1067-sample segment's crossing rate differs from the block's by a
    // few hundredths (noise) or not at all (tone), never by the factor 1.5 a busy segment
    // needs, and no segment has a tenth of the mean energy. Both scores are exactly 0.
    const Result noise = Analyse(MakeNoiseAudio(kRate, 2.0, 5000.0, 4), 4800);
    EXPECT_EQ(noise.score, 0.0f);
    EXPECT_EQ(noise.cls, CVoiceActivityDetector::kSteady);
    const Result tone = Analyse(MakeCtcssAudio(kRate, 1000.0, 2.0, 10000.0, 0.0, 1), 4800);
    EXPECT_EQ(tone.score, 0.0f);
    EXPECT_EQ(tone.cls, CVoiceActivityDetector::kSteady);
}

TEST(VoiceActivityDetector, QuietAudioScoresZero) {
    // Level sqrt(E * zcr * 1e4): noise of 10 LSB rms gives E ~ 1e-7 and zcr ~ 0.5, level
    // about 0.02, below the threshold 0.1, whatever the signal's shape.
    const Result r = Analyse(MakeSpeechBursts(kRate, 2.0, 10.0, 2), 4800);
    EXPECT_EQ(r.cls, CVoiceActivityDetector::kTooQuiet);
    EXPECT_EQ(r.score, 0.0f);
    EXPECT_LT(r.level, 0.1f);
}

TEST(VoiceActivityDetector, ResultsDoNotDependOnBlockSize) {
    const std::vector<int16_t> audio = MakeSpeechBursts(kRate, 1.7, 9000.0, 3);
    const Result whole = Analyse(audio, audio.size());
    for (size_t chunk : {1u, 7u, 64u, 333u, 1024u, 30000u}) {
        const Result r = Analyse(audio, chunk);
        EXPECT_EQ(r.score, whole.score) << chunk;
        EXPECT_EQ(r.cls, whole.cls) << chunk;
        EXPECT_EQ(r.level, whole.level) << chunk;
    }
}

TEST(VoiceActivityDetector, RefusesUnsafeSettings) {
    CVoiceActivityDetector d;
    EXPECT_EQ(d.SetBlockLength(0), 0);
    EXPECT_EQ(d.SetSampleRate(0.0f), 0);
    EXPECT_EQ(d.SetSampleRate(-11025.0f), 0);
    EXPECT_EQ(d.SetSampleRate(std::nanf("")), 0);
    EXPECT_EQ(d.SetLevelThreshold(-1.0f), 0);
    EXPECT_EQ(d.SetVoiceThreshold(std::nanf("")), 0);
    // Still usable with its defaults (11025 Hz, 5512-sample blocks).
    const std::vector<int16_t> speech = MakeSpeechBursts(11025.0, 1.0, 12000.0, 5);
    d.Process(speech.data(), static_cast<uint32_t>(speech.size()), 0);  // stride 0: ignored
    EXPECT_EQ(d.GetScore(), 0.0f);
    d.Process(speech.data(), static_cast<uint32_t>(speech.size()), 1);
    EXPECT_EQ(d.GetClass(), CVoiceActivityDetector::kVoice);
}

TEST(VoiceActivityDetector, ScoreCountsBusyAndQuietSegments) {
    // Half-second blocks at 48 kHz: segments of nint(48000 / 45) = 1067 samples, 22 of them
    // (526 left over). A 300 Hz tone crosses zero 0.0125 times per sample.
    const uint32_t s = 1067;
    const double tone = 10000.0;
    auto makeBlock = [&](auto segmentKind) {
        GaussianNoise noise(77);
        std::vector<int16_t> x(kBlock);
        for (size_t i = 0; i < x.size(); ++i) {
            const int kind = i / s < 22 ? segmentKind(static_cast<int>(i / s)) : 0;
            const double v = kind == 1   ? noise.Next(tone / std::sqrt(2.0))  // busy: same power
                             : kind == 2 ? 0.1 * tone * std::sin(2 * 3.14159265358979323846 * 300.0 * i / kRate)
                                         : tone * std::sin(2 * 3.14159265358979323846 * 300.0 * i / kRate);
            x[i] = static_cast<int16_t>(std::lround(v));
        }
        return x;
    };
    // Three noise segments: the block's crossing rate is about (19 * 13 + 3 * 533) / 24000 =
    // 0.077, a noise segment's 0.5 is above 1.5 times that and a tone segment's 0.0125 below;
    // equal power leaves no segment quiet. r1 = 3 / 22 * 10, score r1 * 0.2.
    const std::vector<int16_t> busy = makeBlock([](int g) { return g == 2 || g == 9 || g == 16 ? 1 : 0; });
    const Result b = Analyse(busy, busy.size(), 0.2f);
    EXPECT_FLOAT_EQ(b.score, static_cast<float>(3.0 / 22.0 * 10.0 * 0.2));
    EXPECT_EQ(b.cls, CVoiceActivityDetector::kVoice);
    // Above the voice threshold the same block is "not voice": r1 > 1 but score too low.
    EXPECT_EQ(Analyse(busy, busy.size(), 0.5f).cls, CVoiceActivityDetector::kNotVoice);
    // Two segments at a tenth of the amplitude hold 1 % of the power, below a tenth of the
    // block's mean (about 0.91 of a tone segment's): r2 = 2 / 22 * 16.67, score r2 * 0.2.
    const std::vector<int16_t> quiet = makeBlock([](int g) { return g == 5 || g == 6 ? 2 : 0; });
    const Result q = Analyse(quiet, quiet.size(), 0.2f);
    EXPECT_FLOAT_EQ(q.score, static_cast<float>(2.0 / 22.0 * 16.666666666666668 * 0.2));
    EXPECT_EQ(q.cls, CVoiceActivityDetector::kVoice);
    EXPECT_EQ(Analyse(quiet, quiet.size(), 0.9f).cls, CVoiceActivityDetector::kNotVoice);
}
