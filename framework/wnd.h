// CWnd: a window object over an HWND. It owns the window only if it created it.
#pragma once
#include <windows.h>
#include <string>

class CWnd {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd() = default;

    // Attach and detach a handle; the object never destroys an attached window.
    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND Detach() { HWND h = m_hWnd; m_hWnd = nullptr; return h; }
    bool IsWindow() const { return m_hWnd != nullptr && ::IsWindow(m_hWnd); }

// Operations
    LRESULT SendMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageA(m_hWnd, msg, w, l); }
    BOOL PostMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageA(m_hWnd, msg, w, l); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetDlgItemText(int id, const std::string& text) const { ::SetDlgItemTextA(m_hWnd, id, text.c_str()); }
    std::string GetDlgItemText(int id) const;
    std::string GetWindowText() const;
    void SetWindowText(const std::string& text) const { ::SetWindowTextA(m_hWnd, text.c_str()); }
    void UpdateWindow() const { if (m_hWnd) ::UpdateWindow(m_hWnd); }
    BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
    virtual BOOL DestroyWindow();
};

// The application's main window (the application object provides it): modal
// dialogs that name no parent belong to it. nullptr while there is none.
CWnd* AfxGetMainWnd();

// Text of any window, whatever its length.
std::string GetWindowTextString(HWND hWnd);
// A string resource of this module; empty when there is none.
std::string LoadResString(UINT id);
