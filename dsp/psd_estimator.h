// SpectrumEstimator, the power spectral density (PSD) block. Power spectrum of N real integer
// samples: a window with mean 1, an N/2-point complex radix-2 FFT of the samples packed in
// pairs, and the split into the N-point real spectrum.
// power[k] = |X[k]|^2 for k = 0 .. N/2 - 1, X the N-point DFT of the windowed samples.
// The CTCSS detector uses one with N = 1024 and the Blackman window.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/scratch_buffer.h"

struct SpectrumEstimator {
    enum Window {
        kRectangular = 0,
        kTriangular = 1,
        kHann = 2,
        kHamming = 3,
        kBlackman = 4,
    };

    // configuration
    uint32_t size = 0;  // N, a power of two >= 4
    int32_t window = kRectangular;

    ScratchBuffer<float> work;       // N/2 complex values, interleaved
    ScratchBuffer<float> re;         // N/2: real part of the last spectrum
    ScratchBuffer<float> im;         // N/2: imaginary part
    ScratchBuffer<float> power;      // N/2: the result
    ScratchBuffer<float> weights;    // N: the window
    ScratchBuffer<float> twiddles;   // N/2 pairs (-sin, cos) of pi k / (N/2)
    ScratchBuffer<uint32_t> bitrev;  // N/2
};

// Build in storage (sizeof(SpectrumEstimator) bytes) or, when null, on the heap: N = 512,
// rectangular window. Null when out of memory.
SpectrumEstimator* SpectrumEstimatorCreate(void* storage);
// Frees the buffers, and the object itself when bit 0 of flags is set.
void SpectrumEstimatorDestroy(SpectrumEstimator* e, int flags);

// Owns an object from SpectrumEstimatorCreate(nullptr).
struct SpectrumEstimatorDeleter {
    void operator()(SpectrumEstimator* p) const { SpectrumEstimatorDestroy(p, 1); }
};
using SpectrumEstimatorPtr = std::unique_ptr<SpectrumEstimator, SpectrumEstimatorDeleter>;

// N = n rounded up to a power of two, 4 .. 1048576. Returns 1 when set; 0 when n is out of
// range (nothing changes) or memory is short (the estimator is left empty and the transforms
// return null until a later size succeeds).
int SpectrumEstimatorSetSize(SpectrumEstimator* e, uint32_t n);
// Window kind 0..4 (see Window). Returns 1 when set, 0 when out of range.
int SpectrumEstimatorSetWindow(SpectrumEstimator* e, int kind);

// Power spectrum of the first min(N, count) samples; missing samples count as zero.
// Returns e->power (N/2 values), or null for a null argument.
const float* SpectrumEstimatorTransform16(SpectrumEstimator* e, const int16_t* x, uint32_t count);
const float* SpectrumEstimatorTransform32(SpectrumEstimator* e, const int32_t* x, uint32_t count);

// Bins first..last (clamped to N/2 - 1) by direct summation, other bins zero, into re, im
// and power. Returns e->power, or null for a null argument or first > last.
const float* SpectrumEstimatorDft16(SpectrumEstimator* e, const int16_t* x, uint32_t count, uint32_t first,
                                    uint32_t last);
const float* SpectrumEstimatorDft32(SpectrumEstimator* e, const int32_t* x, uint32_t count, uint32_t first,
                                    uint32_t last);
