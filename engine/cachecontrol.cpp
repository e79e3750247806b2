// Requests to the cache driver: drive list (11), drive state (8), drive flags (9).
#include "cachecontrol.h"
#include "seams.h"
#include <cstring>

CCacheControl::CCacheControl()
{
    HANDLE h = CacheDevice().Open(kCacheDeviceName);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
        m_openError = ::GetLastError();
        m_hDevice = nullptr;
        m_driveCount = 0;
        return;
    }
    m_hDevice = h;
    QueryDrives();
}

CCacheControl::~CCacheControl()
{
    Close();
}

int CCacheControl::QueryDrives()
{
    m_driveCount = 0;
    m_bytesReturned = 0;
    if (!m_hDevice)
        return 0;
    const DWORD room = 33;
    if (!CacheDevice().Control(m_hDevice, IOCTL_CACHE_GET_DRIVES, nullptr, 0, m_drives, room, &m_bytesReturned))
        m_bytesReturned = 0;
    // Keep only the drives A: to Z:, so that no drive number indexes past the
    // per-letter records; their order is the driver's.
    DWORD count = 0;
    for (DWORD i = 0; i < m_bytesReturned && i < room; ++i)
        if (m_drives[i] < 26)
            m_drives[count++] = m_drives[i];
    m_drives[count] = 0;
    m_driveCount = static_cast<int32_t>(count);
    return m_driveCount > 0;
}

int CCacheControl::GetDriveState(int index)
{
    if (!m_hDevice || index < 0 || index >= m_driveCount)
        return 1;
    m_requestDrive = static_cast<signed char>(m_drives[index]);
    CacheDevice().Control(m_hDevice, IOCTL_CACHE_GET_DRIVE_STATE, &m_requestDrive, sizeof m_requestDrive,
                          m_driveState, sizeof m_driveState, &m_bytesReturned);
    return 1;
}

int CCacheControl::SetDriveFlags(int index)
{
    if (!m_hDevice || index < 0 || index >= m_driveCount)
        return 0;
    int32_t request[2] = {static_cast<signed char>(m_drives[index]), static_cast<int32_t>(GetFlags())};
    return CacheDevice().Control(m_hDevice, IOCTL_CACHE_SET_DRIVE_FLAGS, request, sizeof request, nullptr, 0,
                                 &m_bytesReturned);
}

const char* const* CCacheControl::GetDriveRoots()
{
    if (m_roots.empty()) {
        for (int i = 0; i < m_driveCount; ++i)
            m_rootStrings.push_back(std::string(1, static_cast<char>('A' + m_drives[i])) + ":\\");
        for (const std::string& root : m_rootStrings)
            m_roots.push_back(root.c_str());
        m_roots.push_back(nullptr);
    }
    return m_roots.data();
}

void CCacheControl::Close()
{
    if (m_hDevice) {
        CacheDevice().Close(m_hDevice);
        m_hDevice = nullptr;
    }
}

uint32_t CCacheControl::GetFlags() const
{
    uint32_t flags;
    std::memcpy(&flags, m_driveState + kCacheFlagsOffset, sizeof flags);
    return flags;
}

void CCacheControl::SetFlags(uint32_t flags)
{
    std::memcpy(m_driveState + kCacheFlagsOffset, &flags, sizeof flags);
}
