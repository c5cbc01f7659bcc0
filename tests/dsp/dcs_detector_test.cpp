#include "dsp/dcs_detector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/squelch_tones.h"
#include "tests/support/test_signals.h"

namespace {

std::vector<int> Found(const CDcsDetector& d) {
    std::vector<int> codes(d.GetFound(), d.GetFound() + d.GetFoundCount());
    std::sort(codes.begin(), codes.end());
    return codes;
}

std::vector<int> Detect(float rate, const std::vector<int16_t>& audio, size_t chunk) {
    CDcsDetector d;
    EXPECT_EQ(d.SetSampleRate(rate), 1);
    for (size_t i = 0; i < audio.size(); i += chunk)
        d.Process(audio.data() + i, static_cast<uint32_t>(std::min(chunk, audio.size() - i)), 1);
    return Found(d);
}

bool Contains(const std::vector<int>& codes, int code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool IsDcsValue(int value) {
    const int code = value & 0x1FF;
    return value < 1024 && std::find(DcsCodeTable, DcsCodeTable + 112, code) != DcsCodeTable + 112;
}

const int kCode023 = 023;  // 19

}  // namespace

TEST(DcsDetector, CodewordsAreGolayWords) {
    const uint32_t* words = DcsCodewordTable();
    for (int i = 0; i < CDcsDetector::kCodeCount; ++i) {
        EXPECT_EQ(GolayRemainder(words[i]), 0u) << std::oct << DcsCodeTable[i];
        EXPECT_EQ(words[i], DcsGolayWord(DcsCodeTable[i])) << std::oct << DcsCodeTable[i];
    }
    EXPECT_EQ(words[5], 0x763813u);  // 023
}

TEST(DcsDetector, FindsNormalAndInvertedCodeInNoise) {
    // Noise at half the NRZ amplitude over the whole audio band; after the 300 Hz low-pass
    // only about 300/24000 of its power remains (-19 dB below the signal before filtering,
    // about -38 dB after), so bit errors are practically absent. A DCS word is also another
    // code's word, rotated and inverted, so the list holds aliases besides 023.
    for (float rate : {48000.0f, 16000.0f}) {
        const std::vector<int16_t> normal = MakeDcsAudio(rate, kCode023, false, 2.0, 4000.0, 2000.0, 5);
        const std::vector<int> codes = Detect(rate, normal, 1024);
        EXPECT_TRUE(Contains(codes, kCode023)) << rate;
        EXPECT_TRUE(std::any_of(codes.begin(), codes.end(), [](int v) { return v >= CDcsDetector::kInverted; }))
            << rate;
        for (int v : codes) EXPECT_TRUE(IsDcsValue(v)) << v;

        const std::vector<int16_t> inverted = MakeDcsAudio(rate, kCode023, true, 2.0, 4000.0, 2000.0, 6);
        const std::vector<int> invertedCodes = Detect(rate, inverted, 1024);
        EXPECT_TRUE(Contains(invertedCodes, kCode023 + CDcsDetector::kInverted)) << rate;
        EXPECT_FALSE(Contains(invertedCodes, kCode023)) << rate;
    }
}

TEST(DcsDetector, EveryCodeIsFound) {
    for (int i = 0; i < CDcsDetector::kCodeCount; ++i) {
        const std::vector<int16_t> audio =
            MakeDcsAudio(48000.0, DcsCodeTable[i], i % 2 == 1, 1.0, 4000.0, 500.0, 100 + i);
        const int expected = DcsCodeTable[i] + (i % 2 ? CDcsDetector::kInverted : 0);
        EXPECT_TRUE(Contains(Detect(48000.0f, audio, 2048), expected)) << std::oct << DcsCodeTable[i];
    }
}

TEST(DcsDetector, NoCodeFromNoise) {
    // A random 23-bit register is one of the 4096 Golay words with probability 2^-11, and the
    // rotations of the 224 DCS words are some of those: over the ~670 bits of 5 s of noise a
    // false code turns up in about one window in ten (0.1 expected, as measured). One fixed
    // window shows none; of 20 windows, more than 6 with a false code has a binomial
    // probability below 0.3 % if the detector is sound.
    EXPECT_TRUE(Detect(48000.0f, MakeNoiseAudio(48000.0, 5.0, 4000.0, 1234), 4096).empty());
    int windowsWithCodes = 0;
    for (uint32_t seed = 1; seed <= 20; ++seed)
        windowsWithCodes += !Detect(48000.0f, MakeNoiseAudio(48000.0, 5.0, 4000.0, seed), 4096).empty();
    EXPECT_LE(windowsWithCodes, 6);
}

TEST(DcsDetector, SameResultsForAnyBlockSize) {
    std::vector<int16_t> audio = MakeDcsAudio(48000.0, 0754, false, 1.5, 4000.0, 2000.0, 8);
    const std::vector<int> reference = Detect(48000.0f, audio, audio.size());
    EXPECT_TRUE(Contains(reference, 0754));
    for (size_t chunk : {1u, 7u, 64u, 333u, 1024u, 8192u})
        EXPECT_EQ(Detect(48000.0f, audio, chunk), reference) << chunk;
}

TEST(DcsDetector, ClearAndRefusals) {
    CDcsDetector d;
    ASSERT_TRUE(d.IsReady());
    EXPECT_EQ(d.SetSampleRate(0.0f), 0);
    EXPECT_EQ(d.SetSampleRate(-1.0f), 0);
    EXPECT_EQ(d.SetSampleRate(48000.0f), 1);
    EXPECT_NEAR(d.GetEffectiveRate(), 48000.0 / 18.0, 1e-2);
    const std::vector<int16_t> audio = MakeDcsAudio(48000.0, kCode023, false, 1.0, 4000.0, 0.0, 3);
    d.Process(audio.data(), static_cast<uint32_t>(audio.size()), 0);
    EXPECT_EQ(d.GetFoundCount(), 0);
    d.Process(audio.data(), static_cast<uint32_t>(audio.size()), 1);
    EXPECT_TRUE(Contains(Found(d), kCode023));
    d.ClearFound();
    EXPECT_EQ(d.GetFoundCount(), 0);
}

TEST(DcsDetector, ResetRestoresTheFreshState) {
    const std::vector<int16_t> first = MakeDcsAudio(48000.0, kCode023, false, 1.0, 4000.0, 500.0, 3);
    const std::vector<int16_t> second = MakeDcsAudio(48000.0, 0754, true, 1.0, 4000.0, 500.0, 4);
    CDcsDetector used, fresh;
    ASSERT_EQ(used.SetSampleRate(48000.0f), 1);
    ASSERT_EQ(fresh.SetSampleRate(48000.0f), 1);
    used.Process(first.data(), static_cast<uint32_t>(first.size()), 1);
    ASSERT_GT(used.GetFoundCount(), 0);
    used.Reset();
    EXPECT_EQ(used.GetFoundCount(), 0);
    // The second code starts right away: a stale low-pass or resampler would shift the bit
    // clock's first crossings, and so the moment (and order) in which codes are listed.
    ExpectResetEqualsFresh(
        used, fresh, second, 997,
        [](CDcsDetector& d, const int16_t* x, size_t n) { d.Process(x, static_cast<uint32_t>(n), 1); },
        [](const CDcsDetector& d) { return std::vector<int>(d.GetFound(), d.GetFound() + d.GetFoundCount()); });
    EXPECT_TRUE(Contains(Found(used), 0754 + CDcsDetector::kInverted));
}
