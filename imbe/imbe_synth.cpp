#include "imbe/imbe_decoder.h"

#include "imbe/imbe_math.h"

// Placeholder rendering until the synthesis lands: silence, with the parameter hand-over that
// repeats rely on.
static void SynthesizePiece(ImbeParams* params, int16_t* pcm, int n, ImbeDecoderState* state) {
    ImbeFillWords(pcm, 0, n);
    ImbeCopyParams(&state->lastParams, params);
    state->lastParams.synthesize = ImbeSynthesizeSamples;
}

void ImbeSynthesizeSamples(ImbeParams* params, int16_t* pcm, int count, ImbeDecoderState* state) {
    if (count > 205) {
        const int first = count / 2;
        SynthesizePiece(params, pcm, first, state);
        SynthesizePiece(params, pcm + first, count - first, state);
    } else {
        SynthesizePiece(params, pcm, count, state);
    }
}

void ImbeSynthesizeFrame(ImbeParams* params, int16_t* pcm, int count, ImbeDecoderState* state) {
    ImbeSynthesizeSamples(params, pcm, count, state);
}

void ImbeSynthesizeMuted(ImbeParams* params, int16_t* pcm, int count, ImbeDecoderState* state) {
    ImbeCopyParams(params, &state->mutedParams);
    ImbeSynthesizeSamples(params, pcm, count, state);
}
