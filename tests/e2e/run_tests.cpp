// End to end: KORVANE.EXE driven from outside through its windows, on the test discs D: to G: and the disc images: the main dialog and the runs.
#include <gtest/gtest.h>
#include "korvanetest.h"
#include <cstring>

using namespace uidriver;
namespace kv = uidriver::korvane;

namespace {

// "%8.2f seconds": eight characters of number, then the unit.
bool IsTime(const std::string& text)
{
    if (text.size() != 16 || text.compare(8, 8, " seconds") != 0)
        return false;
    const std::string number = text.substr(0, 8);
    const size_t first = number.find_first_not_of(' ');
    const size_t dot = number.find('.');
    return first != std::string::npos && dot == 5 && number.find_first_not_of("0123456789", first) == dot &&
           number.find_first_not_of("0123456789", dot + 1) == std::string::npos;
}

// One pass's rows, from its header on, as written by a complete run.
void ExpectPassRows(const Rows& rows, size_t at, const std::string& header, char drive)
{
    ASSERT_GE(rows.size(), at + 9);
    EXPECT_EQ(rows[at][0], "");
    EXPECT_EQ(rows[at][1], header);
    EXPECT_EQ(rows[at][2], "");
    EXPECT_EQ(rows[at + 1][0], "     1");
    EXPECT_EQ(rows[at + 1][1], std::string("Directory walk of drive ") + drive + ":\\");
    EXPECT_TRUE(IsTime(rows[at + 1][2])) << rows[at + 1][2];
    for (int cycle = 0; cycle < 3; ++cycle) {
        const auto& sequential = rows[at + 2 + cycle * 2];
        const auto& random = rows[at + 3 + cycle * 2];
        EXPECT_EQ(sequential[0], "     " + std::to_string(2 + cycle));
        EXPECT_EQ(sequential[1], "Sequential read of 384 blocks:");
        EXPECT_TRUE(IsTime(sequential[2])) << sequential[2];
        EXPECT_EQ(random[0], "");
        EXPECT_EQ(random[1], "Random read of 384 blocks:");
        EXPECT_TRUE(IsTime(random[2])) << random[2];
    }
    EXPECT_EQ(rows[at + 8][0], "");
    EXPECT_EQ(rows[at + 8][1], kv::kTotalText);
    EXPECT_TRUE(IsTime(rows[at + 8][2])) << rows[at + 8][2];
}

// A drive letter of this prefix that holds a disc with the given file system, or 0.
char DriveWith(const char* label, const char* fileSystem)
{
    for (char letter = 'H'; letter <= 'Z'; ++letter) {
        char root[] = "?:\\";
        root[0] = letter;
        if (::GetDriveTypeA(root) != DRIVE_CDROM)
            continue;
        char name[64] = "", system[64] = "";
        if (::GetVolumeInformationA(root, name, sizeof name, nullptr, nullptr, nullptr, system, sizeof system) &&
            (!label || std::strcmp(name, label) == 0) && std::strcmp(system, fileSystem) == 0)
            return letter;
    }
    return 0;
}

// A CD-ROM drive whose disc holds no file at all, or 0. The test discs mapped
// from folders carry Wine's .windows-label file, so the blank disc G: is not
// empty; the set-up maps V: without a label for this.
char EmptyDrive()
{
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
        char root[] = "?:\\";
        root[0] = letter;
        if (::GetDriveTypeA(root) != DRIVE_CDROM)
            continue;
        char pattern[] = "?:\\*.*";
        pattern[0] = letter;
        WIN32_FIND_DATAA data;
        HANDLE find = ::FindFirstFileA(pattern, &data);
        bool empty = true;
        if (find != INVALID_HANDLE_VALUE) {
            do
                empty = std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0;
            while (empty && ::FindNextFileA(find, &data));
            ::FindClose(find);
        }
        if (empty)
            return letter;
    }
    return 0;
}
}  // namespace

