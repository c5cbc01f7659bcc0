// Windows: the same pair workload timed with the performance counter, the private heap beside
// the C runtime's malloc, printed as nanoseconds per alloc/free pair.
#include <cstdio>
#include <cstdlib>

#include "bench/heap/heap_pairs.h"
#include "foundation/high_res_timer.h"
#include "foundation/private_heap.h"

template <typename Alloc, typename Free>
static double NsPerPair(const PairWorkload& w, Alloc alloc, Free release) {
    double best = 1e30;
    for (int run = 0; run < 5; ++run) {
        HighResTimer timer;
        volatile uintptr_t sink = RunPairs(w, alloc, release);
        (void)sink;
        double ns = static_cast<double>(timer.Elapsed(1000000000)) / static_cast<double>(w.slots.size());
        if (ns < best) best = ns;
    }
    return best;
}

int main() {
    std::printf("%-10s %-8s %14s %14s %7s\n", "live", "sizes", "private ns", "malloc ns", "ratio");
    for (size_t maxBytes : {512u, 8192u}) {
        for (size_t live : {100u, 1000u, 10000u}) {
            PairWorkload w(live, maxBytes, 200000);
            double mine = NsPerPair(w, PrivateHeapAlloc, PrivateHeapFree);
            double sys = NsPerPair(w, std::malloc, std::free);
            std::printf("%-10zu 1-%-6zu %14.1f %14.1f %7.2f\n", live, maxBytes, mine, sys, mine / sys);
        }
    }
    return 0;
}
