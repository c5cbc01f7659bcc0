// 64-bit arithmetic that sticks at the ends instead of wrapping, for values that come from
// the user (typed numbers, steps, ranges).
#pragma once

#include <cstdint>

inline int64_t SaturatingAdd(int64_t a, int64_t b) {
    int64_t r;
    if (__builtin_add_overflow(a, b, &r)) return b > 0 ? INT64_MAX : INT64_MIN;
    return r;
}

inline int64_t SaturatingSub(int64_t a, int64_t b) {
    int64_t r;
    if (__builtin_sub_overflow(a, b, &r)) return b < 0 ? INT64_MAX : INT64_MIN;
    return r;
}
