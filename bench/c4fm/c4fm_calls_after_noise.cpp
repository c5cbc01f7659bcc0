#include "bench/c4fm/c4fm_calls_after_noise.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "p25/apco_frame_decoder.h"
#include "p25/c4fm_demodulator.h"
#include "tests/support/c4fm_frame_scan.h"
#include "tests/support/c4fm_modulator.h"
#include "tests/support/p25_frame_builder.h"

namespace {

using c4fmtest::Demodulate;

// What the call carries: NAC 0x2C3, ALGID 0x80, MFID 0, talk group 1, source 1, no destination.
constexpr int kNac = 0x2C3;
std::string ShortCall() { return p25test::PlainCall(kNac, 3) + c4fmtest::RandomDibits(100, 7); }

struct Tally {
    int calls = 0, headers = 0, lostWhole = 0, worstLost = 0, falseFrames = 0, falseNac = 0, falseField = 0;
    long lostAtStart = 0;
    void Add(const Tally& t) {
        calls += t.calls;
        headers += t.headers;
        lostWhole += t.lostWhole;
        worstLost = std::max(worstLost, t.worstLost);
        falseFrames += t.falseFrames;
        lostAtStart += t.lostAtStart;
        falseNac += t.falseNac;
        falseField += t.falseField;
    }
    void Print(const char* label) const {
        std::printf("%-16s %4d  %5.1f %%  %9.2f  %6d  %11d  %6d  %9d  %11d\n", label, calls, 100.0 * headers / calls,
                    double(lostAtStart) / calls, worstLost, lostWhole, falseFrames, falseNac, falseField);
    }
};

// One call after `leadSamples` of noise: which sent frames are found where they were sent, and
// whether the frame decoder ever shows a field the call does not carry.
void RunCall(const std::string& sent, const std::vector<c4fmtest::FoundFrame>& tx, int leadSamples, double offset,
             unsigned seed, int block, Tally* t) {
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
    const std::string text = Demodulate(x, block);
    for (const c4fmtest::FoundFrame& r : c4fmtest::FindFrames(text)) {
        auto match = std::find_if(tx.begin(), tx.end(), [&](const c4fmtest::FoundFrame& f) {
            return r.position + 4 >= f.position + lead && r.position <= f.position + lead + 4;
        });
        if (match == tx.end() || match->nac != r.nac || match->duid != r.duid)
            ++t->falseFrames;
        else
            found[match - tx.begin()] = true;
    }
    // The frame decoder over the same text, one symbol at a time: every field it shows at any
    // moment is the call's own or "not decoded".
    CApcoFrameDecoder decoder;
    bool falseNac = false, falseField = false;
    for (size_t k = 0; k < text.size(); ++k) {
        decoder.Process(text.data() + k, 1);
        while (int16_t* b = decoder.PopAudioBlock()) decoder.ReleaseAudioBlock(b);
        const int nac = decoder.GetNac();
        const bool badNac = nac != -1 && nac != kNac;
        const bool badField = badNac || (decoder.GetTgid() != -1 && decoder.GetTgid() != 1) ||
                              (decoder.GetSourceId() != -1 && decoder.GetSourceId() != 1) ||
                              decoder.GetDestinationId() != -1 ||
                              (decoder.GetAlgid() != -1 && decoder.GetAlgid() != 0x80) ||
                              (decoder.GetMfid() != -1 && decoder.GetMfid() != 0) || decoder.IsEmergency();
        falseNac |= badNac;
        falseField |= badField;
    }
    t->falseNac += falseNac;
    t->falseField += falseField;
    const int first = static_cast<int>(std::find(found.begin(), found.end(), true) - found.begin());
    ++t->calls;
    t->headers += found[0];
    t->lostWhole += first == static_cast<int>(tx.size());
    t->lostAtStart += first;
    t->worstLost = std::max(t->worstLost, first);
}

}  // namespace

void PrintCallsAfterNoise(const std::vector<int>& blocks, int seeds, bool eachCase) {
    const std::string sent = ShortCall();
    const std::vector<c4fmtest::FoundFrame> tx = c4fmtest::FindFrames(sent);
    std::printf(
        "Calls after noise: HDU, 3 LDU1/LDU2 pairs, TDU (%zu frames) at 30 dB Eb/N0 after white noise at\n"
        "the signal's level; %d seeds per case\n",
        tx.size(), seeds);
    std::vector<Tally> totals;
    for (int block : blocks) {
        if (eachCase)
            std::printf("blocks of %d samples\n%-16s %4s  %7s  %9s  %6s  %11s  %6s  %9s  %11s\n", block, "lead, offset",
                        "runs", "headers", "mean lost", "worst", "lost whole", "false", "false NAC", "false field");
        Tally all;
        for (double lead : {0.5, 1.0, 3.0}) {
            for (double offset : {-1500.0, -500.0, 0.0, 500.0, 1500.0}) {
                Tally t;
                for (unsigned seed = 1; seed <= static_cast<unsigned>(seeds); ++seed)
                    RunCall(sent, tx, static_cast<int>(lead * 48000) + static_cast<int>(seed * 97 % 480), offset, seed,
                            block, &t);
                char label[32];
                std::snprintf(label, sizeof label, "%.1f s %+5.0f Hz", lead, offset);
                if (eachCase) t.Print(label);
                all.Add(t);
            }
        }
        if (eachCase) all.Print("all");
        totals.push_back(all);
    }
    std::printf("%-16s %4s  %7s  %9s  %6s  %11s  %6s  %9s  %11s\n", "IF block", "runs", "headers", "mean lost", "worst",
                "lost whole", "false", "false NAC", "false field");
    for (size_t k = 0; k < blocks.size(); ++k) {
        char label[32];
        std::snprintf(label, sizeof label, "%d samples", blocks[k]);
        totals[k].Print(label);
    }
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

bool TakeCallsAfterNoiseOptions(int* argc, char** argv, CallsAfterNoiseOptions* o) {
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--blocks=", 0) == 0) {
            for (const char* p = a.c_str() + 9; *p;) {
                char* end = nullptr;
                const long n = std::strtol(p, &end, 10);
                if (end == p || n < 1 || n > (1 << 20) || (*end && *end != ',')) return false;
                o->blocks.push_back(static_cast<int>(n));
                p = *end ? end + 1 : end;
            }
        } else if (a.rfind("--seeds=", 0) == 0) {
            o->seeds = std::atoi(a.c_str() + 8);
            if (o->seeds < 1) return false;
        } else if (a == "--calls-only") {
            o->callsOnly = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
    if (o->blocks.empty()) o->blocks.push_back(2048);
    return true;
}
