// A FIR filter with given taps over a circular delay line: the demodulator's sync matched
// filter. One thread at a time.
#pragma once

#include "foundation/scratch_buffer.h"

// out[n] = sum_k t[k] in[n-(W-1-k)] (tap 0 meets the oldest sample).
class FirTapFilter {
public:
    FirTapFilter() = default;
    FirTapFilter(const FirTapFilter&) = delete;
    FirTapFilter& operator=(const FirTapFilter&) = delete;

    // n >= 0; a new length drops the delay line.
    void SetLength(int n);
    int GetLength() const { return m_length; }
    // 0 done, 1 null taps or n <= 0, 2 no memory. Sets the length to n.
    int SetTaps(const float* taps, int n);
    // In place. 0 done, 1 null data or n <= 0, 2 no taps, 3 no memory for the delay line.
    int Process(float* data, int n);

private:
    bool EnsureDelay();  // a silent delay line for the current length

    ScratchBuffer<float> m_taps;
    // Every sample stored twice (positions p and p + W) so the W newest are contiguous.
    ScratchBuffer<float> m_delay;
    bool m_delayReady = false;
    int m_length = 0;
    int m_position = 0;
};
