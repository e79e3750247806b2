// The main dialog's test fixture: the dialog in this process, with the run on
// its worker thread through the real modal loop, against recording seams.
#pragma once
#include "app/benchapp.h"
#include "app/maindlg.h"
#include "res/resource.h"
#include "tests/support/fakes.h"
#include "tests/support/listspy.h"
#include <gtest/gtest.h>
#include <functional>
#include <memory>

// Runs a check at every tick of a timer while the run's modal loop pumps.
inline std::function<void()> g_onTick;
inline void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_onTick)
        g_onTick();
}

class MainDlgTest : public ::testing::Test {
protected:
    FakeDisc disc;
    FakeCacheDevice device;
    MessageRecorder messages;
    ShellIconRecorder shell;
    ScopedSeams seams{&disc, &device, &messages, &shell};
    std::unique_ptr<CMainDlg> dlg;
    UINT_PTR timer = 0;
    std::vector<std::vector<std::string>> rowsAtEnd;

    void SetUp() override
    {
        disc.drives = (1u << 2) | (1u << 3) | (1u << 5);  // C: D: F:
        disc.driveTypes = {{'C', DRIVE_FIXED}, {'D', DRIVE_CDROM}, {'F', DRIVE_CDROM}};
        for (int d = 0; d < 300; ++d)
            disc.AddDir("D:\\DIR" + std::to_string(d));
        disc.AddFile("D:\\DIR1\\MOVIE.DAT", 3000000);
        device.driveNumbers = {3};
        device.flags[3] = 0x101;
    }
    void TearDown() override
    {
        if (timer)
            ::KillTimer(nullptr, timer);
        g_onTick = nullptr;
    }
    void Open()
    {
        dlg = std::make_unique<CMainDlg>();
        ASSERT_TRUE(dlg->Create(IDD_MAIN, nullptr));
    }
    CBenchEngine& Engine() { return *dlg->m_pEngine; }
    bool PrintEnabled() { return dlg->m_toolBar.IsButtonEnabled(ID_PRINT_RESULTS) != FALSE; }
    bool WorkerDone()
    {
        DWORD code = STILL_ACTIVE;
        return Engine().m_hWorkerThread && ::GetExitCodeThread(Engine().m_hWorkerThread, &code) &&
               code != STILL_ACTIVE;
    }
    // Presses OK on the results window once the worker has ended.
    void DismissWhenDone(std::function<void()> during = nullptr)
    {
        g_onTick = [this, during] {
            if (during)
                during();
            if (WorkerDone() && Engine().m_resultsDlg.m_stopRequested == 0) {
                rowsAtEnd = ReadRows(Engine().m_resultsDlg.m_list.m_hWnd);
                Engine().m_resultsDlg.SendMessage(WM_COMMAND, IDOK, 0);
            }
        };
        timer = ::SetTimer(nullptr, 0, 20, Tick);
    }
};
