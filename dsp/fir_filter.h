// The general FIR filter: a linear-phase design made by frequency sampling (FFTW real
// transforms, centred taps, a window, peak gain 1) applied by direct convolution.
//
// The GUI thread changes settings and reads the response while the stream thread filters:
// every public operation runs under the filter's own recursive lock. A setter only marks the
// design stale; the next processing call (or Design) designs again.
#pragma once

#include <cstdint>

#include "dsp/fftw_plan.h"
#include "foundation/critical_section.h"
#include "foundation/scratch_buffer.h"

enum FilterType {
    kFilterNone = 0,      // passes the signal through
    kFilterLowPass = 1,   // 0 .. frequency
    kFilterHighPass = 2,  // frequency .. Nyquist
    kFilterBandPass = 3,  // frequency +- bandwidth/2
    kFilterBandStop = 4,
};

class CFirFilter {
public:
    static constexpr int kMaxTaps = 16384;
    static constexpr int kMinFftSize = 128;
    static constexpr int kMaxFftSize = 65536;

    CFirFilter();
    virtual ~CFirFilter();
    CFirFilter(const CFirFilter&) = delete;
    CFirFilter& operator=(const CFirFilter&) = delete;

    // Filter in place; y[n] = sum_j h[j] x[n-j], accumulated in double. Null or count <= 0
    // returns at once; a stale design is redone first and a failed design leaves the samples
    // unchanged (so does a filter with no taps). Any split of a stream into blocks gives the
    // same output.
    virtual void Process(float* samples, int count);
    virtual void ProcessPrecise(float* samples, int count);
    // 16-bit samples (full scale 32768 in, 32767 out), rounded and saturated.
    virtual void ProcessInt16(int16_t* samples, int count);
    // Designs when stale and makes room for the delay line: true when the next Process of up
    // to count samples will filter. Process itself cannot report that it could not (void).
    virtual bool EnsureReady(int count);
    // Clears the delay line.
    virtual void Reset();
    // 1..16384 taps.
    virtual int SetTaps(int n);
    // 1 designed (or already designed), 0 failure. withResponse also fills the dB response.
    virtual int Design(bool withResponse);
    // Designs that nothing in the plug-in uses; edges are fractions of the Nyquist frequency.
    virtual int DesignRaisedCosine(float edge1, float edge2);
    virtual int DesignShaping(float edge);
    virtual int DesignInverseShaping(float edge);
    // Blackman-windowed sinc, low-pass and high-pass only, unit gain at 0 Hz.
    virtual int DesignWindowedSinc(bool withResponse);

    // Setters: 1 accepted (also when unchanged), 0 out of range (nothing changes).
    int SetFFTSize(int n);                 // 128..65536 points of the design transform
    int SetType(int type);                 // FilterType 0..4
    int SetFrequency(float hz);            // 0 < hz < Nyquist: cut-off, or centre of a band
    int SetBandwidth(float hz);            // 0 < hz < Nyquist: width of a band
    int SetWindow(int kind);               // WindowType 0..10
    int SetDeemphasis(float dbPerOctave);  // -100..0, applied across a low-pass or band-pass
    // >= 1000 Hz; a frequency or bandwidth at or above the new Nyquist becomes Nyquist - 1.
    int SetSampleRate(float hz);

    int GetTaps();
    int GetFFTSize();
    int GetType();
    float GetFrequency();
    float GetBandwidth();
    int GetWindow();
    float GetDeemphasis();
    float GetSampleRate();
    static int GetMaxTaps() { return kMaxTaps; }
    // The magnitude response in dB (transform size/2 + 1 values from 0 Hz to Nyquist) of the
    // last design made with withResponse, or null with length 0. Valid until the next design.
    const float* GetResponse(int* length);
    // The float taps (GetTaps() values), or null before the first design.
    const float* GetCoefficients();

protected:
    // Runs under m_lock once the float taps of a design are in place (the 16-bit variant
    // converts them). False when the subclass could not follow: the design then fails.
    virtual bool OnDesigned() { return true; }
    // The one end of every design: marks it done, calls OnDesigned, computes the response
    // when asked. Returns whether the design stands.
    bool CommitDesign(bool withResponse);
    bool EnsureDesigned();
    bool EnsureHistory();  // under m_lock: the delay line for the current taps
    int DesignLocked(bool withResponse);
    // Transform size of the design: the set size, or the next power of two >= 2 * taps when
    // the taps would not fit in it.
    int DesignSize() const;

    // configuration
    int m_fftSize = 8192;
    int m_type = kFilterNone;
    float m_frequency = 12000.0f;
    float m_bandwidth = 1000.0f;
    int m_window = 0;
    float m_deemphasis = 0.0f;
    float m_sampleRate = 48000.0f;
    float m_nyquist = 24000.0f;
    int m_taps = 0;

    // design
    RealFftPlan m_fft;
    ScratchBuffer<float> m_response;
    int m_responseLength = 0;
    bool m_responseValid = false;
    ScratchBuffer<double> m_work;
    bool m_designed = false;
    ScratchBuffer<float> m_coefficients;

    // running state carried between calls: the delay line holds every sample twice
    // (positions p and p + taps) so that the window of taps samples is contiguous.
    ScratchBuffer<float> m_history;
    int m_historyTaps = 0;
    int m_position = 0;

    CriticalSection m_lock;

private:
    template <typename T>
    int Accept(T& field, T value);  // under the lock: store, mark the design stale; 1
    template <typename T>
    T Read(const T& field);
    template <typename Gain>
    int DesignFromGains(float lastEdge, Gain gain);
    bool EnsureTransform(int n);
    bool FinishDesign(int n, bool withResponse);
    void ComputeResponse();
    void FilterFloat(float* samples, int count);
};

// The filter variant for this processor: the 16-bit one (CMmxFirFilter) when it has MMX.
// Null when allocation fails.
CFirFilter* CreateFirFilter();
