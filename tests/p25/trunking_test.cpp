// Trunking signalling: the trellis decoder, the block CRC, the events of each opcode, the
// channel identifier table, resynchronisation after the last block and the event packet.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "p25/apco_frame_decoder.h"
#include "p25/trellis_decoder.h"
#include "tests/support/p25_tsbk_builder.h"

using namespace p25test;

namespace {

constexpr int kNac = 0x140;
constexpr uint8_t kLast = 0x80;

int Feed(CApcoFrameDecoder& d, const std::string& text) {
    return d.Process(text.data(), static_cast<int>(text.size()));
}

std::vector<uint8_t> BlockDibits(const Tsbk& b) {
    std::vector<uint8_t> d;
    for (int i = 0; i < 48; ++i)
        d.push_back(static_cast<uint8_t>((b[static_cast<size_t>(i / 4)] >> (6 - 2 * (i % 4))) & 3));
    d.push_back(0);
    return d;
}

Tsbk RandomTsbk(std::mt19937& rng) {
    std::array<uint8_t, 10> p;
    for (auto& x : p) x = static_cast<uint8_t>(rng());
    return MakeTsbk(p);
}

// Nibbles of the block after bit flips (bit 0 = high bit of the first symbol sent).
std::vector<uint8_t> ReceivedNibbles(const Tsbk& b, const std::vector<int>& flips) {
    return p25test::ReceivedNibbles(TsbkSymbols(b, flips).c_str());
}

// Expected record bytes, little-endian fields.
std::array<uint8_t, 21> Record(uint8_t type, uint8_t id, uint16_t channel, uint32_t nac, uint32_t freq, uint32_t a,
                               uint32_t b, uint8_t options) {
    std::array<uint8_t, 21> r{};
    r[0] = type;
    r[1] = id;
    r[2] = static_cast<uint8_t>(channel);
    r[3] = static_cast<uint8_t>(channel >> 8);
    for (int i = 0; i < 4; ++i) {
        r[4 + i] = static_cast<uint8_t>(nac >> (8 * i));
        r[8 + i] = static_cast<uint8_t>(freq >> (8 * i));
        r[12 + i] = static_cast<uint8_t>(a >> (8 * i));
        r[16 + i] = static_cast<uint8_t>(b >> (8 * i));
    }
    r[20] = options;
    return r;
}

}  // namespace

TEST(TrellisTest, CleanBlocksAndEverySingleBitError) {
    std::mt19937 rng(1);
    CTrellisDecoder t;
    for (int trial = 0; trial < 20; ++trial) {
        const Tsbk b = RandomTsbk(rng);
        const std::vector<uint8_t> expected = BlockDibits(b);
        std::vector<uint8_t> rx = ReceivedNibbles(b, {});
        ASSERT_EQ(49u, t.Decode(rx.data(), 49));
        unsigned errors = 99;
        const unsigned char* out = t.GetOutput(&errors);
        EXPECT_EQ(0u, errors);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out));
        for (int bit = 0; bit < 196; ++bit) {
            rx = ReceivedNibbles(b, {bit});
            ASSERT_EQ(49u, t.Decode(rx.data(), 49));
            out = t.GetOutput(&errors);
            EXPECT_EQ(1u, errors) << trial << " " << bit;
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out)) << trial << " " << bit;
        }
    }
}

TEST(TrellisTest, RemainingErrorsAreCaughtByTheCrc) {
    // Bursts the code cannot correct: whenever the decided block differs from the sent one,
    // its CRC must not match (a 16-bit CRC passes a random block with probability 2^-16).
    std::mt19937 rng(2);
    CTrellisDecoder t;
    int wrong = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        const Tsbk b = RandomTsbk(rng);
        std::vector<int> flips;
        const int start = static_cast<int>(rng() % 150);
        for (int k = 0; k < 12; ++k) flips.push_back(start + static_cast<int>(rng() % 40));
        const std::vector<uint8_t> rx = ReceivedNibbles(b, flips);
        t.Decode(rx.data(), 49);
        const Tsbk bytes = DibitsToTsbk(t.GetOutput(nullptr));
        if (bytes != b) {
            ++wrong;
            EXPECT_NE(CApcoFrameDecoder::Crc16Ccitt(bytes.data()), (bytes[10] << 8) | bytes[11]) << trial;
        }
    }
    EXPECT_GT(wrong, 100);
}

