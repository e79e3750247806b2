// The main dialog's smaller services, from outside: about box, tooltips,
// minimised icon, and the help that Help and F1 show on each Windows.
#include <gtest/gtest.h>
#include "korvanetest.h"
#include <commctrl.h>
#include <tlhelp32.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace uidriver;
namespace kv = uidriver::korvane;

namespace {

// Runs this thread's messages for ms milliseconds.
void Pump(DWORD ms)
{
    const DWORD end = ::GetTickCount() + ms;
    do {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(10);
    } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
}

// Stands in for the help engine: the help call hands its window the file and
// the keyword in a WM_COPYDATA block, which this window records.
struct FakeHelpEngine {
    static std::string s_payload;
    static int s_calls;
    HWND hWnd = nullptr;
    FakeHelpEngine()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "MS_WINHELP";
        ::RegisterClassA(&wc);
        hWnd = ::CreateWindowA("MS_WINHELP", "Help engine stand-in", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                               wc.hInstance, nullptr);
        s_payload.clear();
        s_calls = 0;
    }
    ~FakeHelpEngine() { ::DestroyWindow(hWnd); }
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l)
    {
        if (msg == WM_COPYDATA) {
            auto* data = reinterpret_cast<COPYDATASTRUCT*>(l);
            s_payload.assign(static_cast<const char*>(data->lpData), data->cbData);
            ++s_calls;
            return TRUE;
        }
        return ::DefWindowProcA(h, msg, w, l);
    }
    bool WaitForCall(DWORD ms)
    {
        const DWORD end = ::GetTickCount() + ms;
        while (s_calls == 0 && static_cast<LONG>(end - ::GetTickCount()) > 0)
            Pump(20);
        return s_calls > 0;
    }
};
std::string FakeHelpEngine::s_payload;
int FakeHelpEngine::s_calls = 0;

// Pumps this thread's messages until done() holds; false after 5 s.
template <class Done>
bool Until(Done done)
{
    for (int i = 0; i < 250 && !done(); ++i)
        Pump(20);
    return done();
}

bool Contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
}

// One registry string, set for a test and put back as it was (removed when there was none).
class RegValue {
public:
    RegValue(HKEY root, std::string key, std::string name) : m_root(root), m_key(std::move(key)), m_name(std::move(name)) {}
    bool Set(const char* value)
    {
        char old[1024] = "";
        DWORD size = sizeof old;
        m_existed = ::RegGetValueA(m_root, m_key.c_str(), m_name.c_str(), RRF_RT_REG_SZ, nullptr, old, &size) == 0;
        m_old = old;
        return Write(value);
    }
    void Restore()
    {
        HKEY key = nullptr;
        if (m_existed)
            Write(m_old.c_str());
        else if (::RegOpenKeyExA(m_root, m_key.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            ::RegDeleteValueA(key, m_name.c_str());
            ::RegCloseKey(key);
        }
    }

private:
    bool Write(const char* value) const
    {
        return ::RegSetKeyValueA(m_root, m_key.c_str(), m_name.c_str(), REG_SZ, value,
                                 static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
    }
    HKEY m_root;
    std::string m_key, m_name, m_old;
    bool m_existed = false;
};

// The class of the test's .htm handler; help_restore (CTest) knows it by this name too.
const char* const kTestClass = "KorvaneTestPage";

bool HasChildProcess(DWORD pid)
{
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32First(snapshot, &entry); more && !found; more = ::Process32Next(snapshot, &entry))
        found = entry.th32ParentProcessID == pid;
    ::CloseHandle(snapshot);
    return found;
}

class Shell : public KorvaneTest {
protected:
    // The main dialog as the foreground window; without a window manager Wine sets it at once.
    bool BringForward() const
    {
        ::SetForegroundWindow(m_main);
        return Until([&] { return ::GetForegroundWindow() == m_main; });
    }
};

} // namespace

