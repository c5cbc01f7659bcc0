// The receive chain with each allocation of a short run failing in turn: the demodulator and
// the frame decoder report the failure (-1) and never crash, fields they show are the call's
// own, and a run in which neither reported a failure decodes exactly what it decodes with memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "p25/apco_frame_decoder.h"
#include "p25/c4fm_demodulator.h"
#include "tests/support/c4fm_modulator.h"
#include "tests/support/failure_injection.h"
#include "tests/support/p25_frame_builder.h"

namespace {

constexpr int kRun = 48;  // more than the chain allocates (demodulator buffers, audio blocks)
constexpr int kNac = 0x293;

struct ChainRun {
    bool refused = false;
    bool audioAsWanted = true;
    size_t audioSamples = 0;
    int nac = -1, tgid = -1;
};

// Compares the audio with want, or appends it to record when that is given. Without record it
// allocates nothing on the test side, so that only the library meets the failing heap.
ChainRun RunChain(const std::vector<float>& x, const std::vector<int16_t>& want,
                  std::vector<int16_t>* record = nullptr) {
    ChainRun r;
    CC4fmDemodulator demodulator;
    CApcoFrameDecoder decoder;
    decoder.SetBlockSize(512);
    for (size_t done = 0; done < x.size(); done += 4800) {
        const int n = static_cast<int>(std::min<size_t>(4800, x.size() - done));
        const int symbols = demodulator.Process(x.data() + done, n);
        if (symbols < 0 || (symbols > 0 && decoder.Process(demodulator.GetSymbols(), symbols) < 0)) r.refused = true;
        while (int16_t* block = decoder.PopAudioBlock()) {
            const size_t size = static_cast<size_t>(decoder.GetBlockSize());
            if (record)
                record->insert(record->end(), block, block + size);
            else
                r.audioAsWanted = r.audioAsWanted && r.audioSamples + size <= want.size() &&
                                  std::equal(block, block + size, want.begin() + r.audioSamples);
            r.audioSamples += size;
            decoder.ReleaseAudioBlock(block);
        }
    }
    r.nac = decoder.GetNac();
    r.tgid = decoder.GetTgid();
    return r;
}

}  // namespace

TEST(AllocationFailure, ReceiveChainReportsItAndInventsNothing) {
    const std::vector<float> x = c4fmtest::ModulateC4fm(p25test::PlainCall(kNac, 1), c4fmtest::C4fmOptions());
    std::vector<int16_t> want;
    const ChainRun full = RunChain(x, std::vector<int16_t>(), &want);
    ASSERT_FALSE(full.refused);
    ASSERT_EQ(kNac, full.nac);
    ASSERT_FALSE(want.empty());
    int refused = 0;
    ForEachFailingAllocation(kRun, [&](int) {
        const ChainRun r = RunChain(x, want);
        refused += r.refused;
        const bool fieldsOwn = (r.nac == -1 || r.nac == kNac) && (r.tgid == -1 || r.tgid == 1);
        return fieldsOwn && (r.refused || (r.audioAsWanted && r.audioSamples == want.size() && r.nac == kNac));
    });
    if (!HasFailure() && !IsSkipped()) {
        EXPECT_GT(refused, 0);  // the injection reached the chain
    }
}
