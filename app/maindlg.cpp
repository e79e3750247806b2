// Main dialog: start-up, the Run command and the idle check that ends a run.
#include "maindlg.h"
#include "../res/resource.h"
#include "../engine/seams.h"
#include "aboutdlg.h"
#include "benchapp.h"
#include <cstring>

const char* const kNoDrivesMessage = "No CD-ROM drives found.";
const char* const kUdfMessage =
    "You have a UDF formatted disc in your drive.  Korvane may not give accurate results with this file "
    "format.\n\nDo you want to use it anyway?";

CMainDlg::CMainDlg(HWND hParent)
    : CDialog(IDD_MAIN, hParent), m_driveCombo(DRIVE_CDROM)
{
    HINSTANCE hInst = ::GetModuleHandleA(nullptr);
    m_hIcon = ::LoadIconA(hInst, MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_hSmallIcon = static_cast<HICON>(::LoadImageA(hInst, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, 16, 16, 0));
    m_hAccel = ::LoadAcceleratorsA(hInst, MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_pEngine = std::make_unique<CBenchEngine>(&m_cache, this);
}

CMainDlg::~CMainDlg()
{
    m_pEngine.reset();  // before the device it uses is closed
    m_toolBar.DestroyWindow();
    m_cache.Close();
    if (m_hSmallIcon)
        ::DestroyIcon(m_hSmallIcon);
}

BOOL CMainDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (m_toolBar.CreateEx(m_hWnd, WS_CHILD | WS_VISIBLE | CBRS_TOP, AFX_IDW_TOOLBAR))
        m_toolBar.LoadToolBar(IDR_TOOLBAR);
    m_toolBar.SetBarStyle(m_toolBar.GetBarStyle() | CBRS_TOOLTIPS);
    m_driveCombo.InitFromDlgItem(IDC_DRIVE, m_hWnd);
    m_cachedDrives = m_cache.IsOpen() ? m_cache.GetDriveRoots() : nullptr;

    HMENU sysMenu = ::GetSystemMenu(m_hWnd, FALSE);
    if (sysMenu) {
        ::DeleteMenu(sysMenu, SC_MAXIMIZE, MF_BYCOMMAND);
        ::DeleteMenu(sysMenu, SC_SIZE, MF_BYCOMMAND);
        std::string about = LoadResString(IDS_ABOUTBOX);
        if (!about.empty()) {
            ::AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
    m_toolBar.EnableButton(ID_PRINT_RESULTS, FALSE);
    m_toolBar.Reposition();
    EnableToolTips();
    return TRUE;
}

void CMainDlg::EnableToolTips()
{
    // Tips for the dialog's own controls; their texts come from OnNotify.
    HWND tips = ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (!tips)
        return;
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (child == m_toolBar.m_hWnd)
            continue;
        TTTOOLINFOA info{};
        info.cbSize = TTTOOLINFOA_V1_SIZE;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = m_hWnd;
        info.uId = reinterpret_cast<UINT_PTR>(child);
        info.lpszText = LPSTR_TEXTCALLBACKA;
        ::SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    }
}

BOOL CMainDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (code == 1 && m_keyRepeat)
        return TRUE;
    if (id == IDC_QUIT && code == BN_CLICKED)
        OnQuit();
    else if (id == IDC_DRIVE && code == CBN_SELCHANGE)
        OnSelchangeDrive();
    else if (id == ID_PRINT_RESULTS) {
        // Ctrl+P (an accelerator's command: code 1) prints only what the button would.
        if (code != 1 || m_toolBar.IsButtonEnabled(ID_PRINT_RESULTS))
            OnPrintResults();
    }
    else if (id == ID_RUN_TESTS)
        OnRun();
    else if (id == ID_HELP)
        theApp.OnHelp();
    else
        return CDialog::OnCommand(wParam, lParam);
    return TRUE;
}

BOOL CMainDlg::PreTranslateMessage(MSG* msg)
{
    if (!m_hAccel || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST)
        return FALSE;
    // A held key acts once. Its repeats (bit 30: the key was already down) are
    // still translated, so that no control takes them for typing, but OnCommand
    // drops the command they give.
    const bool repeat = (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) && (msg->lParam & (1L << 30));
    // F1 is Help through WM_HELP, which the system makes of the key-down itself
    // (Wine posts it before the key-down reaches this loop): WM_HELP checks this.
    if (msg->wParam == VK_F1 && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP))
        m_f1Repeat = repeat;
    m_keyRepeat = repeat;
    const BOOL translated = ::TranslateAcceleratorA(m_hWnd, m_hAccel, msg);
    m_keyRepeat = false;
    return translated;
}

LRESULT CMainDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled)
{
    handled = true;
    switch (msg) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != IDM_ABOUTBOX) {
            handled = false;
            return 0;
        }
        OnSysCommand(wParam, lParam);
        return 0;
    case WM_PAINT:
        if (!::IsIconic(m_hWnd)) {
            handled = false;
            return 0;
        }
        OnPaint();
        return 0;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(m_hSmallIcon);
    case WM_ENTERIDLE:
        OnEnterIdle();
        return 0;
    case WM_HELP:
        // F1 without Shift, Ctrl or Alt opens the help, once however long it is held.
        if (!m_f1Repeat && ::GetKeyState(VK_SHIFT) >= 0 && ::GetKeyState(VK_CONTROL) >= 0 &&
            ::GetKeyState(VK_MENU) >= 0)
            SendMessage(WM_COMMAND, ID_HELP, 0);
        return TRUE;
    case WM_MEASUREITEM:
        if (wParam != IDC_DRIVE)
            break;
        m_driveCombo.MeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_DRAWITEM:
        if (wParam != IDC_DRIVE)
            break;
        m_driveCombo.DrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    default:
        break;
    }
    handled = false;
    return 0;
}

