#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "foundation/compressing_queue.h"

namespace {

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// Writes data in odd-sized pieces, finishes, and reads it back in odd-sized pieces.
std::vector<uint8_t> RoundTrip(const std::vector<uint8_t>& data, uint32_t initial, uint32_t max) {
    CompressingQueue q(initial, max);
    EXPECT_TRUE(q.IsValid());
    static const uint32_t kPieces[] = {1, 7, 333, 4093, 65537};
    size_t at = 0;
    for (int i = 0; at < data.size(); ++i) {
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(kPieces[i % 5], data.size() - at));
        EXPECT_EQ(q.Write(data.data() + at, n), static_cast<int>(n));
        at += n;
    }
    EXPECT_EQ(q.Finish(), 1);
    std::vector<uint8_t> out(data.size() + 1);
    size_t got = 0;
    for (int i = 0;; ++i) {
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(kPieces[(i + 2) % 5], out.size() - got));
        int r = q.ReadDecompressed(out.data() + got, n);
        EXPECT_GE(r, 0);
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    out.resize(got);
    EXPECT_EQ(q.GetSize(), 0u);  // every input byte consumed
    return out;
}

TEST(CompressingQueue, ZerosAndRandomDataRoundTripInOddPieces) {
    std::vector<uint8_t> zeros(100 * 1024, 0);
    CompressingQueue small(4096, 1 << 20);
    ASSERT_EQ(small.Write(zeros.data(), static_cast<uint32_t>(zeros.size())), 100 * 1024);
    ASSERT_EQ(small.Finish(), 1);
    EXPECT_LT(small.GetSize(), 1024u);  // a short stream
    EXPECT_EQ(RoundTrip(zeros, 4096, 1 << 20), zeros);
    std::vector<uint8_t> random = RandomBytes(1 << 20, 11);
    EXPECT_EQ(RoundTrip(random, 4096, 4 << 20), random);
}

TEST(CompressingQueue, TooSmallADestinationThenARetry) {
    std::vector<uint8_t> data = RandomBytes(50000, 3);
    CompressingQueue q(1024, 1 << 20);
    ASSERT_EQ(q.Write(data.data(), 50000), 50000);
    ASSERT_EQ(q.Finish(), 1);
    std::vector<uint8_t> out(60000);
    EXPECT_EQ(q.ReadDecompressedFinish(out.data(), 20000), 20001);
    // The first 20000 bytes arrived; the retry continues after them.
    int rest = q.ReadDecompressedFinish(out.data() + 20000, 40000);
    EXPECT_EQ(rest, 30000);
    out.resize(50000);
    EXPECT_EQ(out, data);
    EXPECT_EQ(q.GetSize(), 0u);
}

TEST(CompressingQueue, TruncatedAndCorruptInputGiveMinusOne) {
    std::vector<uint8_t> data = RandomBytes(20000, 4);
    CompressingQueue q(1024, 1 << 20);
    q.Write(data.data(), 20000);
    q.Finish();
    uint32_t full = q.GetSize();
    std::vector<uint8_t> stream(full);
    q.Read(stream.data(), full, true);

    CompressingQueue truncated(1024, 1 << 20);
    truncated.LockedQueue::Write(stream.data(), full - 10);
    std::vector<uint8_t> out(40000);
    EXPECT_EQ(truncated.ReadDecompressedFinish(out.data(), 40000), -1);
    EXPECT_EQ(truncated.GetSize(), 0u);  // what was consumed is gone

    CompressingQueue corrupt(1024, 1 << 20);
    std::vector<uint8_t> bad = stream;
    bad[0] ^= 0xFF;  // the zlib header no longer checks
    corrupt.LockedQueue::Write(bad.data(), full);
    EXPECT_EQ(corrupt.ReadDecompressed(out.data(), 40000), -1);
}

TEST(CompressingQueue, ACappedQueueReportsTheFailure) {
    std::vector<uint8_t> data = RandomBytes(1 << 20, 9);  // incompressible
    CompressingQueue q(1024, 64 * 1024);
    int taken = q.Write(data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_GE(taken, 0);
    EXPECT_LT(taken, static_cast<int>(data.size()));
    EXPECT_LE(q.GetSize(), 64u * 1024);
    EXPECT_EQ(q.Finish(), 0);
}

TEST(CompressingQueue, ClearStartsAFreshStream) {
    std::vector<uint8_t> first = RandomBytes(3000, 1), second = RandomBytes(5000, 2);
    CompressingQueue q(256, 1 << 20);
    q.Write(first.data(), 3000);  // left unfinished
    q.Clear();
    EXPECT_EQ(q.GetSize(), 0u);
    ASSERT_EQ(q.Write(second.data(), 5000), 5000);
    ASSERT_EQ(q.Finish(), 1);
    std::vector<uint8_t> out(5000);
    EXPECT_EQ(q.ReadDecompressedFinish(out.data(), 5000), 5000);
    EXPECT_EQ(out, second);
}

}  // namespace
