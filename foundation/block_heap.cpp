#include "foundation/block_heap.h"

#include <cstring>

namespace heap_detail {

// Chunk header: the chunk list links, the first block, the extent (an address belongs to the
// chunk's blocks when it lies in [chunk, chunk + extent): the end of its last block), a check
// word that tells a real chunk from stray memory, and the size the chunk source reported. The
// chunk's free bytes are not kept: the size index answers every question they did, and keeping
// them would touch the chunk's header (another page) on every call.
struct ChunkHeader {
    ChunkHeader* next;
    ChunkHeader* prev;
    BlockHeader* first;
    size_t extent;
    uintptr_t check;
    size_t realBytes;
    // The address search tree over the live chunks (a treap: ordered by address, a heap by
    // priority), so that an address is matched to its chunk without reading memory that may
    // have gone back to the system.
    ChunkHeader* left;
    ChunkHeader* right;
    uint32_t priority;
};

// Block header: neighbours in address order, the owning chunk, the size (header included),
// the flags, the size-index links (used while the block is free) and a check word that tells a
// block header from stray memory when a pointer is freed.
struct BlockHeader {
    BlockHeader* next;
    BlockHeader* prev;
    ChunkHeader* chunk;
    size_t size;
    size_t flags;
    BlockHeader* freeNext;
    BlockHeader* freePrev;
    uintptr_t check;
};

static_assert(sizeof(BlockHeader) <= BlockHeap::kHeaderBytes, "block header must fit in 64 bytes");

constexpr size_t kInUse = 1;
// The block in front is free: freeing this block merges with it. Kept in the block itself so
// that a free whose neighbour in front is in use never reads that neighbour's header.
constexpr size_t kPrevFree = 2;
constexpr uintptr_t kCheckKey = static_cast<uintptr_t>(0x5A3C96E1u);
constexpr uintptr_t kBlockKey = static_cast<uintptr_t>(0xC3A5E11Du);

inline uintptr_t CheckWord(const ChunkHeader* c) { return reinterpret_cast<uintptr_t>(c) ^ kCheckKey; }
inline uintptr_t CheckWord(const BlockHeader* b) { return reinterpret_cast<uintptr_t>(b) ^ kBlockKey; }
inline char* Bytes(const void* p) { return static_cast<char*>(const_cast<void*>(p)); }
inline char* ChunkEnd(const ChunkHeader* c) { return Bytes(c) + c->extent; }

// A well-mixed priority from the address keeps the treap balanced in expectation.
inline uint32_t Priority(const ChunkHeader* c) {
    uint64_t x = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(c)) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(x >> 32);
}

ChunkHeader* TreeInsert(ChunkHeader* root, ChunkHeader* c) {
    if (!root) return c;
    if (c < root) {
        root->left = TreeInsert(root->left, c);
        if (root->left->priority > root->priority) {  // rotate right
            ChunkHeader* l = root->left;
            root->left = l->right;
            l->right = root;
            return l;
        }
    } else {
        root->right = TreeInsert(root->right, c);
        if (root->right->priority > root->priority) {  // rotate left
            ChunkHeader* r = root->right;
            root->right = r->left;
            r->left = root;
            return r;
        }
    }
    return root;
}

// Joins two treaps whose every address in a lies below every address in b.
ChunkHeader* TreeMerge(ChunkHeader* a, ChunkHeader* b) {
    if (!a) return b;
    if (!b) return a;
    if (a->priority > b->priority) {
        a->right = TreeMerge(a->right, b);
        return a;
    }
    b->left = TreeMerge(a, b->left);
    return b;
}

ChunkHeader* TreeRemove(ChunkHeader* root, ChunkHeader* c) {
    if (!root) return nullptr;
    if (root == c) return TreeMerge(c->left, c->right);
    if (c < root)
        root->left = TreeRemove(root->left, c);
    else
        root->right = TreeRemove(root->right, c);
    return root;
}

// The live chunk whose blocks cover p, or null.
const ChunkHeader* TreeFind(const ChunkHeader* node, const void* p) {
    const ChunkHeader* best = nullptr;
    while (node) {
        if (Bytes(node) <= Bytes(p)) {
            best = node;
            node = node->right;
        } else {
            node = node->left;
        }
    }
    return best && Bytes(p) < ChunkEnd(best) ? best : nullptr;
}

}  // namespace heap_detail

