// Frame streams for the IMBE benchmarks, built with the test-side encoder: random b-vectors,
// and a mixed stream of voiced, unvoiced and mixed frames with some repeats (errors in c0).
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "imbe/imbe_decoder.h"
#include "imbe/imbe_params.h"
#include "tests/support/imbe_test_encoder.h"

struct ImbeWorkload {
    std::vector<ImbeFrame> frames;

    ImbeWorkload(size_t count, bool mixed, uint32_t seed = 1) : frames(count) {
        std::mt19937 rng(seed);
        for (size_t i = 0; i < count; ++i) {
            ImbeTestParams p = ImbeTestRandomParams(static_cast<int>(rng() % 208), rng);
            const int k = ImbeTestBandCount(p.fundamentalCode);
            switch (mixed ? i % 3 : 2) {
            case 0: p.voicing = static_cast<uint16_t>((1 << k) - 1); break;  // voiced
            case 1: p.voicing = 0; break;                                    // unvoiced
            default: break;                                                  // mixed
            }
            uint8_t channel[144];
            ImbeTestEncodeFrame(p, channel);
            if (mixed && i % 10 == 9)  // a repeat: four errors in c0
                for (int b : {0, 5, 11, 17}) channel[ImbeTestChannelIndex(0, b)] ^= 1;
            ImbeFrame& f = frames[i];
            std::memset(&f, 0, sizeof(f));
            std::memcpy(f.bits, channel, sizeof(channel));
            f.sampleCount = 160;
            f.softBits = 1;
        }
    }
};

// De-interleave, error correction and unpacking of every frame; returns a checksum.
inline uint32_t RunFecAndUnpack(const ImbeWorkload& w, ImbeDecoderState* state) {
    uint32_t sum = 0;
    ImbeFrame f;
    ImbeParams params;
    for (const ImbeFrame& in : w.frames) {
        std::memcpy(&f, &in, sizeof(f));
        ImbeFecDecode(&f, state);
        ImbeUnpackParameters(&params, state->prevLogAmplitude, &state->prevHarmonicCount, f.bits);
        sum += static_cast<uint32_t>(params.amplitude[0]) + static_cast<uint32_t>(f.errorCount);
    }
    return sum;
}

// The whole decode (error correction, parameters, synthesis) of every frame.
inline uint32_t RunDecode(const ImbeWorkload& w, ImbeDecoderState* state) {
    uint32_t sum = 0;
    ImbeFrame f;
    for (const ImbeFrame& in : w.frames) {
        std::memcpy(&f, &in, sizeof(f));
        ImbeFecDecode(&f, state);
        ImbeDecode(&f, state);
        sum += static_cast<uint32_t>(f.pcm[37]) + static_cast<uint32_t>(f.status);
    }
    return sum;
}
