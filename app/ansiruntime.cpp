// The three W calls of the C and C++ runtimes, answered by their A twins.
//
// libgcc creates its unnamed semaphores with CreateSemaphoreW, and the
// msvcrt helpers of MinGW-w64 look DLLs up with GetModuleHandleW and
// LoadLibraryW. Windows 9x exports these as stubs that fail, which would leave
// the runtime's locks without a semaphore. Defining the import slots here
// makes the linker take them instead of KERNEL32's, so KORVANE.EXE imports no
// W function and behaves alike on every Windows.
#include <windows.h>
#include <string>

namespace {

// The runtime passes short ASCII names (DLL names) or none.
bool ToAnsi(LPCWSTR wide, std::string* out)
{
    const int size = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return false;
    out->resize(static_cast<size_t>(size));
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, &(*out)[0], size, nullptr, nullptr);
    return true;
}

HANDLE WINAPI CreateSemaphoreAnsi(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name)
{
    std::string ansi;
    if (name && !ToAnsi(name, &ansi))
        return nullptr;
    return ::CreateSemaphoreA(attributes, initial, maximum, name ? ansi.c_str() : nullptr);
}

HMODULE WINAPI GetModuleHandleAnsi(LPCWSTR name)
{
    std::string ansi;
    if (name && !ToAnsi(name, &ansi))
        return nullptr;
    return ::GetModuleHandleA(name ? ansi.c_str() : nullptr);
}

HMODULE WINAPI LoadLibraryAnsi(LPCWSTR name)
{
    std::string ansi;
    if (!name || !ToAnsi(name, &ansi)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return ::LoadLibraryA(ansi.c_str());
}

} // namespace

// Import slot names: i686 decorates stdcall names with _ and @<argument bytes>.
#if defined(__i386__)
#define KORVANE_IMPORT_SLOT(name, bytes) "__imp__" #name "@" #bytes
#else
#define KORVANE_IMPORT_SLOT(name, bytes) "__imp_" #name
#endif

extern "C" {
decltype(&::CreateSemaphoreW) korvane_imp_CreateSemaphoreW __asm__(KORVANE_IMPORT_SLOT(CreateSemaphoreW, 16)) =
    CreateSemaphoreAnsi;
decltype(&::GetModuleHandleW) korvane_imp_GetModuleHandleW __asm__(KORVANE_IMPORT_SLOT(GetModuleHandleW, 4)) =
    GetModuleHandleAnsi;
decltype(&::LoadLibraryW) korvane_imp_LoadLibraryW __asm__(KORVANE_IMPORT_SLOT(LoadLibraryW, 4)) = LoadLibraryAnsi;
}
