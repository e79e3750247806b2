// The program's cache connection against the real device stand-in: drive list, state record, flags, flags file.
#include "device.h"
#include "engine/cachecontrol.h"
#include "engine/seams.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>

namespace {

std::string Hex8(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

class CacheDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(RawDevice().IsOpen()) << "the cache device \\\\.\\KELDR is not loaded in this prefix "
                                             "(scripts/setup.d/20-driver.sh and kv_start_driver start it)";
        ASSERT_TRUE(restore.valid);
    }
    FlagsRestorer restore;
};

TEST_F(CacheDeviceTest, ListsDriveDAndReadsItsConfiguredState)
{
    CCacheControl cache;
    ASSERT_TRUE(cache.IsOpen());
    EXPECT_EQ(cache.m_openError, 0u);
    const std::string letters = HandledDrives();
    ASSERT_EQ(cache.m_driveCount, static_cast<int32_t>(letters.size()));
    EXPECT_EQ(cache.m_drives[0], kDriveD);
    EXPECT_EQ(cache.m_drives[letters.size()], 0);
    const char* const* roots = cache.GetDriveRoots();
    for (size_t i = 0; i < letters.size(); ++i) {
        ASSERT_NE(roots[i], nullptr);
        EXPECT_EQ(roots[i], letters.substr(i, 1) + ":\\");
    }
    EXPECT_EQ(roots[letters.size()], nullptr);

    std::memset(cache.m_driveState, 0xCC, sizeof cache.m_driveState);
    EXPECT_EQ(cache.GetDriveState(0), 1);
    EXPECT_EQ(cache.m_requestDrive, kDriveD);
    EXPECT_EQ(cache.m_bytesReturned, 24u);
    EXPECT_EQ(cache.GetFlags(), ConfiguredFlags());
    uint32_t words[6];
    std::memcpy(words, cache.m_driveState, sizeof words);
    EXPECT_EQ(words[0], static_cast<uint32_t>(kDriveD));
    EXPECT_EQ(words[1], 24u);
}

// The order of a two-pass run: each change is seen at once by another connection, by the command-line
// tool and in the flags file; the bits the run does not own come back as they were.
TEST_F(CacheDeviceTest, RunSequenceIsSeenFromOutsideAndRestored)
{
    const uint32_t initial = ConfiguredFlags();
    const std::string tool = "\"" + ProgramFolder() + "\\cacheflags.exe\" D";
    const std::string flagsFile = FlagsFilePath('D');
    CCacheControl cache;
    ASSERT_GE(cache.m_driveCount, 1);
    ASSERT_EQ(cache.m_drives[0], kDriveD);
    cache.GetDriveState(0);
    const uint32_t saved = cache.GetFlags();
    ASSERT_EQ(saved, initial);

    const uint32_t passFlags[2] = {saved & ~uint32_t{CACHE_FLAG_ENABLED},
                                   saved | CACHE_FLAG_ENABLED | CACHE_FLAG_AUX};
    for (uint32_t expected : passFlags) {
        cache.GetDriveState(0);
        cache.SetFlags(expected);
        ASSERT_TRUE(cache.SetDriveFlags(0));

        CCacheControl other;
        other.GetDriveState(0);
        EXPECT_EQ(other.GetFlags(), expected);

        std::string out, err;
        EXPECT_EQ(RunProgram(tool, &out, &err), 0) << err;
        EXPECT_EQ(out, "D: " + Hex8(expected) + "\r\n");
        if (!flagsFile.empty()) {
            EXPECT_EQ(ReadFile(flagsFile), Hex8(expected) + "\n");
        }
    }
    cache.SetFlags(saved);
    ASSERT_TRUE(cache.SetDriveFlags(0));
    uint32_t now = 0;
    ASSERT_TRUE(RawDevice().ReadFlags(kDriveD, &now));
    EXPECT_EQ(now, initial);
    if (!flagsFile.empty()) {
        EXPECT_EQ(ReadFile(flagsFile), Hex8(initial) + "\n");
    }
}

TEST_F(CacheDeviceTest, EveryBitOfTheWordIsKept)
{
    RawDevice device;
    for (uint32_t flags : {0x00000000u, 0xFFFFFFFFu, 0x80000001u, 0x12345678u}) {
        ASSERT_TRUE(device.WriteFlags(kDriveD, flags));
        uint32_t back = 0;
        ASSERT_TRUE(RawDevice().ReadFlags(kDriveD, &back));
        EXPECT_EQ(back, flags);
    }
}

TEST_F(CacheDeviceTest, CommandLineToolSetsAndRefusesClearly)
{
    const std::string tool = "\"" + ProgramFolder() + "\\cacheflags.exe\"";
    std::string out, err;
    EXPECT_EQ(RunProgram(tool + " --set d: 0x25", &out, &err), 0) << err;
    EXPECT_EQ(out, "D: 00000025\r\n");
    EXPECT_EQ(RunProgram(tool + " --list", &out, &err), 0) << err;
    EXPECT_EQ(out, HandledDrives() + "\r\n");

    EXPECT_EQ(RunProgram(tool + " E", &out, &err), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("E: is not handled"), std::string::npos) << err;
    EXPECT_EQ(RunProgram(tool + " --set D 0x1FFFFFFFF", &out, &err), 2);
    EXPECT_EQ(RunProgram(tool + " DD", &out, &err), 2);
    EXPECT_EQ(RunProgram(tool, &out, &err), 2);
    EXPECT_NE(err.find("usage"), std::string::npos);
}

} // namespace
