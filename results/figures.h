// The figures a drive review reads off a results row (transfer rate and x rating, time per access),
// and the results as the plain text that the results window copies.
#pragma once
#include <string>
#include <vector>

namespace report {

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
// figures: known stays false. Where the time as measured is known (measured > 0),
// the figures are worked out from it rather than from the rounded `seconds`.
struct ReadFigures {
    bool known = false;
    double kbPerSecond = 0;  // sequential
    double xRating = 0;      // sequential: kbPerSecond / 150
    double msPerAccess = 0;  // random
};
ReadFigures DeriveFigures(ReadKind kind, double seconds, double measured = -1);

// The numbers of a section's figures as text, each "-" when not known:
// {KB/s, x} for a sequential read, {ms per access} for a random one, {} otherwise.
std::vector<std::string> FigureNumbers(ReadKind kind, double seconds, double measured = -1);
// The figures in the fixed columns of the run command's table: "  7680 KB/s   51.2x",
// "  3.20 ms/access", or "" for ReadKind::None.
std::string FormatFigures(ReadKind kind, double seconds);

// The results as a user pastes them: a line with the program, its version, the
// volume and the read file; per pass a heading line; per row its test number,
// description and time as the window shows them, and for a read row with a
// shown time its figures, all tab-separated. Lines end in CR LF, as the
// clipboard's text does. "" when there are no rows. measured[r], where given
// and above 0, is row r's time as measured: its figures follow it.
using ResultRows = std::vector<std::vector<std::string>>;
std::string CopyText(const std::string& volume, const std::string& file, const ResultRows& rows,
                     const std::vector<double>& measured = {});

}  // namespace report
