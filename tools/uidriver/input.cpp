// UI driver, input: commands, button clicks and keys posted to the program as a person would give them.
#include "uidriver.h"

namespace uidriver {

bool PostCommand(HWND hWnd, int id)
{
    return ::PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0) != 0;
}

bool ClickButton(HWND hDlg, int id)
{
    HWND button = ::GetDlgItem(hDlg, id);
    return ::PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != 0;
}

bool PressButton(HWND hDlg, int id)
{
    HWND button = ::GetDlgItem(hDlg, id);
    return button && ::PostMessageA(button, BM_CLICK, 0, 0) != 0;
}

bool PressKey(HWND hWnd, UINT vk)
{
    HWND target = hWnd;
    const HWND focus = FocusOf(hWnd);
    if (focus && (focus == hWnd || ::IsChild(hWnd, focus)))
        target = focus;
    const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyA(vk, 0 /* MAPVK_VK_TO_VSC */)) << 16;
    return ::PostMessageA(target, WM_KEYDOWN, vk, scan | 1) &&
           ::PostMessageA(target, WM_KEYUP, vk, scan | 1 | (1u << 30) | (1u << 31));
}

bool BringToFront(HWND hWnd)
{
    ::SetForegroundWindow(hWnd);
    for (DWORD waited = 0; waited < kWindowTimeout && ::GetForegroundWindow() != hWnd; waited += kPollMs)
        ::Sleep(kPollMs);
    return ::GetForegroundWindow() == hWnd;
}

bool TypeKey(HWND hWnd, WORD vk, bool ctrl)
{
    if (!BringToFront(hWnd))
        return false;
    INPUT keys[4] = {};
    int count = 0;
    auto key = [&](WORD code, DWORD flags) {
        keys[count].type = INPUT_KEYBOARD;
        keys[count].ki.wVk = code;
        keys[count++].ki.dwFlags = flags;
    };
    if (ctrl)
        key(VK_CONTROL, 0);
    key(vk, 0);
    key(vk, KEYEVENTF_KEYUP);
    if (ctrl)
        key(VK_CONTROL, KEYEVENTF_KEYUP);
    return ::SendInput(count, keys, sizeof(INPUT)) == static_cast<UINT>(count);
}

bool PressCloseBox(HWND hWnd)
{
    return ::PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
}

}  // namespace uidriver
