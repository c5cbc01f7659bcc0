// Polyphase L/M sample-rate converter with a Q31 Blackman-windowed sinc filter, used by the
// squelch detectors to bring the audio down to the few kHz their analysis needs.
//
// Samples are 32-bit (a 16-bit value enters as value * 65536). The filter runs at L times the
// input rate; its cut-off is 0.85 of the lower of the two Nyquist frequencies and its pass-band
// gain is 1. Phase and history carry across calls, so any split of the input gives the same
// output. The output lags the input by (total taps - 1) / 2 samples at L times the input rate.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/scratch_buffer.h"

struct RationalResampler {
    // configuration (read-only for users)
    uint32_t blockSize = 1024;   // input samples per RationalResamplerProcess call
    uint32_t L = 1;              // interpolation
    uint32_t M = 1;              // decimation
    uint32_t totalTaps = 127;    // odd
    uint32_t historyLength = 0;  // (totalTaps - 1) / L old inputs kept before the block
    uint32_t phaseTaps = 0;      // taps per polyphase branch, historyLength + 1
    bool designed = false;

    // running state carried between calls
    uint32_t phase = 0;  // in units of 1/L input sample from the block's first sample

    ScratchBuffer<double> work;     // the designed taps (totalTaps)
    ScratchBuffer<int32_t> taps;    // L branches of phaseTaps Q31 taps, reversed for a forward sum
    ScratchBuffer<int32_t> buffer;  // historyLength old inputs followed by the input block
    ScratchBuffer<int32_t> output;  // output block, RationalResamplerMaxOutput(blockSize)
};

// Build a resampler in storage (sizeof(RationalResampler) bytes, suitably aligned) or, when
// storage is null, on the heap. L = M = 1, 127 taps, blocks of 1024. Null when out of memory.
RationalResampler* RationalResamplerCreate(void* storage);

// Destroy; frees the object itself when bit 0 of flags is set (it came from the heap).
void RationalResamplerDestroy(RationalResampler* r, int flags);

// Owns an object from RationalResamplerCreate(nullptr).
struct RationalResamplerDeleter {
    void operator()(RationalResampler* p) const { RationalResamplerDestroy(p, 1); }
};
using RationalResamplerPtr = std::unique_ptr<RationalResampler, RationalResamplerDeleter>;

// Choose the smallest L (1 .. 1024) whose M = round(L * inRate / outRate) keeps the rate
// within tolerance: |M * outRate / (L * inRate) - 1| < tolerance. Total taps become
// max(3, L * tapsPerPhase) made odd (at most 65535). Clears phase and history and designs the
// filter when anything changed or nothing was designed yet.
//   tapsPerPhase  >= 1;  inRate, outRate > 0 Hz;  tolerance > 0
// Returns 1 when configured, 0 when the arguments are refused or no L within the bounds fits
// (nothing changed) or the buffers cannot be allocated.
int RationalResamplerConfigure(RationalResampler* r, int tapsPerPhase, float inRate, float outRate, float tolerance);

// Silent history and phase 0, as after RationalResamplerConfigure; the design is kept.
void RationalResamplerReset(RationalResampler* r);

// Input samples per block, 1 .. 1048576. Returns 1 when accepted. History is kept.
int RationalResamplerSetBlockSize(RationalResampler* r, uint32_t n);

// Most outputs one block of n inputs can give: ceil(n * L / M) + 1.
uint32_t RationalResamplerMaxOutput(const RationalResampler* r, uint32_t n);

// The input block: write up to blockSize samples here, then call RationalResamplerProcess.
// Null when the resampler has no buffers.
int32_t* RationalResamplerInput(RationalResampler* r);

// Resample the first count (<= blockSize) samples of the input block into out32, or into
// r->output when out32 is null (out32 must hold RationalResamplerMaxOutput(count)).
// Returns the number of outputs.
uint32_t RationalResamplerProcess(RationalResampler* r, int32_t* out32, uint32_t count);

// Resample the 16-bit samples in16[0], in16[stride], ... below in16[count], in blocks of at
// most blockSize. out16 (optional) receives the upper 16 bits of every output and must hold
// RationalResamplerMaxOutput for each block; without it only the last block's 32-bit outputs
// remain in r->output. Returns the total number of outputs (0 when stride is 0 or the
// resampler has no buffers).
uint32_t RationalResamplerRun(RationalResampler* r, int16_t* out16, const int16_t* in16, uint32_t count,
                              uint32_t stride);
