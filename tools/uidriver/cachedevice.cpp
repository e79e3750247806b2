// UI driver, the cache device \\.\KELDR asked directly.
// Its codes: drive list 11, drive state 8 (the flags word at offset 16), set flags 9.
#include "uidriver.h"
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace uidriver {

namespace {
HANDLE OpenCacheDevice()
{
    return ::CreateFileA("\\\\.\\KELDR", 0, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string DriveList(HANDLE device)
{
    BYTE drives[33] = {};
    DWORD count = 0;
    std::string letters;
    if (::DeviceIoControl(device, 11, nullptr, 0, drives, sizeof drives, &count, nullptr))
        for (DWORD i = 0; i < count && i < sizeof drives; ++i)
            letters += static_cast<char>('A' + drives[i]);
    return letters;
}
}  // namespace

std::string CacheDrives()
{
    HANDLE device = OpenCacheDevice();
    if (device == INVALID_HANDLE_VALUE)
        return std::string();
    std::string letters = DriveList(device);
    ::CloseHandle(device);
    return letters;
}

bool CacheFlags(char letter, DWORD* flags)
{
    HANDLE device = OpenCacheDevice();
    if (device == INVALID_HANDLE_VALUE)
        return false;
    bool ok = false;
    LONG number = std::toupper(static_cast<unsigned char>(letter)) - 'A';
    BYTE state[24] = {};
    DWORD got = 0;
    if (DriveList(device).find(static_cast<char>('A' + number)) != std::string::npos &&
        ::DeviceIoControl(device, 8, &number, sizeof number, state, sizeof state, &got, nullptr) && got == sizeof state) {
        std::memcpy(flags, state + 16, sizeof *flags);
        ok = true;
    }
    ::CloseHandle(device);
    return ok;
}

int PassesOf(char letter)
{
    return CacheDrives().find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))) == std::string::npos ? 1 : 2;
}

DWORD ConfiguredCacheFlags()
{
    const char* text = std::getenv("KORVANE_DRIVER_FLAGS");
    return text && *text ? static_cast<DWORD>(std::strtoul(text, nullptr, 0)) : 5;
}

bool ResetCacheFlags()
{
    HANDLE device = OpenCacheDevice();
    if (device == INVALID_HANDLE_VALUE)
        return true;
    const LONG flags = static_cast<LONG>(ConfiguredCacheFlags());
    bool ok = true;
    DWORD got = 0;
    for (char letter : DriveList(device)) {
        LONG request[2] = {letter - 'A', flags};
        ok = ::DeviceIoControl(device, 9, request, sizeof request, nullptr, 0, &got, nullptr) && ok;
    }
    ::CloseHandle(device);
    return ok;
}

}  // namespace uidriver
