// Native throughput of the resamplers, the sinc FIR block, the spectrum estimator and the
// analogue squelch chain. Goals: CResampler >= 16 M outputs/s; rational 48k -> 1371
// >= 1000x real time; sinc FIR 255 taps >= 1 G taps*samples/s; 1024-point spectra
// >= 50,000/s; squelch chain >= 100x real time. items/s below are those units.
#include <benchmark/benchmark.h>

#include "bench/dsp2/dsp2_workloads.h"

static void BM_ResamplerOutputs(benchmark::State& state) {
    CResampler r;
    const std::vector<int16_t> x = BenchAudio(kAudioRate);
    int64_t outputs = 0;
    for (auto _ : state) outputs += ResampleSecond(&r, x);
    state.SetItemsProcessed(outputs);
}
BENCHMARK(BM_ResamplerOutputs);

static void BM_RationalSecondsOfAudio(benchmark::State& state) {
    auto r = BenchRational();
    const std::vector<int16_t> x = BenchAudio(kAudioRate);
    for (auto _ : state) benchmark::DoNotOptimize(RationalSecond(r.get(), x));
    state.SetItemsProcessed(state.iterations());  // items/s = times real time
}
BENCHMARK(BM_RationalSecondsOfAudio);

static void BM_SincFirTapSamples(benchmark::State& state) {
    auto f = BenchSinc();
    const std::vector<int32_t> x = Widen(BenchAudio(kAudioRate));
    for (auto _ : state) benchmark::DoNotOptimize(SincSecond(f.get(), x));
    state.SetItemsProcessed(state.iterations() * int64_t(kAudioRate) * kSincTaps);
}
BENCHMARK(BM_SincFirTapSamples);

static void BM_Spectra1024(benchmark::State& state) {
    auto e = BenchSpectrum();
    const std::vector<int32_t> x = Widen(BenchAudio(kSpectrumSize + 16 * kSpectraPerBatch));
    for (auto _ : state) benchmark::DoNotOptimize(SpectraBatch(e.get(), x));
    state.SetItemsProcessed(state.iterations() * kSpectraPerBatch);
}
BENCHMARK(BM_Spectra1024);

static void BM_SquelchChainSecondsOfAudio(benchmark::State& state) {
    SquelchChain chain;
    const std::vector<int16_t> x = BenchAudio(kAudioRate);
    for (auto _ : state) benchmark::DoNotOptimize(chain.Second(x));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SquelchChainSecondsOfAudio);

BENCHMARK_MAIN();
