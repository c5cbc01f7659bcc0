#include "imbe/imbe_decoder.h"
#include "imbe/imbe_fec.h"
#include "tests/support/imbe_test_encoder.h"

#include <gtest/gtest.h>

#include <random>

namespace {

ImbeFrame MakeFrame(const uint8_t channel[144]) {
    ImbeFrame f{};
    for (int i = 0; i < 144; ++i) f.bits[i] = channel[i];
    f.status = 0;
    f.sampleCount = 160;
    f.softBits = 1;
    return f;
}

}  // namespace

TEST(ImbeFec, RandomWordsRoundTripExactly) {
    std::mt19937 rng(1);
    ImbeDecoderState state;
    ImbeInit(&state);
    for (int n = 0; n < 2000; ++n) {
        ImbeTestWords w;
        for (int v = 0; v < 8; ++v) w.u[v] = static_cast<uint16_t>(rng() & (v < 4 ? 0xFFF : (v < 7 ? 0x7FF : 0x7F)));
        uint8_t channel[144], info[88];
        ImbeTestEncodeWords(w, channel);
        ImbeTestWordsToBits(w, info);
        ImbeFrame f = MakeFrame(channel);
        ImbeFecDecode(&f, &state);
        ASSERT_EQ(0, f.status);
        ASSERT_EQ(0, f.errorCount);
        for (int i = 0; i < 88; ++i) ASSERT_EQ(info[i], f.bits[i]) << "frame " << n << " bit " << i;
    }
}
