#include "imbe/imbe_fec.h"

#include "foundation/bit_codes.h"
#include "imbe/imbe_decoder.h"

#include <cstring>

const uint8_t kImbeInterleave[12] = {0, 24, 48, 72, 96, 120, 25, 1, 73, 49, 121, 97};

namespace {

constexpr uint32_t kGolayGenerator = kGolay23Generator;
constexpr uint32_t kGolaySyndromeX16 = 870;   // x^16 mod g(x)
constexpr uint32_t kGolaySyndromeX17 = 1740;  // x^17 mod g(x)
constexpr uint32_t kGolayMask = kGolay23Mask;

const uint16_t kHammingMasks[4] = {0x55B, 0x66D, 0x78E, 0x7F0};
const uint16_t kHammingErrors[16] = {0, 8, 4, 2048, 2, 512, 64, 8192, 1, 256, 32, 4096, 16, 1024, 128, 16384};

uint32_t RotateRight23(uint32_t x, int k) {
    if (k == 0) return x;
    return ((x >> k) | (x << (23 - k))) & kGolayMask;
}

// Error trapping over the 23 cyclic shifts; extra is the trapped bit outside the parity
// positions (0 for none) and its syndrome. Returns the error pattern or 0xFFFFFFFF.
uint32_t ImbeGolayTrap(uint32_t syndrome, uint32_t extraBit, uint32_t extraSyndrome, int maxWeight) {
    uint32_t s = syndrome;
    for (int k = 0; k < 23; ++k) {
        uint32_t t = s ^ extraSyndrome;
        if (static_cast<int>(BitCount(t)) <= maxWeight) return RotateRight23(t | extraBit, k);
        s <<= 1;
        if (s & 0x800) s ^= kGolayGenerator;
    }
    return 0xFFFFFFFF;
}

// Positions (entry indexes) of the k least reliable entries, most unreliable first; positions
// are scanned from the last to the first and a later-scanned one goes behind an equal one.
void ImbeLeastReliable(const uint8_t* v, int n, int softBits, int k, int* pos) {
    int rel[4];
    int count = 0;
    const int top = (1 << softBits) - 1;
    for (int i = n - 1; i >= 0; --i) {
        int r = 2 * v[i] - top;
        if (r < 0) r = -r;
        int at = count;
        while (at > 0 && rel[at - 1] > r) --at;
        if (at >= k) continue;
        int last = count < k ? count : k - 1;
        for (int j = last; j > at; --j) {
            rel[j] = rel[j - 1];
            pos[j] = pos[j - 1];
        }
        rel[at] = r;
        pos[at] = i;
        if (count < k) ++count;
    }
}

int32_t ImbeSoftMetric(const uint8_t* v, int n, uint32_t word, int softBits) {
    const int top = (1 << softBits) - 1;
    int32_t sum = 0;
    for (int i = 0; i < n; ++i) {
        int b = (word >> (n - 1 - i)) & 1;
        int d = v[i] - b * top;
        sum += d * d;  // at most 23 * 255^2, fits 32 bits
    }
    return sum;
}

int16_t Saturate16(int32_t x) { return x > 32767 ? 32767 : (x < -32768 ? -32768 : static_cast<int16_t>(x)); }

}  // namespace

void ImbeDeinterleave(const uint8_t* in, uint8_t* work) {
    for (int g = 0; g < 12; ++g)
        for (int j = 0; j < 12; ++j) work[2 * g + kImbeInterleave[j]] = in[12 * g + j];
}

void ImbeInterleave(const uint8_t* work, uint8_t* out) {
    for (int g = 0; g < 12; ++g)
        for (int j = 0; j < 12; ++j) out[12 * g + j] = work[2 * g + kImbeInterleave[j]];
}

void ImbePnDemodulate(uint8_t* work, int count, uint16_t u0, int softBits) {
    const uint8_t top = static_cast<uint8_t>((1 << softBits) - 1);
    uint16_t p = static_cast<uint16_t>(16 * u0);
    for (int i = 0; i < count; ++i) {
        p = static_cast<uint16_t>(173 * p + 13849);
        if (p >= 32768) work[i] = static_cast<uint8_t>(top - work[i]);
    }
}

uint32_t ImbeGolayCorrect(uint32_t word) {
    word &= kGolayMask;
    uint32_t s = Golay23Syndrome(word);
    if (s == 0) return word;
    uint32_t e = ImbeGolayTrap(s, 0, 0, 3);
    if (e == 0xFFFFFFFF) e = ImbeGolayTrap(s, 1u << 16, kGolaySyndromeX16, 2);
    if (e == 0xFFFFFFFF) e = ImbeGolayTrap(s, 1u << 17, kGolaySyndromeX17, 2);
    if (e == 0xFFFFFFFF) return word;
    return word ^ e;
}

uint16_t ImbeHammingCorrect(uint16_t word) {
    word &= 0x7FFF;
    uint16_t info = word >> 4;
    int s = 0;
    for (int i = 0; i < 4; ++i) {
        int bit = ((word >> i) & 1) ^ Parity32(info & kHammingMasks[i]);
        s = (s << 1) | bit;
    }
    return word ^ kHammingErrors[s];
}

int ImbeCountBits(uint32_t a, uint32_t b) { return static_cast<int>(BitCount(a ^ b)); }

namespace {
uint32_t HardWord(const uint8_t* v, int n, int softBits) {
    uint32_t hard = 0;
    for (int i = 0; i < n; ++i) hard = (hard << 1) | (v[i] >> (softBits - 1));
    return hard;
}
uint32_t Flip(int n, int position) { return 1u << (n - 1 - position); }
}  // namespace

