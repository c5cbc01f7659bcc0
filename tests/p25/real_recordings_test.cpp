// The real control channel through the C4FM demodulator and the frame decoder: its trunking
// blocks, checked block by block on the test side, and the events the decoder queues for them.
// (The voice recordings run through the whole receive chain in c4fm_chain_test.cpp.)
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "p25/apco_frame_decoder.h"
#include "p25/c4fm_demodulator.h"
#include "p25/trellis_decoder.h"
#include "tests/support/c4fm_frame_scan.h"
#include "tests/support/p25_tsbk_builder.h"

namespace {

// The blocks of every TSDU found by the frame scan, up to the last-block flag: status symbols
// skipped (place 35 of each 36 from the sync), de-interleaved, trellis decoded. Only blocks
// whose CRC matches are kept.
std::vector<std::array<uint8_t, 12>> ValidTrunkingBlocks(const std::string& text) {
    std::vector<std::array<uint8_t, 12>> blocks;
    CTrellisDecoder trellis;
    for (const c4fmtest::FoundFrame& frame : c4fmtest::FindFrames(text)) {
        if (frame.duid != 0x7) continue;
        size_t pos = frame.position + 57;
        int place = 57;
        for (int b = 0; b < 8 && pos + 98 < text.size(); ++b) {
            std::string symbols;  // the block's 98, status symbols skipped
            for (; symbols.size() < 98; ++pos, ++place)
                if (place % 36 != 35) symbols += text[pos];
            std::vector<uint8_t> ordered = p25test::ReceivedNibbles(symbols.c_str());
            trellis.Decode(ordered.data(), 49);
            const p25test::Tsbk bytes = p25test::DibitsToTsbk(trellis.GetOutput(nullptr));
            if (CApcoFrameDecoder::Crc16Ccitt(bytes.data()) == ((bytes[10] << 8) | bytes[11])) blocks.push_back(bytes);
            if (bytes[0] & 0x80) break;
        }
    }
    return blocks;
}

}  // namespace

TEST(RealControlChannel, BlocksAndEvents) {
    const std::vector<float> x = c4fmtest::ReadRecording("control-nac140.if.wav");
    ASSERT_FALSE(x.empty());
    CC4fmDemodulator demod;
    demod.EnsureFilters();
    const std::string text = c4fmtest::Demodulate(x, 4800, &demod);  // 100 ms IF blocks
    ASSERT_GT(text.size(), 9000u);                                   // 2 s at 4800 symbols/s

    const auto blocks = ValidTrunkingBlocks(text);
    EXPECT_EQ(78u, blocks.size());
    bool network = false, rfss = false;
    size_t identifierUpdates = 0;
    for (const auto& b : blocks) {
        const int opcode = b[0] & 63;
        if (b[1] != 0) continue;
        if (opcode == 0x3B) {  // NET_STS_BCST: WACN (20 bits), system (12 bits)
            EXPECT_EQ(0xBEE00u, (uint32_t(b[3]) << 12) | (uint32_t(b[4]) << 4) | (b[5] >> 4));
            EXPECT_EQ(0x14C, ((b[5] & 15) << 8) | b[6]);
            network = true;
        }
        if (opcode == 0x3A) {  // RFSS_STS_BCST: system, RFSS, site
            EXPECT_EQ(0x14C, ((b[3] & 15) << 8) | b[4]);
            EXPECT_EQ(5, b[5]);
            EXPECT_EQ(9, b[6]);
            rfss = true;
        }
        if (opcode == 0x34 && !(b[0] & 0x40)) ++identifierUpdates;
    }
    EXPECT_TRUE(network);
    EXPECT_TRUE(rfss);
    EXPECT_GT(identifierUpdates, 0u);

    // The decoder, fed in IF-block-sized pieces: NAC 0x140, trunking traffic and one
    // identifier-update event per valid IDEN_UP_VU block, nothing else (no grants on air).
    CApcoFrameDecoder d;
    bool trunking = false;
    std::vector<p25test::EventRecord> events;
    for (size_t pos = 0; pos < text.size(); pos += 480) {
        ASSERT_GE(d.Process(text.data() + pos, static_cast<int>(std::min<size_t>(480, text.size() - pos))), 0);
        trunking |= d.GetTransmissionType() == kTransmissionTrunking && d.GetNac() == 0x140;
        for (const auto& e : p25test::TakeEvents(d)) events.push_back(e);
    }
    EXPECT_TRUE(trunking);
    EXPECT_EQ(identifierUpdates, events.size());
    for (const auto& e : events) {
        EXPECT_EQ(0x80, e[0]);
        EXPECT_EQ(0x140u, p25test::EventField(e, 4));
        EXPECT_EQ(0u, p25test::EventField(e, 8) % 125);  // spacing, 125 Hz units
        EXPECT_GT(p25test::EventField(e, 8), 0u);
    }
}
