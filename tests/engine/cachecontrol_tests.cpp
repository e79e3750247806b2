// The cache control: the flags around the passes, and a device that cannot be opened.
#include "tests/engine/enginetest.h"

TEST_F(EngineTest, TwoPassesSwitchTheCacheFlagsInOrder)
{
    device.openable = true;
    device.driveNumbers = {3};
    device.flags[3] = 0x105;
    GoodDisc();
    OpenResults();
    ASSERT_EQ(1, Engine().RunPasses("D:\\", 0));
    Rows rows = ListRows();
    ASSERT_EQ(18u, rows.size());
    EXPECT_EQ("** Testing With Zelkor Cache **", rows[9][1]);
    // Request 11 at start-up, then per pass 8 and 9.
    ASSERT_EQ(5u, device.requests.size());
    EXPECT_EQ(11u, device.requests[0].code);
    EXPECT_EQ(8u, device.requests[1].code);
    EXPECT_EQ(9u, device.requests[2].code);
    EXPECT_EQ(0x101u, device.requests[2].flags);  // enabled bit cleared, others kept
    EXPECT_EQ(8u, device.requests[3].code);
    EXPECT_EQ(9u, device.requests[4].code);
    EXPECT_EQ(0x125u, device.requests[4].flags);
    EXPECT_EQ(3, device.requests[4].drive);
    // Both passes read the same blocks.
    const size_t perPass = disc.seeks.size() / 2;
    EXPECT_TRUE(std::equal(disc.seeks.begin(), disc.seeks.begin() + perPass, disc.seeks.begin() + perPass));
}

namespace {

// A device that cannot be opened: no drives, no roots, and no request ever reaches the device layer.
struct CountingDevice : ICacheDevice {
    int controls = 0;
    HANDLE Open(const char*) override
    {
        return ::CreateFileA("\\\\.\\KELDR_ABSENT", 0, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE,
                             nullptr);
    }
    BOOL Control(HANDLE, DWORD, void*, DWORD, void*, DWORD, DWORD*) override
    {
        ++controls;
        return FALSE;
    }
    BOOL Close(HANDLE device) override { return ::CloseHandle(device); }
};

TEST(CacheDeviceAbsent, NoDrivesAndNoRequests)
{
    CountingDevice device;
    SetCacheDevice(&device);
    {
        CCacheControl cache;
        EXPECT_FALSE(cache.IsOpen());
        EXPECT_NE(cache.m_openError, 0u);
        EXPECT_EQ(cache.m_driveCount, 0);
        EXPECT_EQ(cache.GetDriveRoots()[0], nullptr);
        EXPECT_EQ(cache.GetDriveState(0), 1);
        EXPECT_EQ(cache.SetDriveFlags(0), 0);
        EXPECT_EQ(cache.QueryDrives(), 0);
    }
    SetCacheDevice(nullptr);
    EXPECT_EQ(device.controls, 0);
}

} // namespace
