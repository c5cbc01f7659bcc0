#include "dsp/psd_estimator.h"

#include <cmath>
#include <cstring>
#include <new>

#include "dsp/dsp_math.h"

namespace {

const uint32_t kMaxSize = 1u << 20;

void BuildWindow(SpectrumEstimator* e) {
    const uint32_t n = e->size;
    const uint32_t half = n / 2;
    float* w = e->weights.GetData();
    double sum = 0.0;
    for (uint32_t k = 0; k < half; ++k) {
        const double a = 2.0 * kPi * k / n;
        double v;
        switch (e->window) {
        case SpectrumEstimator::kTriangular: v = static_cast<double>(k) / half; break;
        case SpectrumEstimator::kHann: v = 1.0 - std::cos(a); break;
        case SpectrumEstimator::kHamming: v = 0.54 - 0.46 * std::cos(a); break;
        case SpectrumEstimator::kBlackman: v = BlackmanAt(a); break;
        default: v = 1.0; break;
        }
        w[k] = w[n - 1 - k] = static_cast<float>(v);
        sum += 2.0 * v;
    }
    // Mean 1, so that a window does not change the level of a broadband signal.
    const double scale = sum > 0.0 ? n / sum : 1.0;
    for (uint32_t k = 0; k < n; ++k) w[k] = static_cast<float>(w[k] * scale);
}

template <typename T>
void Pack(SpectrumEstimator* e, const T* x, uint32_t count) {
    const uint32_t half = e->size / 2;
    const uint32_t used = count < e->size ? count : e->size;
    const float* w = e->weights.GetData();
    const uint32_t* bitrev = e->bitrev.GetData();
    float* z = e->work.GetData();
    for (uint32_t j = 0; j < half; ++j) {
        const uint32_t i = 2 * bitrev[j];
        z[2 * j] = i < used ? static_cast<float>(x[i]) * w[i] : 0.0f;
        z[2 * j + 1] = i + 1 < used ? static_cast<float>(x[i + 1]) * w[i + 1] : 0.0f;
    }
}

void Fft(SpectrumEstimator* e) {
    const uint32_t half = e->size / 2;
    float* z = e->work.GetData();
    const float* tw = e->twiddles.GetData();
    for (uint32_t span = 1; span < half; span *= 2) {
        const uint32_t stride = half / span;
        for (uint32_t j = 0; j < span; ++j) {
            const float ns = tw[2 * j * stride];
            const float c = tw[2 * j * stride + 1];
            for (uint32_t i = j; i < half; i += 2 * span) {
                float* a = z + 2 * i;
                float* b = z + 2 * (i + span);
                const float pr = b[0] * c - b[1] * ns;
                const float pi = b[0] * ns + b[1] * c;
                b[0] = a[0] - pr;
                b[1] = a[1] - pi;
                a[0] += pr;
                a[1] += pi;
            }
        }
    }
}

const float* Split(SpectrumEstimator* e) {
    const uint32_t half = e->size / 2;
    const float* z = e->work.GetData();
    const float* tw = e->twiddles.GetData();
    float* re = e->re.GetData();
    float* im = e->im.GetData();
    float* power = e->power.GetData();
    // The split below yields 2 X[k]; bin 0 is scaled the same way so that all bins share the
    // final factor 1/4.
    re[0] = 2.0f * (z[0] + z[1]);
    im[0] = 0.0f;
    for (uint32_t k = 1; k < half; ++k) {
        const float* zk = z + 2 * k;
        const float* zm = z + 2 * (half - k);
        const float sn = tw[2 * k];
        const float c = tw[2 * k + 1];
        const float u = zk[0] - zm[0];
        const float v = zm[1] + zk[1];
        re[k] = v * c + u * sn + zm[0] + zk[0];
        im[k] = sn * v + (zk[1] - zm[1]) - c * u;
    }
    for (uint32_t k = 0; k < half; ++k) power[k] = (re[k] * re[k] + im[k] * im[k]) * 0.25f;
    return power;
}

template <typename T>
const float* Transform(SpectrumEstimator* e, const T* x, uint32_t count) {
    if (!e || !x || !e->work.GetData()) return nullptr;
    Pack(e, x, count);
    Fft(e);
    return Split(e);
}

template <typename T>
const float* Dft(SpectrumEstimator* e, const T* x, uint32_t count, uint32_t first, uint32_t last) {
    if (!e || !x || !e->work.GetData() || first > last) return nullptr;
    const uint32_t n = e->size;
    const uint32_t half = n / 2;
    if (last >= half) last = half - 1;
    const uint32_t used = count < n ? count : n;
    // The work array takes the windowed samples as N reals.
    ScratchBuffer<float> samples(n);
    float* s = samples.GetData();
    if (!s) return nullptr;
    for (uint32_t i = 0; i < n; ++i) s[i] = i < used ? static_cast<float>(x[i]) * e->weights.GetData()[i] : 0.0f;
    float* re = e->re.GetData();
    float* im = e->im.GetData();
    float* power = e->power.GetData();
    std::memset(re, 0, half * sizeof(float));
    std::memset(im, 0, half * sizeof(float));
    std::memset(power, 0, half * sizeof(float));
    for (uint32_t k = first; k <= last && first < half; ++k) {
        // A rotating phasor, renewed from the exact angle every bin.
        const double step = -2.0 * kPi * k / n;
        const double cs = std::cos(step), sn = std::sin(step);
        double pr = 1.0, pi = 0.0, sr = 0.0, si = 0.0;
        for (uint32_t i = 0; i < n; ++i) {
            sr += s[i] * pr;
            si += s[i] * pi;
            const double t = pr * cs - pi * sn;
            pi = pr * sn + pi * cs;
            pr = t;
        }
        re[k] = static_cast<float>(sr);
        im[k] = static_cast<float>(si);
        power[k] = static_cast<float>(sr * sr + si * si);
    }
    return power;
}

}  // namespace