using heap_detail::BlockHeader;
using heap_detail::Bytes;
using heap_detail::ChunkHeader;
using heap_detail::kInUse;
using heap_detail::kPrevFree;

const platform::ChunkSource& BlockHeap::Source() const { return m_source ? *m_source : platform::SystemChunkSource(); }

size_t BlockHeap::Need(size_t n) {
    if (n > SIZE_MAX - 2 * kHeaderBytes) return 0;
    return (n + 2 * kHeaderBytes - 1) & ~static_cast<size_t>(63);
}

unsigned BlockHeap::ClassOf(size_t size) {
    size_t units = size >> 6;
    if (units < kExactClasses) return static_cast<unsigned>(units);
    unsigned bit = 63 - static_cast<unsigned>(__builtin_clzll(static_cast<unsigned long long>(units)));
    unsigned sub = static_cast<unsigned>(units >> (bit - 4)) & 15;
    unsigned c = kExactClasses + (bit - 9) * 16 + sub;
    return c < kClasses ? c : kClasses - 1;
}

void BlockHeap::IndexInsert(BlockHeader* b) {
    unsigned c = ClassOf(b->size);
    BlockHeader* head = m_bins[c];
    b->freePrev = nullptr;
    b->freeNext = head;
    if (head) head->freePrev = b;
    m_bins[c] = b;
    m_binMap[c >> 6] |= uint64_t{1} << (c & 63);
}

void BlockHeap::IndexRemove(BlockHeader* b) {
    unsigned c = ClassOf(b->size);
    if (b->freePrev)
        b->freePrev->freeNext = b->freeNext;
    else
        m_bins[c] = b->freeNext;
    if (b->freeNext) b->freeNext->freePrev = b->freePrev;
    if (!m_bins[c]) m_binMap[c >> 6] &= ~(uint64_t{1} << (c & 63));
    b->freeNext = b->freePrev = nullptr;
}

int BlockHeap::NextClass(unsigned from) const {
    if (from >= kClasses) return -1;
    unsigned w = from >> 6;
    uint64_t bits = m_binMap[w] & (~uint64_t{0} << (from & 63));
    for (;;) {
        if (bits) return static_cast<int>(w * 64 + static_cast<unsigned>(__builtin_ctzll(bits)));
        if (++w >= kMapWords) return -1;
        bits = m_binMap[w];
    }
}

// Exact fit if there is one, else the smallest larger free block; null when none fits.
BlockHeader* BlockHeap::TakeFit(size_t need) {
    unsigned c = ClassOf(need);
    if (c < kExactClasses && m_bins[c]) return m_bins[c];
    int k = NextClass(c);
    while (k >= 0) {
        if (static_cast<unsigned>(k) < kExactClasses) return m_bins[k];  // one size per class
        BlockHeader* best = nullptr;
        for (BlockHeader* b = m_bins[k]; b; b = b->freeNext) {
            if (b->size == need) return b;
            if (b->size > need && (!best || b->size < best->size)) best = b;
        }
        if (best) return best;
        k = NextClass(static_cast<unsigned>(k) + 1);
    }
    return nullptr;
}

