// Every object of the library, with each allocation of a short run failing in turn: it reports
// the failure (a null block, a refused setting, a detector that is not ready) and never crashes.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "dsp/ctcss_detector.h"
#include "dsp/dcs_detector.h"
#include "dsp/fft.h"
#include "dsp/fir_filter.h"
#include "dsp/fm_demodulator.h"
#include "dsp/rational_resampler.h"
#include "dsp/resampler.h"
#include "dsp/sinc_fir_filter.h"
#include "dsp/voice_activity_detector.h"
#include "tests/support/failure_injection.h"
#include "tests/support/test_signals.h"

namespace {

constexpr int kRun = 24;  // more than any of these objects allocates while set up and run

// A result is sound when the object refused (null) or gave exactly what it gives with memory.
template <typename T>
bool NullOrEqual(const T* got, const std::vector<T>& want) {
    return !got || std::equal(want.begin(), want.end(), got);
}

std::vector<float> FmOutput(const std::vector<float>& x) {
    CFmDemodulator fm;
    const float* y = fm.Process(x.data(), static_cast<int>(x.size()));
    return y ? std::vector<float>(y, y + x.size()) : std::vector<float>();
}

std::vector<int16_t> ResamplerOutput(const std::vector<int16_t>& x) {
    CResampler resampler;
    uint32_t n = 0;
    const int16_t* y = resampler.Process(x.data(), static_cast<uint32_t>(x.size()), &n);
    return y ? std::vector<int16_t>(y, y + n) : std::vector<int16_t>();
}

TEST(AllocationFailure, FloatChainsReportItAndKeepGoing) {
    const std::vector<float> x = Sine(4096, 0.05, 0.5);
    const std::vector<float> fmWant = FmOutput(x);
    ASSERT_EQ(x.size(), fmWant.size());
    std::vector<float> work(x);
    int refused = 0;
    ForEachFailingAllocation(kRun, [&](int) {
        CFmDemodulator fm;
        const float* y = fm.Process(x.data(), 4096);
        refused += !y;
        bool sound = NullOrEqual(y, fmWant);
        CFFT fft(512, 2);
        fft.TransformAvg(x.data(), 4096);
        float spectrum[257];
        fft.GetSpectrum(spectrum, 257);
        CFirFilter* fir = CreateFirFilter();
        if (fir) {
            fir->SetTaps(63);
            fir->SetType(kFilterLowPass);
            fir->SetFrequency(3000.0f);
            if (fir->Design(true)) fir->Process(work.data(), 4096);
            delete fir;
        }
        return sound;
    });
    if (!HasFailure() && !IsSkipped()) {
        EXPECT_GT(refused, 0);  // the injection reached the object
    }
}

TEST(AllocationFailure, SixteenBitChainsReportItAndKeepGoing) {
    const std::vector<int16_t> x = Sine16(48000, 1000, 8000, 4800);
    const std::vector<int32_t> wide(x.begin(), x.end());
    const std::vector<int16_t> resampledWant = ResamplerOutput(x);
    ASSERT_FALSE(resampledWant.empty());
    int refused = 0;
    ForEachFailingAllocation(kRun, [&](int) {
        CResampler resampler;
        uint32_t produced = 0;
        const int16_t* y = resampler.Process(x.data(), 4800, &produced);
        refused += !y;
        const bool sound = !y || (produced == resampledWant.size() && NullOrEqual(y, resampledWant));
        if (RationalResampler* r = RationalResamplerCreate(nullptr)) {
            if (RationalResamplerConfigure(r, 16, 48000.0f, 8000.0f, 0.01f))
                RationalResamplerRun(r, nullptr, x.data(), 4800, 1);
            RationalResamplerDestroy(r, 1);
        }
        if (SincFirFilter* f = SincFirCreate(nullptr)) {
            SincFirSetLength(f, 63);
            SincFirRun(f, nullptr, wide.data(), 4800, 1, 1);
            SincFirDestroy(f, 1);
        }
        CCtcssDetector ctcss;
        ctcss.SetSampleRate(48000.0f);
        ctcss.Process(x.data(), 4800, 1);
        CDcsDetector dcs;
        dcs.SetSampleRate(48000.0f);
        dcs.Process(x.data(), 4800, 1);
        CVoiceActivityDetector vad;
        vad.SetSampleRate(48000.0f);
        vad.Process(x.data(), 4800, 1);
        return sound;
    });
    if (!HasFailure() && !IsSkipped()) {
        EXPECT_GT(refused, 0);
    }
}

}  // namespace
