#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/critical_section.h"
#include "foundation/high_res_timer.h"
#include "foundation/profiler.h"
#include "foundation/quick_sort.h"
#include "foundation/trace.h"

namespace {

TEST(CriticalSection, IsRecursiveAndANullLockDoesNothing) {
    CriticalSection cs;
    {
        CriticalSectionLock outer(&cs);
        CriticalSectionLock inner(&cs);
        CriticalSectionLock none(nullptr);
    }
    // Still usable by another thread afterwards: every enter was matched by a leave.
    std::thread t([&] { CriticalSectionLock lock(&cs); });
    t.join();
}

TEST(CriticalSection, ExcludesFourThreads) {
    CriticalSection cs;
    long counter = 0;
    int inside = 0, overlap = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 100000; ++i) {
                CriticalSectionLock lock(&cs);
                if (++inside != 1) ++overlap;
                long c = counter;
                counter = c + 1;
                --inside;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 400000);
    EXPECT_EQ(overlap, 0);
}

TEST(HighResTimer, ConversionDoesNotOverflow) {
    HighResTimer timer;
    int64_t f = timer.Frequency();
    // A day of ticks in microseconds: ticks × 1e6 alone would overflow 64 bits at 1 GHz.
    EXPECT_EQ(timer.ToUnits(f * 86400, 1000000), int64_t{86400} * 1000000);
    EXPECT_EQ(timer.ToUnits(f / 2, 1000), 500);
    const int64_t first = timer.Elapsed(1000000);
    EXPECT_GE(first, 0);
    EXPECT_GE(timer.Elapsed(1000000), first);  // the counter never runs backwards
}

std::vector<std::string> g_lines;
void Collect(const char* line) { g_lines.emplace_back(line); }

TEST(Profiler, ReportsNothingWithoutScopesAndEveryScopeWithOne) {
    g_lines.clear();
    SetTraceSink(Collect);
    { Profiler idle; }
    EXPECT_TRUE(g_lines.empty());
    {
        Profiler p;
        SetActiveProfiler(&p);
        std::function<void(int)> recurse = [&](int depth) {
            ProfilerScope scope(42, "unit.cpp", "Recurse");
            if (depth > 1) recurse(depth - 1);
        };
        recurse(3);
        ProfilerScope far(7000, "unit.cpp", "BeyondTheTable");
        EXPECT_EQ(p.At(42).hits, 3);
        EXPECT_EQ(p.At(42).depth, 0);
        EXPECT_EQ(p.At(2000).name, std::string("BeyondTheTable"));
    }
    EXPECT_EQ(GetActiveProfiler(), nullptr);
    SetTraceSink(nullptr);
    ASSERT_EQ(g_lines.size(), 5u);
    EXPECT_EQ(g_lines[0].rfind("Profiler report [running ", 0), 0u);
    EXPECT_EQ(g_lines[1], "----------------");
    EXPECT_EQ(g_lines[2].rfind("unit.cpp, [Recurse] line 42: 3 hits, ", 0), 0u) << g_lines[2];
    EXPECT_EQ(g_lines[3].rfind("unit.cpp, [BeyondTheTable] line 7000: 1 hits, ", 0), 0u) << g_lines[3];
    EXPECT_EQ(g_lines[4], "----------------");
}

TEST(Profiler, AFullTableIsNeverLeft) {
    Profiler p;
    static char names[Profiler::kEntries + 1][8];
    for (int i = 0; i <= Profiler::kEntries; ++i) std::snprintf(names[i], 8, "s%d", i);
    for (int i = 0; i < Profiler::kEntries; ++i) EXPECT_GE(p.Lookup(4999, "f", names[i]), 0);
    EXPECT_EQ(p.Lookup(4999, "f", names[Profiler::kEntries]), -1);
    EXPECT_EQ(p.Lookup(4999, "f", names[10]), 9);  // found again where the wrapped search put it
}

struct SortContext {
    std::vector<int> v;
    int calls = 0;
};
bool Less(void* c, int i, int j) {
    auto* s = static_cast<SortContext*>(c);
    ++s->calls;
    return s->v[i] < s->v[j];
}
void Swap(void* c, int i, int j) {
    auto* s = static_cast<SortContext*>(c);
    ++s->calls;
    std::swap(s->v[i], s->v[j]);
}

TEST(QuickSort, MatchesStdSortWithDuplicatesBothWays) {
    std::mt19937 rng(99);
    for (int n : {0, 1, 2, 3, 7, 16, 23, 256, 5000}) {
        for (int descending = 0; descending < 2; ++descending) {
            SortContext s;
            for (int i = 0; i < n; ++i) s.v.push_back(static_cast<int>(rng() % 50));
            std::vector<int> ref = s.v;
            if (descending)
                std::sort(ref.begin(), ref.end(), std::greater<int>());
            else
                std::sort(ref.begin(), ref.end());
            if (n > 0) QuickSort(&s, Less, Swap, n - 1, 0, descending);
            EXPECT_EQ(s.v, ref) << n << " " << descending;
            if (n == 1) {
                EXPECT_EQ(s.calls, 0);
            }
        }
    }
}

TEST(FillDwords, FillsExactlyTheCount) {
    uint32_t words[8] = {};
    FillDwords(words + 1, 0xDEADBEEF, 6);
    EXPECT_EQ(words[0], 0u);
    for (int i = 1; i < 7; ++i) EXPECT_EQ(words[i], 0xDEADBEEFu);
    EXPECT_EQ(words[7], 0u);
    FillDwords(words, 1, 0);
    EXPECT_EQ(words[0], 0u);
}

}  // namespace
