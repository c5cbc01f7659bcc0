#include <gtest/gtest.h>

#include <cstdint>

#include "foundation/scratch_buffer.h"

namespace {

TEST(ScratchBuffer, ReserveKeepsStorageWhenLargeEnoughAndReallocatesExactlyOtherwise) {
    ScratchBuffer<float> b(10);
    float* p = b.GetData();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(b.Capacity(), 10u);
    for (int i = 0; i < 10; ++i) p[i] = static_cast<float>(i);
    EXPECT_EQ(b.Reserve(5), p);
    EXPECT_EQ(b.Reserve(10), p);
    EXPECT_EQ(p[9], 9.0f);
    float* q = b.Reserve(11);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(b.Capacity(), 11u);  // exactly what was asked, no spare room
    EXPECT_NE(b.Reserve(12), nullptr);
    EXPECT_EQ(b.Capacity(), 12u);
}

TEST(ScratchBuffer, ZeroAndOverflowingRequestsLeaveItWithoutStorage) {
    ScratchBuffer<int16_t> b;
    EXPECT_EQ(b.Reserve(0), nullptr);
    EXPECT_EQ(b.Capacity(), 0u);
    ScratchBuffer<uint64_t> big(4);
    ASSERT_NE(big.GetData(), nullptr);
    big.SetCount(3);
    EXPECT_EQ(big.Reserve(SIZE_MAX / 4), nullptr);  // n × 8 overflows
    EXPECT_EQ(big.GetData(), nullptr);
    EXPECT_EQ(big.Capacity(), 0u);
    EXPECT_EQ(big.GetCount(), 3u);  // the count is the owner's
}

TEST(ScratchBuffer, SetCountIsClampedToTheCapacity) {
    ScratchBuffer<char> b(8);
    b.SetCount(5);
    EXPECT_EQ(b.GetCount(), 5u);
    b.SetCount(100);
    EXPECT_EQ(b.GetCount(), 8u);
    b.Reserve(20);
    EXPECT_EQ(b.GetCount(), 8u);
    b.Release();
    EXPECT_EQ(b.GetData(), nullptr);
    EXPECT_EQ(b.GetCount(), 8u);
}

TEST(ScratchBuffer, GrowKeepsTheContentsAndFailureKeepsTheOldStorage) {
    ScratchBuffer<int16_t> b(4);
    int16_t* p = b.GetData();
    for (int i = 0; i < 4; ++i) p[i] = static_cast<int16_t>(100 + i);
    EXPECT_EQ(b.Grow(3), p);
    int16_t* q = b.Grow(9);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(b.Capacity(), 9u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(q[i], 100 + i);
    EXPECT_EQ(b.Grow(SIZE_MAX / 2 + 1), nullptr);
    EXPECT_EQ(b.GetData(), q);
    EXPECT_EQ(b.Capacity(), 9u);
    ScratchBuffer<int16_t> empty;
    EXPECT_NE(empty.Grow(3), nullptr);
}

}  // namespace
