#include "tests/support/p25_tsbk_builder.h"

namespace p25test {

uint16_t Crc16Gsm(const uint8_t* data, size_t count) {
    uint16_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
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

std::string Tsdu(const FrameBuilder& fb, int nac, const std::vector<Tsbk>& blocks, const std::vector<std::vector<int>>& blockFlips) {
    std::string data;
    for (size_t i = 0; i < blocks.size(); ++i) data += TsbkSymbols(blocks[i], i < blockFlips.size() ? blockFlips[i] : std::vector<int>{});
    // Data places 57.. (after sync and NID); pad to the end of a 36-symbol group.
    std::string body = fb.WithStatus(data, 57);
    while ((57 + body.size()) % 36 != 0) {
        body += (57 + body.size()) % 36 == 35 ? fb.statusSymbol : '0';
    }
    return fb.SyncAndNid(nac, kDuidTsdu) + body;
}

}  // namespace p25test
