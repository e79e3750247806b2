// The main dialog in this process: runs on a worker thread through the real
// modal loop, the drive selector, Print, tooltips, the system menu and Help.
#include "app/benchapp.h"
#include "app/maindlg.h"
#include "res/resource.h"
#include "tests/support/fakes.h"
#include "tests/support/listspy.h"
#include <gtest/gtest.h>
#include <functional>
#include <memory>

namespace {

// Runs a check at every tick of a timer while the run's modal loop pumps.
std::function<void()> g_onTick;
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
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

} // namespace

TEST_F(MainDlgTest, StartsWithPrintDisabledAndTheCdDrivesListed)
{
    Open();
    EXPECT_EQ("Korvane", dlg->GetWindowText());
    EXPECT_FALSE(PrintEnabled());
    EXPECT_TRUE(dlg->m_toolBar.IsButtonEnabled(ID_RUN_TESTS));
    EXPECT_TRUE(dlg->m_toolBar.IsButtonEnabled(ID_HELP));
    ASSERT_EQ(2, dlg->m_driveCombo.GetCount());
    EXPECT_STREQ("D:\\", reinterpret_cast<const char*>(dlg->m_driveCombo.GetItemData(0)));
    EXPECT_STREQ("F:\\", reinterpret_cast<const char*>(dlg->m_driveCombo.GetItemData(1)));
    EXPECT_STREQ("D:\\", dlg->m_driveCombo.GetSelectedDrive());
    dlg->m_driveCombo.SetCurSel(1);
    EXPECT_STREQ("F:\\", dlg->m_driveCombo.GetSelectedDrive());
    // The cache driver's list: D: only.
    EXPECT_EQ(0, dlg->FindCachedDrive("D:\\"));
    EXPECT_EQ(-1, dlg->FindCachedDrive("F:\\"));
    EXPECT_EQ(-1, dlg->FindCachedDrive("d:\\"));
    EXPECT_EQ(1, device.opens);
    dlg.reset();
    EXPECT_EQ(1, device.closes);
}

// The CD-drive icon from the first source that has one: the shell's stock icon
// where it names one and there is a system image list (Vista and later), else
// shell32's icon resource, else the system image list's index 11 where the list
// reaches it, else none. The shell is asked about the system drive only, never
// about a drive of the list, whose disc it would read.
struct IconCase {
    int stockIndex;
    int listImages;  // -1: no system image list
    bool shellIcon;
    bool ownList;    // drawn from the control's own list, shell32's icon in it
    int index;       // -1: no icon drawn
};

class DriveIconTest : public MainDlgTest, public ::testing::WithParamInterface<IconCase> {
protected:
    void TearDown() override
    {
        dlg.reset();
        if (shell.list)
            ::ImageList_Destroy(shell.list);
        MainDlgTest::TearDown();
    }
};

TEST_P(DriveIconTest, ComesWithoutAShellCallOnAListedDrive)
{
    const IconCase& c = GetParam();
    shell.stockIndex = c.stockIndex;
    shell.shellIcon = c.shellIcon;
    if (c.listImages >= 0) {
        shell.list = ::ImageList_Create(16, 16, ILC_COLOR, c.listImages, 0);
        ::ImageList_SetImageCount(shell.list, c.listImages);
    }
    Open();
    EXPECT_EQ(c.index, dlg->m_driveCombo.m_iconIndex[DRIVE_CDROM]);
    EXPECT_EQ(c.ownList, dlg->m_driveCombo.m_hOwnImageList != nullptr);
    EXPECT_EQ(std::vector<int>{11}, shell.stockIds);  // SIID_DRIVECD
    char systemDir[MAX_PATH] = "";
    ASSERT_GT(::GetSystemDirectoryA(systemDir, sizeof systemDir), 3u);
    EXPECT_EQ(std::vector<std::string>{std::string(systemDir, 3)}, shell.paths);
    ASSERT_EQ(2, dlg->m_driveCombo.GetCount());
    for (const std::string& path : shell.paths)
        for (int i = 0; i < 2; ++i)
            EXPECT_STRNE(path.c_str(), reinterpret_cast<const char*>(dlg->m_driveCombo.GetItemData(i)));
}

INSTANTIATE_TEST_SUITE_P(Shells, DriveIconTest,
                         ::testing::Values(IconCase{42, 0, true, false, 42},    // Vista and later
                                           IconCase{42, -1, true, true, 0},     // a stock index but no list
                                           IconCase{-1, 20, true, true, 0},     // Windows 95 to XP, Wine
                                           IconCase{-1, 20, false, false, 11},  // no shell32 icon
                                           IconCase{-1, 11, false, false, -1},  // a short list
                                           IconCase{-1, -1, false, false, -1}));

