// The hardening tests' session: KORVANE.EXE followed through whole runs, with
// what it holds (handles, windows, memory) read from outside.
#pragma once
#include <gtest/gtest.h>
#include "korvanetest.h"
#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace uidriver;
namespace kv = uidriver::korvane;

const int kAboutCommand = 16;  // the system menu's About entry
const int kRowsPerPass = 9;

inline std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

inline bool IsCdrom(char letter)
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
inline DWORD ProbeHandles(HANDLE process)
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

inline BOOL CALLBACK CountChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<DWORD*>(count);
    return TRUE;
}

struct WindowCount {
    DWORD pid;
    DWORD count;
};

inline BOOL CALLBACK CountTop(HWND hWnd, LPARAM param)
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

inline Usage UsageOf(HANDLE process)
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
inline SIZE_T PrivateBytes(const Usage& u) { return u.privateBytes ? u.privateBytes : u.pagefile; }

inline std::string Describe(const Usage& u)
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
inline std::string PrintFile()
{
    const std::string path = Env("KORVANE_PRINT_FILE");
    return path.empty() ? "" : ToWindowsPath(path);
}

inline int CountResultsWindows(DWORD pid)
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
inline void ExpectFailedRun(const Outcome& out, const char* what)
{
    EXPECT_TRUE(out.started) << what;
    EXPECT_FALSE(out.complete) << what << "\n" << Dump(out.rows);
    EXPECT_TRUE(out.closed) << what << ": the results window stayed after a failed run";
    EXPECT_FALSE(out.text.empty()) << what << ": no message";
}
