// Windows: the sensitivity table and the demodulator's throughput, timed with the
// performance counter (best of 5 runs).
#include <cstdio>

#include "bench/c4fm/c4fm_calls_after_noise.h"
#include "bench/c4fm/c4fm_sensitivity.h"
#include "foundation/high_res_timer.h"
#include "p25/c4fm_demodulator.h"
#include "tests/support/c4fm_modulator.h"

static double RealTimeFactor(const std::vector<float>& x) {
    double best = 1e30;
    CC4fmDemodulator d;
    volatile int sink = 0;
    for (int run = 0; run < 5; ++run) {
        HighResTimer timer;
        for (size_t done = 0; done < x.size(); done += 2048)
            sink = sink + d.Process(x.data() + done, static_cast<int>(std::min<size_t>(2048, x.size() - done)));
        double s = static_cast<double>(timer.Elapsed(1000000000)) * 1e-9;
        if (s < best) best = s;
    }
    return x.size() / 48000.0 / best;
}

int main(int argc, char** argv) {
    CallsAfterNoiseOptions options;
    if (!TakeCallsAfterNoiseOptions(&argc, argv, &options) || argc > 1) {
        std::fprintf(stderr, "usage: bench_c4fm %s\n", kCallsAfterNoiseUsage);
        return 2;
    }
    if (options.callsOnly) {
        PrintCallsAfterNoise(options.blocks, options.seeds, true);
        return 0;
    }
    PrintSensitivity();
    PrintCallsAfterNoise(options.blocks, options.seeds, options.blocks.size() == 1);
    PrintRecordingFrames();
    c4fmtest::C4fmOptions o;
    o.ebN0Db = 20;
    std::printf("demodulator, synthetic call  %8.1f x real time\n",
                RealTimeFactor(c4fmtest::ModulateC4fm(BenchVoiceCall(10), o)));
    std::vector<float> recording = BenchRecordingSecond();
    if (!recording.empty()) {
        std::printf("demodulator, recording       %8.1f x real time\n", RealTimeFactor(recording));
        double best = 1e30;
        for (int run = 0; run < 5; ++run) {
            HighResTimer timer;
            volatile int blocks = RunChain(recording);
            (void)blocks;
            double s = static_cast<double>(timer.Elapsed(1000000000)) * 1e-9;
            if (s < best) best = s;
        }
        std::printf("whole chain, recording       %8.1f x real time\n", recording.size() / 48000.0 / best);
    }
    return 0;
}
