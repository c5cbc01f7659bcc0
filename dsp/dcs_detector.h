// Recovers the 134.4 bit/s digital-coded squelch (DCS) from demodulated FM audio and reports
// every code whose 23-bit Golay word, normal or inverted, appears in any rotation of the last
// 23 bits. The audio is resampled to about 2688 Hz (20 samples per bit), low-passed at
// 300 Hz and clocked by a zero-crossing bit clock.
#pragma once

#include <cstdint>

#include "dsp/bit_clock.h"
#include "dsp/rational_resampler.h"
#include "dsp/sinc_fir_filter.h"
#include "dsp/squelch_detector.h"
#include "foundation/scratch_buffer.h"

extern const uint16_t DcsCodeTable[112];  // 9-bit codes (written in octal as 023 etc.)

// The 23-bit word of each code: bits 0..8 the code, bit 11 set, bits 12..22 the Golay (23,12)
// parity. Built once per process.
const uint32_t* DcsCodewordTable();

class CDcsDetector : public CSquelchDetector {
public:
    static constexpr int kCodeCount = 112;
    static constexpr int kMaxFound = 32;
    static constexpr int kInverted = 512;  // added to the code of an inverted match

    CDcsDetector();  // 1000 Hz input until SetSampleRate

    // Input rate in Hz, 1000 .. 1e6. Returns 1 when accepted (also when unchanged), 0 when
    // refused or out of memory (nothing changed).
    int SetSampleRate(float rateHz);

    // Take samples[0], samples[stride], ... below samples[count]. Nothing happens for stride 0.
    void Process(const int16_t* samples, uint32_t count, uint32_t stride);

    // Restore the post-construction running state: empty list, silent resampler and
    // low-pass, cleared register and bit clock.
    void Reset();

    // Codes seen at the latest bit that matched anything: code, or code + 512 when inverted.
    // The list stays until the next matching bit or ClearFound.
    const int32_t* GetFound() const { return m_found; }
    int GetFoundCount() const { return m_foundCount; }
    void ClearFound() { m_foundCount = 0; }
    float GetEffectiveRate() const { return m_effectiveRate; }
    bool IsReady() const { return m_filter && m_clock && m_resampler && m_filtered.GetData(); }

private:
    static void BitThunk(void* context, BitClock* clock, int bitCount, int bit);
    void OnBit(int bitCount, int bit);

    SincFirFilterPtr m_filter;
    BitClockPtr m_clock;
    int32_t m_found[kMaxFound] = {};
    int m_foundCount = 0;
    float m_effectiveRate = 0.0f;
    RationalResamplerPtr m_resampler;
    uint32_t m_register = 0;  // the last 23 bits, newest at bit 22
    float m_inputRate = 0.0f;
    ScratchBuffer<int16_t> m_filtered;  // one resampler block of filtered samples
};
