// The main dialog's smaller services, from outside: about box, tooltips,
// minimised icon, and the calls Help and F1 make to the help engine.
#include <gtest/gtest.h>
#include "korvanetest.h"
#include <commctrl.h>
#include <string>

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

INPUT Key(WORD vk, DWORD flags = 0)
{
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = flags;
    return in;
}

bool Contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
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

TEST_F(Shell, HelpButtonAndF1OpenTheHelpFileAtTheKeyword)
{
    FakeHelpEngine engine;
    const std::string expectedFile = ModuleDirectory() + "ZELKOR.HLP";
    PostCommand(m_main, kv::kHelp);
    ASSERT_TRUE(engine.WaitForCall(5000));
    EXPECT_TRUE(Contains(FakeHelpEngine::s_payload, expectedFile)) << FakeHelpEngine::s_payload;
    EXPECT_TRUE(Contains(FakeHelpEngine::s_payload, std::string("Korvane") + '\0'));

    // F1 on the dialog, as the keyboard gives it.
    FakeHelpEngine::s_calls = 0;
    ASSERT_TRUE(BringForward());
    INPUT f1[] = {Key(VK_F1), Key(VK_F1, KEYEVENTF_KEYUP)};
    ::SendInput(2, f1, sizeof(INPUT));
    ASSERT_TRUE(engine.WaitForCall(5000));
    EXPECT_TRUE(Contains(FakeHelpEngine::s_payload, expectedFile));

    // With Shift held, F1 does nothing: once the Tab typed after it has moved the focus, no call came.
    FakeHelpEngine::s_calls = 0;
    const HWND focus = FocusOf(m_main);
    INPUT shifted[] = {Key(VK_SHIFT), Key(VK_F1), Key(VK_F1, KEYEVENTF_KEYUP), Key(VK_SHIFT, KEYEVENTF_KEYUP),
                       Key(VK_TAB), Key(VK_TAB, KEYEVENTF_KEYUP)};
    ::SendInput(6, shifted, sizeof(INPUT));
    ASSERT_TRUE(Until([&] { return FocusOf(m_main) != focus; })) << "the Tab after Shift+F1 did not arrive";
    EXPECT_EQ(FakeHelpEngine::s_calls, 0);
}