void* BlockHeap::AddChunk(size_t need) {
    const size_t overhead = sizeof(ChunkHeader) + 63;
    if (need > SIZE_MAX - overhead - kChunkGranule) return nullptr;
    size_t request = (need + overhead + kChunkGranule - 1) & ~(kChunkGranule - 1);
    if (!m_systemHeap) {
        m_systemHeap = Source().createHeap();
        if (!m_systemHeap) return nullptr;
    }
    size_t real = request;
    char* start = static_cast<char*>(Source().alloc(m_systemHeap, request, &real));
    if (!start) {
        if (!m_chunks) {
            Source().destroyHeap(m_systemHeap);
            m_systemHeap = nullptr;
        }
        return nullptr;
    }
    if (real < request) real = request;

    // The blocks fill the chunk from the first aligned address on, in whole 64-byte units, so
    // every block, the last one included, is a multiple of 64 and at least a header long; the
    // few bytes of slack at the very end stay unused.
    char* firstAddr =
        reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start) + overhead) & ~static_cast<uintptr_t>(63));
    size_t offset = static_cast<size_t>(firstAddr - start);
    size_t area = (real - offset) & ~static_cast<size_t>(63);

    auto* chunk = reinterpret_cast<ChunkHeader*>(start);
    chunk->realBytes = real;
    chunk->extent = offset + area;
    chunk->check = heap_detail::CheckWord(chunk);
    chunk->prev = nullptr;
    chunk->next = m_chunks;
    if (m_chunks) m_chunks->prev = chunk;
    m_chunks = chunk;
    chunk->left = chunk->right = nullptr;
    chunk->priority = heap_detail::Priority(chunk);
    m_tree = heap_detail::TreeInsert(m_tree, chunk);

    uintptr_t lo = reinterpret_cast<uintptr_t>(start);
    uintptr_t hi = lo + chunk->extent;
    if (!m_lowest || lo < m_lowest) m_lowest = lo;
    if (hi > m_highest) m_highest = hi;

    auto* first = reinterpret_cast<BlockHeader*>(firstAddr);
    first->prev = first->next = nullptr;
    first->freeNext = first->freePrev = nullptr;
    first->chunk = chunk;
    first->size = need;
    first->flags = kInUse;
    first->check = heap_detail::CheckWord(first);
    chunk->first = first;
    if (area > need) {
        auto* rest = reinterpret_cast<BlockHeader*>(firstAddr + need);
        rest->prev = first;
        rest->next = nullptr;
        rest->chunk = chunk;
        rest->size = area - need;
        rest->flags = 0;
        rest->check = heap_detail::CheckWord(rest);
        first->next = rest;
        IndexInsert(rest);
    }
    return firstAddr + kHeaderBytes;
}

void* BlockHeap::Alloc(size_t n) {
    if (n == 0) return nullptr;
    size_t need = Need(n);
    if (!need) return nullptr;
    BlockHeader* b = TakeFit(need);
    if (!b) return AddChunk(need);
    IndexRemove(b);
    if (b->size > need) {
        // The block behind the remainder keeps its "free in front" mark.
        auto* rest = reinterpret_cast<BlockHeader*>(Bytes(b) + need);
        rest->size = b->size - need;
        rest->flags = 0;
        rest->chunk = b->chunk;
        rest->check = heap_detail::CheckWord(rest);
        rest->prev = b;
        rest->next = b->next;
        if (b->next) b->next->prev = rest;
        b->next = rest;
        b->size = need;
        IndexInsert(rest);
    } else if (b->next) {
        b->next->flags &= ~kPrevFree;
    }
    b->flags |= kInUse;
    return Bytes(b) + kHeaderBytes;
}

// The block whose range holds p. Memory is read only once a live chunk is known to hold p: a
// second free of a block whose chunk went back to the system, or a foreign address lying
// between two chunks, must not touch what is no longer ours. Within the chunk, the header in
// front of a pointer this heap handed out carries a check word and is taken directly; only
// interior pointers walk the chunk's blocks.
BlockHeader* BlockHeap::Find(const void* p) const {
    if (!p || !m_chunks) return nullptr;
    uintptr_t a = reinterpret_cast<uintptr_t>(p);
    if (a < m_lowest || a >= m_highest) return nullptr;
    const ChunkHeader* chunk = m_lastChunk;
    if (!chunk || Bytes(p) < Bytes(chunk) || Bytes(p) >= heap_detail::ChunkEnd(chunk)) {
        chunk = heap_detail::TreeFind(m_tree, p);
        if (!chunk) return nullptr;
        m_lastChunk = chunk;
    }
    char* end = heap_detail::ChunkEnd(chunk);
    if ((a & 63) == 0 && Bytes(p) - kHeaderBytes >= Bytes(chunk->first)) {
        auto* h = reinterpret_cast<BlockHeader*>(a - kHeaderBytes);
        if (h->check == heap_detail::CheckWord(h) && h->chunk == chunk && h->size >= kHeaderBytes &&
            (h->size & 63) == 0 && h->size <= static_cast<size_t>(end - Bytes(h)))
            return h;
    }
    for (BlockHeader* b = chunk->first; b; b = b->next)
        if (Bytes(p) >= Bytes(b) && Bytes(p) < Bytes(b) + b->size) return b;
    return nullptr;
}

