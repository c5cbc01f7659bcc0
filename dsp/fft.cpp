#include "dsp/fft.h"

#include <atomic>
#include <cstring>

#include "dsp/dsp_math.h"

namespace {
std::atomic<int> g_liveCount{0};
constexpr int kRenormaliseAfter = 1000;  // spectra summed before the sum becomes a mean
}  // namespace

CFFT::CFFT(unsigned n, int overlap) {
    ++g_liveCount;
    m_overlap = overlap < 1 ? 1 : overlap;
    SetFFTSize(n);
}

CFFT::~CFFT() { --g_liveCount; }

int CFFT::GetLiveCount() { return g_liveCount.load(); }

int CFFT::SetFFTSize(unsigned n) {
    m_size = 0;
    m_fft.Destroy();
    bool ok = n >= 2 && n <= (1u << 24) && m_fft.Create(static_cast<int>(n), RealFftPlan::kForward) &&
              m_frame.Reserve(n) && m_accumulator.Reserve(n / 2 + 1) && m_carry.Reserve(n) && m_weights.Reserve(n);
    if (!ok) {
        m_fft.Destroy();
        m_frame.Release();
        m_accumulator.Release();
        m_carry.Release();
        m_weights.Release();
        return 0;
    }
    m_size = n;
    BuildWindow();
    std::memset(m_accumulator.GetData(), 0, sizeof(float) * (n / 2 + 1));
    m_count = 0;
    Reset();
    return 1;
}

bool CFFT::BuildWindow() {
    if (!m_size) return false;
    double* w = m_weights.GetData();
    for (unsigned i = 0; i < m_size; ++i) w[i] = 1.0;
    return CFftWindow::ApplyDouble(m_window, w, static_cast<int>(m_size)) == 1;
}

int CFFT::SetOverlap(int overlap) {
    m_overlap = overlap < 1 ? 1 : overlap;
    return 1;
}

int CFFT::SetWindow(int kind) {
    if (kind < 0 || kind >= CFftWindow::GetCount()) return 0;
    m_window = kind;
    BuildWindow();
    return 1;
}

void CFFT::Reset() {
    m_carried = 0;
    if (m_size) {
        std::memset(m_carry.GetData(), 0, sizeof(float) * m_size);
        std::memset(m_frame.GetData(), 0, sizeof(float) * m_size);
        m_fft.Clear();
    }
    m_restart = true;
}

int CFFT::Hop() const {
    // An overlap above N would make a hop of 0 samples and the loop would never end.
    int hop = static_cast<int>(m_size / static_cast<unsigned>(m_overlap));
    return hop < 1 ? 1 : hop;
}

int CFFT::GetOutputSize(int mode) const {
    if (mode == 0) return m_size ? Hop() * 4 : 0;
    if (mode == 1) return static_cast<int>(m_size / 2 * 4);
    return 0;
}

void CFFT::AddSpectrum(bool average) {
    const int n = static_cast<int>(m_size), bins = n / 2 + 1;
    float* acc = m_accumulator.GetData();
    if (m_restart) {
        std::memset(acc, 0, sizeof(float) * bins);
        m_count = 0;
        m_restart = false;
    }
    float* data = m_fft.GetData();
    const float* frame = m_frame.GetData();
    const double* w = m_weights.GetData();
    for (int i = 0; i < n; ++i) data[i] = static_cast<float>(frame[i] * w[i]);
    m_fft.Forward();
    const float scale = 4.0f / n;
    for (int k = 0; k < bins; ++k) {
        float re = scale * data[2 * k], im = scale * data[2 * k + 1];
        float p = re * re + im * im;
        if (p > 1.0f) p = 1.0f;
        acc[k] = average ? acc[k] + p : p;
    }
    m_outputReady = true;
    if (!average) {
        m_count = 1;
        return;
    }
    if (++m_count > kRenormaliseAfter) {
        const float inverse = 1.0f / m_count;
        for (int k = 0; k < bins; ++k) acc[k] *= inverse;
        m_count = 1;
    }
}

int CFFT::Transform(const float* x, int count, bool average) {
    if (!m_size || m_overlap < 1 || !m_fft.IsReady()) return 1;
    if (!x || count < 1) return 2;
    float* carry = m_carry.GetData();
    float* frame = m_frame.GetData();
    if (!carry) return 3;
    const int n = static_cast<int>(m_size), hop = Hop();
    int consumed = 0;
    int toDo = count + m_carried;
    while (toDo >= hop) {
        std::memmove(frame, frame + hop, sizeof(float) * (n - hop));
        float* tail = frame + n - hop;
        // A smaller hop than when the samples were carried leaves some of them for later.
        int fromCarry = m_carried < hop ? m_carried : hop;
        std::memcpy(tail, carry, sizeof(float) * fromCarry);
        if (fromCarry < m_carried) std::memmove(carry, carry + fromCarry, sizeof(float) * (m_carried - fromCarry));
        m_carried -= fromCarry;
        const int fresh = hop - fromCarry;
        std::memcpy(tail + fromCarry, x + consumed, sizeof(float) * fresh);
        consumed += fresh;
        toDo -= hop;
        AddSpectrum(average);
    }
    // Fewer than one hop is left, so the carry (N floats, the largest hop) holds it.
    std::memcpy(carry + m_carried, x + consumed, sizeof(float) * (count - consumed));
    m_carried += count - consumed;
    return 0;
}

int CFFT::TransformAvg(const float* x, int count) { return Transform(x, count, true); }

int CFFT::TransformLast(const float* x, int count) { return Transform(x, count, false); }

int CFFT::TransformAvgInt16(const short* x, int count) {
    if (!x || count < 1) return 2;
    float chunk[512];
    for (int done = 0; done < count;) {
        int n = count - done < 512 ? count - done : 512;
        for (int i = 0; i < n; ++i) chunk[i] = x[done + i] * kQ15ToFloat;
        int result = TransformAvg(chunk, n);
        if (result != 0) return result;
        done += n;
    }
    return 0;
}

int CFFT::GetSpectrum(float* out, int n) {
    if (!out || n < 1 || !m_size || !m_accumulator.GetData()) return 0;
    const int bins = static_cast<int>(m_size / 2 + 1);
    float* acc = m_accumulator.GetData();
    if (m_count > 1) {
        const float inverse = 1.0f / m_count;
        for (int k = 0; k < bins; ++k) acc[k] *= inverse;
        m_count = 1;
    }
    const int m = n < bins ? n : bins;
    std::memcpy(out, acc, sizeof(float) * m);
    m_restart = true;
    m_outputReady = false;
    return m;
}

int CFFT::GetSpectrumFixed(unsigned* out, int n) {
    if (!out || n < 1 || !m_size || !m_accumulator.GetData()) return 0;
    const int bins = static_cast<int>(m_size / 2);
    const int m = n < bins ? n : bins;
    const float* acc = m_accumulator.GetData();
    const double count = m_count > 0 ? m_count : 1;
    for (int k = 0; k < m; ++k) {
        double v = acc[k] / count * 10.0 * 4294967296.0;
        // A NaN average (a NaN sample reached the accumulator) reads as silence: converting it
        // to unsigned would be undefined.
        out[k] = !(v > 0.0) ? 0u : v >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<unsigned>(v);
    }
    m_count = 1;
    m_restart = true;
    m_outputReady = false;
    return m;
}
