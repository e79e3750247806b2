// Transfer rate, x rating and access time of the results rows, and the results as copied text.
#include "figures.h"
#include "../engine/constants.h"
#include "reportlayout.h"
#include <cstdio>
#include <cstdlib>

namespace report {

namespace {
// Below this a time shows as 0.00 seconds: dividing by it would give figures the table does not support.
constexpr double kShownZero = 0.005;

std::string Number(const char* format, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A pass's row in the window reads "** Testing ... **"; the page and the copy show the words.
bool IsHeading(const std::vector<std::string>& row, std::string* words)
{
    if (row.size() < 2 || !(row.size() < 3 || row[2].empty()))
        return false;
    const std::string& d = row[1];
    if (d.size() < 6 || d.compare(0, 3, "** ") != 0 || d.compare(d.size() - 3, 3, " **") != 0)
        return false;
    *words = d.substr(3, d.size() - 6);
    return true;
}
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

ReadFigures DeriveFigures(ReadKind kind, double seconds, double measured)
{
    ReadFigures figures;
    if (kind == ReadKind::None || !(seconds >= kShownZero))
        return figures;
    figures.known = true;
    if (measured > 0)
        seconds = measured;
    if (kind == ReadKind::Sequential) {
        figures.kbPerSecond = kReadBlocks * (kBlockSize / 1024.0) / seconds;
        figures.xRating = figures.kbPerSecond / kSingleSpeedKBps;
    } else {
        figures.msPerAccess = seconds * 1000.0 / kReadBlocks;
    }
    return figures;
}

std::vector<std::string> FigureNumbers(ReadKind kind, double seconds, double measured)
{
    const ReadFigures f = DeriveFigures(kind, seconds, measured);
    if (kind == ReadKind::Sequential)
        return f.known ? std::vector<std::string>{Number("%.0f", f.kbPerSecond), Number("%.1f", f.xRating)}
                       : std::vector<std::string>{"-", "-"};
    if (kind == ReadKind::Random)
        return {f.known ? Number("%.2f", f.msPerAccess) : "-"};
    return {};
}

std::string FormatFigures(ReadKind kind, double seconds)
{
    const std::vector<std::string> n = FigureNumbers(kind, seconds);
    char text[64] = "";
    if (n.size() == 2)
        std::snprintf(text, sizeof text, "%6s KB/s %6sx", n[0].c_str(), n[1].c_str());
    else if (n.size() == 1)
        std::snprintf(text, sizeof text, "%6s ms/access", n[0].c_str());
    return text;
}

std::string CopyText(const std::string& volume, const std::string& file, const ResultRows& rows,
                     const std::vector<double>& measured)
{
    if (rows.empty())
        return "";
    std::string text = std::string(kTitle) + " " + kVersion + "\tCD-ROM Volume : " + volume +
                       "\tFile used for read test : " + file + "\r\n";
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto& row = rows[r];
        std::string heading;
        if (IsHeading(row, &heading)) {
            text += heading + "\r\n";
            continue;
        }
        auto cell = [&](size_t i) { return i < row.size() ? row[i] : std::string(); };
        text += cell(0) + "\t" + cell(1) + "\t" + cell(2);
        // A row still being timed shows no time yet, and so no figures.
        const double seconds = ParseSeconds(cell(2));
        const double asMeasured = r < measured.size() ? measured[r] : -1;
        const std::vector<std::string> n =
            seconds < 0 ? std::vector<std::string>{} : FigureNumbers(ReadKindOf(row), seconds, asMeasured);
        if (n.size() == 2)
            text += "\t" + n[0] + " KB/s\t" + n[1] + "x";
        else if (n.size() == 1)
            text += "\t" + n[0] + " ms/access";
        text += "\r\n";
    }
    return text;
}

}  // namespace report
