// Speech synthesis of one frame: band-shaped noise for the unvoiced harmonics, oscillators
// (harmonics 1 .. 7) and single-period wave tables (8 .. L) for the voiced ones, cross-faded
// from the previous frame over samples N/2 - 25 .. N/2 + 24 and summed in 32 bits (scales:
// imbe_decoder.h).
#include "imbe/imbe_decoder.h"

#include "imbe/imbe_math.h"

namespace {

constexpr int kFade = 50;
constexpr int kAccShift = 14;   // the accumulator holds PCM * 2^14
constexpr int kLevelShift = 4;  // a linear amplitude of 1 is 16 PCM units
constexpr int kMaxPiece = 205;
constexpr int kLowHarmonics = 7;
constexpr int kNoiseGainShift = 7;  // G enters as G / 128 (balance: imbe_decoder.h)

int16_t FallingRamp(int k) { return k == 0 ? 32767 : kImbeSqrtRamp[kFade - k]; }

// raw * 2^exponent, a value on the amplitude scale (1 = 16 PCM units), in accumulator units.
int32_t ToAcc(int32_t raw, int exponent) { return ImbeShl32(raw, exponent + kLevelShift + kAccShift); }

// ---- unvoiced ----

// Noise for the piece (n + 105 values: leading zeros, the previous frame's noise tail rising,
// new noise, a new tail falling), folded into the 256 samples of the transform.
void ImbeMakeNoise(int16_t* x, int n, ImbeDecoderState* st) {
    const int fadeStart = st->samplesPerFrame / 2 - 25;
    int16_t noise[kMaxPiece + 105];
    int at = 0;
    for (; at < fadeStart; ++at) noise[at] = 0;
    for (int k = 0; k < kFade; ++k) noise[at++] = static_cast<int16_t>((st->noiseTail[k] * kImbeSqrtRamp[k]) >> 15);
    for (int k = 0; k < n - kFade; ++k) noise[at++] = static_cast<int16_t>(ImbeNoise(&st->noiseSeed));
    for (int k = 0; k < kFade; ++k) {
        int16_t v = static_cast<int16_t>(ImbeNoise(&st->noiseSeed));
        st->noiseTail[k] = v;
        noise[at++] = static_cast<int16_t>((v * FallingRamp(k)) >> 15);
    }
    for (int i = 0; i < 256; ++i) x[i] = 0;
    for (int i = 0; i < at; ++i) x[i & 255] = noise[i];  // fold: indexes 256.. overwrite the leading zeros
}

// Shapes the noise spectrum (bins 0 .. 127 as (re, im) pairs) band by band; returns the
// exponent of the shaped spectrum.
int ImbeShapeNoise(const ImbeParams* p, int16_t* x, int n, const ImbeDecoderState* st) {
    const int L = p->harmonicCount;
    // Band edges in 16.16 bins: f0 / 8000 * 256 bins per harmonic.
    const int32_t step = p->fundamental * 32;
    int32_t edge = (step + 65536) / 2;
    int lo = edge >> 16;
    const ImbeFloat g = ImbeFloatSqrt(ImbeFloatFrom32(L * n * 34486, 31));
    ImbeFloat gains[kImbeMaxHarmonics];
    int bandEnd[kImbeMaxHarmonics + 1];
    bandEnd[0] = lo > 128 ? 128 : lo;
    int outExp = -32768;
    for (int l = 1; l <= L; ++l) {
        edge += step;
        int hi = edge >> 16;
        if (hi > 128) hi = 128;
        bandEnd[l] = hi;
        const int from = bandEnd[l - 1];
        gains[l - 1] = {0, 0};
        if (p->voiced[l - 1] || hi <= from) continue;
        int64_t energy = 0;
        int peak = 0;
        for (int b = from; b < hi; ++b) {
            energy += int32_t(x[2 * b]) * x[2 * b] + int32_t(x[2 * b + 1]) * x[2 * b + 1];
            const int m = ImbeMaxMagnitude(x + 2 * b, 2);
            if (m > peak) peak = m;
        }
        if (energy == 0) continue;  // silent band: gain 0 instead of a division by zero
        ImbeFloat amp = ImbeFloatFrom16(p->amplitude[l - 1], p->amplitudeExponent + 15);
        ImbeFloat norm = ImbeFloatSqrt(ImbeFloatDiv(ImbeFloatFrom32(hi - from, 31), ImbeFloatFrom64(energy, 0)));
        ImbeFloat gain = ImbeFloatMul(ImbeFloatMul(amp, g), norm);
        gain.e = static_cast<int16_t>(gain.e - kNoiseGainShift);
        gains[l - 1] = gain;
        if (gain.m != 0) {
            ImbeFloat top = ImbeFloatMul(gain, ImbeFloatFrom32(peak, 31));
            if (top.e > outExp) outExp = top.e;
        }
    }
    // Output raw values stay below 2^14: stored = true / 2^outExp.
    outExp = outExp == -32768 ? 0 : outExp - 14;
    for (int b = 0; b < bandEnd[0]; ++b) x[2 * b] = x[2 * b + 1] = 0;
    for (int l = 1; l <= L; ++l) {
        const ImbeFloat gain = gains[l - 1];
        const int shift = 15 + outExp - gain.e;
        for (int b = bandEnd[l - 1]; b < bandEnd[l]; ++b) {
            for (int c = 0; c < 2; ++c) {
                int32_t v = gain.m == 0 ? 0 : int32_t(x[2 * b + c]) * gain.m;
                x[2 * b + c] =
                    ImbeSat16(shift > 31 ? 0 : (shift > 0 ? (v + (1 << (shift - 1))) >> shift : ImbeShl32(v, -shift)));
            }
        }
    }
    int topZero = 128 - bandEnd[L];
    if (topZero < 7) topZero = 7;
    for (int b = 128 - topZero; b < 128; ++b) x[2 * b] = x[2 * b + 1] = 0;
    const int lowZero = st->noiseFundamental / 2048;
    for (int b = 0; b < lowZero && b < 128; ++b) x[2 * b] = x[2 * b + 1] = 0;
    x[1] = 0;
    return outExp;
}

// Cross-fades the previous piece's tail into the new time signal x (exponent te) and keeps the
// new tail.
void ImbeOverlapUnvoiced(const int16_t* x, int te, int32_t* acc, int n, ImbeDecoderState* st) {
    const int N = st->samplesPerFrame;
    const int fadeStart = N / 2 - 25;
    // Every region is bounded by the piece length.
    const int tailExp = st->unvoicedTailExponent;
    for (int k = 0; k < n; ++k) {
        int32_t v;
        if (k < fadeStart) {
            v = ToAcc(st->unvoicedTail[k], tailExp);
        } else if (k < fadeStart + kFade) {
            int j = k - fadeStart;
            v = ImbeAdd32(ImbeMult32x16(ToAcc(st->unvoicedTail[k], tailExp), FallingRamp(j)),
                          ImbeMult32x16(ToAcc(x[k & 255], te), kImbeSqrtRamp[j]));
        } else {
            v = ToAcc(x[k & 255], te);
        }
        acc[k] = ImbeAdd32(acc[k], v);
    }
    const int tailLength = N / 2 + 25;
    for (int k = 0; k < 127; ++k) st->unvoicedTail[k] = k < tailLength ? x[(n + k) & 255] : 0;
    st->unvoicedTailExponent = static_cast<int16_t>(te);
}

void ImbeSynthesizeUnvoiced(const ImbeParams* p, int32_t* acc, int n, ImbeDecoderState* st) {
    int16_t x[256];
    ImbeMakeNoise(x, n, st);
    ImbeRealFft(x, 0, 8);  // its exponent cancels in the band normalisation
    const int outExp = ImbeShapeNoise(p, x, n, st);
    const int te = ImbeRealIfft(x, outExp, 8);
    ImbeOverlapUnvoiced(x, te, acc, n, st);
}

// ---- voiced ----

// Adds A(k) cos(phase(k)) for k in [from, to): amplitude and frequency (32-bit phase per
// sample) move linearly; returns the phase after the last sample.
uint32_t ImbeOscillator(int32_t* acc, int from, int to, int64_t amp0, int64_t ampStep, uint32_t phase, int64_t freq0,
                        int64_t freqStep) {
    int64_t a = amp0 * 65536, f = freq0 * 65536;
    for (int k = from; k < to; ++k) {
        int32_t c = kImbeCosine[phase >> 23];
        acc[k] = ImbeAdd32(acc[k], static_cast<int32_t>(((a >> 16) * c) >> 15));
        phase += static_cast<uint32_t>(f >> 16);
        a += ampStep;
        f += freqStep;
    }
    return phase;
}

// 32-bit phase increment per sample of harmonic l for a Q19 fundamental: l f / 2^19 * 2^32.
uint32_t HarmonicStep(int l, int fundamental) { return static_cast<uint32_t>(l * fundamental) << 13; }

int16_t ImbeWaveRead(const int16_t* table, uint32_t pos) {
    int i = (pos >> 16) & 127;
    int32_t frac = pos & 0xFFFF;
    return static_cast<int16_t>(table[i] + (((table[i + 1] - table[i]) * (frac >> 1)) >> 15));
}

// One harmonic's oscillator over the piece: amplitude and frequency move linearly from the
// previous frame's to the current one's, with a constant offset that lands on the current
// phase at the piece end.
void ImbeHarmonicInterpolated(int32_t* acc, int n, int64_t ap, int64_t ac, uint32_t start, uint32_t end, int64_t wp,
                              int64_t wc) {
    int64_t swept = wp * n + (wc - wp) * (n - 1) / 2;
    int32_t miss = static_cast<int32_t>(end - static_cast<uint32_t>(start + swept));
    int64_t f0 = wp + miss / n;
    ImbeOscillator(acc, 0, n, ap, (ac - ap) * 65536 / n, start, f0, (wc - wp) * 65536 / n);
}

// The previous harmonic at full amplitude up to the fade, then falling by A/50 per sample.
void ImbeHarmonicFadeOut(int32_t* acc, int n, int fadeStart, int64_t ap, uint32_t start, int64_t wp) {
    const int fadeEnd = fadeStart + kFade;
    uint32_t ph = ImbeOscillator(acc, 0, fadeStart < n ? fadeStart : n, ap, 0, start, wp, 0);
    if (fadeStart < n) ImbeOscillator(acc, fadeStart, fadeEnd < n ? fadeEnd : n, ap, -ap * 65536 / kFade, ph, wp, 0);
}

// The current harmonic rising over the fade, then at full amplitude; its phase is run back
// from the target phase at the piece end.
void ImbeHarmonicFadeIn(int32_t* acc, int n, int fadeStart, int64_t ac, uint32_t end, int64_t wc) {
    if (fadeStart >= n) return;
    const int fadeEnd = fadeStart + kFade;
    uint32_t ph = end - static_cast<uint32_t>(wc * (n - fadeStart));
    int stop = fadeEnd < n ? fadeEnd : n;
    ph = ImbeOscillator(acc, fadeStart, stop, ac / kFade, ac * 65536 / kFade, ph, wc, 0);
    if (stop < n) ImbeOscillator(acc, stop, n, ac, 0, ph, wc, 0);
}

// Harmonics 1 .. 7, each by its own oscillator.
void ImbeSynthesizeLowHarmonics(const ImbeParams* p, int32_t* acc, int n, uint16_t endPhase, ImbeDecoderState* st) {
    const ImbeParams* prev = &st->lastParams;
    const int fadeStart = st->samplesPerFrame / 2 - 25;
    const int fp = prev->fundamental, fc = p->fundamental;
    const int Lp = prev->harmonicCount, Lc = p->harmonicCount;

    // Same pitch track when |fc - fp| < d fc with d = n (0.32 + 51.2 / V) / 512.
    const int64_t v = st->voicedFrameLength;
    const int64_t delta = fc > fp ? fc - fp : fp - fc;
    const bool match = delta * 512 * v * 100 < int64_t(n) * (32 * v + 5120) * fc;

    for (int l = 1; l <= kLowHarmonics; ++l) {
        const bool pv = l <= Lp && prev->voiced[l - 1];
        const bool cv = l <= Lc && p->voiced[l - 1];
        const uint16_t target = static_cast<uint16_t>(st->regeneratedPhase[l - 1] + l * endPhase);
        const uint32_t start = static_cast<uint32_t>(static_cast<uint16_t>(st->harmonicPhase[l - 1])) << 16;
        const uint32_t end = static_cast<uint32_t>(target) << 16;
        const int64_t ap = pv ? ToAcc(prev->amplitude[l - 1], prev->amplitudeExponent) : 0;
        const int64_t ac = cv ? ToAcc(p->amplitude[l - 1], p->amplitudeExponent) : 0;
        const int64_t wp = HarmonicStep(l, fp), wc = HarmonicStep(l, fc);
        if (pv && cv && match) {
            ImbeHarmonicInterpolated(acc, n, ap, ac, start, end, wp, wc);
        } else {
            if (pv) ImbeHarmonicFadeOut(acc, n, fadeStart, ap, start, wp);
            if (cv) ImbeHarmonicFadeIn(acc, n, fadeStart, ac, end, wc);
        }
        st->harmonicPhase[l - 1] = static_cast<int16_t>(target);
    }
}

// Single-period table (128 entries + guard) of the voiced harmonics 8 .. L at their phases at
// the piece end; returns its exponent (0 for an empty table).
int ImbeBuildWaveTable(const ImbeParams* p, uint16_t endPhase, const ImbeDecoderState* st, int16_t* table) {
    const int Lc = p->harmonicCount;
    int16_t spectrum[128] = {};
    int count = 0;
    int maxAmp = 0;
    for (int l = kLowHarmonics + 1; l <= Lc; ++l)
        if (p->voiced[l - 1] && p->amplitude[l - 1] > maxAmp) maxAmp = p->amplitude[l - 1];
    int tableExp = 0;
    if (maxAmp > 0) {
        const int norm = ImbeNorm16(static_cast<int16_t>(maxAmp)) - 1;  // largest near 2^14
        for (int l = kLowHarmonics + 1; l <= Lc && l < 64; ++l) {
            if (!p->voiced[l - 1]) continue;
            const uint16_t theta = static_cast<uint16_t>(l * endPhase + st->regeneratedPhase[l - 1]);
            const int32_t a = int32_t(p->amplitude[l - 1]) * (1 << (norm > 0 ? norm : 0));
            spectrum[2 * l] = static_cast<int16_t>((a * ImbeCos(theta)) >> 15);
            spectrum[2 * l + 1] = static_cast<int16_t>((a * ImbeSin(theta)) >> 15);
            ++count;
        }
        // X_l = 64 M_l e^(j theta) makes the inverse transform's 1/128 give M_l cos(...).
        tableExp = ImbeRealIfft(spectrum, p->amplitudeExponent - (norm > 0 ? norm : 0) + 6, 7);
    }
    for (int i = 0; i < 128; ++i) table[i] = count ? spectrum[i] : 0;
    table[128] = table[0];
    return count ? tableExp : 0;
}

// Harmonics 8 .. L: the previous period table fades out while the new one fades in.
void ImbeSynthesizeHighHarmonics(const ImbeParams* p, int32_t* acc, int n, uint16_t endPhase, ImbeDecoderState* st) {
    const int fadeStart = st->samplesPerFrame / 2 - 25;
    const int fadeEnd = fadeStart + kFade;
    const int16_t* old = st->voicedTail;
    const int oldExp = st->waveTableExponent;
    const uint32_t stepOld = static_cast<uint32_t>(st->lastParams.fundamental) * 16;
    const uint32_t stepNew = static_cast<uint32_t>(p->fundamental) * 16;
    for (int k = 0; k < n && k < fadeEnd; ++k) {
        int32_t gain = k < fadeStart ? 32767 : 32750 - 655 * (k - fadeStart);
        int32_t w = (ImbeWaveRead(old, static_cast<uint32_t>(k) * stepOld) * gain) >> 15;
        acc[k] = ImbeAdd32(acc[k], ToAcc(w, oldExp));
    }

    int16_t table[129];
    const int tableExp = ImbeBuildWaveTable(p, endPhase, st, table);
    for (int k = fadeStart; k < n; ++k) {
        // Read so that position 0 falls on the piece end: the table's phase is the end phase.
        uint32_t pos = static_cast<uint32_t>(0u - static_cast<uint32_t>(n - k) * stepNew);
        int32_t gain = k < fadeEnd ? 655 * (k - fadeStart) : 32767;
        int32_t w = (ImbeWaveRead(table, pos) * gain) >> 15;
        acc[k] = ImbeAdd32(acc[k], ToAcc(w, tableExp));
    }
    ImbeCopyWords(st->voicedTail, table, 129);
    st->waveTableExponent = static_cast<int16_t>(tableExp);
}

void ImbeSynthesizeVoiced(const ImbeParams* p, int32_t* acc, int n, ImbeDecoderState* st) {
    // The fundamental's phase at the end of the piece: mean frequency times length.
    const int fp = st->lastParams.fundamental, fc = p->fundamental;
    const uint16_t endPhase = static_cast<uint16_t>(st->fundamentalPhase + (((fp + fc) * n) >> 4));
    st->fundamentalPhase = static_cast<int16_t>(endPhase);
    ImbeSynthesizeLowHarmonics(p, acc, n, endPhase, st);
    ImbeSynthesizeHighHarmonics(p, acc, n, endPhase, st);
}

void ImbeWriteSamples(const int32_t* acc, int16_t* pcm, int n) {
    for (int k = 0; k < n; ++k) pcm[k] = static_cast<int16_t>(ImbeRound32(ImbeShl32(acc[k], 2)) >> 16);
}

void ImbeSynthesizePiece(ImbeParams* params, int16_t* pcm, int n, ImbeDecoderState* state) {
    int32_t acc[kMaxPiece] = {};
    ImbeSynthesizeUnvoiced(params, acc, n, state);
    ImbeSynthesizeVoiced(params, acc, n, state);
    ImbeWriteSamples(acc, pcm, n);
    ImbeCopyParams(&state->lastParams, params);
    state->lastParams.synthesize = ImbeSynthesizeSamples;
}

}  // namespace

void ImbeSynthesizeSamples(ImbeParams* params, int16_t* pcm, int count, ImbeDecoderState* state) {
    if (count > kMaxPiece) {
        const int first = count / 2;
        ImbeSynthesizePiece(params, pcm, first, state);
        ImbeSynthesizePiece(params, pcm + first, count - first, state);
    } else {
        ImbeSynthesizePiece(params, pcm, count, state);
    }
}

void ImbeSynthesizeMuted(ImbeParams* params, int16_t* pcm, int count, ImbeDecoderState* state) {
    ImbeCopyParams(params, &state->mutedParams);
    ImbeSynthesizeSamples(params, pcm, count, state);
}
