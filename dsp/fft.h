// The averaged IF power spectrum for the host: frames of N samples in hops of N / overlap,
// windowed, transformed (FFTW real-to-complex) and their bin powers summed or kept.
//
// Power of bin k per frame: |4/N * X[k]|^2, capped at 1.0 (a full-scale sine at a bin centre
// through the Hann window reads 1). Used on the stream thread only.
#pragma once

#include <cstdint>

#include "dsp/fft_window.h"
#include "dsp/fftw_plan.h"
#include "foundation/scratch_buffer.h"

class CFFT {
public:
    // overlap < 1 becomes 1; window kind 1 (Hanning).
    CFFT(unsigned n, int overlap);
    virtual ~CFFT();
    CFFT(const CFFT&) = delete;
    CFFT& operator=(const CFFT&) = delete;

    // n >= 2 points. 1, or 0 when memory or the plan could not be had (the object is then
    // uninitialised and every transform returns 1).
    int SetFFTSize(unsigned n);
    unsigned GetFFTSize() const { return m_size; }
    // Values below 1 become 1; the hop N / overlap is at least 1 sample. Returns 1.
    int SetOverlap(int overlap);
    int GetOverlap() const { return m_overlap; }
    // 1, or 0 for a kind outside 0..10 (unchanged).
    int SetWindow(int kind);
    // Clears the carried input and the frame; the next spectrum restarts the average.
    void Reset();
    // Drops the carried input (its count only); the frame and the average stay.
    void ClearCarriedCount() { m_carried = 0; }

    // Results: 0 done, 1 not initialised, 2 null input or count < 1, 3 no memory.
    int TransformAvg(const float* x, int count);
    int TransformLast(const float* x, int count);
    int TransformAvgInt16(const short* x, int count);  // full scale 32768

    bool IsOutputReady() const { return m_outputReady; }
    // Copies min(n, N/2 + 1) bins of the mean power since the last call; restarts the average.
    int GetSpectrum(float* out, int n);
    // Bins 0 .. N/2 - 1 as mean power * 10 in 0.32 fixed point, saturated. Returns the count.
    int GetSpectrumFixed(unsigned* out, int n);
    // mode 0: bytes of one hop of input floats; mode 1: bytes of N/2 bins; else 0.
    int GetOutputSize(int mode) const;
    static int GetWindowCount() { return CFftWindow::GetCount(); }
    static int GetWindowName(int i, char* buffer, int size) { return CFftWindow::GetName(i, buffer, size); }

    static int GetLiveCount();  // CFFT objects alive in the process
    int GetSpectrumCount() const { return m_count; }
    int GetCarriedCount() const { return m_carried; }

private:
    int Transform(const float* x, int count, bool average);
    void AddSpectrum(bool average);
    int Hop() const;
    bool BuildWindow();

    // configuration
    int m_window = kWindowHanning;
    int m_overlap = 1;
    unsigned m_size = 0;  // 0: not initialised

    // running state carried between calls
    bool m_outputReady = false;
    bool m_restart = true;
    int m_count = 0;
    int m_carried = 0;

    RealFftPlan m_fft;
    ScratchBuffer<double> m_weights;     // the window, built once per size and kind
    ScratchBuffer<float> m_carry;        // up to one hop of input (sized N, the largest hop)
    ScratchBuffer<float> m_accumulator;  // N/2 + 1 bins
    ScratchBuffer<float> m_frame;        // the last N input samples
};