using Korvane = KorvaneTest;

// ---------------------------------------------------------------------------
// Main dialog

TEST_F(Korvane, MainDialogOpensWithRunAndHelpAndQuitEnds)
{
    EXPECT_EQ(WindowText(m_main), "Korvane");
    EXPECT_FALSE(ToolbarButtonEnabled(m_toolbar, kv::kPrint));
    EXPECT_TRUE(ToolbarButtonEnabled(m_toolbar, kv::kRun));
    EXPECT_TRUE(ToolbarButtonEnabled(m_toolbar, kv::kHelp));
    EXPECT_EQ(DlgItemText(m_main, kv::kQuit), "&Quit");
    const std::vector<std::string> drives = ComboItems(::GetDlgItem(m_main, kv::kDriveCombo));
    ASSERT_GE(drives.size(), 4u);
    EXPECT_EQ(drives[0], "D:\\");  // the lowest CD-ROM drive comes first
    PaintNow(m_main);
    Shot(m_main, "main_dialog");
    ExpectQuitsWith(0);
}

TEST_F(Korvane, MainDialogEndsOnEsc)
{
    PressKey(m_main, VK_ESCAPE);
    ExpectEndsWith(0);
}

TEST_F(Korvane, MainDialogEndsOnCloseBox)
{
    PressCloseBox(m_main);
    ExpectEndsWith(0);
}

// ---------------------------------------------------------------------------
// Runs

TEST_F(Korvane, SampleDiscRunShowsEveryRowAndEnablesPrint)
{
    HWND results = Run('D');
    ASSERT_NE(results, nullptr);
    Rows rows;
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, &rows), kv::RunState::Done) << Dump(rows);
    // Two passes when the cache driver handles D:, one otherwise.
    ASSERT_TRUE(rows.size() == 9 || rows.size() == 18) << Dump(rows);
    ExpectPassRows(rows, 0, "** Testing Without Zelkor Cache **", 'D');
    if (rows.size() == 18)
        ExpectPassRows(rows, 9, "** Testing With Zelkor Cache **", 'D');
    EXPECT_EQ(DlgItemText(results, kv::kVolumeLabel), "KORVANE_DEMO");
    EXPECT_EQ(DlgItemText(results, kv::kFileName), "MOVIE.DAT");
    const std::vector<std::string> columns = ListColumns(::GetDlgItem(results, kv::kResultList));
    EXPECT_EQ(columns, (std::vector<std::string>{" Test", "Description", "Time"}));
    Shot(results, "results_sample");

    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));
    EXPECT_TRUE(PrintEnabled());
    // Print follows the stored results of the chosen drive.
    SelectDrive(m_main, kv::kDriveCombo, 'E');
    EXPECT_FALSE(PrintEnabled());
    SelectDrive(m_main, kv::kDriveCombo, 'D');
    EXPECT_TRUE(PrintEnabled());
    ExpectQuitsWith(0);
}

TEST_F(Korvane, SmallDiscWarnsThenRunsOnePass)
{
    HWND results = Run('E');
    ASSERT_NE(results, nullptr);
    MessageBoxInfo box = ExpectBox("Warning", kv::kFewFilesText);
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    Shot(box.hWnd, "few_files_warning");
    // The walk row waits for the warning to be closed before it shows its time.
    Rows before = ListRows(::GetDlgItem(results, kv::kResultList));
    ASSERT_EQ(before.size(), 2u) << Dump(before);
    EXPECT_EQ(before[1][2], "");
    ASSERT_TRUE(AnswerMessageBox(box, IDOK));

    Rows rows;
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, &rows, 1), kv::RunState::Done) << Dump(rows);
    ASSERT_TRUE(WaitForRunWorkerEnd(Pid()));  // nothing follows the total of a single pass
    rows = ListRows(::GetDlgItem(results, kv::kResultList));
    ASSERT_EQ(rows.size(), 9u) << Dump(rows);
    ExpectPassRows(rows, 0, "** Testing Without Zelkor Cache **", 'E');
    EXPECT_EQ(DlgItemText(results, kv::kVolumeLabel), "SMALLDISC");
    EXPECT_EQ(DlgItemText(results, kv::kFileName), "BIGFILE.BIN");
    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));
    EXPECT_TRUE(PrintEnabled());
}

