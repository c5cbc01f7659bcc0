// Whether a range of this process's memory can be read: every page of it committed, readable
// and neither a guard page nor no-access. For data that arrives without a length (a record
// that says its own size) before anything is copied from it.
#pragma once

#include <cstddef>

// True for an empty range; false for a range that wraps around the address space.
bool IsReadableMemory(const void* address, size_t bytes);
