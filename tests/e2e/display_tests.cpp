// End to end: every text fits its place at the display resolutions people use,
// and the main dialog's commands from the keyboard.
#include <gtest/gtest.h>
#include "session.h"
#include "framework/dpi.h"
#include <initializer_list>
#include <utility>
#include <vector>

namespace {

// The screen resolution of the programs started after it: the prefix's LogPixels.
void SetLogPixels(DWORD dpi)
{
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
}

// What the list draws around a cell's text (LVSCW_AUTOSIZE leaves as much).
const int kCellMargin = 12;

// Each static text of a window against its width, measured by `list` (the same dialog font).
void ExpectLabelsFit(HWND window, HWND list, const char* what)
{
    for (HWND c = ::GetWindow(window, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        const std::string text = WindowText(c);
        if (ClassName(c) != "Static" || text.empty())
            continue;
        RECT box{};
        ::GetClientRect(c, &box);
        EXPECT_LE(ListStringWidth(list, text), box.right) << what << ": \"" << text << "\"";
    }
}

// Keys typed before it have been dealt with once a Tab typed after them has moved the focus.
bool KeysDone(HWND dialog)
{
    const HWND before = FocusOf(dialog);
    if (!TypeKey(dialog, VK_TAB))
        return false;
    for (int i = 0; i < 250; ++i, ::Sleep(kPollMs))
        if (FocusOf(dialog) != before)
            return true;
    return false;
}

class Resolution : public Session, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        SetLogPixels(GetParam());
        Session::SetUp();
    }
    void TearDown() override
    {
        Session::TearDown();
        SetLogPixels(96);
    }
    std::string Name(const char* window) const { return std::string(window) + "_" + std::to_string(GetParam()); }
};

}  // namespace

TEST_P(Resolution, EveryTextFitsItsPlace)
{
    const int dpi = GetParam();
    PaintNow(m_main);
    Shot(m_main, Name("main").c_str());

    // The drive box, closed: a field as high as the small icon and a pixel above and below it.
    HWND combo = ::GetDlgItem(m_main, kv::kDriveCombo);
    const int icon = CDpi::Scale(16, dpi);
    DWORD_PTR field = 0, item = 0;
    ::SendMessageTimeoutA(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0, SMTO_ABORTIFHUNG, 5000, &field);
    ::SendMessageTimeoutA(combo, CB_GETITEMHEIGHT, 0, 0, SMTO_ABORTIFHUNG, 5000, &item);
    EXPECT_GE(static_cast<int>(field), icon + 2);
    EXPECT_GE(static_cast<int>(item), icon + 2);

    // A two-pass run: every cell and heading fits its column by the list's own measure.
    Outcome out = RunDisc('D', 2, Name("results").c_str());
    ASSERT_TRUE(out.complete) << out.caption << " " << out.text << "\n" << Dump(out.rows);
    HWND list = ::GetDlgItem(out.results, kv::kResultList);
    if (dpi == 96) {
        EXPECT_EQ(ListColumnWidth(list, 0), 40);
        EXPECT_EQ(ListColumnWidth(list, 1), 195);
        EXPECT_EQ(ListColumnWidth(list, 2), 100);
    }
    Rows cells = out.rows;
    cells.push_back(ListColumns(list));
    // The longest a time and the drive's row can be: a walk of over 100 seconds, another drive letter.
    cells.push_back({"     1", "Directory walk of drive W:\\", "  123.45 seconds"});
    for (const auto& row : cells)
        for (size_t c = 0; c < row.size(); ++c)
            EXPECT_LE(ListStringWidth(list, row[c]) + kCellMargin, ListColumnWidth(list, static_cast<int>(c)))
                << "column " << c << ": \"" << row[c] << "\"";

    // The drive item's label beside its icon: "D:" in its box.
    EXPECT_LE(ListStringWidth(list, "D:"), CDpi::Scale(43, dpi) - CDpi::Scale(25, dpi) - 2);
    ExpectLabelsFit(out.results, list, "results window");

    // The about box, measured while the results are still open to measure with.
    ::PostMessageA(m_main, WM_SYSCOMMAND, kAboutCommand, 0);
    HWND about = WaitForWindow(Pid(), "About Korvane");
    ASSERT_NE(about, nullptr);
    PaintNow(about);
    Shot(about, Name("about").c_str());
    ExpectLabelsFit(about, list, "about box");
    ClickButton(about, IDOK);
    EXPECT_TRUE(WaitForWindowGone(about));
    Dismiss(out);

    // The walk's progress window, while a run of the drive model's M: (a drive's pace) shows
    // it; OK then stops the run. The window belongs to the run's worker, which paints as it goes.
    // (The read window holds a bar and no text.)
    if (::GetDriveTypeA("M:\\") != DRIVE_CDROM)
        GTEST_SKIP() << "no drive model M: here (FUSE): the walk window was not looked at";
    HWND results = Run('M');
    ASSERT_NE(results, nullptr);
    list = ::GetDlgItem(results, kv::kResultList);
    HWND walk = WaitForWindow(Pid(), kv::kWalkCaptionPrefix, kWindowTimeout, true);
    ASSERT_NE(walk, nullptr) << "no walk window";
    // Once the walk is inside a folder, its path shows.
    for (int i = 0; i < 250 && ::IsWindow(walk) && WindowText(::GetDlgItem(walk, 1001)).empty(); ++i)
        ::Sleep(kPollMs);
    ExpectLabelsFit(walk, list, "walk window");
    Shot(walk, Name("walk").c_str());
    ClickButton(results, IDOK);
    EXPECT_TRUE(WaitForWindowGone(results, kRunTimeout));
}

