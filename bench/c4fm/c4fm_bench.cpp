// Native: the demodulator's throughput on a synthetic call and on the real recording (seconds
// of 48 kHz signal per second), after the sensitivity table.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/c4fm/c4fm_calls_after_noise.h"
#include "bench/c4fm/c4fm_sensitivity.h"
#include "p25/c4fm_demodulator.h"
#include "tests/support/c4fm_modulator.h"

namespace {

int DemodulateAll(CC4fmDemodulator* d, const std::vector<float>& x) {
    int symbols = 0;
    for (size_t done = 0; done < x.size(); done += 2048)
        symbols += d->Process(x.data() + done, static_cast<int>(std::min<size_t>(2048, x.size() - done)));
    return symbols;
}

void Run(benchmark::State& state, const std::vector<float>& x) {
    CC4fmDemodulator d;
    for (auto _ : state) benchmark::DoNotOptimize(DemodulateAll(&d, x));
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) * x.size() / 48000.0, benchmark::Counter::kIsRate);
}

void SyntheticCall(benchmark::State& state) {
    c4fmtest::C4fmOptions o;
    o.ebN0Db = 20;
    Run(state, c4fmtest::ModulateC4fm(BenchVoiceCall(10), o));
}

void Recording(benchmark::State& state) {
    std::vector<float> x = BenchRecordingSecond();
    if (x.empty()) {
        state.SkipWithError("recording not found");
        return;
    }
    Run(state, x);
}

// Demodulator, frame decoder and vocoder on the real recording.
void WholeChain(benchmark::State& state) {
    std::vector<float> x = BenchRecordingSecond();
    if (x.empty()) {
        state.SkipWithError("recording not found");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(RunChain(x));
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) * x.size() / 48000.0, benchmark::Counter::kIsRate);
}

BENCHMARK(WholeChain)->Unit(benchmark::kMillisecond);
BENCHMARK(SyntheticCall)->Unit(benchmark::kMillisecond);
BENCHMARK(Recording)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    CallsAfterNoiseOptions options;
    if (!TakeCallsAfterNoiseOptions(&argc, argv, &options)) {
        std::fprintf(stderr, "usage: bench_c4fm %s [benchmark flags]\n", kCallsAfterNoiseUsage);
        return 2;
    }
    if (options.callsOnly) {
        PrintCallsAfterNoise(options.blocks, options.seeds, true);
        return 0;
    }
    PrintSensitivity();
    PrintCallsAfterNoise(options.blocks, options.seeds, options.blocks.size() == 1);
    PrintRecordingFrames();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
