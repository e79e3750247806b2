// CBenchApp: the application object; the program lives inside the main dialog.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <string>

class CMainDlg;

class CBenchApp {
public:
    CBenchApp();
    BOOL InitInstance();
    void OnHelp();

    // The help file path; by default the program's own path with ".HLP".
    std::string m_helpFilePath;
    CMainDlg* m_pMainWnd = nullptr;
    // Whether the system shows help through WinHelp (set from its version):
    // otherwise Help opens the same help as a page in the user's browser.
    bool m_bWinHelp;
    // The help engine call (WinHelpA); tests put a recorder here.
    BOOL (*m_pfnWinHelp)(HWND, const char*, UINT, ULONG_PTR);
    // The call that opens the page in its browser (ShellExecuteA); tests put a recorder here.
    HINSTANCE(WINAPI* m_pfnShellExecute)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
};

// Windows 95 to XP have WinHelp; NT 6.0 (Vista) and later do not. The
// argument is what GetVersionExA reports: platform id, major version.
bool SystemHasWinHelp(DWORD platformId, DWORD majorVersion);

extern CBenchApp theApp;
extern const char* const kHelpFailedMessage;
