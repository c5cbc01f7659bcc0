// Windows: the same workloads timed with the performance counter (best of 5 runs).
#include <cstdio>

#include "bench/dsp/dsp_workloads.h"
#include "foundation/high_res_timer.h"

template <typename Work>
static double BestSeconds(Work work, int repeats) {
    double best = 1e30;
    for (int run = 0; run < 5; ++run) {
        HighResTimer timer;
        for (int i = 0; i < repeats; ++i) work(i);
        double s = static_cast<double>(timer.Elapsed(1000000000)) * 1e-9 / repeats;
        if (s < best) best = s;
    }
    return best;
}

int main() {
    volatile float sink = 0;
    std::vector<float> x = BenchSignal(kRate);
    auto floatFir = BenchFilter(false);
    double s = BestSeconds([&](int) { sink = FilterSecond(floatFir.get(), x); }, 2);
    std::printf("float FIR 512 taps   %8.2f GMAC/s  %8.1f x real time\n", kRate * kFilterTaps / s * 1e-9, 1 / s);

    auto fixedFir = BenchFilter(true);
    std::vector<int16_t> x16(kRate);
    for (int i = 0; i < kRate; ++i) x16[i] = static_cast<int16_t>(x[i] * 30000);
    s = BestSeconds([&](int) { sink = FilterSecondInt16(fixedFir.get(), x16); }, 5);
    std::printf("16-bit FIR 512 taps  %8.2f GMAC/s  %8.1f x real time\n", kRate * kFilterTaps / s * 1e-9, 1 / s);

    CFmDemodulator fm;
    s = BestSeconds([&](int) { sink = FmSecond(&fm, x); }, 5);
    std::printf("FM demodulator       %8.1f x real time\n", 1 / s);

    CFFT fft(4096, 1);
    std::vector<float> spectra = BenchSignal(4096 * kSpectra);
    s = BestSeconds([&](int) { sink = static_cast<float>(SpectraBatch(&fft, spectra)); }, 5);
    std::printf("CFFT 4096 points     %8.0f spectra/s\n", kSpectra / s);

    auto design = BenchFilter(false);
    s = BestSeconds([&](int i) { sink = static_cast<float>(DesignOnce(design.get(), i)); }, 20);
    std::printf("design N=8192 512 taps %6.3f ms\n", s * 1e3);
    (void)sink;
    return 0;
}
