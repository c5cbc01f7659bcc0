#include "dsp/sinc_fir_filter.h"

#include <cmath>
#include <cstring>
#include <new>

#include "dsp/dsp_math.h"

namespace {

const uint32_t kMaxLength = 16383;
const uint32_t kMaxBlock = 1u << 20;
const uint32_t kSpare = 32;

uint32_t PaddedLength(uint32_t length) { return (length + 31) & ~31u; }

q15 QuantiseQ15(double x) {
    if (x >= 1.0) return 32767;
    if (x < -1.0) return -32768;
    return static_cast<q15>(32767.0 * x);
}

int16_t Saturate16(int64_t v) {
    if (v > 32767) return 32767;
    if (v < -32768) return -32768;
    return static_cast<int16_t>(v);
}

// Maximum decimation the history has room for without regrowing on every call.
const uint32_t kGroupSpare = 64;

bool Layout(SincFirFilter* f, uint32_t decimation) {
    const uint32_t padded = PaddedLength(f->length);
    const uint64_t historyLength = static_cast<uint64_t>(f->length) - 1 + decimation + f->blockSize + padded + kSpare;
    if (historyLength * sizeof(int16_t) > 0x7FFFFFFFu) return false;
    const size_t old = f->history.Capacity();
    if (!f->designTaps.Reserve(f->length) || !f->taps.Reserve(padded) || !f->output.Reserve(f->blockSize) ||
        !f->history.Grow(static_cast<size_t>(historyLength)))
        return false;
    if (f->history.Capacity() > old)
        std::memset(f->history.GetData() + old, 0, (f->history.Capacity() - old) * sizeof(int16_t));
    return true;
}

void Quantise(SincFirFilter* f, const double* h, uint32_t n) {
    q15* q = f->taps.GetData();
    std::memset(q, 0, f->taps.Capacity() * sizeof(q15));
    int64_t absSum = 0;
    for (uint32_t i = 0; i < n; ++i) {
        q[i] = QuantiseQ15(h[i]);
        absSum += q[i] < 0 ? -static_cast<int64_t>(q[i]) : q[i];
    }
    // |sum| <= absSum * 32768 must stay below 2^31 for the 32-bit kernel.
    f->wideAccumulator = absSum >= 65536;
}

double Blackman(uint32_t k, uint32_t length) { return BlackmanAt(kPi * (1.0 - 2.0 * k / (length - 1.0))); }

void Design(SincFirFilter* f) {
    double* h = f->designTaps.GetData();
    const uint32_t n = f->length;
    const uint32_t c = n / 2;
    const double rate = f->sampleRate;
    const double gain = f->gain;
    std::memset(h, 0, n * sizeof(double));
    switch (f->mode) {
    case SincFirFilter::kLowPass:
    case SincFirFilter::kHighPass: {
        const double fc = f->mode == SincFirFilter::kLowPass ? f->upperFrequency : f->lowerFrequency;
        h[c] = 2.0 * fc / rate;
        for (uint32_t k = 1; k <= c; ++k)
            h[c + k] = h[c - k] = Blackman(k, n) * std::sin(2.0 * kPi * k * fc / rate) / (kPi * k);
        double sum = 0.0;
        for (uint32_t i = 0; i < n; ++i) sum += h[i];
        for (uint32_t i = 0; i < n; ++i) h[i] *= gain / sum;
        // High-pass = gain * impulse - low-pass: subtracting only the impulse would give the
        // pass band a gain of -gain.
        if (f->mode == SincFirFilter::kHighPass) {
            for (uint32_t i = 0; i < n; ++i) h[i] = -h[i];
            h[c] += gain;
        }
        break;
    }
    case SincFirFilter::kBandPass:
    case SincFirFilter::kBandStop: {
        const double width = f->upperFrequency - f->lowerFrequency;
        const double centre = f->upperFrequency + f->lowerFrequency;
        // The centre tap carries the gain like the others.
        h[c] = 2.0 * gain * width / rate;
        for (uint32_t k = 1; k <= c; ++k)
            h[c + k] = h[c - k] = 2.0 * gain * Blackman(k, n) * std::sin(kPi * k * width / rate) *
                                  std::cos(kPi * k * centre / rate) / (kPi * k);
        if (f->mode == SincFirFilter::kBandStop) {
            for (uint32_t i = 0; i < n; ++i) h[i] = -h[i];
            h[c] += gain;
        }
        break;
    }
    case SincFirFilter::kHilbert:
        for (uint32_t k = 1; k <= c; ++k) {
            const double v = gain * (1.0 - std::cos(kPi * k)) * (0.54 + 0.46 * std::cos(kPi * k / c)) / (kPi * k);
            h[c + k] = v;
            h[c - k] = -v;
        }
        break;
    case SincFirFilter::kMovingAverage:
        for (uint32_t i = 0; i < n; ++i) h[i] = gain / n;
        break;
    case SincFirFilter::kDifferentiator: {
        double absSum = 0.0;
        for (uint32_t k = 1; k <= c; ++k) {
            double prod = 1.0;
            for (uint32_t j = 1; j <= c; ++j)
                if (j != k) prod *= 1.0 - static_cast<double>(k) * k / (static_cast<double>(j) * j);
            const double v = Blackman(k, n) / (k * prod);
            h[c + k] = v;
            h[c - k] = -v;
            absSum += 2.0 * std::fabs(v);
        }
        if (absSum > 0.0)
            for (uint32_t i = 0; i < n; ++i) h[i] *= gain / absSum;
        break;
    }
    default: h[c] = gain; break;
    }
    Quantise(f, h, n);
}

// Clears the old samples so that a new length starts from silence.
int Relayout(SincFirFilter* f) {
    if (!Layout(f, kGroupSpare)) return 0;
    std::memset(f->history.GetData(), 0, f->history.Capacity() * sizeof(int16_t));
    f->pending = 0;
    return 1;
}

uint32_t OddLength(uint32_t n) {
    if (n < 3) n = 3;
    if (n > kMaxLength) n = kMaxLength;
    return n | 1;
}

int Ready(const SincFirFilter* f) { return f->taps.GetData() && f->history.GetData() ? 1 : 0; }

int LoadTaps(SincFirFilter* f, const double* taps, uint32_t n) {
    if (!taps || n == 0) return 0;
    if (n > kMaxLength) n = kMaxLength;
    const uint32_t length = OddLength(n);
    if (length != f->length) {
        f->length = length;
        if (!Relayout(f)) return 0;
        Design(f);
    }
    if (!Ready(f)) return 0;
    Quantise(f, taps, n);
    return 1;
}

}  // namespace

