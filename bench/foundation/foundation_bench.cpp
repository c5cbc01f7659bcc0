// LockedQueue throughput between two threads (goal: at least 200 MB/s with 64 KB pieces),
// beside a plain memcpy of the same bytes; and a 100,000-character String built by single
// character appends (goal: under 100 ms), beside std::string doing the same.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "foundation/locked_queue.h"
#include "foundation/string.h"

namespace {

constexpr uint32_t kPiece = 64 * 1024;
constexpr uint64_t kTotal = 256ull << 20;

void LockedQueueTwoThreads(benchmark::State& state) {
    std::vector<uint8_t> piece(kPiece, 0x5A), sink(kPiece);
    for (auto _ : state) {
        LockedQueue q(kPiece, 16 * kPiece);
        std::thread producer([&] {
            for (uint64_t sent = 0; sent < kTotal;) {
                int n = q.Write(piece.data(), kPiece);
                if (n == 0) std::this_thread::yield();
                sent += static_cast<uint64_t>(n);  // a partial write is resent from the start
            }
        });
        for (uint64_t got = 0; got < kTotal;) {
            uint8_t* data = q.LockRead();
            uint32_t n = q.GetSize() < kPiece ? q.GetSize() : kPiece;
            std::memcpy(sink.data(), data, n);
            q.UnlockRead(n);
            got += n;
            if (n == 0) std::this_thread::yield();
        }
        producer.join();
        benchmark::DoNotOptimize(sink.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTotal));
}
BENCHMARK(LockedQueueTwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime();

void MemcpyReference(benchmark::State& state) {
    std::vector<uint8_t> piece(kPiece, 0x5A), sink(kPiece);
    for (auto _ : state) {
        for (uint64_t got = 0; got < kTotal; got += kPiece) std::memcpy(sink.data(), piece.data(), kPiece);
        benchmark::DoNotOptimize(sink.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTotal));
}
BENCHMARK(MemcpyReference)->Unit(benchmark::kMillisecond)->UseRealTime();

void StringSingleCharacterAppends(benchmark::State& state) {
    for (auto _ : state) {
        String s(16);
        for (int i = 0; i < 100000; ++i) s += static_cast<char>('a' + i % 26);
        benchmark::DoNotOptimize(s.CStr());
    }
}
BENCHMARK(StringSingleCharacterAppends)->Unit(benchmark::kMillisecond);

void StdStringReference(benchmark::State& state) {
    for (auto _ : state) {
        std::string s;
        for (int i = 0; i < 100000; ++i) s += static_cast<char>('a' + i % 26);
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(StdStringReference)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
