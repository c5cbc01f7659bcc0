// IMBE voice decoder: one coded P25 Phase 1 voice frame (144 channel bits, 20 ms) becomes
// 160 signed 16-bit samples at 8000 samples per second. 16-bit fixed point throughout; it
// allocates nothing and reports only through ImbeFrame::status.
//
// Per frame: fill bits, set status 0, sampleCount 160, softBits 1; ImbeFecDecode; ImbeDecode;
// read pcm and errorRate. ImbeFecDecode must precede ImbeDecode for the same frame.
//
// Scales used throughout (every routine converts to them):
// - log amplitudes: log2 M in Q11 (2048 = one octave = 6.02 dB). The gain levels put a frame's
//   mean log2 M between -2.84 and 8.70 octaves; clear speech from real radios has its median
//   at 1.5 to 4.2 octaves, its loudest frames near 6.
// - linear amplitudes: M_l = amplitude[l] * 2^amplitudeExponent; a voiced harmonic sounds as
//   16 M_l cos(phase) in PCM units. The accumulator holds PCM * 2^14 (it is written shifted
//   left 2, rounded, upper 16 bits), so an amplitude enters it shifted by its exponent + 18.
//   Why 16: at 1 the median of real speech lands at -54 to -39 dBFS, near silence; at 16 it
//   lands at -30 to -15 dBFS with its loudest peaks at -1.4 dBFS, and the top gain level
//   over a flat 20-harmonic spectrum has an RMS of -4 dBFS. One octave more would clip loud
//   systems, one less would leave quiet ones at -35 dBFS.
// - unvoiced: renormalisation stores M_l * sqrt(fundamental) / 128 (= M sqrt(w / 8)); the band
//   of w = fundamental / 2048 bins gets the per-bin RMS stored * G / 128, G = sqrt(L n 34486),
//   and the 256-point pair (forward unscaled, inverse / 256) spreads it over the n samples of
//   the piece: M^2 w^2 L 34486 / 2^16 per sample in PCM. The bands fill the spectrum (w L is
//   near 118), so that is about 62 w M^2: a band of noise is about as loud as a voiced
//   harmonic of the same M (128 M^2), 3 dB louder at 125 Hz, 3 dB more per octave of f0.
//   Bins below floor(7365 / 2048) = 3 (94 Hz) carry none.
// - muted frames skip the renormalisation: their stored 0.1 gives noise of 8 PCM RMS
//   (-72 dBFS), over 40 dB below speech;
// - fundamental: f0 / 8000 in Q19; phases: 16 bits per cycle (32 in the oscillators);
// - the cross term of the spectral weights is 2 R_M0 R_M1 cos(l w0), its 2 in the exponent.
#pragma once

#include <cstdint>

constexpr int kImbeMaxHarmonics = 56;
constexpr int kImbeMaxSamples = 240;  // sampleCount is clamped to 132 .. 240
constexpr int kImbeFrameBits = 144;
constexpr int kImbeInfoBits = 88;

// Status bits. status is 0 for a normally decoded frame, otherwise the FEC flags | kImbeBadFrame.
constexpr int16_t kImbeRepeat = 4;
constexpr int16_t kImbeMute = 8;
constexpr int16_t kImbeBadFrame = 0x20;

struct ImbeFrame {
    int16_t pcm[kImbeMaxSamples];  // out: the first sampleCount entries
    uint8_t bits[kImbeFrameBits];  // in: received channel bits in transmission order, one per
                                   // byte, 0 .. 2^softBits - 1; out (after ImbeFecDecode): the
                                   // first 88 bytes hold the information bits u0 .. u7 as 0/1
    int16_t status;                // in 0; out: FEC flags, then 0 or flags | 0x20
    int16_t sampleCount;           // in: samples wanted (160); out: clamped to 132 .. 240
    int16_t softBits;              // in: soft-decision bits per channel bit (1 = hard bits)
    int16_t decoderMetric;         // out: summed soft-decision metric (0 with hard bits)
    int16_t errorRate;             // out: smoothed channel error rate, Q15 (32768 = 1.0)
    int16_t errorCount;            // out: corrected bit errors in this frame
};

struct ImbeDecoderState;
struct ImbeParams;
using ImbeSynthesisRoutine = void (*)(ImbeParams* params, int16_t* pcm, int count, ImbeDecoderState* state);

// The model parameters of one frame. Per-harmonic arrays hold harmonic l at index l - 1.
struct ImbeParams {
    uint32_t valid;                        // 1 when decoded from a valid frame
    int16_t harmonicCount;                 // L, 9 .. 56
    int16_t updateMask;                    // always 0
    int16_t fundamental;                   // f0 / 8000 in Q19
    int16_t amplitude[kImbeMaxHarmonics];  // log2 amplitudes (Q11) after unpacking; linear
                                           // mantissas once the synthesis converts them
    int16_t amplitudeExponent;             // common block exponent of amplitude
    int16_t voiced[kImbeMaxHarmonics];     // 1 voiced, 0 unvoiced
    ImbeSynthesisRoutine synthesize;
};

// Caller-allocated decoder state; ImbeInit resets it. Per-harmonic arrays: harmonic l at l - 1.
struct ImbeDecoderState {
    uint16_t history;  // bad-frame history, bit 0 = this frame repeated or muted
    int16_t noiseFundamental;
    int16_t energy;  // spectral energy S_E = energy * 2^(energyExponent + 15)
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
    int16_t vectorErrors[7];  // corrected bit errors per code vector, last frame
    int16_t errorTotal;
    int16_t metricTotal;
    int16_t errorRate;  // Q15
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
