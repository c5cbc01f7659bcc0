#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "plugin/tsb.h"

namespace {
std::vector<float> Block(uint32_t n, float first) {
    std::vector<float> b(n);
    for (uint32_t i = 0; i < n; ++i) b[i] = first + i;
    return b;
}
}  // namespace

TEST(TSB, TooFewRecordsMakeAPoolThatRefusesEverything) {
    TSB pool(1);
    const std::vector<float> b = Block(4, 0);
    EXPECT_EQ(0, pool.Put(b.data(), 4, 7));
    EXPECT_EQ(nullptr, pool.Get());
    pool.Reset();
}

TEST(TSB, OverwritesTheOldestAndChecksOutOneAtATime) {
    TSB pool(10);
    const std::vector<float> b = Block(64, 0);
    EXPECT_EQ(0, pool.Put(nullptr, 4, 0));
    EXPECT_EQ(0, pool.Put(b.data(), 0, 0));
    for (uint32_t i = 0; i < 11; ++i) ASSERT_EQ(1, pool.Put(b.data() + i, 3 + i, i));
    TsbRecord other{};
    for (uint32_t expected = 1; expected <= 10; ++expected) {
        TsbRecord* r = pool.Get();
        ASSERT_NE(nullptr, r);
        EXPECT_EQ(expected, r->param);               // block 0 was overwritten
        EXPECT_EQ(3 + expected, r->count);
        EXPECT_EQ(static_cast<float>(expected), r->data[0]);
        EXPECT_EQ(nullptr, pool.Get());              // one checked out already
        pool.Release(&other);                        // not the checked-out record
        EXPECT_EQ(nullptr, pool.Get());
        pool.Release(r);
    }
    EXPECT_EQ(nullptr, pool.Get());
}

TEST(TSB, ResetFreesReadyRecordsButKeepsTheCheckedOutOne) {
    TSB pool(3);
    const std::vector<float> b = Block(8, 5);
    for (uint32_t i = 0; i < 3; ++i) pool.Put(b.data(), 8, i);
    TsbRecord* held = pool.Get();
    ASSERT_NE(nullptr, held);
    pool.Reset();
    EXPECT_EQ(0u, held->param);
    EXPECT_EQ(5.0f, held->data[0]);
    // With one record out, a Put while none is free and none ready cannot take it.
    pool.Put(b.data(), 8, 10);
    pool.Put(b.data(), 8, 11);
    EXPECT_EQ(1, pool.Put(b.data(), 8, 12));   // overwrites 10, never the held record
    EXPECT_EQ(0u, held->param);
    pool.Release(held);
    TsbRecord* r = pool.Get();
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(11u, r->param);
}

// The producer writes blocks whose every value is its sequence number; the consumer must
// always see whole blocks, in increasing order.
TEST(TSB, ThreadedProducerAndConsumerSeeWholeBlocksInOrder) {
    TSB pool(10);
    constexpr uint32_t kBlocks = 20000;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        std::vector<float> b(257);
        for (uint32_t seq = 1; seq <= kBlocks; ++seq) {
            const uint32_t n = 1 + seq % 257;
            std::fill(b.begin(), b.begin() + n, static_cast<float>(seq));
            pool.Put(b.data(), n, seq);
        }
        done = true;
    });
    uint32_t last = 0, seen = 0, torn = 0, disorder = 0;
    while (!done || seen == 0) {
        TsbRecord* r = pool.Get();
        if (!r) {
            std::this_thread::yield();
            continue;
        }
        ++seen;
        if (r->count != 1 + r->param % 257) ++torn;
        for (uint32_t i = 0; i < r->count; ++i)
            if (r->data[i] != static_cast<float>(r->param)) ++torn;
        if (r->param <= last) ++disorder;
        last = r->param;
        pool.Release(r);
    }
    producer.join();
    while (TsbRecord* r = pool.Get()) {
        if (r->param <= last) ++disorder;
        last = r->param;
        pool.Release(r);
    }
    EXPECT_EQ(0u, torn);
    EXPECT_EQ(0u, disorder);
    EXPECT_EQ(kBlocks, last);
    EXPECT_GT(seen, 0u);
}
