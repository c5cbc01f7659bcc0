// Workloads of the resamplers, the sinc FIR block, the spectrum estimator and the analogue
// squelch chain, timed natively (Google Benchmark) and on Windows (performance counter).
// Each call runs one second of audio at its rate, or one unit of work.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/ctcss_detector.h"
#include "dsp/dcs_detector.h"
#include "dsp/fir_filter.h"
#include "dsp/rational_resampler.h"
#include "dsp/resampler.h"
#include "dsp/sinc_fir_filter.h"
#include "dsp/psd_estimator.h"
#include "dsp/voice_activity_detector.h"

constexpr int kAudioRate = 48000;
constexpr int kIfBlock = 2048;
constexpr uint32_t kSincTaps = 255;
constexpr uint32_t kSpectrumSize = 1024;
constexpr int kSpectraPerBatch = 100;

// FM audio: speech-band tones, a 100 Hz CTCSS tone and a little noise.
inline std::vector<int16_t> BenchAudio(int n) {
    std::vector<int16_t> x(n);
    uint32_t seed = 1;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / kAudioRate;
        const double v = 6000 * std::sin(2 * 3.14159265358979 * 440 * t) +
                         3000 * std::sin(2 * 3.14159265358979 * 1270 * t) +
                         2000 * std::sin(2 * 3.14159265358979 * 100 * t) + static_cast<int32_t>(seed >> 20) - 2048;
        x[i] = static_cast<int16_t>(v);
    }
    return x;
}

// One second of 48 kHz audio to 16 kHz in IF blocks; returns the outputs.
inline uint32_t ResampleSecond(CResampler* r, const std::vector<int16_t>& x) {
    uint32_t total = 0;
    for (int done = 0; done < kAudioRate; done += kIfBlock) {
        uint32_t n = 0;
        r->Process(x.data() + done, static_cast<uint32_t>(std::min(kIfBlock, kAudioRate - done)), &n);
        total += n;
    }
    return total;
}

struct RationalDeleter {
    void operator()(RationalResampler* r) const { RationalResamplerDestroy(r, 1); }
};
inline std::unique_ptr<RationalResampler, RationalDeleter> BenchRational() {
    std::unique_ptr<RationalResampler, RationalDeleter> r(RationalResamplerCreate(nullptr));
    RationalResamplerConfigure(r.get(), 127, 48000.0f, 1378.0f, 0.01f);
    return r;
}
inline uint32_t RationalSecond(RationalResampler* r, const std::vector<int16_t>& x) {
    return RationalResamplerRun(r, nullptr, x.data(), kAudioRate, 1);
}

struct SincDeleter {
    void operator()(SincFirFilter* f) const { SincFirDestroy(f, 1); }
};
inline std::unique_ptr<SincFirFilter, SincDeleter> BenchSinc() {
    std::unique_ptr<SincFirFilter, SincDeleter> f(SincFirCreate(nullptr));
    SincFirSetSampleRate(f.get(), 48000.0f);
    SincFirSetUpperFrequency(f.get(), 3000.0f);
    SincFirSetMode(f.get(), SincFirFilter::kLowPass);
    SincFirSetLength(f.get(), kSincTaps);
    return f;
}
inline std::vector<int32_t> Widen(const std::vector<int16_t>& x) {
    std::vector<int32_t> w(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        w[i] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(x[i])) << 16);
    return w;
}
inline uint32_t SincSecond(SincFirFilter* f, const std::vector<int32_t>& x) {
    return SincFirRun(f, nullptr, x.data(), kAudioRate, 1, 1);
}

struct SpectrumDeleter {
    void operator()(SpectrumEstimator* e) const { SpectrumEstimatorDestroy(e, 1); }
};
inline std::unique_ptr<SpectrumEstimator, SpectrumDeleter> BenchSpectrum() {
    std::unique_ptr<SpectrumEstimator, SpectrumDeleter> e(SpectrumEstimatorCreate(nullptr));
    SpectrumEstimatorSetSize(e.get(), kSpectrumSize);
    SpectrumEstimatorSetWindow(e.get(), SpectrumEstimator::kBlackman);
    return e;
}
inline float SpectraBatch(SpectrumEstimator* e, const std::vector<int32_t>& x) {
    float sum = 0;
    for (int i = 0; i < kSpectraPerBatch; ++i)
        sum += SpectrumEstimatorTransform32(e, x.data() + 16 * i, kSpectrumSize)[10];
    return sum;
}

// The plug-in's analogue squelch chain on one second of 48 kHz audio in IF blocks: noise
// level (5 kHz high-pass, 128 taps, on a copy), CTCSS, DCS and voice activity.
struct SquelchChain {
    std::unique_ptr<CFirFilter> noiseFilter{CreateFirFilter()};
    CCtcssDetector ctcss;
    CDcsDetector dcs;
    CVoiceActivityDetector voice;
    std::vector<int16_t> copy = std::vector<int16_t>(kIfBlock);
    SquelchChain() {
        noiseFilter->SetFrequency(5000);
        noiseFilter->SetTaps(128);
        noiseFilter->SetSampleRate(kAudioRate);
        noiseFilter->SetType(kFilterHighPass);
        noiseFilter->SetWindow(1);
        ctcss.SetSampleRate(kAudioRate);
        dcs.SetSampleRate(kAudioRate);
        voice.SetSampleRate(kAudioRate);
        voice.SetBlockLength(kAudioRate / 2);
        voice.SetLevelThreshold(0.1f);
    }
    double Second(const std::vector<int16_t>& x) {
        double level = 0;
        for (int done = 0; done < kAudioRate; done += kIfBlock) {
            const int n = std::min(kIfBlock, kAudioRate - done);
            std::copy(x.begin() + done, x.begin() + done + n, copy.begin());
            noiseFilter->ProcessInt16(copy.data(), n);
            double sum = 0;
            for (int i = 0; i < n; ++i) sum += static_cast<double>(copy[i]) * copy[i];
            level += std::sqrt(sum / n);
            ctcss.Process(x.data() + done, n, 1);
            dcs.Process(x.data() + done, n, 1);
            voice.Process(x.data() + done, n, 1);
        }
        return level + ctcss.GetToneIndex() + dcs.GetFoundCount() + voice.GetScore();
    }
};
