// The host's self-relative HostRecord: the plug-in's own validated copy of it and the record
// with which the plug-in announces (or withdraws) its capabilities.
//
// The host hands over a block whose word 0 is its size and whose thirteen pointer words, when
// not null, point at blocks inside the same record. Nothing here trusts those words: a word
// beyond the record's size reads as 0, a pointer is kept only when its whole block lies inside
// the record, and every size sum is checked against kMaxHostRecordSize before it is used.
// A copy therefore only ever holds pointers into itself.
#pragma once

#include <cstdint>

// Largest record the plug-in accepts (a real one is a few hundred bytes).
constexpr uint32_t kMaxHostRecordSize = 1u << 20;
constexpr uint32_t kHostRecordFixedSize = 400;
constexpr int kHostRecordPointerCount = 13;
// The pointer words, in the order their blocks are laid out.
extern const uint32_t kHostRecordPointerOffsets[kHostRecordPointerCount];

// Offsets of the words the plug-in reads or sets.
enum HostRecordWord : uint32_t {
    kHostWordSize = 0,
    kHostWordFixedSize = 4,
    kHostWordReceiverId = 76,  // 8 characters, no terminator
    kHostWordFlags192 = 192,
    kHostWordFlags200 = 200,
    kHostWordModeCount = 228,
    kHostWordModeList = 236,
};
constexpr uint32_t kHostFlags192Bits = 0x10000040u;
constexpr uint32_t kHostFlags200Bits = 0x306u;  // the plug-in demodulates for the host
constexpr uint32_t kDemodModeP25 = 19;
constexpr uint32_t kDemodModeFm = 2;
constexpr uint32_t kModeEntrySize = 28;

// Word at offset of a record of `size` bytes; 0 when it lies beyond the size.
uint32_t HostRecordWord(const uint8_t* record, uint32_t size, uint32_t offset);

// Length of the block the pointer word at `offset` describes (0 for an unknown offset), read
// from the record's own words; `block` is the block's address, needed for the blocks whose
// first word is their length (it must lie inside the record). Checked: false when the length
// cannot be had or the block does not lie inside [record, record + size).
bool HostRecordBlockLength(const uint8_t* record, uint32_t size, uint32_t offset, uint32_t* length);

// A copy in the private heap (at least the fixed part, zero beyond the host's bytes) with
// every pointer word moved into the copy, or nulled when its block was not inside the record.
// Null for a null record, a size word below 8 or above kMaxHostRecordSize, or no memory.
// `available` caps the bytes that may be read (the size word must not exceed it); below 8
// nothing is read at all.
uint8_t* DuplicateHostRecord(const void* record, uint32_t available = kMaxHostRecordSize);
void FreeHostRecord(uint8_t* record);  // null allowed

// The record the plug-in sends with PM_HOSTINFO, built from a copy made by
// DuplicateHostRecord: the fixed part (at most 400 bytes of it) with the plug-in's words, and
// the copy's blocks laid out after it in the order of kHostRecordPointerOffsets.
//   announce  true: the plug-in offers P25 and FM (its two-entry mode list, the flag bits set);
//             false: withdraws them (no mode list, the bits cleared).
// A null `copy` counts as an empty fixed part. Null when no memory; the caller frees it with
// FreeHostRecord.
uint8_t* BuildHostAnnouncement(const uint8_t* copy, bool announce);

// A duplicate of `copy` with the bits 0x306 of word 200 set or cleared (null on failure).
uint8_t* HostRecordWithFlags(const uint8_t* copy, bool demodulating);
