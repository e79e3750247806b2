// Records every cell written into a list view together with the list's text
// colour at that moment, by subclassing the control.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

class ListSpy {
public:
    struct Write { int row, column; std::string text; COLORREF colour; };
    explicit ListSpy(HWND list);
    ~ListSpy();
    std::vector<Write> writes;
    // The colour a cell with this text was written in (CLR_NONE if never).
    COLORREF ColourOf(const std::string& text) const;

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    HWND m_list;
    WNDPROC m_previous;
};

// All rows of a list view: [row][column] text, three columns.
std::vector<std::vector<std::string>> ReadRows(HWND list);
