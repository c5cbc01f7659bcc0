// Prints a digest of the PCM the vocoder makes from a fixed sequence of frames (random
// parameters, planted code errors, long and short frames). scripts/compare-builds runs it
// natively and under Wine: the fixed-point decoder must give the same samples in both builds.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

#include "imbe/imbe_decoder.h"
#include "tests/support/imbe_test_encoder.h"

int main() {
    ImbeDecoderState state;
    ImbeInit(&state);
    std::mt19937 rng(43);
    const int fourInC0[7] = {4, 0, 0, 0, 0, 0, 0};
    uint32_t hash = 2166136261u;  // FNV-1a over the sample bytes
    long samples = 0;
    for (int i = 0; i < 500; ++i) {
        uint8_t channel[144];
        ImbeTestEncodeFrame(ImbeTestRandomParams(static_cast<int>(rng() % 208), rng), channel);
        if (i % 17 == 5) ImbeTestAddErrors(channel, fourInC0, static_cast<uint32_t>(i));
        ImbeFrame f{};
        std::memcpy(f.bits, channel, 144);
        f.sampleCount = static_cast<int16_t>(i % 23 == 3 ? 240 : 160);
        f.softBits = 1;
        ImbeFecDecode(&f, &state);
        ImbeDecode(&f, &state);
        for (int k = 0; k < f.sampleCount; ++k) {
            uint16_t s = static_cast<uint16_t>(f.pcm[k]);
            hash = (hash ^ (s & 0xFF)) * 16777619u;
            hash = (hash ^ (s >> 8)) * 16777619u;
        }
        samples += f.sampleCount;
    }
    std::printf("%ld samples, digest %08x\n", samples, static_cast<unsigned>(hash));
    return 0;
}
