// What the UI driver's parts share and tests need not see: sends that give up, a window's process, the text size.
#pragma once
#include "uidriver.h"

namespace uidriver {

// Cross-process sends give up after this long, so a hung program cannot hang a test.
constexpr UINT kSendTimeout = 5000;

inline bool Send(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR* result = nullptr)
{
    DWORD_PTR value = 0;
    LRESULT ok = ::SendMessageTimeoutA(hWnd, msg, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendTimeout, &value);
    if (result)
        *result = value;
    return ok != 0;
}

inline DWORD WindowPid(HWND hWnd)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    return pid;
}

constexpr SIZE_T kTextMax = 512;

}  // namespace uidriver
