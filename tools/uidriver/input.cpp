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

bool SendKeys(std::initializer_list<std::pair<WORD, DWORD>> keys)
{
    std::vector<INPUT> input;
    for (const auto& key : keys) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = key.first;
        in.ki.dwFlags = key.second;
        input.push_back(in);
    }
    return ::SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT)) == input.size();
}

bool TypeKey(HWND hWnd, WORD vk, bool ctrl)
{
    if (!BringToFront(hWnd))
        return false;
    if (ctrl)
        return SendKeys({{VK_CONTROL, 0}, {vk, 0}, {vk, KEYEVENTF_KEYUP}, {VK_CONTROL, KEYEVENTF_KEYUP}});
    return SendKeys({{vk, 0}, {vk, KEYEVENTF_KEYUP}});
}

bool PressCloseBox(HWND hWnd)
{
    return ::PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
}

}  // namespace uidriver
