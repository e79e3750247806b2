// The walk, the read tests and the passes, run on this thread against a disc
// held in memory, with the results window open.
#include "engine/benchengine.h"
#include "engine/stopwatch.h"
#include "res/resource.h"
#include "tests/support/fakes.h"
#include "tests/support/listspy.h"
#include "tools/uidriver/uidriver.h"
#include <gtest/gtest.h>
#include <memory>

namespace {

const int kReadsPerCycle = 1 + 384 + 384;  // untimed first block, sequential, random
using Rows = std::vector<std::vector<std::string>>;

class EngineTest : public ::testing::Test {
protected:
    FakeDisc disc;
    FakeCacheDevice device;
    MessageRecorder messages;
    ScopedSeams seams{&disc, &device, &messages};
    std::unique_ptr<CCacheControl> cache;
    std::unique_ptr<CBenchEngine> engine;

    // Builds the engine; call after setting up the device and the clock.
    CBenchEngine& Engine()
    {
        if (!engine) {
            cache = std::make_unique<CCacheControl>();
            engine = std::make_unique<CBenchEngine>(cache.get(), nullptr);
        }
        return *engine;
    }
    void OpenResults() { ASSERT_TRUE(Engine().m_resultsDlg.Create(IDD_RESULTS, nullptr)); }
    Rows ListRows() { return ReadRows(Engine().m_resultsDlg.m_list.m_hWnd); }
    void SetUp() override { device.openable = false; }

    // A disc that passes every check: enough files and a 2 MiB + 1000 byte file.
    void GoodDisc()
    {
        for (int d = 0; d < 300; ++d)
            disc.AddDir("D:\\DIR" + std::to_string(d));
        disc.AddFile("D:\\DIR7\\MOVIE.DAT", 2097152 + 1000);
        disc.AddFile("D:\\README.TXT", 500);
    }
    void Stop() { engine->m_resultsDlg.m_stopRequested = 1; }
};

std::string Secs(double s)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%8.2f seconds", s);
    return buf;
}

} // namespace

// ---------------------------------------------------------------------------
// Positions and times

TEST(Positions, FirstOffsetsOfA2MiBFile)
{
    PositionGenerator gen;
    gen.Seed(1);
    const int draws[] = {41, 18467, 6334, 26500, 19169};
    const uint32_t offsets[] = {2048, 1179648, 403456, 1693696, 1224704};
    for (int i = 0; i < 5; ++i) {
        int r = gen.Next();
        EXPECT_EQ(draws[i], r);
        EXPECT_EQ(offsets[i], BlockOffsetForDraw(r, 2097152, 2048));
    }
}

TEST(Positions, NeverTheFinalPartialBlock)
{
    const uint32_t length = 2097152 + 1000;
    EXPECT_EQ(1023u * 2048, BlockOffsetForDraw(32767, length, 2048));
    PositionGenerator gen;
    gen.Seed(1);
    for (int i = 0; i < 100000; ++i) {
        uint32_t offset = BlockOffsetForDraw(gen.Next(), length, 2048);
        ASSERT_EQ(0u, offset % 2048);
        ASSERT_LE(offset + 2048, length);
    }
    EXPECT_EQ(0u, BlockOffsetForDraw(32767, 100, 2048));  // shorter than a block
}

TEST(Stopwatch, SecondsFromTicks)
{
    EXPECT_DOUBLE_EQ(0.0, ElapsedSeconds(5, 5, 1193182));
    EXPECT_DOUBLE_EQ(0.5, ElapsedSeconds(100, 600, 1000));
    // More than 2^32 ticks: about an hour at 1.19 MHz.
    const int64_t start = 7, ticks = 5000000000LL;
    EXPECT_NEAR(ticks / 1193182.0, ElapsedSeconds(start, start + ticks, 1193182), 1e-9);
}

