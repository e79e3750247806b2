// The application object: start-up and the Help command (WinHelp, or the help page in the browser).
#include "benchapp.h"
#include "../engine/seams.h"
#include "maindlg.h"
#include <commctrl.h>

CBenchApp theApp;

CWnd* AfxGetMainWnd() { return theApp.m_pMainWnd; }
const char* const kHelpFailedMessage = "Failed to launch help.";

namespace {
BOOL CallWinHelp(HWND hWnd, const char* file, UINT command, ULONG_PTR data)
{
    return ::WinHelpA(hWnd, file, command, data);
}

// Registers the common controls the program uses. InitCommonControlsEx came
// with comctl32 4.70; the 4.00 of Windows 95 has only InitCommonControls, which
// registers the Windows 95 classes, all that the program uses.
void InitControls()
{
    typedef BOOL(WINAPI * InitExFn)(const INITCOMMONCONTROLSEX*);
    HMODULE comctl = ::GetModuleHandleA("COMCTL32.DLL");
    auto initEx = comctl ? reinterpret_cast<InitExFn>(
                               reinterpret_cast<void*>(::GetProcAddress(comctl, "InitCommonControlsEx")))
                         : nullptr;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES |
                                                         ICC_PROGRESS_CLASS};
    if (!initEx || !initEx(&controls))
        ::InitCommonControls();
}

bool RunningSystemHasWinHelp()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return !::GetVersionExA(&version) || SystemHasWinHelp(version.dwPlatformId, version.dwMajorVersion);
}

bool IsFile(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    ::FindClose(search);
    return !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ModulePath()
{
    char path[MAX_PATH * 4] = "";
    DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, n < sizeof path ? n : 0);
}
}

bool SystemHasWinHelp(DWORD platformId, DWORD majorVersion)
{
    return platformId != VER_PLATFORM_WIN32_NT || majorVersion < 6;
}

CBenchApp::CBenchApp()
    : m_bWinHelp(RunningSystemHasWinHelp()), m_pfnWinHelp(CallWinHelp), m_pfnShellExecute(::ShellExecuteA)
{
    std::string path = ModulePath();
    std::string::size_type dot = path.rfind('.');
    if (dot != std::string::npos && path.find('\\', dot) == std::string::npos)
        path.erase(dot);
    m_helpFilePath = path + ".HLP";
}

BOOL CBenchApp::InitInstance()
{
    InitControls();
    CMainDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

void CBenchApp::OnHelp()
{
    const std::string saved = m_helpFilePath;
    std::string::size_type slash = saved.rfind('\\');
    const std::string folder = slash == std::string::npos ? std::string() : saved.substr(0, slash + 1);
    HWND hMain = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    bool shown;
    if (m_bWinHelp) {
        m_helpFilePath = folder + "ZELKOR.HLP";
        shown = m_pfnWinHelp(hMain, m_helpFilePath.c_str(), HELP_KEY, reinterpret_cast<ULONG_PTR>("Korvane")) != FALSE;
    } else {
        // The page opens at its top, which is the topic of the keyword "Korvane":
        // a #fragment on a file path does not survive ShellExecute on every Windows.
        const std::string page = folder + "ZELKOR.HTM";
        shown = IsFile(page) &&
                reinterpret_cast<INT_PTR>(m_pfnShellExecute(hMain, "open", page.c_str(), nullptr, nullptr,
                                                             SW_SHOWNORMAL)) > 32;
    }
    if (!shown)
        Messages().Show(kHelpFailedMessage, "Korvane", MB_OK | MB_ICONEXCLAMATION);
    m_helpFilePath = saved;
}
