// The drive selector's CD-drive icon, found without asking the shell about a listed drive.
#include "tests/app/maindlgtest.h"

// The CD-drive icon's index: the shell's stock icon where it names one (Vista
// and later), else the fixed index. The shell is asked about the system drive
// only, never about a drive of the list, whose disc it would read.
class DriveIconTest : public MainDlgTest, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(DriveIconTest, ComesWithoutAShellCallOnAListedDrive)
{
    shell.stockIndex = GetParam().first;
    Open();
    EXPECT_EQ(GetParam().second, dlg->m_driveCombo.m_iconIndex[DRIVE_CDROM]);
    EXPECT_EQ(std::vector<int>{11}, shell.stockIds);  // SIID_DRIVECD
    char systemDir[MAX_PATH] = "";
    ASSERT_GT(::GetSystemDirectoryA(systemDir, sizeof systemDir), 3u);
    EXPECT_EQ(std::vector<std::string>{std::string(systemDir, 3)}, shell.paths);
    ASSERT_EQ(2, dlg->m_driveCombo.GetCount());
    for (const std::string& path : shell.paths)
        for (int i = 0; i < 2; ++i)
            EXPECT_STRNE(path.c_str(), reinterpret_cast<const char*>(dlg->m_driveCombo.GetItemData(i)));
}

INSTANTIATE_TEST_SUITE_P(Shells, DriveIconTest,
                         ::testing::Values(std::make_pair(-1, 11), std::make_pair(42, 42)));
