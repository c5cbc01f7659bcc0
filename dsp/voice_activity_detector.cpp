#include "dsp/voice_activity_detector.h"

#include <cmath>
#include <cstring>

#include "dsp/dsp_math.h"

namespace {
const uint32_t kMaxLength = 1u << 24;
const double kFullScaleSquared = 1073741824.0;  // 2^30: energies relative to 16-bit full scale
}  // namespace

CVoiceActivityDetector::CVoiceActivityDetector() {
    m_block.Reserve(m_length);
    Reset();
}

void CVoiceActivityDetector::Reset() {
    m_fill = 0;
    m_previousInput = 0;
    m_previousOutput = 0;
    m_zcr = 0.0f;
    m_energy = 0.0f;
    m_level = 0.0f;
    m_score = 0.0f;
    m_class = kTooQuiet;
}

int CVoiceActivityDetector::SetSampleRate(float rateHz) {
    if (!(rateHz > 0.0f) || !std::isfinite(rateHz)) return 0;
    m_sampleRate = rateHz;
    return 1;
}

int CVoiceActivityDetector::SetBlockLength(uint32_t samples) {
    if (samples == 0 || samples > kMaxLength) return 0;
    if (samples == m_length) return 1;
    if (samples > m_block.Capacity()) {
        // Grow keeps a partial block.
        if (!m_block.Grow(samples)) return 0;
    }
    m_length = samples;
    if (m_fill >= m_length) m_fill = 0;
    return 1;
}

int CVoiceActivityDetector::SetLevelThreshold(float level) {
    if (!(level >= 0.0f) || !std::isfinite(level)) return 0;
    m_levelThreshold = level;
    return 1;
}

int CVoiceActivityDetector::SetVoiceThreshold(float score) {
    if (!(score >= 0.0f) || !std::isfinite(score)) return 0;
    m_voiceThreshold = score;
    return 1;
}

void CVoiceActivityDetector::Process(const int16_t* samples, uint32_t count, uint32_t stride) {
    if (!samples || stride == 0) return;
    int32_t* block = m_block.GetData();
    if (!block || m_block.Capacity() < m_length) return;
    for (uint32_t i = 0; i < count;) {
        block[m_fill++] = samples[i];
        if (m_fill == m_length) {
            Analyse();
            m_fill = 0;
        }
        i = (count - i > stride) ? i + stride : count;
    }
}

void CVoiceActivityDetector::Analyse() {
    int32_t* y = m_block.GetData();
    const uint32_t n = m_length;
    const double rate = m_sampleRate;

    // DC-blocking high-pass with its corner at 5 Hz.
    const double a = std::exp(-10.0 * kPi / rate);
    const double b = (1.0 + a) * 0.5;
    const int32_t firstPrevious = m_previousOutput;
    for (uint32_t i = 0; i < n; ++i) {
        const int32_t x = y[i];
        const int32_t out = static_cast<int32_t>(b * (x - m_previousInput) + a * m_previousOutput);
        m_previousInput = x;
        m_previousOutput = out;
        y[i] = out;
    }

    uint64_t crossings = 0;
    double energy = 0.0;
    int32_t previous = firstPrevious;
    for (uint32_t i = 0; i < n; ++i) {
        crossings += (y[i] < 0) != (previous < 0);
        previous = y[i];
        energy += static_cast<double>(y[i]) * y[i];
    }
    const double zcr = static_cast<double>(crossings) / n;
    const double e = energy / (n * kFullScaleSquared);
    m_zcr = static_cast<float>(zcr);
    m_energy = static_cast<float>(e);

    // Segments of rate/45 samples (22 ms); a remainder is ignored.
    const double segmentLength = std::nearbyint(rate * 0.022222223);
    const uint32_t s = segmentLength < 1.0 ? 1 : segmentLength > n ? n : static_cast<uint32_t>(segmentLength);
    const uint32_t segments = n / s;
    uint32_t busy = 0, quiet = 0;
    previous = firstPrevious;
    for (uint32_t g = 0; g < segments; ++g) {
        uint32_t segmentCrossings = 0;
        double segmentEnergy = 0.0;
        for (uint32_t i = g * s; i < (g + 1) * s; ++i) {
            segmentCrossings += (y[i] < 0) != (previous < 0);
            previous = y[i];
            segmentEnergy += static_cast<double>(y[i]) * y[i];
        }
        if (static_cast<double>(segmentCrossings) / s >= 1.5 * zcr) ++busy;
        if (segmentEnergy / (s * kFullScaleSquared) <= 0.1 * e) ++quiet;
    }

    const double level = std::sqrt(e * zcr * 10000.0);
    m_level = static_cast<float>(level);
    if (level < m_levelThreshold) {
        m_class = kTooQuiet;
        m_score = 0.0f;
        return;
    }
    const double r1 = static_cast<double>(busy) / segments * 10.0;
    const double r2 = static_cast<double>(quiet) / segments * 16.666666666666668;
    const double score = std::fmin(1.0, std::fmax(r1, r2) * 0.2);
    m_score = static_cast<float>(score);
    if (score >= m_voiceThreshold)
        m_class = kVoice;
    else if (r1 > 1.0 || r2 > 1.0)
        m_class = kNotVoice;
    else
        m_class = kSteady;
}
