// Arithmetic in GF(2^m), m = 3..8, by log and antilog tables: the field of the NID's BCH code
// and of the Reed-Solomon codes (both m = 6 with x^6 + x + 1).
#pragma once

#include <cstdint>

class GaloisField {
public:
    // primitive: the field polynomial, bit m set. An m outside 3..8 gives an empty field
    // (Order() 0) that must not be used. A polynomial that is not primitive leaves the
    // elements alpha^i never reaches without a log (-1).
    constexpr GaloisField(int m, unsigned primitive) : m_antilog(), m_log(), m_order(0) {
        if (m < 3 || m > 8) return;
        const unsigned size = 1u << m;
        m_order = static_cast<int>(size) - 1;
        for (unsigned i = 0; i < size; ++i) m_log[i] = -1;
        unsigned x = 1;
        for (int i = 0; i < m_order; ++i) {
            m_antilog[i] = static_cast<uint8_t>(x);
            m_log[x] = static_cast<int16_t>(i);
            x <<= 1;
            if (x & size) x ^= primitive;
            x &= size - 1;
        }
        m_log[0] = -1;
    }

    int Order() const { return m_order; }                                               // 2^m - 1
    unsigned Exp(int i) const { return m_antilog[(i % m_order + m_order) % m_order]; }  // any i
    int Log(unsigned a) const { return m_log[a]; }                                      // -1 for 0
    unsigned Mul(unsigned a, unsigned b) const { return a && b ? Exp(m_log[a] + m_log[b]) : 0; }
    unsigned Div(unsigned a, unsigned b) const { return a ? Exp(m_log[a] - m_log[b]) : 0; }  // b != 0

private:
    uint8_t m_antilog[255];
    int16_t m_log[256];
    int m_order;
};
