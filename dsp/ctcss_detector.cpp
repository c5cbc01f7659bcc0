#include "dsp/ctcss_detector.h"

#include <cmath>
#include <cstring>

#include "dsp/rational_resampler.h"
#include "dsp/psd_estimator.h"

const float CtcssToneTable[52] = {
    62.5f,  64.7f,  67.0f,  69.3f,  71.9f,  74.4f,  77.0f,  79.7f,  82.5f,  85.4f,  88.5f,  91.5f,  94.8f,
    97.4f,  100.0f, 103.5f, 107.2f, 110.9f, 114.8f, 118.8f, 123.0f, 127.3f, 131.8f, 136.5f, 141.3f, 146.2f,
    151.4f, 156.7f, 159.8f, 162.2f, 165.5f, 167.9f, 171.3f, 173.8f, 177.3f, 179.9f, 183.5f, 186.2f, 189.9f,
    192.8f, 196.6f, 199.5f, 203.5f, 206.5f, 210.7f, 218.1f, 225.7f, 229.1f, 233.6f, 241.8f, 250.3f, 254.1f,
};

namespace {
const float kAnalysisRateHz = 1378.0f;
const int kResamplerTaps = 127;
const float kRateTolerance = 0.01f;
// The band spans the table: 62.5 and 254.1 Hz times the 1024 points.
const double kBandLow = 64000.0;
const double kBandHigh = 260198.4;
}  // namespace

CCtcssDetector::CCtcssDetector() {
    m_window.Reserve(kWindowLength);
    m_spectrum.reset(SpectrumEstimatorCreate(nullptr));
    if (m_spectrum && (!SpectrumEstimatorSetSize(m_spectrum.get(), kWindowLength) ||
                       !SpectrumEstimatorSetWindow(m_spectrum.get(), SpectrumEstimator::kBlackman))) {
        m_spectrum.reset();
    }
    m_resampler.reset(RationalResamplerCreate(nullptr));
    Reset();
    SetSampleRate(48000.0f);
}

void CCtcssDetector::Reset() {
    if (m_window.GetData()) std::memset(m_window.GetData(), 0, kWindowLength * sizeof(int32_t));
    m_toneIndex = -1;
    RationalResamplerReset(m_resampler.get());
}

int CCtcssDetector::SetSampleRate(float rateHz) {
    if (!(rateHz >= 1400.0f) || !(rateHz <= 1e6f)) return 0;
    if (rateHz == m_inputRate) return 1;
    if (!m_resampler ||
        !RationalResamplerConfigure(m_resampler.get(), kResamplerTaps, rateHz, kAnalysisRateHz, kRateTolerance))
        return 0;
    m_inputRate = rateHz;
    m_effectiveRate = static_cast<float>(static_cast<double>(rateHz) * m_resampler->L / m_resampler->M);
    return 1;
}

void CCtcssDetector::Process(const int16_t* samples, uint32_t count, uint32_t stride) {
    if (!samples || stride == 0 || !IsReady() || !m_window.GetData() || !m_effectiveRate) return;
    int32_t* window = m_window.GetData();
    // One resampler block at a time: its output block then holds all of the block's outputs.
    const uint64_t piece = static_cast<uint64_t>(m_resampler->blockSize) * stride;
    for (uint64_t start = 0; start < count; start += piece) {
        const uint32_t n = static_cast<uint32_t>(count - start < piece ? count - start : piece);
        const uint32_t produced = RationalResamplerRun(m_resampler.get(), nullptr, samples + start, n, stride);
        const int32_t* fresh = m_resampler->output.GetData();
        if (produced >= kWindowLength) {
            std::memcpy(window, fresh + produced - kWindowLength, kWindowLength * sizeof(int32_t));
        } else if (produced) {
            std::memmove(window, window + produced, (kWindowLength - produced) * sizeof(int32_t));
            std::memcpy(window + kWindowLength - produced, fresh, produced * sizeof(int32_t));
        }
    }
    DetectTone();
}

uint32_t CCtcssDetector::GetToneMilliHz() const {
    if (m_toneIndex < 0 || m_toneIndex >= kToneCount) return 0;
    return static_cast<uint32_t>(std::lround(CtcssToneTable[m_toneIndex] * 1000.0));
}

void CCtcssDetector::DetectTone() {
    const float* power = SpectrumEstimatorTransform32(m_spectrum.get(), m_window.GetData(), kWindowLength);
    if (!power) return;
    const double r = 1.0 / m_effectiveRate;
    const int bins = static_cast<int>(kWindowLength / 2);
    int low = static_cast<int>(std::nearbyint(kBandLow * r));
    int high = static_cast<int>(std::nearbyint(kBandHigh * r));
    if (high > bins - 1) high = bins - 1;
    double total = 0.0;
    for (int k = low; k <= high; ++k) total += power[k];
    int best = -1;
    double bestPower = 0.0;
    // Tones are walked in table order; a strictly greater power wins, so the lower of two
    // equal tones is kept.
    for (int t = 0; t < kToneCount; ++t) {
        const int bin = static_cast<int>(std::nearbyint(CtcssToneTable[t] * r * kWindowLength));
        if (bin < low || bin > high) continue;
        if (best < 0 || power[bin] > bestPower) {
            best = t;
            bestPower = power[bin];
        }
    }
    // Silence (no power at all) is no tone.
    m_toneIndex = (best >= 0 && total > 0.0 && bestPower >= 0.25 * total) ? best : -1;
}
