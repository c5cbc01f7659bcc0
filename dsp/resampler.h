// 16-bit block resampler between arbitrary rates: an 8-tap polyphase interpolator over a
// process-wide table of 2049 fractional phases (Blackman-windowed sinc, cut-off 0.9 of the
// input Nyquist frequency). The plug-in uses it for the decoded voice (8000 samples/s to the
// output rate) and for the analogue audio (IF rate to the output rate).
//
// The read position is a 16.16 fixed-point phase carried across calls together with the last
// 16 input samples, so the output does not depend on how the input is split into blocks: a
// stream of R_in samples/s yields R_out samples/s on average, and the count per call varies
// by one. The output lags the input by 8 input samples.
//
// Threads: an object belongs to one thread at a time (no lock inside). The phase table is
// built once under std::call_once and only read afterwards, so objects on different threads
// need nothing more.
#pragma once

#include <cstdint>

#include "foundation/scratch_buffer.h"

class CResampler {
public:
    static constexpr int kPhaseRows = 2049;  // fractions -0.5 .. +0.5 in steps of 1/2048
    static constexpr int kTaps = 8;

    CResampler();  // 48000 -> 16000 Hz, blocks of 2048
    CResampler(const CResampler&) = delete;
    CResampler& operator=(const CResampler&) = delete;

    // Set the rates and the expected block size; clears history and phase.
    //   inRate, outRate  > 0 Hz, with 1/256 <= inRate/outRate <= 16384
    //   block            1 .. 1048576 input samples (a sizing hint: Process takes any count)
    // Returns 1 when accepted, 0 when refused (nothing changed). When the buffers cannot be
    // allocated the rates are kept but Process returns null until a later call succeeds.
    int SetRates(float inRate, float outRate, uint32_t block);

    // Restore the state after SetRates: silent history, phase 8.0.
    void Reset();

    // Convert count samples. Returns the output block (owned by the resampler, valid until
    // the next call) and its length in *outCount (at most MaxOutput(count)); null when a
    // buffer is missing, block is null with count > 0, or count is too large to buffer.
    const int16_t* Process(const int16_t* block, uint32_t count, uint32_t* outCount);

    // Largest number of outputs Process can return for count inputs at the current rates.
    uint64_t MaxOutput(uint32_t count) const;

    // Windowed-sinc tap k of an n-tap interpolator for the fraction x (-0.5 .. 0.5).
    //   k, n    0 <= k < n, n >= 2 (the window spans n - 1 samples)
    //   cut     cut-off as a fraction of the input Nyquist frequency
    //   window  0 Hann, 1 Hamming, 2 Blackman, 3..7 further cosine sums, 8+ rectangular
    static double Kernel(int k, double x, double cut, int n, int window);

    // Row r of the process-wide phase table (built once on first use), kTaps Q15 taps.
    static const int16_t* TableRow(int r);

    float GetInRate() const { return m_inRate; }
    float GetOutRate() const { return m_outRate; }
    uint32_t GetStep() const { return m_step; }

private:
    static constexpr uint32_t kHistory = 16;
    static constexpr uint32_t kStartPhase = 8u << 16;
    // Input taken per inner pass, so that the 16.16 phase never overflows.
    static constexpr uint32_t kMaxChunk = 16384;

    bool EnsureBuffers(uint32_t count);

    // configuration
    float m_inRate = 48000.0f;
    float m_outRate = 16000.0f;
    uint32_t m_blockSize = 2048;
    uint32_t m_step = 3u << 16;  // input positions per output, 16.16

    // running state carried between calls
    uint32_t m_phase = kStartPhase;  // read position in m_input, 16.16
    ScratchBuffer<int16_t> m_input;  // kHistory history samples followed by the block
    ScratchBuffer<int16_t> m_output;
};
