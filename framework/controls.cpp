// CToolBar: creation and loading from a toolbar resource and its bitmap.
#include "controls.h"
#include "dpi.h"
#include <vector>

namespace {
const UINT kToolbarResourceType = 241;

// The top left width x height of a bitmap stretched to size, pixel for pixel
// (blending would smear a 16-colour picture and the colours mapped to the
// buttons'); null when that fails.
HBITMAP StretchBitmap(HBITMAP source, int width, int height, SIZE size)
{
    HDC screen = ::GetDC(nullptr);
    HDC from = ::CreateCompatibleDC(screen);
    HDC to = ::CreateCompatibleDC(screen);
    HBITMAP stretched = from && to ? ::CreateCompatibleBitmap(screen, size.cx, size.cy) : nullptr;
    if (stretched) {
        HGDIOBJ oldFrom = ::SelectObject(from, source);
        HGDIOBJ oldTo = ::SelectObject(to, stretched);
        ::SetStretchBltMode(to, COLORONCOLOR);
        const BOOL ok = ::StretchBlt(to, 0, 0, size.cx, size.cy, from, 0, 0, width, height, SRCCOPY);
        ::SelectObject(from, oldFrom);
        ::SelectObject(to, oldTo);
        if (!ok) {
            ::DeleteObject(stretched);
            stretched = nullptr;
        }
    }
    if (from)
        ::DeleteDC(from);
    if (to)
        ::DeleteDC(to);
    ::ReleaseDC(nullptr, screen);
    return stretched;
}
}  // namespace

CToolBar::~CToolBar()
{
    DestroyWindow();
}

BOOL CToolBar::CreateEx(HWND hParent, DWORD style, UINT id)
{
    // The tooltip control is made now and switched on by CBRS_TOOLTIPS.
    DWORD tbStyle = WS_CHILD | TBSTYLE_TOOLTIPS | CCS_TOP | CCS_NODIVIDER | (style & WS_VISIBLE);
    m_hWnd = ::CreateWindowExA(0, TOOLBARCLASSNAMEA, "", tbStyle, 0, 0, 0, 0, hParent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ::GetModuleHandleA(nullptr), nullptr);
    if (!m_hWnd)
        return FALSE;
    SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    m_barStyle = style & ~WS_VISIBLE;
    SetBarStyle(m_barStyle);
    return TRUE;
}

BOOL CToolBar::LoadToolBar(UINT id)
{
    HINSTANCE hInst = ::GetModuleHandleA(nullptr);
    HRSRC hRes = ::FindResourceA(hInst, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(kToolbarResourceType));
    HGLOBAL hData = hRes ? ::LoadResource(hInst, hRes) : nullptr;
    auto* words = hData ? static_cast<const WORD*>(::LockResource(hData)) : nullptr;
    if (!words || ::SizeofResource(hInst, hRes) < 4 * sizeof(WORD) || words[0] != 1)
        return FALSE;
    int width = words[1], height = words[2], count = words[3];
    if (::SizeofResource(hInst, hRes) < (4u + count) * sizeof(WORD))
        return FALSE;

    // The buttons, each separator (command 0) without a picture.
    int images = 0;
    std::vector<TBBUTTON> buttons;
    for (int i = 0; i < count; ++i) {
        TBBUTTON b{};
        b.idCommand = words[4 + i];
        b.fsState = TBSTATE_ENABLED;
        if (b.idCommand == 0) {
            b.fsStyle = BTNS_SEP;
        } else {
            b.iBitmap = images++;
            b.fsStyle = BTNS_BUTTON;
        }
        buttons.push_back(b);
    }

    // Map the bitmap's grey, white and black to the current button colours.
    m_hBitmap = ::CreateMappedBitmap(hInst, id, 0, nullptr, 0);
    if (!m_hBitmap)
        return FALSE;
    // The resource's sizes are for 96 dpi: pictures and buttons grow with the screen's resolution.
    const CDpi dpi = CDpi::Screen();
    if (dpi.ScaleX(width) != width || dpi.ScaleY(height) != height) {
        const SIZE size{dpi.ScaleX(width) * images, dpi.ScaleY(height)};
        if (HBITMAP stretched = StretchBitmap(m_hBitmap, width * images, height, size)) {
            ::DeleteObject(m_hBitmap);
            m_hBitmap = stretched;
            width = dpi.ScaleX(width);
            height = dpi.ScaleY(height);
        }
    }
    SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(width, height));
    SendMessage(TB_SETBUTTONSIZE, 0, MAKELPARAM(width + dpi.ScaleX(7), height + dpi.ScaleY(6)));
    TBADDBITMAP bitmap{nullptr, reinterpret_cast<UINT_PTR>(m_hBitmap)};
    if (SendMessage(TB_ADDBITMAP, images, reinterpret_cast<LPARAM>(&bitmap)) < 0)
        return FALSE;
    SendMessage(TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessage(TB_AUTOSIZE);
    return TRUE;
}

void CToolBar::SetBarStyle(DWORD style)
{
    m_barStyle = style;
    if (HWND tips = GetToolTips())
        ::SendMessageA(tips, TTM_ACTIVATE, (style & CBRS_TOOLTIPS) != 0, 0);
}

BOOL CToolBar::DestroyWindow()
{
    BOOL ok = CWnd::DestroyWindow();
    if (m_hBitmap) {
        ::DeleteObject(m_hBitmap);
        m_hBitmap = nullptr;
    }
    return ok;
}
