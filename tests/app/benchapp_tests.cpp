// Help: WinHelp at the keyword, or the help page in the browser, from the folder beside the program.
#include "tests/app/maindlgtest.h"
#include <cstdio>

namespace {
struct HelpCall {
    int calls = 0;
    std::string file, command, keyword;
    BOOL winHelpResult = TRUE;
    INT_PTR shellResult = 33;
} g_help;
BOOL RecordWinHelp(HWND, const char* file, UINT command, ULONG_PTR data)
{
    g_help = {g_help.calls + 1, file, command == HELP_KEY ? "HELP_KEY" : "?", reinterpret_cast<const char*>(data),
              g_help.winHelpResult, g_help.shellResult};
    return g_help.winHelpResult;
}
HINSTANCE WINAPI RecordShellExecute(HWND, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR, INT)
{
    g_help = {g_help.calls + 1, file, verb ? verb : "", params ? params : "", g_help.winHelpResult, g_help.shellResult};
    return reinterpret_cast<HINSTANCE>(g_help.shellResult);
}

// The help seams pointed at recorders, the program's path at a folder of the
// test's own and the current folder elsewhere; all put back afterwards.
class HelpTest : public MainDlgTest {
protected:
    const CBenchApp saved = theApp;
    std::string folder;
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
        theApp = saved;
        MainDlgTest::TearDown();
    }
    // The Help button, then F1 (WM_HELP), which does the same.
    void PressHelpAndF1()
    {
        dlg->SendMessage(WM_COMMAND, ID_HELP, 0);
        HELPINFO info{};
        info.cbSize = sizeof info;
        dlg->SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    }
};
}  // namespace

TEST(SystemHelp, WinHelpUpToXpThePageFromVistaOn)
{
    EXPECT_TRUE(SystemHasWinHelp(VER_PLATFORM_WIN32_WINDOWS, 4));  // 95, 98, Me
    EXPECT_TRUE(SystemHasWinHelp(VER_PLATFORM_WIN32_NT, 4));       // NT 4.0
    EXPECT_TRUE(SystemHasWinHelp(VER_PLATFORM_WIN32_NT, 5));       // 2000, XP
    EXPECT_FALSE(SystemHasWinHelp(VER_PLATFORM_WIN32_NT, 6));      // Vista to 8.1, and Wine's default 7
    EXPECT_FALSE(SystemHasWinHelp(VER_PLATFORM_WIN32_NT, 10));     // 10, 11
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
    EXPECT_TRUE(messages.boxes.empty());

    g_help.winHelpResult = FALSE;
    dlg->SendMessage(WM_COMMAND, ID_HELP, 0);
    ASSERT_EQ(1u, messages.boxes.size());
    EXPECT_EQ("Failed to launch help.", messages.boxes[0].text);
}

TEST_F(HelpTest, WithoutWinHelpThePageOpensInTheBrowser)
{
    theApp.m_bWinHelp = false;
    // No page beside the program: the message, and nothing asked of the shell.
    dlg->SendMessage(WM_COMMAND, ID_HELP, 0);
    EXPECT_EQ(0, g_help.calls);
    EXPECT_EQ(1u, messages.boxes.size());

    std::fclose(std::fopen((folder + "ZELKOR.HTM").c_str(), "w"));
    PressHelpAndF1();
    EXPECT_EQ(2, g_help.calls);
    EXPECT_EQ(folder + "ZELKOR.HTM", g_help.file);
    EXPECT_EQ("open", g_help.command);
    EXPECT_EQ("", g_help.keyword);
    EXPECT_EQ(1u, messages.boxes.size());

    // ShellExecute's errors are the results of 32 and less.
    g_help.shellResult = 32;
    dlg->SendMessage(WM_COMMAND, ID_HELP, 0);
    ASSERT_EQ(2u, messages.boxes.size());
    EXPECT_EQ("Failed to launch help.", messages.boxes[1].text);
}
