// In-place sorts and fills over plain callbacks.
#pragma once

#include <cstddef>
#include <cstdint>

// Sorts the index range [first, last] through the caller's callbacks.
//   less(context, i, j)  true when element i orders before element j
//   swap(context, i, j)  exchanges elements i and j
// descending != 0 sorts largest first.
using QuickSortLess = bool (*)(void* context, int i, int j);
using QuickSortSwap = void (*)(void* context, int i, int j);
void QuickSort(void* context, QuickSortLess less, QuickSortSwap swap, int last, int first, int descending);

// Stores value into count consecutive 32-bit words.
void FillDwords(uint32_t* destination, uint32_t value, size_t count);
