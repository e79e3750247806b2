// Dialog dispatch: a static procedure finds the object and calls its handlers.
#include "dialog.h"

namespace {
// The dialog being created on this thread: messages that arrive before
// WM_INITDIALOG (WM_SETFONT, WM_MEASUREITEM) still reach their object. A TLS
// slot of Windows' own rather than thread_local, whose emulation in MinGW's
// libgcc needs a C runtime; the slot is taken at start-up, on one thread.
const DWORD g_creatingSlot = ::TlsAlloc();

CDialog* Creating()
{
    return static_cast<CDialog*>(::TlsGetValue(g_creatingSlot));
}

void SetCreating(CDialog* dialog)
{
    ::TlsSetValue(g_creatingSlot, dialog);
}

bool IsIdleMessage(const MSG& msg)
{
    return msg.message != WM_PAINT && msg.message != 0x0118 /* system timer */;
}
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    // Bound again at every exchange: each creation of the dialog makes new controls.
    control.Attach(pDX->m_pDlg->GetDlgItem(id));
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value)
{
    if (pDX->m_bSaveAndValidate)
        value = pDX->m_pDlg->GetDlgItemText(id);
    else
        pDX->m_pDlg->SetDlgItemText(id, value);
}

CDialog* CDialog::FromHandle(HWND hWnd)
{
    if (!hWnd || ::GetWindowLongPtrA(hWnd, DWLP_DLGPROC) != reinterpret_cast<LONG_PTR>(DialogProc))
        return nullptr;
    return reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
}

HWND FindDialogAncestor(HWND hWnd)
{
    // The top-level window that holds hWnd, walked by hand: Windows 95 has no GetAncestor.
    HWND root = hWnd;
    while (root && (::GetWindowLongA(root, GWL_STYLE) & WS_CHILD))
        root = ::GetParent(root);
    char cls[16] = "";
    if (root && ::GetClassNameA(root, cls, sizeof cls) && lstrcmpA(cls, "#32770") == 0)
        return root;
    return nullptr;
}

CDialog::CDialog(UINT idTemplate, HWND hParent) : m_idTemplate(idTemplate), m_hParent(hParent) {}

CDialog::~CDialog()
{
    if (m_hWnd && !m_bModal && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
}

INT_PTR CDialog::DoModal()
{
    // Without a parent the box belongs to the main window, which is disabled
    // while it is up and which it never falls behind.
    HWND owner = m_hParent;
    CWnd* main = AfxGetMainWnd();
    if (!owner && main && main != this && main->IsWindow())
        owner = main->m_hWnd;
    m_hDisabledOwner = owner && ::IsWindowEnabled(owner) ? owner : nullptr;
    if (m_hDisabledOwner)
        ::EnableWindow(owner, FALSE);
    // The window runs in this framework's own loop, so that its PreTranslateMessage
    // sees its key presses (accelerators) before the dialog manager does.
    m_bModal = true;
    m_bContinueModal = true;
    m_nModalResult = -1;
    INT_PTR result = -1;
    if (CreateFromTemplate(owner)) {
        result = m_nModalResult;  // EndDialog in OnInitDialog
        if (m_bContinueModal) {
            DWORD flags = MLF_SHOWONIDLE;
            if (::GetWindowLongA(m_hWnd, GWL_STYLE) & DS_NOIDLEMSG)
                flags |= MLF_NOIDLEMSG;
            result = RunModalLoop(flags);
        }
    }
    ReleaseOwner();
    if (m_hWnd) {
        if (owner && ::GetActiveWindow() == m_hWnd)
            ::SetActiveWindow(owner);
        ::DestroyWindow(m_hWnd);
    }
    m_hWnd = nullptr;
    m_bModal = false;
    return result;
}

BOOL CDialog::Create(UINT idTemplate, HWND hParent)
{
    m_idTemplate = idTemplate;
    m_hParent = hParent;
    m_bModal = false;
    return CreateFromTemplate(hParent);
}

BOOL CDialog::CreateFromTemplate(HWND hParent)
{
    CDialog* previous = Creating();
    SetCreating(this);
    HWND hWnd = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_idTemplate), hParent,
                                     DialogProc, reinterpret_cast<LPARAM>(this));
    SetCreating(previous);
    if (!hWnd)
        m_hWnd = nullptr;
    return hWnd != nullptr;
}