TEST_F(Shell, AboutBoxFromTheSystemMenu)
{
    ::PostMessageA(m_main, WM_SYSCOMMAND, 16, 0);
    HWND about = WaitForWindow(Pid(), "About Korvane");
    ASSERT_NE(nullptr, about);
    // Modal to the main dialog: owned by it, which stays disabled while the box is up.
    EXPECT_EQ(::GetWindow(about, GW_OWNER), m_main);
    EXPECT_FALSE(::IsWindowEnabled(m_main));
    bool versionShown = false;
    for (HWND c = ::GetWindow(about, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        versionShown |= WindowText(c) == "Korvane Version 3.21";
    EXPECT_TRUE(versionShown);
    PaintNow(about);
    Shot(about, "about_box");
    ClickButton(about, IDOK);
    EXPECT_TRUE(WaitForWindowGone(about));
    // The main dialog is enabled again, no run was started, and Run still works.
    Sync();
    EXPECT_TRUE(::IsWindowEnabled(m_main));
    EXPECT_EQ(nullptr, FindTopWindow(Pid(), kv::kResultsCaption));
    PostCommand(m_main, kv::kRun);
    HWND results = WaitForWindow(Pid(), kv::kResultsCaption);
    ASSERT_NE(nullptr, results);
    ClickButton(results, IDOK);
    EXPECT_TRUE(WaitForWindowGone(results));
    EXPECT_TRUE(FindMessageBoxes(Pid()).empty());
}

TEST_F(Shell, RunButtonShowsItsTooltip)
{
    RECT r;
    ::GetWindowRect(m_toolbar, &r);
    ASSERT_TRUE(BringForward());
    // Rest the pointer on the first button, moving a little as a hand does.
    for (int i = 0; i < 5; ++i) {
        ::SetCursorPos(r.left + 30 + i, r.top + 25);
        Pump(60);
    }
    HWND tip = nullptr;
    for (int i = 0; i < 100 && !tip; ++i) {
        Pump(50);
        for (HWND w : TopWindows(Pid()))
            if (ClassName(w) == "tooltips_class32" && ::IsWindowVisible(w))
                tip = w;
    }
    ASSERT_NE(nullptr, tip);
    // The tip's text, asked of the window itself (another process's window
    // answers GetWindowText from its stored caption, not its current text).
    char text[128] = "";
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutA(tip, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &copied);
    EXPECT_STREQ("Run CD-ROM Tests", text);
    SaveNamedScreenshot(nullptr, "run_tooltip");
    ::SetCursorPos(600, 600);
}

TEST_F(Shell, MinimisedDialogShowsItsIcon)
{
    // Wine drops a minimise that comes while the freshly shown dialog is still
    // being activated: it is asked again until the dialog is iconic.
    for (int i = 0; i < 50 && !::IsIconic(m_main); ++i) {
        ::PostMessageA(m_main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        Pump(100);
    }
    ASSERT_TRUE(::IsIconic(m_main));
    PaintNow(m_main);
    Shot(m_main, "minimised_icon");
    ::PostMessageA(m_main, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(Until([&] { return !::IsIconic(m_main); }));
}

// The Windows version KORVANE.EXE is told (HKCU\Software\Wine, Version), and a test
// handler for .htm pages under HKCR, where Wine's ShellExecute looks (not under
// HKCU\Software\Classes): cmd.exe appends the path it is given to a file. Both are
// put back afterwards; help_restore (CTest) does it after a timeout.
class Help : public Shell, public ::testing::WithParamInterface<const char*> {
protected:
    std::string m_opened;  // the handler's record, a Windows path
    RegValue m_version{HKEY_CURRENT_USER, "Software\\Wine", "Version"};
    RegValue m_htm{HKEY_CLASSES_ROOT, ".htm", ""};

    void SetUp() override
    {
        char temp[MAX_PATH] = "";
        ::GetTempPathA(sizeof temp, temp);
        m_opened = std::string(temp) + "korvane-help-opened.txt";
        ::DeleteFileA(m_opened.c_str());
        ASSERT_TRUE(m_version.Set(GetParam()));
        ASSERT_TRUE(m_htm.Set(kTestClass));
        const std::string command = "\"C:\\windows\\system32\\cmd.exe\" /c echo %1 >>\"" + m_opened + "\"";
        ASSERT_TRUE(RegValue(HKEY_CLASSES_ROOT, std::string(kTestClass) + "\\shell\\open\\command", "")
                        .Set(command.c_str()));
        Shell::SetUp();
    }
    void TearDown() override
    {
        Shell::TearDown();
        m_version.Restore();
        m_htm.Restore();
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string(kTestClass) + "\\shell\\open\\command").c_str());
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string(kTestClass) + "\\shell\\open").c_str());
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string(kTestClass) + "\\shell").c_str());
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kTestClass);
        ::DeleteFileA(m_opened.c_str());
    }

    // The paths the handler was given, once every handler the program started has ended.
    std::vector<std::string> Opened() const
    {
        for (int i = 0; i < 250 && HasChildProcess(Pid()); ++i)
            Pump(20);
        std::vector<std::string> lines;
        if (FILE* f = std::fopen(m_opened.c_str(), "rb")) {
            char line[1024];
            while (std::fgets(line, sizeof line, f)) {
                std::string text = line;
                text.erase(text.find_last_not_of(" \r\n") + 1);
                lines.push_back(text);
            }
            std::fclose(f);
        }
        return lines;
    }
};