void CMainDlg::OnSysCommand(WPARAM, LPARAM)
{
    CAboutDlg about;
    about.DoModal();
}

void CMainDlg::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    ::GetClientRect(m_hWnd, &rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(dc, x, y, m_hSmallIcon);
    ::EndPaint(m_hWnd, &ps);
}

BOOL CMainDlg::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->code != TTN_NEEDTEXTA)
        return CDialog::OnNotify(wParam, lParam, pResult);
    auto* info = reinterpret_cast<NMTTDISPINFOA*>(lParam);
    UINT_PTR id = header->idFrom;
    if (info->uFlags & TTF_IDISHWND)
        id = static_cast<UINT_PTR>(::GetDlgCtrlID(reinterpret_cast<HWND>(id)));
    if (id != 0) {
        // The tip is the second line of the command's string.
        std::string text = LoadResString(static_cast<UINT>(id));
        std::string::size_type start = text.find('\n');
        text = start == std::string::npos ? std::string() : text.substr(start + 1);
        text = text.substr(0, text.find('\n'));
        lstrcpynA(info->szText, text.c_str(), sizeof info->szText);
        info->lpszText = info->szText;
    }
    *pResult = 0;
    return TRUE;
}

// ---------------------------------------------------------------------------
// Commands

void CMainDlg::Close(int result)
{
    if (m_pEngine->IsRunning() || m_inRunCommand) {
        m_closePending = true;
        m_closeResult = result;
        m_pEngine->m_resultsDlg.m_stopRequested = 1;
        return;
    }
    EndDialog(result);
}

void CMainDlg::OnQuit() { Close(IDOK); }
void CMainDlg::OnOK() { Close(IDOK); }
void CMainDlg::OnCancel() { Close(IDCANCEL); }

int CMainDlg::FindCachedDrive(const char* root) const
{
    if (!m_cachedDrives || !root)
        return -1;
    for (int i = 0; m_cachedDrives[i]; ++i)
        if (std::strncmp(m_cachedDrives[i], root, 2) == 0)
            return i;
    return -1;
}

BOOL CMainDlg::IsUdfDisc(char letter) const
{
    char root[] = "?:\\";
    root[0] = letter;
    char label[MAX_PATH + 1] = "";
    char fileSystem[MAX_PATH + 1] = "";
    if (!Disc().GetVolumeInformation(root, label, sizeof label, fileSystem, sizeof fileSystem))
        return FALSE;
    return std::strcmp(fileSystem, "UDF") == 0;
}

void CMainDlg::OnRun()
{
    // The command's own message boxes pump messages: a queued Run must not
    // start a second command inside the first.
    if (m_inRunCommand)
        return;
    m_inRunCommand = true;
    RunCommand();
    m_inRunCommand = false;
    if (m_closePending && !m_pEngine->IsRunning())
        EndDialog(m_closeResult);
}

void CMainDlg::RunCommand()
{
    const char* root = m_driveCombo.GetSelectedDrive();
    m_toolBar.UpdateWindow();
    if (!root) {
        Messages().Show(kNoDrivesMessage, "Error", MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
        return;
    }
    const int cacheIndex = FindCachedDrive(root);
    // A run is under way, or its results are still on screen.
    if (m_pEngine->m_resultsDlg.m_stopRequested == 0 || m_pEngine->IsRunning() || m_closePending)
        return;
    if (IsUdfDisc(root[0]) &&
        Messages().Show(kUdfMessage, "Warning - UDF disc",
                        MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING | MB_SETFOREGROUND) != IDYES)
        return;

    if (m_closePending)  // the program was closed while the warning was up
        return;
    const int result = m_pEngine->Run(root, cacheIndex);
    if (m_toolBar.IsWindow())
        m_toolBar.EnableButton(ID_PRINT_RESULTS, result != 0);
}

void CMainDlg::OnSelchangeDrive()
{
    const char* drive = m_driveCombo.GetSelectedDrive();
    BOOL enable = FALSE;
    if (drive && drive[0] >= 'A' && drive[0] <= 'Z')
        enable = (m_pEngine->m_results[m_pEngine->m_pass][drive[0] - 'A'].flags & RESULT_WALK_DONE) != 0;
    m_toolBar.EnableButton(ID_PRINT_RESULTS, enable);
}

void CMainDlg::OnEnterIdle()
{
    HANDLE worker = m_pEngine->m_hWorkerThread;
    if (!worker)
        return;
    DWORD code = STILL_ACTIVE;
    if (!::GetExitCodeThread(worker, &code) || code == STILL_ACTIVE)
        return;
    CResultsDlg& results = m_pEngine->m_resultsDlg;
    if (results.m_stopRequested == 0)
        return;
    m_pEngine->m_runResult = code;
    results.EndModalLoop(results.m_stopRequested);
}