void CDialog::EndDialog(int result)
{
    if (m_bModal) {
        m_bContinueModal = false;
        m_nModalResult = result;
        // Gone from the screen at once, as Windows' own EndDialog does: another
        // modal loop (a message box) may hold this thread before this loop ends.
        if (m_hWnd) {
            ReleaseOwner();
            HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
            if (owner && ::GetActiveWindow() == m_hWnd)
                ::SetActiveWindow(owner);
            ::ShowWindow(m_hWnd, SW_HIDE);
        }
    }
    if (m_bInModalLoop)
        EndModalLoop(result);
}

void CDialog::ReleaseOwner()
{
    // Enabled before the dialog hides, so that the owner, not another program, becomes active.
    if (m_hDisabledOwner)
        ::EnableWindow(m_hDisabledOwner, TRUE);
    m_hDisabledOwner = nullptr;
}

int CDialog::RunModalLoop(DWORD flags)
{
    m_bInModalLoop = true;
    m_nModalResult = -1;
    bool showOnIdle = (flags & MLF_SHOWONIDLE) && !(::GetWindowLongA(m_hWnd, GWL_STYLE) & WS_VISIBLE);
    HWND hOwner = ::GetWindow(m_hWnd, GW_OWNER);
    bool idle = true;
    MSG msg;
    while (m_bInModalLoop) {
        // Idle: show the window once, then tell the owner the queue is empty.
        if (idle && !::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (showOnIdle) {
                ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
                ::UpdateWindow(m_hWnd);
                showOnIdle = false;
            }
            if (!(flags & MLF_NOIDLEMSG) && hOwner)
                ::SendMessageA(hOwner, WM_ENTERIDLE, MSGF_DIALOGBOX, reinterpret_cast<LPARAM>(m_hWnd));
            idle = false;
            continue;
        }
        // Pump until the queue is empty again.
        do {
            if (!::GetMessageA(&msg, nullptr, 0, 0)) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                m_bInModalLoop = false;
                return -1;
            }
            HWND hDlg = FindDialogAncestor(msg.hwnd);
            CDialog* target = FromHandle(hDlg);
            if (!(target ? target : this)->PreTranslateMessage(&msg) && (!hDlg || !::IsDialogMessageA(hDlg, &msg))) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
            if (!m_bInModalLoop)
                break;
            if (IsIdleMessage(msg))
                idle = true;
        } while (::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    }
    return m_nModalResult;
}

void CDialog::EndModalLoop(int result)
{
    m_nModalResult = result;
    if (m_bInModalLoop) {
        m_bInModalLoop = false;
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);  // wake the loop if it waits
    }
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx{bSaveAndValidate != FALSE, this};
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }
void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM)
{
    switch (LOWORD(wParam)) {
    case IDOK: OnOK(); return TRUE;
    case IDCANCEL: OnCancel(); return TRUE;
    default: return FALSE;
    }
}

BOOL CDialog::OnNotify(WPARAM, LPARAM, LRESULT*) { return FALSE; }
BOOL CDialog::PreTranslateMessage(MSG*) { return FALSE; }

LRESULT CDialog::OnMessage(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    return 0;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!self) {
        self = msg == WM_INITDIALOG ? reinterpret_cast<CDialog*>(lParam) : Creating();
        if (!self)
            return FALSE;
        self->m_hWnd = hWnd;
        if (msg == WM_INITDIALOG) {
            ::SetWindowLongPtrA(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
            SetCreating(nullptr);
        }
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        if (self->m_hWnd == hWnd)
            self->m_hWnd = nullptr;
        return FALSE;
    }
    return self->Dispatch(msg, wParam, lParam);
}

INT_PTR CDialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(wParam, lParam);
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!OnNotify(wParam, lParam, &result))
            return FALSE;
        ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    default: {
        bool handled = false;
        LRESULT result = OnMessage(msg, wParam, lParam, handled);
        if (!handled)
            return FALSE;
        // Messages whose result is the procedure's own return value.
        switch (msg) {
        case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
        case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON:
            return static_cast<INT_PTR>(result);
        default:
            ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }
    }
}
