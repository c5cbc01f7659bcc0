#include "imbe/imbe_decoder.h"

#include "imbe/imbe_params.h"

#include <cstring>

void ImbeInitParams(ImbeParams* params, ImbeSynthesisRoutine routine) {
    params->valid = 1;
    params->harmonicCount = 14;
    params->updateMask = 0;
    params->fundamental = 16384;
    for (int i = 0; i < kImbeMaxHarmonics; ++i) {
        params->amplitude[i] = 26214;
        params->voiced[i] = 0;
    }
    params->amplitudeExponent = -18;
    params->synthesize = routine;
}

void ImbeCopyParams(ImbeParams* dst, const ImbeParams* src) {
    if (dst != src) std::memcpy(dst, src, sizeof(ImbeParams));
}

void ImbeInit(ImbeDecoderState* state) {
    std::memset(state, 0, sizeof(*state));
    state->noiseFundamental = 7365;
    state->energy = 18750;
    state->energyExponent = -13;
    ImbeInitParams(&state->lastParams, ImbeSynthesizeSamples);
    ImbeInitParams(&state->mutedParams, ImbeSynthesizeMuted);
    state->samplesPerFrame = 160;
    state->voicedFrameLength = 160;
    state->prevHarmonicCount = 30;
}

namespace {

// Decodes, repeats or mutes: fills params and returns the frame's status.
int ImbeDecodeParameters(const ImbeFrame* frame, ImbeDecoderState* state, ImbeParams* params) {
    const int flags = frame->status & (kImbeRepeat | kImbeMute);
    state->history = static_cast<uint16_t>(state->history << 1);

    params->valid = 0;
    if (!(flags & kImbeRepeat)) {
        params->synthesize = ImbeSynthesizeFrame;
        ImbeUnpackParameters(params, state->prevLogAmplitude, &state->prevHarmonicCount, frame->bits);
    }

    if (flags & kImbeMute) {
        ImbeCopyParams(params, &state->mutedParams);
    } else if (!(flags & kImbeRepeat) && params->valid == 1) {
        params->synthesize = ImbeSynthesizeFrame;
        return 0;
    } else if ((state->history & 14) != 14) {
        ImbeCopyParams(params, &state->lastParams);
    } else {
        ImbeCopyParams(params, &state->mutedParams);  // the fourth bad frame in a row
    }
    state->history |= 1;
    return flags | kImbeBadFrame;
}

}  // namespace

void ImbeDecode(ImbeFrame* frame, ImbeDecoderState* state) {
    ImbeParams params;
    frame->status = static_cast<int16_t>(ImbeDecodeParameters(frame, state, &params));
    // pcm holds kImbeMaxSamples, so the clamp also bounds every write below.
    if (frame->sampleCount > kImbeMaxSamples) frame->sampleCount = kImbeMaxSamples;
    if (frame->sampleCount < 132) frame->sampleCount = 132;
    state->samplesPerFrame = 160;
    state->voicedFrameLength = 160;
    params.synthesize(&params, frame->pcm, frame->sampleCount, state);
}
