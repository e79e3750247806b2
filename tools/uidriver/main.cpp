// uidriver.exe: the UI driver's command line, for scripts (run.sh) and by-hand checks.
#include "table.h"
#include "uidriver.h"
#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace uidriver;
namespace kv = uidriver::korvane;

namespace {
const char kUsage[] =
    "usage: uidriver.exe COMMAND ...\n"
    "  demo EXE SHOTS-DIR [DRIVE [PRINT-FILE]]\n"
    "                               start EXE, run DRIVE (default D), print the rows with\n"
    "                               their transfer rates and access times and the text that\n"
    "                               Ctrl+C copies from the results window, save the results\n"
    "                               window as SHOTS-DIR/results.png; with PRINT-FILE (the\n"
    "                               default printer's output), press Print and wait for\n"
    "                               the job; quit\n"
    "  windows                      list the visible top-level windows (pid, class, caption)\n"
    "  rows CAPTION                 print the rows of the list view 1006 of window CAPTION\n"
    "  boxes                        list the open message boxes\n"
    "  answer CAPTION BUTTON        answer a message box (BUTTON: ok cancel yes no)\n"
    "  command CAPTION ID           post WM_COMMAND ID to window CAPTION\n"
    "  key CAPTION esc|enter        press a key in window CAPTION\n"
    "  close CAPTION                press the Close box of window CAPTION\n"
    "  shot CAPTION|- FILE          save window CAPTION (-: the screen) as a PNG\n"
    "  probe CAPTION                milliseconds until window CAPTION answers WM_NULL\n";

int Fail(const std::string& message)
{
    std::fprintf(stderr, "uidriver: %s\n", message.c_str());
    return 1;
}

HWND Window(const std::string& caption)
{
    return WaitForWindow(0, caption, 2000);
}

// The Unix form of a path when it came as one (the caller's form), else as is.
std::string JoinPath(const std::string& directory, const std::string& name)
{
    char separator = !directory.empty() && directory[0] == '/' ? '/' : '\\';
    return directory + (!directory.empty() && directory.back() == separator ? "" : std::string(1, separator)) + name;
}

int ButtonId(const std::string& name)
{
    if (name == "ok") return IDOK;
    if (name == "cancel") return IDCANCEL;
    if (name == "yes") return IDYES;
    if (name == "no") return IDNO;
    return std::atoi(name.c_str());
}

// Answers the boxes a run may raise: the few-files and UDF warnings let it go
// on; any other box ends it. Returns false when a box meant failure.
bool HandleBoxes(DWORD pid, bool* failed)
{
    bool any = false;
    for (const MessageBoxInfo& box : FindMessageBoxes(pid)) {
        any = true;
        std::printf("message: %s: %s\n", box.caption.c_str(), box.text.c_str());
        std::fflush(stdout);
        const bool udf = box.caption == "Warning - UDF disc";
        const bool fewFiles = box.caption == "Warning" && box.text.find("relatively few files") != std::string::npos;
        if (!udf && !fewFiles)
            *failed = true;
        AnswerMessageBox(box, udf ? IDYES : IDOK);
    }
    return any;
}

int Demo(const std::string& exe, const std::string& shots, char drive, const std::string& printFile)
{
    Program program;
    std::string error;
    if (!program.Start(ToWindowsPath(exe), &error))
        return Fail(error);
    HWND main = WaitForWindow(program.Pid(), kv::kMainCaption, 30000);
    if (!main)
        return Fail("the main dialog \"Korvane\" did not open");
    std::vector<std::string> drives = ComboItems(::GetDlgItem(main, kv::kDriveCombo));
    std::string list;
    for (const auto& d : drives)
        list += (list.empty() ? "" : " ") + d;
    std::printf("drives: %s\n", list.c_str());
    if (!SelectDrive(main, kv::kDriveCombo, drive))
        std::printf("drive %c: is not offered; running the first drive\n", drive);
    PostCommand(main, kv::kRun);

    // Until every pass has written its total; warnings on the way are answered.
    const DWORD start = ::GetTickCount();
    HWND results = nullptr;
    bool failed = false;
    Rows rows;
    while (!results) {
        if (::GetTickCount() - start > kWindowTimeout)
            return Fail("the results window did not open");
        HandleBoxes(program.Pid(), &failed);
        results = FindTopWindow(program.Pid(), kv::kResultsCaption);
        ::Sleep(20);
    }
    for (;;) {
        kv::RunState state = kv::WaitForRunEnd(program.Pid(), results, &rows, 0, kRunTimeout - (::GetTickCount() - start));
        if (state == kv::RunState::Done)
            break;
        if (state == kv::RunState::MessageBox)
            HandleBoxes(program.Pid(), &failed);
        else if (state == kv::RunState::Closed)
            return Fail(failed ? "the run failed" : "the results window closed by itself");
        else
            return Fail("the run did not end within " + std::to_string(kRunTimeout / 1000) + " s");
    }
    for (const auto& row : rows)
        std::printf("%s\n", kv::FormatRow(row).c_str());
    std::printf("volume: %s\n", DlgItemText(results, kv::kVolumeLabel).c_str());
    std::printf("file: %s\n", DlgItemText(results, kv::kFileName).c_str());
    if (!kv::PrintCopiedResults(results))
        failed = true;

    const std::string shot = JoinPath(shots, "results.png");
    ::CreateDirectoryA(ToWindowsPath(shots).c_str(), nullptr);
    if (SaveScreenshot(results, ToWindowsPath(shot)))
        std::printf("screenshot: %s\n", shot.c_str());
    else
        std::printf("screenshot: could not save %s\n", shot.c_str());
    std::fflush(stdout);

    ClickButton(results, IDOK);
    if (!WaitForWindowGone(results))
        return Fail("the results window did not close after OK");
    ResponseTime(main);  // the toolbar is set once the run command has returned
    std::printf("print enabled: %s\n", ToolbarButtonEnabled(FindToolbar(main), kv::kPrint) ? "yes" : "no");
    if (!printFile.empty()) {
        if (kv::PrintResults(main, ToWindowsPath(printFile), &error)) {
            std::printf("print job: %s\n", printFile.c_str());
        } else {
            std::printf("print: %s\n", error.c_str());
            failed = true;
        }
    }
    std::fflush(stdout);
    ClickButton(main, kv::kQuit);
    DWORD code = 0;
    if (!program.WaitExit(10000, &code))
        return Fail("the program did not end after Quit");
    std::printf("exit code: %lu\n", code);
    return code == 0 && !failed ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv)
{
    // Plain \n line ends: scripts read this output.
    _setmode(_fileno(stdout), _O_BINARY);
    std::setvbuf(stdout, nullptr, _IOLBF, 4096);
    if (argc < 2)
        return Fail(kUsage);
    const std::string command = argv[1];
    auto arg = [&](int i) { return i < argc ? std::string(argv[i]) : std::string(); };

    if (command == "demo" && argc >= 4)
        return Demo(argv[2], argv[3], argc > 4 ? argv[4][0] : 'D', arg(5));
    if (command == "windows") {
        for (HWND hWnd : TopWindows(0)) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hWnd, &pid);
            std::printf("%lu | %s | %s\n", pid, ClassName(hWnd).c_str(), WindowText(hWnd).c_str());
        }
        return 0;
    }
    if (command == "boxes") {
        for (const MessageBoxInfo& box : FindMessageBoxes(0))
            std::printf("%s | %s\n", box.caption.c_str(), box.text.c_str());
        return 0;
    }
    if (command == "shot" && argc >= 4) {
        HWND hWnd = arg(2) == "-" ? nullptr : Window(arg(2));
        if (arg(2) != "-" && !hWnd)
            return Fail("no window " + arg(2));
        return SaveScreenshot(hWnd, ToWindowsPath(arg(3))) ? 0 : Fail("could not save " + arg(3));
    }
    HWND hWnd = argc >= 3 ? Window(arg(2)) : nullptr;
    if (argc >= 3 && !hWnd && command != "answer")
        return Fail("no window " + arg(2));
    if (command == "rows" && argc >= 3) {
        for (const auto& row : ListRows(::GetDlgItem(hWnd, kv::kResultList)))
            std::printf("%s\n", JoinRow(row).c_str());
        return 0;
    }
    if (command == "answer" && argc >= 4) {
        std::vector<MessageBoxInfo> boxes = FindMessageBoxes(0, arg(2));
        if (boxes.empty())
            return Fail("no message box " + arg(2));
        return AnswerMessageBox(boxes.front(), ButtonId(arg(3))) ? 0 : Fail("the box did not close");
    }
    if (command == "command" && argc >= 4)
        return PostCommand(hWnd, std::atoi(argv[3])) ? 0 : 1;
    if (command == "key" && argc >= 4)
        return PressKey(hWnd, arg(3) == "esc" ? VK_ESCAPE : VK_RETURN) ? 0 : 1;
    if (command == "close" && argc >= 3)
        return PressCloseBox(hWnd) ? 0 : 1;
    if (command == "probe" && argc >= 3) {
        int ms = ResponseTime(hWnd);
        std::printf("%d\n", ms);
        return ms < 0 ? 1 : 0;
    }
    return Fail(kUsage);
}
