#include "dsp/table_oscillator.h"

#include <cmath>

#include "dsp/dsp_math.h"

bool TableOscillator::Build(uint32_t rate) {
    m_rate = 0;
    if (rate < 4) return false;
    float* table = m_table.Reserve(rate);
    if (!table) return false;
    for (uint32_t k = 0; k < rate; ++k) table[k] = static_cast<float>(std::sin(2.0 * kPi * k / rate));
    m_rate = rate;
    m_quarterOffset = rate / 4;
    m_phase = 0;
    return true;
}

void TableOscillator::Mix(const float* x, float* cosine, float* sine, int count, int64_t stepHz) {
    const uint32_t rate = m_rate;
    if (!rate) return;
    int64_t wrapped = stepHz % static_cast<int64_t>(rate);
    const uint32_t step = static_cast<uint32_t>(wrapped < 0 ? wrapped + rate : wrapped);
    const float* table = m_table.GetData();
    uint32_t phase = m_phase;
    for (int i = 0; i < count; ++i) {
        uint32_t quarter = phase + m_quarterOffset;
        if (quarter >= rate) quarter -= rate;
        cosine[i] = x[i] * table[quarter];
        sine[i] = x[i] * table[phase];
        phase += step;
        if (phase >= rate) phase -= rate;
    }
    m_phase = phase;
}

float PhaseDiscriminator::Step(float a, float b) {
    const float power = a * a + b * b;
    const float d = power == 0.0f ? 0.0f : std::atan2(m_prevB * a - m_prevA * b, power);
    m_prevA = a;
    m_prevB = b;
    return d;
}
