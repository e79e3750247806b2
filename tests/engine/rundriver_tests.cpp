// The passes: the few-files warning, the rows and their colours, a stop between passes.
#include "tests/engine/enginetest.h"

TEST_F(EngineTest, FewFilesBoundaryAndOnlyInTheFirstPass)
{
    struct Case { int dirs, files; bool warns; };
    for (Case c : {Case{99, 2009, true}, Case{100, 2000, false}}) {
        FakeDisc d;
        SetDisc(&d);
        for (int i = 0; i < c.dirs; ++i)
            d.AddDir("D:\\D" + std::to_string(i));
        for (int i = 0; i < c.files - 1; ++i)
            d.AddFile("D:\\F" + std::to_string(i), 1);
        d.AddFile("D:\\BIG.DAT", 2097152);
        FakeCacheDevice dev;
        dev.driveNumbers = {3};
        dev.flags[3] = 0;
        SetCacheDevice(&dev);
        MessageRecorder msgs;
        SetMessages(&msgs);
        CCacheControl cc;
        CBenchEngine e(&cc, nullptr);
        ASSERT_TRUE(e.m_resultsDlg.Create(IDD_RESULTS, nullptr));
        EXPECT_EQ(1, e.RunPasses("D:\\", 0));
        ASSERT_EQ(c.warns ? 1u : 0u, msgs.boxes.size()) << c.dirs << "/" << c.files;
        if (c.warns) {
            EXPECT_EQ(kFewFilesMessage, msgs.boxes[0].text);
            EXPECT_EQ("Warning", msgs.boxes[0].caption);
            EXPECT_EQ(UINT(MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND), msgs.boxes[0].style);
        }
        EXPECT_EQ(18u, ReadRows(e.m_resultsDlg.m_list.m_hWnd).size());
    }
}

TEST_F(EngineTest, SinglePassRowsTextsAndColours)
{
    GoodDisc();
    disc.findTicks = 1;
    OpenResults();
    ListSpy spy(Engine().m_resultsDlg.m_list.m_hWnd);
    ASSERT_EQ(1, engine->RunPasses("D:\\", -1));
    Rows rows = ListRows();
    ASSERT_EQ(9u, rows.size());
    const TestResults& rec = engine->m_results[0][3];
    const double walk = rec.walkSeconds;
    const Rows expected = {
        {"", "** Testing Without Zelkor Cache **", ""},
        {"     1", "Directory walk of drive D:\\", Secs(walk)},
        {"     2", "Sequential read of 384 blocks:", Secs(0.384)},
        {"", "Random read of 384 blocks:", Secs(0.384)},
        {"     3", "Sequential read of 384 blocks:", Secs(0.384)},
        {"", "Random read of 384 blocks:", Secs(0.384)},
        {"     4", "Sequential read of 384 blocks:", Secs(0.384)},
        {"", "Random read of 384 blocks:", Secs(0.384)},
        {"", "Total time of tests 1-4:", Secs(rec.totalSeconds)},
    };
    EXPECT_EQ(expected, rows);
    EXPECT_FLOAT_EQ(static_cast<float>(walk + 6 * 0.384), rec.totalSeconds);
    EXPECT_EQ(4, engine->m_testNumber);
    EXPECT_EQ("MOVIE.DAT", engine->m_resultsDlg.GetDlgItemText(IDC_FILE_NAME));
    EXPECT_EQ(0, disc.openHandles);
    EXPECT_EQ(0, engine->m_resultsDlg.m_stopRequested.load());

    // Colours at the moment each cell was written; the normal colour after.
    const COLORREF normal = ::GetSysColor(COLOR_BTNTEXT);
    EXPECT_EQ(RGB(0, 128, 0), spy.ColourOf("** Testing Without Zelkor Cache **"));
    EXPECT_EQ(RGB(0, 0, 192), spy.ColourOf("Total time of tests 1-4:"));
    EXPECT_EQ(RGB(0, 0, 255), spy.ColourOf(Secs(rec.totalSeconds)));
    int red = 0;
    for (const ListSpy::Write& w : spy.writes)
        if (w.column == 2 && w.row % 2 == 1 && w.row >= 3 && w.row <= 7)
            red += w.colour == RGB(255, 0, 0);
    EXPECT_EQ(3, red);
    EXPECT_EQ(normal, spy.ColourOf("Directory walk of drive D:\\"));
    EXPECT_EQ(normal, engine->m_resultsDlg.m_list.GetTextColor());
}

TEST_F(EngineTest, HeaderIsBrightGreenOnBlack)
{
    GoodDisc();
    OpenResults();
    Engine().m_resultsDlg.m_list.SendMessage(LVM_SETBKCOLOR, 0, RGB(0, 0, 0));
    ListSpy spy(engine->m_resultsDlg.m_list.m_hWnd);
    engine->RunPasses("D:\\", -1);
    EXPECT_EQ(RGB(0, 255, 0), spy.ColourOf("** Testing Without Zelkor Cache **"));
}

TEST_F(EngineTest, StopTooLateForPassZeroEndsBeforeTheSecondWalk)
{
    device.openable = true;
    device.driveNumbers = {3};
    device.flags[3] = 0;
    GoodDisc();
    OpenResults();
    disc.onRead = [&](int n) {
        if (n == 3 * kReadsPerCycle - 1)  // the last block of pass 0
            Stop();
        return true;
    };
    EXPECT_EQ(0, Engine().RunPasses("D:\\", 0));
    Rows rows = ListRows();
    ASSERT_EQ(11u, rows.size());
    EXPECT_EQ("** Testing With Zelkor Cache **", rows[9][1]);
    EXPECT_EQ("Directory walk of drive D:\\", rows[10][1]);
    EXPECT_EQ("", rows[10][2]);
    EXPECT_EQ(0x24u, device.flags[3]);  // switched for pass 1; the run restores it
    EXPECT_EQ(1, engine->m_resultsDlg.m_stopRequested.load());
}
