// Real off-air recordings through the C4FM demodulator and the frame decoder. The expected
// values were established independently by code-word checks across many frames.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "p25/apco_frame_decoder.h"
#include "p25/c4fm_demodulator.h"
#include "p25/trellis_decoder.h"
#include "tests/support/wav_io.h"

namespace {

const char kSync[] = "111113113311333313133333";

std::string Demodulate(const char* name) {
    std::vector<int16_t> pcm;
    int rate = 0;
    const std::string path = std::string(APCO_TESTDATA_DIR) + "/" + name;
    if (!wavtest::ReadWav16(path, &pcm, &rate)) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    EXPECT_EQ(48000, rate);
    const std::vector<float> x = wavtest::ToFloat(pcm);
    CC4fmDemodulator demod;
    demod.PrepareFilters();
    std::string text;
    // IF blocks of 100 ms, as the receiver delivers them.
    for (size_t pos = 0; pos < x.size(); pos += 4800) {
        const int n = static_cast<int>(std::min<size_t>(4800, x.size() - pos));
        const int symbols = demod.Process(x.data() + pos, n);
        if (symbols > 0) text.append(demod.GetSymbols(), static_cast<size_t>(symbols));
    }
    return text;
}

// Test-side walk over the trunking frames: every exact-enough sync whose NID checks and says
// TSDU, its blocks (status symbols skipped, de-interleaved, trellis decoded) up to the
// last-block flag. Only blocks whose CRC matches are returned.
std::vector<std::vector<uint8_t>> ValidTrunkingBlocks(const std::string& text) {
    std::vector<std::vector<uint8_t>> blocks;
    CTrellisDecoder trellis;
    for (size_t start = 0; start + 57 + 98 < text.size(); ++start) {
        int sum = 0;
        for (int i = 0; i < 24; ++i) sum += std::abs(text[start + i] - kSync[i]);
        if (sum > 6) continue;
        // NID: places 24..56 with the status symbol at 35.
        char nid[33] = {};
        int k = 0;
        for (int place = 24; place < 57; ++place)
            if (place != 35) nid[k++] = text[start + static_cast<size_t>(place)];
        if (!CApcoFrameDecoder::DecodeBch(nid, nullptr)) continue;
        if ((nid[6] - '0') * 4 + (nid[7] - '0') != 0x7) continue;
        size_t pos = start + 57;
        int place = 57;
        for (int b = 0; b < 8; ++b) {
            unsigned char sent[49] = {}, ordered[49];
            for (int s = 0; s < 98 && pos < text.size(); ++pos, ++place) {
                if (place % 36 == 35) continue;
                const int v = text[pos] - '0';
                sent[s / 2] = static_cast<unsigned char>(s % 2 ? sent[s / 2] | v : v * 4);
                ++s;
            }
            int i = 0;
            for (int column = 0; column < 4; ++column)
                for (int row = 0; 4 * row + column < 49; ++row) ordered[4 * row + column] = sent[i++];
            trellis.Decode(ordered, 49);
            const unsigned char* d = trellis.GetOutput(nullptr);
            std::vector<uint8_t> bytes(12);
            for (int j = 0; j < 12; ++j) bytes[j] = static_cast<uint8_t>(d[4 * j] * 64 + d[4 * j + 1] * 16 + d[4 * j + 2] * 4 + d[4 * j + 3]);
            if (CApcoFrameDecoder::Crc16Ccitt(bytes.data()) == ((bytes[10] << 8) | bytes[11])) blocks.push_back(bytes);
            if (bytes[0] & 0x80) break;
        }
        start += 56;
    }
    return blocks;
}

struct Observed {
    std::set<int> nacs, tgids, sources, algids, mfids, types;
    std::vector<std::array<uint8_t, 21>> events;
    size_t samples = 0;
};

Observed Decode(const std::string& text) {
    Observed o;
    CApcoFrameDecoder d;
    d.SetBlockSize(512);
    for (size_t pos = 0; pos < text.size(); pos += 480) {
        const int n = static_cast<int>(std::min<size_t>(480, text.size() - pos));
        EXPECT_GE(d.Process(text.data() + pos, n), 0);
        o.nacs.insert(d.GetNac());
        o.tgids.insert(d.GetTgid());
        o.sources.insert(d.GetSourceId());
        o.algids.insert(d.GetAlgid());
        o.mfids.insert(d.GetMfid());
        o.types.insert(d.GetTransmissionType());
        while (int16_t* b = d.PopAudioBlock()) {
            o.samples += 512;
            d.ReleaseAudioBlock(b);
        }
        unsigned size = 0;
        if (uint8_t* p = d.GetEventPacket(&size)) {
            for (unsigned i = 0; i < (size - 140) / 21; ++i) {
                std::array<uint8_t, 21> r;
                std::memcpy(r.data(), p + 140 + 21 * i, 21);
                o.events.push_back(r);
            }
            std::free(p);
        }
    }
    return o;
}

}  // namespace

TEST(RealRecordingsTest, ControlChannel) {
    const std::string text = Demodulate("control-nac140.if.wav");
    ASSERT_GT(text.size(), 9000u);  // 2 s at 4800 symbols/s

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

    // The decoder: NAC 0x140, trunking traffic, one identifier-update event per valid block.
    const Observed o = Decode(text);
    EXPECT_TRUE(o.nacs.count(0x140));
    EXPECT_TRUE(o.types.count(kTransmissionTrunking));
    size_t updates = 0;
    for (const auto& e : o.events) {
        if (e[0] != 0x80) continue;
        ++updates;
        uint32_t nac;
        std::memcpy(&nac, e.data() + 4, 4);
        EXPECT_EQ(0x140u, nac);
    }
    EXPECT_EQ(identifierUpdates, updates);
}

TEST(RealRecordingsTest, ClearGroupCall) {
    const Observed o = Decode(Demodulate("voice-nac293-tg1.if.wav"));
    EXPECT_TRUE(o.nacs.count(0x293));
    EXPECT_TRUE(o.tgids.count(1));
    EXPECT_TRUE(o.sources.count(1));
    EXPECT_TRUE(o.algids.count(0x80));
    EXPECT_TRUE(o.mfids.count(0));
    // 40 LDUs of 9 frames of 160 samples; allow a frame lost at each file edge.
    EXPECT_GE(o.samples + 512, 40u * 9 * 160 - 2 * 160);
    ASSERT_FALSE(o.events.empty());
    EXPECT_EQ(0x81, o.events.back()[0]);
}

TEST(RealRecordingsTest, TrunkedVoiceChannel) {
    const Observed o = Decode(Demodulate("voice-nac1f5-tg7455.if.wav"));
    EXPECT_TRUE(o.nacs.count(0x1F5));
    EXPECT_TRUE(o.tgids.count(7455));
    EXPECT_TRUE(o.sources.count(4270002));
    EXPECT_TRUE(o.algids.count(0x80));
}

TEST(RealRecordingsTest, EncryptedCall) {
    const Observed o = Decode(Demodulate("voice-encrypted-nac104-tg1543.if.wav"));
    EXPECT_TRUE(o.nacs.count(0x104));
    EXPECT_TRUE(o.tgids.count(1543));
    EXPECT_TRUE(o.algids.count(0x81));
    EXPECT_TRUE(o.mfids.count(0x90));
    EXPECT_TRUE(o.sources.count(2287) || o.sources.count(1027));
}