INSTANTIATE_TEST_SUITE_P(Dpi, Resolution, ::testing::Values(96, 120, 144, 192),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

// F5 runs and Ctrl+P prints, as the keyboard gives them; Ctrl+P does nothing while Print is off.
TEST_F(Session, KeysRunAndPrint)
{
    const std::string printFile = PrintFile();
    if (printFile.empty())
        GTEST_SKIP() << "no test printer (KORVANE_PRINT_FILE)";
    ::DeleteFileA(printFile.c_str());
    ASSERT_FALSE(PrintEnabled());
    ASSERT_TRUE(TypeKey(m_main, 'P', true));
    ASSERT_TRUE(KeysDone(m_main));
    EXPECT_EQ(::GetFileAttributesA(printFile.c_str()), INVALID_FILE_ATTRIBUTES) << "Ctrl+P printed while Print was off";

    ASSERT_TRUE(TypeKey(m_main, VK_F5));
    HWND results = WaitForWindow(Pid(), kv::kResultsCaption);
    ASSERT_NE(results, nullptr) << "F5 started no run";
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, nullptr, PassesOf('D')), kv::RunState::Done);
    // F5 while the results are open starts nothing, as Run does.
    ASSERT_TRUE(TypeKey(m_main, VK_F5));
    ASSERT_TRUE(KeysDone(m_main));
    EXPECT_EQ(CountResultsWindows(Pid()), 1);
    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));

    // Ctrl+P held down: the key-downs after the first carry the repeat bit, and print nothing more.
    ASSERT_TRUE(PrintEnabled());
    ASSERT_TRUE(BringToFront(m_main));
    ASSERT_TRUE(SendKeys({{VK_CONTROL, 0}, {'P', 0}}));
    EXPECT_FALSE(WaitForPrintJob(printFile, 20000).empty()) << "Ctrl+P printed nothing";
    ASSERT_TRUE(::DeleteFileA(printFile.c_str()));
    ASSERT_TRUE(SendKeys({{'P', 0}, {'P', 0}, {'P', 0}, {'P', KEYEVENTF_KEYUP}, {VK_CONTROL, KEYEVENTF_KEYUP}}));
    ASSERT_TRUE(KeysDone(m_main));
    EXPECT_EQ(::GetFileAttributesA(printFile.c_str()), INVALID_FILE_ATTRIBUTES) << "a held Ctrl+P printed again";
    ExpectQuitsWith(0);
}
