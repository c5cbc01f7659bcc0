// Native: IMBE frames per second on one core. Real time is 50 frames/s; goals: error
// correction + unpacking >= 200,000 frames/s, whole decode >= 20,000 frames/s.
#include <benchmark/benchmark.h>

#include "bench/imbe/imbe_workload.h"

namespace {

constexpr size_t kFrames = 10000;

template <uint32_t (*Run)(const ImbeWorkload&, ImbeDecoderState*), bool kMixed>
void Frames(benchmark::State& s) {
    ImbeWorkload w(kFrames, kMixed);
    ImbeDecoderState state;
    ImbeInit(&state);
    for (auto _ : s) benchmark::DoNotOptimize(Run(w, &state));
    s.SetItemsProcessed(s.iterations() * static_cast<int64_t>(kFrames));
    s.counters["xRealTime"] =
        benchmark::Counter(static_cast<double>(s.iterations()) * kFrames / 50.0, benchmark::Counter::kIsRate);
}

BENCHMARK(Frames<RunFecAndUnpack, false>)->Name("FecAndUnpack")->Unit(benchmark::kMillisecond);
BENCHMARK(Frames<RunDecode, true>)->Name("DecodeMixed")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
