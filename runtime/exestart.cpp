// KORVANE.EXE's entry point: what MinGW's start-up did before WinMain and after it, over Win32 alone.
#include <windows.h>

#include "start.h"

namespace {

// The command line past the program's name, quoted or not, and the blanks after it.
char* CommandTail(char* line)
{
    char* p = line;
    if (*p == '"') {
        for (++p; *p && *p != '"'; ++p) {
        }
        if (*p == '"')
            ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

}  // namespace

// The stack on entry is aligned to 4 bytes only; the compiler's code may assume 16.
extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup()
{
#if defined(__i386__)
    // MinGW's start-up resets the x87 unit to its 64-bit precision before
    // anything runs; the UI thread's arithmetic, and so its figures, stay as they were.
    __asm__ __volatile__("fninit");
#endif
    runtime::RunConstructors();
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    ::GetStartupInfoA(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    const int code = WinMain(::GetModuleHandleA(nullptr), nullptr, CommandTail(::GetCommandLineA()), show);
    runtime::RunExitList();
    ::ExitProcess(static_cast<UINT>(code));
}
