// The block heap's layout and policies, on private instances with a counting chunk source.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "foundation/block_heap.h"

namespace {

struct TestSource {
    static int heapsCreated, heapsDestroyed, chunksLive;
    static bool failChunks;
    static size_t lastRequest;
    static size_t extra;  // bytes handed out beyond each request, as a system heap may
    static void* Create() {
        ++heapsCreated;
        return &heapsCreated;
    }
    static void Destroy(void*) { ++heapsDestroyed; }
    static void* Alloc(void*, size_t bytes, size_t* real) {
        lastRequest = bytes;
        if (failChunks) return nullptr;
        void* p = std::malloc(bytes + extra);
        if (p) {
            ++chunksLive;
            *real = bytes + extra;
        }
        return p;
    }
    static void Free(void*, void* p) {
        --chunksLive;
        std::free(p);
    }
    static const platform::ChunkSource source;
    static void Reset() {
        heapsCreated = heapsDestroyed = chunksLive = 0;
        failChunks = false;
        lastRequest = 0;
        extra = 0;
    }
};
int TestSource::heapsCreated, TestSource::heapsDestroyed, TestSource::chunksLive;
bool TestSource::failChunks;
size_t TestSource::lastRequest;
size_t TestSource::extra;
const platform::ChunkSource TestSource::source = {TestSource::Create, TestSource::Destroy, TestSource::Alloc,
                                                  TestSource::Free};

class BlockHeapTest : public ::testing::Test {
protected:
    void SetUp() override { TestSource::Reset(); }
    void TearDown() override {
        for (void* p : live) heap.Free(p);
        EXPECT_TRUE(heap.Validate());
        EXPECT_EQ(TestSource::chunksLive, 0);
        EXPECT_EQ(TestSource::heapsCreated, TestSource::heapsDestroyed);
    }
    void* Alloc(size_t n) {
        void* p = heap.Alloc(n);
        if (p) live.push_back(p);
        return p;
    }
    void Free(void* p) {
        heap.Free(p);
        for (auto& q : live)
            if (q == p) {
                q = live.back();
                live.pop_back();
                break;
            }
    }
    BlockInfo Info(const void* p) {
        BlockInfo info;
        EXPECT_TRUE(heap.Query(p, &info));
        return info;
    }
    BlockHeap heap{&TestSource::source};
    std::vector<void*> live;
};

TEST(BlockHeapNeed, RoundsUpWithTheHeader) {
    EXPECT_EQ(BlockHeap::Need(1), 128u);
    EXPECT_EQ(BlockHeap::Need(64), 128u);
    EXPECT_EQ(BlockHeap::Need(65), 192u);
    EXPECT_EQ(BlockHeap::Need(128), 192u);
    EXPECT_EQ(BlockHeap::Need(129), 256u);
    EXPECT_EQ(BlockHeap::Need(SIZE_MAX), 0u);
    EXPECT_EQ(BlockHeap::Need(SIZE_MAX - 100), 0u);
}

TEST_F(BlockHeapTest, FirstAllocationMakesHeapAndChunkAndLastFreeReturnsThem) {
    EXPECT_EQ(heap.Alloc(0), nullptr);
    EXPECT_EQ(TestSource::heapsCreated, 0);
    void* p = heap.Alloc(1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u);
    EXPECT_EQ(TestSource::heapsCreated, 1);
    EXPECT_EQ(TestSource::lastRequest, 4096u);
    BlockInfo info = Info(p);
    EXPECT_EQ(info.size, 128u);
    EXPECT_TRUE(info.inUse);
    EXPECT_EQ(static_cast<const char*>(p) - static_cast<const char*>(info.block), 64);
    EXPECT_EQ(info.chunkBytes, 4096u);
    BlockHeapStats s = heap.Stats();
    EXPECT_EQ(s.chunks, 1u);
    EXPECT_EQ(s.usedBlocks, 1u);
    EXPECT_EQ(s.freeBlocks, 1u);
    heap.Free(p);
    s = heap.Stats();
    EXPECT_EQ(s.chunks, 0u);
    EXPECT_FALSE(s.systemHeapExists);
    EXPECT_EQ(TestSource::heapsDestroyed, 1);
    // The next allocation makes a new system heap.
    p = Alloc(10);
    EXPECT_EQ(TestSource::heapsCreated, 2);
}

TEST_F(BlockHeapTest, EveryPointerIsAlignedAndBlocksAreBackToBack) {
    std::vector<void*> ps;
    // 3970 and 8000 need almost a whole 4096-byte multiple: no room may be left for a remainder.
    for (size_t n : {1u, 63u, 64u, 65u, 100u, 1000u, 3970u, 5000u, 8000u, 70000u}) {
        void* p = Alloc(n);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u) << n;
        EXPECT_EQ(Info(p).size, BlockHeap::Need(n)) << n;
        std::memset(p, 0xAB, n);
    }
    EXPECT_TRUE(heap.Validate());
}

