#include "p25/c4fm_demodulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "tests/support/c4fm_frame_scan.h"
#include "tests/support/c4fm_model.h"
#include "tests/support/c4fm_modulator.h"
#include "tests/support/p25_frame_builder.h"

namespace {

using c4fmtest::C4fmOptions;

using c4fmtest::Demodulate;
using c4fmtest::FindFrames;
using c4fmtest::FoundFrame;

using c4fmtest::ReadRecording;

// A voice call as text, then idle symbols.
std::string VoiceCall(int nac, int pairs) { return p25test::PlainCall(nac, pairs) + c4fmtest::RandomDibits(200, 99); }

// The frames found in `received` against those of `sent`: each found frame lies where a sent
// frame with the same NAC and DUID lies (shifted by the lead-in, within 4 symbols), so nothing
// false is found, and every sent frame from `lockFrames` on is found; the first ones may go
// while the symbol clock locks (there is no preamble to lock on).
void ExpectFrames(const std::string& sent, const std::string& received, size_t leadSymbols, size_t lockFrames,
                  const std::string& what) {
    std::vector<FoundFrame> tx = FindFrames(sent), rx = FindFrames(received);
    std::vector<bool> found(tx.size(), false);
    for (const FoundFrame& r : rx) {
        auto match = std::find_if(tx.begin(), tx.end(), [&](const FoundFrame& t) {
            return r.position + 4 >= t.position + leadSymbols && r.position <= t.position + leadSymbols + 4;
        });
        ASSERT_NE(tx.end(), match) << what << ": a frame where none was sent, at " << r.position;
        EXPECT_EQ(match->nac, r.nac) << what;
        EXPECT_EQ(match->duid, r.duid) << what;
        found[match - tx.begin()] = true;
    }
    for (size_t k = lockFrames; k < tx.size(); ++k) EXPECT_TRUE(found[k]) << what << ": frame " << k << " lost";
}

// A transmitter keys up with 50 ms of unmodulated carrier before the header.
constexpr int kKeyUpSamples = 2400;

// Symbol errors from sent frame `fromFrame` on, up to the end of the last frame. The
// demodulator neither loses nor adds symbols, so the received frame lies within a few symbols
// of the sent one shifted by the lead-in. -1 when that frame was not found.
int SymbolErrorsFrom(const std::string& sent, const std::string& received, size_t fromFrame, size_t leadSymbols,
                     int* compared) {
    std::vector<FoundFrame> rx = FindFrames(received), tx = FindFrames(sent);
    *compared = 0;
    if (tx.size() <= fromFrame) return -1;
    const size_t txStart = tx[fromFrame].position, expected = txStart + leadSymbols;
    auto match = std::find_if(rx.begin(), rx.end(), [&](const FoundFrame& f) {
        return f.position + 4 >= expected && f.position <= expected + 4;
    });
    if (match == rx.end()) return -1;
    const size_t rxStart = match->position;
    size_t length = std::min(sent.size() - txStart, received.size() - rxStart);
    length = std::min<size_t>(length, tx.back().position + 57 - txStart);
    int errors = 0;
    for (size_t k = 0; k < length; ++k) errors += sent[txStart + k] != received[rxStart + k];
    *compared = static_cast<int>(length);
    return errors;
}

// The symbol clock moves by 1 % of its error at each symmetric transition (one symbol in
// four). The first frame sync places a clock 3 or more samples off; from just under 3 the loop
// needs ln(6)/0.01 = 180 transitions, about 720 symbols, to come within 0.5 samples: from the
// second LDU (symbol 1188) on it has settled. Until then the header and the first LDU may carry
// symbol errors.
constexpr size_t kSettledFrame = 2;

// Carrier offsets and delays decode without a symbol error once the clock has settled.
// With the symbol clock 200 ppm off, the clock drifts 10 * 2e-4 = 0.002 samples a symbol, and
// the loop corrects 1 % of its error on about one symbol in five (the symmetric transitions that
// pass the check), so it lags about 1 sample behind the symbol centre (measured: 0.75 at -200 ppm,
// 1.4 at +200 ppm). This call slices without error only within 0.5 samples of the centre (35 and
// 67 errors in 9400 symbols 1 sample early and late), so 0.3 to 1.3 % of the symbols go
// (measured); below 2 %, and no frame is lost.
TEST(C4fmDemodulator, SyntheticCallsOverOffsetsDelaysAndClockErrors) {
    const std::string sent = VoiceCall(0x293, 6);
    const struct {
        std::vector<double> offsets, delays;
        double ppm;
        int errorsPer1000;
    } kCases[] = {{{-2000, -700, 0, 300, 2000}, {0, 3.3, 6.7, 9.5}, 0, 0},
                  {{500}, {0, 4.5, 9.5}, -200, 20},
                  {{500}, {0, 4.5, 9.5}, 200, 20}};
    for (const auto& c : kCases) {
        for (double offset : c.offsets) {
            for (double delay : c.delays) {
                C4fmOptions o;
                o.carrierOffsetHz = offset;
                o.clockErrorPpm = c.ppm;
                o.delaySamples = kKeyUpSamples + delay;
                const std::string received = Demodulate(c4fmtest::ModulateC4fm(sent, o), 2048);
                const std::string what = "offset " + std::to_string(offset) + " delay " + std::to_string(delay) +
                                         " ppm " + std::to_string(c.ppm);
                int compared = 0;
                const int errors = SymbolErrorsFrom(sent, received, kSettledFrame, kKeyUpSamples / 10, &compared);
                ASSERT_GE(compared, 9 * 864) << what;
                EXPECT_LE(errors, compared * c.errorsPer1000 / 1000) << what;
                ExpectFrames(sent, received, kKeyUpSamples / 10, kSettledFrame, what);
            }
        }
    }
}

// One second of receiver noise (no carrier) before the call. Noise peaks of the sync match do
// not slice to the sync pattern, so they leave the oscillator alone (before that check they
// walked it up to 900 Hz off), and the first sync of the call places the clock wherever the
// noise left it. The header's own sync is sliced before any correction acts (the mixer moves
// at the next block; the clock, and the slicer's frequency, from the sync's end), so the header
// may be lost; every frame from the first LDU on decodes, with any block size, and nothing false
// is found. A block of 32768 samples holds the header, the first LDU and most of the second:
// sliced at the old frequency up to the block's end they were lost.
TEST(C4fmDemodulator, VoiceCallAfterNoise) {
    const std::string sent = VoiceCall(0x104, 6);
    for (double offset : {-1500.0, 0.0, 1500.0}) {
        for (double delay : {0.0, 5.0}) {
            C4fmOptions o;
            o.carrierOffsetHz = offset;
            o.ebN0Db = 30;
            o.delaySamples = delay;
            const int lead = 48000;
            std::vector<float> x = c4fmtest::WhiteNoise(lead, o.amplitude, 5);
            CC4fmDemodulator noiseOnly;
            Demodulate(x, 2048, &noiseOnly);
            EXPECT_NEAR(12000.0, noiseOnly.GetOscillatorFrequency(), 100.0);
            std::vector<float> call = c4fmtest::ModulateC4fm(sent, o);
            x.insert(x.end(), call.begin(), call.end());
            for (int block : {2048, 16384, 32768}) {
                ExpectFrames(sent, Demodulate(x, block), lead / 10, 1,
                             "offset " + std::to_string(offset) + " delay " + std::to_string(delay) + " block " +
                                 std::to_string(block));
            }
        }
    }
}

// The demodulator against the double-precision model written from the description: the same
// symbols, one for one, on calls with offsets, clock errors, noise and a noise lead-in, in small
// and large blocks, and on a real recording. Single against double precision can only flip a
// decision that lies within float rounding of the slicer threshold or of zero, and a symbol clock
// that reached a different sample once stays shifted; none of that happens on these signals
// (measured: no symbol differs), so at most 1 in 1000 may.
std::string ModelText(const std::vector<float>& x, int block, c4fmtest::C4fmModel* model) {
    std::string text;
    for (size_t done = 0; done < x.size(); done += block)
        text += model->Process(x.data() + done, static_cast<int>(std::min<size_t>(block, x.size() - done)));
    return text;
}

size_t Differing(const std::string& a, const std::string& b) {
    size_t count = 0;
    for (size_t k = 0; k < std::min(a.size(), b.size()); ++k) count += a[k] != b[k];
    return count;
}

TEST(C4fmDemodulator, MatchesTheModelSymbolForSymbol) {
    struct Case {
        double offset, ppm, ebN0, delay;
        int lead;
    };
    // The first sync finds the clock 3.7 samples off in the first case, 2.8 in the second.
    const Case cases[] = {{0, 0, INFINITY, 3.3, 0},      {0, 0, INFINITY, 0, 0},  {1500, 0, 20, 0, 0},
                          {-700, 200, INFINITY, 6.7, 0}, {300, -200, 16, 9.5, 0}, {0, 0, 30, 0, 48000},
                          {-1500, 0, 30, 4.5, 48000}};
    const std::string sent = VoiceCall(0x293, 4);
    for (const Case& c : cases) {
        C4fmOptions o;
        o.carrierOffsetHz = c.offset;
        o.clockErrorPpm = c.ppm;
        o.ebN0Db = c.ebN0;
        o.delaySamples = c.delay;
        std::vector<float> x = c4fmtest::WhiteNoise(c.lead, c4fmtest::NoiseRmsForEbN0(o.amplitude, 30), 5);
        std::vector<float> call = c4fmtest::ModulateC4fm(sent, o);
        x.insert(x.end(), call.begin(), call.end());
        for (int block : {2048, 16384}) {
            c4fmtest::C4fmModel model;
            const std::string expected = ModelText(x, block, &model);
            CC4fmDemodulator demodulator;
            const std::string got = Demodulate(x, block, &demodulator);
            const std::string what = "offset " + std::to_string(c.offset) + " ppm " + std::to_string(c.ppm) +
                                     " block " + std::to_string(block);
            ASSERT_EQ(expected.size(), got.size()) << what;
            EXPECT_LE(Differing(expected, got), got.size() / 1000) << what;
            EXPECT_NEAR(model.Oscillator(), demodulator.GetOscillatorFrequency(), 1.0) << what;
        }
    }
    std::vector<float> x = ReadRecording("voice-nac293-tg1.if.wav");
    ASSERT_FALSE(x.empty());
    c4fmtest::C4fmModel model;
    const std::string expected = ModelText(x, 2048, &model), got = Demodulate(x, 2048);
    ASSERT_EQ(expected.size(), got.size());
    EXPECT_LE(Differing(expected, got), got.size() / 1000);
}

TEST(C4fmDemodulator, BadInputAndSettings) {
    CC4fmDemodulator d;
    float x[5] = {0, 0, 0, 0, 0};
    EXPECT_EQ(-1, d.Process(nullptr, 10));
    EXPECT_EQ(-1, d.Process(x, 0));
    EXPECT_EQ(-1, d.Process(x, -3));
    std::vector<float> call = c4fmtest::ModulateC4fm(c4fmtest::RandomDibits(100, 1), C4fmOptions());
    int got = d.Process(call.data(), static_cast<int>(call.size()));
    ASSERT_GT(got, 90);
    EXPECT_EQ(static_cast<size_t>(got), std::string(d.GetSymbols()).size());
    // A block shorter than a symbol yields at most one; when none, the text stays.
    std::string before = d.GetSymbols();
    int produced = 1;
    for (int tries = 0; tries < 3 && produced != 0; ++tries) {
        produced = d.Process(x, 5);
        EXPECT_LE(produced, 1);
        if (produced) before = d.GetSymbols();
    }
    EXPECT_EQ(0, produced);
    EXPECT_EQ(before, d.GetSymbols());
    // Refused rates leave both as they were: none at all, a table of more than 10^6 entries,
    // more than 1000 samples per symbol (a sync window beyond reason, or a float-to-int
    // overflow) alone or after the other rate changed.
    const struct {
        uint32_t first;
        float symbols;
        uint32_t then;
    } settings[] = {{0, 4800, 0},      {1000001, 4800, 0}, {0xFFFFFFFF, 4800, 0}, {48000, -1, 0},
                    {48000, 0, 0},     {48000, NAN, 0},    {48000, 1e-30f, 0},    {48000, 0.0048f, 0},
                    {48000, 47.9f, 0}, {48000, 48, 48001}, {1000000, 4800, 0}};
    for (const auto& r : settings) {
        CC4fmDemodulator t;
        t.SetSampleRate(r.first);
        t.SetSymbolRate(r.symbols);
        t.SetSampleRate(r.then);
        const bool sampleRateTaken = r.first == 1000000;  // the last row: the bound itself is taken
        EXPECT_EQ(sampleRateTaken ? 1000000u : 48000u, t.GetSampleRate()) << r.first << " " << r.symbols;
        EXPECT_EQ(r.symbols == 48 ? 48.0f : 4800.0f, t.GetSymbolRate()) << r.first << " " << r.symbols;
    }
    // Low rates are taken: one that leaves no sync window (24 symbols of 100/4800 samples) or no
    // oscillator table fails clearly; 2000 Hz (a window of 10 samples, a ring of 1) runs.
    CC4fmDemodulator slow;
    for (uint32_t rate : {100u, 3u, 2000u}) {
        slow.SetSampleRate(rate);
        EXPECT_EQ(rate, slow.GetSampleRate());
        int result = slow.Process(call.data(), static_cast<int>(call.size()));
        if (rate < 200)
            EXPECT_EQ(-1, result) << rate;
        else
            EXPECT_EQ(static_cast<size_t>(result), std::string(slow.GetSymbols()).size()) << rate;
    }
    slow.SetSampleRate(48000);
    EXPECT_GT(slow.Process(call.data(), static_cast<int>(call.size())), 90);
    // The slicer's edges.
    EXPECT_EQ(0, CC4fmDemodulator::Slice(0.165f));
    EXPECT_EQ(1, CC4fmDemodulator::Slice(0.1651f));
    EXPECT_EQ(3, CC4fmDemodulator::Slice(-0.165f));
    EXPECT_EQ(2, CC4fmDemodulator::Slice(-0.1649f));
    EXPECT_EQ(0, CC4fmDemodulator::Slice(0.0f));
    // A symbol rate whose sync window does not divide evenly still builds (the pattern index
    // stays inside the pattern).
    CC4fmDemodulator odd;
    odd.SetSymbolRate(4799.9f);
    EXPECT_GT(odd.Process(call.data(), static_cast<int>(call.size())), 90);
    // A long block: every symbol of a 20000-symbol block is in the text.
    CC4fmDemodulator big;
    std::vector<float> longCall = c4fmtest::ModulateC4fm(VoiceCall(0x293, 12), C4fmOptions());
    int count = big.Process(longCall.data(), static_cast<int>(longCall.size()));
    EXPECT_NEAR(longCall.size() / 10.0, count, 2);
    EXPECT_EQ(static_cast<size_t>(count), std::string(big.GetSymbols()).size());
}

// After a block that ends just behind a frame sync, the history read back holds that sync: its
// 24 symbol centres slice to the pattern, at the deviation sent (1800 Hz for +-3). Blocks ending
// more than a symbol earlier or later shift the window off the sync.
TEST(C4fmDemodulator, SyncHistoryHoldsTheLastSync) {
    EXPECT_EQ(nullptr, CC4fmDemodulator().GetSyncHistory());
    const int kSyncEnd = (200 + 24) * 10;  // samples up to the sync's last symbol
    const std::vector<float> x = c4fmtest::ModulateC4fm(
        c4fmtest::RandomDibits(200, 5) + p25test::kFrameSync + c4fmtest::RandomDibits(60, 6), C4fmOptions());
    const double kDeviation3 = 2 * std::acos(-1.0) * 1800 / 48000;
    std::vector<int> matching;
    for (int end = kSyncEnd - 30; end < kSyncEnd + 40; ++end) {
        CC4fmDemodulator d;
        d.Process(x.data(), end - 333);  // two blocks: the history carries over
        d.Process(x.data() + end - 333, 333);
        const float* h = d.GetSyncHistory();
        ASSERT_NE(nullptr, h);
        for (int centre = 0; centre < 10; ++centre) {
            std::string sliced;
            double level = 0;
            for (int j = 0; j < 24; ++j) {
                sliced += static_cast<char>('0' + CC4fmDemodulator::Slice(h[10 * j + centre]));
                level += std::fabs(h[10 * j + centre]) / 24;
            }
            if (sliced != p25test::kFrameSync) continue;
            matching.push_back(end);
            EXPECT_NEAR(kDeviation3, level, 0.1 * kDeviation3) << end << " " << centre;
        }
    }
    ASSERT_FALSE(matching.empty());
    EXPECT_GE(matching.front(), kSyncEnd);  // the filters' delay, less than a symbol
    EXPECT_LT(matching.back(), kSyncEnd + 20);
}

TEST(C4fmDemodulator, AfcStaysWithinFourKilohertzOfTheCentre) {
    CC4fmDemodulator d;
    std::vector<float> noise = c4fmtest::WhiteNoise(48000 * 3, 0.3, 11);
    for (size_t done = 0; done + 4096 <= noise.size(); done += 4096) {
        d.Process(noise.data() + done, 4096);
        ASSERT_LE(std::fabs(d.GetOscillatorFrequency() - 12000.0), 4000.0);
    }
    // A call 6 kHz off pulls it to the edge of the range, not beyond.
    C4fmOptions o;
    o.carrierOffsetHz = 6000;
    std::vector<float> x = c4fmtest::ModulateC4fm(VoiceCall(0x293, 2), o);
    for (size_t done = 0; done + 2048 <= x.size(); done += 2048) {
        d.Process(x.data() + done, 2048);
        ASSERT_LE(std::fabs(d.GetOscillatorFrequency() - 12000.0), 4000.0);
    }
    // Reset recentres it.
    d.Reset();
    EXPECT_EQ(12000.0, d.GetOscillatorFrequency());
}

// Real recordings: every frame the README counts (within 2; the first may be lost while the
// clock locks), each with the right NAC, and nothing else.
struct Recording {
    const char* name;
    int nac;
    std::map<int, int> frames;  // DUID -> count
};

std::map<int, int> CountFrames(const std::vector<FoundFrame>& frames, int nac) {
    std::map<int, int> counts;
    for (const FoundFrame& f : frames) {
        EXPECT_EQ(nac, f.nac) << "frame at symbol " << f.position;
        counts[f.duid]++;
    }
    return counts;
}

// The frames found of those the recording carries; none beyond them.
int ExpectCounts(const Recording& r, const std::map<int, int>& counts, const char* what) {
    for (auto [duid, count] : counts)
        EXPECT_TRUE(r.frames.count(duid)) << r.name << " " << what << ": false DUID " << duid;
    int found = 0;
    for (auto [duid, count] : r.frames) {
        int got = counts.count(duid) ? counts.at(duid) : 0;
        EXPECT_LE(std::abs(got - count), 2)
            << r.name << " " << what << " DUID " << duid << ": " << got << " of " << count;
        EXPECT_LE(got, count) << r.name << " " << what << " DUID " << duid;
        found += got;
    }
    return found;
}

const Recording kRecordings[] = {
    {"voice-nac293-tg1.if.wav", 0x293, {{0x0, 1}, {0x5, 20}, {0xA, 20}, {0x3, 1}}},
    {"voice-nac1f5-tg7455.if.wav", 0x1F5, {{0x0, 1}, {0x5, 10}, {0xA, 9}, {0x3, 4}, {0xF, 48}}},
    {"voice-encrypted-nac104-tg1543.if.wav", 0x104, {{0x0, 4}, {0x5, 17}, {0xA, 17}, {0x3, 4}, {0xF, 144}}},
    {"control-nac140.if.wav", 0x140, {{0x7, 27}}},
};

TEST(C4fmRecordings, NoisyCopiesKeepNineInTenFrames) {
    for (const Recording& r : kRecordings) {
        std::vector<float> x = ReadRecording(r.name);
        ASSERT_GT(x.size(), 48000u) << r.name;
        // White noise at a moderate level (about 20 dB below the recording's power).
        double power = 0;
        for (float v : x) power += double(v) * v;
        std::vector<float> noisy = x;
        c4fmtest::AddWhiteNoise(noisy, std::sqrt(power / x.size()) * 0.1, 17);
        std::map<int, int> counts = CountFrames(FindFrames(Demodulate(noisy, 2048)), r.nac);
        int total = 0, expected = 0;
        for (auto [duid, count] : counts) total += count;
        for (auto [duid, count] : r.frames) expected += count;
        EXPECT_GE(total, expected * 9 / 10) << r.name << " with noise";
    }
}

// Within one block every sync peak is measured against the block-start oscillator, so larger
// blocks (more peaks each) must not drive the AFC away, and only syncs move it, so the lead-in
// before a transmission cannot: any block size finds at least 325 of the 327 frames.
TEST(C4fmRecordings, AnyBlockSizeFindsTheFrames) {
    std::vector<std::vector<float>> signals;
    for (const Recording& r : kRecordings) signals.push_back(ReadRecording(r.name));
    for (int block : {512, 1000, 2048, 8192, 32768}) {
        std::string what = "block " + std::to_string(block);
        int found = 0;
        for (size_t k = 0; k < signals.size(); ++k)
            found +=
                ExpectCounts(kRecordings[k], CountFrames(FindFrames(Demodulate(signals[k], block)), kRecordings[k].nac),
                             what.c_str());
        EXPECT_GE(found, 325) << what;
    }
}

}  // namespace
