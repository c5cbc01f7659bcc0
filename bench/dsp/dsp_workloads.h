// The DSP workloads timed natively (Google Benchmark) and on Windows (performance counter).
// Each runs one second of 48 kHz signal, or one unit of work, per call.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/fft.h"
#include "dsp/fft_window.h"
#include "dsp/fir_filter.h"
#include "dsp/fm_demodulator.h"
#include "dsp/mmx_fir_filter.h"

constexpr int kRate = 48000;
constexpr int kBlock = 2048;
constexpr int kFilterTaps = 512;

inline std::vector<float> BenchSignal(int n) {
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i)
        x[i] = 0.5f *
               static_cast<float>(std::cos(2 * 3.14159265358979 * (12000.0 * i + 300 * std::sin(i * 0.01)) / kRate));
    return x;
}

inline std::unique_ptr<CFirFilter> BenchFilter(bool fixedPoint, int fftSize = 8192) {
    std::unique_ptr<CFirFilter> f(fixedPoint ? new CMmxFirFilter : new CFirFilter);
    f->SetTaps(kFilterTaps);
    f->SetType(kFilterLowPass);
    f->SetWindow(kWindowHanning);
    f->SetFrequency(6000);
    f->SetFFTSize(fftSize);
    f->Design(false);
    return f;
}

// One second of signal through the filter in blocks of kBlock.
inline float FilterSecond(CFirFilter* f, std::vector<float>& x) {
    for (int done = 0; done < kRate; done += kBlock) f->Process(x.data() + done, std::min(kBlock, kRate - done));
    return x[0];
}

inline int16_t FilterSecondInt16(CFirFilter* f, std::vector<int16_t>& x) {
    for (int done = 0; done < kRate; done += kBlock) f->ProcessInt16(x.data() + done, std::min(kBlock, kRate - done));
    return x[0];
}

inline float FmSecond(CFmDemodulator* fm, const std::vector<float>& x) {
    float sink = 0;
    for (int done = 0; done < kRate; done += kBlock)
        sink += fm->Process(x.data() + done, std::min(kBlock, kRate - done))[0];
    return sink;
}

// 100 spectra of 4096 points (overlap 1).
constexpr int kSpectra = 100;
inline int SpectraBatch(CFFT* fft, const std::vector<float>& x) {
    fft->TransformAvg(x.data(), 4096 * kSpectra);
    return fft->GetSpectrumCount();
}

// One design at N = 8192 with 512 taps (the frequency alternates so that it designs again).
inline int DesignOnce(CFirFilter* f, int i) {
    f->SetFrequency(i % 2 ? 6000.0f : 6100.0f);
    return f->Design(false);
}
