// The containers with each allocation of a short run failing in turn: each reports the failure
// (an item not added, a shorter write, a stream that reports its loss) and keeps what it held.
#include <gtest/gtest.h>

#include <cstring>

#include "foundation/compressing_queue.h"
#include "foundation/item_array.h"
#include "foundation/string.h"
#include "foundation/string_list.h"
#include "tests/support/failure_injection.h"

namespace {

const char kText[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr int kLength = sizeof kText - 1;

}  // namespace

TEST(AllocationFailure, ContainersReportItAndKeepWhatTheyHeld) {
    const String text(kText);  // strings live in the C heap, outside the injection
    int shortfalls = 0;
    ForEachFailingAllocation(40, [&](int) {
        bool sound = true;
        StringList list(1, 100);
        for (int i = 0; i < 8; ++i) {
            const uint32_t before = list.GetCount();
            const bool added = list.Add(text);
            sound = sound && list.GetCount() == before + (added ? 1u : 0u);
        }
        ItemArray items(1, 1000);
        for (uint32_t i = 0; i < 100; ++i) items.Insert(i, static_cast<uint32_t>(-1));
        for (uint32_t i = 0; i < items.GetCount(); ++i) sound = sound && items.GetItem(i) == i;
        shortfalls += list.GetCount() < 8 || items.GetCount() < 100;

        // What a queue took comes back in order.
        LockedQueue queue(4, 4096);
        int queued = 0;
        for (int i = 0; i < 16; ++i) queued += queue.Write(kText, kLength);
        char back[kLength];
        for (int at = 0; at + kLength <= queued; at += kLength)
            sound = sound && queue.Read(back, kLength, true) == kLength && std::memcmp(back, kText, kLength) == 0;

        // A stream that lost a part reports it no later than the read.
        CompressingQueue zipped(16, 1 << 16);
        const bool written = zipped.Write(kText, kLength) == kLength && zipped.Finish() == 1;
        char out[kLength + 1];
        const int read = zipped.ReadDecompressedFinish(out, sizeof out);
        if (written && zipped.IsValid())
            sound = sound && read == kLength && std::memcmp(out, kText, kLength) == 0;
        else
            sound = sound && read == -1;
        return sound;
    });
    if (!HasFailure() && !IsSkipped()) {
        EXPECT_GT(shortfalls, 0);  // the injection reached the containers
    }
}
