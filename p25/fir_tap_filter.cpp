#include "p25/fir_tap_filter.h"

#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace {

float Dot(const float* a, const float* b, int n) {
    int j = 0;
    float sum = 0.0f;
#if defined(__SSE2__)
    __m128 s0 = _mm_setzero_ps(), s1 = _mm_setzero_ps();
    for (; j + 8 <= n; j += 8) {
        s0 = _mm_add_ps(s0, _mm_mul_ps(_mm_loadu_ps(a + j), _mm_loadu_ps(b + j)));
        s1 = _mm_add_ps(s1, _mm_mul_ps(_mm_loadu_ps(a + j + 4), _mm_loadu_ps(b + j + 4)));
    }
    float lanes[4];
    _mm_storeu_ps(lanes, _mm_add_ps(s0, s1));
    sum = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
#endif
    for (; j < n; ++j) sum += a[j] * b[j];
    return sum;
}

}  // namespace

void FirTapFilter::SetLength(int n) {
    if (n < 0 || n == m_length) return;
    m_length = n;
    m_delay.Release();
    m_delayReady = false;
}

int FirTapFilter::SetTaps(const float* taps, int n) {
    if (!taps || n <= 0) return 1;
    SetLength(n);
    float* t = m_taps.Reserve(n);
    if (!t) return 2;
    std::memcpy(t, taps, sizeof(float) * n);
    return 0;
}

bool FirTapFilter::EnsureDelay() {
    if (m_delayReady) return true;
    if (!m_delay.Reserve(2 * static_cast<size_t>(m_length))) return false;
    std::memset(m_delay.GetData(), 0, sizeof(float) * 2 * m_length);
    m_position = 0;
    m_delayReady = true;
    return true;
}

int FirTapFilter::Process(float* data, int n) {
    if (!data || n <= 0) return 1;
    const int w = m_length;
    if (w <= 0 || !m_taps.GetData() || m_taps.Capacity() < static_cast<size_t>(w)) return 2;
    if (!EnsureDelay()) return 3;
    float* delay = m_delay.GetData();
    const float* taps = m_taps.GetData();
    int p = m_position;
    for (int i = 0; i < n; ++i) {
        // delay[p .. p+w-1] runs oldest to newest after this write.
        delay[p] = delay[p + w] = data[i];
        p = p + 1 == w ? 0 : p + 1;
        data[i] = Dot(delay + p, taps, w);
    }
    m_position = p;
    return 0;
}
