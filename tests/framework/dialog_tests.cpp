// The dialog plumbing and the modal loop of modeless windows.
#include "framework/dialog.h"
#include "res/resource.h"
#include <gtest/gtest.h>
#include <commctrl.h>

namespace {

// An owner window that records WM_ENTERIDLE and may end the loop from it.
struct IdleOwner : CDialog {
    IdleOwner() : CDialog(IDD_ABOUTBOX) {}
    int idleCount = 0;
    CDialog* loop = nullptr;
    int endAfter = 0;
    int endValue = 0;
    bool ownerEnabledDuringLoop = false;
    HWND idleSender = nullptr;
protected:
    LRESULT OnMessage(UINT msg, WPARAM, LPARAM lParam, bool& handled) override
    {
        handled = msg == WM_ENTERIDLE;
        if (handled) {
            ++idleCount;
            idleSender = reinterpret_cast<HWND>(lParam);
            ownerEnabledDuringLoop = ::IsWindowEnabled(m_hWnd) != FALSE;
            if (loop && idleCount >= endAfter)
                loop->EndModalLoop(endValue);
            else
                ::PostMessageA(m_hWnd, WM_NULL, 0, 0);  // make the queue run empty again
        }
        return 0;
    }
};

struct Recorder : CDialog {
    Recorder() : CDialog(IDD_RESULTS) {}
    int inits = 0, oks = 0, cancels = 0;
    std::string label;
protected:
    BOOL OnInitDialog() override { ++inits; return CDialog::OnInitDialog(); }
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_VOLUME_LABEL, label); }
    void OnOK() override { ++oks; }
    void OnCancel() override { ++cancels; }
};

void CALLBACK EndLoopOnTimer(HWND hWnd, UINT, UINT_PTR, DWORD)
{
    reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER))->EndModalLoop(5);
}

} // namespace

TEST(ModalLoop, SendsIdleToTheOwnerAndEndsWithTheGivenValue)
{
    IdleOwner owner;
    ASSERT_TRUE(owner.Create(IDD_ABOUTBOX, nullptr));
    Recorder window;
    ASSERT_TRUE(window.Create(IDD_RESULTS, owner.m_hWnd));
    owner.loop = &window;
    owner.endAfter = 3;
    owner.endValue = 42;
    EXPECT_EQ(42, window.RunModalLoop(MLF_SHOWONIDLE));
    EXPECT_EQ(3, owner.idleCount);
    EXPECT_EQ(window.m_hWnd, owner.idleSender);
    EXPECT_TRUE(owner.ownerEnabledDuringLoop);
    EXPECT_FALSE(window.IsInModalLoop());
    EXPECT_TRUE(::IsWindowVisible(window.m_hWnd));
}

TEST(ModalLoop, NoIdleMessageWithTheFlag)
{
    IdleOwner owner;
    ASSERT_TRUE(owner.Create(IDD_ABOUTBOX, nullptr));
    Recorder window;
    ASSERT_TRUE(window.Create(IDD_RESULTS, owner.m_hWnd));
    ::SetTimer(window.m_hWnd, 7, 10, EndLoopOnTimer);
    EXPECT_EQ(5, window.RunModalLoop(MLF_NOIDLEMSG));
    EXPECT_EQ(0, owner.idleCount);
}

TEST(Dialog, ModelessCreateRunsInitAndExchangesData)
{
    Recorder window;
    window.label = "DISC 1";
    ASSERT_TRUE(window.Create(IDD_RESULTS, nullptr));
    EXPECT_EQ(1, window.inits);
    EXPECT_EQ("DISC 1", window.GetDlgItemText(IDC_VOLUME_LABEL));
    window.SetDlgItemText(IDC_VOLUME_LABEL, "DISC 2");
    window.UpdateData(TRUE);
    EXPECT_EQ("DISC 2", window.label);

    // Enter, Esc and the Close box reach OnOK and OnCancel.
    window.SendMessage(WM_COMMAND, IDOK, 0);
    window.SendMessage(WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(1, window.oks);
    EXPECT_EQ(1, window.cancels);

    // The object survives its window and can make a new one.
    EXPECT_TRUE(window.DestroyWindow());
    EXPECT_EQ(nullptr, window.m_hWnd);
    ASSERT_TRUE(window.Create(IDD_RESULTS, nullptr));
    EXPECT_EQ(2, window.inits);
}

TEST(Dialog, ModalEndsWithEndDialogValue)
{
    struct Ender : CDialog {
        Ender() : CDialog(IDD_ABOUTBOX) {}
        BOOL OnInitDialog() override { CDialog::OnInitDialog(); ::PostMessageA(m_hWnd, WM_COMMAND, IDOK, 0); return TRUE; }
    } dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(nullptr, dlg.m_hWnd);
}
