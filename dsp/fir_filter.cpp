#include "dsp/fir_filter.h"

#include <cmath>
#include <cstring>

#include "dsp/dsp_math.h"
#include "dsp/fft_window.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Referencing a low-pass de-emphasis to 1 Hz, with the peak gain then set to 1 at 0 Hz, would
// leave the voice band 18-46 dB below the (DC-blocked, empty) bottom bins. Below this
// frequency the de-emphasis is flat instead: the bottom of the voice band.
constexpr double kDeemphasisFloorHz = 300.0;

// Bins whose magnitude is below this after the inverse design count as silence (a band-stop
// over the whole band): the taps stay zero instead of being divided by a zero peak.
constexpr double kSilentPeak = 1e-20;

int BinIndex(int n, double fraction) {
    int k = static_cast<int>(n * fraction / 2.0 + 0.5);
    if (k < 0) k = 0;
    if (k > n / 2) k = n / 2;
    return k;
}

double Log2Hz(double hz) { return hz > 1.0 ? std::log2(hz) : 0.0; }

// sum_j a[j] * b[j] with every product and sum in double.
double DotDouble(const float* a, const float* b, int n) {
    int j = 0;
    double sum = 0.0;
#if defined(__SSE2__)
    __m128d s0 = _mm_setzero_pd(), s1 = _mm_setzero_pd(), s2 = _mm_setzero_pd(), s3 = _mm_setzero_pd();
    for (; j + 8 <= n; j += 8) {
        __m128 x0 = _mm_loadu_ps(a + j), x1 = _mm_loadu_ps(a + j + 4);
        __m128 h0 = _mm_loadu_ps(b + j), h1 = _mm_loadu_ps(b + j + 4);
        s0 = _mm_add_pd(s0, _mm_mul_pd(_mm_cvtps_pd(x0), _mm_cvtps_pd(h0)));
        s1 = _mm_add_pd(s1, _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(x0, x0)), _mm_cvtps_pd(_mm_movehl_ps(h0, h0))));
        s2 = _mm_add_pd(s2, _mm_mul_pd(_mm_cvtps_pd(x1), _mm_cvtps_pd(h1)));
        s3 = _mm_add_pd(s3, _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(x1, x1)), _mm_cvtps_pd(_mm_movehl_ps(h1, h1))));
    }
    __m128d s = _mm_add_pd(_mm_add_pd(s0, s1), _mm_add_pd(s2, s3));
    double lanes[2];
    _mm_storeu_pd(lanes, s);
    sum = lanes[0] + lanes[1];
#endif
    for (; j < n; ++j) sum += static_cast<double>(a[j]) * b[j];
    return sum;
}

int16_t RoundToInt16(double v) {
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    return static_cast<int16_t>(std::lround(v));
}

}  // namespace

CFirFilter::CFirFilter() = default;

CFirFilter::~CFirFilter() = default;

// ---- settings ------------------------------------------------------------------------------

template <typename T>
int CFirFilter::Accept(T& field, T value) {
    CriticalSectionLock lock(&m_lock);
    if (value != field) {
        field = value;
        m_designed = false;
    }
    return 1;
}

template <typename T>
T CFirFilter::Read(const T& field) {
    CriticalSectionLock lock(&m_lock);
    return field;
}

int CFirFilter::SetTaps(int n) {
    if (n < 1 || n > kMaxTaps) return 0;
    return Accept(m_taps, n);
}

// The taps depend on the transform size, so a new size designs again rather than only
// making new plans.
int CFirFilter::SetFFTSize(int n) {
    if (n < kMinFftSize || n > kMaxFftSize) return 0;
    return Accept(m_fftSize, n);
}

int CFirFilter::SetType(int type) {
    if (type < kFilterNone || type > kFilterBandStop) return 0;
    return Accept(m_type, type);
}

int CFirFilter::SetFrequency(float hz) {
    CriticalSectionLock lock(&m_lock);
    if (!(hz > 0.0f && hz < m_nyquist)) return 0;
    return Accept(m_frequency, hz);
}

int CFirFilter::SetBandwidth(float hz) {
    CriticalSectionLock lock(&m_lock);
    if (!(hz > 0.0f && hz < m_nyquist)) return 0;
    return Accept(m_bandwidth, hz);
}

int CFirFilter::SetWindow(int kind) {
    if (kind < 0 || kind > kWindowTriangular) return 0;
    return Accept(m_window, kind);
}

