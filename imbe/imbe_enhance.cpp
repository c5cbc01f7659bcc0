// Enhancement of a decoded frame before synthesis: phase regeneration, log-to-linear
// conversion, spectral enhancement, adaptive smoothing and unvoiced renormalisation. Linear
// amplitudes are carried per harmonic as mantissa-and-exponent values until the last step
// aligns them to one exponent (scales: imbe_decoder.h).
#include "imbe/imbe_decoder.h"
#include "imbe/imbe_math.h"

namespace {

const int16_t kPhaseCoefficients[10] = {18411, 6137, 3682, 2630, 2046, 1674, 1416, 1227, 1083, 969};
constexpr int kLogClamp = 30720;

// Regenerated phase per harmonic from the log amplitudes: sum_m c_m (X[l+2m+1] - X[l-2m-1]).
// The sum (Q15 coefficients on Q11 logs, Q26) is taken as radians and turned into 16-bit phase.
void ImbeRegeneratePhases(const ImbeParams* p, ImbeDecoderState* st) {
    const int L = p->harmonicCount;
    // log2 of f0 / 8000 in Q11: unvoiced harmonics enter lowered by it (it is negative).
    int32_t logF = ImbeLog2(p->fundamental, -4) / 32;
    int32_t xs[19 + 76];
    int32_t* x = xs + 19;  // x[-19 .. L + 19]
    x[0] = 0;
    for (int l = 1; l <= L; ++l) {
        int32_t v = p->amplitude[l - 1];
        if (!p->voiced[l - 1]) v = v + logF < -kLogClamp ? -kLogClamp : (v + logF > kLogClamp ? kLogClamp : v + logF);
        x[l] = v;
    }
    for (int k = L + 1; k <= 64; ++k) x[k] = ImbeSat16(x[k - 1] - 1477);
    for (int k = 65; k <= L + 19; ++k) x[k] = x[128 - k];
    for (int k = 1; k <= 19; ++k) x[-k] = x[k];
    for (int l = 1; l <= L; ++l) {
        int64_t s = 0;
        for (int m = 0; m < 10; ++m) s += int64_t(kPhaseCoefficients[m]) * (x[l + 2 * m + 1] - x[l - 2 * m - 1]);
        // 65536 / 2pi = 10430.4 phase units per radian
        st->regeneratedPhase[l - 1] = static_cast<int16_t>(static_cast<uint16_t>((s * 10430) >> 26));
    }
    for (int l = L; l < kImbeMaxHarmonics; ++l) st->regeneratedPhase[l] = 0;
}

void ImbeLogToLinear(const ImbeParams* p, ImbeFloat* amp) {
    const int L = p->harmonicCount;
    int32_t maxLog = -kLogClamp;
    for (int l = 0; l < L; ++l) {
        int32_t v = p->amplitude[l];
        v = v < -30719 ? -30719 : (v > 30719 ? 30719 : v);
        if (v > maxLog) maxLog = v;
    }
    const int32_t e = ((maxLog + 1024) >> 11) + 1;
    for (int l = 0; l < kImbeMaxHarmonics; ++l) {
        if (l >= L) {
            amp[l] = {0, 0};
            continue;
        }
        int32_t v = p->amplitude[l];
        v = v < -30719 ? -30719 : (v > 30719 ? 30719 : v);
        ImbeFloat a = ImbePow2((v - e * 2048) * 32);
        amp[l] = {a.m, static_cast<int16_t>(a.e + e)};
    }
}

ImbeFloat SumOfSquares(const ImbeFloat* amp, int L) {
    ImbeFloat sum{0, 0};
    for (int l = 0; l < L; ++l) sum = ImbeFloatAdd(sum, ImbeFloatMul(amp[l], amp[l]));
    return sum;
}

void ImbeEnhanceAmplitudes(const ImbeParams* p, ImbeFloat* amp, ImbeDecoderState* st) {
    const int L = p->harmonicCount;
    ImbeFloat r0{0, 0}, r1{0, 0};
    for (int l = 1; l <= L; ++l) {
        ImbeFloat sq = ImbeFloatMul(amp[l - 1], amp[l - 1]);
        r0 = ImbeFloatAdd(r0, sq);
        int16_t c = kImbeCosine[(l * p->fundamental) >> 10];  // l w0 < pi: no wrap
        r1 = ImbeFloatAdd(r1, ImbeFloatMul(sq, ImbeFloat{c, 0}));
    }
    r1.m = static_cast<int16_t>((int32_t(r1.m) * 45874) >> 16);  // 0.7
    if (r1.m == -32768) r1.m = -32767;
    r1 = ImbeFloatFrom16(r1.m, r1.e);

    // S_E = energy * 2^(energyExponent + 15): 0.95 S_E + 0.05 R_M0
    ImbeFloat se{st->energy, static_cast<int16_t>(st->energyExponent + 30)};
    se = ImbeFloatAdd(ImbeFloatMul(se, ImbeFloat{31130, 0}), ImbeFloatMul(r0, ImbeFloat{26214, -4}));
    if (se.m == 0 || se.e - 30 <= -17) {
        st->energy = 32767;
        st->energyExponent = -17;
    } else {
        st->energy = se.m;
        st->energyExponent = static_cast<int16_t>(se.e - 30);
    }

    if (r0.m == 0) return;
    ImbeFloat r0sq = ImbeFloatMul(r0, r0), r1sq = ImbeFloatMul(r1, r1);
    ImbeFloat diff = ImbeFloatSub(r0sq, r1sq);
    if (diff.m <= 0) return;
    // Q = 0.96 pi / (w0 R_M0 (R_M0^2 - R_M1^2)): 0x3CD013A9 as Q31 times 2^19 over the Q19
    // fundamental gives 0.96 pi / w0 within 1 %.
    ImbeFloat denom = ImbeFloatMul(ImbeFloatMul(r0, diff), ImbeFloatFrom32(p->fundamental, 31));
    ImbeFloat q = ImbeFloatDiv(ImbeFloatFrom32(1020269481, 19), denom);
    const ImbeFloat wMin{16384, 0}, wMax{19661, 1};  // 0.5 and 1.2
    ImbeFloat r0r1 = ImbeFloatMul(r0, r1);
    for (int l = 1; l <= L; ++l) {
        if (8 * l <= L || amp[l - 1].m == 0) continue;
        int16_t c = kImbeCosine[(l * p->fundamental) >> 10];
        // The cross term's factor 2 rides in the exponent of the cosine: {c, 1} = 2 cos.
        ImbeFloat inner = ImbeFloatSub(ImbeFloatAdd(r0sq, r1sq), ImbeFloatMul(r0r1, ImbeFloat{c, 1}));
        ImbeFloat t = ImbeFloatMul(q, inner);
        ImbeFloat w = t.m > 0 ? ImbeFloatSqrt(ImbeFloatMul(amp[l - 1], ImbeFloatSqrt(t))) : wMin;
        if (ImbeFloatLess(w, wMin)) w = wMin;
        if (ImbeFloatGreater(w, wMax)) w = wMax;
        amp[l - 1] = ImbeFloatMul(amp[l - 1], w);
    }
    ImbeFloat now = SumOfSquares(amp, L);
    if (now.m == 0) return;  // nothing left to rescale
    ImbeFloat g = ImbeFloatSqrt(ImbeFloatDiv(r0, now));
    for (int l = 0; l < L; ++l) amp[l] = ImbeFloatMul(amp[l], g);
}

void ImbeSmoothParameters(ImbeParams* p, ImbeFloat* amp, const ImbeDecoderState* st) {
    const int L = p->harmonicCount;
    if (st->energy != 0 && (st->errorRate >= 165 || st->errorTotal >= 4)) {
        // log2 V_M with 26 fractional bits: 5.5 + 0.375 log2 S_E, less 400 eR or 5.0
        int64_t vm = 369098752 + int64_t(384) * ImbeLog2(st->energy, st->energyExponent + 30);
        if (st->vectorErrors[4] == 0 && st->errorRate < 410)
            vm -= int64_t(800) * 1024 * st->errorRate;
        else
            vm -= 335544320;
        int32_t vm10 = static_cast<int32_t>((vm + (1 << 15)) >> 16);
        vm10 = vm10 < -15359 ? -15359 : (vm10 > 15359 ? 15359 : vm10);
        ImbeFloat threshold = ImbePow2(vm10 * 64);
        for (int l = 0; l < L; ++l)
            if (ImbeFloatGreater(amp[l], threshold)) p->voiced[l] = 1;
    }
    // Limit the sum of the amplitudes (the peak of all harmonics in phase): A_M = sum * 2^10
    // as an integer; above 320 in its upper half (sum >= 20544) scale by 0x1400000 / A_M.
    ImbeFloat sum{0, 0};
    for (int l = 0; l < L; ++l) sum = ImbeFloatAdd(sum, amp[l]);
    const int32_t am = ImbeFloatToInt(sum, 10);
    if ((am >> 16) > 320) {
        ImbeFloat g = ImbeFloatDiv(ImbeFloatFrom32(0x1400000, 31), ImbeFloatFrom32(am, 31));
        for (int l = 0; l < L; ++l) amp[l] = ImbeFloatMul(amp[l], g);
    }
}

void ImbeNormalizeAmplitudes(ImbeParams* p, ImbeFloat* amp) {
    const int L = p->harmonicCount;
    ImbeFloat scale = ImbeFloatSqrt(ImbeFloatFrom32(p->fundamental, 31));
    scale.e = static_cast<int16_t>(scale.e - 7);  // sqrt(fundamental) / 128
    int emax = -32768;
    for (int l = 0; l < L; ++l) {
        if (!p->voiced[l]) amp[l] = ImbeFloatMul(amp[l], scale);
        if (amp[l].m != 0 && amp[l].e > emax) emax = amp[l].e;
    }
    if (emax == -32768) emax = 0;
    for (int l = 0; l < kImbeMaxHarmonics; ++l) {
        int shift = l < L && amp[l].m != 0 ? emax - amp[l].e : 16;
        p->amplitude[l] = static_cast<int16_t>(shift > 15 ? 0 : amp[l].m >> shift);
    }
    p->amplitudeExponent = static_cast<int16_t>(emax - 15);
}

}  // namespace

void ImbeSynthesizeFrame(ImbeParams* params, int16_t* pcm, int count, ImbeDecoderState* state) {
    ImbeFloat amp[kImbeMaxHarmonics];
    ImbeRegeneratePhases(params, state);
    ImbeLogToLinear(params, amp);
    ImbeEnhanceAmplitudes(params, amp, state);
    ImbeSmoothParameters(params, amp, state);
    ImbeNormalizeAmplitudes(params, amp);
    ImbeSynthesizeSamples(params, pcm, count, state);
}