TEST_F(BlockHeapTest, ExactFitIsTakenEvenWhenALargerBlockComesFirst) {
    void* a = Alloc(192);  // need 256
    void* s1 = Alloc(1);
    void* b = Alloc(128);  // need 192
    void* s2 = Alloc(1);
    (void)s1;
    (void)s2;
    Free(a);
    Free(b);
    void* p = Alloc(100);  // need 192: b fits exactly, a is larger and lower
    EXPECT_EQ(p, b);
}

TEST_F(BlockHeapTest, SmallestLargerBlockIsSplit) {
    void* big = Alloc(1000);
    void* s1 = Alloc(1);
    void* mid = Alloc(300);
    void* s2 = Alloc(1);
    (void)s1;
    (void)s2;
    Free(big);
    Free(mid);
    void* p = Alloc(10);  // need 128: mid (384) is the smallest block larger than that
    EXPECT_EQ(p, mid);
    EXPECT_EQ(Info(p).size, 128u);
    BlockInfo rest = Info(static_cast<char*>(p) + 128);
    EXPECT_FALSE(rest.inUse);
    EXPECT_EQ(rest.size, 384u - 128u);
    EXPECT_TRUE(heap.Validate());
}

TEST_F(BlockHeapTest, AmongEquallySmallBlocksTheMostRecentlyFreedIsUsed) {
    for (int order = 0; order < 2; ++order) {
        void* a = Alloc(192);
        void* s1 = Alloc(1);
        void* c = Alloc(192);
        void* s2 = Alloc(1);
        (void)s1;
        (void)s2;
        Free(order ? c : a);
        Free(order ? a : c);
        void* p = Alloc(10);
        EXPECT_EQ(p, order ? a : c) << order;
    }
}

TEST_F(BlockHeapTest, FreeingNeighboursMergesThem) {
    void* a = Alloc(100);
    void* b = Alloc(100);
    void* c = Alloc(100);
    void* d = Alloc(100);
    Free(a);
    Free(c);
    Free(b);
    BlockInfo merged = Info(a);
    EXPECT_FALSE(merged.inUse);
    EXPECT_EQ(merged.size, 3u * 192u);
    EXPECT_EQ(Info(c).block, merged.block);
    EXPECT_TRUE(Info(d).inUse);
    EXPECT_TRUE(heap.Validate());
    // The merged block serves a request of its whole size in place.
    void* p = Alloc(3 * 192 - 64);
    EXPECT_EQ(p, a);
}

TEST_F(BlockHeapTest, InteriorPointerFreesTheBlockAndForeignOrDoubleFreeIsIgnored) {
    void* a = Alloc(500);
    void* keep = Alloc(500);
    heap.Free(static_cast<char*>(a) + 123);
    EXPECT_FALSE(Info(a).inUse);
    for (auto& q : live)
        if (q == a) {
            q = live.back();
            live.pop_back();
            break;
        }

    BlockHeapStats before = heap.Stats();
    heap.Free(a);  // already free
    int local = 0;
    heap.Free(&local);  // not ours
    BlockHeapStats after = heap.Stats();
    EXPECT_EQ(before.usedBlocks, after.usedBlocks);
    EXPECT_EQ(before.freeBytes, after.freeBytes);
    EXPECT_TRUE(Info(keep).inUse);
    EXPECT_TRUE(heap.Validate());
}

// A block whose chunk went back to the source is freed or grown again: nothing of the returned
// chunk may be read (ASan reports a use after free otherwise).
TEST_F(BlockHeapTest, AddressesOfAReturnedChunkAreIgnored) {
    void* keep = Alloc(100);
    void* gone = heap.Alloc(20000);  // too big for the first chunk: a chunk of its own
    ASSERT_EQ(TestSource::chunksLive, 2);
    heap.Free(gone);
    ASSERT_EQ(TestSource::chunksLive, 1);
    heap.Free(gone);
    EXPECT_EQ(heap.Realloc(gone, 10), nullptr);
    EXPECT_FALSE(heap.Query(static_cast<char*>(gone) + 100, nullptr));
    EXPECT_TRUE(Info(keep).inUse);
    EXPECT_TRUE(heap.Validate());
}