TEST_F(MainDlgTest, CompleteTwoPassRunEnablesPrintAndRestoresTheFlags)
{
    Open();
    DismissWhenDone([&] {
        // While the run is under way, Run does nothing.
        if (!WorkerDone())
            dlg->OnRun();
    });
    dlg->OnRun();
    EXPECT_EQ(18u, rowsAtEnd.size());
    EXPECT_TRUE(PrintEnabled());
    EXPECT_EQ(nullptr, Engine().m_resultsDlg.m_hWnd);
    EXPECT_EQ(nullptr, Engine().m_hWorkerThread);
    EXPECT_EQ(1u, Engine().m_runResult);
    // 11 at start-up; 8 before the run; 8, 9 per pass; 9 with the saved word.
    std::vector<DWORD> codes;
    for (const auto& r : device.requests)
        codes.push_back(r.code);
    EXPECT_EQ((std::vector<DWORD>{11, 8, 8, 9, 8, 9, 9}), codes);
    EXPECT_EQ(0x101u, device.requests.back().flags);
    EXPECT_EQ(0x101u, device.flags[3]);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(MainDlgTest, FailedRunClosesByItselfAndDisablesPrint)
{
    Open();
    dlg->m_toolBar.EnableButton(ID_PRINT_RESULTS, TRUE);
    disc.present = false;
    dlg->OnRun();  // no OK needed: the failure ends the run
    ASSERT_EQ(1u, messages.boxes.size());
    EXPECT_EQ(kNoDiscMessage, messages.boxes[0].text);
    EXPECT_FALSE(PrintEnabled());
    EXPECT_EQ(0x101u, device.flags[3]);
    // The walk was started for D: in the last pass: choosing D: enables Print.
    dlg->OnSelchangeDrive();
    EXPECT_TRUE(PrintEnabled());
    dlg->m_driveCombo.SetCurSel(1);
    dlg->OnSelchangeDrive();
    EXPECT_FALSE(PrintEnabled());
}

TEST_F(MainDlgTest, StopDuringTheWalkDisablesPrintAndRestoresTheFlags)
{
    Open();
    bool pressed = false;
    disc.onFindFirst = [&](const std::string& p) {
        if (p == "D:\\DIR5\\*.*" && !pressed) {
            pressed = true;
            Engine().m_resultsDlg.PostMessage(WM_COMMAND, IDOK, 0);
            // The walk goes on once the user-interface thread has taken the press.
            const DWORD start = ::GetTickCount();
            while (Engine().m_resultsDlg.m_stopRequested == 0 && ::GetTickCount() - start < 5000)
                ::Sleep(1);
        }
    };
    dlg->OnRun();
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(PrintEnabled());
    EXPECT_EQ(0u, Engine().m_runResult);
    EXPECT_EQ(0x101u, device.flags[3]);
}

TEST_F(MainDlgTest, DriveWithoutCacheIsOnePassWithoutRequests)
{
    disc.AddFile("F:\\BIG.DAT", 2200000);
    for (int d = 0; d < 300; ++d)
        disc.AddDir("F:\\X" + std::to_string(d));
    Open();
    dlg->m_driveCombo.SetCurSel(1);
    DismissWhenDone();
    dlg->OnRun();
    EXPECT_EQ(9u, rowsAtEnd.size());
    EXPECT_EQ(1u, device.requests.size());  // only the drive list at start-up
    EXPECT_TRUE(PrintEnabled());
}

TEST_F(MainDlgTest, NoDriveAndUdfAnswers)
{
    disc.drives = 1u << 2;
    Open();
    dlg->OnRun();
    ASSERT_EQ(1u, messages.boxes.size());
    EXPECT_EQ("No CD-ROM drives found.", messages.boxes[0].text);
    EXPECT_EQ("Error", messages.boxes[0].caption);
    EXPECT_EQ(UINT(MB_OK | MB_ICONWARNING | MB_SETFOREGROUND), messages.boxes[0].style);
    dlg.reset();

    disc.drives = 1u << 3;
    disc.fileSystem = "UDF";
    messages.boxes.clear();
    messages.answer = IDNO;
    Open();
    dlg->m_toolBar.EnableButton(ID_PRINT_RESULTS, TRUE);
    dlg->OnRun();
    ASSERT_EQ(1u, messages.boxes.size());
    EXPECT_EQ("Warning - UDF disc", messages.boxes[0].caption);
    EXPECT_EQ(UINT(MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING | MB_SETFOREGROUND), messages.boxes[0].style);
    EXPECT_EQ(kUdfMessage, messages.boxes[0].text);
    EXPECT_TRUE(PrintEnabled());  // No leaves Print as it was
    EXPECT_EQ(1u, device.requests.size() - 1u);  // no run: only the drive lists

    messages.answer = IDYES;
    DismissWhenDone();
    dlg->OnRun();
    EXPECT_EQ(18u, rowsAtEnd.size());
}

TEST_F(MainDlgTest, RunIsRefusedWithoutACounter)
{
    disc.frequency = 0;
    Open();
    dlg->OnRun();
    ASSERT_EQ(1u, messages.boxes.size());
    EXPECT_EQ(kNoCounterMessage, messages.boxes[0].text);
    EXPECT_EQ(nullptr, Engine().m_resultsDlg.m_hWnd);
}

TEST_F(MainDlgTest, PlaceholderDisablesPrint)
{
    disc.drives = 1u << 2;
    Open();
    dlg->m_toolBar.EnableButton(ID_PRINT_RESULTS, TRUE);
    EXPECT_EQ(nullptr, dlg->m_driveCombo.GetSelectedDrive());
    dlg->OnSelchangeDrive();
    EXPECT_FALSE(PrintEnabled());
}

TEST_F(MainDlgTest, NoCacheDriverMeansNoRequestsAndNoMessage)
{
    device.openable = false;
    Open();
    EXPECT_EQ(nullptr, dlg->m_cachedDrives);
    EXPECT_EQ(-1, dlg->FindCachedDrive("D:\\"));
    EXPECT_TRUE(device.requests.empty());
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(MainDlgTest, CacheDriveNumbersOutsideTheAlphabetAreIgnored)
{
    device.driveNumbers = {40, 5, 200, 3};
    device.flags[5] = 0;
    Open();
    ASSERT_NE(nullptr, dlg->m_cachedDrives);
    EXPECT_STREQ("F:\\", dlg->m_cachedDrives[0]);
    EXPECT_STREQ("D:\\", dlg->m_cachedDrives[1]);
    EXPECT_EQ(nullptr, dlg->m_cachedDrives[2]);
    dlg->m_cache.GetDriveState(1);
    EXPECT_EQ(3, device.requests.back().drive);
}

// ---------------------------------------------------------------------------
// Tooltips, system menu, help

TEST_F(MainDlgTest, TooltipTexts)
{
    Open();
    auto tip = [&](UINT_PTR id, UINT flags) {
        NMTTDISPINFOA info{};
        info.hdr.hwndFrom = dlg->m_hWnd;
        info.hdr.idFrom = id;
        info.hdr.code = TTN_NEEDTEXTA;
        info.uFlags = flags;
        dlg->SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
        return std::string(info.lpszText ? info.lpszText : "");
    };
    EXPECT_EQ("Run CD-ROM Tests", tip(ID_RUN_TESTS, 0));
    EXPECT_EQ("Print Results", tip(ID_PRINT_RESULTS, 0));
    EXPECT_EQ("Help", tip(ID_HELP, 0));
    EXPECT_EQ("", tip(4321, 0));
    // A control identified by its window: the Quit button has no string.
    EXPECT_EQ("", tip(reinterpret_cast<UINT_PTR>(dlg->GetDlgItem(IDC_QUIT)), TTF_IDISHWND));
}

TEST_F(MainDlgTest, SystemMenuEndsWithAbout)
{
    Open();
    HMENU menu = ::GetSystemMenu(dlg->m_hWnd, FALSE);
    ASSERT_NE(nullptr, menu);
    const int count = ::GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    for (int i = 0; i < count; ++i) {
        UINT id = ::GetMenuItemID(menu, i);
        EXPECT_NE(UINT(SC_MAXIMIZE), id);
        EXPECT_NE(UINT(SC_SIZE), id);
    }
    MENUITEMINFOA sep{};
    sep.cbSize = sizeof sep;
    sep.fMask = MIIM_FTYPE;
    ASSERT_TRUE(::GetMenuItemInfoA(menu, count - 2, TRUE, &sep));
    EXPECT_TRUE(sep.fType & MFT_SEPARATOR);
    char text[64] = "";
    MENUITEMINFOA about{};
    about.cbSize = sizeof about;
    about.fMask = MIIM_ID | MIIM_STRING;
    about.dwTypeData = text;
    about.cch = sizeof text;
    ASSERT_TRUE(::GetMenuItemInfoA(menu, count - 1, TRUE, &about));
    EXPECT_EQ(UINT(IDM_ABOUTBOX), about.wID);
    EXPECT_STREQ("&About Korvane...", text);
    // The drag icon is the small icon.
    EXPECT_EQ(reinterpret_cast<LRESULT>(dlg->m_hSmallIcon), dlg->SendMessage(WM_QUERYDRAGICON));
}

namespace {
struct HelpCall { std::string file; UINT command; std::string keyword; int calls = 0; BOOL result = TRUE; };
HelpCall g_help;
BOOL RecordHelp(HWND, const char* file, UINT command, ULONG_PTR data)
{
    ++g_help.calls;
    g_help.file = file;
    g_help.command = command;
    g_help.keyword = reinterpret_cast<const char*>(data);
    return g_help.result;
}
}

TEST_F(MainDlgTest, HelpOpensTheFileBesideTheProgram)
{
    Open();
    auto savedFn = theApp.m_pfnWinHelp;
    const std::string savedPath = theApp.m_helpFilePath;
    theApp.m_pfnWinHelp = RecordHelp;
    theApp.m_helpFilePath = "C:\\Program Files\\Korvane\\KORVANE.HLP";
    char cwd[MAX_PATH];
    ::GetCurrentDirectoryA(sizeof cwd, cwd);
    ::SetCurrentDirectoryA("C:\\windows");
    g_help = HelpCall{};

    dlg->SendMessage(WM_COMMAND, ID_HELP, 0);
    EXPECT_EQ(1, g_help.calls);
    EXPECT_EQ("C:\\Program Files\\Korvane\\ZELKOR.HLP", g_help.file);
    EXPECT_EQ(UINT(HELP_KEY), g_help.command);
    EXPECT_EQ("Korvane", g_help.keyword);
    EXPECT_EQ("C:\\Program Files\\Korvane\\KORVANE.HLP", theApp.m_helpFilePath);
    EXPECT_TRUE(messages.boxes.empty());

    // F1 (WM_HELP) does the same; a failing help engine gives the message.
    g_help.result = FALSE;
    HELPINFO info{};
    info.cbSize = sizeof info;
    dlg->SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(2, g_help.calls);
    ASSERT_EQ(1u, messages.boxes.size());
    EXPECT_EQ("Failed to launch help.", messages.boxes[0].text);

    ::SetCurrentDirectoryA(cwd);
    theApp.m_pfnWinHelp = savedFn;
    theApp.m_helpFilePath = savedPath;
}

TEST_F(MainDlgTest, RunInsideItsOwnWarningAndQuitDuringItStartNothing)
{
    disc.fileSystem = "UDF";
    messages.answer = IDYES;
    Open();
    // A Run queued behind the first is dispatched while the warning is up.
    messages.onShow = [&](const MessageRecorder::Box&) { dlg->OnRun(); };
    DismissWhenDone();
    dlg->OnRun();
    EXPECT_EQ(1u, messages.boxes.size());
    EXPECT_EQ(18u, rowsAtEnd.size());

    // Quit while the warning is up: Yes no longer starts a run.
    messages.boxes.clear();
    rowsAtEnd.clear();
    messages.onShow = [&](const MessageRecorder::Box&) { dlg->SendMessage(WM_COMMAND, IDC_QUIT, 0); };
    dlg->OnRun();
    EXPECT_EQ(1u, messages.boxes.size());
    EXPECT_TRUE(rowsAtEnd.empty());
    EXPECT_EQ(nullptr, Engine().m_resultsDlg.m_hWnd);
}

// With this system's own shell (Wine's, where the tests run), the drive list draws a CD-drive icon.
TEST(DriveIconOfThisShell, IsDrawn)
{
    CDriveCombo combo(DRIVE_CDROM);
    HIMAGELIST icons = combo.m_hOwnImageList ? combo.m_hOwnImageList : combo.m_hSysImageList;
    const int index = combo.m_iconIndex[DRIVE_CDROM];
    ASSERT_NE(icons, nullptr);
    ASSERT_GE(index, 0);
    ASSERT_LT(index, ::ImageList_GetImageCount(icons));
    HDC dc = ::CreateCompatibleDC(nullptr);
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 16, 16);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    RECT all{0, 0, 16, 16};
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    EXPECT_TRUE(::ImageList_Draw(icons, index, dc, 0, 0, ILD_TRANSPARENT));
    int drawn = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            drawn += ::GetPixel(dc, x, y) != RGB(255, 255, 255);
    EXPECT_GT(drawn, 64) << "pixels of the icon";
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
}
