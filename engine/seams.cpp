// The Win32 implementations of the program's outside interfaces.
#include "seams.h"

namespace {

struct Win32Disc final : IDiscAccess {
    HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA* data) override { return ::FindFirstFileA(pattern, data); }
    BOOL FindNext(HANDLE search, WIN32_FIND_DATAA* data) override { return ::FindNextFileA(search, data); }
    BOOL FindClose(HANDLE search) override { return ::FindClose(search); }
    BOOL GetVolumeInformation(const char* root, char* label, DWORD labelSize, char* fsName, DWORD fsNameSize) override
    {
        DWORD serial = 0, maxComponent = 0, fsFlags = 0;
        return ::GetVolumeInformationA(root, label, labelSize, &serial, &maxComponent, &fsFlags, fsName, fsNameSize);
    }
    DWORD GetLogicalDrives() override { return ::GetLogicalDrives(); }
    UINT GetDriveType(const char* root) override { return ::GetDriveTypeA(root); }
    HANDLE OpenFile(const char* path) override
    {
        return ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    DWORD FileSize(HANDLE file) override { return ::GetFileSize(file, nullptr); }
    BOOL Seek(HANDLE file, DWORD offset) override
    {
        // With a high word the low one counts as unsigned: offsets up to 4 GiB - 1.
        // 0xFFFFFFFF is also a valid position, so only the last error tells a failure.
        LONG high = 0;
        ::SetLastError(NO_ERROR);
        const DWORD low = ::SetFilePointer(file, static_cast<LONG>(offset), &high, FILE_BEGIN);
        return low != INVALID_SET_FILE_POINTER || ::GetLastError() == NO_ERROR;
    }
    BOOL Read(HANDLE file, void* buffer, DWORD size, DWORD* got) override
    {
        return ::ReadFile(file, buffer, size, got, nullptr);
    }
    BOOL CloseFile(HANDLE file) override { return ::CloseHandle(file); }
    LONGLONG ReadCounter() override
    {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        return now.QuadPart;
    }
    LONGLONG CounterFrequency() override
    {
        LARGE_INTEGER frequency;
        frequency.QuadPart = 0;
        ::QueryPerformanceFrequency(&frequency);
        return frequency.QuadPart;
    }
};

struct Win32CacheDevice final : ICacheDevice {
    HANDLE Open(const char* name) override
    {
        return ::CreateFileA(name, 0, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    BOOL Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override
    {
        return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, nullptr);
    }
    BOOL Close(HANDLE device) override { return ::CloseHandle(device); }
};

struct Win32MessageBoxes final : IMessageBoxes {
    int Show(const char* text, const char* caption, UINT style) override
    {
        return ::MessageBoxA(nullptr, text, caption, style);
    }
};

Win32Disc g_win32Disc;
Win32CacheDevice g_win32CacheDevice;
Win32MessageBoxes g_win32Messages;
IDiscAccess* g_disc = &g_win32Disc;
ICacheDevice* g_cacheDevice = &g_win32CacheDevice;
IMessageBoxes* g_messages = &g_win32Messages;

} // namespace

IDiscAccess& Disc() { return *g_disc; }
ICacheDevice& CacheDevice() { return *g_cacheDevice; }
IMessageBoxes& Messages() { return *g_messages; }

void SetDisc(IDiscAccess* disc) { g_disc = disc ? disc : &g_win32Disc; }
void SetCacheDevice(ICacheDevice* device) { g_cacheDevice = device ? device : &g_win32CacheDevice; }
void SetMessages(IMessageBoxes* messages) { g_messages = messages ? messages : &g_win32Messages; }
