// Finds a continuous sub-audible tone (CTCSS, 62.5 .. 254.1 Hz) in demodulated FM audio:
// the audio is resampled to about 1378 Hz, the newest 1024 samples (about 0.75 s) are
// Blackman-windowed and transformed, and the tone whose bin holds at least a quarter of the
// power of the tone band wins.
#pragma once

#include <cstdint>

#include "dsp/psd_estimator.h"
#include "dsp/rational_resampler.h"
#include "dsp/squelch_detector.h"
#include "foundation/scratch_buffer.h"

extern const float CtcssToneTable[52];  // Hz

class CCtcssDetector : public CSquelchDetector {
public:
    static constexpr int kToneCount = 52;
    static constexpr uint32_t kWindowLength = 1024;

    CCtcssDetector();  // 48000 Hz input

    // Input rate in Hz, 1400 .. 1e6 (the analysis rate must fit below it). Returns 1 when
    // accepted (also when unchanged), 0 when refused or out of memory (nothing changed).
    int SetSampleRate(float rateHz);

    // Take samples[0], samples[stride], ... below samples[count], then look for a tone in the
    // newest 1024 analysis samples. Nothing happens for stride 0.
    void Process(const int16_t* samples, uint32_t count, uint32_t stride);

    // Restore the post-construction running state: silent window and resampler, no tone.
    void Reset();

    // Index into CtcssToneTable, or -1 when no tone is present.
    int GetToneIndex() const { return m_toneIndex; }
    // The detected tone in milli-Hz, rounded to the nearest (0 when none): the unit a host sets
    // its tone in, so the table's 64.7 Hz, 64.69999695 in single precision, reads 64700.
    uint32_t GetToneMilliHz() const;
    float GetEffectiveRate() const { return m_effectiveRate; }
    bool IsReady() const { return m_resampler && m_spectrum; }

private:
    void DetectTone();

    ScratchBuffer<int32_t> m_window;  // kWindowLength analysis samples, newest last
    int m_toneIndex = -1;
    SpectrumEstimatorPtr m_spectrum;
    float m_effectiveRate = 0.0f;
    RationalResamplerPtr m_resampler;
    float m_inputRate = 0.0f;
};
