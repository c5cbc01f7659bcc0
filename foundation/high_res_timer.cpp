#include "foundation/high_res_timer.h"

#include "foundation/platform.h"

HighResTimer::HighResTimer() : m_frequency(platform::CounterFrequency()), m_start(0) {
    if (m_frequency <= 0) throw 0;
    m_start = platform::CounterNow();
}

int64_t HighResTimer::Now() const { return platform::CounterNow(); }

// Split into whole seconds and the remainder so that ticks × units cannot overflow 64 bits
// (a 10 MHz counter times 1e6 units would after about 15 minutes).
int64_t HighResTimer::ToUnits(int64_t ticks, int64_t unitsPerSecond) const {
    return ticks / m_frequency * unitsPerSecond + ticks % m_frequency * unitsPerSecond / m_frequency;
}

int64_t HighResTimer::Elapsed(int64_t unitsPerSecond) const { return ToUnits(Now() - m_start, unitsPerSecond); }
