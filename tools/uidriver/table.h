// The headless run's table: results rows in fixed columns with their figures (results/figures.h).
#pragma once
#include <string>
#include <vector>

namespace uidriver {
namespace korvane {

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
