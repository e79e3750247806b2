// The results as the text the results window puts on the clipboard.
#include "results/figures.h"
#include <gtest/gtest.h>

namespace {

using Rows = report::ResultRows;

const Rows kPass = {
    {"", "** Testing Without Zelkor Cache **", ""},
    {"     1", "Directory walk of drive D:\\", "   12.18 seconds"},
    {"     2", "Sequential read of 384 blocks:", "    0.10 seconds"},
    {"", "Random read of 384 blocks:", "    1.23 seconds"},
    {"     3", "Sequential read of 384 blocks:", "    0.00 seconds"},
    {"", "Random read of 384 blocks:", "    0.00 seconds"},
    {"", "Total time of tests 1-4:", "   13.51 seconds"},
};

TEST(CopyText, OneLinePerRowWithTheWindowsCellsAndTheirFigures)
{
    EXPECT_EQ(report::CopyText("KORVANE_DEMO", "MOVIE.DAT", kPass),
              "Korvane Version 3.20\tCD-ROM Volume : KORVANE_DEMO\tFile used for read test : MOVIE.DAT\r\n"
              "Testing Without Zelkor Cache\r\n"
              "     1\tDirectory walk of drive D:\\\t   12.18 seconds\r\n"
              "     2\tSequential read of 384 blocks:\t    0.10 seconds\t7680 KB/s\t51.2x\r\n"
              "\tRandom read of 384 blocks:\t    1.23 seconds\t3.20 ms/access\r\n"
              "     3\tSequential read of 384 blocks:\t    0.00 seconds\t- KB/s\t-x\r\n"
              "\tRandom read of 384 blocks:\t    0.00 seconds\t- ms/access\r\n"
              "\tTotal time of tests 1-4:\t   13.51 seconds\r\n");
}

TEST(CopyText, FiguresFollowTheTimeAsMeasured)
{
    // A cache-served read shows 0.01 seconds; as measured it took 0.0116 s. A time
    // shown as 0.00 keeps "-", and a row without a measured time uses the shown one.
    const Rows rows = {{"     2", "Sequential read of 384 blocks:", "    0.01 seconds"},
                       {"", "Random read of 384 blocks:", "    0.00 seconds"},
                       {"     3", "Sequential read of 384 blocks:", "    0.10 seconds"}};
    EXPECT_EQ(report::CopyText("V", "F", rows, {0.0116, 0.004}),
              "Korvane Version 3.20\tCD-ROM Volume : V\tFile used for read test : F\r\n"
              "     2\tSequential read of 384 blocks:\t    0.01 seconds\t66207 KB/s\t441.4x\r\n"
              "\tRandom read of 384 blocks:\t    0.00 seconds\t- ms/access\r\n"
              "     3\tSequential read of 384 blocks:\t    0.10 seconds\t7680 KB/s\t51.2x\r\n");
}

TEST(CopyText, DuringARunAndWithNothingToCopy)
{
    // The second pass's heading, and a row whose time is not written yet: no figures for it.
    const Rows running = {{"", "** Testing With Zelkor Cache **", ""}, {"     2", "Sequential read of 384 blocks:", ""}};
    EXPECT_EQ(report::CopyText("", "", running),
              "Korvane Version 3.20\tCD-ROM Volume : \tFile used for read test : \r\n"
              "Testing With Zelkor Cache\r\n"
              "     2\tSequential read of 384 blocks:\t\r\n");
    EXPECT_EQ(report::CopyText("KORVANE_DEMO", "MOVIE.DAT", Rows{}), "");
    // A row of fewer cells than the window's three still gives three.
    EXPECT_EQ(report::CopyText("V", "F", Rows{{"     1"}}),
              "Korvane Version 3.20\tCD-ROM Volume : V\tFile used for read test : F\r\n     1\t\t\r\n");
}

}  // namespace