TEST_F(BlockHeapTest, ReallocKeepsOnShrinkAndCopiesOnGrow) {
    auto* p = static_cast<unsigned char*>(Alloc(200));  // need 320, user area 256
    for (int i = 0; i < 256; ++i) p[i] = static_cast<unsigned char>(i * 7);
    EXPECT_EQ(heap.Realloc(p, 10), p);
    EXPECT_EQ(heap.Realloc(p, 256), p);
    void* blocker = Alloc(1);
    (void)blocker;
    auto* q = static_cast<unsigned char*>(heap.Realloc(p, 5000));
    ASSERT_NE(q, nullptr);
    EXPECT_NE(q, p);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(q[i], static_cast<unsigned char>(i * 7)) << i;
    EXPECT_FALSE(Info(p).inUse);
    for (auto& x : live)
        if (x == p) x = q;
    int local = 0;
    EXPECT_EQ(heap.Realloc(&local, 10), nullptr);
}

TEST_F(BlockHeapTest, ChunkSourceFailureGivesNullAndKeepsOldBlocks) {
    auto* p = static_cast<unsigned char*>(Alloc(1000));
    std::memset(p, 0x5A, 1000);
    TestSource::failChunks = true;
    EXPECT_EQ(heap.Alloc(100000), nullptr);
    EXPECT_EQ(heap.Realloc(p, 100000), nullptr);
    EXPECT_TRUE(Info(p).inUse);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(p[i], 0x5A);
    EXPECT_EQ(heap.Alloc(SIZE_MAX), nullptr);
    EXPECT_EQ(heap.Alloc(SIZE_MAX - 64), nullptr);
    EXPECT_EQ(heap.Realloc(p, SIZE_MAX), nullptr);
    TestSource::failChunks = false;
    EXPECT_TRUE(heap.Validate());
}

TEST_F(BlockHeapTest, FailureWithNoChunkLeavesNoSystemHeap) {
    TestSource::failChunks = true;
    EXPECT_EQ(heap.Alloc(10), nullptr);
    EXPECT_FALSE(heap.Stats().systemHeapExists);
    TestSource::failChunks = false;
}

TEST_F(BlockHeapTest, LargeBlocksUseBestFitToo) {
    // The chunk source hands out a megabyte to spare, so every block below is carved in order
    // from the first chunk's remainder, and a large tail stays free behind them.
    TestSource::extra = 1 << 20;
    void* a = Alloc(200000);
    void* s1 = Alloc(4200);
    void* b = Alloc(100000);
    void* s2 = Alloc(4200);
    void* c = Alloc(150000);
    void* s3 = Alloc(4200);
    (void)s1;
    (void)s2;
    (void)s3;
    ASSERT_EQ(heap.Stats().chunks, 1u);
    Free(a);
    Free(b);
    Free(c);
    EXPECT_EQ(Alloc(120000), c);  // 150000 is the smallest block that fits
    EXPECT_EQ(Alloc(90000), b);
    EXPECT_EQ(Alloc(199000), a);  // smaller than the tail
    EXPECT_TRUE(heap.Validate());
}

TEST_F(BlockHeapTest, RandomOperationsKeepEveryInvariant) {
    std::mt19937 rng(12345);
    std::vector<std::pair<unsigned char*, size_t>> blocks;
    for (int step = 0; step < 20000; ++step) {
        int op = static_cast<int>(rng() % 3);
        if (op == 0 || blocks.empty()) {
            size_t n = 1 + rng() % (rng() % 8 ? 512 : 40000);
            auto* p = static_cast<unsigned char*>(heap.Alloc(n));
            ASSERT_NE(p, nullptr);
            std::memset(p, static_cast<int>(n & 0xFF), n);
            blocks.emplace_back(p, n);
        } else {
            size_t i = rng() % blocks.size();
            auto [p, n] = blocks[i];
            for (size_t k = 0; k < n; ++k) ASSERT_EQ(p[k], static_cast<unsigned char>(n & 0xFF));
            if (op == 1) {
                heap.Free(p);
                blocks[i] = blocks.back();
                blocks.pop_back();
            } else {
                size_t m = 1 + rng() % 3000;
                auto* q = static_cast<unsigned char*>(heap.Realloc(p, m));
                ASSERT_NE(q, nullptr);
                for (size_t k = 0; k < std::min(n, m); ++k) ASSERT_EQ(q[k], static_cast<unsigned char>(n & 0xFF));
                std::memset(q, static_cast<int>(m & 0xFF), m);
                blocks[i] = {q, m};
            }
        }
        if (step % 1000 == 0) {
            ASSERT_TRUE(heap.Validate()) << step;
        }
    }
    for (auto& b : blocks) heap.Free(b.first);
    EXPECT_EQ(heap.Stats().chunks, 0u);
}

}  // namespace