int CFirFilter::SetDeemphasis(float dbPerOctave) {
    if (!(dbPerOctave >= -100.0f && dbPerOctave <= 0.0f)) return 0;
    return Accept(m_deemphasis, dbPerOctave);
}

int CFirFilter::SetSampleRate(float hz) {
    if (!(hz >= 1000.0f)) return 0;
    CriticalSectionLock lock(&m_lock);
    if (hz == m_sampleRate) return 1;
    m_sampleRate = hz;
    m_nyquist = hz / 2.0f;
    if (m_frequency >= m_nyquist) m_frequency = m_nyquist - 1.0f;
    if (m_bandwidth >= m_nyquist) m_bandwidth = m_nyquist - 1.0f;
    m_designed = false;
    return 1;
}

int CFirFilter::GetTaps() { return Read(m_taps); }
int CFirFilter::GetFFTSize() { return Read(m_fftSize); }
int CFirFilter::GetType() { return Read(m_type); }
float CFirFilter::GetFrequency() { return Read(m_frequency); }
float CFirFilter::GetBandwidth() { return Read(m_bandwidth); }
int CFirFilter::GetWindow() { return Read(m_window); }
float CFirFilter::GetDeemphasis() { return Read(m_deemphasis); }
float CFirFilter::GetSampleRate() { return Read(m_sampleRate); }

const float* CFirFilter::GetResponse(int* length) {
    if (!length) return nullptr;
    CriticalSectionLock lock(&m_lock);
    if (!m_responseValid || !m_response.GetData()) {
        *length = 0;
        return nullptr;
    }
    *length = m_responseLength;
    return m_response.GetData();
}

const float* CFirFilter::GetCoefficients() {
    CriticalSectionLock lock(&m_lock);
    return m_designed ? m_coefficients.GetData() : nullptr;
}

// ---- design ---------------------------------------------------------------------------------

int CFirFilter::DesignSize() const {
    if (m_taps <= m_fftSize) return m_fftSize;
    int n = 1;
    while (n < 2 * m_taps) n <<= 1;
    return n;
}

bool CFirFilter::EnsureTransform(int n) {
    if (m_fft.IsReady() && m_fft.GetSize() == n) return true;
    return m_fft.Create(n, RealFftPlan::kForward | RealFftPlan::kInverse);
}

bool CFirFilter::EnsureDesigned() { return m_designed || DesignLocked(false); }

int CFirFilter::Design(bool withResponse) {
    CriticalSectionLock lock(&m_lock);
    return DesignLocked(withResponse);
}

int CFirFilter::DesignLocked(bool withResponse) {
    if (m_designed) {
        if (withResponse && !m_responseValid) ComputeResponse();
        return 1;
    }
    if (m_taps <= 0) return 0;
    const int n = DesignSize();
    if (!EnsureTransform(n)) return 0;
    if (!m_coefficients.Reserve(m_taps)) return 0;
    m_responseValid = false;
    float* coefficients = m_coefficients.GetData();

    if (m_type == kFilterNone) {
        // Pass-through: processing skips the filter; the taps show it as a centred impulse.
        std::memset(coefficients, 0, sizeof(float) * m_taps);
        coefficients[(m_taps - 1) / 2] = 1.0f;
        return CommitDesign(withResponse) ? 1 : 0;
    }

    const double nyquist = m_nyquist, rate = m_sampleRate;
    double lo = 0.0, hi = 0.0;
    switch (m_type) {
    case kFilterLowPass: hi = m_frequency / nyquist; break;
    case kFilterHighPass:
        lo = m_frequency / nyquist;
        hi = 1.0;
        break;
    default:
        lo = (m_frequency - m_bandwidth / 2.0) / nyquist;
        hi = (m_frequency + m_bandwidth / 2.0) / nyquist;
        if (lo < 0.0) lo = 0.0;
        if (hi > 1.0) hi = 1.0;
        break;
    }
    const int kLo = BinIndex(n, lo), kHi = BinIndex(n, hi);

    // Alternating signs put the centre of the impulse response at n/2.
    float s = (kLo % 2 == 0) ? 1.0f : -1.0f;
    m_fft.Clear();
    float* bins = m_fft.GetData();
    if (m_type == kFilterBandStop) {
        for (int k = 0; k < kLo; ++k, s = -s) bins[2 * k] = bins[2 * k + 1] = s;
        for (int k = kHi + 1; k <= n / 2; ++k, s = -s) bins[2 * k] = bins[2 * k + 1] = s;
    } else if (m_deemphasis < 0.0f && (m_type == kFilterLowPass || m_type == kFilterBandPass)) {
        double lowerEdge = m_type == kFilterLowPass ? 0.0 : m_frequency - m_bandwidth / 2.0;
        double ref = Log2Hz(lowerEdge > 1.0 ? lowerEdge : kDeemphasisFloorHz);
        for (int k = kLo; k <= kHi; ++k, s = -s) {
            double octaves = Log2Hz(k * rate / n) - ref;
            if (octaves < 0.0) octaves = 0.0;
            float g = static_cast<float>(s * std::pow(10.0, octaves * m_deemphasis / 20.0));
            bins[2 * k] = bins[2 * k + 1] = g;
        }
    } else {
        for (int k = kLo; k <= kHi; ++k, s = -s) bins[2 * k] = s;
    }
    return FinishDesign(n, withResponse) ? 1 : 0;
}