TEST(Messages, NotFoundErrorsAndOthers)
{
    for (DWORD e : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_DISK_CHANGE, ERROR_WRONG_DISK,
                    ERROR_INVALID_DRIVE, ERROR_FILENAME_EXCED_RANGE, ERROR_DIRECTORY, ERROR_BAD_NETPATH})
        EXPECT_TRUE(IsNotFoundError(e)) << e;
    for (DWORD e : {ERROR_NOT_READY, ERROR_ACCESS_DENIED, ERROR_CRC, ERROR_SUCCESS})
        EXPECT_FALSE(IsNotFoundError(e)) << e;
    EXPECT_EQ("MOVIE.DAT", FileNamePart("D:\\DIR\\MOVIE.DAT"));
    EXPECT_EQ("PLAIN", FileNamePart("PLAIN"));
}

// The end-to-end tests look for the texts through their own copies.
TEST(Messages, TextsAreTheOnesTheEndToEndTestsExpect)
{
    EXPECT_STREQ(uidriver::korvane::kFewFilesText, kFewFilesMessage);
    EXPECT_STREQ(uidriver::korvane::kSmallFileText, kSmallFileMessage);
    EXPECT_STREQ(uidriver::korvane::kChangedDiscText, kChangedDiscMessage);
    EXPECT_STREQ(uidriver::korvane::kReadFailedText, kReadFailedMessage);
}

// ---------------------------------------------------------------------------
// The directory walk

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

// ---------------------------------------------------------------------------
// The few-files warning and the passes

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

