#include "dsp/bit_clock.h"

#include <new>

BitClock* BitClockCreate(void* storage) {
    BitClock* clock = storage ? new (storage) BitClock : new (std::nothrow) BitClock;
    return clock;
}

void BitClockDestroy(BitClock* clock, int flags) {
    if (!clock) return;
    if (flags & 1)
        delete clock;
    else
        clock->~BitClock();
}

void BitClockReset(BitClock* clock) {
    if (!clock) return;
    clock->phase = 0.0;
    clock->countdown = 0.0;
    clock->previous = 0;
}

void BitClockRun(BitClock* clock, const int16_t* x, uint32_t count, uint32_t stride) {
    if (!clock || !x || stride == 0 || !clock->callback) return;
    if (!(clock->baudRate > 0.0)) return;
    const double s = clock->sampleRate / clock->baudRate;
    // Below two samples per bit the countdown could never reach the next bit.
    if (!(s >= 2.0)) return;
    const double g = clock->gain;
    for (uint32_t i = 0; i < count;) {
        const int32_t v = x[i];
        const int32_t p = clock->previous;
        if ((v < 0) != (p < 0) || (v == 0 && p != 0)) {
            // At mid-bit the phase is -s/2, which puts the next bit sample half a bit ahead.
            clock->countdown = (1.0 - g) * clock->phase + (1.0 - g / 2.0) * s;
        }
        if (clock->countdown <= 0.0) {
            clock->callback(clock->context, clock, 1, v >= 0 ? 1 : 0);
            clock->phase = clock->countdown;
            clock->countdown += s;
        }
        clock->phase -= 1.0;
        clock->countdown -= 1.0;
        clock->previous = v;
        i = (count - i > stride) ? i + stride : count;
    }
}
