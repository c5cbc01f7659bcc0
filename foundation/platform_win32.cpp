#include "foundation/platform.h"

#include <windows.h>

namespace platform {

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(LockStorage), "lock storage too small");

static CRITICAL_SECTION* Section(LockStorage* lock) { return reinterpret_cast<CRITICAL_SECTION*>(lock->bytes); }
void LockInit(LockStorage* lock) { InitializeCriticalSection(Section(lock)); }
void LockDestroy(LockStorage* lock) { DeleteCriticalSection(Section(lock)); }
void LockEnter(LockStorage* lock) { EnterCriticalSection(Section(lock)); }
void LockLeave(LockStorage* lock) { LeaveCriticalSection(Section(lock)); }

// A critical section rather than a kernel mutex: the heap lock is taken on every allocation,
// and a mutex wait is a round trip to the kernel (tens of microseconds under Wine). It is
// initialised once through InitOnce, which needs no constructor and is safe on any thread.
static CRITICAL_SECTION g_heapSection;
static INIT_ONCE g_heapSectionOnce = INIT_ONCE_STATIC_INIT;
static BOOL CALLBACK InitHeapSection(PINIT_ONCE, PVOID, PVOID*) {
    InitializeCriticalSectionAndSpinCount(&g_heapSection, 4000);
    return TRUE;
}
void HeapLockEnter() {
    InitOnceExecuteOnce(&g_heapSectionOnce, InitHeapSection, nullptr, nullptr);
    EnterCriticalSection(&g_heapSection);
}
void HeapLockLeave() { LeaveCriticalSection(&g_heapSection); }

namespace {
// The chunks' heap is not serialised: the private heap's own lock is its only guard.
void* CreateHeap() { return HeapCreate(HEAP_NO_SERIALIZE, 0x100000, 0); }
void DestroyHeap(void* heap) { HeapDestroy(static_cast<HANDLE>(heap)); }
void* Alloc(void* heap, size_t bytes, size_t* realBytes) {
    void* p = HeapAlloc(static_cast<HANDLE>(heap), HEAP_NO_SERIALIZE, bytes);
    if (p && realBytes) {
        SIZE_T real = HeapSize(static_cast<HANDLE>(heap), HEAP_NO_SERIALIZE, p);
        *realBytes = real == static_cast<SIZE_T>(-1) ? bytes : real;
    }
    return p;
}
void Free(void* heap, void* chunk) { HeapFree(static_cast<HANDLE>(heap), HEAP_NO_SERIALIZE, chunk); }
const ChunkSource g_system = {CreateHeap, DestroyHeap, Alloc, Free};
}  // namespace

const ChunkSource& SystemChunkSource() { return g_system; }

int64_t CounterFrequency() {
    LARGE_INTEGER f;
    if (!QueryPerformanceFrequency(&f)) return 0;
    return f.QuadPart;
}
int64_t CounterNow() {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart;
}

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

}  // namespace platform
