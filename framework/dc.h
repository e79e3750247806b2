// CDC: a device context object over an HDC, with the drawing and print-job
// operations the printed report uses; each operation is one GDI call.
#pragma once
#include <windows.h>
#include <string>

class CDC {
public:
    HDC m_hDC = nullptr;

    CDC() = default;
    explicit CDC(HDC hDC) : m_hDC(hDC) {}
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    // An attached handle belongs to whoever attached it: only DeleteDC frees it.
    ~CDC() = default;

    BOOL Attach(HDC hDC) { m_hDC = hDC; return hDC != nullptr; }
    HDC Detach() { HDC h = m_hDC; m_hDC = nullptr; return h; }
    BOOL DeleteDC()
    {
        if (!m_hDC)
            return FALSE;
        return ::DeleteDC(Detach());
    }

// Attributes
    int SetMapMode(int mode) const { return ::SetMapMode(m_hDC, mode); }
    int SetBkMode(int mode) const { return ::SetBkMode(m_hDC, mode); }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }
    HGDIOBJ SelectObject(HGDIOBJ object) const { return ::SelectObject(m_hDC, object); }
    HGDIOBJ SelectStockObject(int index) const { return ::SelectObject(m_hDC, ::GetStockObject(index)); }
    BOOL GetTextMetrics(TEXTMETRICA* metrics) const { return ::GetTextMetricsA(m_hDC, metrics); }
    SIZE GetTextExtent(const std::string& text) const
    {
        SIZE size{0, 0};
        ::GetTextExtentPoint32A(m_hDC, text.c_str(), static_cast<int>(text.size()), &size);
        return size;
    }
    BOOL DPtoLP(POINT* points, int count = 1) const { return ::DPtoLP(m_hDC, points, count); }

// Drawing
    BOOL TextOut(int x, int y, const std::string& text) const
    {
        return ::TextOutA(m_hDC, x, y, text.c_str(), static_cast<int>(text.size()));
    }
    // No tab stops: tabs expand to eight average character widths.
    SIZE TabbedTextOut(int x, int y, const std::string& text) const
    {
        const LONG extent = ::TabbedTextOutA(m_hDC, x, y, text.c_str(), static_cast<int>(text.size()), 0, nullptr, x);
        return SIZE{LOWORD(extent), HIWORD(extent)};
    }
    int DrawText(const std::string& text, RECT* rect, UINT format) const
    {
        return ::DrawTextA(m_hDC, text.c_str(), static_cast<int>(text.size()), rect, format);
    }
    BOOL Rectangle(int left, int top, int right, int bottom) const
    {
        return ::Rectangle(m_hDC, left, top, right, bottom);
    }
    BOOL Rectangle(const RECT& rect) const { return Rectangle(rect.left, rect.top, rect.right, rect.bottom); }
    int FillRect(const RECT& rect, HBRUSH brush) const { return ::FillRect(m_hDC, &rect, brush); }

// Print jobs
    int StartDoc(const DOCINFOA* info) const { return ::StartDocA(m_hDC, info); }
    int StartPage() const { return ::StartPage(m_hDC); }
    int EndPage() const { return ::EndPage(m_hDC); }
    int EndDoc() const { return ::EndDoc(m_hDC); }
};
