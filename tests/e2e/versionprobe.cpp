// Prints the Windows version this process is told, as GetVersionExA reports it.
#include <windows.h>
#include <cstdio>

int main()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExA(&info)) {
        std::printf("GetVersionExA failed: %lu\n", ::GetLastError());
        return 1;
    }
    std::printf("%lu.%lu.%lu platform %lu\n", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber & 0xFFFF,
                info.dwPlatformId);
    return 0;
}
