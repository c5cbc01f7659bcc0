#include "foundation/private_heap.h"

#include <atomic>

namespace {
// Constant-initialised, so it is usable by allocations made before static constructors run,
// and trivially destructible, so blocks freed during unload still find it.
BlockHeap g_heap;
std::atomic<uint64_t> g_allocations{0};
std::atomic<int64_t> g_failAfter{-1};  // allocations still granted; -1: no failure injected

// Failure injection for tests: true when this allocation is to fail.
bool InjectedFailure() {
    if (g_failAfter.load(std::memory_order_relaxed) < 0) return false;
    return g_failAfter.fetch_sub(1, std::memory_order_relaxed) <= 0;
}

struct HeapLock {
    HeapLock() { platform::HeapLockEnter(); }
    ~HeapLock() { platform::HeapLockLeave(); }
};
}  // namespace

void* PrivateHeapAlloc(size_t size) {
    if (size == 0 || InjectedFailure()) return nullptr;
    void* p;
    {
        HeapLock lock;
        p = g_heap.Alloc(size);
    }
    if (p) g_allocations.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void PrivateHeapFree(void* p) {
    if (!p) return;
    HeapLock lock;
    g_heap.Free(p);
}

void* PrivateHeapRealloc(void* p, size_t size) {
    if (InjectedFailure()) return nullptr;
    HeapLock lock;
    return g_heap.Realloc(p, size);
}

BlockHeapStats PrivateHeapStats() {
    HeapLock lock;
    return g_heap.Stats();
}

bool PrivateHeapQuery(const void* p, BlockInfo* info) {
    HeapLock lock;
    return g_heap.Query(p, info);
}

uint64_t PrivateHeapAllocationCount() { return g_allocations.load(std::memory_order_relaxed); }

void PrivateHeapFailAfter(int64_t granted) { g_failAfter.store(granted < 0 ? -1 : granted, std::memory_order_relaxed); }

void MoveBytes(void* destination, const void* source, size_t count) {
    auto* d = static_cast<unsigned char*>(destination);
    auto* s = static_cast<const unsigned char*>(source);
    if (count == 0 || d == s) return;
    if (s < d && s + count > d) {
        while (count--) d[count] = s[count];
        return;
    }
    // Forward copy, a word at a time; memcpy on 4 bytes keeps it free of alignment traps.
    size_t words = count / 4;
    for (size_t i = 0; i < words; ++i, d += 4, s += 4) {
        uint32_t w;
        __builtin_memcpy(&w, s, 4);
        __builtin_memcpy(d, &w, 4);
    }
    for (size_t i = 0; i < (count & 3); ++i) d[i] = s[i];
}
