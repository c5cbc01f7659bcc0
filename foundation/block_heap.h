// The block heap behind the program's allocation operators.
//
// Blocks are 64-byte aligned with a 64-byte header in front of the caller's area; they are
// carved from chunks of one system heap by best fit (a free block of exactly the size needed
// is taken at once, otherwise the smallest larger one is split) and merged with their free
// neighbours when released. A chunk that becomes empty goes back to the system heap, and the
// system heap itself is destroyed with the last chunk.
//
// Free blocks are indexed by size (one list per size class: exact classes below 32 KB, sixteen
// classes per power of two above), so finding the best fit does not depend on how many blocks
// are live. Among free blocks of the same best size, the most recently freed one is used.
//
// BlockHeap does no locking; PrivateHeap* (private_heap.h) wraps the process-wide instance in
// the heap lock. Tests make their own instances with their own chunk source.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/platform.h"

namespace heap_detail {
struct ChunkHeader;
struct BlockHeader;
}  // namespace heap_detail

struct BlockHeapStats {
    size_t chunks = 0;
    size_t usedBlocks = 0;
    size_t freeBlocks = 0;
    size_t usedBytes = 0;  // block sizes, headers included
    size_t freeBytes = 0;
    bool systemHeapExists = false;
};

struct BlockInfo {
    const void* block = nullptr;  // the block's header address
    const void* chunk = nullptr;
    size_t size = 0;  // header included
    bool inUse = false;
    size_t chunkBytes = 0;  // what the chunk source reported for the chunk
};

class BlockHeap {
public:
    static constexpr size_t kHeaderBytes = 64;
    static constexpr size_t kChunkGranule = 4096;

    // source: where chunks come from; null means the system's (platform::SystemChunkSource).
    constexpr explicit BlockHeap(const platform::ChunkSource* source = nullptr) : m_source(source) {}
    BlockHeap(const BlockHeap&) = delete;
    BlockHeap& operator=(const BlockHeap&) = delete;

    // Block size needed for n bytes: n plus the header, up to a multiple of 64; 0 when the
    // arithmetic would overflow.
    static size_t Need(size_t n);

    void* Alloc(size_t n);  // null for 0, on overflow and when no chunk can be had
    void Free(void* p);     // null, foreign addresses and free blocks are ignored
    // Grows a block: the same pointer when the block is big enough already, else a new block
    // holding the old user area. Null when p is not a live block of this heap (p untouched) or
    // when no room can be had (the old block stays as it was). A null p allocates.
    void* Realloc(void* p, size_t n);

    // Inspection for tests and diagnostics.
    bool Query(const void* p, BlockInfo* info) const;  // any address inside a block
    BlockHeapStats Stats() const;
    bool Validate() const;  // every invariant: links, sizes, free totals and the size index
    void SetChunkSource(const platform::ChunkSource* source) { m_source = source; }

private:
    static constexpr unsigned kExactClasses = 512;  // sizes below 32 KB, one class per 64 bytes
    static constexpr unsigned kClasses = kExactClasses + 16 * 56;
    static constexpr unsigned kMapWords = (kClasses + 63) / 64;

    const platform::ChunkSource& Source() const;
    static unsigned ClassOf(size_t size);
    heap_detail::BlockHeader* Find(const void* p) const;
    heap_detail::BlockHeader* TakeFit(size_t need);
    void IndexInsert(heap_detail::BlockHeader* b);
    void IndexRemove(heap_detail::BlockHeader* b);
    int NextClass(unsigned from) const;
    void* AddChunk(size_t need);

    const platform::ChunkSource* m_source;
    void* m_systemHeap = nullptr;
    heap_detail::ChunkHeader* m_chunks = nullptr;                   // newest first
    heap_detail::ChunkHeader* m_tree = nullptr;                     // the chunks by address
    mutable const heap_detail::ChunkHeader* m_lastChunk = nullptr;  // where Find last succeeded
    uintptr_t m_lowest = 0;                                         // address range covered by all chunks
    uintptr_t m_highest = 0;
    heap_detail::BlockHeader* m_bins[kClasses] = {};
    uint64_t m_binMap[kMapWords] = {};
};
