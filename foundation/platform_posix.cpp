#include "foundation/platform.h"

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

static_assert(sizeof(std::recursive_mutex) <= sizeof(LockStorage), "lock storage too small");

void LockInit(LockStorage* lock) { new (lock->bytes) std::recursive_mutex(); }
void LockDestroy(LockStorage* lock) { reinterpret_cast<std::recursive_mutex*>(lock->bytes)->~recursive_mutex(); }
void LockEnter(LockStorage* lock) { reinterpret_cast<std::recursive_mutex*>(lock->bytes)->lock(); }
void LockLeave(LockStorage* lock) { reinterpret_cast<std::recursive_mutex*>(lock->bytes)->unlock(); }

// A statically initialised mutex needs no constructor, so it is ready for the first allocation.
static pthread_mutex_t g_heapLock = PTHREAD_MUTEX_INITIALIZER;
void HeapLockEnter() { pthread_mutex_lock(&g_heapLock); }
void HeapLockLeave() { pthread_mutex_unlock(&g_heapLock); }

namespace {
// The native build takes chunks from the C library; the system heap itself is a token.
char g_heapToken;
void* CreateHeap() { return &g_heapToken; }
void DestroyHeap(void*) {}
void* Alloc(void*, size_t bytes, size_t* realBytes) {
    void* p = std::malloc(bytes);
    if (p && realBytes) *realBytes = bytes;
    return p;
}
void Free(void*, void* chunk) { std::free(chunk); }
const ChunkSource g_system = {CreateHeap, DestroyHeap, Alloc, Free};
}  // namespace

const ChunkSource& SystemChunkSource() { return g_system; }

int64_t CounterFrequency() { return 1000000000; }
int64_t CounterNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

}  // namespace platform
