// End to end: the results window's own keys and buttons while and after a run, and its copied text.
#include <gtest/gtest.h>
#include "korvanetest.h"
#include <cstdio>
#include <cstdlib>

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
// What the copy shows beside a read row: 768 KB over the shown time as KB/s and
// x (1x = 150 KB/s), or the shown time over 384 accesses in ms; "-" for 0.00.
std::string FiguresOf(const std::vector<std::string>& row)
{
    const double seconds = std::atof(row[2].c_str());
    char text[64] = "";
    const bool shown = row[2].compare(0, 8, "    0.00") != 0;
    if (row[1].rfind("Sequential", 0) == 0) {
        if (shown)
            std::snprintf(text, sizeof text, "\t%.0f KB/s\t%.1fx", 768 / seconds, 768 / seconds / 150);
        else
            std::snprintf(text, sizeof text, "\t- KB/s\t-x");
    } else if (row[1].rfind("Random", 0) == 0) {
        if (shown)
            std::snprintf(text, sizeof text, "\t%.2f ms/access", seconds * 1000 / 384);
        else
            std::snprintf(text, sizeof text, "\t- ms/access");
    }
    return text;
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
    std::string expected = "Korvane Version 3.20\tCD-ROM Volume : " + DlgItemText(results, kv::kVolumeLabel) +
                           "\tFile used for read test : " + DlgItemText(results, kv::kFileName) + "\r\n";
    int zeroRows = 0;
    for (const auto& row : rows) {
        if (kv::IsPassHeader(row)) {
            expected += row[1].substr(3, row[1].size() - 6) + "\r\n";
            continue;
        }
        expected += row[0] + "\t" + row[1] + "\t" + row[2] + FiguresOf(row) + "\r\n";
        zeroRows += FiguresOf(row).find("-") != std::string::npos;
    }
    EXPECT_EQ(text, expected);
    EXPECT_GT(zeroRows, 0) << "a read of the plain folder D: shows 0.00 seconds\n" << Dump(rows);
    EXPECT_NE(text.find("Testing With Zelkor Cache\r\n"), std::string::npos);

    // The list's right-click menu copies the same text; the window is unchanged by either.
    EXPECT_EQ(kv::CopyResults(results, kv::CopyBy::Menu, &error), text) << error;
    EXPECT_EQ(ListRows(::GetDlgItem(results, kv::kResultList)), rows);
    EXPECT_TRUE(::IsWindowVisible(results));
    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));
    ExpectQuitsWith(0);
}
