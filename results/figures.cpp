// Transfer rate, x rating and access time of the results rows, and the headless table's line layout.
#include "figures.h"
#include "engine/constants.h"
#include <cstdio>
#include <cstdlib>

namespace uidriver {
namespace korvane {

namespace {
// Below this a time shows as 0.00 seconds: dividing by it would give figures the table does not support.
constexpr double kShownZero = 0.005;
}  // namespace

double ParseSeconds(const std::string& text)
{
    const char* s = text.c_str();
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || std::string(end) != " seconds")
        return -1;
    return v;
}

ReadKind ReadKindOf(const std::vector<std::string>& row)
{
    if (row.size() < 2)
        return ReadKind::None;
    if (row[1].compare(0, 15, "Sequential read") == 0)
        return ReadKind::Sequential;
    if (row[1].compare(0, 11, "Random read") == 0)
        return ReadKind::Random;
    return ReadKind::None;
}

ReadFigures DeriveFigures(ReadKind kind, double seconds)
{
    ReadFigures figures;
    if (kind == ReadKind::None || !(seconds >= kShownZero))
        return figures;
    figures.known = true;
    if (kind == ReadKind::Sequential) {
        figures.kbPerSecond = kReadBlocks * (kBlockSize / 1024.0) / seconds;
        figures.xRating = figures.kbPerSecond / kSingleSpeedKBps;
    } else {
        figures.msPerAccess = seconds * 1000.0 / kReadBlocks;
    }
    return figures;
}

std::string FormatFigures(ReadKind kind, double seconds)
{
    const ReadFigures f = DeriveFigures(kind, seconds);
    char text[64];
    if (kind == ReadKind::Sequential) {
        if (f.known)
            std::snprintf(text, sizeof text, "%6.0f KB/s %6.1fx", f.kbPerSecond, f.xRating);
        else
            std::snprintf(text, sizeof text, "%6s KB/s %6sx", "-", "-");
    } else if (kind == ReadKind::Random) {
        if (f.known)
            std::snprintf(text, sizeof text, "%6.2f ms/access", f.msPerAccess);
        else
            std::snprintf(text, sizeof text, "%6s ms/access", "-");
    } else {
        text[0] = '\0';
    }
    return text;
}

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
    return FormatLine(cell(0), cell(1), cell(2), FormatFigures(ReadKindOf(row), ParseSeconds(cell(2))));
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
