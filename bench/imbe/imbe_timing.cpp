// Windows: the IMBE benchmark workloads timed with the performance counter, printed as frames
// per second beside real time (50 frames/s).
#include <cstdio>

#include "bench/imbe/imbe_workload.h"
#include "foundation/high_res_timer.h"

template <typename Run>
static double FramesPerSecond(const ImbeWorkload& w, Run run) {
    double best = 0;
    for (int pass = 0; pass < 5; ++pass) {
        ImbeDecoderState state;
        ImbeInit(&state);
        HighResTimer timer;
        volatile uint32_t sink = run(w, &state);
        (void)sink;
        double us = static_cast<double>(timer.Elapsed(1000000));
        double fps = static_cast<double>(w.frames.size()) * 1e6 / (us > 0 ? us : 1);
        if (fps > best) best = fps;
    }
    return best;
}

int main() {
    ImbeWorkload random(10000, false), mixed(10000, true);
    double fec = FramesPerSecond(random, RunFecAndUnpack);
    double dec = FramesPerSecond(mixed, RunDecode);
    std::printf("%-28s %14s %12s\n", "workload", "frames/s", "x real time");
    std::printf("%-28s %14.0f %12.0f\n", "FEC + unpacking", fec, fec / 50);
    std::printf("%-28s %14.0f %12.0f\n", "whole decode (mixed)", dec, dec / 50);
    return 0;
}
