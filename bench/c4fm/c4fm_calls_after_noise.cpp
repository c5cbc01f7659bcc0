#include "bench/c4fm/c4fm_calls_after_noise.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "p25/c4fm_demodulator.h"
#include "tests/support/c4fm_frame_scan.h"
#include "tests/support/c4fm_modulator.h"
#include "tests/support/p25_frame_builder.h"

namespace {

using c4fmtest::Demodulate;

std::string ShortCall(int nac) { return p25test::PlainCall(nac, 3) + c4fmtest::RandomDibits(100, 7); }

struct Tally {
    int calls = 0, headers = 0, lostWhole = 0, worstLost = 0, falseFrames = 0;
    long lostAtStart = 0;
    void Add(const Tally& t) {
        calls += t.calls;
        headers += t.headers;
        lostWhole += t.lostWhole;
        worstLost = std::max(worstLost, t.worstLost);
        falseFrames += t.falseFrames;
        lostAtStart += t.lostAtStart;
    }
    void Print(const char* label) const {
        std::printf("%-16s %4d  %5.1f %%  %9.2f  %6d  %11d  %6d\n", label, calls, 100.0 * headers / calls,
                    double(lostAtStart) / calls, worstLost, lostWhole, falseFrames);
    }
};

// One call after `leadSamples` of noise: which sent frames are found where they were sent.
void RunCall(const std::string& sent, const std::vector<c4fmtest::FoundFrame>& tx, int leadSamples, double offset,
             unsigned seed, Tally* t) {
    c4fmtest::C4fmOptions o;
    o.carrierOffsetHz = offset;
    o.ebN0Db = 30;
    o.seed = seed;
    o.delaySamples = (seed % 10) * 0.97;
    std::vector<float> x = c4fmtest::WhiteNoise(leadSamples, o.amplitude / std::sqrt(2.0), seed + 1000);
    std::vector<float> call = c4fmtest::ModulateC4fm(sent, o);
    x.insert(x.end(), call.begin(), call.end());
    std::vector<bool> found(tx.size(), false);
    const size_t lead = static_cast<size_t>(leadSamples / 10);
    for (const c4fmtest::FoundFrame& r : c4fmtest::FindFrames(Demodulate(x, 2048))) {
        auto match = std::find_if(tx.begin(), tx.end(), [&](const c4fmtest::FoundFrame& f) {
            return r.position + 4 >= f.position + lead && r.position <= f.position + lead + 4;
        });
        if (match == tx.end() || match->nac != r.nac || match->duid != r.duid)
            ++t->falseFrames;
        else
            found[match - tx.begin()] = true;
    }
    const int first = static_cast<int>(std::find(found.begin(), found.end(), true) - found.begin());
    ++t->calls;
    t->headers += found[0];
    t->lostWhole += first == static_cast<int>(tx.size());
    t->lostAtStart += first;
    t->worstLost = std::max(t->worstLost, first);
}

}  // namespace

void PrintCallsAfterNoise() {
    const std::string sent = ShortCall(0x2C3);
    const std::vector<c4fmtest::FoundFrame> tx = c4fmtest::FindFrames(sent);
    std::printf(
        "Calls after noise: HDU, 3 LDU1/LDU2 pairs, TDU (%zu frames) at 30 dB Eb/N0 after white noise at\n"
        "the signal's level; 40 seeds per case, blocks of 2048 samples\n",
        tx.size());
    std::printf("%-16s %4s  %7s  %9s  %6s  %11s  %6s\n", "lead, offset", "runs", "headers", "mean lost", "worst",
                "lost whole", "false");
    Tally all;
    for (double lead : {0.5, 1.0, 3.0}) {
        for (double offset : {-1500.0, -500.0, 0.0, 500.0, 1500.0}) {
            Tally t;
            for (unsigned seed = 1; seed <= 40; ++seed)
                RunCall(sent, tx, static_cast<int>(lead * 48000) + static_cast<int>(seed * 97 % 480), offset, seed, &t);
            char label[32];
            std::snprintf(label, sizeof label, "%.1f s %+5.0f Hz", lead, offset);
            t.Print(label);
            all.Add(t);
        }
    }
    all.Print("all");
}

void PrintRecordingFrames() {
    struct Recording {
        const char* name;
        int nac;
        std::map<int, int> frames;  // DUID -> count carried
    };
    const Recording recordings[] = {
        {"voice-nac293-tg1.if.wav", 0x293, {{0x0, 1}, {0x5, 20}, {0xA, 20}, {0x3, 1}}},
        {"voice-nac1f5-tg7455.if.wav", 0x1F5, {{0x0, 1}, {0x5, 10}, {0xA, 9}, {0x3, 4}, {0xF, 48}}},
        {"voice-encrypted-nac104-tg1543.if.wav", 0x104, {{0x0, 4}, {0x5, 17}, {0xA, 17}, {0x3, 4}, {0xF, 144}}},
        {"control-nac140.if.wav", 0x140, {{0x7, 27}}},
    };
    std::vector<std::vector<float>> signals;
    int carried = 0;
    for (const Recording& r : recordings) {
        signals.push_back(c4fmtest::ReadRecording(r.name));
        if (signals.back().empty()) {
            std::printf("recording %s not found\n", r.name);
            return;
        }
        for (auto [duid, count] : r.frames) carried += count;
    }
    std::printf(
        "Frames of the four shared recordings (%d carried) found, and false ones (wrong NAC, a DUID\n"
        "the recording does not carry, or more than it carries)\n",
        carried);
    for (int block : {512, 1024, 2048, 4096, 8192, 16384, 32768}) {
        int found = 0, wrong = 0;
        for (size_t k = 0; k < signals.size(); ++k) {
            std::map<int, int> counts;
            for (const c4fmtest::FoundFrame& f : c4fmtest::FindFrames(Demodulate(signals[k], block))) {
                if (f.nac != recordings[k].nac)
                    ++wrong;
                else
                    ++counts[f.duid];
            }
            for (auto [duid, count] : counts) {
                auto it = recordings[k].frames.find(duid);
                const int expected = it == recordings[k].frames.end() ? 0 : it->second;
                found += std::min(count, expected);
                wrong += std::max(0, count - expected);
            }
        }
        std::printf("  blocks of %5d: %3d of %d found, %d false\n", block, found, carried, wrong);
    }
}
