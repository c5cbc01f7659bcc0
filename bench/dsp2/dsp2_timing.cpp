// Windows: the same workloads timed with the performance counter (best of 5 runs), each
// figure beside its goal.
#include <cstdio>

#include "bench/dsp2/dsp2_workloads.h"
#include "foundation/high_res_timer.h"

template <typename Work>
static double BestSeconds(Work work, int repeats) {
    double best = 1e30;
    for (int run = 0; run < 5; ++run) {
        HighResTimer timer;
        for (int i = 0; i < repeats; ++i) work();
        const double s = static_cast<double>(timer.Elapsed(1000000000)) * 1e-9 / repeats;
        if (s < best) best = s;
    }
    return best;
}

int main() {
    volatile double sink = 0;
    const std::vector<int16_t> audio = BenchAudio(kAudioRate);
    const std::vector<int32_t> wide = Widen(audio);

    CResampler resampler;
    uint32_t outputs = 0;
    double s = BestSeconds([&] { outputs = ResampleSecond(&resampler, audio); }, 20);
    std::printf("CResampler 48k->16k      %8.1f M outputs/s      (goal 16)\n", outputs / s * 1e-6);

    auto rational = BenchRational();
    s = BestSeconds([&] { sink = RationalSecond(rational.get(), audio); }, 20);
    std::printf("rational 48k->1371       %8.0f x real time      (goal 1000)\n", 1 / s);

    auto sinc = BenchSinc();
    s = BestSeconds([&] { sink = SincSecond(sinc.get(), wide); }, 5);
    std::printf("sinc FIR 255 taps        %8.2f G taps*samples/s (goal 1)\n",
                kAudioRate * double(kSincTaps) / s * 1e-9);

    auto spectrum = BenchSpectrum();
    const std::vector<int32_t> frames = Widen(BenchAudio(kSpectrumSize + 16 * kSpectraPerBatch));
    s = BestSeconds([&] { sink = SpectraBatch(spectrum.get(), frames); }, 10);
    std::printf("spectrum 1024 points     %8.0f spectra/s        (goal 50000)\n", kSpectraPerBatch / s);

    SquelchChain chain;
    s = BestSeconds([&] { sink = chain.Second(audio); }, 3);
    std::printf("analogue squelch chain   %8.0f x real time      (goal 100)\n", 1 / s);
    (void)sink;
    return 0;
}
