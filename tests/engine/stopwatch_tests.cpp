// The stopwatch's seconds from performance counter ticks.
#include "tests/engine/enginetest.h"

TEST(Stopwatch, SecondsFromTicks)
{
    EXPECT_DOUBLE_EQ(0.0, ElapsedSeconds(5, 5, 1193182));
    EXPECT_DOUBLE_EQ(0.5, ElapsedSeconds(100, 600, 1000));
    // More than 2^32 ticks: about an hour at 1.19 MHz.
    const int64_t start = 7, ticks = 5000000000LL;
    EXPECT_NEAR(ticks / 1193182.0, ElapsedSeconds(start, start + ticks, 1193182), 1e-9);
}
