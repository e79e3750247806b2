// Help: the help file beside the program, from the Help button and F1.
#include "tests/app/maindlgtest.h"

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
