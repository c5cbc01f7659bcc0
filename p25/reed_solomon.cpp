#include "p25/reed_solomon.h"

namespace {
// Primitive polynomials indexed by m; 0 below 3.
const unsigned kPrimitive[9] = {0, 0, 0, 0xB, 0x13, 0x25, 0x43, 0x89, 0x187};
}  // namespace

CReedSolomon::CReedSolomon(int m)
    : m_symbolBits(m >= 3 && m <= 8 ? m : 0),
      m_primitive(m >= 3 && m <= 8 ? kPrimitive[m] : 0),
      m_fieldSize(m >= 3 && m <= 8 ? 1 << m : 0) {}

void CReedSolomon::SetPrimitivePolynomial(unsigned poly) {
    m_primitive = poly;
    m_tablesBuilt = false;
}

bool CReedSolomon::SetCode(int parityCount, int firstRoot, int rootStep) {
    m_parityCount = 0;
    m_dataCount = 0;
    m_generatorCount = 0;
    if (m_fieldSize == 0) return false;
    if (parityCount < 1 || parityCount > kMaxParity || parityCount >= m_fieldSize - 1 || rootStep != 1) return false;
    if (!m_tablesBuilt) {
        m_field = GaloisField(m_symbolBits, m_primitive);
        m_tablesBuilt = true;
    }

    const int n = m_fieldSize - 1;
    m_generator[0] = 1;
    int degree = 0;
    for (int i = 0; i < parityCount; ++i) {
        const unsigned root = Pow((firstRoot + i) * rootStep);
        m_roots[i] = root;
        // g(x) *= (x - root); coefficients highest degree first.
        m_generator[degree + 1] = 0;
        for (int j = degree + 1; j >= 1; --j) m_generator[j] ^= Mul(m_generator[j - 1], root);
        ++degree;
    }
    m_generatorCount = parityCount + 1;
    m_firstRoot = ((firstRoot % n) + n) % n;
    m_parityCount = parityCount;
    m_dataCount = n - parityCount;
    return true;
}

bool CReedSolomon::Encode(int n, int* symbols) const {
    if (m_parityCount == 0 || !symbols || n <= m_parityCount || n > m_fieldSize - 1) return false;
    const int k = n - m_parityCount;
    unsigned remainder[kMaxParity] = {};
    for (int i = 0; i < k; ++i) {
        const unsigned sym = static_cast<unsigned>(symbols[i]);
        if (sym >= static_cast<unsigned>(m_fieldSize)) return false;
        const unsigned feedback = sym ^ remainder[0];
        for (int j = 0; j + 1 < m_parityCount; ++j) remainder[j] = remainder[j + 1] ^ Mul(feedback, m_generator[j + 1]);
        remainder[m_parityCount - 1] = Mul(feedback, m_generator[m_parityCount]);
    }
    for (int j = 0; j < m_parityCount; ++j) symbols[k + j] = static_cast<int>(remainder[j]);
    return true;
}

bool CReedSolomon::Decode(int n, int* r) {
    if (m_parityCount == 0 || !r || n < 1 || n > m_fieldSize - 1) return false;
    for (int j = 0; j < n; ++j)
        if (r[j] < 0 || r[j] >= m_fieldSize) return false;

    const int t2 = m_parityCount;
    const int order = m_fieldSize - 1;

    bool clean = true;
    for (int i = 0; i < t2; ++i) {
        // Horner from the highest-degree symbol.
        unsigned s = 0;
        for (int j = 0; j < n; ++j) s = Mul(s, m_roots[i]) ^ static_cast<unsigned>(r[j]);
        m_syndromes[i] = s;
        if (s) clean = false;
    }
    if (clean) return true;

    // Berlekamp-Massey.
    for (int i = 0; i < t2 + 2; ++i) m_locator[i] = m_previous[i] = 0;
    m_locator[0] = m_previous[0] = 1;
    int len = 0, shift = 1;
    unsigned lastDiscrepancy = 1;
    for (int k = 0; k < t2; ++k) {
        unsigned d = m_syndromes[k];
        for (int i = 1; i <= len; ++i) d ^= Mul(m_locator[i], m_syndromes[k - i]);
        if (d == 0) {
            ++shift;
            continue;
        }
        const unsigned coef = Div(d, lastDiscrepancy);
        if (2 * len <= k) {
            for (int i = 0; i < t2 + 2; ++i) m_temp[i] = m_locator[i];
            for (int i = 0; i + shift < t2 + 2; ++i) m_locator[i + shift] ^= Mul(coef, m_previous[i]);
            len = k + 1 - len;
            for (int i = 0; i < t2 + 2; ++i) m_previous[i] = m_temp[i];
            lastDiscrepancy = d;
            shift = 1;
        } else {
            for (int i = 0; i + shift < t2 + 2; ++i) m_locator[i + shift] ^= Mul(coef, m_previous[i]);
            ++shift;
        }
    }
    // More than parityCount / 2 errors cannot be located reliably.
    if (len > t2 / 2) return false;

    // Chien search: a root alpha^k locates an error at X = alpha^-k, i.e. the symbol of degree
    // log X, which must lie inside the n received symbols.
    int found = 0;
    for (int k = 0; k < order; ++k) {
        unsigned v = 0;
        for (int i = len; i >= 0; --i) v = Mul(v, Pow(k)) ^ m_locator[i];
        if (v == 0) {
            if (found == len) return false;
            const int degree = (order - k) % order;
            if (degree >= n) return false;
            m_errorPositions[found++] = k;
        }
    }
    if (found != len) return false;

    // Forney, written with Z(x) = (1 + S1 x + ... + S2t x^2t) Lambda(x) mod x^(2t+1):
    // e = X^(1 - b) * Z(X^-1) * X / Lambda'(X^-1).
    for (int i = 0; i <= t2; ++i) {
        unsigned z = m_locator[i];
        for (int j = 1; j <= i; ++j) z ^= Mul(m_syndromes[j - 1], m_locator[i - j]);  // zero above len
        m_evaluator[i] = z;
    }
    for (int e = 0; e < found; ++e) {
        const int k = m_errorPositions[e];
        const unsigned xInv = Pow(k);
        const unsigned x = Pow(-k);
        unsigned z = 0;
        for (int i = t2; i >= 0; --i) z = Mul(z, xInv) ^ m_evaluator[i];
        unsigned derivative = 0;
        for (int i = len; i >= 1; --i)
            if (i & 1) derivative ^= Mul(m_locator[i], Pow((i - 1) * k));
        if (derivative == 0) return false;
        unsigned value = Div(Mul(z, x), derivative);
        value = Mul(value, Pow((1 - m_firstRoot) * ((order - k) % order)));
        m_errorValues[e] = value;
    }
    for (int e = 0; e < found; ++e) {
        const int degree = (order - m_errorPositions[e]) % order;
        r[n - 1 - degree] ^= static_cast<int>(m_errorValues[e]);
    }
    return true;
}