SpectrumEstimator* SpectrumEstimatorCreate(void* storage) {
    SpectrumEstimator* e = storage ? new (storage) SpectrumEstimator : new (std::nothrow) SpectrumEstimator;
    if (!e) return nullptr;
    if (!SpectrumEstimatorSetSize(e, 512)) {
        SpectrumEstimatorDestroy(e, storage ? 0 : 1);
        return nullptr;
    }
    return e;
}

void SpectrumEstimatorDestroy(SpectrumEstimator* e, int flags) {
    if (!e) return;
    if (flags & 1) {
        delete e;
    } else {
        e->~SpectrumEstimator();
    }
}

int SpectrumEstimatorSetSize(SpectrumEstimator* e, uint32_t n) {
    if (!e || n > kMaxSize) return 0;
    uint32_t size = 4;
    while (size < n) size *= 2;
    if (size == e->size) return 1;
    const uint32_t half = size / 2;
    // Reserve discards contents; everything is rebuilt below.
    if (!e->work.Reserve(2 * half) || !e->re.Reserve(half) || !e->im.Reserve(half) || !e->power.Reserve(half) ||
        !e->weights.Reserve(size) || !e->twiddles.Reserve(2 * half) || !e->bitrev.Reserve(half)) {
        // The arrays may be gone: keep a consistent, empty estimator.
        e->work.Release();
        e->size = 0;
        return 0;
    }
    e->size = size;
    uint32_t bits = 0;
    while ((1u << bits) < half) ++bits;
    for (uint32_t j = 0; j < half; ++j) {
        uint32_t r = 0;
        for (uint32_t b = 0; b < bits; ++b) r |= ((j >> b) & 1u) << (bits - 1 - b);
        e->bitrev.GetData()[j] = r;
        const double a = kPi * j / half;
        e->twiddles.GetData()[2 * j] = static_cast<float>(-std::sin(a));
        e->twiddles.GetData()[2 * j + 1] = static_cast<float>(std::cos(a));
    }
    std::memset(e->re.GetData(), 0, half * sizeof(float));
    std::memset(e->im.GetData(), 0, half * sizeof(float));
    std::memset(e->power.GetData(), 0, half * sizeof(float));
    BuildWindow(e);
    return 1;
}

int SpectrumEstimatorSetWindow(SpectrumEstimator* e, int kind) {
    if (!e || kind < 0 || kind > SpectrumEstimator::kBlackman) return 0;
    if (kind != e->window) {
        e->window = kind;
        if (e->weights.GetData()) BuildWindow(e);
    }
    return 1;
}

const float* SpectrumEstimatorTransform16(SpectrumEstimator* e, const int16_t* x, uint32_t count) {
    return Transform(e, x, count);
}

const float* SpectrumEstimatorTransform32(SpectrumEstimator* e, const int32_t* x, uint32_t count) {
    return Transform(e, x, count);
}

const float* SpectrumEstimatorDft16(SpectrumEstimator* e, const int16_t* x, uint32_t count, uint32_t first,
                                    uint32_t last) {
    return Dft(e, x, count, first, last);
}

const float* SpectrumEstimatorDft32(SpectrumEstimator* e, const int32_t* x, uint32_t count, uint32_t first,
                                    uint32_t last) {
    return Dft(e, x, count, first, last);
}
