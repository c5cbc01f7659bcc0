// CFirFilter applied in 16-bit fixed point: Q15 taps (trunc(32767 h)), Q15 samples, products
// summed exactly; 16 taps per loop step, so the tap count is a multiple of 16.
//
// Scaling: y = (sum of Q30 products) >> 15, saturated to 16 bits. The newest sample meets the
// last tap (the mirror of CFirFilter), which is the same filter for symmetric taps.
#pragma once

#include "dsp/fir_filter.h"

class CMmxFirFilter : public CFirFilter {
public:
    // What a processing call writes: float samples, float at full precision, 16-bit samples.
    enum class Output { kFloat, kPrecise, kInt16 };

    CMmxFirFilter() = default;
    ~CMmxFirFilter() override = default;

    void Process(float* samples, int count) override;
    // The output at full accumulator precision: sum * 2^-30.
    void ProcessPrecise(float* samples, int count) override;
    void ProcessInt16(int16_t* samples, int count) override;
    bool EnsureReady(int count) override;
    void Reset() override;
    // Rounds n up to a multiple of 16 (1..16384).
    int SetTaps(int n) override;

    // The Q15 taps (GetTaps() values), or null before the first design.
    const int16_t* GetCoefficients16();

protected:
    bool OnDesigned() override;

private:
    template <Output kind, typename Sample>
    void Filter(Sample* samples, int count);
    bool EnsureHistory16(int count);

    ScratchBuffer<int16_t> m_coefficients16;
    // The last taps - 1 inputs, then the current block.
    ScratchBuffer<int16_t> m_history16;
    int m_history16Taps = 0;
    // Whether the sum of |tap| is small enough for 32-bit partial sums never to overflow.
    bool m_narrowSums = true;
};
