// Test-side trunking signalling builder: TSBKs with their CRC-16, the rate-1/2 trellis encoder,
// the block interleaver and whole TSDU frames (sync, NID, blocks, status symbols).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "p25/apco_frame_decoder.h"

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

// Blocks of the common opcodes, with the last-block and protected flags in `flags`.
// IDEN_UP_VU: transmit offset signed (13 bits and a sign), spacing in 125 Hz, base in 5 Hz units.
Tsbk IdentifierUpdate(int id, int offset, int spacingUnits, uint32_t baseUnits, uint8_t flags = 0, int mfid = 0);
Tsbk GroupGrant(int options, int id, int channel, int group, int source, uint8_t flags = 0, int mfid = 0);

// --- The receiving side, for checking the decoder's steps ---------------------------------------
// The 49 nibbles sent (two symbols each) back in coded order: the inverse of the interleaver.
std::vector<uint8_t> DeinterleaveNibbles(const std::vector<uint8_t>& sent);
// The nibbles of a block's symbols (98 characters from `symbols`), de-interleaved.
std::vector<uint8_t> ReceivedNibbles(const char* symbols);
// The 12 bytes of 48 decoded dibits.
Tsbk DibitsToTsbk(const unsigned char* dibits);
// The decoder's queued events, its media packet checked on the way (name, type 256, sizes).
using EventRecord = std::array<uint8_t, 21>;
std::vector<EventRecord> TakeEvents(CApcoFrameDecoder& d);
// The little-endian 32-bit field at byte `at` of a record (4 NAC, 8 frequency, 12 and 16 the
// opcode's two values).
uint32_t EventField(const EventRecord& e, int at);

}  // namespace p25test
