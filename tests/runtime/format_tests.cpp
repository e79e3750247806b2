// runtime/format.cpp against MinGW's snprintf and strtod, which the program used before it had its own.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "results/figures.h"
#include "runtime/format.h"

namespace {

using report::ReadKind;

// Every time a row can show, 0.00 to 9999.99 s, and the point halfway to the next one.
std::vector<double> Times()
{
    std::vector<double> values;
    for (int i = 0; i < 1000000; ++i) {
        values.push_back(i / 100.0);
        values.push_back((i + 0.5) / 100.0);
    }
    return values;
}

// The figures of a read, as results/figures.cpp works them out from those times.
std::vector<double> Figures(double report::ReadFigures::*figure, ReadKind kind)
{
    std::vector<double> values;
    for (int i = 1; i < 200000; ++i)
        values.push_back(report::DeriveFigures(kind, 0.005 + i / 20000.0).*figure);
    return values;
}
std::vector<double> KBPerSecond() { return Figures(&report::ReadFigures::kbPerSecond, ReadKind::Sequential); }
std::vector<double> XRatings() { return Figures(&report::ReadFigures::xRating, ReadKind::Sequential); }
std::vector<double> MsPerAccess() { return Figures(&report::ReadFigures::msPerAccess, ReadKind::Random); }

// Halves that are exact in binary (rounded to even), zeros, the tiniest and the largest doubles.
std::vector<double> Edges()
{
    return {0.5,    1.5,     2.5,          0.25,    0.75,    0.125,        0.375,   0.625,   1.005,
            0.005,  0.015,   0.0049999,    -0.0,    0.0,     -0.001,       -2.5,    -1234.565, 1e-300,
            4.9e-324, DBL_MIN, 9007199254740993.0, 1e22, 1e23, 1e300, DBL_MAX, HUGE_VAL, -HUGE_VAL};
}

struct Case {
    const char* format;
    std::vector<double> (*values)();
};

class FormatAsMinGW : public testing::TestWithParam<Case> {};

TEST_P(FormatAsMinGW, SameTextForEveryValue)
{
    const Case c = GetParam();
    int mismatches = 0;
    for (double value : c.values()) {
        char theirs[400], ours[400];
        const int theirLength = std::snprintf(theirs, sizeof theirs, c.format, value);
        const int ourLength = runtime::Format(ours, sizeof ours, c.format, value);
        if (std::string(theirs) != ours || theirLength != ourLength) {
            ADD_FAILURE() << c.format << " of " << value << ": MinGW \"" << theirs << "\", ours \"" << ours << "\"";
            if (++mismatches == 10)
                break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Runtime, FormatAsMinGW,
                         testing::Values(Case{"%8.2f seconds", Times}, Case{"%6.2f seconds", Edges},
                                         Case{"%.0f", KBPerSecond}, Case{"%.1f", XRatings},
                                         Case{"%.2f", MsPerAccess}, Case{"%8.2f", Edges}, Case{"%.0f", Edges},
                                         Case{"%.1f", Edges}, Case{"%.2f", Edges}, Case{"%f", Edges}));

// The program's other conversions, and a buffer too short for the text.
TEST(FormatAsMinGW, IntegersTextsAndShortBuffers)
{
    char theirs[64], ours[64];
    auto same = [&](int ourLength, int theirLength) {
        EXPECT_EQ(std::string(theirs), ours);
        EXPECT_EQ(theirLength, ourLength);
    };
    for (int n : {0, 1, 7, 42, 99999, 123456789, -5, INT32_MIN, INT32_MAX})
        same(runtime::Format(ours, sizeof ours, "%6d|%d", n, n), std::snprintf(theirs, sizeof theirs, "%6d|%d", n, n));
    same(runtime::Format(ours, sizeof ours, "Directory walk of drive %2s", "D:"),
         std::snprintf(theirs, sizeof theirs, "Directory walk of drive %2s", "D:"));
    same(runtime::Format(ours, sizeof ours, "drive %c:\\ %%", 'E'), std::snprintf(theirs, sizeof theirs, "drive %c:\\ %%", 'E'));
    same(runtime::Format(ours, sizeof ours, "%6s KB/s %6sx", "7680", "51.2"),
         std::snprintf(theirs, sizeof theirs, "%6s KB/s %6sx", "7680", "51.2"));
    same(runtime::Format(ours, sizeof ours, "%6s ms/access", "-"), std::snprintf(theirs, sizeof theirs, "%6s ms/access", "-"));
    same(runtime::Format(ours, 5, "%8.2f seconds", 12.5), std::snprintf(theirs, 5, "%8.2f seconds", 12.5));
    same(runtime::Format(ours, 1, "%d", 7), std::snprintf(theirs, 1, "%d", 7));
}

// What ParseSeconds reads back: every time a row shows, and texts that are none.
TEST(ParseDecimalAsMinGW, EveryShownTime)
{
    int mismatches = 0;
    for (double value : Times()) {
        char text[32];
        std::snprintf(text, sizeof text, "%8.2f seconds", value);
        char *theirEnd = nullptr, *ourEnd = nullptr;
        const double theirs = std::strtod(text, &theirEnd);
        const double ours = runtime::ParseDecimal(text, &ourEnd);
        if (theirs != ours || theirEnd != ourEnd) {
            ADD_FAILURE() << "\"" << text << "\": MinGW " << theirs << ", ours " << ours;
            if (++mismatches == 10)
                break;
        }
    }
    for (const char* text : {"", " seconds", "-", "  -0.25 s", "+7.", ".5x"}) {
        char *theirEnd = nullptr, *ourEnd = nullptr;
        EXPECT_EQ(std::strtod(text, &theirEnd), runtime::ParseDecimal(text, &ourEnd)) << text;
        EXPECT_EQ(theirEnd, ourEnd) << text;
    }
}

}  // namespace