TEST_F(Korvane, NoLargeFileEndsTheRunByItself)
{
    HWND results = Run('F');
    ASSERT_NE(results, nullptr);
    MessageBoxInfo box = ExpectBox("Warning", kv::kSmallFileText);
    Rows rows = ListRows(::GetDlgItem(results, kv::kResultList));
    ASSERT_EQ(rows.size(), 2u) << Dump(rows);
    EXPECT_TRUE(IsTime(rows[1][2]));
    EXPECT_EQ(DlgItemText(results, kv::kVolumeLabel), "TINYFILES");
    EXPECT_EQ(DlgItemText(results, kv::kFileName), "LARGEST.DAT");
    ASSERT_TRUE(AnswerMessageBox(box, IDOK));
    EXPECT_TRUE(WaitForWindowGone(results)) << "the results window stayed after a failed run";
    EXPECT_FALSE(PrintEnabled());
    EXPECT_TRUE(FindMessageBoxes(Pid()).empty());
}

TEST_F(Korvane, EmptyDiscWarnsThenReportsChangedDisc)
{
    // A run that succeeds first, so that the failed one has to disable Print.
    HWND results = Run('E');
    ASSERT_NE(results, nullptr);
    ASSERT_TRUE(AnswerMessageBox(ExpectBox("Warning", kv::kFewFilesText), IDOK));
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, nullptr, 1), kv::RunState::Done);
    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));
    ASSERT_TRUE(PrintEnabled());

    const char drive = EmptyDrive();
    ASSERT_NE(drive, 0) << "no CD-ROM drive without files (set-up step 11-images.sh maps V:)";
    results = Run(drive);
    ASSERT_NE(results, nullptr);
    ASSERT_TRUE(AnswerMessageBox(ExpectBox("Warning", kv::kFewFilesText), IDOK));
    ASSERT_TRUE(AnswerMessageBox(ExpectBox("Warning", kv::kChangedDiscText), IDOK));
    EXPECT_TRUE(WaitForWindowGone(results));
    EXPECT_FALSE(PrintEnabled());
}

