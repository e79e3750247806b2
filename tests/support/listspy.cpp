// List view spy and reader for the window tests.
#include "listspy.h"

namespace {
const char* const kSpyProp = "KorvaneListSpy";
}

ListSpy::ListSpy(HWND list) : m_list(list)
{
    ::SetPropA(list, kSpyProp, this);
    m_previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListSpy::Proc)));
}

ListSpy::~ListSpy()
{
    if (::IsWindow(m_list)) {
        ::SetWindowLongPtrA(m_list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
        ::RemovePropA(m_list, kSpyProp);
    }
}

LRESULT CALLBACK ListSpy::Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* spy = static_cast<ListSpy*>(::GetPropA(hWnd, kSpyProp));
    if ((msg == LVM_SETITEMA || msg == LVM_INSERTITEMA) && lParam) {
        auto* item = reinterpret_cast<LVITEMA*>(lParam);
        COLORREF colour = static_cast<COLORREF>(::CallWindowProcA(spy->m_previous, hWnd, LVM_GETTEXTCOLOR, 0, 0));
        spy->writes.push_back({item->iItem, item->iSubItem, item->pszText ? item->pszText : "", colour});
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(spy->m_previous));
        ::RemovePropA(hWnd, kSpyProp);
        return ::CallWindowProcA(spy->m_previous, hWnd, msg, wParam, lParam);
    }
    return ::CallWindowProcA(spy->m_previous, hWnd, msg, wParam, lParam);
}

COLORREF ListSpy::ColourOf(const std::string& text) const
{
    for (const Write& w : writes)
        if (w.text == text)
            return w.colour;
    return CLR_NONE;
}

std::vector<std::vector<std::string>> ReadRows(HWND list)
{
    std::vector<std::vector<std::string>> rows;
    int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < count; ++r) {
        std::vector<std::string> row;
        for (int c = 0; c < 3; ++c) {
            char buf[256] = "";
            LVITEMA it{};
            it.iSubItem = c;
            it.pszText = buf;
            it.cchTextMax = sizeof buf;
            ::SendMessageA(list, LVM_GETITEMTEXTA, r, reinterpret_cast<LPARAM>(&it));
            row.push_back(buf);
        }
        rows.push_back(row);
    }
    return rows;
}
