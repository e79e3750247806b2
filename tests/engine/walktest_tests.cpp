// The directory walk: counts, the largest file, a stop, no disc.
#include "tests/engine/enginetest.h"

TEST_F(EngineTest, WalkCountsAndKeepsTheFirstOfEqualFiles)
{
    disc.AddFile("D:\\A.TXT", 100);
    disc.AddFile("D:\\.config\\HUGE.DAT", 900000);      // dot-directory: never walked
    disc.AddFile("D:\\DIR1\\TIE1.DAT", 5000);
    disc.AddFile("D:\\DIR1\\SUB\\TIE2.DAT", 5000);
    disc.AddFile("D:\\.profile", 3000);                  // dot-file: counted
    disc.AddFile("D:\\EMPTY.DAT", 0);
    std::vector<std::string> searched;
    disc.onFindFirst = [&](const std::string& p) { searched.push_back(p); };
    OpenResults();

    ASSERT_EQ(1, Engine().RunWalkTest("D:\\"));
    EXPECT_EQ(2, engine->m_subdirCount);
    EXPECT_EQ(5, engine->m_fileCount);
    EXPECT_EQ(5000u, engine->m_largestFileSize);
    EXPECT_EQ("D:\\DIR1\\TIE1.DAT", engine->m_largestFile[3]);
    EXPECT_EQ((std::vector<std::string>{"D:\\*.*", "D:\\DIR1\\*.*", "D:\\DIR1\\SUB\\*.*"}), searched);
    EXPECT_EQ(0, disc.openSearches);
    EXPECT_EQ("TESTDISC", std::string(engine->m_results[0][3].volumeLabel));
    EXPECT_EQ("TESTDISC", engine->m_resultsDlg.GetDlgItemText(IDC_VOLUME_LABEL));
}

TEST_F(EngineTest, WalkTakesADotFileAndTheLowWordOfHugeSizes)
{
    disc.AddFile("D:\\.config", 7000);
    disc.AddFile("D:\\FOURGIG.ISO", (1ull << 32) + 10);  // competes with 10 bytes
    disc.AddFile("D:\\DIR\\X.DAT", 6999);
    OpenResults();
    ASSERT_EQ(1, Engine().RunWalkTest("D:\\"));
    EXPECT_EQ("D:\\.config", engine->m_largestFile[3]);
    EXPECT_EQ(7000u, engine->m_largestFileSize);
    EXPECT_EQ(1, engine->m_subdirCount);
    EXPECT_EQ(3, engine->m_fileCount);
}

TEST_F(EngineTest, WalkOfEmptyFilesKeepsTheEarlierPath)
{
    disc.AddFile("D:\\BIG.DAT", 3000000);
    OpenResults();
    ASSERT_EQ(1, Engine().RunWalkTest("D:\\"));
    disc.dirs.clear();
    disc.files.clear();
    disc.AddFile("D:\\A.DAT", 0);
    disc.AddFile("D:\\B.DAT", 0);
    ASSERT_EQ(1, engine->RunWalkTest("D:\\"));
    EXPECT_EQ(0u, engine->m_largestFileSize);
    EXPECT_EQ(2, engine->m_fileCount);
    EXPECT_EQ(0, engine->m_subdirCount);
    EXPECT_EQ("D:\\BIG.DAT", engine->m_largestFile[3]);
}

TEST_F(EngineTest, StopTakesEffectAtTheNextLevel)
{
    disc.AddFile("D:\\DIR1\\SUB1\\F1.DAT", 10);
    disc.AddFile("D:\\DIR2\\F2.DAT", 10);
    disc.AddFile("D:\\ROOT.DAT", 10);
    OpenResults();
    disc.onFindFirst = [&](const std::string& p) {
        if (p == "D:\\DIR1\\*.*")
            Stop();
    };
    disc.findTicks = 1;
    ASSERT_EQ(1, Engine().RunWalkTest("D:\\"));
    // DIR1 returns at once; DIR2 is still counted but not looked into.
    EXPECT_EQ(2, engine->m_subdirCount);
    EXPECT_EQ(1, engine->m_fileCount);
    EXPECT_EQ(0, disc.openSearches);
    EXPECT_GT(engine->m_results[0][3].walkSeconds, 0.0f);
    EXPECT_EQ(engine->m_results[0][3].walkSeconds, engine->m_results[0][3].totalSeconds);
}

TEST_F(EngineTest, NoDiscShowsTheMessageAndMarksTheRecord)
{
    disc.present = false;
    OpenResults();
    Engine().m_results[0][3].volumeLabel = std::string("OLD");
    int searches = 0;
    disc.onFindFirst = [&](const std::string&) { ++searches; };
    EXPECT_EQ(0, engine->RunWalkTest("D:\\"));
    ASSERT_EQ(1u, messages.boxes.size());
    EXPECT_EQ("Please make sure there is a CD-ROM in your drive.", messages.boxes[0].text);
    EXPECT_EQ("Error", messages.boxes[0].caption);
    EXPECT_EQ(UINT(MB_OK | MB_ICONWARNING | MB_SETFOREGROUND), messages.boxes[0].style);
    EXPECT_EQ(RESULT_WALK_DONE, engine->m_results[0][3].flags);
    EXPECT_EQ("OLD", std::string(engine->m_results[0][3].volumeLabel));
    EXPECT_EQ(0, searches);
    EXPECT_EQ(nullptr, engine->m_walkProgressDlg.m_hWnd);
}

TEST_F(EngineTest, LongVolumeLabelIsStillADisc)
{
    disc.label = std::string(32, 'L');  // ISO 9660 allows 32 characters
    disc.AddFile("D:\\A.DAT", 10);
    OpenResults();
    EXPECT_EQ(1, Engine().RunWalkTest("D:\\"));
    EXPECT_EQ(disc.label, std::string(engine->m_results[0][3].volumeLabel));
    EXPECT_TRUE(messages.boxes.empty());
}
