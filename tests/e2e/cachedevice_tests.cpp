// KORVANE.EXE on the cached sample disc D:, driven from outside: two passes, and the drive's flags word the
// same after the run as before, after exactly the three changes of a two-pass run.
#include "tests/cachedevice/device.h"
#include "korvanetest.h"
#include <gtest/gtest.h>

namespace {

using namespace uidriver;
namespace kv = uidriver::korvane;

using CacheDeviceEndToEnd = KorvaneTest;

TEST_F(CacheDeviceEndToEnd, SampleDiscRunsTwoPassesAndKeepsTheFlags)
{
    RawDevice device;
    ASSERT_TRUE(device.IsOpen()) << "the cache device \\\\.\\KELDR is not loaded in this prefix";
    uint32_t before[6];
    ASSERT_TRUE(device.ReadState(kDriveD, before));

    EXPECT_EQ(before[4], ConfiguredFlags());
    HWND results = Run('D');
    ASSERT_NE(results, nullptr);
    Rows rows;
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, &rows, 2), kv::RunState::Done) << Dump(rows);
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
    Sync();
    uint32_t after[6];
    ASSERT_TRUE(device.ReadState(kDriveD, after));
    EXPECT_EQ(after[4], before[4]);
    EXPECT_EQ(after[2], before[2] + 3);
    ExpectQuitsWith(0);
}

} // namespace
