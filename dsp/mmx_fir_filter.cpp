#include "dsp/mmx_fir_filter.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "dsp/cpu_features.h"
#include "dsp/dsp_math.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// round(32767 x) to nearest even, saturated; NaN gives -32768. The same arithmetic as the
// SSE2 path below (float product, clamp, round), so a sample converts alike in either path.
int16_t FloatToQ15(float x) {
    float v = x * 32767.0f;
    v = v > -32768.0f ? v : -32768.0f;
    v = v < 32767.0f ? v : 32767.0f;
    return static_cast<int16_t>(std::nearbyint(v));
}

// round(32767 x), saturated. SSE2 rounds to nearest even, as nearbyint does by default.
void FloatsToQ15(const float* x, int16_t* out, int count) {
    int i = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(32767.0f), hi = _mm_set1_ps(32767.0f), lo = _mm_set1_ps(-32768.0f);
    for (; i + 8 <= count; i += 8) {
        __m128 a = _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_loadu_ps(x + i), scale), lo), hi);
        __m128 b = _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_loadu_ps(x + i + 4), scale), lo), hi);
        __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), packed);
    }
#endif
    for (; i < count; ++i) out[i] = FloatToQ15(x[i]);
}

// sum_j x[j] * c[j] for taps a multiple of 16, when every partial sum of |x[j] c[j]| stays
// below 2^31 (the caller checks the taps): 32-bit lanes throughout.
int32_t DotQ15Narrow(const int16_t* x, const int16_t* c, int taps) {
#if defined(__SSE2__)
    __m128i acc0 = _mm_setzero_si128(), acc1 = _mm_setzero_si128();
    for (int j = 0; j < taps; j += 16) {
        __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + j));
        __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + j + 8));
        __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + j));
        __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + j + 8));
        acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(x0, c0));
        acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(x1, c1));
    }
    __m128i sum = _mm_add_epi32(acc0, acc1);
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(sum);
#else
    int32_t sum = 0;
    for (int j = 0; j < taps; ++j) sum += static_cast<int32_t>(x[j]) * c[j];
    return sum;
#endif
}

// The same for any taps: the pair sums of the multiply-add (each below 2^31 in magnitude) are
// widened to 64 bits.
int64_t DotQ15Wide(const int16_t* x, const int16_t* c, int taps) {
#if defined(__SSE2__)
    __m128i acc0 = _mm_setzero_si128(), acc1 = _mm_setzero_si128();
    for (int j = 0; j < taps; j += 8) {
        __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + j));
        __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + j));
        __m128i m = _mm_madd_epi16(x0, c0);
        __m128i sign = _mm_srai_epi32(m, 31);
        acc0 = _mm_add_epi64(acc0, _mm_unpacklo_epi32(m, sign));
        acc1 = _mm_add_epi64(acc1, _mm_unpackhi_epi32(m, sign));
    }
    int64_t lanes[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), _mm_add_epi64(acc0, acc1));
    return lanes[0] + lanes[1];
#else
    int64_t sum = 0;
    for (int j = 0; j < taps; ++j) sum += static_cast<int32_t>(x[j]) * c[j];
    return sum;
#endif
}

}  // namespace

int CMmxFirFilter::SetTaps(int n) {
    if (n < 1 || n > kMaxTaps) return 0;
    return CFirFilter::SetTaps((n + 15) & ~15);
}

bool CMmxFirFilter::OnDesigned() {
    int16_t* c16 = m_coefficients16.Reserve(m_taps);
    if (!c16) return false;
    const float* h = m_coefficients.GetData();
    int64_t sumAbs = 0;
    for (int j = 0; j < m_taps; ++j) {
        c16[j] = static_cast<int16_t>(std::trunc(32767.0 * h[j]));
        sumAbs += std::abs(static_cast<int32_t>(c16[j]));
    }
    m_narrowSums = sumAbs * 32768 < (int64_t(1) << 31);
    return true;
}

const int16_t* CMmxFirFilter::GetCoefficients16() {
    CriticalSectionLock lock(&m_lock);
    return m_designed ? m_coefficients16.GetData() : nullptr;
}

void CMmxFirFilter::Reset() {
    CriticalSectionLock lock(&m_lock);
    CFirFilter::Reset();
    if (m_history16.GetData() && m_history16Taps > 0)
        std::memset(m_history16.GetData(), 0, sizeof(int16_t) * (m_history16Taps - 1));
}

bool CMmxFirFilter::EnsureHistory16(int count) {
    const size_t needed = static_cast<size_t>(m_taps) - 1 + count;
    if (m_history16Taps != m_taps || !m_history16.GetData()) {
        if (!m_history16.Reserve(needed)) {
            m_history16Taps = 0;
            return false;
        }
        std::memset(m_history16.GetData(), 0, sizeof(int16_t) * (m_taps - 1));
        m_history16Taps = m_taps;
        return true;
    }
    // A larger block keeps the stored inputs.
    return m_history16.Grow(needed) != nullptr;
}

// One output from its Q30 sum.
template <CMmxFirFilter::Output kind, typename Sample, typename Sum>
inline void Store(Sample& out, Sum acc) {
    if constexpr (kind == CMmxFirFilter::Output::kInt16)
        out = Saturate16(acc >> 15);
    else if constexpr (kind == CMmxFirFilter::Output::kFloat)
        out = Saturate16(acc >> 15) * (1.0f / 32767);
    else
        out = static_cast<float>(static_cast<double>(acc) * 9.313225746154785e-10);
}

template <CMmxFirFilter::Output kind, typename Sample>
void CMmxFirFilter::Filter(Sample* samples, int count) {
    if (!samples || count <= 0) return;
    CriticalSectionLock lock(&m_lock);
    if (!EnsureDesigned() || m_type == kFilterNone || !EnsureHistory16(count)) return;
    const int taps = m_taps;
    int16_t* history = m_history16.GetData();
    int16_t* in = history + taps - 1;
    if constexpr (kind == Output::kInt16)
        std::memcpy(in, samples, sizeof(int16_t) * count);
    else
        FloatsToQ15(samples, in, count);
    const int16_t* c = m_coefficients16.GetData();
    if (m_narrowSums) {
        for (int i = 0; i < count; ++i) Store<kind>(samples[i], DotQ15Narrow(history + i, c, taps));
    } else {
        for (int i = 0; i < count; ++i) Store<kind>(samples[i], DotQ15Wide(history + i, c, taps));
    }
    std::memmove(history, history + count, sizeof(int16_t) * (taps - 1));
}

bool CMmxFirFilter::EnsureReady(int count) {
    CriticalSectionLock lock(&m_lock);
    return count > 0 && EnsureDesigned() && EnsureHistory16(count);
}

void CMmxFirFilter::Process(float* samples, int count) { Filter<Output::kFloat>(samples, count); }

void CMmxFirFilter::ProcessPrecise(float* samples, int count) { Filter<Output::kPrecise>(samples, count); }

void CMmxFirFilter::ProcessInt16(int16_t* samples, int count) { Filter<Output::kInt16>(samples, count); }

CFirFilter* CreateFirFilter() {
    if (CpuHasMmx()) return new (std::nothrow) CMmxFirFilter();
    return new (std::nothrow) CFirFilter();
}