// OK in the middle of the walk stops the run. The walk it cut short holds few
// files but says nothing about the disc, so no warning comes. The walk is held
// while the press is taken, so that the stop falls into it every time. The
// drive model's M: walks for seconds; without it, D:'s walks take a few
// hundredths of a second, and the walk held may be either pass's. A try that
// sees no walk window, or that catches the worker inside one of Wine's locks
// (the press then waits for it), starts the program again.
TEST_F(Korvane, OkDuringTheWalkEndsTheRunWithoutAWarning)
{
    const char drive = ::GetDriveTypeA("M:\\") == DRIVE_CDROM ? 'M' : 'D';
    HWND results = nullptr;
    bool taken = false;
    for (int attempt = 0; attempt < 5 && !taken; ++attempt) {
        if (attempt > 0) {
            m_session.End();
            StartProgram(uidriver::ModuleDirectory() + "KORVANE.EXE");
        }
        results = Run(drive);
        ASSERT_NE(results, nullptr);
        HWND walk = WaitForWindow(Pid(), kv::kWalkCaptionPrefix, kWindowTimeout, true);
        if (!walk)
            continue;
        HANDLE worker = ::OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, RunWorkerThread(Pid()));
        ASSERT_NE(worker, nullptr) << "no run worker";
        ::SuspendThread(worker);
        // SuspendThread only asks; reading the context waits until the thread has stopped.
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        ::GetThreadContext(worker, &context);
        if (::IsWindow(walk) && ::IsWindowVisible(walk))
            taken = ::SendMessageTimeoutA(results, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                          reinterpret_cast<LPARAM>(::GetDlgItem(results, IDOK)),
                                          SMTO_ABORTIFHUNG, 2000, nullptr) != 0;
        ::ResumeThread(worker);
        ::CloseHandle(worker);
    }
    ASSERT_TRUE(taken) << "the results window never took OK during the walk of " << drive << ":";
    Rows rows;
    const kv::RunState state = kv::WaitForRunEnd(Pid(), results, &rows, 2);
    std::vector<MessageBoxInfo> boxes = FindMessageBoxes(Pid());
    ASSERT_EQ(state, kv::RunState::Closed) << (boxes.empty() ? "" : boxes[0].text) << "\n" << Dump(rows);
    // In the pass that was stopped, the read tests stop at their first check:
    // a total at most, no read time.
    Rows stopped;
    for (const auto& row : rows) {
        if (kv::IsPassHeader(row))
            stopped.clear();
        stopped.push_back(row);
    }
    EXPECT_LE(kv::CompletedTotals(stopped), 1) << Dump(rows);
    for (const auto& row : stopped) {
        if (row.size() > 2 && row[1].find(" read of ") != std::string::npos) {
            EXPECT_EQ(row[2], "") << Dump(rows);
        }
    }
    EXPECT_FALSE(PrintEnabled());
    EXPECT_TRUE(FindMessageBoxes(Pid()).empty());
}

// ---------------------------------------------------------------------------
// Disc images on loop devices (mapped by the set-up when the machine allows)

TEST_F(Korvane, IsoImageShowsItsOwnLabel)
{
    const char drive = DriveWith("KVISO_IMAGE", "CDFS");
    if (!drive)
        GTEST_SKIP() << "no ISO 9660 image drive (loop devices unavailable at set-up)";
    HWND results = Run(drive);
    ASSERT_NE(results, nullptr);
    MessageBoxInfo box;
    if (WaitForMessageBox(Pid(), "Warning", &box, 3000)) {
        EXPECT_EQ(box.text, kv::kFewFilesText);
        AnswerMessageBox(box, IDOK);
    }
    Rows rows;
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, &rows, 1), kv::RunState::Done) << Dump(rows);
    EXPECT_EQ(DlgItemText(results, kv::kVolumeLabel), "KVISO_IMAGE");
    ClickButton(results, IDOK);
    EXPECT_TRUE(WaitForWindowGone(results));
}

TEST_F(Korvane, UdfDiscAsksBeforeRunning)
{
    const char drive = DriveWith(nullptr, "UDF");
    if (!drive)
        GTEST_SKIP() << "no UDF image drive (loop devices unavailable at set-up)";
    ASSERT_TRUE(SelectDrive(m_main, kv::kDriveCombo, drive));
    PostCommand(m_main, kv::kRun);
    MessageBoxInfo box = ExpectBox("Warning - UDF disc", kv::kUdfWarningText);
    EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
    ASSERT_TRUE(AnswerMessageBox(box, IDNO));
    Sync();
    EXPECT_EQ(FindTopWindow(Pid(), kv::kResultsCaption), nullptr);
    EXPECT_FALSE(PrintEnabled());

    PostCommand(m_main, kv::kRun);
    ASSERT_TRUE(AnswerMessageBox(ExpectBox("Warning - UDF disc", kv::kUdfWarningText), IDYES));
    HWND results = WaitForWindow(Pid(), kv::kResultsCaption);
    ASSERT_NE(results, nullptr);
    MessageBoxInfo few;
    if (WaitForMessageBox(Pid(), "Warning", &few, 3000))
        AnswerMessageBox(few, IDOK);
    Rows rows;
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, &rows, 1), kv::RunState::Done) << Dump(rows);
    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));
    EXPECT_TRUE(PrintEnabled());
}
