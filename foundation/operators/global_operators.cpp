// Replaces every form of the global allocation operators with the private heap. Linked into
// the DLL and the test programs; left out of sanitizer builds so the sanitizers see the
// allocations. A failed allocation returns null rather than throwing (everything is built with
// -fcheck-new, so the compiler tests the result before constructing).
#include <new>

#include "foundation/private_heap.h"

void* operator new(std::size_t size) { return PrivateHeapAlloc(size ? size : 1); }
void* operator new[](std::size_t size) { return PrivateHeapAlloc(size ? size : 1); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return PrivateHeapAlloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return PrivateHeapAlloc(size ? size : 1); }

// Blocks are 64-byte aligned; stricter alignments are refused.
static void* AlignedAlloc(std::size_t size, std::align_val_t align) {
    if (static_cast<std::size_t>(align) > 64) return nullptr;
    return PrivateHeapAlloc(size ? size : 1);
}
void* operator new(std::size_t size, std::align_val_t a) { return AlignedAlloc(size, a); }
void* operator new[](std::size_t size, std::align_val_t a) { return AlignedAlloc(size, a); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return AlignedAlloc(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return AlignedAlloc(size, a);
}

void operator delete(void* p) noexcept { PrivateHeapFree(p); }
void operator delete[](void* p) noexcept { PrivateHeapFree(p); }
void operator delete(void* p, std::size_t) noexcept { PrivateHeapFree(p); }
void operator delete[](void* p, std::size_t) noexcept { PrivateHeapFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { PrivateHeapFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { PrivateHeapFree(p); }
void operator delete(void* p, std::align_val_t) noexcept { PrivateHeapFree(p); }
void operator delete[](void* p, std::align_val_t) noexcept { PrivateHeapFree(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { PrivateHeapFree(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { PrivateHeapFree(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { PrivateHeapFree(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { PrivateHeapFree(p); }