uint32_t ImbeGolayDecode(const uint8_t* v, int softBits) { return ImbeGolayCorrect(HardWord(v, 23, softBits)); }

void ImbeGolayCandidates(uint32_t hard, int n, const int* positions, uint32_t* out) {
    for (int c = 0; c < 8; ++c) {
        out[c] = hard;
        for (int b = 0; b < 3; ++b)
            if (c & (1 << b)) out[c] ^= Flip(n, positions[b]);
    }
}

void ImbeHammingCandidates(uint32_t hard, int n, const int* positions, uint32_t* out) {
    out[0] = hard;
    for (int c = 1; c < 5; ++c) out[c] = hard ^ Flip(n, positions[c - 1]);
}

uint32_t ImbeDecodeVector(const uint8_t* v, int n, bool golay, int softBits, int* errors, int32_t* metric) {
    const uint32_t hard = HardWord(v, n, softBits);
    auto correct = [golay](uint32_t w) -> uint32_t {
        return golay ? ImbeGolayCorrect(w) : ImbeHammingCorrect(static_cast<uint16_t>(w));
    };
    uint32_t best = correct(hard);
    int32_t bestMetric = 0;
    if (softBits >= 2) {
        bestMetric = ImbeSoftMetric(v, n, best, softBits);
        if (best != hard) {
            int pos[4];
            uint32_t candidates[8];
            const int count = golay ? 8 : 5;
            ImbeLeastReliable(v, n, softBits, golay ? 3 : 4, pos);
            if (golay)
                ImbeGolayCandidates(hard, n, pos, candidates);
            else
                ImbeHammingCandidates(hard, n, pos, candidates);
            for (int c = 1; c < count; ++c) {
                const uint32_t w = correct(candidates[c]);
                const int32_t m = ImbeSoftMetric(v, n, w, softBits);
                if (m < bestMetric) {
                    bestMetric = m;
                    best = w;
                }
            }
        }
    }
    *errors = ImbeCountBits(best, hard);
    *metric = bestMetric;
    return best;
}

int ImbeFrameErrorFlags(ImbeDecoderState* state, int softBits) {
    int total = 0;
    for (int i = 0; i < 7; ++i) total += state->vectorErrors[i];
    state->errorTotal = static_cast<int16_t>(total);
    const int e0 = state->vectorErrors[0];
    const int32_t rate = state->errorRate;
    int flags = 0;
    if (softBits <= 1) {
        int threshold = ((2 * rate + 16384) * 40) >> 16;
        if (threshold > 12) threshold = 12;
        if (total >= threshold && e0 >= 2) flags |= kImbeRepeat;
    } else if (total + e0 >= 19 && e0 >= 3) {
        flags |= kImbeRepeat;
    }
    // 0.95 * rate + 0.05 * total / 137 in Q15
    int32_t updated = static_cast<int32_t>((static_cast<int64_t>(total) * 783744 + rate * 62260) >> 16);
    state->errorRate = Saturate16(updated);
    if (state->errorRate > (softBits <= 1 ? 2867 : 3932)) flags |= kImbeMute;
    return flags;
}

void ImbePackBits(const uint16_t* u, uint8_t* bits) {
    static const int kWidth[8] = {12, 12, 12, 12, 11, 11, 11, 7};
    int at = 0;
    for (int i = 0; i < 8; ++i)
        for (int b = kWidth[i] - 1; b >= 0; --b) bits[at++] = static_cast<uint8_t>((u[i] >> b) & 1);
}

void ImbeFecDecode(ImbeFrame* frame, ImbeDecoderState* state) {
    int softBits = frame->softBits;
    if (softBits < 1) softBits = 1;
    if (softBits > 8) softBits = 8;
    const int top = (1 << softBits) - 1;

    // Out-of-range soft values would turn into wrong hard bits and negative metrics.
    uint8_t in[kImbeFrameBits];
    for (int i = 0; i < kImbeFrameBits; ++i) {
        int v = frame->bits[i];
        in[i] = static_cast<uint8_t>(softBits == 1 ? (v != 0) : (v > top ? top : v));
    }
    uint8_t work[kImbeFrameBits];
    ImbeDeinterleave(in, work);

    static const int kStart[7] = {0, 23, 46, 69, 92, 107, 122};
    uint16_t u[8];
    int32_t metricTotal = 0;
    for (int i = 0; i < 7; ++i) {
        const bool golay = i < 4;
        const int n = golay ? 23 : 15;
        int errors = 0;
        int32_t metric = 0;
        uint32_t word = ImbeDecodeVector(work + kStart[i], n, golay, softBits, &errors, &metric);
        u[i] = static_cast<uint16_t>(golay ? word >> 11 : word >> 4);
        state->vectorErrors[i] = static_cast<int16_t>(errors);
        metricTotal += metric;
        if (i == 0) ImbePnDemodulate(work + 23, 114, u[0], softBits);
    }
    u[7] = 0;
    for (int i = 0; i < 7; ++i) u[7] = static_cast<uint16_t>((u[7] << 1) | (work[137 + i] >> (softBits - 1)));

    ImbePackBits(u, frame->bits);

    state->metricTotal = Saturate16(metricTotal);
    frame->status = static_cast<int16_t>(ImbeFrameErrorFlags(state, softBits));
    frame->errorCount = state->errorTotal;
    frame->errorRate = state->errorRate;
    frame->decoderMetric = state->metricTotal;
}