TEST(TrellisTest, ShortInputsGiveAsManyOutputs) {
    CTrellisDecoder t;
    const unsigned char clean[5] = {2, 12, 0, 3, 6};  // dibits 0 1 1 3 2 from state 0
    EXPECT_EQ(5u, t.Decode(clean, 5));
    unsigned errors = 9;
    const unsigned char* out = t.GetOutput(&errors);
    EXPECT_EQ(0u, errors);
    const unsigned char expected[5] = {0, 1, 1, 3, 2};
    EXPECT_EQ(0, std::memcmp(expected, out, 5));
    EXPECT_EQ(0u, t.Decode(clean, 0));
    EXPECT_EQ(0u, t.Decode(nullptr, 5));
    std::vector<unsigned char> big(200, 2);
    EXPECT_EQ(CTrellisDecoder::kMaxSymbols, t.Decode(big.data(), 200));
}

TEST(CrcTest, IsCrc16GsmOverTenBytes) {
    // Check value of CRC-16/GSM over "123456789" is 0x CE3C; a leading zero byte does not
    // change a CRC with initial value 0.
    const unsigned char check[10] = {0, '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(0xCE3C, Crc16Gsm(check + 1, 9));
    EXPECT_EQ(0xCE3C, CApcoFrameDecoder::Crc16Ccitt(check));
    const unsigned char zeros[12] = {};
    EXPECT_EQ(0xFFFF, CApcoFrameDecoder::Crc16Ccitt(zeros));
    std::mt19937 rng(3);
    for (int i = 0; i < 1000; ++i) {
        unsigned char b[12];
        for (auto& x : b) x = static_cast<unsigned char>(rng());
        EXPECT_EQ(Crc16Gsm(b, 10), CApcoFrameDecoder::Crc16Ccitt(b));
    }
}

TEST(TrunkingTest, GrantRecords) {
    FrameBuilder fb;
    CApcoFrameDecoder d;
    std::vector<Tsbk> blocks;
    blocks.push_back(GroupGrant(0x85, 2, 0x123, 0x4567, 0x89ABCD));
    blocks.push_back(MakeTsbk({0x02, 0, 0x31, 0x11, 0x22, 0x33, 0x42, 0x05, 0x44, 0x55}));  // two updates
    blocks.push_back(MakeTsbk({0x03 | kLast, 0, 0x47, 0, 0, 0, 0x5F, 0xFF, 0x12, 0x34}));   // explicit update
    blocks.push_back(MakeTsbk({0x04, 0, 0x6A, 0xBC, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));  // unit-to-unit
    blocks.push_back(MakeTsbk({0x06 | kLast, 0, 0x70, 0x01, 0xFF, 0xFF, 0xFF, 0, 0, 1}));   // and its update
    Feed(d, Tsdu(fb, kNac, {blocks[0], blocks[1], blocks[2]}) + Tsdu(fb, kNac, {blocks[3], blocks[4]}));
    EXPECT_EQ(kTransmissionTrunking, d.GetTransmissionType());
    const auto events = TakeEvents(d);
    ASSERT_EQ(6u, events.size());
    const uint32_t g = 0x80000000u;
    EXPECT_EQ(Record(1, 2, 0x123, kNac, 0, 0x89ABCD, 0x4567 | g, 0x85), events[0]);
    EXPECT_EQ(Record(2, 3, 0x111, kNac, 0, 0x2233 | g, 0x2233 | g, 0), events[1]);
    EXPECT_EQ(Record(2, 4, 0x205, kNac, 0, 0x4455 | g, 0x4455 | g, 0), events[2]);
    EXPECT_EQ(Record(2, 5, 0xFFF, kNac, 0, 0x1234 | g, 0x1234 | g, 0x47), events[3]);
    EXPECT_EQ(Record(3, 6, 0xABC, kNac, 0, 0x445566, 0x112233, 0), events[4]);
    EXPECT_EQ(Record(4, 7, 0x001, kNac, 0, 0x000001, 0xFFFFFF, 0), events[5]);
    EXPECT_EQ(nullptr, d.GetEventPacket(nullptr));  // drained; no size wanted
}

TEST(TrunkingTest, SuppressedBlocks) {
    FrameBuilder fb;
    CApcoFrameDecoder d;
    std::vector<Tsbk> blocks;
    blocks.push_back(GroupGrant(0, 1, 1, 1, 1, 0, 0x90));                       // another manufacturer
    blocks.push_back(GroupGrant(0, 1, 1, 1, 1, 0x40));                          // protected
    blocks.push_back(MakeTsbk({0x3B, 0, 0xBE, 0xE0, 0, 0x14, 0xC0, 0, 0, 0}));  // not an event opcode
    Tsbk bad = GroupGrant(0, 1, 1, 1, 1);
    bad[11] ^= 1;  // CRC error
    blocks.push_back(bad);
    blocks.push_back(IdentifierUpdate(1, 100, 100, 170000000, kLast, 0x90));  // identifier updates of any MFID
    Feed(d, Tsdu(fb, kNac, blocks));
    const auto events = TakeEvents(d);
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(0x80, events[0][0]);
    EXPECT_EQ(0x90, d.GetMfid());
}

TEST(TrunkingTest, IdentifierTableGivesChannelFrequencies) {
    FrameBuilder fb;
    CApcoFrameDecoder d;
    // Identifier 1: base 851.00625 MHz, spacing 6.25 kHz, offset -45 MHz in 250 kHz units.
    const uint32_t baseUnits = 851006250 / 5;
    Feed(d, Tsdu(fb, kNac,
                 {IdentifierUpdate(1, -180, 50, baseUnits), GroupGrant(0, 1, 100, 0x10, 0x20),
                  GroupGrant(0, 2, 100, 0x10, 0x20, kLast)}));
    auto events = TakeEvents(d);
    ASSERT_EQ(3u, events.size());
    EXPECT_EQ(Record(0x80, 1, static_cast<uint16_t>(-180), kNac, 6250, 851006250, 0, 0), events[0]);
    EXPECT_EQ(851006250u + 100u * 6250u, EventField(events[1], 8));
    EXPECT_EQ(0u, EventField(events[2], 8)) << "unknown identifier";
}

TEST(TrunkingTest, ReceiverMovesKeepOrClearTheTable) {
    FrameBuilder fb;
    const uint32_t f0 = 851012500;
    for (uint32_t move : {5000u, 5001u}) {
        CApcoFrameDecoder d;
        d.SetReceiverFrequency(f0);
        Feed(d, Tsdu(fb, kNac, {IdentifierUpdate(3, 1, 100, 851000000 / 5, kLast)}));
        d.SetReceiverFrequency(f0 + move);
        EXPECT_EQ(0, d.GetEventCount()) << "a frequency change discards queued events";
        Feed(d, Tsdu(fb, kNac, {GroupGrant(0, 3, 4, 5, 6, kLast)}));
        const auto events = TakeEvents(d);
        ASSERT_EQ(1u, events.size());
        EXPECT_EQ(move == 5000 ? 851000000u + 4u * 12500u : 0u, EventField(events[0], 8)) << move;
    }
}

TEST(TrunkingTest, LargeFrequenciesArePacked) {
    EXPECT_EQ(0x7FFFFFFFu, CApcoFrameDecoder::PackFrequency(0x7FFFFFFFull));
    EXPECT_EQ(0x80000000u | 214748364u, CApcoFrameDecoder::PackFrequency(0x80000000ull));
    // A base field at or above 2^31 (x 5 Hz) is an unsigned quantity, never negative.
    FrameBuilder fb;
    CApcoFrameDecoder d;
    Feed(d, Tsdu(fb, kNac, {IdentifierUpdate(2, 0, 1, 0x80000000u), GroupGrant(0, 2, 10, 1, 1, kLast)}));
    const auto events = TakeEvents(d);
    ASSERT_EQ(2u, events.size());
    EXPECT_EQ(0x80000000u | static_cast<uint32_t>(0x80000000ull * 5 / 10), EventField(events[0], 12));
    EXPECT_EQ(0x80000000u | static_cast<uint32_t>((0x80000000ull * 5 + 10 * 125) / 10), EventField(events[1], 8));
}

TEST(TrunkingTest, LastBlockFlagHonouredOnCrcError) {
    FrameBuilder fb;
    Tsbk last = GroupGrant(0, 1, 1, 1, 1, kLast);
    last[10] ^= 0xFF;  // CRC wrong, flag intact
    for (bool flagged : {true, false}) {
        Tsbk b = last;
        if (!flagged) b[0] &= 0x7F;
        CApcoFrameDecoder d;
        Feed(d, Tsdu(fb, kNac, {b}) + fb.SyncAndNid(0x2AA, kDuidPdu));
        EXPECT_EQ(flagged ? 0x2AA : kNac, d.GetNac()) << flagged;
        EXPECT_EQ(0, d.GetEventCount());
    }
}

TEST(TrunkingTest, ResyncAfterTheLastBlock) {
    FrameBuilder fb;
    const Tsbk last = GroupGrant(0, 1, 1, 1, 1, kLast);
    // The frame is padded; the next sync is found with one symbol two levels off.
    {
        CApcoFrameDecoder d;
        std::string next = fb.SyncAndNid(0x2AA, kDuidPdu);
        next[5] = '3';
        Feed(d, Tsdu(fb, kNac, {last}) + next);
        EXPECT_EQ(0x2AA, d.GetNac());
    }
    // A sync right after the last block's symbols fills only the first window, which is never
    // tested: it is missed.
    {
        CApcoFrameDecoder d;
        const std::string tsdu = fb.SyncAndNid(kNac, kDuidTsdu) + fb.WithStatus(TsbkSymbols(last), 57);
        Feed(d, tsdu + fb.SyncAndNid(0x2AA, kDuidPdu) + std::string(200, '0'));
        EXPECT_NE(0x2AA, d.GetNac());
    }
    // No sync within 100 symbols: the search gives up and drops the fields.
    {
        CApcoFrameDecoder d;
        Feed(d, Tsdu(fb, kNac, {last}));
        EXPECT_EQ(kNac, d.GetNac());
        Feed(d, std::string(100, '0'));
        EXPECT_EQ(-1, d.GetNac());
        EXPECT_EQ(kTransmissionNone, d.GetTransmissionType());
    }
}

TEST(TrunkingTest, OpcodeNames) {
    EXPECT_STREQ("Identifier update for VHF/UHF bands (IDEN_UP_VU)", CApcoFrameDecoder::OpcodeName(0x34));
    EXPECT_NE(nullptr, std::strstr(CApcoFrameDecoder::OpcodeName(0x3B), "NET_STS_BCST"));
    EXPECT_STREQ("Unknown", CApcoFrameDecoder::OpcodeName(0x01));
    int named = 0;
    for (int op = 0; op < 64; ++op) named += std::strcmp("Unknown", CApcoFrameDecoder::OpcodeName(op)) != 0;
    EXPECT_EQ(45, named);
}

TEST(TrunkingTest, PushAndDrainOnTwoThreads) {
    // The stream thread decodes trunking frames while the GUI thread drains the events; every
    // event pushed is drained exactly once or, when the queue was full, counted as dropped.
    FrameBuilder fb;
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += Tsdu(fb, kNac,
                     {GroupGrant(0, 1, i, 1, 1), MakeTsbk({0x02, 0, 0x10, 1, 0, 1, 0x10, 2, 0, 2}),
                      GroupGrant(0, 1, 2, 3, 4, kLast)});
    constexpr int kRounds = 30;
    CApcoFrameDecoder d;
    std::atomic<bool> done{false};
    size_t drained = 0;
    std::thread gui([&] {
        while (!done.load()) {
            unsigned size = 0;
            uint8_t* p = d.GetEventPacket(&size);
            if (p) {
                uint32_t count;
                std::memcpy(&count, p + 136, 4);
                drained += count;
                std::free(p);
            }
            (void)d.GetEventCount();
        }
    });
    for (int r = 0; r < kRounds; ++r) Feed(d, text);
    done.store(true);
    gui.join();
    drained += TakeEvents(d).size();
    EXPECT_EQ(static_cast<size_t>(kRounds) * 20 * 4, drained + d.GetDroppedEventCount());

    // Frequency changes from the GUI thread while decoding: no race, no crash.
    std::thread tuner([&] {
        for (uint32_t f = 0; f < 200; ++f) d.SetReceiverFrequency(851000000 + f * 10000);
    });
    for (int r = 0; r < 5; ++r) Feed(d, text);
    tuner.join();
    TakeEvents(d);

    // Nobody drains: the queue holds the newest events and counts what gave way.
    CApcoFrameDecoder idle;
    for (int r = 0; r < 2 * kRounds; ++r) Feed(idle, text);
    EXPECT_EQ(CApcoFrameDecoder::kMaxQueuedEvents, idle.GetEventCount());
    EXPECT_EQ(2u * kRounds * 20 * 4 - CApcoFrameDecoder::kMaxQueuedEvents, idle.GetDroppedEventCount());
}
