// The program's narrow interfaces to the outside world: discs, the cache device
// and message boxes. The Win32 implementations are the defaults; tests put
// doubles in their place with the Set functions.
#pragma once
#include <windows.h>

struct IDiscAccess {
    virtual ~IDiscAccess() = default;
    virtual HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA* data) = 0;
    virtual BOOL FindNext(HANDLE search, WIN32_FIND_DATAA* data) = 0;
    virtual BOOL FindClose(HANDLE search) = 0;
    virtual BOOL GetVolumeInformation(const char* root, char* label, DWORD labelSize, char* fsName, DWORD fsNameSize) = 0;
    virtual DWORD GetLogicalDrives() = 0;
    virtual UINT GetDriveType(const char* root) = 0;
    // Opens an existing file for reading, shared for reading and writing, with no
    // caching hints. INVALID_HANDLE_VALUE and the thread's last error on failure.
    virtual HANDLE OpenFile(const char* path) = 0;
    virtual DWORD FileSize(HANDLE file) = 0;           // low 32 bits of the current length
    virtual BOOL Seek(HANDLE file, DWORD offset) = 0;  // from the start of the file
    virtual BOOL Read(HANDLE file, void* buffer, DWORD size, DWORD* got) = 0;
    virtual BOOL CloseFile(HANDLE file) = 0;
    virtual LONGLONG ReadCounter() = 0;
    virtual LONGLONG CounterFrequency() = 0;
};

struct ICacheDevice {
    virtual ~ICacheDevice() = default;
    // Opens the device; INVALID_HANDLE_VALUE and the thread's last error on failure.
    virtual HANDLE Open(const char* name) = 0;
    virtual BOOL Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                         DWORD* returned) = 0;
    virtual BOOL Close(HANDLE device) = 0;
};

struct IMessageBoxes {
    virtual ~IMessageBoxes() = default;
    // A message box without an owner window; returns the button pressed.
    virtual int Show(const char* text, const char* caption, UINT style) = 0;
};

IDiscAccess& Disc();
ICacheDevice& CacheDevice();
IMessageBoxes& Messages();

// Replace an interface (nullptr puts the Win32 one back).
void SetDisc(IDiscAccess* disc);
void SetCacheDevice(ICacheDevice* device);
void SetMessages(IMessageBoxes* messages);
