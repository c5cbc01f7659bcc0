#include "p25/block_codes.h"

#include <cstdint>

#include "p25/galois_field.h"

namespace {

// GF(2^6) with the primitive polynomial x^6 + x + 1, the field of the NID's BCH code.
constexpr GaloisField kGf(6, 0x43);
constexpr int kGfSize = 63;

constexpr int kBchT = 11;  // correctable errors of BCH (63,16,23)
constexpr int kBchSyndromes = 2 * kBchT;

}  // namespace

bool DecodeNidBch(char* nid, unsigned* errors) {
    if (errors) *errors = 0;
    if (!nid) return false;

    // r[k] is the coefficient of x^k; the first received bit is r[62].
    uint8_t r[kGfSize];
    for (int i = 0; i < 31; ++i) {
        const char c = nid[i];
        const unsigned v = (c >= '0' && c <= '3') ? static_cast<unsigned>(c - '0') : 0u;
        r[62 - 2 * i] = static_cast<uint8_t>(v >> 1);
        r[61 - 2 * i] = static_cast<uint8_t>(v & 1);
    }
    {
        const char c = nid[31];
        const unsigned v = (c >= '0' && c <= '3') ? static_cast<unsigned>(c - '0') : 0u;
        r[0] = static_cast<uint8_t>(v >> 1);
    }

    unsigned s[kBchSyndromes + 1] = {};
    bool clean = true;
    for (int j = 1; j <= kBchSyndromes; ++j) {
        unsigned sum = 0;
        for (int k = 0; k < kGfSize; ++k)
            if (r[k]) sum ^= kGf.Exp(j * k);
        s[j] = sum;
        if (sum) clean = false;
    }

    if (!clean) {
        // Berlekamp-Massey over the 22 syndromes: c is the error locator, b the last copy of it
        // before its length changed.
        unsigned c[kBchSyndromes + 2] = {1};
        unsigned b[kBchSyndromes + 2] = {1};
        unsigned t[kBchSyndromes + 2];
        int len = 0, shift = 1;
        unsigned lastDiscrepancy = 1;
        for (int n = 0; n < kBchSyndromes && len <= kBchT; ++n) {
            unsigned d = s[n + 1];
            for (int i = 1; i <= len; ++i) d ^= kGf.Mul(c[i], s[n + 1 - i]);
            if (d == 0) {
                ++shift;
                continue;
            }
            const unsigned coef = kGf.Div(d, lastDiscrepancy);
            if (2 * len <= n) {
                for (int i = 0; i < kBchSyndromes + 2; ++i) t[i] = c[i];
                for (int i = 0; i + shift < kBchSyndromes + 2; ++i) c[i + shift] ^= kGf.Mul(coef, b[i]);
                len = n + 1 - len;
                for (int i = 0; i < kBchSyndromes + 2; ++i) b[i] = t[i];
                lastDiscrepancy = d;
                shift = 1;
            } else {
                for (int i = 0; i + shift < kBchSyndromes + 2; ++i) c[i + shift] ^= kGf.Mul(coef, b[i]);
                ++shift;
            }
        }
        if (errors) *errors = static_cast<unsigned>(len);
        if (len > kBchT) return false;

        // Chien search: a root alpha^i marks an error at x^(63 - i).
        int flips[kBchT];
        int roots = 0;
        for (int i = 1; i <= kGfSize; ++i) {
            unsigned v = c[0];
            for (int k = 1; k <= len; ++k)
                if (c[k]) v ^= kGf.Exp(kGf.Log(c[k]) + i * k);
            if (v == 0) {
                if (roots == kBchT) return false;
                flips[roots++] = (kGfSize - i) % kGfSize;
            }
        }
        if (roots != len) return false;
        for (int i = 0; i < roots; ++i) r[flips[i]] ^= 1;
    }

    for (int i = 0; i <= 30; ++i) nid[30 - i] = static_cast<char>('0' + 2 * r[2 * i + 2] + r[2 * i + 1]);
    nid[31] = '\0';
    return true;
}

namespace {

struct GolayTables {
    uint32_t error[2048];
    GolayTables() {
        // Golay (23,12) is perfect: the 2048 patterns of weight 0..3 fill every syndrome once.
        error[0] = 0;
        for (unsigned a = 0; a < 23; ++a) {
            const unsigned ea = 1u << a;
            error[Golay23Syndrome(ea)] = ea;
            for (unsigned b = a + 1; b < 23; ++b) {
                const unsigned eb = ea | (1u << b);
                error[Golay23Syndrome(eb)] = eb;
                for (unsigned c = b + 1; c < 23; ++c) {
                    const unsigned ec = eb | (1u << c);
                    error[Golay23Syndrome(ec)] = ec;
                }
            }
        }
    }
};

// A function-local static is initialised exactly once even when two stream threads (two
// plug-in instances) reach it together.
const GolayTables& Golay() {
    static const GolayTables tables;
    return tables;
}

}  // namespace

void EnsureGolay23Table() { (void)Golay(); }

unsigned Golay23Decode(unsigned w) {
    w &= 0x7FFFFF;
    return w ^ Golay().error[Golay23Syndrome(w)];
}

int DecodeHamming10(int word, unsigned* syndrome) {
    // Bit to flip per syndrome; 255: the syndrome names no single bit.
    static const uint8_t kFlip[16] = {255, 0, 1, 5, 2, 255, 255, 6, 3, 255, 255, 7, 4, 8, 9, 0};
    const unsigned w = static_cast<unsigned>(word) & 0x3FF;
    const unsigned s =
        (Parity32(w & 0x398) << 3) | (Parity32(w & 0x354) << 2) | (Parity32(w & 0x2E2) << 1) | Parity32(w & 0x1E1);
    if (s == 0) {
        if (syndrome) *syndrome = 0;
        return static_cast<int>(w >> 4);
    }
    const unsigned bit = kFlip[s];
    if (bit == 255) {
        if (syndrome) *syndrome = 255;
        return static_cast<int>(w >> 4);
    }
    if (syndrome) *syndrome = s;
    return static_cast<int>((w ^ (1u << bit)) >> 4);
}
