#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/bounded_ring.h"
#include "foundation/heap_buffer.h"
#include "foundation/item_array.h"
#include "foundation/locked_queue.h"
#include "foundation/string_list.h"

namespace {

TEST(HeapBuffer, GrowsByDoublingAndShrinksByHalvingOnce) {
    HeapBuffer b(16, 1024);
    EXPECT_EQ(b.GetCapacity(), 16u);
    EXPECT_EQ(b.SetSize(100), 100u);
    EXPECT_EQ(b.GetCapacity(), 128u);  // 16 -> 32 -> 64 -> 128
    std::memset(b.GetData(), 0x5A, 100);
    b.SetSize(10);
    EXPECT_EQ(b.GetCapacity(), 100u);  // half of 128 raised to the old size 100
    EXPECT_EQ(b.GetData()[9], 0x5A);
    b.SetSize(10);
    EXPECT_EQ(b.GetCapacity(), 50u);
    b.SetSize(0);
    EXPECT_EQ(b.GetCapacity(), 25u);
    b.SetSize(0);
    EXPECT_EQ(b.GetCapacity(), 16u);  // never below the minimum
    EXPECT_EQ(b.GetFree(), 16u);
}

TEST(HeapBuffer, SizeIsClampedToMaxSizeAndToTheReachableCapacity) {
    HeapBuffer b(16, 1024);
    EXPECT_EQ(b.SetSize(5000), 1024u);
    EXPECT_EQ(b.GetSize(), 1024u);
    EXPECT_EQ(b.GetCapacity(), 1024u);
    // A maximum that is not a power-of-two multiple of the start: the size never passes it.
    HeapBuffer odd(10, 100);
    EXPECT_EQ(odd.SetSize(1000), 100u);
    EXPECT_LE(odd.GetSize(), odd.GetCapacity());
}

TEST(HeapBuffer, DeleteClipsAtTheEnd) {
    HeapBuffer b(16, 1024);
    b.SetSize(10);
    for (int i = 0; i < 10; ++i) b.GetData()[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(b.Delete(3, 2), 1);
    ASSERT_EQ(b.GetSize(), 8u);
    EXPECT_EQ(b.GetData()[3], 5);
    EXPECT_EQ(b.GetData()[7], 9);
    EXPECT_EQ(b.Delete(2, 100), 1);
    EXPECT_EQ(b.GetSize(), 2u);
    EXPECT_EQ(b.Delete(5, 1), 0);  // offset past the end: nothing
    EXPECT_EQ(b.GetSize(), 2u);
    EXPECT_EQ(b.Delete(2, 1), 1);  // at the end: deletes nothing, still fine
    EXPECT_EQ(b.GetSize(), 2u);
}

TEST(ItemArray, InsertRemoveAndBounds) {
    ItemArray a(2, 4);
    a.Insert(10, 0);
    a.Insert(30, static_cast<uint32_t>(-1));  // -1 appends
    a.Insert(20, 1);
    a.Insert(40, 99);  // clipped to the count
    ASSERT_EQ(a.GetCount(), 4u);
    EXPECT_EQ(a.GetItem(0), 10u);
    EXPECT_EQ(a.GetItem(1), 20u);
    EXPECT_EQ(a.GetItem(3), 40u);
    a.Insert(5, 0);  // full at the maximum: nothing
    EXPECT_EQ(a.GetCount(), 4u);
    EXPECT_EQ(a.GetItem(0), 10u);
    EXPECT_EQ(a.Remove(4), 0u);  // index == count
    EXPECT_EQ(a.GetCount(), 4u);
    EXPECT_EQ(a.Remove(1), 20u);
    EXPECT_EQ(a.GetItem(1), 30u);
    EXPECT_EQ(a.IndexOf(40), 2);
    EXPECT_EQ(a.IndexOf(77), -1);
    a.Swap(0, 2);
    EXPECT_EQ(a.GetItem(0), 40u);
    a.Clear();
    EXPECT_EQ(a.GetCount(), 0u);
    EXPECT_EQ(a.GetCapacity(), a.GetMinSize());
}

std::vector<std::string> Items(const StringList& l) {
    std::vector<std::string> v;
    for (uint32_t i = 0; i < l.GetCount(); ++i) v.emplace_back(l.GetItem(i)->CStr());
    return v;
}

TEST(BoundedRing, KeepsTheNewestInOrderAndCountsWhatWasDropped) {
    BoundedRing<int, 3> ring;
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(ring.push_back(i));
    EXPECT_FALSE(ring.push_back(4));
    EXPECT_FALSE(ring.push_back(5));
    std::vector<int> seen;
    for (int v : ring) seen.push_back(v);
    EXPECT_EQ((std::vector<int>{3, 4, 5}), seen);
    EXPECT_EQ(2u, ring.dropped());
    ring.clear();
    EXPECT_TRUE(ring.empty());
    EXPECT_TRUE(ring.push_back(6));
    EXPECT_EQ(6, *ring.begin());
    EXPECT_EQ(2u, ring.dropped());
}

TEST(StringList, SortAndSortedSearchAgreeWithAModel) {
    std::mt19937 rng(5);
    StringList l;
    std::vector<std::string> model;
    for (int i = 0; i < 300; ++i) {
        std::string s;
        for (int k = rng() % 6; k >= 0; --k) s += static_cast<char>('a' + rng() % 4);
        l.Add(String(s.c_str()));
        model.push_back(s);
    }
    l.Sort();
    std::sort(model.begin(), model.end());
    EXPECT_EQ(Items(l), model);
    for (const std::string& s : model) {
        int i = l.FindSorted(s.c_str(), static_cast<int>(s.size()));
        ASSERT_GE(i, 0) << s;
        // Equal over the shorter length: the item is the text, or a prefix of it, or it
        // starts with the text.
        std::string item = l.GetItem(static_cast<uint32_t>(i))->CStr();
        size_t n = std::min(item.size(), s.size());
        EXPECT_EQ(item.compare(0, n, s, 0, n), 0);
    }
    EXPECT_EQ(l.FindSorted("zz", 2), -1);
    StringList empty;
    EXPECT_EQ(empty.FindSorted("a", 1), -1);

    StringList sorted;
    std::vector<std::string> inserted;
    for (int i = 0; i < 100; ++i) {
        std::string s = std::to_string(rng() % 50);
        int at = sorted.InsertSorted(String(s.c_str()));
        ASSERT_GE(at, 0);
        EXPECT_EQ(sorted.GetItem(static_cast<uint32_t>(at))->CStr(), s);
        inserted.push_back(s);
    }
    std::sort(inserted.begin(), inserted.end());
    EXPECT_EQ(Items(sorted), inserted);
    sorted.RemoveAdjacentDuplicates();
    inserted.erase(std::unique(inserted.begin(), inserted.end()), inserted.end());
    EXPECT_EQ(Items(sorted), inserted);
}

TEST(StringList, SetTextSplitsLines) {
    StringList l;
    l.SetText("a\r\nb\nc", 6);
    EXPECT_EQ(Items(l), (std::vector<std::string>{"a", "b", "c"}));
    StringList one;
    one.SetText("a\r\n", 3);
    EXPECT_EQ(Items(one), (std::vector<std::string>{"a"}));
    StringList two;
    two.SetText("\n\n", 2);
    EXPECT_EQ(Items(two), (std::vector<std::string>{"", ""}));
    StringList cr;
    cr.SetText("x\ry\r", 4);
    EXPECT_EQ(Items(cr), (std::vector<std::string>{"x", "y"}));
}

TEST(StringList, QuotedTextRoundTrips) {
    StringList l;
    l.Add(String("plain"));
    l.Add(String("with, comma"));
    l.Add(String("say \"x\""));
    l.Add(String(""));
    String text = l.GetQuotedText();
    EXPECT_STREQ(text.CStr(), "\"plain\",\"with, comma\",\"say \"\"x\"\"\",\"\"");
    StringList back;
    back.ParseQuoted(text);
    EXPECT_EQ(Items(back), Items(l));

    StringList loose;
    loose.ParseQuoted(String("  a , \"b\" ,c,"));
    EXPECT_EQ(Items(loose), (std::vector<std::string>{"a", "b", "c", ""}));
    StringList single;
    single.Add(String(""));
    EXPECT_STREQ(single.GetQuotedText().CStr(), "\"\"");
}

TEST(StringList, AFullListDoesNotLeakTheString) {
    StringList l(1, 2);
    EXPECT_TRUE(l.Add(String("a")));
    EXPECT_TRUE(l.Add(String("b")));
    EXPECT_FALSE(l.Add(String("c")));
    EXPECT_EQ(l.GetCount(), 2u);
    EXPECT_EQ(l.InsertSorted(String("0")), -1);
}

TEST(LockedQueue, ReadNeedsTheWholeCountAndWriteStopsAtMaxSize) {
    LockedQueue q(4, 16);
    EXPECT_EQ(q.Write("hello", 5), 5);
    char out[32] = {};
    EXPECT_EQ(q.Read(out, 10, true), 0);  // only 5 queued: nothing happens
    EXPECT_EQ(q.GetSize(), 5u);
    EXPECT_EQ(q.Read(out, 2, false), 2);
    EXPECT_EQ(q.GetSize(), 5u);
    EXPECT_EQ(q.Read(out, 2, true), 2);
    EXPECT_EQ(std::string(out, 2), "he");
    EXPECT_EQ(q.Write("0123456789abcdefXYZ", 19), 13);  // what fits in 16
    EXPECT_EQ(q.GetSize(), 16u);
    EXPECT_EQ(q.Write("!", 1), 0);
    EXPECT_EQ(q.Read(out, 16, true), 16);
    EXPECT_EQ(std::string(out, 16), "llo0123456789abc");

    uint8_t* space = q.LockWrite(100);
    EXPECT_LE(q.GetFree(), 16u);
    std::memset(space, 'w', q.GetFree());
    q.UnlockWrite(1000);  // clipped to the free space
    EXPECT_EQ(q.GetSize(), 16u);
    uint8_t* data = q.LockRead();
    EXPECT_EQ(data[15], 'w');
    q.UnlockRead(1000);  // clipped to the size
    EXPECT_EQ(q.GetSize(), 0u);
    q.Write("abc", 3);
    q.Clear();
    EXPECT_EQ(q.GetSize(), 0u);
}

// 64 MB through the queue on two threads in uneven pieces; both sides checksum the stream.
TEST(LockedQueue, MovesSixtyFourMegabytesBetweenTwoThreads) {
    constexpr uint64_t kTotal = 64ull << 20;
    LockedQueue q(4096, 1 << 20);
    uint64_t sentSum = 0, receivedSum = 0, received = 0;
    auto byteAt = [](uint64_t i) { return static_cast<uint8_t>((i * 2654435761u) >> 13); };
    std::thread producer([&] {
        std::vector<uint8_t> piece(70000);
        uint64_t sent = 0;
        uint32_t n = 1;
        while (sent < kTotal) {
            n = static_cast<uint32_t>((n * 1103515245u + 12345u) % 65536u) + 1;
            uint32_t len = static_cast<uint32_t>(std::min<uint64_t>(n, kTotal - sent));
            for (uint32_t i = 0; i < len; ++i) piece[i] = byteAt(sent + i);
            uint32_t done = 0;
            while (done < len) {
                int w = q.Write(piece.data() + done, len - done);
                if (w == 0) std::this_thread::yield();
                done += static_cast<uint32_t>(w);
            }
            for (uint32_t i = 0; i < len; ++i) sentSum = sentSum * 31 + piece[i];
            sent += len;
        }
    });
    bool inOrder = true;
    while (received < kTotal) {
        uint8_t* data = q.LockRead();
        uint32_t n = q.GetSize();
        for (uint32_t i = 0; i < n; ++i) {
            if (data[i] != byteAt(received + i)) inOrder = false;
            receivedSum = receivedSum * 31 + data[i];
        }
        q.UnlockRead(n);
        received += n;
        if (n == 0) std::this_thread::yield();
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(received, kTotal);
    EXPECT_EQ(receivedSum, sentSum);
}

}  // namespace
