// Hardening end to end: a long session, awkward discs, a responsive program, and the unpacked release package.
#include <gtest/gtest.h>
#include <korvanetest.h>
#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace uidriver;
namespace kv = uidriver::korvane;

namespace {
const int kAboutCommand = 16;  // the system menu's About entry
const int kRowsPerPass = 9;

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool IsCdrom(char letter)
{
    char root[] = "?:\\";
    root[0] = letter;
    return ::GetDriveTypeA(root) == DRIVE_CDROM;
}

// ---------------------------------------------------------------------------
// What the program holds

struct Usage {
    DWORD handles = 0;       // GetProcessHandleCount
    DWORD probedHandles = 0;  // handle values that duplicate out of the process
    DWORD gdi = 0;
    DWORD user = 0;
    DWORD windows = 0;       // the process's windows, children included
    SIZE_T privateBytes = 0;
    SIZE_T pagefile = 0;
    SIZE_T workingSet = 0;
};

// Wine answers GetProcessHandleCount with 0; a handle value that can be
// duplicated out of the process is one it holds.
DWORD ProbeHandles(HANDLE process)
{
    DWORD count = 0;
    for (ULONG_PTR value = 4; value < 0x8000; value += 4) {
        HANDLE copy = nullptr;
        if (::DuplicateHandle(process, reinterpret_cast<HANDLE>(value), ::GetCurrentProcess(), &copy, 0, FALSE,
                              DUPLICATE_SAME_ACCESS)) {
            ++count;
            ::CloseHandle(copy);
        }
    }
    return count;
}

BOOL CALLBACK CountChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<DWORD*>(count);
    return TRUE;
}

struct WindowCount {
    DWORD pid;
    DWORD count;
};

BOOL CALLBACK CountTop(HWND hWnd, LPARAM param)
{
    auto* windows = reinterpret_cast<WindowCount*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (pid == windows->pid) {
        ++windows->count;
        ::EnumChildWindows(hWnd, CountChild, reinterpret_cast<LPARAM>(&windows->count));
    }
    return TRUE;
}

Usage UsageOf(HANDLE process)
{
    Usage usage;
    ::GetProcessHandleCount(process, &usage.handles);
    usage.probedHandles = ProbeHandles(process);
    usage.gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
    usage.user = ::GetGuiResources(process, GR_USEROBJECTS);
    WindowCount windows{::GetProcessId(process), 0};
    ::EnumWindows(CountTop, reinterpret_cast<LPARAM>(&windows));
    usage.windows = windows.count;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        usage.privateBytes = memory.PrivateUsage;
        usage.pagefile = memory.PagefileUsage;
        usage.workingSet = memory.WorkingSetSize;
    }
    return usage;
}

// Private bytes as Windows counts them; Wine leaves PrivateUsage at 0 and
// fills PagefileUsage, the committed private memory.
SIZE_T PrivateBytes(const Usage& u) { return u.privateBytes ? u.privateBytes : u.pagefile; }

std::string Describe(const Usage& u)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "handles %lu (count %lu), GDI %lu, USER %lu, windows %lu, private %lu KiB, pagefile %lu KiB, "
                  "working set %lu KiB",
                  static_cast<unsigned long>(u.probedHandles), static_cast<unsigned long>(u.handles),
                  static_cast<unsigned long>(u.gdi), static_cast<unsigned long>(u.user),
                  static_cast<unsigned long>(u.windows), static_cast<unsigned long>(u.privateBytes / 1024),
                  static_cast<unsigned long>(u.pagefile / 1024), static_cast<unsigned long>(u.workingSet / 1024));
    return text;
}

// The print file (KORVANE_PRINT_FILE, a Unix path) as Wine names it; "" without a test printer.
std::string PrintFile()
{
    const std::string path = Env("KORVANE_PRINT_FILE");
    return path.empty() ? "" : ToWindowsPath(path);
}

int CountResultsWindows(DWORD pid)
{
    int windows = 0;
    for (HWND hWnd : TopWindows(pid))
        windows += WindowText(hWnd) == kv::kResultsCaption;
    return windows;
}

