// Bit counting, parity and the (23,12) Golay code: shared by the IMBE decoder, the P25 block
// codes and the DCS squelch detector, so each sits below all of them. Header-only.
#pragma once

#include <cstdint>

inline unsigned BitCount(uint32_t x) {
    x = x - ((x >> 1) & 0x55555555u);
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;
    return (x * 0x01010101u) >> 24;
}

// XOR of all bits.
inline unsigned Parity32(uint32_t x) { return BitCount(x) & 1; }

// Golay (23,12), generator g(x) = x^11 + x^10 + x^6 + x^5 + x^4 + x^2 + 1. Code words hold the
// 12 data bits in bits 22..11 and the 11 check bits in bits 10..0.
constexpr uint32_t kGolay23Generator = 0xC75;
constexpr uint32_t kGolay23Mask = 0x7FFFFF;

// The 11-bit remainder of w (its low 23 bits) by g(x); 0 for every code word.
inline unsigned Golay23Syndrome(uint32_t w) {
    w &= kGolay23Mask;
    for (int b = 22; b >= 11 && w > 2047; --b)
        if (w & (1u << b)) w ^= kGolay23Generator << (b - 11);
    return w;
}

// The code word of the low 12 bits of data.
inline unsigned Golay23Encode(uint32_t data) {
    const uint32_t shifted = (data & 0xFFFu) << 11;
    return shifted | Golay23Syndrome(shifted);
}
