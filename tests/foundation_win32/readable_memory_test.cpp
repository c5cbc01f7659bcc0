#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

#include "foundation/win32/readable_memory.h"

namespace {

// Four pages: read-write, read-only, no-access, and one reserved but never committed.
class Pages : public testing::Test {
protected:
    void SetUp() override {
        base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 4 * kPage, MEM_RESERVE, PAGE_NOACCESS));
        ASSERT_NE(base, nullptr);
        ASSERT_NE(VirtualAlloc(base, 3 * kPage, MEM_COMMIT, PAGE_READWRITE), nullptr);
        DWORD old;
        ASSERT_TRUE(VirtualProtect(base + kPage, kPage, PAGE_READONLY, &old));
        ASSERT_TRUE(VirtualProtect(base + 2 * kPage, kPage, PAGE_NOACCESS, &old));
    }
    void TearDown() override { VirtualFree(base, 0, MEM_RELEASE); }
    static constexpr size_t kPage = 4096;
    uint8_t* base = nullptr;
};

TEST_F(Pages, EveryPageOfTheRangeMustBeCommittedAndReadable) {
    const struct {
        const char* what;
        size_t offset, bytes;
        bool readable;
    } cases[] = {
        {"inside the read-write page", 100, 200, true},
        {"across read-write into read-only", kPage - 3, 7, true},
        {"up to the last readable byte", 0, 2 * kPage, true},
        {"one byte into the no-access page", 0, 2 * kPage + 1, false},
        {"ending 1 byte into it, from its last readable bytes", 2 * kPage - 3, 4, false},
        {"inside the no-access page", 2 * kPage + 8, 4, false},
        {"reserved, not committed", 3 * kPage, 4, false},
        {"empty range in the no-access page", 2 * kPage, 0, true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsReadableMemory(base + c.offset, c.bytes), c.readable) << c.what;
}

TEST_F(Pages, GuardPagesNullAndWrappingRangesAreNotReadable) {
    DWORD old;
    ASSERT_TRUE(VirtualProtect(base, kPage, PAGE_READWRITE | PAGE_GUARD, &old));
    EXPECT_FALSE(IsReadableMemory(base + 16, 4));
    EXPECT_TRUE(IsReadableMemory(base + kPage, 4));  // the query did not trip the guard elsewhere
    EXPECT_FALSE(IsReadableMemory(nullptr, 4));
    EXPECT_FALSE(IsReadableMemory(base + kPage, SIZE_MAX - 16));
    int local = 7;
    EXPECT_TRUE(IsReadableMemory(&local, sizeof local));
}

}  // namespace
