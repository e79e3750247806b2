// The figures a drive review reads off a results row: transfer rate and x rating, time per access.
// The headless run prints them beside the rows; the program's own window and page show seconds only.
#pragma once
#include <string>
#include <vector>

namespace uidriver {
namespace korvane {

// "%8.2f seconds" as the program writes its times; -1 when the text is not one.
double ParseSeconds(const std::string& text);

enum class ReadKind { None, Sequential, Random };
// The read a results row times, from its description; None for the walk, total and header rows.
ReadKind ReadKindOf(const std::vector<std::string>& row);

// 1x: a single-speed drive's 150 KB/s (KB = 1024 bytes).
constexpr double kSingleSpeedKBps = 150.0;

// What one read section's time comes to: a sequential read of 384 blocks of
// 2048 bytes (768 KB) as a rate, a random read of 384 blocks as the time of one
// access. A time that the table shows as 0.00 (under 0.005 s), or none, gives no
// figures: known stays false.
struct ReadFigures {
    bool known = false;
    double kbPerSecond = 0;  // sequential
    double xRating = 0;      // sequential: kbPerSecond / 150
    double msPerAccess = 0;  // random
};
ReadFigures DeriveFigures(ReadKind kind, double seconds);

// The figures as the table prints them: "  7680 KB/s   51.2x" or "  3.20 ms/access",
// with "-" for each number that is not known; "" for ReadKind::None.
std::string FormatFigures(ReadKind kind, double seconds);
// One line of the table: test, description, time and figures in fixed columns
// (76 wide), then tail; trailing blanks cut. A tail of up to 24 keeps it in 100.
std::string FormatLine(const std::string& test, const std::string& description, const std::string& time,
                       const std::string& figures, const std::string& tail = "");
// A row of the results window as a line, with the figures of its shown time.
std::string FormatRow(const std::vector<std::string>& row);
// pass0 / pass1 as "%.2f", or "-" when either is not above zero.
std::string FormatSpeedUp(double pass0, double pass1);

}  // namespace korvane
}  // namespace uidriver
