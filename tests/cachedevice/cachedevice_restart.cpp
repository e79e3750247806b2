// The device stopped and started again with net.exe: the program then finds no device, and a reloaded
// device starts from its configuration and rewrites the flags file. Leaves the device running.
#include "device.h"
#include "engine/cachecontrol.h"
#include <gtest/gtest.h>
#include <cstdio>

namespace {

int Net(const char* verb, std::string* out)
{
    std::string err;
    int code = RunProgram(std::string("net.exe ") + verb + " KELDR", out, &err, 60000);
    *out += err;
    return code;
}

TEST(CacheDeviceRestart, StoppedDeviceThenReloaded)
{
    ASSERT_TRUE(RawDevice().IsOpen()) << "the cache device \\\\.\\KELDR is not loaded in this prefix";
    ASSERT_TRUE(RawDevice().WriteFlags(kDriveD, 0x00000021));

    std::string output;
    ASSERT_EQ(Net("stop", &output), 0) << output;
    {
        RawDevice gone;
        EXPECT_FALSE(gone.IsOpen());
        EXPECT_EQ(gone.openError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        CCacheControl cache;
        EXPECT_FALSE(cache.IsOpen());
        EXPECT_EQ(cache.m_openError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(cache.m_driveCount, 0);
        EXPECT_EQ(cache.GetDriveRoots()[0], nullptr);
    }
    const std::string flagsFile = FlagsFilePath('D');
    if (!flagsFile.empty()) {
        ::DeleteFileA(flagsFile.c_str());
    }

    int started = Net("start", &output);
    ASSERT_EQ(started, 0) << output;
    uint32_t flags = 0;
    ASSERT_TRUE(RawDevice().ReadFlags(kDriveD, &flags));
    EXPECT_EQ(flags, ConfiguredFlags());
    if (!flagsFile.empty()) {
        char text[16];
        std::snprintf(text, sizeof text, "%08X\n", static_cast<unsigned>(ConfiguredFlags()));
        EXPECT_EQ(ReadFile(flagsFile), text);
    }
}

} // namespace
