// CDpi: the layout's pixel figures are given for 96 dots per inch; this scales
// them to the screen's resolution. Dialog units scale by themselves.
#pragma once
#include <windows.h>

struct CDpi {
    static constexpr int kBase = 96;
    int x = kBase;
    int y = kBase;

    // The screen's resolution (LOGPIXELSX and LOGPIXELSY, which every Windows has).
    static CDpi Screen()
    {
        CDpi dpi;
        if (HDC screen = ::GetDC(nullptr)) {
            dpi.x = ::GetDeviceCaps(screen, LOGPIXELSX);
            dpi.y = ::GetDeviceCaps(screen, LOGPIXELSY);
            ::ReleaseDC(nullptr, screen);
        }
        if (dpi.x <= 0 || dpi.y <= 0)
            dpi.x = dpi.y = kBase;
        return dpi;
    }

    // A length of `pixels` at 96 dpi, at `dpi`, rounded to the nearest pixel.
    static int Scale(int pixels, int dpi) { return (pixels * dpi + (pixels >= 0 ? kBase : -kBase) / 2) / kBase; }
    int ScaleX(int pixels) const { return Scale(pixels, x); }
    int ScaleY(int pixels) const { return Scale(pixels, y); }
};
