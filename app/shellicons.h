// The drive selector's interface to the shell's icons: the system image list, the
// index of a stock icon in it, and shell32's own icon resources. The Win32 one is
// the default; tests put a double in its place with SetShellIcons.
#pragma once
#include <windows.h>
#include <commctrl.h>

struct IShellIcons {
    virtual ~IShellIcons() = default;
    // The system small-icon image list, asked for through `path`
    // (SHGetFileInfoA, SHGFI_SYSICONINDEX | SHGFI_SMALLICON); null on failure.
    virtual HIMAGELIST SmallImageList(const char* path) = 0;
    // The index in the system image list of stock icon `id` (SHGetStockIconInfo,
    // Windows Vista and later), or -1 where the shell has no such index to give.
    virtual int StockIconIndex(int id) = 0;
    // Icon resource `id` of shell32.dll at the small icon size, for the caller to
    // destroy; null where shell32 has no such icon.
    virtual HICON SmallShellIcon(int id) = 0;
};

IShellIcons& ShellIcons();
// Replace the interface (nullptr puts the Win32 one back).
void SetShellIcons(IShellIcons* shell);
