// The transfer rates and access times the headless run prints beside the results rows.
#include "results/figures.h"
#include "table.h"
#include <gtest/gtest.h>

namespace {

namespace kv = uidriver::korvane;
using report::ReadKind;

struct Case {
    ReadKind kind;
    double seconds;
    bool known;
    double kbPerSecond, xRating, msPerAccess;
    const char* text;
};

class Figures : public ::testing::TestWithParam<Case> {};

TEST_P(Figures, FromOneSectionsTime)
{
    const Case& c = GetParam();
    const report::ReadFigures f = report::DeriveFigures(c.kind, c.seconds);
    EXPECT_EQ(f.known, c.known);
    EXPECT_NEAR(f.kbPerSecond, c.kbPerSecond, 0.01);
    EXPECT_NEAR(f.xRating, c.xRating, 0.001);
    EXPECT_NEAR(f.msPerAccess, c.msPerAccess, 0.0001);
    EXPECT_EQ(report::FormatFigures(c.kind, c.seconds), c.text);
}

// 384 blocks of 2048 bytes are 768 KB; 1x is 150 KB/s.
INSTANTIATE_TEST_SUITE_P(
    Sections, Figures,
    ::testing::Values(Case{ReadKind::Sequential, 0.10, true, 7680, 51.2, 0, "  7680 KB/s   51.2x"},
                      Case{ReadKind::Sequential, 5.12, true, 150, 1.0, 0, "   150 KB/s    1.0x"},
                      Case{ReadKind::Sequential, 0.01, true, 76800, 512.0, 0, " 76800 KB/s  512.0x"},
                      Case{ReadKind::Random, 1.23, true, 0, 0, 3.203125, "  3.20 ms/access"},
                      Case{ReadKind::Random, 0.0115, true, 0, 0, 0.0299479, "  0.03 ms/access"},
                      // Shown as 0.00 (a plain folder), or no time at all: nothing to divide by.
                      Case{ReadKind::Sequential, 0.0, false, 0, 0, 0, "     - KB/s      -x"},
                      Case{ReadKind::Sequential, 0.0049, false, 0, 0, 0, "     - KB/s      -x"},
                      Case{ReadKind::Random, 0.0, false, 0, 0, 0, "     - ms/access"},
                      Case{ReadKind::Random, -1, false, 0, 0, 0, "     - ms/access"},
                      Case{ReadKind::None, 0.52, false, 0, 0, 0, ""}));

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