bool CFirFilter::FinishDesign(int n, bool withResponse) {
    float* coefficients = m_coefficients.GetData();
    float* data = m_fft.GetData();
    const int offset = (n - m_taps) >> 1;
    m_fft.Inverse();
    std::memcpy(coefficients, data + offset, sizeof(float) * m_taps);
    CFftWindow::Apply(m_window, coefficients, m_taps);

    m_fft.Clear();
    std::memcpy(data + offset, coefficients, sizeof(float) * m_taps);
    m_fft.Forward();
    double peak = 0.0;
    for (int k = 0; k <= n / 2; ++k) {
        double re = data[2 * k], im = data[2 * k + 1];
        double magnitude = std::sqrt(re * re + im * im);
        if (magnitude > peak) peak = magnitude;
    }
    if (peak > kSilentPeak) {
        const double scale = 1.0 / peak;
        for (int j = 0; j < m_taps; ++j) coefficients[j] = static_cast<float>(coefficients[j] * scale);
    } else {
        std::memset(coefficients, 0, sizeof(float) * m_taps);
    }
    return CommitDesign(withResponse);
}

bool CFirFilter::CommitDesign(bool withResponse) {
    m_responseValid = false;
    m_designed = OnDesigned();
    if (m_designed && withResponse) ComputeResponse();
    return m_designed;
}

void CFirFilter::ComputeResponse() {
    const int n = DesignSize();
    if (!m_designed || !EnsureTransform(n)) return;
    const int bins = n / 2 + 1;
    if (!m_response.Reserve(bins)) return;
    float* data = m_fft.GetData();
    m_fft.Clear();
    std::memcpy(data + ((n - m_taps) >> 1), m_coefficients.GetData(), sizeof(float) * m_taps);
    m_fft.Forward();
    float* response = m_response.GetData();
    for (int k = 0; k < bins; ++k) {
        double re = data[2 * k], im = data[2 * k + 1];
        double magnitude = std::sqrt(re * re + im * im);
        response[k] = magnitude > 1e-9 ? static_cast<float>(20.0 * std::log10(magnitude)) : -200.0f;
    }
    m_responseLength = bins;
    m_responseValid = true;
}

// The further designs: bins 0 .. lastBin get (s g, s g) with g = gain(f_k) and the sign
// alternating from +1, then the taps are cut, windowed and normalised.
template <typename Gain>
int CFirFilter::DesignFromGains(float lastEdge, Gain gain) {
    CriticalSectionLock lock(&m_lock);
    if (m_designed) return 1;
    if (m_taps <= 0) return 0;
    const int n = DesignSize();
    if (!EnsureTransform(n) || !m_coefficients.Reserve(m_taps)) return 0;
    m_fft.Clear();
    float* bins = m_fft.GetData();
    float s = 1.0f;
    for (int k = 0, last = BinIndex(n, lastEdge); k <= last; ++k, s = -s) {
        const double hz = k * static_cast<double>(m_sampleRate) / n;
        bins[2 * k] = bins[2 * k + 1] = static_cast<float>(s * gain(k, hz, n));
    }
    return FinishDesign(n, false) ? 1 : 0;
}

int CFirFilter::DesignRaisedCosine(float edge1, float edge2) {
    return DesignFromGains(edge2, [edge1](int k, double hz, int n) {
        return k <= BinIndex(n, edge1) ? 1.0 : 0.5 + 0.5 * std::cos(2.0 * kPi * hz / 1920.0);
    });
}

