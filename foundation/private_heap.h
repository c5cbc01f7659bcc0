// The process-wide private heap and the byte copy the signal-processing code shares with it.
// Every call runs under one process-wide lock: the GUI thread and the receiver's stream thread
// both allocate. The global allocation operators (global_operators.cpp) come here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/block_heap.h"

void* PrivateHeapAlloc(size_t size);  // 64-byte aligned; null for 0 or when out of memory
void PrivateHeapFree(void* p);        // null, foreign and already free addresses are ignored
void* PrivateHeapRealloc(void* p, size_t size);

// Overlap-safe byte copy.
void MoveBytes(void* destination, const void* source, size_t count);

// Inspection of the process-wide heap, for tests.
BlockHeapStats PrivateHeapStats();
bool PrivateHeapQuery(const void* p, BlockInfo* info);
uint64_t PrivateHeapAllocationCount();  // successful allocations since load
// Failure injection for tests: the next `granted` allocations succeed and every later one
// fails, until a negative count turns injection off.
void PrivateHeapFailAfter(int64_t granted);
