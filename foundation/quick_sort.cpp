#include "foundation/quick_sort.h"

void QuickSort(void* context, QuickSortLess less, QuickSortSwap swap, int last, int first, int descending) {
    while (first < last) {
        int left = first, right = last;
        int pivot = first + (last - first) / 2;
        while (left <= right) {
            if (descending) {
                while (less(context, pivot, left)) ++left;
                while (less(context, right, pivot)) --right;
            } else {
                while (less(context, left, pivot)) ++left;
                while (less(context, pivot, right)) --right;
            }
            if (left <= right) {
                if (left != right) {
                    swap(context, left, right);
                    // The pivot is an index: follow its element through the swap.
                    if (pivot == left)
                        pivot = right;
                    else if (pivot == right)
                        pivot = left;
                }
                ++left;
                --right;
            }
        }
        // Recurse into the smaller part and loop on the larger, so the depth stays logarithmic.
        if (right - first < last - left) {
            if (first < right) QuickSort(context, less, swap, right, first, descending);
            first = left;
        } else {
            if (left < last) QuickSort(context, less, swap, last, left, descending);
            last = right;
        }
    }
}

void FillDwords(uint32_t* destination, uint32_t value, size_t count) {
    for (size_t i = 0; i < count; ++i) destination[i] = value;
}
