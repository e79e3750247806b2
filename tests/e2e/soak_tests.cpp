// End to end: a long session of runs, alternating drives, with Print, that leaks nothing.
#include "session.h"

namespace {

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

}  // namespace