// How one run ended.
struct Outcome {
    bool started = false;    // the results window opened
    bool complete = false;   // every pass wrote its total
    bool closed = false;     // the results window closed by itself
    std::string caption;     // the message that ended the run, if any
    std::string text;
    int fewFilesWarnings = 0;
    Rows rows;
    HWND results = nullptr;
    std::string label, file;  // the results window's volume label and file name
};

class Session : public KorvaneTest {
protected:
    // Picks the drive, presses Run and follows the run to its end: answers the
    // few-files warning, and any other message (which ends the run) after
    // noting it. A complete run's window is left open for the caller. The
    // picture, if named, shows the outcome: the results, or the message on them.
    Outcome RunDisc(char drive, int passes, const char* shot = nullptr, DWORD timeoutMs = kRunTimeout)
    {
        Outcome out;
        out.results = Run(drive);
        out.started = out.results != nullptr;
        if (!out.started)
            return out;
        const DWORD start = ::GetTickCount();
        for (;;) {
            const DWORD spent = ::GetTickCount() - start;
            const kv::RunState state =
                kv::WaitForRunEnd(Pid(), out.results, &out.rows, passes, spent < timeoutMs ? timeoutMs - spent : 1);
            if (state == kv::RunState::Done) {
                out.complete = true;
                if (shot)
                    Shot(out.results, shot);
                out.label = DlgItemText(out.results, kv::kVolumeLabel);
                out.file = DlgItemText(out.results, kv::kFileName);
                return out;
            }
            if (state == kv::RunState::Closed) {
                out.closed = true;
                return out;
            }
            if (state == kv::RunState::TimedOut)
                return out;
            for (const MessageBoxInfo& box : FindMessageBoxes(Pid())) {
                if (box.text == kv::kFewFilesText) {
                    ++out.fewFilesWarnings;
                    AnswerMessageBox(box, IDOK);
                    continue;
                }
                out.caption = box.caption;
                out.text = box.text;
                out.rows = ListRows(::GetDlgItem(out.results, kv::kResultList));
                out.label = DlgItemText(out.results, kv::kVolumeLabel);
                out.file = DlgItemText(out.results, kv::kFileName);
                if (shot)
                    Shot(nullptr, shot);
                AnswerMessageBox(box, IDOK);
                out.closed = WaitForWindowGone(out.results);
                return out;
            }
        }
    }

    void Dismiss(const Outcome& out)
    {
        if (!out.results || !::IsWindow(out.results))
            return;
        ClickButton(out.results, IDOK);
        EXPECT_TRUE(WaitForWindowGone(out.results));
    }

    // A complete run with every row of every pass; its window is dismissed.
    void ExpectCompleteRun(char drive, const char* what)
    {
        const int passes = PassesOf(drive);
        Outcome out = RunDisc(drive, passes);
        EXPECT_TRUE(out.complete) << what << ": " << out.caption << " " << out.text << "\n" << Dump(out.rows);
        EXPECT_EQ(out.rows.size(), static_cast<size_t>(kRowsPerPass * passes)) << what << "\n" << Dump(out.rows);
        Dismiss(out);
    }

    HANDLE Process() const { return m_session.program.Handle(); }
};

// A failed run as the user sees it: the message, then the window closes by
// itself, and Print is off.
void ExpectFailedRun(const Outcome& out, const char* what)
{
    EXPECT_TRUE(out.started) << what;
    EXPECT_FALSE(out.complete) << what << "\n" << Dump(out.rows);
    EXPECT_TRUE(out.closed) << what << ": the results window stayed after a failed run";
    EXPECT_FALSE(out.text.empty()) << what << ": no message";
}

// ---------------------------------------------------------------------------
// A long session

using Soak = Session;

