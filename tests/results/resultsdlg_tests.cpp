// The results window in this process: Ctrl+C, the key press as the keyboard gives it, through the window's modal loop.
#include "res/resource.h"
#include "results/resultsdlg.h"
#include "uidriver.h"
#include <gtest/gtest.h>
#include <cstring>
#include <functional>

namespace {

std::function<bool()> g_done;
CResultsDlg* g_dlg = nullptr;
int g_ticks = 0;
void CALLBACK EndWhenDone(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_done() || ++g_ticks > 250)
        g_dlg->EndModalLoop(0);
}

void SetClipboard(const std::string& text)
{
    ASSERT_TRUE(::OpenClipboard(nullptr));
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    std::memcpy(::GlobalLock(memory), text.c_str(), text.size() + 1);
    ::GlobalUnlock(memory);
    ::EmptyClipboard();
    ::SetClipboardData(CF_TEXT, memory);
    ::CloseClipboard();
}

class ResultsCopy : public ::testing::Test {
protected:
    CResultsDlg dlg;
    void SetUp() override
    {
        ASSERT_TRUE(dlg.Create(IDD_RESULTS, nullptr));
        SetClipboard("kept");
    }
    void TearDown() override
    {
        SetCtrl(false);
        dlg.DestroyWindow();
    }
    static void SetCtrl(bool down)
    {
        BYTE keys[256];
        ::GetKeyboardState(keys);
        keys[VK_CONTROL] = down ? 0x80 : 0;
        ::SetKeyboardState(keys);
    }
    // Ctrl+C pressed on the control with the focus, then the window's loop until the
    // clipboard changes or, with nothing to wait for, until the queue has run empty
    // (a timer's message comes only then).
    void PressCtrlC(HWND focus, bool waitForCopy = true)
    {
        ::SetFocus(focus);
        SetCtrl(true);
        const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyA('C', 0)) << 16;
        ::PostMessageA(focus, WM_KEYDOWN, 'C', scan | 1);
        ::PostMessageA(focus, WM_KEYUP, 'C', scan | 1 | (1u << 30) | (1u << 31));
        g_dlg = &dlg;
        g_ticks = 0;
        g_done = [waitForCopy] { return !waitForCopy || uidriver::ClipboardText() != "kept"; };
        UINT_PTR timer = ::SetTimer(nullptr, 0, 20, EndWhenDone);
        dlg.RunModalLoop();
        ::KillTimer(nullptr, timer);
        SetCtrl(false);
    }
};

TEST_F(ResultsCopy, CtrlCCopiesTheRowsFromWhicheverControlHasTheFocus)
{
    dlg.m_list.InsertItem(0, "");
    dlg.m_list.SetItemText(0, 1, "** Testing Without Zelkor Cache **");
    dlg.m_list.InsertItem(1, "     1");
    dlg.m_list.SetItemText(1, 1, "Directory walk of drive D:\\");
    dlg.SetDlgItemText(IDC_VOLUME_LABEL, "KORVANE_DEMO");
    const std::string expected = "Korvane Version 3.20\tCD-ROM Volume : KORVANE_DEMO\tFile used for read test : \r\n"
                                 "Testing Without Zelkor Cache\r\n"
                                 "     1\tDirectory walk of drive D:\\\t\r\n";
    for (int id : {IDC_RESULT_LIST, IDOK}) {
        SetClipboard("kept");
        PressCtrlC(dlg.GetDlgItem(id));
        EXPECT_EQ(uidriver::ClipboardText(), expected) << "focus on control " << id;
    }
    EXPECT_EQ(dlg.m_stopRequested, 0);  // copying neither stops the run nor closes the window
    EXPECT_TRUE(::IsWindow(dlg.m_hWnd));
}

TEST_F(ResultsCopy, FiguresFollowTheTimeTheRowKeepsAsMeasured)
{
    dlg.m_list.InsertItem(0, "     2");
    dlg.m_list.SetItemText(0, 1, "Sequential read of 384 blocks:");
    dlg.m_list.SetItemText(0, 2, "    0.01 seconds");
    dlg.SetMeasuredSeconds(0, 0.0116);
    EXPECT_NE(dlg.ResultsText().find("\t    0.01 seconds\t66207 KB/s\t441.4x\r\n"), std::string::npos)
        << dlg.ResultsText();
}

TEST_F(ResultsCopy, AnEmptyListLeavesTheClipboardAlone)
{
    EXPECT_FALSE(dlg.CopyResults());
    PressCtrlC(dlg.GetDlgItem(IDC_RESULT_LIST), false);
    EXPECT_EQ(uidriver::ClipboardText(), "kept");
}

}  // namespace
