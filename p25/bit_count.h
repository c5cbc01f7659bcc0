// Population count shared by the P25 codes and the DCS squelch detector. Header-only so that a
// library below p25 can use it without linking p25.
#pragma once

#include <cstdint>

inline unsigned BitCount(unsigned x) {
    x = x - ((x >> 1) & 0x55555555u);
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;
    return (x * 0x01010101u) >> 24;
}
