// End to end: the results window's own keys and buttons while and after a run.
#include <gtest/gtest.h>
#include "korvanetest.h"

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

