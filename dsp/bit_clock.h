// Recovers bits from a binary baseband signal (NRZ, positive = 1): a free-running countdown
// to the next bit sample, pulled towards mid-bit at every zero crossing by the gain g.
#pragma once

#include <cstdint>
#include <memory>

struct BitClock;

// Receives bitCount bits of value bit (0 or 1).
using BitClockCallback = void (*)(void* context, BitClock* clock, int bitCount, int bit);

struct BitClock {
    BitClockCallback callback = nullptr;
    void* context = nullptr;
    double baudRate = 1000.0;
    double gain = 0.01;          // 0 < g <= 1: share of the timing error corrected per crossing
    double secondGain = 0.0008;  // kept for a frequency loop; the clock does not use it
    double sampleRate = 44100.0;

    // running state carried between calls
    double phase = 0.0;      // samples since the last bit sample, counted down (<= 0)
    double countdown = 0.0;  // samples to the next bit sample
    int32_t previous = 0;
};

// Build with the defaults in storage (sizeof(BitClock) bytes) or, when null, on the heap.
BitClock* BitClockCreate(void* storage);
void BitClockDestroy(BitClock* clock, int flags);  // bit 0: the clock came from the heap

// Owns an object from BitClockCreate(nullptr).
struct BitClockDeleter {
    void operator()(BitClock* p) const { BitClockDestroy(p, 1); }
};
using BitClockPtr = std::unique_ptr<BitClock, BitClockDeleter>;

void BitClockReset(BitClock* clock);

// Clock the samples x[0], x[stride], ... below x[count]. Nothing happens for stride 0, a
// missing callback, or rates that do not give at least 2 samples per bit.
void BitClockRun(BitClock* clock, const int16_t* x, uint32_t count, uint32_t stride);
