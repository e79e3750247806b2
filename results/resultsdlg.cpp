// Results window: three columns; OK, Esc and Close only ask the run to stop; Ctrl+C and the list's menu copy the results.
#include "resultsdlg.h"
#include "../res/resource.h"
#include "../framework/dpi.h"
#include "figures.h"
#include <windowsx.h>
#include <cstdint>
#include <cstring>

namespace {
const int kColumns = 3;
// What the translated key press Ctrl+C delivers to the control with the focus.
const WPARAM kCtrlC = 3;
}  // namespace

CResultsDlg::CResultsDlg(HWND hParent) : CDialog(IDD_RESULTS, hParent) {}

void CResultsDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_RESULT_LIST, m_list);
    DDX_Text(pDX, IDC_FILE_NAME, m_fileName);
    DDX_Text(pDX, IDC_VOLUME_LABEL, m_volumeLabel);
}

BOOL CResultsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_stopRequested = 0;
    // Widths for 96 dpi, at the screen's resolution.
    const CDpi dpi = CDpi::Screen();
    m_list.InsertColumn(0, " Test", LVCFMT_RIGHT, dpi.ScaleX(40), 0);
    m_list.InsertColumn(1, "Description", LVCFMT_RIGHT, dpi.ScaleX(195), 1);
    m_list.InsertColumn(2, "Time", LVCFMT_CENTER, dpi.ScaleX(100), 2);
    return TRUE;
}

// The window closes only when the run's owner ends its modal loop.
void CResultsDlg::OnOK() { m_stopRequested = 1; }
void CResultsDlg::OnCancel() { m_stopRequested = 1; }

std::string CResultsDlg::ResultsText() const
{
    if (!m_hWnd || !m_list.m_hWnd)
        return "";
    report::ResultRows rows(m_list.GetItemCount());
    std::vector<double> measured(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < kColumns; ++c)
            rows[r].push_back(m_list.GetItemText(static_cast<int>(r), c));
        measured[r] = MeasuredSeconds(static_cast<int>(r));
    }
    // The labels as shown: the worker assigns the two strings from its own thread.
    return report::CopyText(GetDlgItemText(IDC_VOLUME_LABEL), GetDlgItemText(IDC_FILE_NAME), rows, measured);
}

// The time as the single-precision float that the engine's records hold, in
// the 32 bits of the item data that both builds have.
void CResultsDlg::SetMeasuredSeconds(int row, double seconds) const
{
    const float value = static_cast<float>(seconds);
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    m_list.SetItemData(row, static_cast<LPARAM>(bits));
}

double CResultsDlg::MeasuredSeconds(int row) const
{
    const uint32_t bits = static_cast<uint32_t>(m_list.GetItemData(row));
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

BOOL CResultsDlg::CopyResults()
{
    const std::string text = ResultsText();
    if (text.empty())
        return FALSE;
    // Another program may hold the clipboard for a moment.
    BOOL open = FALSE;
    for (int attempt = 0; attempt < 5 && !(open = ::OpenClipboard(m_hWnd)); ++attempt)
        ::Sleep(20);
    BOOL copied = FALSE;
    if (open) {
        HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
        void* bytes = memory ? ::GlobalLock(memory) : nullptr;
        if (bytes) {
            std::memcpy(bytes, text.c_str(), text.size() + 1);
            ::GlobalUnlock(memory);
            // Emptied only now that the text is ready: a failure before leaves the user's clipboard alone.
            ::EmptyClipboard();
            copied = ::SetClipboardData(CF_TEXT, memory) != nullptr;
        }
        if (memory && !copied)
            ::GlobalFree(memory);
        ::CloseClipboard();
    }
    if (!copied)
        ::MessageBeep(MB_ICONWARNING);
    return copied;
}

BOOL CResultsDlg::PreTranslateMessage(MSG* msg)
{
    // Whichever control has the focus, and also while a run writes rows.
    if (msg->message != WM_CHAR || msg->wParam != kCtrlC || !m_hWnd ||
        !(msg->hwnd == m_hWnd || ::IsChild(m_hWnd, msg->hwnd)))
        return FALSE;
    CopyResults();
    return TRUE;
}

BOOL CResultsDlg::OnNotify(WPARAM, LPARAM lParam, LRESULT* pResult)
{
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header || header->hwndFrom != m_list.m_hWnd || header->code != static_cast<UINT>(NM_RCLICK))
        return FALSE;
    const DWORD at = ::GetMessagePos();
    ShowCopyMenu(POINT{GET_X_LPARAM(at), GET_Y_LPARAM(at)});
    *pResult = 1;  // handled: the list sends no WM_CONTEXTMENU after it
    return TRUE;
}

LRESULT CResultsDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled)
{
    handled = false;
    const HWND from = reinterpret_cast<HWND>(wParam);
    if (msg != WM_CONTEXTMENU || !(from == m_hWnd || ::IsChild(m_hWnd, from)))
        return 0;
    handled = true;
    // The mouse's menu comes from the list's NM_RCLICK; some lists send this
    // message after it all the same. Only the keyboard's (Shift+F10, the menu
    // key) is opened here, wherever the focus is (the window opens with it on
    // OK), at the list's top-left corner: the menu acts on the list.
    if (GET_X_LPARAM(lParam) != -1 || GET_Y_LPARAM(lParam) != -1)
        return 0;
    POINT at{0, 0};
    ::ClientToScreen(m_list.m_hWnd, &at);
    ShowCopyMenu(at);
    return 0;
}

void CResultsDlg::ShowCopyMenu(POINT at)
{
    HMENU menu = ::CreatePopupMenu();
    if (!menu)
        return;
    ::AppendMenuA(menu, MF_STRING | (m_list.GetItemCount() > 0 ? 0 : MF_GRAYED), ID_EDIT_COPY, "&Copy\tCtrl+C");
    const int command = static_cast<int>(::TrackPopupMenu(
        menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, m_hWnd,
        nullptr));
    ::DestroyMenu(menu);
    if (command == ID_EDIT_COPY)
        CopyResults();
}
