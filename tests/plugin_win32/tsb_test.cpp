#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "plugin/tsb.h"

TEST(TSB, TooFewRecordsMakeAPoolThatRefusesEverything) {
    TSB pool(1);
    const float b[4] = {1, 2, 3, 4};
    EXPECT_EQ(0, pool.Put(b, 4, 7));
    EXPECT_EQ(nullptr, pool.Get());
}

TEST(TSB, OverwritesTheOldestAndChecksOutOneAtATime) {
    TSB pool(10);
    std::vector<float> b(64);
    for (int i = 0; i < 64; ++i) b[i] = static_cast<float>(i);
    EXPECT_EQ(0, pool.Put(nullptr, 4, 0));
    EXPECT_EQ(0, pool.Put(b.data(), 0, 0));
    for (uint32_t i = 0; i < 11; ++i) ASSERT_EQ(1, pool.Put(b.data() + i, 3 + i, i));
    TsbRecord other{};
    for (uint32_t expected = 1; expected <= 10; ++expected) {
        TsbRecord* r = pool.Get();
        ASSERT_NE(nullptr, r);
        EXPECT_EQ(expected, r->param);  // block 0 was overwritten
        EXPECT_EQ(3 + expected, r->count);
        EXPECT_EQ(static_cast<float>(expected), r->data[0]);
        EXPECT_EQ(nullptr, pool.Get());  // one is checked out already
        pool.Release(&other);            // not the checked-out record
        EXPECT_EQ(nullptr, pool.Get());
        pool.Release(r);
    }
    EXPECT_EQ(nullptr, pool.Get());
}

TEST(TSB, ResetFreesReadyRecordsButNeverTheCheckedOutOne) {
    TSB pool(3);
    const float b[2] = {5, 6};
    for (uint32_t i = 0; i < 3; ++i) pool.Put(b, 2, i);
    TsbRecord* held = pool.Get();
    ASSERT_NE(nullptr, held);
    pool.Reset();
    for (uint32_t i = 10; i < 13; ++i) EXPECT_EQ(1, pool.Put(b, 2, i));  // 12 overwrites 10
    EXPECT_EQ(0u, held->param);
    pool.Release(held);
    TsbRecord* r = pool.Get();
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(11u, r->param);
}

// The producer writes blocks whose every value is their sequence number: the consumer must
// see whole blocks only, in increasing order.
TEST(TSB, ThreadedProducerAndConsumerSeeWholeBlocksInOrder) {
    TSB pool(10);
    constexpr uint32_t kBlocks = 20000;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        std::vector<float> b(257);
        for (uint32_t seq = 1; seq <= kBlocks; ++seq) {
            std::fill(b.begin(), b.end(), static_cast<float>(seq));
            pool.Put(b.data(), 1 + seq % 257, seq);
        }
        done = true;
    });
    uint32_t last = 0, faults = 0;
    for (bool finished = false; !finished;) {
        finished = done;  // read before the last drain, so nothing is missed
        while (TsbRecord* r = pool.Get()) {
            faults += r->count != 1 + r->param % 257 || r->param <= last;
            for (uint32_t i = 0; i < r->count; ++i) faults += r->data[i] != static_cast<float>(r->param);
            last = r->param;
            pool.Release(r);
        }
    }
    producer.join();
    EXPECT_EQ(0u, faults);
    EXPECT_EQ(kBlocks, last);
}
