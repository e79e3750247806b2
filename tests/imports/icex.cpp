// A program that imports InitCommonControlsEx (comctl32 4.70): the import audit must reject it for Windows 95.
#include <windows.h>
#include <commctrl.h>

int main()
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    return ::InitCommonControlsEx(&controls) ? 0 : 1;
}
