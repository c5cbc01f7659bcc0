// Analogue FM from the real IF stream: mixing to baseband at the IF centre with a table
// oscillator (no frequency tracking), two 6 kHz low-pass branch filters, a phase-difference
// discriminator, a DC block, gain and a clamp. Output: radians per sample, at the input rate.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/fir_filter.h"
#include "dsp/table_oscillator.h"
#include "foundation/scratch_buffer.h"

class CFmDemodulator {
public:
    CFmDemodulator();
    ~CFmDemodulator();
    CFmDemodulator(const CFmDemodulator&) = delete;
    CFmDemodulator& operator=(const CFmDemodulator&) = delete;

    // Input rate in Hz, 1000 .. 1,000,000; other rates are ignored (the oscillator table holds
    // one entry per Hz of rate). A change rebuilds the oscillator table, the filters and the DC
    // block before the next block.
    void SetSampleRate(uint32_t hz);
    uint32_t GetSampleRate() const { return m_sampleRate; }
    // IF centre in Hz (0 .. rate - 1): one table entry per sample is 1 Hz.
    void SetCenterFrequency(uint32_t hz);
    void SetGain(float gain) { m_gain = gain; }
    // Restarts the oscillator and clears the filters and the DC block.
    void Reset();

    // Returns count samples of audio, clamped to +-3, owned by the demodulator and valid until
    // the next call; null for null input, count < 1 or no memory (nothing is consumed then). Blocks of any size form one
    // continuous stream.
    const float* Process(const float* samples, int count);

private:
    void EnsureFilters();  // the branch filters' settings and the DC block, once
    bool EnsureOscillatorTable();

    // configuration
    bool m_filtersConfigured = false;
    bool m_tableReady = false;
    uint32_t m_sampleRate = 48000;
    uint32_t m_step = 12000;
    float m_gain = 1.0f;
    float m_dcB = 0.0f, m_dcA = 0.0f;  // y = a y + b (d - d_prev)

    // running state carried between calls
    TableOscillator m_oscillator;
    PhaseDiscriminator m_discriminator;
    float m_dcY = 0.0f, m_dcPrev = 0.0f;

    std::unique_ptr<CFirFilter> m_filterA;
    std::unique_ptr<CFirFilter> m_filterB;
    ScratchBuffer<float> m_branchA, m_branchB, m_output;
};
