// modelrun.exe: one KORVANE.EXE run on a drive served by the CD-ROM drive model, its times beside the model's.
//
// usage: modelrun.exe EXE DRIVE MODEL-LOG [SHOTS-DIR [PRINT-FILE]]
// Starts EXE, runs DRIVE through the UI driver (answering the few-files
// warning), prints each row of the results window with its transfer rate or
// access time, under it the model's summed service time for the same section,
// the same figures from that time and the ratio of the two times, then the
// speed-up of the with-cache pass, then the text that Ctrl+C copies from the
// results window; saves the results window as
// SHOTS-DIR/results.png; with PRINT-FILE (the default printer's output file),
// presses Print and waits for the job; and quits. Paths may be Unix paths.
// Exit code 0 when the run completed, its log was found and a page was printed if asked.
#include "results/figures.h"
#include "table.h"
#include "modellog.h"
#include "uidriver.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace uidriver;
namespace kv = uidriver::korvane;
using modellog::Pass;
using modellog::Section;

namespace {

constexpr DWORD kLongRunTimeout = 900000;  // an 8x drive's two passes take minutes
// A look at the rows every 250 ms rather than 20: each look is a dozen calls
// across processes, which on a slow host showed in the cache-served sections.
constexpr DWORD kTimingPollMs = 250;

int Fail(const std::string& message)
{
    std::fprintf(stderr, "modelrun: %s\n", message.c_str());
    return 1;
}

void AnswerBoxes(DWORD pid, bool* failed)
{
    for (const MessageBoxInfo& box : FindMessageBoxes(pid)) {
        std::printf("message: %s: %s\n", box.caption.c_str(), box.text.c_str());
        if (!(box.caption == "Warning" && box.text.find("relatively few files") != std::string::npos)) *failed = true;
        AnswerMessageBox(box, IDOK);
    }
}

// The row, and under it the model's time for the same section with the figures from that time.
void PrintRow(const std::vector<std::string>& row, const Section* section)
{
    std::printf("%s\n", kv::FormatRow(row).c_str());
    const double program = row.size() > 2 ? report::ParseSeconds(row[2]) : -1;
    if (!section || program < 0)
        return;
    const double model = section->serviceUs / 1e6;
    char label[64] = "drive model:", time[32], ratio[32] = "";
    if (section->cacheHits)
        std::snprintf(label, sizeof label, "model, %d from the cache:", section->cacheHits);
    std::snprintf(time, sizeof time, "%8.4f seconds", model);
    if (model > 0)
        std::snprintf(ratio, sizeof ratio, "  ratio %5.3f", program / model);
    std::printf("%s\n", kv::FormatLine("", label, time, report::FormatFigures(report::ReadKindOf(row), model), ratio).c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    std::setvbuf(stdout, nullptr, _IOLBF, 4096);
    if (argc < 4) return Fail("usage: modelrun.exe EXE DRIVE MODEL-LOG [SHOTS-DIR [PRINT-FILE]]");
    const std::string exe = ToWindowsPath(argv[1]), log = ToWindowsPath(argv[3]);
    const char drive = argv[2][0];
    const long long logStart = modellog::LogSize(log);
    if (logStart < 0) return Fail("no model log " + log);

    Program program;
    std::string error;
    if (!program.Start(exe, &error)) return Fail(error);
    HWND main = WaitForWindow(program.Pid(), kv::kMainCaption, 30000);
    if (!main) return Fail("the main dialog did not open");
    if (!SelectDrive(main, kv::kDriveCombo, drive)) return Fail(std::string("drive ") + drive + ": is not offered");
    PostCommand(main, kv::kRun);
    bool failed = false;
    HWND results = nullptr;
    const DWORD start = ::GetTickCount();
    while (!(results = FindTopWindow(program.Pid(), kv::kResultsCaption))) {
        if (::GetTickCount() - start > kWindowTimeout) return Fail("the results window did not open");
        AnswerBoxes(program.Pid(), &failed);
        Pause(20);
    }
    Rows rows;
    for (;;) {
        kv::RunState state = kv::WaitForRunEnd(program.Pid(), results, &rows, 0, kLongRunTimeout, kTimingPollMs);
        if (state == kv::RunState::Done) break;
        if (state == kv::RunState::MessageBox) { AnswerBoxes(program.Pid(), &failed); continue; }
        return Fail(state == kv::RunState::Closed ? "the run failed" : "the run did not end in time");
    }
    const DWORD runMs = ::GetTickCount() - start;
    const std::string file = DlgItemText(results, kv::kFileName);

    std::vector<modellog::Request> requests;
    std::vector<Pass> passes;
    if (modellog::ReadLog(log, logStart, &requests, &error)) passes = modellog::FindPasses(requests, file, &error);
    std::printf("drive %c: (%s), read file %s, run %.1f s wall, %zu model requests\n", drive,
                DlgItemText(results, kv::kVolumeLabel).c_str(), file.c_str(), runMs / 1000.0, requests.size());
    if (passes.size() < static_cast<size_t>(kv::PassHeaders(rows)))
        std::printf("model log: %s\n", error.c_str());

    // Rows: per pass a header, the walk, six reads, the total.
    for (size_t i = 0; i < rows.size(); ++i) {
        size_t p = i / 9, k = i % 9;
        const Section* s = nullptr;
        Section total;
        if (p < passes.size()) {
            const Pass& pass = passes[p];
            if (k == 1) s = &pass.walk;
            else if (k >= 2 && k <= 7) s = (k % 2 == 0) ? &pass.sequential[(k - 2) / 2] : &pass.random[(k - 2) / 2];
            else if (k == 8) { total.serviceUs = pass.TotalUs(); s = &total; }
        }
        PrintRow(rows[i], s);
    }
    if (passes.size() == 2 && rows.size() >= 18) {
        auto shown = [&](size_t row) { return report::ParseSeconds(rows[row][2]); };
        std::printf("speed-up with the cache (pass 0 / pass 1):\n"
                    "  program: walk %s, random 1 %s, random 2 %s, random 3 %s, total %s\n",
                    kv::FormatSpeedUp(shown(1), shown(10)).c_str(), kv::FormatSpeedUp(shown(3), shown(12)).c_str(),
                    kv::FormatSpeedUp(shown(5), shown(14)).c_str(), kv::FormatSpeedUp(shown(7), shown(16)).c_str(),
                    kv::FormatSpeedUp(shown(8), shown(17)).c_str());
        const Pass &a = passes[0], &b = passes[1];
        std::printf("  model:   walk %s, random 1 %s, random 2 %s, random 3 %s, total %s\n",
                    kv::FormatSpeedUp(a.walk.serviceUs, b.walk.serviceUs).c_str(),
                    kv::FormatSpeedUp(a.random[0].serviceUs, b.random[0].serviceUs).c_str(),
                    kv::FormatSpeedUp(a.random[1].serviceUs, b.random[1].serviceUs).c_str(),
                    kv::FormatSpeedUp(a.random[2].serviceUs, b.random[2].serviceUs).c_str(),
                    kv::FormatSpeedUp(a.TotalUs(), b.TotalUs()).c_str());
    }
    if (!kv::PrintCopiedResults(results))
        failed = true;
    if (argc > 4) {
        std::string dir = argv[4];
        ::CreateDirectoryA(ToWindowsPath(dir).c_str(), nullptr);
        std::string shot = dir + (dir.find('/') != std::string::npos ? "/" : "\\") + "results.png";
        if (SaveScreenshot(results, ToWindowsPath(shot))) std::printf("screenshot: %s\n", shot.c_str());
    }
    std::fflush(stdout);
    ClickButton(results, IDOK);
    WaitForWindowGone(results);
    bool printed = true;
    if (argc > 5) {
        printed = kv::PrintResults(main, ToWindowsPath(argv[5]), &error);
        std::printf(printed ? "print job: %s\n" : "print: %s\n", printed ? argv[5] : error.c_str());
    }
    ClickButton(main, kv::kQuit);
    DWORD code = 0;
    if (!program.WaitExit(10000, &code)) return Fail("the program did not end after Quit");
    return !failed && printed && code == 0 && !passes.empty() ? 0 : 1;
}