SincFirFilter* SincFirCreate(void* storage) {
    SincFirFilter* f = storage ? new (storage) SincFirFilter : new (std::nothrow) SincFirFilter;
    if (!f) return nullptr;
    if (!Relayout(f)) {
        SincFirDestroy(f, storage ? 0 : 1);
        return nullptr;
    }
    Design(f);
    return f;
}

void SincFirDestroy(SincFirFilter* f, int flags) {
    if (!f) return;
    if (flags & 1) {
        delete f;
    } else {
        f->~SincFirFilter();
    }
}

int SincFirSetLength(SincFirFilter* f, uint32_t n) {
    const uint32_t length = OddLength(n);
    if (length != f->length || !Ready(f)) {
        f->length = length;
        if (!Relayout(f)) return 0;
        Design(f);
    }
    return 1;
}

int SincFirSetUpperFrequency(SincFirFilter* f, float hz) {
    if (!(hz >= 2.0f)) hz = 2.0f;  // also catches NaN
    if (hz > f->sampleRate / 2) hz = f->sampleRate / 2;
    if (hz != f->upperFrequency) {
        f->upperFrequency = hz;
        if (f->upperFrequency <= f->lowerFrequency) f->lowerFrequency = hz - 1.0f;
        if (!Ready(f)) return 0;
        Design(f);
    }
    return Ready(f);
}

int SincFirSetSampleRate(SincFirFilter* f, float hz) {
    if (!(hz >= 4.0f)) hz = 4.0f;
    if (!std::isfinite(hz)) return 0;
    if (hz != f->sampleRate) {
        f->sampleRate = hz;
        if (2.0f * f->upperFrequency > hz) {
            f->upperFrequency = hz / 2;
            if (f->upperFrequency <= f->lowerFrequency) f->lowerFrequency = f->upperFrequency - 1.0f;
        }
        if (!Ready(f)) return 0;
        Design(f);
    }
    return Ready(f);
}

