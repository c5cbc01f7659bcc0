// The process-wide heap: the operators route through it, and it survives four threads at once.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/private_heap.h"

namespace {

TEST(PrivateHeap, ZeroAndHugeRequestsGiveNull) {
    EXPECT_EQ(PrivateHeapAlloc(0), nullptr);
    EXPECT_EQ(PrivateHeapAlloc(SIZE_MAX), nullptr);
    EXPECT_EQ(PrivateHeapAlloc(SIZE_MAX - 63), nullptr);
    PrivateHeapFree(nullptr);
}

TEST(PrivateHeap, ReallocOfNullAllocatesAndForeignPointerIsLeftAlone) {
    void* p = PrivateHeapRealloc(nullptr, 100);
    ASSERT_NE(p, nullptr);
    BlockInfo info;
    EXPECT_TRUE(PrivateHeapQuery(p, &info));
    EXPECT_TRUE(info.inUse);
    PrivateHeapFree(p);
    int local[32] = {};
    EXPECT_EQ(PrivateHeapRealloc(local, 10), nullptr);
    PrivateHeapFree(local + 16);
}

#if APCO_OPERATORS_REPLACED
TEST(PrivateHeap, OperatorsAndContainersGoThroughIt) {
    uint64_t before = PrivateHeapAllocationCount();
    auto* one = new int(5);
    auto* many = new double[100];
    std::vector<int> v(1000, 3);
    std::map<int, std::string> m{{1, std::string(100, 'x')}};
    EXPECT_GE(PrivateHeapAllocationCount() - before, 5u);
    BlockInfo info;
    EXPECT_TRUE(PrivateHeapQuery(one, &info));
    EXPECT_TRUE(PrivateHeapQuery(many, &info));
    EXPECT_TRUE(PrivateHeapQuery(v.data(), &info));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(v.data()) % 64, 0u);
    EXPECT_TRUE(PrivateHeapQuery(m.at(1).data(), &info));
    delete one;
    delete[] many;
    auto* nothrowed = new (std::nothrow) char[10];
    EXPECT_TRUE(PrivateHeapQuery(nothrowed, &info));
    delete[] nothrowed;
    EXPECT_TRUE(!PrivateHeapQuery(nothrowed, &info) || !info.inUse);
}
#endif

TEST(MoveBytes, CopiesOverlappingRangesBothWays) {
    for (size_t count : {0u, 1u, 3u, 4u, 7u, 16u, 23u}) {
        for (int shift : {-5, -1, 1, 5}) {
            unsigned char buf[64], ref[64];
            for (int i = 0; i < 64; ++i) buf[i] = ref[i] = static_cast<unsigned char>(i + 1);
            unsigned char* src = buf + 20;
            std::memmove(ref + 20 + shift, ref + 20, count);
            MoveBytes(src + shift, src, count);
            EXPECT_EQ(std::memcmp(buf, ref, 64), 0) << count << " " << shift;
        }
    }
}

// Four threads allocate, reallocate and free at random, each checking its fill pattern.
TEST(PrivateHeap, FourThreadStress) {
    constexpr int kThreads = 4;
    constexpr int kOps = 1000000;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            std::mt19937 rng(777 + t);
            struct Live {
                unsigned char* p;
                size_t n;
                unsigned char fill;
            };
            std::vector<Live> live;
            live.reserve(512);
            auto check = [&](const Live& b) {
                for (size_t k = 0; k < b.n; k += 1 + b.n / 16)
                    if (b.p[k] != b.fill) return false;
                return b.p[b.n - 1] == b.fill;
            };
            for (int i = 0; i < kOps; ++i) {
                unsigned r = rng();
                if (live.size() < 16 || (live.size() < 500 && r % 3 == 0)) {
                    size_t n = 1 + (r >> 8) % (r & 1 ? 256 : 8192);
                    auto* p = static_cast<unsigned char*>(PrivateHeapAlloc(n));
                    if (!p) {
                        ++failures[t];
                        continue;
                    }
                    unsigned char fill = static_cast<unsigned char>(r >> 3);
                    std::memset(p, fill, n);
                    live.push_back({p, n, fill});
                } else {
                    size_t k = (r >> 4) % live.size();
                    Live& b = live[k];
                    if (!check(b)) ++failures[t];
                    if (r % 5 == 0) {
                        size_t n = 1 + (r >> 9) % 4096;
                        auto* q = static_cast<unsigned char*>(PrivateHeapRealloc(b.p, n));
                        if (!q) {
                            ++failures[t];
                            continue;
                        }
                        size_t keep = std::min(n, b.n);
                        for (size_t j = 0; j < keep; j += 1 + keep / 8)
                            if (q[j] != b.fill) ++failures[t];
                        std::memset(q, b.fill, n);
                        b.p = q;
                        b.n = n;
                    } else {
                        PrivateHeapFree(b.p);
                        b = live.back();
                        live.pop_back();
                    }
                }
            }
            for (auto& b : live) {
                if (!check(b)) ++failures[t];
                PrivateHeapFree(b.p);
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
