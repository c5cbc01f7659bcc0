// Native: alloc/free pair cost of the private heap beside the C library's allocator, at 100,
// 1,000 and 10,000 live blocks of 1-512 B and 1-8 KB.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "bench/heap/heap_pairs.h"
#include "foundation/private_heap.h"

namespace {

constexpr size_t kSteps = 200000;

void PrivateHeapPairs(benchmark::State& state) {
    PairWorkload w(static_cast<size_t>(state.range(0)), static_cast<size_t>(state.range(1)), kSteps);
    for (auto _ : state) benchmark::DoNotOptimize(RunPairs(w, PrivateHeapAlloc, PrivateHeapFree));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSteps));
}

void SystemPairs(benchmark::State& state) {
    PairWorkload w(static_cast<size_t>(state.range(0)), static_cast<size_t>(state.range(1)), kSteps);
    for (auto _ : state) benchmark::DoNotOptimize(RunPairs(w, std::malloc, std::free));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSteps));
}

void Args(benchmark::internal::Benchmark* b) {
    for (int64_t maxBytes : {512, 8192})
        for (int64_t live : {100, 1000, 10000}) b->Args({live, maxBytes});
    b->ArgNames({"live", "maxBytes"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(PrivateHeapPairs)->Apply(Args);
BENCHMARK(SystemPairs)->Apply(Args);

}  // namespace

BENCHMARK_MAIN();
