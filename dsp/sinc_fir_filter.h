// Small fixed-point FIR block for 16-bit signals: taps designed in double precision from a
// mode and a few frequencies, quantised to Q15 and applied by an integer convolution with
// optional decimation. The DCS detector uses it as its 300 Hz low-pass.
//
// History (and, with decimation, the samples of an unfinished group) carries across calls,
// so any split of the input gives the same output. Output n is the correlation
//   y = sum_j taps[j] * x[n - (length - 1) + j]
// which for the symmetric designs is the ordinary convolution with a delay of length/2.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/dsp_math.h"
#include "foundation/scratch_buffer.h"

struct SincFirFilter {
    enum Mode {
        kPassThrough = 0,
        kLowPass = 1,
        kHighPass = 2,
        kBandPass = 3,
        kBandStop = 4,
        kHilbert = 5,
        kMovingAverage = 6,
        kDifferentiator = 7,
    };

    // configuration
    uint32_t blockSize = 1024;       // samples per convolution pass
    uint32_t length = 31;            // taps, odd, >= 3
    float upperFrequency = 3000.0f;  // Hz: low-pass cut-off, upper edge of the band modes
    float lowerFrequency = 1000.0f;  // Hz: high-pass cut-off, lower edge of the band modes
    float sampleRate = 11025.0f;     // Hz
    float gain = 1.0f;               // pass-band gain of the designs
    int32_t mode = kPassThrough;
    bool wideAccumulator = false;  // the taps' absolute sum may overflow a 32-bit sum

    ScratchBuffer<double> designTaps;  // length
    ScratchBuffer<q15> taps;           // length, zero-padded to a multiple of 32
    ScratchBuffer<int16_t> output;     // default output block, blockSize
    // length - 1 old samples, up to decimation - 1 samples of an unfinished group, then the
    // block; 32 spare samples let the padded taps run past the end.
    ScratchBuffer<int16_t> history;

    // running state carried between calls
    uint32_t pending = 0;  // samples of an unfinished decimation group after the old samples
};

// Build in storage (sizeof(SincFirFilter) bytes) or, when null, on the heap: pass-through,
// 31 taps, 11025 Hz. Null when out of memory.
SincFirFilter* SincFirCreate(void* storage);
// Frees the buffers, and the object itself when bit 0 of flags is set.
void SincFirDestroy(SincFirFilter* f, int flags);

// Owns an object from SincFirCreate(nullptr).
struct SincFirFilterDeleter {
    void operator()(SincFirFilter* p) const { SincFirDestroy(p, 1); }
};
using SincFirFilterPtr = std::unique_ptr<SincFirFilter, SincFirFilterDeleter>;

// Setters clamp rather than refuse; each returns 1 when the filter is usable afterwards and
// 0 when its buffers could not be allocated.
int SincFirSetLength(SincFirFilter* f, uint32_t n);        // max(3, n) made odd, at most 16383
int SincFirSetUpperFrequency(SincFirFilter* f, float hz);  // 2 .. sampleRate/2
int SincFirSetSampleRate(SincFirFilter* f, float hz);      // at least 4
int SincFirSetMode(SincFirFilter* f, int mode);            // 0..7; others design pass-through
int SincFirSetBlockSize(SincFirFilter* f, uint32_t n);     // 1 .. 1048576

// Silent history, no unfinished decimation group; the taps and settings are kept.
void SincFirReset(SincFirFilter* f);

// Take n given taps (the length becomes n as SincFirSetLength makes it). Quantisation:
// x >= 1 -> 32767, x < -1 -> -32768, otherwise trunc(32767 x).
int SincFirLoadDouble(SincFirFilter* f, const double* taps, uint32_t n);
int SincFirLoadFloat(SincFirFilter* f, const float* taps, uint32_t n);

// Filter the upper 16 bits of in[0], in[stride], ... below in[count] (32-bit values), keeping
// one output per `decimation` inputs. out (optional, not overlapping in) receives
// floor((pending + inputs) / decimation) samples; without it only the last block's outputs
// remain in f->output. Outputs are (sum >> 15) saturated to 16 bits. Returns the number of
// outputs (0 when stride or decimation is 0).
uint32_t SincFirRun(SincFirFilter* f, int16_t* out, const int32_t* in, uint32_t count, uint32_t stride,
                    uint32_t decimation);
