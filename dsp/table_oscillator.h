// Mixing a real stream to baseband with a table oscillator: one cycle of a sine in `rate`
// entries, so a step of one entry per sample is 1 Hz; the cosine is read a quarter cycle on.
// No trigonometric call per sample. The phase carries over between blocks.
#pragma once

#include <cstdint>

#include "foundation/scratch_buffer.h"

class TableOscillator {
public:
    // Builds the table for `rate` samples per second (>= 4) and restarts the phase; false
    // when the table could not be had.
    bool Build(uint32_t rate);
    bool IsReady() const { return m_rate != 0; }
    void Restart() { m_phase = 0; }

    // cosine[i] = x[i] cos(phase), sine[i] = x[i] sin(phase), then phase += stepHz (any value;
    // taken modulo the rate).
    void Mix(const float* x, float* cosine, float* sine, int count, int64_t stepHz);

private:
    ScratchBuffer<float> m_table;
    uint32_t m_rate = 0;
    uint32_t m_quarterOffset = 0;
    uint32_t m_phase = 0;
};

// The phase step per sample between successive baseband samples, in radians:
// atan2(b' a - a' b, a^2 + b^2) with (a', b') the previous sample, 0 when a^2 + b^2 is 0.
// Keeps the previous sample between blocks.
class PhaseDiscriminator {
public:
    void Reset() { m_prevA = m_prevB = 0.0f; }
    float Step(float a, float b);

private:
    float m_prevA = 0.0f, m_prevB = 0.0f;
};
