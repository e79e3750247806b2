// CWnd operations that need more than one message.
#include "wnd.h"
#include <vector>

std::string GetWindowTextString(HWND hWnd)
{
    int len = ::GetWindowTextLengthA(hWnd);
    if (len <= 0)
        return std::string();
    std::vector<char> buf(len + 1);
    int got = ::GetWindowTextA(hWnd, buf.data(), len + 1);
    return std::string(buf.data(), got > 0 ? got : 0);
}

std::string CWnd::GetWindowText() const
{
    return GetWindowTextString(m_hWnd);
}

std::string CWnd::GetDlgItemText(int id) const
{
    return GetWindowTextString(GetDlgItem(id));
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    BOOL ok = ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    return ok;
}

std::string LoadResString(UINT id)
{
    char buf[256];
    int n = ::LoadStringA(::GetModuleHandleA(nullptr), id, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
}
