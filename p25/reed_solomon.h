// Reed-Solomon codec over GF(2^m), m = 3..8. The P25 decoder uses m = 6 for the header
// (16 parity symbols), the link control (12) and the encryption sync (8), as shortened codes:
// the leading symbols of the 63-symbol word are zero.
#pragma once

#include <cstdint>

#include "p25/galois_field.h"

class CReedSolomon {
public:
    static constexpr int kMaxParity = 200;

    // m outside 3..8 gives a codec without a field: every SetCode is refused.
    explicit CReedSolomon(int m);
    CReedSolomon(const CReedSolomon&) = delete;
    CReedSolomon& operator=(const CReedSolomon&) = delete;

    // Replaces the primitive polynomial (bit m set); the tables are rebuilt by the next SetCode.
    void SetPrimitivePolynomial(unsigned poly);

    // Generator roots alpha^((firstRoot + i) * rootStep), i = 0 .. parityCount - 1.
    // Accepted when 0 < parityCount <= kMaxParity, parityCount < 2^m - 1 and rootStep is 1 (the
    // decoder's error values assume consecutive roots); otherwise the codec keeps no parity and
    // false is returned.
    bool SetCode(int parityCount, int firstRoot, int rootStep);

    // symbols[0 .. n-1], symbols[0] the highest-degree coefficient, 1 <= n <= 2^m - 1, each
    // symbol 0 .. 2^m - 1. Returns true when the word was clean or has been corrected. On false
    // (no code, bad arguments, too many errors, an error located outside the n symbols) the
    // word is left exactly as received.
    bool Decode(int n, int* symbols);

    // Systematic encoder: symbols[0 .. n - parity - 1] are the data; the parity symbols are
    // written after them. False when the arguments do not fit the code.
    bool Encode(int n, int* symbols) const;

    int GetParityCount() const { return m_parityCount; }
    int GetDataCount() const { return m_dataCount; }

private:
    unsigned Mul(unsigned a, unsigned b) const { return m_field.Mul(a, b); }
    unsigned Div(unsigned a, unsigned b) const { return m_field.Div(a, b); }  // b != 0
    unsigned Pow(int logValue) const { return m_field.Exp(logValue); }        // any integer

    int m_symbolBits;
    unsigned m_primitive;
    int m_fieldSize;  // 2^m; 0 without a field
    bool m_tablesBuilt = false;
    GaloisField m_field{0, 0};
    unsigned m_generator[kMaxParity + 1];  // highest degree first, monic
    int m_generatorCount = 0;
    unsigned m_roots[kMaxParity];
    int m_firstRoot = 1;
    int m_parityCount = 0;
    int m_dataCount = 0;

    // Decoder work areas, sized for the largest accepted code.
    unsigned m_syndromes[kMaxParity];
    unsigned m_locator[kMaxParity + 2];
    unsigned m_previous[kMaxParity + 2];
    unsigned m_temp[kMaxParity + 2];
    unsigned m_evaluator[kMaxParity + 2];
    int m_errorPositions[kMaxParity];
    unsigned m_errorValues[kMaxParity];
};