TEST_F(EngineTest, TwoPassesSwitchTheCacheFlagsInOrder)
{
    device.openable = true;
    device.driveNumbers = {3};
    device.flags[3] = 0x105;
    GoodDisc();
    OpenResults();
    ASSERT_EQ(1, Engine().RunPasses("D:\\", 0));
    Rows rows = ListRows();
    ASSERT_EQ(18u, rows.size());
    EXPECT_EQ("** Testing With Zelkor Cache **", rows[9][1]);
    // Request 11 at start-up, then per pass 8 and 9.
    ASSERT_EQ(5u, device.requests.size());
    EXPECT_EQ(11u, device.requests[0].code);
    EXPECT_EQ(8u, device.requests[1].code);
    EXPECT_EQ(9u, device.requests[2].code);
    EXPECT_EQ(0x101u, device.requests[2].flags);  // enabled bit cleared, others kept
    EXPECT_EQ(8u, device.requests[3].code);
    EXPECT_EQ(9u, device.requests[4].code);
    EXPECT_EQ(0x125u, device.requests[4].flags);
    EXPECT_EQ(3, device.requests[4].drive);
    // Both passes read the same blocks.
    const size_t perPass = disc.seeks.size() / 2;
    EXPECT_TRUE(std::equal(disc.seeks.begin(), disc.seeks.begin() + perPass, disc.seeks.begin() + perPass));
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

// ---------------------------------------------------------------------------
// The read tests

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

// ---------------------------------------------------------------------------
// A stop at every disc operation of a complete two-pass run

namespace {

enum class Section { Walk, Open, Untimed, Sequential, Random };
struct Point { int pass; Section section; int cycle; int walkOp; };

// What one pass leaves in the list: the walk time, how many read rows have a
// time, a row without a time after them, and the total row.
struct PassShape { bool walkTimed; int timedReads; bool untimedRow; bool total; };

// The list rows with, per row, whether its time cell is filled.
using Shape = std::vector<std::pair<std::vector<std::string>, bool>>;

void AddPass(Shape& rows, int pass, const PassShape& s)
{
    rows.push_back({{"", pass ? "** Testing With Zelkor Cache **" : "** Testing Without Zelkor Cache **"}, false});
    rows.push_back({{"     1", "Directory walk of drive D:\\"}, s.walkTimed});
    const int reads = s.timedReads + (s.untimedRow ? 1 : 0);
    for (int r = 0; r < reads; ++r) {
        std::vector<std::string> row = {"", "Random read of 384 blocks:"};
        if (r % 2 == 0)
            row = {"     " + std::to_string(2 + r / 2), "Sequential read of 384 blocks:"};
        rows.push_back({row, r < s.timedReads});
    }
    if (s.total)
        rows.push_back({{"", "Total time of tests 1-4:"}, true});
}

// The rows and result a stop at this point may leave.
Shape ExpectedRows(const Point& p, int* result)
{
    const PassShape complete{true, 6, false, true};
    Shape rows;
    for (int pass = 0; pass < p.pass; ++pass)
        AddPass(rows, pass, complete);
    *result = 0;
    switch (p.section) {
    case Section::Walk:  // a stop before the root's entries were looked at never finds the file
        AddPass(rows, p.pass, p.walkOp < 2 ? PassShape{true, 0, false, false} : PassShape{true, 0, true, true});
        break;
    case Section::Open: AddPass(rows, p.pass, {true, 0, true, true}); break;
    case Section::Untimed: AddPass(rows, p.pass, {true, 2 * p.cycle, true, true}); break;
    case Section::Sequential: AddPass(rows, p.pass, {true, 2 * p.cycle + 1, true, true}); break;
    case Section::Random:
        if (p.cycle < 2) {
            AddPass(rows, p.pass, {true, 2 * p.cycle + 2, true, true});
        } else {  // too late for the last check: the pass is complete
            AddPass(rows, p.pass, complete);
            if (p.pass == 0)
                AddPass(rows, 1, {false, 0, false, false});
            else
                *result = 1;
        }
        break;
    }
    return rows;
}

// The operations of one pass on the stop disc, in order, with what each belongs to.
void AddPassOperations(std::string& kinds, std::vector<Point>& points, int pass)
{
    const std::string walk = "vfffffff";  // volume, root, its next, DIR, ".." "A.TXT" end, root end
    for (size_t i = 0; i < walk.size(); ++i) {
        kinds += walk[i];
        points.push_back({pass, Section::Walk, 0, static_cast<int>(i)});
    }
    kinds += 'o';
    points.push_back({pass, Section::Open, 0, 0});
    for (int cycle = 0; cycle < 3; ++cycle) {
        kinds += "sr";
        points.insert(points.end(), 2, {pass, Section::Untimed, cycle, 0});
        kinds += std::string(384, 'r');
        points.insert(points.end(), 384, {pass, Section::Sequential, cycle, 0});
        for (int k = 0; k < 384; ++k)
            kinds += "sr";
        points.insert(points.end(), 768, {pass, Section::Random, cycle, 0});
    }
}

struct RunOperations {
    std::string kinds;
    std::vector<Point> points;
    RunOperations()
    {
        AddPassOperations(kinds, points, 0);
        AddPassOperations(kinds, points, 1);
    }
};
const RunOperations& Operations()
{
    static const RunOperations ops;
    return ops;
}

// The operations a stop is tried at: -1 (none); in pass 0 every one of the
// walk and the open, and the first and the last of each read section, where
// its checks change (those between meet the same checks); in pass 1, whose
// tests run the same code, where it differs: a walk stopped before or after
// the root's entries (the file found by pass 0 is then too small or found
// again), its open, and the very last operation. Each run that stops in pass 1
// runs a whole pass 0 first.
std::vector<int> StopOperations()
{
    const std::vector<Point>& points = Operations().points;
    auto same = [&](size_t a, size_t b) {
        return points[a].pass == points[b].pass && points[a].section == points[b].section &&
               points[a].cycle == points[b].cycle;
    };
    std::vector<int> ops = {-1};
    for (size_t k = 0; k < points.size(); ++k) {
        const Point& p = points[k];
        const bool edge = k == 0 || !same(k - 1, k) || k + 1 == points.size() || !same(k + 1, k);
        const bool first = p.pass == 0 && (p.section == Section::Walk || p.section == Section::Open || edge);
        const bool second = p.pass == 1 && ((p.section == Section::Walk && p.walkOp <= 2) ||
                                            p.section == Section::Open || k + 1 == points.size());
        if (first || second)
            ops.push_back(static_cast<int>(k));
    }
    return ops;
}

// The rows and the state are what is checked here, not pixels: the run's
// windows open off the screen, where Wine does not draw each progress step.
LRESULT CALLBACK OffScreen(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
        if (!(cs->style & WS_CHILD))
            cs->x = -4000;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class StopTest : public EngineTest, public ::testing::WithParamInterface<int> {
protected:
    HHOOK hook = ::SetWindowsHookExA(WH_CBT, OffScreen, nullptr, ::GetCurrentThreadId());
    ~StopTest() override { ::UnhookWindowsHookEx(hook); }
};

} // namespace

TEST_P(StopTest, LeavesOnlyWhatAStopThereMayLeave)
{
    const int k = GetParam();
    // The big file is the root's first entry; few files, so pass 0 warns unless
    // a stop came during its walk.
    disc.AddFile("D:\\BIG.DAT", 2097152 + 4096);
    disc.AddFile("D:\\DIR\\A.TXT", 10);
    device.openable = true;
    device.driveNumbers = {3};
    device.flags[3] = 0x105;
    OpenResults();
    std::string seen;
    disc.onOperation = [&](int index, char kind) {
        seen += kind;
        if (index == k)
            Stop();
    };
    engine->SaveCacheFlags(0);
    const int result = engine->RunPasses("D:\\", 0);
    engine->RestoreCacheFlags(0);
    EXPECT_EQ(0x105u, device.flags[3]);
    EXPECT_EQ(0, disc.openHandles);
    EXPECT_EQ(0, disc.openSearches);
    EXPECT_EQ(nullptr, engine->m_pReadBuffer);
    EXPECT_EQ(nullptr, engine->m_pRandomOffsets);
    EXPECT_EQ(nullptr, engine->m_readProgressDlg.m_hWnd);
    EXPECT_EQ(nullptr, engine->m_walkProgressDlg.m_hWnd);
    if (k < 0) {
        EXPECT_EQ(Operations().kinds, seen);  // the operations the stops are placed on
        EXPECT_EQ(1, result);
        return;
    }

    const Point& p = Operations().points[k];
    int expectedResult = 0;
    const Shape expected = ExpectedRows(p, &expectedResult);
    const Rows rows = ListRows();
    Shape shape;
    for (const auto& row : rows)
        shape.push_back({{row[0], row[1]}, !row[2].empty()});
    EXPECT_EQ(expected, shape);
    EXPECT_EQ(expectedResult, result);
    if (!expectedResult) {
        EXPECT_EQ(1, engine->m_resultsDlg.m_stopRequested.load());
    }
    // Only the few-files warning, and only when it came before the stop.
    const bool warned = p.pass > 0 || p.section != Section::Walk;
    ASSERT_EQ(warned ? 1u : 0u, messages.boxes.size());
    if (warned) {
        EXPECT_EQ(kFewFilesMessage, messages.boxes[0].text);
    }

    // The pass's stored total is its walk and every read it measured, as shown.
    const TestResults& rec = engine->m_results[p.pass][3];
    float sum = rec.walkSeconds;
    for (const auto& cycle : rec.readSeconds)
        sum += cycle[0] + cycle[1];
    EXPECT_NEAR(sum, rec.totalSeconds, 1e-4);
    if (expected.back().first[1] == "Total time of tests 1-4:") {
        EXPECT_EQ(Secs(rec.totalSeconds), rows.back()[2]);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCheck, StopTest, ::testing::ValuesIn(StopOperations()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param < 0 ? std::string("None") : "Op" + std::to_string(info.param);
                         });
