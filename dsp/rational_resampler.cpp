#include "dsp/rational_resampler.h"

#include <cmath>
#include <cstring>
#include <new>

#include "dsp/dsp_math.h"

namespace {

const uint32_t kMaxL = 1024;
const uint32_t kMaxM = 65536;
const uint32_t kMaxTaps = 65535;
const uint32_t kMaxBlock = 1u << 20;

int32_t QuantiseQ31(double x) {
    if (x >= 1.0) return 0x7FFFFFFF;
    if (x < -1.0) return -0x7FFFFFFF;
    return static_cast<int32_t>(2147483647.0 * x);
}

bool Layout(RationalResampler* r) {
    const uint64_t bufferLength = static_cast<uint64_t>(r->historyLength) + r->blockSize;
    const uint64_t outLength = RationalResamplerMaxOutput(r, r->blockSize);
    if (bufferLength * sizeof(int32_t) > 0x7FFFFFFFu || outLength * sizeof(int32_t) > 0x7FFFFFFFu) return false;
    return r->buffer.Grow(static_cast<size_t>(bufferLength)) && r->output.Reserve(static_cast<size_t>(outLength));
}

bool Design(RationalResampler* r) {
    const uint32_t n = r->totalTaps;
    double* h = r->work.Reserve(n);
    int32_t* q = r->taps.Reserve(static_cast<size_t>(r->L) * r->phaseTaps);
    if (!h || !q) return false;
    const int c = static_cast<int>(n / 2);
    const double fc = 0.85 / (r->L > r->M ? r->L : r->M);
    BlackmanSinc(h, c, n - 1.0, fc);
    double sum = 0.0;
    for (uint32_t i = 0; i < n; ++i) sum += h[i];
    // Gain L restores the level of the zero-stuffed input.
    for (uint32_t i = 0; i < n; ++i) h[i] *= r->L / sum;
    // Branch p holds h[p + jL] for j = 0 .. phaseTaps-1 in reverse order (zeros where the
    // index passes the end), so that output = sum_k q[p][k] * buffer[base + k].
    for (uint32_t p = 0; p < r->L; ++p) {
        int32_t* branch = q + static_cast<size_t>(p) * r->phaseTaps;
        for (uint32_t j = 0; j < r->phaseTaps; ++j) {
            const uint64_t index = p + static_cast<uint64_t>(j) * r->L;
            branch[r->phaseTaps - 1 - j] = index < n ? QuantiseQ31(h[index]) : 0;
        }
    }
    r->designed = true;
    return true;
}

}  // namespace

RationalResampler* RationalResamplerCreate(void* storage) {
    RationalResampler* r = storage ? new (storage) RationalResampler : new (std::nothrow) RationalResampler;
    if (!r) return nullptr;
    r->historyLength = (r->totalTaps - 1) / r->L;
    r->phaseTaps = r->historyLength + 1;
    if (!Layout(r) || !Design(r)) {
        RationalResamplerDestroy(r, storage ? 0 : 1);
        return nullptr;
    }
    std::memset(r->buffer.GetData(), 0, r->historyLength * sizeof(int32_t));
    return r;
}

void RationalResamplerDestroy(RationalResampler* r, int flags) {
    if (!r) return;
    if (flags & 1) {
        delete r;
    } else {
        r->~RationalResampler();
    }
}

uint32_t RationalResamplerMaxOutput(const RationalResampler* r, uint32_t n) {
    return static_cast<uint32_t>((static_cast<uint64_t>(n) * r->L + r->M - 1) / r->M + 1);
}