TEST_F(Soak, ManyRunsAlternatingDrivesWithPrintLeakNothing)
{
    const char* env = std::getenv("KORVANE_SOAK_RUNS");
    const int runs = env && std::atoi(env) > 0 ? std::atoi(env) : 10;
    const std::string printFile = PrintFile();
    const int passesD = PassesOf('D');
    const int passesE = PassesOf('E');
    Usage first, afterPrint;
    int prints = 0;
    const DWORD start = ::GetTickCount();
    for (int run = 1; run <= runs; ++run) {
        const char drive = run % 2 ? 'D' : 'E';
        Outcome out = RunDisc(drive, drive == 'D' ? passesD : passesE);
        ASSERT_TRUE(out.complete) << "run " << run << " on " << drive << ": " << out.caption << " " << out.text << "\n"
                                  << Dump(out.rows);
        ASSERT_EQ(out.rows.size(), static_cast<size_t>(kRowsPerPass * (drive == 'D' ? passesD : passesE)))
            << "run " << run << "\n" << Dump(out.rows);
        EXPECT_EQ(out.fewFilesWarnings, drive == 'E' ? 1 : 0) << "run " << run;
        Dismiss(out);
        ASSERT_TRUE(PrintEnabled()) << "run " << run;
        if (run % 10 == 0 && !printFile.empty()) {
            ::DeleteFileA(printFile.c_str());
            PostCommand(m_main, kv::kPrint);
            ASSERT_FALSE(WaitForPrintJob(printFile, 20000).empty()) << "print after run " << run;
            ++prints;
        }
        ResponseTime(m_main);
        if (run == 1)
            first = UsageOf(Process());
        if (run == 10)
            afterPrint = UsageOf(Process());
        if (run % 10 == 0)
            std::printf("after run %3d: %s\n", run, Describe(UsageOf(Process())).c_str());
    }
    const Usage last = UsageOf(Process());
    std::printf("soak: %d runs (D: %d pass(es), E: %d), %d prints, %.1f s\n", runs, passesD, passesE, prints,
                (::GetTickCount() - start) / 1000.0);
    std::printf("after run   1: %s\n", Describe(first).c_str());
    std::printf("at the end   : %s\n", Describe(last).c_str());
    std::fflush(stdout);

    // Allowances: the first Print loads the printer driver once (its DLLs, fonts
    // and handles stay for the session); beyond that, nothing may pile up.
    EXPECT_LE(last.probedHandles, first.probedHandles + 12) << "handles grew";
    EXPECT_LE(last.handles, first.handles + 12) << "handles grew";
    EXPECT_LE(last.gdi, first.gdi + 16) << "GDI objects grew";
    EXPECT_LE(last.user, first.user + 8) << "USER objects grew";
    EXPECT_LE(last.windows, first.windows) << "windows were left behind";
    EXPECT_LE(PrivateBytes(last), PrivateBytes(first) + 4 * 1024 * 1024) << "private bytes grew";
    if (runs >= 20) {
        // Between the first Print and the end only a small constant may come.
        EXPECT_LE(last.probedHandles, afterPrint.probedHandles + 4) << "handles grew after the first print";
        EXPECT_LE(PrivateBytes(last), PrivateBytes(afterPrint) + 1024 * 1024) << "private bytes grew after the first print";
    }
    ExpectQuitsWith(0);
}

// ---------------------------------------------------------------------------
// Awkward discs

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

// ---------------------------------------------------------------------------
// A responsive program

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

// ---------------------------------------------------------------------------
// The release package, unpacked into KORVANE_DIST_DIR by dist_test.sh

class Dist : public Session {
protected:
    void SetUp() override
    {
        const std::string dir = Env("KORVANE_DIST_DIR");
        if (dir.empty())
            GTEST_SKIP() << "KORVANE_DIST_DIR unset (dist_test.sh sets it)";
        m_dir = ToWindowsPath(dir);
        if (m_dir.back() != '\\')
            m_dir += '\\';
        StartProgram(m_dir + "KORVANE.EXE");
    }
    std::string m_dir;
};

TEST_F(Dist, UnpackedProgramRunsASmallDisc)
{
    // The process runs the unpacked copy, not the build's.
    char path[MAX_PATH] = "";
    DWORD size = MAX_PATH;
    ASSERT_TRUE(::QueryFullProcessImageNameA(Process(), 0, path, &size));
    EXPECT_EQ(_stricmp(path, (m_dir + "KORVANE.EXE").c_str()), 0) << path;
    Outcome out = RunDisc('E', PassesOf('E'), "hard_dist_run");
    ASSERT_TRUE(out.complete) << out.caption << " " << out.text << "\n" << Dump(out.rows);
    EXPECT_EQ(out.fewFilesWarnings, 1);
    EXPECT_EQ(out.label, "SMALLDISC");
    EXPECT_EQ(out.file, "BIGFILE.BIN");
    Dismiss(out);
    EXPECT_TRUE(PrintEnabled());
    ExpectQuitsWith(0);
}

}  // namespace
