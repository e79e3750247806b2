// Help: WinHelp at the keyword, or the help page in the browser, from the folder beside the program.
#include "tests/app/maindlgtest.h"

namespace {
struct HelpCall {
    int calls = 0;
    std::string file, command, keyword;
    BOOL winHelpResult = TRUE;
    INT_PTR shellResult = 33;
};
HelpCall g_help;
BOOL RecordWinHelp(HWND, const char* file, UINT command, ULONG_PTR data)
{
    ++g_help.calls;
    g_help.file = file;
    g_help.command = command == HELP_KEY ? "HELP_KEY" : std::to_string(command);
    g_help.keyword = reinterpret_cast<const char*>(data);
    return g_help.winHelpResult;
}
HINSTANCE WINAPI RecordShellExecute(HWND, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR, INT)
{
    ++g_help.calls;
    g_help.file = file;
    g_help.command = verb ? verb : "(default)";
    g_help.keyword = params ? params : "";
    return reinterpret_cast<HINSTANCE>(g_help.shellResult);
}

// The program's help seams pointed at recorders and at a folder of the test's own; put back afterwards.
class HelpTest : public MainDlgTest {
protected:
    std::string folder;
    CBenchApp saved = theApp;
    char cwd[MAX_PATH] = "";

    void SetUp() override
    {
        MainDlgTest::SetUp();
        char temp[MAX_PATH] = "";
        ::GetTempPathA(sizeof temp, temp);
        folder = std::string(temp) + "korvane-help\\";
        ::CreateDirectoryA(folder.c_str(), nullptr);
        theApp.m_pfnWinHelp = RecordWinHelp;
        theApp.m_pfnShellExecute = RecordShellExecute;
        theApp.m_helpFilePath = folder + "KORVANE.HLP";
        // The help comes from the program's folder, not the current one.
        ::GetCurrentDirectoryA(sizeof cwd, cwd);
        ::SetCurrentDirectoryA("C:\\windows");
        g_help = HelpCall{};
        Open();
    }
    void TearDown() override
    {
        ::SetCurrentDirectoryA(cwd);
        ::DeleteFileA((folder + "ZELKOR.HTM").c_str());
        ::RemoveDirectoryA(folder.c_str());
        theApp.m_bWinHelp = saved.m_bWinHelp;
        theApp.m_pfnWinHelp = saved.m_pfnWinHelp;
        theApp.m_pfnShellExecute = saved.m_pfnShellExecute;
        theApp.m_helpFilePath = saved.m_helpFilePath;
        MainDlgTest::TearDown();
    }
    void WritePage()
    {
        HANDLE f = ::CreateFileA((folder + "ZELKOR.HTM").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        ::CloseHandle(f);
    }
    // The Help button; then F1 (WM_HELP), which must do the same.
    void PressHelpAndF1()
    {
        dlg->SendMessage(WM_COMMAND, ID_HELP, 0);
        HELPINFO info{};
        info.cbSize = sizeof info;
        dlg->SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    }
    size_t Failures() const
    {
        size_t n = 0;
        for (const auto& box : messages.boxes)
            n += box.text == "Failed to launch help.";
        return n;
    }
};
}  // namespace

TEST(SystemHelp, WinHelpUpToXpThePageFromVistaOn)
{
    const struct { DWORD platform, major; bool winHelp; } systems[] = {
        {VER_PLATFORM_WIN32_WINDOWS, 4, true},  // 95, 98, ME
        {VER_PLATFORM_WIN32_NT, 4, true},       // NT 4.0
        {VER_PLATFORM_WIN32_NT, 5, true},       // 2000, XP
        {VER_PLATFORM_WIN32_NT, 6, false},      // Vista, 7 (Wine's default), 8, 8.1
        {VER_PLATFORM_WIN32_NT, 10, false},     // 10, 11
    };
    for (const auto& s : systems)
        EXPECT_EQ(SystemHasWinHelp(s.platform, s.major), s.winHelp) << s.platform << " " << s.major;
}

TEST_F(HelpTest, WinHelpOpensTheFileBesideTheProgramAtTheKeyword)
{
    theApp.m_bWinHelp = true;
    PressHelpAndF1();
    EXPECT_EQ(2, g_help.calls);
    EXPECT_EQ(folder + "ZELKOR.HLP", g_help.file);
    EXPECT_EQ("HELP_KEY", g_help.command);
    EXPECT_EQ("Korvane", g_help.keyword);
    EXPECT_EQ(folder + "KORVANE.HLP", theApp.m_helpFilePath);
    EXPECT_EQ(0u, Failures());

    g_help.winHelpResult = FALSE;
    dlg->SendMessage(WM_COMMAND, ID_HELP, 0);
    EXPECT_EQ(1u, Failures());
}

TEST_F(HelpTest, WithoutWinHelpThePageOpensInTheBrowser)
{
    theApp.m_bWinHelp = false;
    // No page beside the program: nothing is asked of the shell.
    dlg->SendMessage(WM_COMMAND, ID_HELP, 0);
    EXPECT_EQ(0, g_help.calls);
    EXPECT_EQ(1u, Failures());

    WritePage();
    PressHelpAndF1();
    EXPECT_EQ(2, g_help.calls);
    EXPECT_EQ(folder + "ZELKOR.HTM", g_help.file);
    EXPECT_EQ("open", g_help.command);
    EXPECT_EQ("", g_help.keyword);
    EXPECT_EQ(1u, Failures());

    // ShellExecute's errors are the results of 32 and less (32 itself: a DLL not found).
    g_help.shellResult = 32;
    dlg->SendMessage(WM_COMMAND, ID_HELP, 0);
    EXPECT_EQ(2u, Failures());
}
