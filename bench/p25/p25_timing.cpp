// Windows: the P25 benchmark workloads timed with the performance counter (best of 5 passes).
#include <cstdio>

#include "bench/p25/p25_workload.h"
#include "foundation/high_res_timer.h"

namespace {

template <typename Run>
double PerSecond(double items, Run run) {
    double best = 0;
    for (int pass = 0; pass < 5; ++pass) {
        HighResTimer timer;
        volatile unsigned sink = static_cast<unsigned>(run());
        (void)sink;
        const double us = static_cast<double>(timer.Elapsed(1000000));
        const double rate = items * 1e6 / (us > 0 ? us : 1);
        if (rate > best) best = rate;
    }
    return best;
}

}  // namespace

int main() {
    const int kWords = 2000;
    P25Workload w(kWords);
    CApcoFrameDecoder d;
    CReedSolomon rs(6);
    rs.SetCode(12, 1, 1);
    const double symbols = PerSecond(static_cast<double>(w.frames.size()), [&] { return RunFrames(w, d); });
    const double bch = PerSecond(kWords, [&] { return RunBch(w); });
    const double rsRate = PerSecond(kWords, [&] { return RunRs(w, rs); });
    CApcoFrameDecoder t;
    const double tsbk = PerSecond(w.tsbkCount, [&] { return RunTsdus(w, t); });
    std::printf("%-36s %14s %10s\n", "workload", "per second", "goal");
    std::printf("%-36s %14.0f %10s   (%.0fx real time)\n", "frame decoding, symbols", symbols, "2000000",
                symbols / 4800);
    std::printf("%-36s %14.0f %10s\n", "BCH NID, 11 errors", bch, "200000");
    std::printf("%-36s %14.0f %10s\n", "RS(24,12), 6 errors", rsRate, "100000");
    std::printf("%-36s %14.0f %10s\n", "trunking blocks", tsbk, "100000");
    return 0;
}
