// Elapsed time from the system's performance counter.
#pragma once

#include <cstdint>

class HighResTimer {
public:
    // Throws the integer 0 when the system has no performance counter.
    HighResTimer();

    int64_t Elapsed(int64_t unitsPerSecond) const;  // since construction; 1000 gives ms
    int64_t ToUnits(int64_t ticks, int64_t unitsPerSecond) const;
    int64_t Now() const;
    int64_t Frequency() const { return m_frequency; }

private:
    int64_t m_frequency;
    int64_t m_start;
};
