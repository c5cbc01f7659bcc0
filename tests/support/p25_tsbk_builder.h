// Test-side trunking signalling builder: TSBKs with their CRC-16, the rate-1/2 trellis encoder,
// the block interleaver and whole TSDU frames (sync, NID, blocks, status symbols).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tests/support/p25_frame_builder.h"

namespace p25test {

using Tsbk = std::array<uint8_t, 12>;

// CRC-16/GSM (polynomial 0x1021, initial 0, no reflection, final XOR 0xFFFF), bitwise.
uint16_t Crc16Gsm(const uint8_t* data, size_t count);

// A block from its first ten bytes (last-block flag in byte 0 bit 7, protected bit 6, opcode
// bits 5..0; MFID in byte 1) with the CRC in bytes 10..11.
Tsbk MakeTsbk(const std::array<uint8_t, 10>& payload);

// The 49 nibbles sent for a block: 48 dibits and a flush dibit 0 through the trellis encoder,
// in the order of transmission (interleaved).
std::vector<uint8_t> TrellisEncodeBlock(const Tsbk& block);
// The 98 symbols of a block; `flips` are bit indices 0..195 of the block as sent.
std::string TsbkSymbols(const Tsbk& block, const std::vector<int>& flips = {});

// A TSDU frame: sync, NID (DUID 0x7), the blocks and status symbols, padded with null symbols
// to a whole number of 36-symbol groups. The caller sets the last-block flag where wanted.
// blockFlips[i] are the bit flips for block i.
std::string Tsdu(const FrameBuilder& fb, int nac, const std::vector<Tsbk>& blocks,
                 const std::vector<std::vector<int>>& blockFlips = {});

}  // namespace p25test
