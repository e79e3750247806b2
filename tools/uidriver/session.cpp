// UI driver, the program's windows: a run's end, its print, and the Session that starts and ends KORVANE.EXE.
#include "uidriver.h"

namespace uidriver {

namespace korvane {
int CompletedTotals(const Rows& rows)
{
    int count = 0;
    for (const auto& row : rows)
        if (row.size() > 2 && row[1] == kTotalText && !row[2].empty())
            ++count;
    return count;
}

bool IsPassHeader(const std::vector<std::string>& row)
{
    return row.size() > 1 && row[1].compare(0, 10, "** Testing") == 0;
}

int PassHeaders(const Rows& rows)
{
    int count = 0;
    for (const auto& row : rows)
        count += IsPassHeader(row);
    return count;
}

RunState WaitForRunEnd(DWORD pid, HWND results, Rows* rows, int expectedPasses, DWORD timeoutMs, DWORD pollMs)
{
    const DWORD start = ::GetTickCount();
    DWORD stillSince = start;
    Rows last;
    for (;;) {
        if (!::IsWindow(results) || !::IsWindowVisible(results)) {
            if (rows)
                *rows = last;
            return RunState::Closed;
        }
        // Cheap look first (row count and last row); the whole list only when they changed.
        HWND list = ::GetDlgItem(results, kResultList);
        const int count = ListRowCount(list);
        std::vector<std::string> tail = count > 0 ? ListRow(list, count - 1) : std::vector<std::string>();
        if (count != static_cast<int>(last.size()) || (count > 0 && tail != last.back())) {
            last = ListRows(list);
            stillSince = ::GetTickCount();
        }
        if (rows)
            *rows = last;
        const int totals = CompletedTotals(last);
        if (expectedPasses > 0 ? totals >= expectedPasses
                               : totals > 0 && totals == PassHeaders(last) && ::GetTickCount() - stillSince >= 600)
            return RunState::Done;
        if (!FindMessageBoxes(pid).empty())
            return RunState::MessageBox;
        if (::GetTickCount() - start >= timeoutMs)
            return RunState::TimedOut;
        ::Sleep(pollMs);
    }
}

bool PrintResults(HWND main, const std::string& printFile, std::string* error, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    HWND toolbar = FindToolbar(main);
    // The toolbar is set once the run command has returned.
    while (!ToolbarButtonEnabled(toolbar, kPrint)) {
        if (::GetTickCount() - start > kWindowTimeout) {
            *error = "Print stayed disabled";
            return false;
        }
        ::Sleep(kPollMs);
    }
    ::DeleteFileA(printFile.c_str());
    if (!PostCommand(main, kPrint)) {
        *error = "the main dialog took no command";
        return false;
    }
    if (WaitForPrintJob(printFile, timeoutMs).empty()) {
        *error = "no finished job in " + printFile + " within " + std::to_string(timeoutMs / 1000) + " s";
        return false;
    }
    return true;
}

bool Session::Start(const std::string& exe, std::string* error)
{
    if (!ResetCacheFlags()) {
        *error = "the cache device did not take its configured flags";
        return false;
    }
    if (!program.Start(exe, error))
        return false;
    main = WaitForWindow(Pid(), kMainCaption, 30000);
    toolbar = main ? FindToolbar(main) : nullptr;
    if (!toolbar)
        *error = main ? "the main dialog has no toolbar" : "the main dialog did not open";
    return toolbar != nullptr;
}

void Session::End()
{
    if (!program.Running())
        return;
    program.Kill();
    ResetCacheFlags();
}

bool Session::Marker() const
{
    const int kAboutCommand = 16;  // the system menu's About entry
    if (!::PostMessageA(main, WM_SYSCOMMAND, kAboutCommand, 0))
        return false;
    HWND about = WaitForWindow(Pid(), "About Korvane");
    return about && ClickButton(about, IDOK) && WaitForWindowGone(about);
}

bool Session::PrintEnabled() const
{
    Sync();
    return ToolbarButtonEnabled(toolbar, kPrint);
}

HWND Session::Run(char drive) const
{
    if (!SelectDrive(main, kDriveCombo, drive) || !PostCommand(main, kRun))
        return nullptr;
    return WaitForWindow(Pid(), kResultsCaption);
}

bool Session::Quit(DWORD* code)
{
    return ClickButton(main, kQuit) && program.WaitExit(10000, code);
}
}  // namespace korvane

}  // namespace uidriver
