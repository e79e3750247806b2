// The headless run's table lines; the figures in them are the program's own (results/figures.cpp).
#include "table.h"
#include "results/figures.h"
#include <cstdio>

namespace uidriver {
namespace korvane {

std::string FormatLine(const std::string& test, const std::string& description, const std::string& time,
                       const std::string& figures, const std::string& tail)
{
    // Test 6 (as the program pads it), description 30, time 16 ("%8.2f seconds"), figures 19.
    char text[512];
    std::snprintf(text, sizeof text, "%6s  %-30s %16s  %-19s%s", test.c_str(), description.c_str(), time.c_str(),
                  figures.c_str(), tail.c_str());
    std::string line = text;
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

std::string FormatRow(const std::vector<std::string>& row)
{
    auto cell = [&](size_t i) { return i < row.size() ? row[i] : std::string(); };
    return FormatLine(cell(0), cell(1), cell(2),
                      report::FormatFigures(report::ReadKindOf(row), report::ParseSeconds(cell(2))));
}

std::string FormatSpeedUp(double pass0, double pass1)
{
    if (!(pass0 > 0 && pass1 > 0))
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", pass0 / pass1);
    return text;
}

}  // namespace korvane
}  // namespace uidriver
