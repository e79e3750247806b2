// The main dialog's smaller services, from outside: about box, tooltips,
// minimised icon, and the calls Help and F1 make to the help engine.
#include <gtest/gtest.h>
#include <uidriver.h>
#include <commctrl.h>
#include <string>

using namespace uidriver;
namespace kv = uidriver::korvane;

namespace {

const int kRun = 32775;
const int kHelp = 57670;

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

bool Contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
}

class Shell : public ::testing::Test {
protected:
    Program program;
    HWND main = nullptr;
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(program.Start(ModuleDirectory() + "KORVANE.EXE", &error)) << error;
        main = WaitForWindow(program.Pid(), kv::kMainCaption);
        ASSERT_NE(nullptr, main);
    }
    void TearDown() override
    {
        if (program.Running()) {
            ClickButton(main, kv::kQuit);
            if (!program.WaitExit(5000))
                program.Kill();
        }
    }
};

} // namespace

TEST_F(Shell, AboutBoxFromTheSystemMenu)
{
    ::PostMessageA(main, WM_SYSCOMMAND, 16, 0);
    HWND about = WaitForWindow(program.Pid(), "About Korvane");
    ASSERT_NE(nullptr, about);
    Pump(300);  // let it paint before the picture
    bool versionShown = false;
    for (HWND c = ::GetWindow(about, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        versionShown |= WindowText(c) == "Korvane Version 3.21";
    EXPECT_TRUE(versionShown);
    SaveNamedScreenshot(about, "about_box");
    ClickButton(about, IDOK);
    EXPECT_TRUE(WaitForWindowGone(about));
    // The main dialog is still there, no run was started, and Run still works.
    EXPECT_TRUE(::IsWindowEnabled(main));
    EXPECT_EQ(nullptr, FindTopWindow(program.Pid(), kv::kResultsCaption));
    PostCommand(main, kRun);
    HWND results = WaitForWindow(program.Pid(), kv::kResultsCaption);
    ASSERT_NE(nullptr, results);
    ClickButton(results, IDOK);
    EXPECT_TRUE(WaitForWindowGone(results, 60000));
}

TEST_F(Shell, RunButtonShowsItsTooltip)
{
    HWND toolbar = FindToolbar(main);
    ASSERT_NE(nullptr, toolbar);
    RECT r;
    ::GetWindowRect(toolbar, &r);
    ::SetForegroundWindow(main);
    // Rest the pointer on the first button, moving a little as a hand does.
    for (int i = 0; i < 5; ++i) {
        ::SetCursorPos(r.left + 30 + i, r.top + 25);
        Pump(60);
    }
    HWND tip = nullptr;
    for (int i = 0; i < 100 && !tip; ++i) {
        Pump(50);
        for (HWND w : TopWindows(program.Pid()))
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
    ASSERT_GE(ResponseTime(main), 0);  // up and running its message loop
    Pump(300);
    ::PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    for (int i = 0; i < 100 && !::IsIconic(main); ++i)
        Pump(20);
    ASSERT_TRUE(::IsIconic(main));
    Pump(300);
    SaveNamedScreenshot(main, "minimised_icon");
    ::PostMessageA(main, WM_SYSCOMMAND, SC_RESTORE, 0);
    for (int i = 0; i < 100 && ::IsIconic(main); ++i)
        Pump(20);
    EXPECT_FALSE(::IsIconic(main));
}

TEST_F(Shell, HelpButtonAndF1OpenTheHelpFileAtTheKeyword)
{
    FakeHelpEngine engine;
    const std::string expectedFile = ModuleDirectory() + "ZELKOR.HLP";
    PostCommand(main, kHelp);
    ASSERT_TRUE(engine.WaitForCall(5000));
    EXPECT_TRUE(Contains(FakeHelpEngine::s_payload, expectedFile)) << FakeHelpEngine::s_payload;
    EXPECT_TRUE(Contains(FakeHelpEngine::s_payload, std::string("Korvane") + '\0'));

    // F1 on the dialog, as the keyboard gives it.
    FakeHelpEngine::s_calls = 0;
    ::SetForegroundWindow(main);
    Pump(200);
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_F1;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, keys, sizeof(INPUT));
    ASSERT_TRUE(engine.WaitForCall(5000));
    EXPECT_TRUE(Contains(FakeHelpEngine::s_payload, expectedFile));

    // With Shift held, F1 does nothing.
    FakeHelpEngine::s_calls = 0;
    INPUT shifted[4] = {};
    for (INPUT& in : shifted)
        in.type = INPUT_KEYBOARD;
    shifted[0].ki.wVk = VK_SHIFT;
    shifted[1].ki.wVk = VK_F1;
    shifted[2].ki.wVk = VK_F1;
    shifted[2].ki.dwFlags = KEYEVENTF_KEYUP;
    shifted[3].ki.wVk = VK_SHIFT;
    shifted[3].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(4, shifted, sizeof(INPUT));
    EXPECT_FALSE(engine.WaitForCall(1500));
}
