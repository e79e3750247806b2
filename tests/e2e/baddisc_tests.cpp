// End to end: awkward discs (changed, unreadable, deep, long, oddly named) end cleanly.
#include "session.h"

namespace {

using BadDisc = Session;

// The path of a file of a test disc, as Wine names it.
std::string DiscFile(const std::string& relative)
{
    const std::string discs = Env("KORVANE_DISCS");
    return discs.empty() ? "" : ToWindowsPath(discs + "/" + relative);
}

// Puts a renamed file back whatever the test does.
struct RenameGuard {
    std::string from, to;
    ~RenameGuard()
    {
        if (!to.empty())
            ::MoveFileA(to.c_str(), from.c_str());
    }
};

TEST_F(BadDisc, LargestFileRenamedWhileTheWarningHoldsTheRunReportsAChangedDisc)
{
    const std::string big = DiscFile("small/DIR01/BIGFILE.BIN");
    ASSERT_FALSE(big.empty()) << "KORVANE_DISCS is not set";
    ASSERT_NE(::GetFileAttributesA(big.c_str()), INVALID_FILE_ATTRIBUTES) << big;
    // A run that succeeds first, so that the failed one has to turn Print off.
    ExpectCompleteRun('D', "sample disc");
    ASSERT_TRUE(PrintEnabled());

    HWND results = Run('E');
    ASSERT_NE(results, nullptr);
    MessageBoxInfo warning;
    ASSERT_TRUE(WaitForMessageBox(Pid(), "Warning", &warning));
    ASSERT_EQ(warning.text, kv::kFewFilesText);
    // The walk has chosen BIGFILE.BIN; the read tests have not opened it yet.
    RenameGuard guard{big, big + ".moved"};
    ASSERT_TRUE(::MoveFileA(guard.from.c_str(), guard.to.c_str())) << ::GetLastError();
    ASSERT_TRUE(AnswerMessageBox(warning, IDOK));

    MessageBoxInfo changed;
    ASSERT_TRUE(WaitForMessageBox(Pid(), "", &changed));
    EXPECT_EQ(changed.caption, "Warning");
    EXPECT_EQ(changed.text, kv::kChangedDiscText);
    EXPECT_EQ(DlgItemText(results, kv::kFileName), "BIGFILE.BIN");
    Rows rows = ListRows(::GetDlgItem(results, kv::kResultList));
    EXPECT_EQ(rows.size(), 2u) << Dump(rows);
    ASSERT_TRUE(AnswerMessageBox(changed, IDOK));
    EXPECT_TRUE(WaitForWindowGone(results)) << "the results window stayed after a failed run";
    EXPECT_FALSE(PrintEnabled());
    EXPECT_TRUE(FindMessageBoxes(Pid()).empty());
}

TEST_F(BadDisc, LargestFileThatCannotBeOpenedEndsTheRunWithAMessage)
{
    if (!IsCdrom('R'))
        GTEST_SKIP() << "drive R: (denyfs) is not set up: no FUSE here";
    ExpectCompleteRun('D', "sample disc");
    Outcome out = RunDisc('R', 1);
    ExpectFailedRun(out, "DENYFILE");
    std::printf("unopenable largest file: \"%s\" / \"%s\"\n", out.caption.c_str(), out.text.c_str());
    // Access denied is no missing file: the read-failure message, not the changed-disc one.
    EXPECT_EQ(out.caption, "Error");
    EXPECT_EQ(out.text, kv::kReadFailedText);
    EXPECT_EQ(out.file, "LOCKED.DAT");
    EXPECT_EQ(out.rows.size(), 2u) << Dump(out.rows);
    EXPECT_FALSE(PrintEnabled());
}

TEST_F(BadDisc, FolderThatCannotBeListedIsSkipped)
{
    if (!IsCdrom('T'))
        GTEST_SKIP() << "drive T: (denyfs) is not set up: no FUSE here";
    Outcome out = RunDisc('T', 1);
    EXPECT_TRUE(out.complete) << out.caption << " " << out.text << "\n" << Dump(out.rows);
    EXPECT_EQ(out.rows.size(), static_cast<size_t>(kRowsPerPass)) << Dump(out.rows);
    // BIGGEST.DAT inside the shut folder is never seen.
    EXPECT_EQ(out.file, "OPEN.DAT");
    EXPECT_EQ(out.label, "DENYDIR");
    Dismiss(out);
    EXPECT_TRUE(PrintEnabled());
}

TEST_F(BadDisc, TreeOf120LevelsEndsCleanly)
{
    if (!IsCdrom('O'))
        GTEST_SKIP() << "drive O: is not set up";
    Outcome out = RunDisc('O', 1, "hard_deep");
    std::printf("120 levels: %s; file \"%s\"; message \"%s\"\n", out.complete ? "complete" : "failed",
                out.file.c_str(), out.text.c_str());
    if (out.complete) {
        EXPECT_EQ(out.rows.size(), static_cast<size_t>(kRowsPerPass)) << Dump(out.rows);
        EXPECT_EQ(out.file, "DEEPEST.DAT");
        Dismiss(out);
    } else {
        ExpectFailedRun(out, "DEEPTREE");
        // Beyond the path limit the bottom is out of reach: no 2 MiB file is left.
        EXPECT_EQ(out.text, kv::kSmallFileText);
    }
    EXPECT_GE(ResponseTime(m_main, 2000), 0);
}

TEST_F(BadDisc, LargestFileBeyond260CharactersIsOutOfReach)
{
    if (!IsCdrom('P'))
        GTEST_SKIP() << "drive P: is not set up";
    Outcome out = RunDisc('P', 1);
    std::printf("path past 260: %s; file \"%s\"; message \"%s\"\n", out.complete ? "complete" : "failed",
                out.file.c_str(), out.text.c_str());
    if (out.complete) {
        EXPECT_EQ(out.rows.size(), static_cast<size_t>(kRowsPerPass)) << Dump(out.rows);
        EXPECT_TRUE(out.file == "NEAR.DAT" || out.file == "BEYOND.DAT") << out.file;
        Dismiss(out);
    } else {
        ExpectFailedRun(out, "LONGPATH");
        EXPECT_TRUE(out.text == kv::kChangedDiscText || out.text == kv::kReadFailedText) << out.text;
    }
}

TEST_F(BadDisc, OddNamesRunNormally)
{
    if (!IsCdrom('N'))
        GTEST_SKIP() << "drive N: is not set up";
    Outcome out = RunDisc('N', 1, "hard_odd_names");
    std::printf("odd names: file shown as \"%s\"\n", out.file.c_str());
    ASSERT_TRUE(out.complete) << out.caption << " " << out.text << "\n" << Dump(out.rows);
    EXPECT_EQ(out.rows.size(), static_cast<size_t>(kRowsPerPass)) << Dump(out.rows);
    EXPECT_EQ(out.label, "ODDNAMES");
    // The largest file's name holds a letter the ANSI code page lacks: it is read through its short name.
    EXPECT_FALSE(out.file.empty());
    EXPECT_EQ(out.file.find('?'), std::string::npos) << out.file;
    Dismiss(out);
    EXPECT_TRUE(PrintEnabled());
}

TEST_F(BadDisc, FolderNamedWithALetterOutsideTheCodePageIsWalked)
{
    if (!IsCdrom('W'))
        GTEST_SKIP() << "drive W: is not set up";
    Outcome out = RunDisc('W', 1);
    ASSERT_TRUE(out.complete) << "the walk missed the folder \"\xCE\xA9mega folder\": " << out.text << "\n"
                              << Dump(out.rows);
    EXPECT_EQ(out.file, "INSIDE.DAT");
    Dismiss(out);
}

TEST_F(BadDisc, LabelOf32CharactersIsShownWhole)
{
    if (!IsCdrom('S'))
        GTEST_SKIP() << "drive S: is not set up";
    Outcome out = RunDisc('S', 1, "hard_long_label");
    ASSERT_TRUE(out.complete) << out.caption << " " << out.text << "\n" << Dump(out.rows);
    EXPECT_EQ(out.label, "KORVANE LONG VOLUME LABEL 32CHRS");
    EXPECT_EQ(out.file, "LABELED.DAT");
    Dismiss(out);
}

// Every awkward disc twice in one session: the second round leaves the program
// holding what it held after the first.
TEST_F(BadDisc, AwkwardDiscsLeakNoHandles)
{
    const char drives[] = {'N', 'O', 'P', 'R', 'S', 'T', 'W', 'F', 'V'};
    auto round = [&] {
        for (char drive : drives) {
            if (!IsCdrom(drive))
                continue;
            Outcome out = RunDisc(drive, 1);
            EXPECT_TRUE(out.complete || out.closed) << drive << ": " << out.text << "\n" << Dump(out.rows);
            Dismiss(out);
        }
        // Behind everything the runs queued: the last run's windows are gone and its handles closed.
        ASSERT_TRUE(m_session.Marker());
    };
    round();
    const Usage before = UsageOf(Process());
    round();
    const Usage after = UsageOf(Process());
    std::printf("awkward discs: after round 1: %s\n               after round 2: %s\n", Describe(before).c_str(),
                Describe(after).c_str());
    EXPECT_LE(after.probedHandles, before.probedHandles + 2);
    EXPECT_LE(after.handles, before.handles + 2);
    EXPECT_LE(after.user, before.user + 2);
    EXPECT_LE(after.gdi, before.gdi + 2);
    EXPECT_LE(after.windows, before.windows);
    ExpectQuitsWith(0);
}

}  // namespace
