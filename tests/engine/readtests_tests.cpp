// The read tests: the size check, missing files, stops and read errors, short names.
#include "tests/engine/enginetest.h"

TEST_F(EngineTest, SizeCheckAtTwoMebibytes)
{
    for (uint64_t size : {uint64_t(2097152), uint64_t(2097151)}) {
        FakeDisc d;
        SetDisc(&d);
        d.AddFile("D:\\FILE.DAT", size);
        MessageRecorder msgs;
        SetMessages(&msgs);
        CCacheControl cc;
        CBenchEngine e(&cc, nullptr);
        ASSERT_TRUE(e.m_resultsDlg.Create(IDD_RESULTS, nullptr));
        ASSERT_EQ(1, e.RunWalkTest("D:\\"));
        const int result = e.RunReadTests("D:\\");
        const size_t rows = ReadRows(e.m_resultsDlg.m_list.m_hWnd).size();
        if (size == 2097152) {
            EXPECT_EQ(1, result);
            EXPECT_EQ(7u, rows);
            EXPECT_TRUE(msgs.boxes.empty());
        } else {
            EXPECT_EQ(0, result);
            EXPECT_EQ(0u, rows);
            ASSERT_EQ(1u, msgs.boxes.size());
            EXPECT_EQ(kSmallFileMessage, msgs.boxes[0].text);
            EXPECT_EQ("Warning", msgs.boxes[0].caption);
        }
        EXPECT_EQ(0, d.openHandles);
    }
}

TEST_F(EngineTest, MissingFileMessages)
{
    OpenResults();
    // Never a file on this drive letter: the changed-disc message, no row.
    EXPECT_EQ(0, Engine().RunReadTests("D:\\"));
    ASSERT_EQ(1u, messages.boxes.size());
    EXPECT_EQ(kChangedDiscMessage, messages.boxes[0].text);
    EXPECT_EQ("Warning", messages.boxes[0].caption);
    EXPECT_EQ(UINT(MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND), messages.boxes[0].style);
    EXPECT_TRUE(ListRows().empty());

    // A file that cannot be opened for another reason: the read-failure message.
    engine->m_largestFile[3] = "D:\\LOCKED.DAT";
    engine->m_largestFileSize = 3000000;
    disc.openErrors["D:\\LOCKED.DAT"] = ERROR_ACCESS_DENIED;
    EXPECT_EQ(0, engine->RunReadTests("D:\\"));
    ASSERT_EQ(2u, messages.boxes.size());
    EXPECT_EQ(kReadFailedMessage, messages.boxes[1].text);
    EXPECT_TRUE(ListRows().empty());
}

TEST_F(EngineTest, StopDuringTheSequentialReadOfCycleOne)
{
    GoodDisc();
    OpenResults();
    ASSERT_EQ(1, Engine().RunWalkTest("D:\\"));
    engine->m_testNumber = 1;
    disc.onRead = [&](int n) {
        if (n == kReadsPerCycle + 1 + 10)  // the 11th timed block of cycle 1
            Stop();
        return true;
    };
    const float walk = engine->m_results[0][3].walkSeconds;
    EXPECT_EQ(0, engine->RunReadTests("D:\\"));
    Rows rows = ListRows();
    ASSERT_EQ(5u, rows.size());
    EXPECT_EQ("     3", rows[2][0]);
    EXPECT_EQ(Secs(0.011), rows[2][2]);
    EXPECT_EQ("Random read of 384 blocks:", rows[3][1]);
    EXPECT_EQ("", rows[3][2]);
    EXPECT_EQ("Total time of tests 1-4:", rows[4][1]);
    EXPECT_FLOAT_EQ(walk + 0.384f + 0.384f + 0.011f, engine->m_results[0][3].totalSeconds);
    EXPECT_EQ(0, disc.openHandles);
    EXPECT_EQ(nullptr, engine->m_pReadBuffer);
    EXPECT_EQ(nullptr, engine->m_pRandomOffsets);
}

