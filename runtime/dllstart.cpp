// KELDR32.DLL's entry point: constructors on load, the exit list on unload, nothing per thread.
#include <windows.h>

#include "start.h"

// Runs under the loader's lock in whichever process loads the DLL: it only
// walks the DLL's own lists, and thread attach and detach do nothing.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        runtime::RunConstructors();
    else if (reason == DLL_PROCESS_DETACH)
        runtime::RunExitList();
    return TRUE;
}
