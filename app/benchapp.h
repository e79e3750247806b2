// CBenchApp: the application object; the program lives inside the main dialog.
#pragma once
#include <windows.h>
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
    // The help engine call (WinHelpA); tests put a recorder here.
    BOOL (*m_pfnWinHelp)(HWND, const char*, UINT, ULONG_PTR);
};

extern CBenchApp theApp;
extern const char* const kHelpFailedMessage;
