#include "tests/support/p25_tsbk_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace p25test {

uint16_t Crc16Gsm(const uint8_t* data, size_t count) {
    uint16_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return static_cast<uint16_t>(crc ^ 0xFFFF);
}

Tsbk MakeTsbk(const std::array<uint8_t, 10>& payload) {
    Tsbk b{};
    for (int i = 0; i < 10; ++i) b[i] = payload[i];
    const uint16_t crc = Crc16Gsm(b.data(), 10);
    b[10] = static_cast<uint8_t>(crc >> 8);
    b[11] = static_cast<uint8_t>(crc);
    return b;
}

std::vector<uint8_t> TrellisEncodeBlock(const Tsbk& block) {
    // Constellation-point pairs (as a nibble) per encoder state and input dibit.
    static const uint8_t kPoints[4][4] = {{2, 12, 1, 15}, {14, 0, 13, 3}, {9, 7, 10, 4}, {5, 11, 6, 8}};
    std::vector<uint8_t> coded;
    int state = 0;
    for (int i = 0; i < 49; ++i) {
        const int dibit = i < 48 ? (block[i / 4] >> (6 - 2 * (i % 4))) & 3 : 0;
        coded.push_back(kPoints[state][dibit]);
        state = dibit;
    }
    // Interleaver: the four columns of 13, 12, 12, 12 nibbles are sent one after the other.
    std::vector<uint8_t> sent;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; 4 * row + column < 49; ++row) sent.push_back(coded[static_cast<size_t>(4 * row + column)]);
    return sent;
}

std::string TsbkSymbols(const Tsbk& block, const std::vector<int>& flips) {
    std::string s;
    for (uint8_t n : TrellisEncodeBlock(block)) {
        s += static_cast<char>('0' + (n >> 2));
        s += static_cast<char>('0' + (n & 3));
    }
    for (int b : flips) FlipDibitBit(s, b);
    return s;
}

std::string Tsdu(const FrameBuilder& fb, int nac, const std::vector<Tsbk>& blocks,
                 const std::vector<std::vector<int>>& blockFlips) {
    std::string data;
    for (size_t i = 0; i < blocks.size(); ++i)
        data += TsbkSymbols(blocks[i], i < blockFlips.size() ? blockFlips[i] : std::vector<int>{});
    // Data places 57.. (after sync and NID); pad to the end of a 36-symbol group.
    std::string body = fb.WithStatus(data, 57);
    while ((57 + body.size()) % 36 != 0) {
        body += (57 + body.size()) % 36 == 35 ? fb.statusSymbol : '0';
    }
    return fb.SyncAndNid(nac, kDuidTsdu) + body;
}

Tsbk IdentifierUpdate(int id, int offset, int spacingUnits, uint32_t baseUnits, uint8_t flags, int mfid) {
    const unsigned mag = static_cast<unsigned>(offset < 0 ? -offset : offset);
    const unsigned off14 = (offset >= 0 ? 0x2000u : 0u) | (mag & 0x1FFF);
    return MakeTsbk(
        {static_cast<uint8_t>(flags | 0x34), static_cast<uint8_t>(mfid), static_cast<uint8_t>(id << 4 | 5),
         static_cast<uint8_t>(off14 >> 6), static_cast<uint8_t>(((off14 & 63) << 2) | ((spacingUnits >> 8) & 3)),
         static_cast<uint8_t>(spacingUnits), static_cast<uint8_t>(baseUnits >> 24),
         static_cast<uint8_t>(baseUnits >> 16), static_cast<uint8_t>(baseUnits >> 8), static_cast<uint8_t>(baseUnits)});
}

Tsbk GroupGrant(int options, int id, int channel, int group, int source, uint8_t flags, int mfid) {
    return MakeTsbk({static_cast<uint8_t>(flags | 0x00), static_cast<uint8_t>(mfid), static_cast<uint8_t>(options),
                     static_cast<uint8_t>(id << 4 | (channel >> 8)), static_cast<uint8_t>(channel),
                     static_cast<uint8_t>(group >> 8), static_cast<uint8_t>(group), static_cast<uint8_t>(source >> 16),
                     static_cast<uint8_t>(source >> 8), static_cast<uint8_t>(source)});
}

std::vector<uint8_t> DeinterleaveNibbles(const std::vector<uint8_t>& sent) {
    std::vector<uint8_t> out(49);
    size_t i = 0;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; 4 * row + column < 49; ++row) out[static_cast<size_t>(4 * row + column)] = sent[i++];
    return out;
}

std::vector<uint8_t> ReceivedNibbles(const char* symbols) {
    std::vector<uint8_t> sent;
    for (int i = 0; i < 98; i += 2)
        sent.push_back(static_cast<uint8_t>((symbols[i] - '0') * 4 + (symbols[i + 1] - '0')));
    return DeinterleaveNibbles(sent);
}

Tsbk DibitsToTsbk(const unsigned char* d) {
    Tsbk bytes;
    for (int k = 0; k < 12; ++k)
        bytes[k] = static_cast<uint8_t>(d[4 * k] * 64 + d[4 * k + 1] * 16 + d[4 * k + 2] * 4 + d[4 * k + 3]);
    return bytes;
}

uint32_t EventField(const EventRecord& e, int at) {
    uint32_t v;
    std::memcpy(&v, e.data() + at, 4);
    return v;
}

std::vector<EventRecord> TakeEvents(CApcoFrameDecoder& d) {
    std::vector<EventRecord> out;
    unsigned size = 0;
    uint8_t* p = d.GetEventPacket(&size);
    if (!p) {
        EXPECT_EQ(0u, size);
        return out;
    }
    EXPECT_EQ(0, std::strcmp(reinterpret_cast<char*>(p), "K927 APCO"));
    for (int i = 10; i < 128; ++i) EXPECT_EQ(0, p[i]);
    uint32_t type, payload, count;
    std::memcpy(&type, p + 128, 4);
    std::memcpy(&payload, p + 132, 4);
    std::memcpy(&count, p + 136, 4);
    EXPECT_EQ(256u, type);
    EXPECT_EQ(4u + 21u * count, payload);
    EXPECT_EQ(140u + 21u * count, size);
    for (uint32_t i = 0; i < count; ++i) {
        EventRecord r;
        std::memcpy(r.data(), p + 140 + 21 * i, 21);
        out.push_back(r);
    }
    std::free(p);
    return out;
}

}  // namespace p25test
