// IMBE voice decoder: one coded P25 Phase 1 voice frame (144 channel bits, 20 ms) becomes
// 160 signed 16-bit samples at 8000 samples per second. 16-bit fixed point throughout; it
// allocates nothing and reports only through ImbeFrame::status.
//
// Per frame: fill bits, set status 0, sampleCount 160, softBits 1; ImbeFecDecode; ImbeDecode;
// read pcm and errorRate. ImbeFecDecode must precede ImbeDecode for the same frame.
#pragma once

#include <cstdint>

constexpr int kImbeMaxHarmonics = 56;
constexpr int kImbeMaxSamples = 240;     // sampleCount is clamped to 132 .. 240
constexpr int kImbeFrameBits = 144;
constexpr int kImbeInfoBits = 88;

// Status bits. status is 0 for a normally decoded frame, otherwise the FEC flags | kImbeBadFrame.
constexpr int16_t kImbeRepeat = 4;
constexpr int16_t kImbeMute = 8;
constexpr int16_t kImbeBadFrame = 0x20;

struct ImbeFrame {
    int16_t pcm[kImbeMaxSamples];   // out: the first sampleCount entries
    uint8_t bits[kImbeFrameBits];   // in: received channel bits in transmission order, one per
                                    // byte, 0 .. 2^softBits - 1; out (after ImbeFecDecode): the
                                    // first 88 bytes hold the information bits u0 .. u7 as 0/1
    int16_t status;                 // in 0; out: FEC flags, then 0 or flags | 0x20
    int16_t sampleCount;            // in: samples wanted (160); out: clamped to 132 .. 240
    int16_t softBits;               // in: soft-decision bits per channel bit (1 = hard bits)
    int16_t decoderMetric;          // out: summed soft-decision metric (0 with hard bits)
    int16_t errorRate;              // out: smoothed channel error rate, Q15 (32768 = 1.0)
    int16_t errorCount;             // out: corrected bit errors in this frame
};

struct ImbeDecoderState;
struct ImbeParams;
using ImbeSynthesisRoutine = void (*)(ImbeParams* params, int16_t* pcm, int count,
                                      ImbeDecoderState* state);

// The model parameters of one frame. Per-harmonic arrays hold harmonic l at index l - 1.
struct ImbeParams {
    uint32_t valid;                         // 1 when decoded from a valid frame
    int16_t harmonicCount;                  // L, 9 .. 56
    int16_t updateMask;                     // always 0
    int16_t fundamental;                    // f0 / 8000 in Q19
    int16_t amplitude[kImbeMaxHarmonics];   // log2 amplitudes (Q11) after unpacking; linear
                                            // mantissas once the synthesis converts them
    int16_t amplitudeExponent;              // common block exponent of amplitude
    int16_t voiced[kImbeMaxHarmonics];      // 1 voiced, 0 unvoiced
    ImbeSynthesisRoutine synthesize;
};

// Caller-allocated decoder state; ImbeInit resets it. Per-harmonic arrays: harmonic l at l - 1.
struct ImbeDecoderState {
    uint16_t history;               // bad-frame history, bit 0 = this frame repeated or muted
    int16_t noiseFundamental;
    int16_t energy;                 // spectral energy S_E = energy * 2^(energyExponent + 15)
    int16_t energyExponent;
    ImbeParams lastParams;
    ImbeParams mutedParams;
    uint16_t noiseSeed;
    int16_t noiseTail[50];
    int16_t unvoicedTail[127];
    int16_t unvoicedTailExponent;
    int16_t samplesPerFrame;
    int16_t voicedFrameLength;
    int16_t fundamentalPhase;
    int16_t harmonicPhase[7];
    int16_t regeneratedPhase[kImbeMaxHarmonics];
    int16_t waveTableExponent;
    int16_t voicedTail[129];
    int16_t vectorErrors[7];        // corrected bit errors per code vector, last frame
    int16_t errorTotal;
    int16_t metricTotal;
    int16_t errorRate;              // Q15
    int16_t prevLogAmplitude[kImbeMaxHarmonics];
    int16_t prevHarmonicCount;
};

// Resets every field of the state: a new call starts from silence-like defaults.
void ImbeInit(ImbeDecoderState* state);

// Error correction of frame->bits in place; writes status (FEC flags), errorCount, errorRate
// and decoderMetric.
void ImbeFecDecode(ImbeFrame* frame, ImbeDecoderState* state);

// Decodes, repeats or mutes the frame; writes status, clamps sampleCount and writes pcm.
void ImbeDecode(ImbeFrame* frame, ImbeDecoderState* state);

// Defaults of a parameter block: 14 unvoiced harmonics at a low amplitude.
void ImbeInitParams(ImbeParams* params, ImbeSynthesisRoutine routine);
void ImbeCopyParams(ImbeParams* dst, const ImbeParams* src);

// The three synthesis routines (normal, plain/repeat, muted).
void ImbeSynthesizeFrame(ImbeParams* params, int16_t* pcm, int count, ImbeDecoderState* state);
void ImbeSynthesizeSamples(ImbeParams* params, int16_t* pcm, int count, ImbeDecoderState* state);
void ImbeSynthesizeMuted(ImbeParams* params, int16_t* pcm, int count, ImbeDecoderState* state);