TEST_F(EngineTest, StopDuringTheLastRandomReadStillCompletes)
{
    GoodDisc();
    OpenResults();
    ASSERT_EQ(1, Engine().RunWalkTest("D:\\"));
    engine->m_testNumber = 1;
    disc.onRead = [&](int n) {
        if (n == 2 * kReadsPerCycle + 1 + 384 + 99)  // the 100th random block of cycle 2
            Stop();
        return true;
    };
    ListSpy spy(engine->m_resultsDlg.m_list.m_hWnd);
    EXPECT_EQ(1, engine->RunReadTests("D:\\"));
    Rows rows = ListRows();
    ASSERT_EQ(7u, rows.size());
    EXPECT_EQ(Secs(0.100), rows[5][2]);
    EXPECT_EQ(RGB(255, 0, 0), spy.ColourOf(Secs(0.100)));
    EXPECT_EQ("Total time of tests 1-4:", rows[6][1]);
}

TEST_F(EngineTest, ReadErrorEndsTheTestsAsFailed)
{
    GoodDisc();
    OpenResults();
    ASSERT_EQ(1, Engine().RunWalkTest("D:\\"));
    engine->m_testNumber = 1;
    disc.onRead = [&](int n) { return n != 1 + 384 + 50; };  // a random read of cycle 0
    EXPECT_EQ(0, engine->RunReadTests("D:\\"));
    ASSERT_EQ(1u, messages.boxes.size());
    EXPECT_EQ(kReadFailedMessage, messages.boxes[0].text);
    Rows rows = ListRows();
    ASSERT_EQ(2u, rows.size());  // no time for the failed read, no total
    EXPECT_EQ("", rows[1][2]);
    EXPECT_EQ(0, disc.openHandles);
    EXPECT_EQ(nullptr, engine->m_pReadBuffer);
    EXPECT_EQ(nullptr, engine->m_readProgressDlg.m_hWnd);
}

TEST_F(EngineTest, ReadWindowShowsThePassAndFillsItsBar)
{
    GoodDisc();
    OpenResults();
    ASSERT_EQ(1, Engine().RunWalkTest("D:\\"));
    std::string caption;
    int position = -1;
    disc.onRead = [&](int n) {
        if (n == 1 + 384 + 383) {  // the last random block of cycle 0
            caption = engine->m_readProgressDlg.GetWindowText();
            position = engine->m_readProgressDlg.m_progress.GetPos();
        }
        return true;
    };
    engine->m_pass = 1;
    engine->RunReadTests("D:\\");
    EXPECT_EQ("CD-ROM Random Read - with Zelkor Cache", caption);
    EXPECT_EQ(384, position);
}

TEST_F(EngineTest, UnspellableNameIsReadThroughItsShortName)
{
    for (int d = 0; d < 300; ++d)
        disc.AddDir("D:\\DIR" + std::to_string(d));
    disc.AddFile("D:\\M?SICA V?DEO.DAT", 2200000, "MSICAV~1.DAT");
    OpenResults();
    ASSERT_EQ(1, Engine().RunPasses("D:\\", -1));
    EXPECT_EQ("D:\\MSICAV~1.DAT", engine->m_largestFile[3]);
    EXPECT_EQ(9u, ListRows().size());
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(EngineTest, LookAlikeNamesAreReachedThroughTheirShortNames)
{
    // Names the code page spells with look-alike letters: neither the folder
    // nor the file opens by the long name the search gives.
    for (int d = 0; d < 300; ++d)
        disc.AddDir("D:\\DIR" + std::to_string(d));
    disc.AddDirByShortName("D:", "ORDNER OMEGA", "ORDN~U0V");
    disc.AddFile("D:\\ORDN~U0V\\INNER.DAT", 2100000);
    disc.AddFile("D:\\GROSSTE OMEGA.BIN", 2300000, "GR__~NBF.BIN");
    OpenResults();
    ASSERT_EQ(1, Engine().RunWalkTest("D:\\"));
    EXPECT_EQ(301, engine->m_subdirCount);
    EXPECT_EQ(2, engine->m_fileCount);
    EXPECT_EQ("D:\\GR__~NBF.BIN", engine->m_largestFile[3]);
    EXPECT_EQ(0, disc.openHandles);

    // A long name that opens is kept as it is.
    disc.dirs.clear();
    disc.files.clear();
    disc.AddFile("D:\\LONG NAME.DAT", 2300000);
    disc.dirs["D:"].back().shortName = "LONGNA~1.DAT";
    ASSERT_EQ(1, engine->RunWalkTest("D:\\"));
    EXPECT_EQ("D:\\LONG NAME.DAT", engine->m_largestFile[3]);
}

