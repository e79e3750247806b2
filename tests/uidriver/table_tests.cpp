// The run command's table: the results rows with their figures in fixed columns, and the speed-up.
#include "results/figures.h"
#include "table.h"
#include <gtest/gtest.h>

namespace {

namespace kv = uidriver::korvane;
using report::ReadKind;

TEST(FiguresTable, RowsOfTheResultsWindowKeepTheirColumnsWithin100)
{
    using Row = std::vector<std::string>;
    const std::string sequential = kv::FormatRow(Row{"     2", "Sequential read of 384 blocks:", "    0.10 seconds"});
    EXPECT_EQ(sequential, "     2  Sequential read of 384 blocks:     0.10 seconds    7680 KB/s   51.2x");
    EXPECT_EQ(kv::FormatRow(Row{"", "Random read of 384 blocks:", "    0.00 seconds"}),
              "        Random read of 384 blocks:         0.00 seconds       - ms/access");
    EXPECT_EQ(kv::FormatRow(Row{"     1", "Directory walk of drive D:\\", "    0.52 seconds"}),
              "     1  Directory walk of drive D:\\        0.52 seconds");
    EXPECT_EQ(kv::FormatRow(Row{"", "** Testing With Zelkor Cache **", ""}), "        ** Testing With Zelkor Cache **");

    // A line under a row (the drive model's) puts its time and figures in the row's columns.
    const std::string model = kv::FormatLine("", "model, 384 from the cache:", " 99.1234 seconds",
                                             report::FormatFigures(ReadKind::Sequential, 99.1234), "  ratio 0.997");
    EXPECT_EQ(model.find("seconds"), sequential.find("seconds"));
    EXPECT_EQ(model.find("KB/s"), sequential.find("KB/s"));
    EXPECT_LE(model.size(), 100u);
}

TEST(FiguresTable, SpeedUpNeedsBothTimes)
{
    EXPECT_EQ(kv::FormatSpeedUp(0.52, 0.10), "5.20");
    EXPECT_EQ(kv::FormatSpeedUp(0.52, 0.0), "-");
    EXPECT_EQ(kv::FormatSpeedUp(0.0, 0.10), "-");
    EXPECT_EQ(report::ParseSeconds("    0.00 seconds"), 0.0);
    EXPECT_EQ(report::ParseSeconds("1234.56 seconds"), 1234.56);
    EXPECT_EQ(report::ParseSeconds(""), -1);
}

}  // namespace
