// KORVANE.EXE on the cached sample disc D:, driven from outside: two passes, and the drive's flags word the
// same after the run as before, after exactly the three changes of a two-pass run.
#include "device.h"
#include "uidriver.h"
#include <gtest/gtest.h>

namespace {

using namespace uidriver;
namespace kv = uidriver::korvane;

TEST(CacheDeviceEndToEnd, SampleDiscRunsTwoPassesAndKeepsTheFlags)
{
    RawDevice device;
    ASSERT_TRUE(device.IsOpen()) << "the cache device \\\\.\\KELDR is not loaded in this prefix";
    uint32_t before[6];
    ASSERT_TRUE(device.ReadState(kDriveD, before));

    Program program;
    std::string error;
    ASSERT_TRUE(program.Start(ModuleDirectory() + "KORVANE.EXE", &error)) << error;
    HWND main = WaitForWindow(program.Pid(), kv::kMainCaption, 30000);
    ASSERT_NE(main, nullptr) << "the main dialog did not open";
    ASSERT_TRUE(SelectDrive(main, kv::kDriveCombo, 'D'));
    PostCommand(main, kv::kRun);
    HWND results = WaitForWindow(program.Pid(), kv::kResultsCaption);
    ASSERT_NE(results, nullptr);
    Rows rows;
    ASSERT_EQ(kv::WaitForRunEnd(program.Pid(), results, &rows, 2), kv::RunState::Done);
    ASSERT_EQ(rows.size(), 18u);
    ASSERT_GE(rows[0].size(), 2u);
    ASSERT_GE(rows[9].size(), 2u);
    EXPECT_EQ(rows[0][1], "** Testing Without Zelkor Cache **");
    EXPECT_EQ(rows[9][1], "** Testing With Zelkor Cache **");
    EXPECT_EQ(kv::CompletedTotals(rows), 2);

    // The drive stays switched to the with-cache pass until the window closes.
    uint32_t during[6];
    ASSERT_TRUE(device.ReadState(kDriveD, during));
    EXPECT_EQ(during[4], before[4] | 0x24u);
    EXPECT_EQ(during[2], before[2] + 2);

    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));
    ResponseTime(main);
    uint32_t after[6];
    ASSERT_TRUE(device.ReadState(kDriveD, after));
    EXPECT_EQ(after[4], before[4]);
    EXPECT_EQ(after[2], before[2] + 3);
    ClickButton(main, kv::kQuit);
    DWORD code = 0xFFFFFFFF;
    EXPECT_TRUE(program.WaitExit(10000, &code));
    EXPECT_EQ(code, 0u);
}

} // namespace
