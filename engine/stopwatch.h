// The stopwatch: counter reads and their conversion to seconds.
#pragma once
#include "seams.h"
#include <cstdint>

inline int64_t ReadPerformanceCounter()
{
    return Disc().ReadCounter();
}

// (end - start) / frequency, with the tick difference kept in 64 bits and the
// division in double precision.
inline double ElapsedSeconds(int64_t start, int64_t end, int64_t frequency)
{
    return static_cast<double>(end - start) / static_cast<double>(frequency);
}
