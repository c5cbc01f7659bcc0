// Native: P25 frame decoding without the vocoder (goal >= 2 M symbols/s, 400x real time at
// 4800 symbols/s), BCH NID decoding with 11 errors (>= 200,000/s) and RS(24,12) decoding with
// 6 symbol errors (>= 100,000/s); trunking blocks through the decoder (sync, NID, de-interleave,
// Viterbi, CRC, events; >= 100,000 blocks/s).
#include <benchmark/benchmark.h>

#include "bench/p25/p25_workload.h"

namespace {

constexpr int kWords = 2000;

const P25Workload& Workload() {
    static const P25Workload w(kWords);
    return w;
}

void FrameDecoding(benchmark::State& s) {
    const P25Workload& w = Workload();
    CApcoFrameDecoder d;
    for (auto _ : s) benchmark::DoNotOptimize(RunFrames(w, d));
    s.SetItemsProcessed(s.iterations() * static_cast<int64_t>(w.frames.size()));
    s.counters["xRealTime"] =
        benchmark::Counter(static_cast<double>(s.iterations()) * w.frames.size() / 4800.0, benchmark::Counter::kIsRate);
}

void Bch11Errors(benchmark::State& s) {
    const P25Workload& w = Workload();
    for (auto _ : s) benchmark::DoNotOptimize(RunBch(w));
    s.SetItemsProcessed(s.iterations() * kWords);
}

void Rs24x12With6Errors(benchmark::State& s) {
    const P25Workload& w = Workload();
    CReedSolomon rs(6);
    rs.SetCode(12, 1, 1);
    for (auto _ : s) benchmark::DoNotOptimize(RunRs(w, rs));
    s.SetItemsProcessed(s.iterations() * kWords);
}

void TrunkingBlocks(benchmark::State& s) {
    const P25Workload& w = Workload();
    CApcoFrameDecoder d;
    for (auto _ : s) benchmark::DoNotOptimize(RunTsdus(w, d));
    s.SetItemsProcessed(s.iterations() * w.tsbkCount);
}

BENCHMARK(FrameDecoding)->Unit(benchmark::kMillisecond);
BENCHMARK(Bch11Errors)->Unit(benchmark::kMillisecond);
BENCHMARK(Rs24x12With6Errors)->Unit(benchmark::kMillisecond);
BENCHMARK(TrunkingBlocks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
