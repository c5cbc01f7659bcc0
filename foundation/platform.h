// The few services the portable code needs from the operating system. Win32 code lives in
// platform_win32.cpp, the native build's stand-ins in platform_posix.cpp; nothing else in the
// portable libraries is conditional on the platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// A recursive lock kept by value inside its owner. The storage is opaque and large enough
// for a Win32 CRITICAL_SECTION or a std::recursive_mutex.
struct alignas(16) LockStorage {
    unsigned char bytes[64];
};
void LockInit(LockStorage* lock);
void LockDestroy(LockStorage* lock);
void LockEnter(LockStorage* lock);
void LockLeave(LockStorage* lock);

// The process-wide lock of the private heap. Usable before any static constructor has run,
// because the runtime may allocate before that.
void HeapLockEnter();
void HeapLockLeave();

// Where the private heap takes its chunks from: one growable system heap, created when the
// first chunk is needed and destroyed when the last one is returned.
struct ChunkSource {
    void* (*createHeap)();  // null on failure
    void (*destroyHeap)(void* heap);
    void* (*alloc)(void* heap, size_t bytes, size_t* realBytes);  // null on failure
    void (*free)(void* heap, void* chunk);
};
const ChunkSource& SystemChunkSource();

// The high-resolution performance counter. CounterFrequency returns 0 when there is none.
int64_t CounterFrequency();
int64_t CounterNow();

uint32_t CurrentThreadId();

}  // namespace platform
