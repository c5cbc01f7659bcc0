#include "plugin/host_record.h"

#include <cstring>
#include <new>

static_assert(sizeof(void*) == 4, "the host record holds 32-bit addresses");

const uint32_t kHostRecordPointerOffsets[kHostRecordPointerCount] = {172, 184, 188, 196, 224, 236, 264,
                                                                     308, 316, 324, 336, 360, 384};

namespace {

constexpr uint32_t kOwnLength = 0xFFFFFFFFu;  // the block's first word is its length

struct BlockShape {
    uint32_t offset;
    uint32_t fixedLength;  // or kOwnLength, or 0 with a count word
    uint32_t countOffset;
    uint32_t entrySize;
};

const BlockShape kShapes[kHostRecordPointerCount] = {
    {172, 24, 0, 0},         {184, 28, 0, 0},   {188, 16, 0, 0},
    {196, kOwnLength, 0, 0}, {224, 0, 220, 12}, {236, 0, 228, kModeEntrySize},
    {264, 24, 0, 0},         {308, 96, 0, 0},   {316, kOwnLength, 0, 0},
    {324, 0, 320, 12},       {336, 0, 328, 20}, {360, 12, 0, 0},
    {384, 96, 0, 0}};

const BlockShape* ShapeAt(uint32_t offset) {
    for (const BlockShape& s : kShapes)
        if (s.offset == offset) return &s;
    return nullptr;
}

uint32_t ReadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void WriteU32(uint8_t* record, uint32_t offset, uint32_t value) { std::memcpy(record + offset, &value, 4); }

uint32_t AddressOf(const uint8_t* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// Offset of the block the pointer word describes, with its checked length; false when the
// word is null or the block is not wholly inside the record.
bool LocateBlock(const uint8_t* record, uint32_t size, uint32_t offset, uint32_t* blockOffset, uint32_t* length) {
    const uint32_t pointer = HostRecordWord(record, size, offset);
    if (pointer == 0) return false;
    const uint32_t base = AddressOf(record);
    if (pointer < base || pointer - base >= size) return false;
    const uint32_t start = pointer - base;
    const BlockShape* shape = ShapeAt(offset);
    if (!shape) return false;
    uint64_t n;
    if (shape->fixedLength == kOwnLength) {
        if (size - start < 4) return false;
        n = ReadU32(record + start);
        if (n < 4) return false;
    } else if (shape->fixedLength) {
        n = shape->fixedLength;
    } else {
        n = static_cast<uint64_t>(HostRecordWord(record, size, shape->countOffset)) * shape->entrySize;
    }
    if (n == 0 || n > size - start) return false;
    *blockOffset = start;
    *length = static_cast<uint32_t>(n);
    return true;
}

uint8_t* AllocateZeroed(uint32_t bytes) {
    uint8_t* p = new (std::nothrow) uint8_t[bytes];
    if (p) std::memset(p, 0, bytes);
    return p;
}

// Size word of a copy made here (always at least the fixed part).
uint32_t CopySize(const uint8_t* copy) { return ReadU32(copy); }

}  // namespace

uint32_t HostRecordWord(const uint8_t* record, uint32_t size, uint32_t offset) {
    if (!record || offset > size || size - offset < 4) return 0;
    return ReadU32(record + offset);
}

bool HostRecordBlockLength(const uint8_t* record, uint32_t size, uint32_t offset, uint32_t* length) {
    uint32_t start;
    return LocateBlock(record, size, offset, &start, length);
}

uint8_t* DuplicateHostRecord(const void* record, uint32_t available) {
    // Not even the size word is read when fewer bytes than the smallest record were handed over.
    if (!record || available < 8) return nullptr;
    const uint8_t* source = static_cast<const uint8_t*>(record);
    const uint32_t size = ReadU32(source);
    if (size < 8 || size > kMaxHostRecordSize || size > available) return nullptr;
    const uint32_t copySize = size < kHostRecordFixedSize ? kHostRecordFixedSize : size;
    uint8_t* copy = AllocateZeroed(copySize);
    if (!copy) return nullptr;
    std::memcpy(copy, source, size);
    WriteU32(copy, kHostWordSize, copySize);
    for (uint32_t offset : kHostRecordPointerOffsets) {
        uint32_t start, length;
        const bool inside = LocateBlock(source, size, offset, &start, &length);
        WriteU32(copy, offset, inside ? AddressOf(copy + start) : 0);
    }
    return copy;
}

void FreeHostRecord(uint8_t* record) { delete[] record; }

uint8_t* BuildHostAnnouncement(const uint8_t* copy, bool announce) {
    // Without a record the host still learns what the plug-in offers: an empty fixed part.
    uint8_t empty[kHostRecordFixedSize] = {};
    if (!copy) {
        WriteU32(empty, kHostWordSize, kHostRecordFixedSize);
        WriteU32(empty, kHostWordFixedSize, kHostRecordFixedSize);
        copy = empty;
    }
    const uint32_t copySize = CopySize(copy);
    struct Placed {
        uint32_t start, length;
        bool present;
    } blocks[kHostRecordPointerCount];
    uint64_t total = kHostRecordFixedSize;
    for (int i = 0; i < kHostRecordPointerCount; ++i) {
        const uint32_t offset = kHostRecordPointerOffsets[i];
        Placed& b = blocks[i];
        if (offset == kHostWordModeList) {
            b.present = announce;
            b.start = 0;
            b.length = 2 * kModeEntrySize;
        } else {
            b.present = LocateBlock(copy, copySize, offset, &b.start, &b.length);
        }
        if (b.present) total += b.length;
    }
    if (total > kMaxHostRecordSize) return nullptr;
    uint8_t* out = AllocateZeroed(static_cast<uint32_t>(total));
    if (!out) return nullptr;

    uint32_t fixed = HostRecordWord(copy, copySize, kHostWordFixedSize);
    if (fixed > kHostRecordFixedSize) fixed = kHostRecordFixedSize;
    if (fixed > copySize) fixed = copySize;
    std::memcpy(out, copy, fixed);

    uint32_t next = kHostRecordFixedSize;
    for (int i = 0; i < kHostRecordPointerCount; ++i) {
        const uint32_t offset = kHostRecordPointerOffsets[i];
        const Placed& b = blocks[i];
        if (!b.present) {
            WriteU32(out, offset, 0);
            continue;
        }
        if (offset == kHostWordModeList) {
            const uint32_t modes[2] = {kDemodModeP25, kDemodModeFm};
            for (int m = 0; m < 2; ++m) {
                const uint32_t entry[7] = {modes[m], 100, 0, 12500, 1, 0, 0};
                std::memcpy(out + next + m * kModeEntrySize, entry, sizeof entry);
            }
        } else {
            std::memcpy(out + next, copy + b.start, b.length);
        }
        WriteU32(out, offset, AddressOf(out + next));
        next += b.length;
    }

    const uint32_t flags192 = ReadU32(out + kHostWordFlags192);
    const uint32_t flags200 = ReadU32(out + kHostWordFlags200);
    if (announce) {
        WriteU32(out, 176, 0);
        WriteU32(out, 180, 8000);
        WriteU32(out, kHostWordFlags192, flags192 | kHostFlags192Bits);
        WriteU32(out, kHostWordFlags200, flags200 | kHostFlags200Bits);
        WriteU32(out, 212, 0);
        WriteU32(out, 216, 99);
        WriteU32(out, kHostWordModeCount, 2);
        WriteU32(out, 276, 31);
        WriteU32(out, 280, 1);
    } else {
        WriteU32(out, kHostWordFlags192, flags192 & ~kHostFlags192Bits);
        WriteU32(out, kHostWordFlags200, flags200 & ~kHostFlags200Bits);
        WriteU32(out, kHostWordModeCount, 0);
    }
    WriteU32(out, kHostWordSize, static_cast<uint32_t>(total));
    WriteU32(out, kHostWordFixedSize, kHostRecordFixedSize);
    return out;
}

uint8_t* HostRecordWithFlags(const uint8_t* copy, bool demodulating) {
    if (!copy) return nullptr;
    uint8_t* out = DuplicateHostRecord(copy);
    if (!out) return nullptr;
    const uint32_t flags = ReadU32(out + kHostWordFlags200);
    WriteU32(out, kHostWordFlags200, demodulating ? flags | kHostFlags200Bits : flags & ~kHostFlags200Bits);
    return out;
}
