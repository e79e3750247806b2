// The Win32 implementation of the shell's icons. SHGetStockIconInfo is looked up
// at run time: the program also runs on systems whose shell32 lacks it.
#include "shellicons.h"
#include <shellapi.h>

namespace {

// SHSTOCKICONINFO and its flags, which the headers declare only for Vista and later.
struct StockIconInfo {
    DWORD cbSize;
    HICON hIcon;
    int iSysImageIndex;
    int iIcon;
    WCHAR szPath[MAX_PATH];
};
static_assert(sizeof(StockIconInfo) == (sizeof(void*) == 8 ? 544 : 536), "the shell checks cbSize");
const UINT kStockSysIconIndex = 0x4000;  // SHGSI_SYSICONINDEX
const UINT kStockSmallIcon = 0x0001;     // SHGSI_SMALLICON
typedef HRESULT(WINAPI* GetStockIconInfoFn)(int id, UINT flags, StockIconInfo* info);

struct Win32ShellIcons final : IShellIcons {
    HIMAGELIST SmallImageList(const char* path) override
    {
        SHFILEINFOA info{};
        return reinterpret_cast<HIMAGELIST>(
            ::SHGetFileInfoA(path, 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    }
    int StockIconIndex(int id) override
    {
        // shell32 is loaded already: the program imports SHGetFileInfoA from it.
        HMODULE shell = ::GetModuleHandleA("SHELL32.DLL");
        auto getInfo = shell ? reinterpret_cast<GetStockIconInfoFn>(
                                   reinterpret_cast<void*>(::GetProcAddress(shell, "SHGetStockIconInfo")))
                             : nullptr;
        if (!getInfo)
            return -1;
        StockIconInfo info{};
        info.cbSize = sizeof info;
        info.iSysImageIndex = -1;
        if (FAILED(getInfo(id, kStockSysIconIndex | kStockSmallIcon, &info)))
            return -1;
        return info.iSysImageIndex >= 0 ? info.iSysImageIndex : -1;
    }
    HICON SmallShellIcon(int id) override
    {
        HMODULE shell = ::GetModuleHandleA("SHELL32.DLL");
        if (!shell)
            return nullptr;
        return static_cast<HICON>(::LoadImageA(shell, MAKEINTRESOURCEA(id), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                               ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    }
};

Win32ShellIcons g_win32ShellIcons;
IShellIcons* g_shellIcons = &g_win32ShellIcons;

} // namespace

IShellIcons& ShellIcons() { return *g_shellIcons; }

void SetShellIcons(IShellIcons* shell) { g_shellIcons = shell ? shell : &g_win32ShellIcons; }
