// End to end: the results window's own keys and buttons while and after a run, and its copied text.
#include <gtest/gtest.h>
#include "korvanetest.h"
#include <cstdlib>
#include <sstream>

using namespace uidriver;
namespace kv = uidriver::korvane;

using Korvane = KorvaneTest;

TEST_F(Korvane, RunWhileResultsAreOpenDoesNothing)
{
    HWND results = Run('D');
    ASSERT_NE(results, nullptr);
    Rows rows;
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, &rows), kv::RunState::Done) << Dump(rows);
    PostCommand(m_main, kv::kRun);
    ASSERT_TRUE(m_session.Marker()) << "the command posted after Run was not answered";
    int windows = 0;
    for (HWND hWnd : TopWindows(Pid()))
        windows += WindowText(hWnd) == kv::kResultsCaption;
    EXPECT_EQ(windows, 1);
    EXPECT_TRUE(FindMessageBoxes(Pid()).empty());
    EXPECT_EQ(ListRows(::GetDlgItem(results, kv::kResultList)), rows);
    ClickButton(results, IDOK);
    EXPECT_TRUE(WaitForWindowGone(results));
}

TEST_F(Korvane, EscAndCloseBoxDismissResultsLikeOk)
{
    HWND results = Run('D');
    ASSERT_NE(results, nullptr);
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, nullptr), kv::RunState::Done);
    PressKey(results, VK_ESCAPE);
    ASSERT_TRUE(WaitForWindowGone(results)) << "Esc did not dismiss the results";
    EXPECT_TRUE(PrintEnabled());

    results = Run('D');
    ASSERT_NE(results, nullptr);
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, nullptr), kv::RunState::Done);
    PressCloseBox(results);
    ASSERT_TRUE(WaitForWindowGone(results)) << "the Close box did not dismiss the results";
    EXPECT_TRUE(PrintEnabled());
    EXPECT_GE(ResponseTime(m_main), 0);
    ExpectQuitsWith(0);
}

// ---------------------------------------------------------------------------
// Copying the results

namespace {
// Whether the figures the copy shows beside a read row fit the row's shown time:
// 768 KB over the time as KB/s and x (1x = 150 KB/s), or the time over 384
// accesses in ms. They come from the time as measured, which the shown one
// rounds to hundredths; "-" for a time shown as 0.00.
bool FiguresFit(const std::vector<std::string>& row, const std::string& figures)
{
    const bool sequential = row[1].rfind("Sequential", 0) == 0;
    if (!sequential && row[1].rfind("Random", 0) != 0)
        return figures.empty();
    if (row[2].compare(0, 8, "    0.00") == 0)
        return figures == (sequential ? "\t- KB/s\t-x" : "\t- ms/access");
    const double shown = std::atof(row[2].c_str());
    const double value = std::atof(figures.c_str() + 1);
    const double slow = shown + 0.005, fast = shown - 0.005;
    if (sequential)
        return figures.find(" KB/s\t") != std::string::npos && value >= 768 / slow - 1 && value <= 768 / fast + 1;
    return figures.find(" ms/access") != std::string::npos && value >= fast * 1000 / 384 - 0.01 &&
           value <= slow * 1000 / 384 + 0.01;
}
}  // namespace

TEST_F(Korvane, CopiedResultsMatchTheWindowRowForRow)
{
    ASSERT_EQ(PassesOf('D'), 2) << "the cache device should handle D:";
    HWND results = Run('D');
    ASSERT_NE(results, nullptr);
    Rows rows;
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, &rows, 2), kv::RunState::Done) << Dump(rows);
    ASSERT_EQ(rows.size(), 18u) << Dump(rows);

    std::string error;
    const std::string text = kv::CopyResults(results, kv::CopyBy::CtrlC, &error);
    ASSERT_FALSE(text.empty()) << error;
    // The first line, then per row its cells as the window shows them and the figures after them.
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "Korvane Version 3.20\tCD-ROM Volume : " + DlgItemText(results, kv::kVolumeLabel) +
                        "\tFile used for read test : " + DlgItemText(results, kv::kFileName) + "\r");
    int zeroRows = 0;
    for (const auto& row : rows) {
        ASSERT_TRUE(std::getline(lines, line)) << text;
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        if (kv::IsPassHeader(row)) {
            EXPECT_EQ(line, row[1].substr(3, row[1].size() - 6));
            continue;
        }
        const std::string cells = row[0] + "\t" + row[1] + "\t" + row[2];
        ASSERT_EQ(line.compare(0, cells.size(), cells), 0) << line;
        EXPECT_TRUE(FiguresFit(row, line.substr(cells.size()))) << line;
        zeroRows += line.find("\t-") != std::string::npos;
    }
    EXPECT_FALSE(std::getline(lines, line)) << text;
    EXPECT_GT(zeroRows, 0) << "a read of the plain folder D: shows 0.00 seconds\n" << Dump(rows);
    EXPECT_NE(text.find("Testing With Zelkor Cache\r\n"), std::string::npos);

    // The list's menu copies the same text, opened by the mouse on the list or by
    // Shift+F10 with the focus on OK; the window is unchanged by any of them.
    EXPECT_EQ(kv::CopyResults(results, kv::CopyBy::Menu, &error), text) << error;
    EXPECT_EQ(kv::CopyResults(results, kv::CopyBy::ShiftF10OnOk, &error), text) << error;
    EXPECT_EQ(ListRows(::GetDlgItem(results, kv::kResultList)), rows);
    EXPECT_TRUE(::IsWindowVisible(results));
    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));
    ExpectQuitsWith(0);
}