void BlockHeap::Free(void* p) {
    BlockHeader* b = Find(p);
    if (!b || !(b->flags & kInUse)) return;
    b->flags &= ~kInUse;

    if (b->flags & kPrevFree) {
        BlockHeader* prev = b->prev;
        IndexRemove(prev);
        prev->size += b->size;
        prev->next = b->next;
        if (b->next) b->next->prev = prev;
        b->check = 0;
        b = prev;
    }
    if (BlockHeader* next = b->next) {
        if (!(next->flags & kInUse)) {
            IndexRemove(next);
            b->size += next->size;
            b->next = next->next;
            if (next->next) next->next->prev = b;
            next->check = 0;
        } else {
            next->flags |= kPrevFree;
        }
    }

    if (!b->prev && !b->next) {
        ChunkHeader* chunk = b->chunk;
        b->check = 0;
        if (chunk->prev)
            chunk->prev->next = chunk->next;
        else
            m_chunks = chunk->next;
        if (chunk->next) chunk->next->prev = chunk->prev;
        chunk->check = 0;
        m_tree = heap_detail::TreeRemove(m_tree, chunk);
        if (m_lastChunk == chunk) m_lastChunk = nullptr;
        Source().free(m_systemHeap, chunk);
        if (!m_chunks) {
            Source().destroyHeap(m_systemHeap);
            m_systemHeap = nullptr;
            m_lowest = m_highest = 0;
        }
        return;
    }
    IndexInsert(b);
}

void* BlockHeap::Realloc(void* p, size_t n) {
    if (!p) return Alloc(n);
    BlockHeader* b = Find(p);
    if (!b || !(b->flags & kInUse) || Bytes(p) != Bytes(b) + kHeaderBytes) return nullptr;
    size_t need = Need(n);
    if (!need) return nullptr;
    if (need <= b->size) return p;
    void* fresh = Alloc(n);
    if (!fresh) return nullptr;
    std::memcpy(fresh, p, b->size - kHeaderBytes);
    Free(p);
    return fresh;
}

bool BlockHeap::Query(const void* p, BlockInfo* info) const {
    BlockHeader* b = Find(p);
    if (!b) return false;
    if (info) {
        info->block = b;
        info->chunk = b->chunk;
        info->size = b->size;
        info->inUse = (b->flags & kInUse) != 0;
        info->chunkBytes = b->chunk->realBytes;
    }
    return true;
}

BlockHeapStats BlockHeap::Stats() const {
    BlockHeapStats s;
    s.systemHeapExists = m_systemHeap != nullptr;
    for (const ChunkHeader* chunk = m_chunks; chunk; chunk = chunk->next) {
        ++s.chunks;
        for (const BlockHeader* b = chunk->first; b; b = b->next) {
            if (b->flags & kInUse) {
                ++s.usedBlocks;
                s.usedBytes += b->size;
            } else {
                ++s.freeBlocks;
                s.freeBytes += b->size;
            }
        }
    }
    return s;
}

bool BlockHeap::Validate() const {
    size_t freeInChunks = 0;
    for (const ChunkHeader* chunk = m_chunks; chunk; chunk = chunk->next) {
        if (chunk->check != heap_detail::CheckWord(chunk)) return false;
        if (heap_detail::TreeFind(m_tree, chunk->first) != chunk) return false;
        if (chunk->next && chunk->next->prev != chunk) return false;
        size_t total = 0;
        const BlockHeader* prev = nullptr;
        for (const BlockHeader* b = chunk->first; b; prev = b, b = b->next) {
            if (b->prev != prev || b->chunk != chunk || b->check != heap_detail::CheckWord(b)) return false;
            bool prevFree = prev && !(prev->flags & kInUse);
            if (((b->flags & kPrevFree) != 0) != prevFree) return false;
            if ((reinterpret_cast<uintptr_t>(b) & 63) || (b->size & 63) || b->size < kHeaderBytes) return false;
            if (b->next && Bytes(b->next) != Bytes(b) + b->size) return false;
            if (!(b->flags & kInUse)) {
                if (prevFree) return false;  // unmerged neighbours
                ++freeInChunks;
            }
            total += b->size;
        }
        if (Bytes(chunk->first) + total != heap_detail::ChunkEnd(chunk)) return false;
    }
    size_t indexed = 0;
    for (unsigned c = 0; c < kClasses; ++c) {
        bool mapped = (m_binMap[c >> 6] >> (c & 63)) & 1;
        if (mapped != (m_bins[c] != nullptr)) return false;
        const BlockHeader* prev = nullptr;
        for (const BlockHeader* b = m_bins[c]; b; prev = b, b = b->freeNext) {
            if (b->freePrev != prev || (b->flags & kInUse) || ClassOf(b->size) != c) return false;
            ++indexed;
        }
    }
    return indexed == freeInChunks;
}
