// UI driver: Ctrl+key presses and the clipboard's text, and copying the results window's text as a user would.
#include "uidriver.h"
#include <cstdio>
#include <cstring>

namespace uidriver {

namespace {
// The control with the keyboard focus in hWnd's thread, when it is hWnd or one of its children; else hWnd.
HWND FocusIn(HWND hWnd)
{
    const HWND focus = FocusOf(hWnd);
    return focus && (focus == hWnd || ::IsChild(hWnd, focus)) ? focus : hWnd;
}

// A popup menu of pid ("#32768"), shown; nullptr when there is none.
HWND FindPopupMenu(DWORD pid)
{
    for (HWND hWnd : TopWindows(pid))
        if (ClassName(hWnd) == "#32768")
            return hWnd;
    return nullptr;
}
// A right click on the list's second row as the mouse gives it, or Shift+F10 as
// the keyboard gives it once the focus is on OK; false when the focus did not get there.
bool OpenListMenu(HWND results, korvane::CopyBy by)
{
    BringToFront(results);
    if (by == korvane::CopyBy::Menu) {
        INPUT input[2] = {};
        RECT box{};
        ::GetWindowRect(::GetDlgItem(results, korvane::kResultList), &box);
        ::SetCursorPos(box.left + 20, box.top + 30);
        input[0].type = input[1].type = INPUT_MOUSE;
        input[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
        input[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
        return ::SendInput(2, input, sizeof(INPUT)) == 2;
    }
    const HWND ok = ::GetDlgItem(results, IDOK);
    ::PostMessageA(results, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ok), TRUE);
    for (DWORD waited = 0; FocusOf(results) != ok; waited += kPollMs) {
        if (waited > kWindowTimeout)
            return false;
        ::Sleep(kPollMs);
    }
    return SendKeys({{VK_SHIFT, 0}, {VK_F10, 0}, {VK_F10, KEYEVENTF_KEYUP}, {VK_SHIFT, KEYEVENTF_KEYUP}});
}
}  // namespace

bool PressCtrlKey(HWND hWnd, char letter)
{
    if (letter < 'A' || letter > 'Z')
        return false;
    return ::PostMessageA(FocusIn(hWnd), WM_CHAR, static_cast<WPARAM>(letter - 'A' + 1), 1) != 0;
}

bool ClearClipboard()
{
    if (!::OpenClipboard(nullptr))
        return false;
    const bool emptied = ::EmptyClipboard() != 0;
    ::CloseClipboard();
    return emptied;
}

std::string ClipboardText()
{
    std::string text;
    if (!::OpenClipboard(nullptr))
        return text;
    if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
        if (const char* bytes = static_cast<const char*>(::GlobalLock(data))) {
            text.assign(bytes, strnlen(bytes, ::GlobalSize(data)));
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

std::string WaitForClipboardText(DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (::IsClipboardFormatAvailable(CF_TEXT)) {
            std::string text = ClipboardText();
            if (!text.empty())
                return text;
        }
        if (::GetTickCount() - start > timeoutMs)
            return "";
        ::Sleep(kPollMs);
    }
}

std::string UnixLineEnds(const std::string& text)
{
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lines += text[i];
    return lines;
}

namespace korvane {

bool PrintCopiedResults(HWND results)
{
    std::string error;
    const std::string text = CopyResults(results, CopyBy::CtrlC, &error);
    if (text.empty()) {
        std::printf("copy: %s\n", error.c_str());
        return false;
    }
    std::printf("copied with Ctrl+C (tab-separated):\n%s", UnixLineEnds(text).c_str());
    std::fflush(stdout);
    return true;
}

std::string CopyResults(HWND results, CopyBy by, std::string* error)
{
    if (!ClearClipboard()) {
        *error = "could not empty the clipboard";
        return "";
    }
    DWORD pid = 0;
    ::GetWindowThreadProcessId(results, &pid);
    if (by == CopyBy::CtrlC) {
        PressCtrlKey(results, 'C');
    } else {
        if (!OpenListMenu(results, by)) {
            *error = "the focus did not come to OK";
            return "";
        }
        // The menu's item Copy chosen by its access key.
        const DWORD start = ::GetTickCount();
        HWND menu = nullptr;
        while (!(menu = FindPopupMenu(pid)) && ::GetTickCount() - start < kWindowTimeout)
            ::Sleep(kPollMs);
        if (!menu) {
            *error = "the list's menu did not open";
            return "";
        }
        // Typed, not posted: a posted character overtakes the Shift+F10 key-ups
        // still queued as input, and the stray F10 key-up then puts the window
        // in menu mode, where it stays until a key ends it.
        SendKeys({{'C', 0}, {'C', KEYEVENTF_KEYUP}});
    }
    std::string text = WaitForClipboardText(kWindowTimeout);
    if (text.empty())
        *error = "no text came to the clipboard";
    // One request, one menu: none is open once the window has dealt with all that came before.
    ResponseTime(results);
    if (by != CopyBy::CtrlC && (FindPopupMenu(pid) || InMenuMode(results))) {
        *error = "a second menu opened after the first, or the window stayed in menu mode";
        return "";
    }
    return text;
}

}  // namespace korvane
}  // namespace uidriver
