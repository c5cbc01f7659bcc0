#include "dsp/fm_demodulator.h"

#include <cmath>
#include <initializer_list>

#include "dsp/dsp_math.h"
#include "dsp/fft_window.h"

namespace {
constexpr uint32_t kMinSampleRate = 1000;
constexpr uint32_t kMaxSampleRate = 1000000;
constexpr int kBranchTaps = 512;
constexpr float kBranchCutoffHz = 6000.0f;
constexpr float kOutputLimit = 3.0f;
}  // namespace

CFmDemodulator::CFmDemodulator() {
    m_filterA.reset(CreateFirFilter());
    m_filterB.reset(CreateFirFilter());
    Reset();
}

CFmDemodulator::~CFmDemodulator() = default;

void CFmDemodulator::SetSampleRate(uint32_t hz) {
    // A rate below 1000 would make a table of (almost) no entries and a modulo by 0; one above
    // 10^6 a table of gigabytes.
    if (hz < kMinSampleRate || hz > kMaxSampleRate || hz == m_sampleRate) return;
    m_sampleRate = hz;
    m_filtersConfigured = false;
    m_tableReady = false;
}

void CFmDemodulator::SetCenterFrequency(uint32_t hz) { m_step = hz; }

void CFmDemodulator::Reset() {
    m_oscillator.Restart();
    m_dcY = m_dcPrev = 0.0f;
    m_discriminator.Reset();
    if (m_filterA) m_filterA->Reset();
    if (m_filterB) m_filterB->Reset();
}

void CFmDemodulator::EnsureFilters() {
    if (m_filtersConfigured) return;
    for (CFirFilter* f : {m_filterA.get(), m_filterB.get()}) {
        if (!f) continue;
        f->SetTaps(kBranchTaps);
        f->SetSampleRate(static_cast<float>(m_sampleRate));
        f->SetType(kFilterLowPass);
        f->SetWindow(kWindowHanning);
        f->SetFrequency(kBranchCutoffHz);
    }
    // DC block with its corner at 5 Hz.
    m_dcA = static_cast<float>(std::exp(-10.0 * kPi / m_sampleRate));
    m_dcB = (1.0f + m_dcA) / 2.0f;
    m_filtersConfigured = true;
}

bool CFmDemodulator::EnsureOscillatorTable() {
    if (!m_tableReady) m_tableReady = m_oscillator.Build(m_sampleRate);
    return m_tableReady;
}

const float* CFmDemodulator::Process(const float* samples, int count) {
    if (!samples || count < 1 || !m_filterA || !m_filterB) return nullptr;
    EnsureFilters();
    if (!EnsureOscillatorTable()) return nullptr;
    float* a = m_branchA.Reserve(count);
    float* b = m_branchB.Reserve(count);
    float* out = m_output.Reserve(count);
    // A branch filter that could not be designed or has no delay line would pass its branch
    // through unfiltered: no output rather than a wrong one.
    if (!a || !b || !out || !m_filterA->EnsureReady(count) || !m_filterB->EnsureReady(count)) return nullptr;

    m_oscillator.Mix(samples, a, b, count, m_step);

    m_filterA->ProcessPrecise(a, count);
    m_filterB->ProcessPrecise(b, count);

    float y = m_dcY, dPrev = m_dcPrev;
    for (int i = 0; i < count; ++i) {
        const float d = m_discriminator.Step(a[i], b[i]);
        y = y * m_dcA + (d - dPrev) * m_dcB;
        dPrev = d;
        float v = y * m_gain;
        out[i] = v > kOutputLimit ? kOutputLimit : (v < -kOutputLimit ? -kOutputLimit : v);
    }
    m_dcY = y;
    m_dcPrev = dPrev;
    return out;
}
