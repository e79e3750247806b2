// Thin control wrappers: each operation sends one message to the control.
//
//   CListCtrl      report-view list (SysListView32)
//   CComboBox      combo box; owner-draw items are drawn by the parent's code
//   CProgressCtrl  progress bar (msctls_progress32)
//   CToolBar       toolbar of bitmap buttons, loaded from a toolbar resource
#pragma once
#include "wnd.h"
#include <commctrl.h>

class CListCtrl : public CWnd {
public:
// Operations
    int InsertColumn(int col, const char* heading, int format, int width, int subItem) const
    {
        LVCOLUMNA c{};
        c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        c.fmt = format;
        c.cx = width;
        c.pszText = const_cast<char*>(heading);
        c.iSubItem = subItem;
        return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, col, reinterpret_cast<LPARAM>(&c)));
    }
    int InsertItem(int row, const char* text) const
    {
        LVITEMA it{};
        it.mask = LVIF_TEXT;
        it.iItem = row;
        it.pszText = const_cast<char*>(text);
        return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it)));
    }
    BOOL SetItemText(int row, int subItem, const char* text) const
    {
        LVITEMA it{};
        it.mask = LVIF_TEXT;
        it.iItem = row;
        it.iSubItem = subItem;
        it.pszText = const_cast<char*>(text);
        return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it)));
    }
    BOOL SetItemData(int row, LPARAM data) const
    {
        LVITEMA it{};
        it.mask = LVIF_PARAM;
        it.iItem = row;
        it.lParam = data;
        return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it)));
    }
    LPARAM GetItemData(int row) const
    {
        LVITEMA it{};
        it.mask = LVIF_PARAM;
        it.iItem = row;
        return SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it)) ? it.lParam : 0;
    }
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    std::string GetItemText(int row, int subItem) const
    {
        char text[260] = "";
        LVITEMA it{};
        it.iSubItem = subItem;
        it.pszText = text;
        it.cchTextMax = sizeof text;
        SendMessage(LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&it));
        return text;
    }
    BOOL SetTextColor(COLORREF colour) const { return static_cast<BOOL>(SendMessage(LVM_SETTEXTCOLOR, 0, colour)); }
    COLORREF GetTextColor() const { return static_cast<COLORREF>(SendMessage(LVM_GETTEXTCOLOR)); }
    COLORREF GetBkColor() const { return static_cast<COLORREF>(SendMessage(LVM_GETBKCOLOR)); }
};

class CComboBox : public CWnd {
public:
    // Binds the object to a control of a dialog.
    BOOL SubclassDlgItem(int id, HWND hParent)
    {
        Attach(::GetDlgItem(hParent, id));
        return m_hWnd != nullptr;
    }
// Operations
    void ResetContent() const { SendMessage(CB_RESETCONTENT); }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) const { return static_cast<int>(SendMessage(CB_SETCURSEL, index)); }
    LPARAM GetItemData(int index) const { return SendMessage(CB_GETITEMDATA, index); }
};

class CProgressCtrl : public CWnd {
public:
// Operations
    void SetRange(short lower, short upper) const { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
    int SetStep(int step) const { return static_cast<int>(SendMessage(PBM_SETSTEP, step)); }
    int SetPos(int pos) const { return static_cast<int>(SendMessage(PBM_SETPOS, pos)); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
    int StepIt() const { return static_cast<int>(SendMessage(PBM_STEPIT)); }
};

// Bar styles of CToolBar.
enum : DWORD {
    CBRS_TOOLTIPS = 0x0010,
    CBRS_TOP = 0x2000,
};

class CToolBar : public CWnd {
public:
    ~CToolBar() override;
    // Creates the toolbar window as a child of hParent.
    BOOL CreateEx(HWND hParent, DWORD style, UINT id);
    // Loads a toolbar resource: its bitmap of the same id and its buttons.
    BOOL LoadToolBar(UINT id);
    DWORD GetBarStyle() const { return m_barStyle; }
    void SetBarStyle(DWORD style);
    // Places the toolbar across the top of its parent's client area.
    void Reposition() const { SendMessage(TB_AUTOSIZE); }
    BOOL DestroyWindow() override;

// Operations
    BOOL EnableButton(int id, BOOL enable) const { return static_cast<BOOL>(SendMessage(TB_ENABLEBUTTON, id, MAKELPARAM(enable, 0))); }
    BOOL IsButtonEnabled(int id) const { return static_cast<BOOL>(SendMessage(TB_ISBUTTONENABLED, id)); }
    HWND GetToolTips() const { return reinterpret_cast<HWND>(SendMessage(TB_GETTOOLTIPS)); }

private:
    HBITMAP m_hBitmap = nullptr;
    DWORD m_barStyle = 0;
};