// The C4FM shaping sin(x)/x, x = pi f / 4800.
int CFirFilter::DesignShaping(float edge) {
    return DesignFromGains(edge, [](int k, double hz, int) {
        const double x = kPi * hz / 4800.0;
        return k == 0 ? 1.0 : std::sin(x) / x;
    });
}

// Its inverse x/sin(x), which has its first pole at 4800 Hz: bins from there on stay empty.
int CFirFilter::DesignInverseShaping(float edge) {
    return DesignFromGains(edge, [](int k, double hz, int) {
        const double x = kPi * hz / 4800.0;
        return k == 0 ? 1.0 : (x < kPi ? x / std::sin(x) : 0.0);
    });
}

int CFirFilter::DesignWindowedSinc(bool withResponse) {
    CriticalSectionLock lock(&m_lock);
    if (m_designed) {
        if (withResponse && !m_responseValid) ComputeResponse();
        return 1;
    }
    if (m_type != kFilterLowPass && m_type != kFilterHighPass) return 0;
    if (m_taps <= 0 || !m_coefficients.Reserve(m_taps) || !m_work.Reserve(m_taps)) return 0;
    const int m = m_taps - 1;
    const int c = m / 2;
    const double f = m_frequency / static_cast<double>(m_sampleRate);
    double* h = m_work.GetData();
    std::memset(h, 0, sizeof(double) * m_taps);
    if (m > 0) {
        BlackmanSinc(h, c, m - 1, 2.0 * f);
        double sum = 0.0;
        for (int j = 0; j < m; ++j) sum += h[j];
        if (sum == 0.0) return 0;
        for (int j = 0; j < m; ++j) h[j] /= sum;
        if (m_type == kFilterHighPass) h[c] -= 1.0;
    }
    float* coefficients = m_coefficients.GetData();
    for (int j = 0; j < m; ++j) coefficients[j] = static_cast<float>(h[j]);
    coefficients[m] = 0.0f;
    return CommitDesign(withResponse) ? 1 : 0;
}

// ---- filtering ------------------------------------------------------------------------------

void CFirFilter::Reset() {
    CriticalSectionLock lock(&m_lock);
    if (m_history.GetData() && m_historyTaps > 0)
        std::memset(m_history.GetData(), 0, sizeof(float) * 2 * m_historyTaps);
    m_position = 0;
}

bool CFirFilter::EnsureReady(int) {
    CriticalSectionLock lock(&m_lock);
    return EnsureDesigned() && EnsureHistory();
}

bool CFirFilter::EnsureHistory() {
    const int taps = m_taps;
    if (m_historyTaps == taps && m_history.GetData()) return true;
    if (!m_history.Reserve(2 * static_cast<size_t>(taps))) {
        m_historyTaps = 0;
        return false;
    }
    std::memset(m_history.GetData(), 0, sizeof(float) * 2 * taps);
    m_historyTaps = taps;
    m_position = 0;
    return true;
}

void CFirFilter::FilterFloat(float* samples, int count) {
    if (!EnsureHistory()) return;
    const int taps = m_taps;
    float* history = m_history.GetData();
    const float* h = m_coefficients.GetData();
    int p = m_position;
    for (int i = 0; i < count; ++i) {
        history[p] = history[p + taps] = samples[i];
        samples[i] = static_cast<float>(DotDouble(history + p, h, taps));
        p = p == 0 ? taps - 1 : p - 1;
    }
    m_position = p;
}

void CFirFilter::Process(float* samples, int count) {
    if (!samples || count <= 0) return;
    CriticalSectionLock lock(&m_lock);
    if (!EnsureDesigned() || m_type == kFilterNone) return;
    FilterFloat(samples, count);
}

void CFirFilter::ProcessPrecise(float* samples, int count) { CFirFilter::Process(samples, count); }

void CFirFilter::ProcessInt16(int16_t* samples, int count) {
    if (!samples || count <= 0) return;
    CriticalSectionLock lock(&m_lock);
    if (!EnsureDesigned() || m_type == kFilterNone) return;
    float chunk[256];
    for (int done = 0; done < count;) {
        int n = count - done < 256 ? count - done : 256;
        for (int i = 0; i < n; ++i) chunk[i] = samples[done + i] * kQ15ToFloat;
        FilterFloat(chunk, n);
        for (int i = 0; i < n; ++i) samples[done + i] = RoundToInt16(chunk[i] * 32767.0);
        done += n;
    }
}
