// End to end: the program answers during a run, takes bursts of commands, and quits cleanly mid-run.
#include "session.h"

namespace {

using Responsive = Session;

TEST_F(Responsive, WindowsAnswerWithin200msDuringAWalkOf50000Files)
{
    if (!IsCdrom('Q'))
        GTEST_SKIP() << "drive Q: is not set up";
    HWND results = Run('Q');
    ASSERT_NE(results, nullptr);
    HWND list = ::GetDlgItem(results, kv::kResultList);
    int worstMain = 0, worstResults = 0, samples = 0, walkSamples = 0;
    bool shot = false;
    const DWORD start = ::GetTickCount();
    // Sample until the walk row has its time, and a little beyond.
    for (;;) {
        const bool walking = FindTopWindow(Pid(), kv::kWalkCaptionPrefix, true) != nullptr;
        const int main = ResponseTime(m_main, 2000);
        const int res = ResponseTime(results, 2000);
        ASSERT_GE(main, 0) << "the main dialog did not answer within 2 s";
        ASSERT_GE(res, 0) << "the results window did not answer within 2 s";
        worstMain = std::max(worstMain, main);
        worstResults = std::max(worstResults, res);
        ++samples;
        walkSamples += walking;
        if (walking && !shot && walkSamples > 3) {
            Shot(nullptr, "hard_wide_walk");
            shot = true;
        }
        const std::vector<std::string> walkRow = ListRowCount(list) >= 2 ? ListRow(list, 1) : std::vector<std::string>();
        if (walkRow.size() >= 3 && !walkRow[2].empty() && !walking)
            break;
        ASSERT_LT(::GetTickCount() - start, 120000u) << "the walk did not end";
        ::Sleep(10);   // the walk may take a tenth of a second
    }
    std::printf("walk of 50,000 files: %d samples (%d during the walk window), worst main %d ms, worst results %d ms, "
                "walk row \"%s\"\n",
                samples, walkSamples, worstMain, worstResults, ListRow(list, 1)[2].c_str());
    EXPECT_GE(walkSamples, 3) << "the walk was too short to sample";
    EXPECT_LE(worstMain, 200);
    EXPECT_LE(worstResults, 200);
    Rows rows;
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, &rows, PassesOf('Q')), kv::RunState::Done) << Dump(rows);
    EXPECT_EQ(DlgItemText(results, kv::kFileName), "BIG.DAT");
    ClickButton(results, IDOK);
    EXPECT_TRUE(WaitForWindowGone(results));
}

TEST_F(Responsive, FiftyRunCommandsInABurstStartOneRun)
{
    const int passes = PassesOf('D');
    ASSERT_TRUE(SelectDrive(m_main, kv::kDriveCombo, 'D'));
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(PostCommand(m_main, kv::kRun));
    HWND results = WaitForWindow(Pid(), kv::kResultsCaption);
    ASSERT_NE(results, nullptr);
    int most = 0;
    Rows rows;
    kv::RunState state;
    do {
        most = std::max(most, CountResultsWindows(Pid()));
        state = kv::WaitForRunEnd(Pid(), results, &rows, passes, 100);
    } while (state == kv::RunState::TimedOut && rows.size() < static_cast<size_t>(kRowsPerPass * passes) + 1);
    ASSERT_EQ(state, kv::RunState::Done) << Dump(rows);
    // Every queued Run has had its turn, and the run has ended.
    ASSERT_TRUE(m_session.Marker());
    ASSERT_TRUE(WaitForRunWorkerEnd(Pid()));
    rows = ListRows(::GetDlgItem(results, kv::kResultList));
    EXPECT_EQ(rows.size(), static_cast<size_t>(kRowsPerPass * passes)) << Dump(rows);
    EXPECT_EQ(kv::PassHeaders(rows), passes);
    EXPECT_EQ(most, 1);
    EXPECT_EQ(CountResultsWindows(Pid()), 1);
    EXPECT_TRUE(FindMessageBoxes(Pid()).empty());
    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));
    ASSERT_TRUE(m_session.Marker());
    EXPECT_EQ(CountResultsWindows(Pid()), 0) << "a queued Run started a second run";
}

TEST_F(Responsive, QuitDuringARunEndsTheProgramAndGivesTheCacheFlagsBack)
{
    DWORD before = 0;
    const bool driver = CacheFlags('D', &before);
    HWND results = Run('D');
    ASSERT_NE(results, nullptr);
    HWND list = ::GetDlgItem(results, kv::kResultList);
    // Into the read tests of the first pass.
    const DWORD start = ::GetTickCount();
    while (ListRowCount(list) < 3 && ::GetTickCount() - start < 20000)
        ::Sleep(5);
    ASSERT_GE(ListRowCount(list), 3);
    ClickButton(m_main, kv::kQuit);
    ASSERT_TRUE(WaitForWindowGone(results, 10000)) << "the run's window did not close after Quit";
    const DWORD closed = ::GetTickCount();
    DWORD code = 1;
    ASSERT_TRUE(m_session.program.WaitExit(10000, &code)) << "the program still ran 10 s after the run's window closed";
    std::printf("Quit during a run: exit %lu ms after the run's window closed\n",
                static_cast<unsigned long>(::GetTickCount() - closed));
    EXPECT_EQ(code, 0u);
    if (!driver) {
        std::printf("no cache device: flags not compared\n");
        return;
    }
    DWORD after = 0;
    ASSERT_TRUE(CacheFlags('D', &after));
    std::printf("cache flags of D: %08lX before, %08lX after\n", static_cast<unsigned long>(before),
                static_cast<unsigned long>(after));
    EXPECT_EQ(after, before);
}

TEST_F(Responsive, PrintAndTheAboutBoxDuringARunDoNotDisturbIt)
{
    const std::string printFile = PrintFile();
    if (printFile.empty())
        GTEST_SKIP() << "no test printer (KORVANE_PRINT_FILE unset)";
    const int passes = PassesOf('D');
    ExpectCompleteRun('D', "first run");
    ASSERT_TRUE(PrintEnabled());
    ::DeleteFileA(printFile.c_str());

    HWND results = Run('D');
    ASSERT_NE(results, nullptr);
    PostCommand(m_main, kv::kPrint);
    ::PostMessageA(m_main, WM_SYSCOMMAND, kAboutCommand, 0);
    HWND about = WaitForWindow(Pid(), "About Korvane");
    ASSERT_NE(about, nullptr) << "the about box did not open during the run";
    Shot(nullptr, "hard_about_during_run");
    ClickButton(about, IDOK);
    EXPECT_TRUE(WaitForWindowGone(about));

    Rows rows;
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, &rows, passes), kv::RunState::Done) << Dump(rows);
    ASSERT_TRUE(WaitForRunWorkerEnd(Pid()));
    rows = ListRows(::GetDlgItem(results, kv::kResultList));
    EXPECT_EQ(rows.size(), static_cast<size_t>(kRowsPerPass * passes)) << Dump(rows);
    EXPECT_FALSE(WaitForPrintJob(printFile, 20000).empty()) << "Print during the run printed nothing";
    EXPECT_TRUE(FindMessageBoxes(Pid()).empty());
    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));
    EXPECT_TRUE(PrintEnabled());
    ExpectQuitsWith(0);
}

}  // namespace
