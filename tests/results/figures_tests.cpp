// The transfer rates and access times derived from a shown time, as the copied results and the run command print them.
#include "results/figures.h"
#include <gtest/gtest.h>

namespace {

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

}  // namespace