// Help and F1 (held down, so repeated) call for the help once each: WinHelp with
// the file and the keyword up to XP, the page in the browser from Vista on.
TEST_P(Help, ButtonAndHeldF1ShowTheHelpOfTheSystem)
{
    const bool winHelp = std::string(GetParam()) == "winxp";
    FakeHelpEngine engine;
    auto calls = [&] { return winHelp ? static_cast<size_t>(FakeHelpEngine::s_calls) : Opened().size(); };
    PostCommand(m_main, kv::kHelp);
    ASSERT_TRUE(Until([&] { return calls() >= 1; })) << "Help called for no help";
    // The handler has ended (two would share its record file): the keys go to the main window again.
    ASSERT_TRUE(BringForward());
    SendKeys({{VK_F1, 0}, {VK_F1, 0}, {VK_F1, 0}, {VK_F1, KEYEVENTF_KEYUP}});
    ASSERT_TRUE(Until([&] { return calls() >= 2; })) << "F1 called for no help";
    if (winHelp) {
        EXPECT_TRUE(Contains(FakeHelpEngine::s_payload, ModuleDirectory() + "ZELKOR.HLP")) << FakeHelpEngine::s_payload;
        EXPECT_TRUE(Contains(FakeHelpEngine::s_payload, std::string("Korvane") + '\0'));
    } else {
        for (const std::string& path : Opened())
            EXPECT_EQ(_stricmp(path.c_str(), (ModuleDirectory() + "ZELKOR.HTM").c_str()), 0) << path;
    }
    // Shift+F1 does nothing. Once the Tab typed after it has moved the focus,
    // neither it nor the repeats have called for help.
    ASSERT_TRUE(BringForward());
    const HWND focus = FocusOf(m_main);
    SendKeys({{VK_SHIFT, 0}, {VK_F1, 0}, {VK_F1, KEYEVENTF_KEYUP}, {VK_SHIFT, KEYEVENTF_KEYUP}, {VK_TAB, 0},
              {VK_TAB, KEYEVENTF_KEYUP}});
    ASSERT_TRUE(Until([&] { return FocusOf(m_main) != focus; })) << "the Tab after Shift+F1 did not arrive";
    EXPECT_EQ(FakeHelpEngine::s_calls, winHelp ? 2 : 0);
    EXPECT_EQ(Opened().size(), winHelp ? 0u : 2u);
    EXPECT_TRUE(FindMessageBoxes(Pid()).empty());
}

INSTANTIATE_TEST_SUITE_P(HelpBySystem, Help, ::testing::Values("winxp", "win10"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// Without the page beside it (Wine says Windows 7: no WinHelp), Help gives the
// message in a box without owner. Quit then hides the main window at once; the
// program ends when the box is answered.
TEST_F(Shell, MissingPageGivesTheMessageAndQuitHidesAtOnce)
{
    char temp[MAX_PATH] = "";
    ::GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "korvane-nopage\\";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileA((ModuleDirectory() + "KORVANE.EXE").c_str(), (folder + "KORVANE.EXE").c_str(), FALSE));
    m_session.End();
    StartProgram(folder + "KORVANE.EXE");
    PostCommand(m_main, kv::kHelp);
    const MessageBoxInfo box = ExpectBox("Korvane", "Failed to launch help.");
    EXPECT_EQ(::GetWindow(box.hWnd, GW_OWNER), nullptr);
    ClickButton(m_main, kv::kQuit);
    EXPECT_TRUE(WaitForWindowGone(m_main)) << "the main window stayed while the box was open";
    EXPECT_TRUE(::IsWindow(box.hWnd));
    AnswerMessageBox(box, IDOK);
    ExpectEndsWith(0);
    ::DeleteFileA((folder + "KORVANE.EXE").c_str());
    ::RemoveDirectoryA(folder.c_str());
}
