// Native: FIR filters (MAC/s), FM demodulator, CFFT and one design; "x real time" counters are
// seconds of 48 kHz signal per second.
#include <benchmark/benchmark.h>

#include "bench/dsp/dsp_workloads.h"

namespace {

void RealTime(benchmark::State& state) {
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void FloatFir512(benchmark::State& state) {
    auto f = BenchFilter(false);
    std::vector<float> x = BenchSignal(kRate);
    for (auto _ : state) benchmark::DoNotOptimize(FilterSecond(f.get(), x));
    state.counters["MAC/s"] =
        benchmark::Counter(double(state.iterations()) * kRate * kFilterTaps, benchmark::Counter::kIsRate);
    RealTime(state);
}

void Int16Fir512(benchmark::State& state) {
    auto f = BenchFilter(true);
    std::vector<float> s = BenchSignal(kRate);
    std::vector<int16_t> x(kRate);
    for (int i = 0; i < kRate; ++i) x[i] = static_cast<int16_t>(s[i] * 30000);
    for (auto _ : state) benchmark::DoNotOptimize(FilterSecondInt16(f.get(), x));
    state.counters["MAC/s"] =
        benchmark::Counter(double(state.iterations()) * kRate * kFilterTaps, benchmark::Counter::kIsRate);
    RealTime(state);
}

void FmDemodulator(benchmark::State& state) {
    CFmDemodulator fm;
    std::vector<float> x = BenchSignal(kRate);
    for (auto _ : state) benchmark::DoNotOptimize(FmSecond(&fm, x));
    RealTime(state);
}

void Spectrum4096(benchmark::State& state) {
    CFFT fft(4096, 1);
    std::vector<float> x = BenchSignal(4096 * kSpectra);
    for (auto _ : state) benchmark::DoNotOptimize(SpectraBatch(&fft, x));
    state.counters["spectra/s"] =
        benchmark::Counter(double(state.iterations()) * kSpectra, benchmark::Counter::kIsRate);
}

void Design8192x512(benchmark::State& state) {
    auto f = BenchFilter(false);
    int i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(DesignOnce(f.get(), i++));
}

BENCHMARK(FloatFir512)->Unit(benchmark::kMillisecond);
BENCHMARK(Int16Fir512)->Unit(benchmark::kMillisecond);
BENCHMARK(FmDemodulator)->Unit(benchmark::kMillisecond);
BENCHMARK(Spectrum4096)->Unit(benchmark::kMillisecond);
BENCHMARK(Design8192x512)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