int RationalResamplerConfigure(RationalResampler* r, int tapsPerPhase, float inRate, float outRate, float tolerance) {
    if (!r || tapsPerPhase < 1 || !(inRate > 0.0f) || !(outRate > 0.0f) || !(tolerance > 0.0f) ||
        !std::isfinite(inRate) || !std::isfinite(outRate) || !std::isfinite(tolerance))
        return 0;
    const double ratio = static_cast<double>(inRate) / outRate;
    uint32_t L = 0, M = 0;
    for (uint32_t l = 1; l <= kMaxL && static_cast<uint64_t>(l) * tapsPerPhase <= kMaxTaps; ++l) {
        double m = std::nearbyint(l * ratio);
        if (m < 1.0) m = 1.0;
        if (m > kMaxM) break;
        if (std::fabs(m * outRate / (l * static_cast<double>(inRate)) - 1.0) < tolerance) {
            L = l;
            M = static_cast<uint32_t>(m);
            break;
        }
    }
    if (!L) return 0;
    uint32_t total = L * static_cast<uint32_t>(tapsPerPhase);
    if (total < 3) total = 3;
    total |= 1;
    if (L != r->L || M != r->M || total != r->totalTaps || !r->designed) {
        r->L = L;
        r->M = M;
        r->totalTaps = total;
        r->historyLength = (total - 1) / L;
        r->phaseTaps = r->historyLength + 1;
        r->designed = false;
        // Without memory the resampler stays undesigned and produces nothing.
        if (!Layout(r) || !Design(r)) return 0;
    }
    RationalResamplerReset(r);
    return 1;
}

void RationalResamplerReset(RationalResampler* r) {
    if (!r) return;
    r->phase = 0;
    if (r->buffer.GetData()) std::memset(r->buffer.GetData(), 0, r->historyLength * sizeof(int32_t));
}

int RationalResamplerSetBlockSize(RationalResampler* r, uint32_t n) {
    if (!r || n < 1 || n > kMaxBlock) return 0;
    if (n == r->blockSize) return 1;
    const uint32_t old = r->blockSize;
    r->blockSize = n;
    if (!Layout(r)) {
        r->blockSize = old;
        return 0;
    }
    return 1;
}

int32_t* RationalResamplerInput(RationalResampler* r) {
    return r->buffer.GetData() ? r->buffer.GetData() + r->historyLength : nullptr;
}

uint32_t RationalResamplerProcess(RationalResampler* r, int32_t* out32, uint32_t count) {
    if (!r || !r->designed || !r->buffer.GetData() || !r->output.GetData()) return 0;
    if (count > r->blockSize) count = r->blockSize;
    int32_t* out = out32 ? out32 : r->output.GetData();
    const int32_t* buf = r->buffer.GetData();
    const uint32_t L = r->L;
    const uint32_t K = r->phaseTaps;
    const uint32_t end = L * count;
    uint32_t produced = 0;
    uint32_t p = r->phase;
    while (p < end) {
        const uint32_t base = p / L;
        const int32_t* q = r->taps.GetData() + static_cast<size_t>(p % L) * K;
        // buf[base + K - 1] is input sample base: the branch spans the newest K inputs.
        const int32_t* x = buf + base;
        // Samples enter with 24 bits: Q31 times 2^23 leaves 2^9 of headroom in 64 bits, more
        // than any branch's absolute tap sum (above 2 when interpolating).
        int64_t acc = 0;
        for (uint32_t k = 0; k < K; ++k) acc += static_cast<int64_t>(q[k]) * (x[k] >> 8);
        acc >>= 23;
        if (acc > 0x7FFFFFFF) acc = 0x7FFFFFFF;
        if (acc < -0x7FFFFFFF) acc = -0x7FFFFFFF;
        out[produced++] = static_cast<int32_t>(acc);
        p += r->M;
    }
    r->phase = p - end;
    std::memmove(r->buffer.GetData(), r->buffer.GetData() + count, r->historyLength * sizeof(int32_t));
    return produced;
}

uint32_t RationalResamplerRun(RationalResampler* r, int16_t* out16, const int16_t* in16, uint32_t count,
                              uint32_t stride) {
    if (!r || !in16 || stride == 0) return 0;
    int32_t* in = RationalResamplerInput(r);
    if (!in) return 0;
    uint32_t total = 0;
    uint32_t i = 0;
    while (i < count) {
        uint32_t n = 0;
        for (; n < r->blockSize && i < count; ++n) {
            in[n] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(in16[i])) << 16);
            i = (count - i > stride) ? i + stride : count;
        }
        const uint32_t produced = RationalResamplerProcess(r, nullptr, n);
        if (out16) {
            const int32_t* o = r->output.GetData();
            for (uint32_t k = 0; k < produced; ++k) out16[total + k] = static_cast<int16_t>(o[k] >> 16);
        }
        total += produced;
    }
    return total;
}
