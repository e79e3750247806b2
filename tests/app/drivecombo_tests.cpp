// The drive selector's CD-drive icon: the order of its sources, found without
// asking the shell about a listed drive, and drawn with this system's shell.
#include "tests/app/maindlgtest.h"

// The CD-drive icon from the first source that has one: the shell's stock icon
// where it names one and there is a system image list (Vista and later), else
// shell32's icon resource, else the system image list's index 11 where the list
// reaches it, else none. The shell is asked about the system drive only, never
// about a drive of the list, whose disc it would read.
struct IconCase {
    int stockIndex;
    int listImages;  // -1: no system image list
    bool shellIcon;
    bool ownList;    // drawn from the control's own list, shell32's icon in it
    int index;       // -1: no icon drawn
};

class DriveIconTest : public MainDlgTest, public ::testing::WithParamInterface<IconCase> {
protected:
    void TearDown() override
    {
        dlg.reset();
        if (shell.list)
            ::ImageList_Destroy(shell.list);
        MainDlgTest::TearDown();
    }
};

TEST_P(DriveIconTest, ComesWithoutAShellCallOnAListedDrive)
{
    const IconCase& c = GetParam();
    shell.stockIndex = c.stockIndex;
    shell.shellIcon = c.shellIcon;
    if (c.listImages >= 0) {
        shell.list = ::ImageList_Create(16, 16, ILC_COLOR, c.listImages, 0);
        ::ImageList_SetImageCount(shell.list, c.listImages);
    }
    Open();
    EXPECT_EQ(c.index, dlg->m_driveCombo.m_iconIndex[DRIVE_CDROM]);
    EXPECT_EQ(c.ownList, dlg->m_driveCombo.m_hOwnImageList != nullptr);
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
                         ::testing::Values(IconCase{42, 0, true, false, 42},    // Vista and later
                                           IconCase{42, -1, true, true, 0},     // a stock index but no list
                                           IconCase{-1, 20, true, true, 0},     // Windows 95 to XP, Wine
                                           IconCase{-1, 20, false, false, 11},  // no shell32 icon
                                           IconCase{-1, 11, false, false, -1},  // a short list
                                           IconCase{-1, -1, false, false, -1}));

// With this system's own shell (Wine's, where the tests run), the drive list draws a CD-drive icon.
TEST(DriveIconOfThisShell, IsDrawn)
{
    CDriveCombo combo(DRIVE_CDROM);
    HIMAGELIST icons = combo.m_hOwnImageList ? combo.m_hOwnImageList : combo.m_hSysImageList;
    const int index = combo.m_iconIndex[DRIVE_CDROM];
    ASSERT_NE(icons, nullptr);
    ASSERT_GE(index, 0);
    ASSERT_LT(index, ::ImageList_GetImageCount(icons));
    HDC dc = ::CreateCompatibleDC(nullptr);
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 16, 16);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    RECT all{0, 0, 16, 16};
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    EXPECT_TRUE(::ImageList_Draw(icons, index, dc, 0, 0, ILD_TRANSPARENT));
    int drawn = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            drawn += ::GetPixel(dc, x, y) != RGB(255, 255, 255);
    EXPECT_GT(drawn, 64) << "pixels of the icon";
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
}