int SincFirSetMode(SincFirFilter* f, int mode) {
    if (mode != f->mode) {
        f->mode = mode;
        if (!Ready(f)) return 0;
        Design(f);
    }
    return Ready(f);
}

int SincFirSetBlockSize(SincFirFilter* f, uint32_t n) {
    if (n < 1) n = 1;
    if (n > kMaxBlock) n = kMaxBlock;
    if (n != f->blockSize) {
        const uint32_t old = f->blockSize;
        f->blockSize = n;
        // Grow keeps the old samples.
        if (!Layout(f, kGroupSpare)) {
            f->blockSize = old;
            return 0;
        }
    }
    return Ready(f);
}

void SincFirReset(SincFirFilter* f) {
    if (!f) return;
    if (f->history.GetData()) std::memset(f->history.GetData(), 0, f->history.Capacity() * sizeof(int16_t));
    f->pending = 0;
}

int SincFirLoadDouble(SincFirFilter* f, const double* taps, uint32_t n) { return LoadTaps(f, taps, n); }

int SincFirLoadFloat(SincFirFilter* f, const float* taps, uint32_t n) {
    if (!taps || n == 0) return 0;
    if (n > kMaxLength) n = kMaxLength;
    ScratchBuffer<double> wide(n);
    if (!wide.GetData()) return 0;
    for (uint32_t i = 0; i < n; ++i) wide.GetData()[i] = taps[i];
    return LoadTaps(f, wide.GetData(), n);
}

namespace {

// One output: the window of padded length starting at x.
int32_t Dot32(const int16_t* x, const q15* h, uint32_t padded) {
    int32_t acc = 0;
    // Fixed groups of 16 let the compiler use packed multiply-adds.
    for (uint32_t g = 0; g < padded; g += 16)
        for (uint32_t k = 0; k < 16; ++k) acc += x[g + k] * h[g + k];
    return acc;
}

int64_t Dot64(const int16_t* x, const q15* h, uint32_t padded) {
    int64_t acc = 0;
    for (uint32_t k = 0; k < padded; ++k) acc += x[k] * h[k];
    return acc;
}

}  // namespace

uint32_t SincFirRun(SincFirFilter* f, int16_t* out, const int32_t* in, uint32_t count, uint32_t stride,
                    uint32_t decimation) {
    if (!f || !in || stride == 0 || decimation == 0 || !Ready(f)) return 0;
    if (decimation > kGroupSpare) {
        if (!Layout(f, decimation)) return 0;
    }
    const uint32_t padded = PaddedLength(f->length);
    const uint32_t old = f->length - 1;
    int16_t* hist = f->history.GetData();
    const q15* taps = f->taps.GetData();
    uint32_t total = 0;
    uint32_t i = 0;
    while (i < count) {
        int16_t* block = out ? out + total : f->output.GetData();
        int16_t* dst = hist + old + f->pending;
        uint32_t n = 0;
        for (; n < f->blockSize && i < count; ++n) {
            dst[n] = static_cast<int16_t>(in[i] >> 16);
            i = (count - i > stride) ? i + stride : count;
        }
        const uint32_t avail = f->pending + n;
        const uint32_t outputs = avail / decimation;
        // The padded taps reach past the window: zero them so stale samples add nothing.
        std::memset(hist + old + avail, 0, (padded + kSpare) * sizeof(int16_t));
        for (uint32_t k = 0; k < outputs; ++k) {
            // Output k ends at the last sample of its decimation group.
            const int16_t* x = hist + (k + 1) * decimation - 1;
            block[k] = f->wideAccumulator ? Saturate16(Dot64(x, taps, padded) >> 15)
                                          : Saturate16(Dot32(x, taps, padded) >> 15);
        }
        const uint32_t consumed = outputs * decimation;
        f->pending = avail - consumed;
        std::memmove(hist, hist + consumed, (old + f->pending) * sizeof(int16_t));
        total += outputs;
    }
    return total;
}
