// Native: IMBE frames per second on one core. Real time is 50 frames/s; goals: error
// correction + unpacking >= 200,000 frames/s, whole decode >= 20,000 frames/s.
#include <benchmark/benchmark.h>

#include "bench/imbe/imbe_workload.h"

namespace {

constexpr size_t kFrames = 10000;

void FecAndUnpack(benchmark::State& s) {
    ImbeWorkload w(kFrames, false);
    ImbeDecoderState state;
    ImbeInit(&state);
    for (auto _ : s) benchmark::DoNotOptimize(RunFecAndUnpack(w, &state));
    s.SetItemsProcessed(s.iterations() * static_cast<int64_t>(kFrames));
    s.counters["xRealTime"] = benchmark::Counter(static_cast<double>(s.iterations()) * kFrames / 50.0,
                                                 benchmark::Counter::kIsRate);
}

void DecodeMixed(benchmark::State& s) {
    ImbeWorkload w(kFrames, true);
    ImbeDecoderState state;
    ImbeInit(&state);
    for (auto _ : s) benchmark::DoNotOptimize(RunDecode(w, &state));
    s.SetItemsProcessed(s.iterations() * static_cast<int64_t>(kFrames));
    s.counters["xRealTime"] = benchmark::Counter(static_cast<double>(s.iterations()) * kFrames / 50.0,
                                                 benchmark::Counter::kIsRate);
}

BENCHMARK(FecAndUnpack)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeMixed)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
