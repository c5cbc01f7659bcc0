#include "dsp/bit_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct Sampled {
    std::vector<int> bits;
    std::vector<size_t> at;  // input index of each bit sample
    size_t index = 0;        // index of the sample being clocked (when fed one at a time)
};

void Record(void* context, BitClock*, int count, int bit) {
    Sampled* s = static_cast<Sampled*>(context);
    for (int i = 0; i < count; ++i) {
        s->bits.push_back(bit);
        s->at.push_back(s->index);
    }
}

BitClock MakeClock(Sampled* sink, double rate, double baud, double gain) {
    BitClock clock;
    clock.callback = &Record;
    clock.context = sink;
    clock.sampleRate = rate;
    clock.baudRate = baud;
    clock.gain = gain;
    BitClockReset(&clock);
    return clock;
}

// NRZ of random bits at `baud`, +-amplitude, the first edge at `offset` samples.
std::vector<int16_t> Nrz(const std::vector<int>& bits, double rate, double baud, double offset) {
    const double perBit = rate / baud;
    std::vector<int16_t> x(static_cast<size_t>(bits.size() * perBit + offset));
    for (size_t n = 0; n < x.size(); ++n) {
        const double t = (n - offset) / perBit;
        const int b = t < 0 ? 1 : bits[std::min(bits.size() - 1, static_cast<size_t>(t))];
        x[n] = static_cast<int16_t>(b ? 8000 : -8000);
    }
    return x;
}

std::vector<int> RandomBits(size_t n, uint32_t seed) {
    std::mt19937 engine(seed);
    std::vector<int> bits(n);
    for (auto& b : bits) b = static_cast<int>(engine() & 1u);
    return bits;
}

}  // namespace

TEST(BitClock, LocksToMidBitAndTracksARateError) {
    // 20 samples per bit at the receiver's nominal rate. A crossing is seen up to one sample
    // late and the countdown fires up to one sample late: up to 2 samples from mid-bit at
    // lock. A transmitter 0.5 % off drifts 0.1 sample per bit; each crossing removes a tenth
    // of the error (gain 0.1) and random data crosses every other bit, so the drift holds the
    // error near 0.1 * 2 / 0.1 = 2 samples, and a run of 8 equal bits (about once in 256
    // bits) adds 0.8. Bound: 2 + 2 + 0.8, under 5 samples, half-way to the edges 10 away.
    const double rate = 2688.0;
    for (double baud : {134.4, 134.4 * 1.005, 134.4 * 0.995}) {
        const std::vector<int> bits = RandomBits(400, 17);
        const double offset = 7.37;
        const std::vector<int16_t> x = Nrz(bits, rate, baud, offset);
        Sampled sink;
        BitClock clock = MakeClock(&sink, rate, 134.4, 0.1);
        for (sink.index = 0; sink.index < x.size(); ++sink.index) BitClockRun(&clock, &x[sink.index], 1, 1);
        const double perBit = rate / baud;
        // No bit gained or lost: one sample per bit period (the first may fall before the
        // first edge).
        EXPECT_NEAR(static_cast<double>(sink.bits.size()), static_cast<double>(bits.size()), 1.0) << baud;
        size_t checked = 0;
        for (size_t k = 0; k < sink.at.size(); ++k) {
            const double t = (sink.at[k] - offset) / perBit;  // position in bits
            if (t < 40.0) continue;                           // settling
            const size_t bit = static_cast<size_t>(t);
            const double fromMid = (t - bit - 0.5) * perBit;
            EXPECT_LT(std::fabs(fromMid), 5.0) << baud << " bit " << bit;
            EXPECT_EQ(sink.bits[k], bits[bit]) << baud << " bit " << bit;
            ++checked;
        }
        EXPECT_GT(checked, 350u) << baud;
    }
}

TEST(BitClock, AnySplitGivesTheSameBitsAndState) {
    const std::vector<int16_t> x = Nrz(RandomBits(300, 5), 2666.67, 134.4 * 1.003, 3.1);
    Sampled whole;
    BitClock reference = MakeClock(&whole, 2666.67, 134.4, 0.1);
    BitClockRun(&reference, x.data(), static_cast<uint32_t>(x.size()), 1);
    ASSERT_GT(whole.bits.size(), 250u);
    for (size_t chunk : {1u, 7u, 64u, 333u}) {
        Sampled sink;
        BitClock clock = MakeClock(&sink, 2666.67, 134.4, 0.1);
        for (size_t i = 0; i < x.size(); i += chunk)
            BitClockRun(&clock, x.data() + i, static_cast<uint32_t>(std::min(chunk, x.size() - i)), 1);
        EXPECT_EQ(sink.bits, whole.bits) << chunk;
        EXPECT_EQ(clock.phase, reference.phase) << chunk;
        EXPECT_EQ(clock.countdown, reference.countdown) << chunk;
        EXPECT_EQ(clock.previous, reference.previous) << chunk;
    }
    // Stride 2 over interleaved samples takes one channel.
    std::vector<int16_t> stereo(2 * x.size(), -1234);
    for (size_t i = 0; i < x.size(); ++i) stereo[2 * i] = x[i];
    Sampled left;
    BitClock clock = MakeClock(&left, 2666.67, 134.4, 0.1);
    BitClockRun(&clock, stereo.data(), static_cast<uint32_t>(stereo.size()), 2);
    EXPECT_EQ(left.bits, whole.bits);
}

TEST(BitClock, ResetAndRefusals) {
    const std::vector<int16_t> x = Nrz(RandomBits(50, 9), 2688.0, 134.4, 0.5);
    Sampled sink;
    BitClock clock = MakeClock(&sink, 2688.0, 134.4, 0.1);
    BitClockRun(&clock, x.data(), static_cast<uint32_t>(x.size()), 0);  // stride 0
    clock.sampleRate = 200.0;                                           // 1.5 samples per bit
    BitClockRun(&clock, x.data(), static_cast<uint32_t>(x.size()), 1);
    clock.sampleRate = 2688.0;
    clock.baudRate = 0.0;
    BitClockRun(&clock, x.data(), static_cast<uint32_t>(x.size()), 1);
    EXPECT_TRUE(sink.bits.empty());
    EXPECT_EQ(clock.countdown, 0.0);

    clock.baudRate = 134.4;
    BitClockRun(&clock, x.data(), static_cast<uint32_t>(x.size()), 1);
    EXPECT_NEAR(static_cast<double>(sink.bits.size()), 50.0, 1.0);
    BitClockReset(&clock);
    EXPECT_EQ(clock.phase, 0.0);
    EXPECT_EQ(clock.countdown, 0.0);
    EXPECT_EQ(clock.previous, 0);
}
