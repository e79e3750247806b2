// CCacheControl: the connection to the cache driver device and its three requests.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

enum : DWORD {
    IOCTL_CACHE_GET_DRIVE_STATE = 8,
    IOCTL_CACHE_SET_DRIVE_FLAGS = 9,
    IOCTL_CACHE_GET_DRIVES = 11,
};

enum : uint32_t {
    CACHE_FLAG_ENABLED = 0x04,  // the drive is served through the cache
    CACHE_FLAG_AUX = 0x20,      // set with CACHE_FLAG_ENABLED for the with-cache pass
};

const int kCacheStateSize = 24;
const int kCacheFlagsOffset = 16;
const char* const kCacheDeviceName = "\\\\.\\KELDR";

class CCacheControl {
public:
    CCacheControl();
    ~CCacheControl();
    CCacheControl(const CCacheControl&) = delete;
    CCacheControl& operator=(const CCacheControl&) = delete;

    int QueryDrives();
    int GetDriveState(int index);
    int SetDriveFlags(int index);
    // The roots ("E:\") of the handled drives in the driver's order, null-terminated.
    const char* const* GetDriveRoots();
    void Close();

    bool IsOpen() const { return m_hDevice != nullptr; }
    // The flags word of the drive state record.
    uint32_t GetFlags() const;
    void SetFlags(uint32_t flags);

    int32_t m_requestDrive = 0;
    int32_t m_driveCount = 0;
    unsigned char m_driveState[kCacheStateSize] = {};
    unsigned char* m_pDriveState = m_driveState;
    unsigned char m_drives[34] = {};  // up to 33 drive numbers (0 for A:) and a 0 byte
    HANDLE m_hDevice = nullptr;
    DWORD m_bytesReturned = 0;
    DWORD m_openError = 0;

private:
    std::vector<std::string> m_rootStrings;
    std::vector<const char*> m_roots;
};
