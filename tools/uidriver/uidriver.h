// UI driver: starts KORVANE.EXE and works its windows from outside its process, as a person would.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include <initializer_list>
#include <utility>

namespace uidriver {

// Default time-outs, in milliseconds.
constexpr DWORD kWindowTimeout = 10000;
constexpr DWORD kRunTimeout = 60000;
// The pause between two looks while waiting for a window or a state.
constexpr DWORD kPollMs = 20;

// ---------------------------------------------------------------------------
// Processes

// A started program. Ends the process (if it still runs) when destroyed, so a
// failed test leaves nothing behind.
class Program {
public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts exe with its standard handles detached; false with *error set on failure.
    bool Start(const std::string& exe, std::string* error = nullptr);
    bool Running() const;
    // Waits for the process to end; false on time-out. *exitCode gets its exit code.
    bool WaitExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    // Terminates the process if it still runs and waits for it to be gone.
    void Kill();

    DWORD Pid() const { return m_pid; }
    HANDLE Handle() const { return m_hProcess; }

private:
    HANDLE m_hProcess = nullptr;
    HANDLE m_hJob = nullptr;
    DWORD m_pid = 0;
};

// The directory of the running program (with a trailing backslash).
std::string ModuleDirectory();

// ---------------------------------------------------------------------------
// Windows

// Visible top-level windows of a process, in Z order.
std::vector<HWND> TopWindows(DWORD pid);
// A visible top-level window of pid whose caption equals caption (or starts with it
// when prefix is true); nullptr when there is none.
HWND FindTopWindow(DWORD pid, const std::string& caption, bool prefix = false);
// FindTopWindow, retried until timeoutMs has passed.
HWND WaitForWindow(DWORD pid, const std::string& caption, DWORD timeoutMs = kWindowTimeout, bool prefix = false);
// Waits until hWnd is destroyed or hidden; false on time-out.
bool WaitForWindowGone(HWND hWnd, DWORD timeoutMs = kWindowTimeout);

std::string WindowText(HWND hWnd);
std::string ClassName(HWND hWnd);
// The control with the keyboard focus in hWnd's thread; nullptr when none has it.
HWND FocusOf(HWND hWnd);
// hWnd's thread tracks a menu: a popup, or the keyboard's menu mode, which shows none.
bool InMenuMode(HWND hWnd);
// Text of a dialog's child control (labels such as 1008 and 1010).
std::string DlgItemText(HWND hDlg, int id);
// Milliseconds until hWnd answered WM_NULL, or -1 when it did not within timeoutMs.
int ResponseTime(HWND hWnd, DWORD timeoutMs = 5000);
// Sleeps while letting the clock run (for tools; a test waits for the thing instead).
void Pause(DWORD ms);
// Repaints hWnd and its children now, through the program's own thread: a picture taken after it shows them drawn.
bool PaintNow(HWND hWnd);
// The program's run worker: its one thread at time-critical priority; 0 when no run is under way.
DWORD RunWorkerThread(DWORD pid);
// Waits until the run worker has ended: the run writes no more rows.
bool WaitForRunWorkerEnd(DWORD pid, DWORD timeoutMs = kRunTimeout);

// ---------------------------------------------------------------------------
// Input

// A command as a menu or toolbar sends it: WM_COMMAND(id, 0) posted to hWnd.
bool PostCommand(HWND hWnd, int id);
// A button's click as its dialog sees it: WM_COMMAND(id, BN_CLICKED, button).
bool ClickButton(HWND hDlg, int id);
// BM_CLICK posted to the button itself (the button then sends its own notification).
bool PressButton(HWND hDlg, int id);
// A key press (WM_KEYDOWN, WM_KEYUP) posted to the control that has the keyboard
// focus in hWnd's thread, or to hWnd when none of its windows has it. The
// dialog manager of the program turns Esc and Enter into IDCANCEL and IDOK.
bool PressKey(HWND hWnd, UINT vk);
// Makes hWnd the foreground window and waits until it is; false when it did not come to the front.
bool BringToFront(HWND hWnd);
// Key-downs and key-ups ({key, 0 or KEYEVENTF_KEYUP}) as the keyboard gives them
// (SendInput, so the program sees the key state and a repeated key-down its repeat bit).
bool SendKeys(std::initializer_list<std::pair<WORD, DWORD>> keys);
// A key as the keyboard gives it (SendInput, so the program sees the key state),
// with Ctrl held when asked, once hWnd is the foreground window; false when it
// did not come to the front.
bool TypeKey(HWND hWnd, WORD vk, bool ctrl = false);
// The Close box of the caption: WM_SYSCOMMAND SC_CLOSE.
bool PressCloseBox(HWND hWnd);

// ---------------------------------------------------------------------------
// Controls (read across processes; the driver must have the target's architecture)

// Rows of a report list view, each as its columns' texts.
using Rows = std::vector<std::vector<std::string>>;
Rows ListRows(HWND list);
std::vector<std::string> ListRow(HWND list, int row);
std::vector<std::string> ListColumns(HWND list);
// A column's width, and a text's width in the list's font, both as the list measures them (-1 on failure).
int ListColumnWidth(HWND list, int column);
int ListStringWidth(HWND list, const std::string& text);
int ListRowCount(HWND list);
// A row as its columns joined by " | ".
std::string JoinRow(const std::vector<std::string>& row);
// Every row on a line of its own, for failure messages.
std::string Dump(const Rows& rows);

// The toolbar child of a window, and the state of one of its buttons.
HWND FindToolbar(HWND parent);
bool ToolbarButtonEnabled(HWND toolbar, int command);

// Texts of a combo box's items; reads the strings an owner-drawn combo without
// CBS_HASSTRINGS keeps as item data.
std::vector<std::string> ComboItems(HWND combo);
// Selects the item whose text starts with the drive letter and tells the owner
// dialog (CBN_SELCHANGE), as choosing it with the mouse does.
bool SelectDrive(HWND hDlg, int comboId, char letter);

// ---------------------------------------------------------------------------
// Message boxes

struct MessageBoxInfo {
    HWND hWnd = nullptr;
    std::string caption;
    std::string text;        // the static 0xFFFF
    std::vector<int> buttons;  // IDOK, IDCANCEL, IDYES, IDNO, ...
};

// Message boxes of pid (dialogs holding a static 0xFFFF); caption "" matches any.
std::vector<MessageBoxInfo> FindMessageBoxes(DWORD pid, const std::string& caption = "");
// Waits for a message box; false on time-out.
bool WaitForMessageBox(DWORD pid, const std::string& caption, MessageBoxInfo* box, DWORD timeoutMs = kWindowTimeout);
// Answers a message box with one of its buttons (IDOK, IDYES, ...) and waits until it is gone.
bool AnswerMessageBox(const MessageBoxInfo& box, int button, DWORD timeoutMs = kWindowTimeout);

// ---------------------------------------------------------------------------
// Screenshots

// PNG of 8-bit RGB pixels, rows top to bottom, 3 bytes per pixel.
std::vector<unsigned char> EncodePng(int width, int height, const std::vector<unsigned char>& rgb);
// Saves the screen area of hWnd (nullptr: the whole screen) as it is shown now.
bool SaveScreenshot(HWND hWnd, const std::string& windowsPath);
// The screenshot directory: env KORVANE_SCREENS (Unix path) as a Windows path, or "" when unset.
std::string ScreensDirectory();
// A Unix path as Wine sees it (Z:\...); a Windows path is returned unchanged.
std::string ToWindowsPath(const std::string& path);
// Saves a screenshot named name (".png" added) under KORVANE_SCREENS; returns the
// Windows path written, or "" when KORVANE_SCREENS is unset or the save failed.
std::string SaveNamedScreenshot(HWND hWnd, const std::string& name);

// ---------------------------------------------------------------------------
// Printing

// The finished job in a print file (a Windows path): waits until the file ends
// in %%EOF and stops growing, and returns its text; "" when none came within timeoutMs.
std::string WaitForPrintJob(const std::string& path, DWORD timeoutMs);

// ---------------------------------------------------------------------------
// Keyboard shortcuts and the clipboard (clipboard.cpp)

// Ctrl+letter as the control with the focus in hWnd receives it once the program's
// loop has translated the key press: WM_CHAR with the control code (Ctrl+C: 3).
bool PressCtrlKey(HWND hWnd, char letter);
bool ClearClipboard();
// The clipboard's CF_TEXT, or "" when it holds none.
std::string ClipboardText();
// Waits until the clipboard holds text and returns it; "" on time-out.
std::string WaitForClipboardText(DWORD timeoutMs = kWindowTimeout);
// Text with its CR LF line ends as LF, for a Linux terminal or script.
std::string UnixLineEnds(const std::string& text);

// ---------------------------------------------------------------------------
// The cache device \\.\KELDR, asked directly

// Letters of the drives it handles, in its order; "" without the device.
std::string CacheDrives();
// A handled drive's flags word; false without the device or for a drive it does not handle.
bool CacheFlags(char letter, DWORD* flags);
// Passes a run of the drive has: two when the cache device handles it, one otherwise.
int PassesOf(char letter);
// The flags word the set-up gives every handled drive: KORVANE_DRIVER_FLAGS, 5 by default.
DWORD ConfiguredCacheFlags();
// Puts every handled drive's word at ConfiguredCacheFlags(); true without the device.
bool ResetCacheFlags();

// ---------------------------------------------------------------------------
// The program's windows

namespace korvane {
constexpr const char* kMainCaption = "Korvane";
constexpr const char* kResultsCaption = "CD-ROM Test Results";
constexpr const char* kWalkCaptionPrefix = "CD-ROM Directory Walk";
constexpr const char* kReadCaptionPrefix = "CD-ROM Random Read";
constexpr int kQuit = 1003;
constexpr int kDriveCombo = 1005;
constexpr int kResultList = 1006;
constexpr int kFileName = 1008;
constexpr int kVolumeLabel = 1010;
constexpr int kPrint = 32774;
constexpr int kRun = 32775;
constexpr int kHelp = 57670;
constexpr const char* kTotalText = "Total time of tests 1-4:";
// Texts of the program's message boxes.
constexpr const char* kFewFilesText =
    "This CD-ROM contains relatively few files and/or subdirectories.  For more accurate results, use another.";
constexpr const char* kSmallFileText =
    "For a valid test, you need a CD-ROM file larger than 2MB bytes.  None was found on this CD.  Try another.";
constexpr const char* kChangedDiscText =
    "You have changed CD-ROMs.  Before doing a Read test, You must Walk directories to locate the largest file.";
constexpr const char* kReadFailedText =
    "The CD-ROM could not be read.  The disc may be damaged or may have been removed.";
constexpr const char* kUdfWarningText =
    "You have a UDF formatted disc in your drive.  Korvane may not give accurate results with this file "
    "format.\n\nDo you want to use it anyway?";

// Counts the total rows whose time has been written.
int CompletedTotals(const Rows& rows);
// A pass's header row ("** Testing ... **"), and how many a list has.
bool IsPassHeader(const std::vector<std::string>& row);
int PassHeaders(const Rows& rows);

enum class RunState { Done, MessageBox, Closed, TimedOut };
// Waits until every pass of a run has written its total: expectedPasses totals,
// or (0) as many totals as headers with the list unchanged for 600 ms. Stops
// early when a message box of pid opens or the results window closes. *rows
// gets the list as last read.
// pollMs: the pause between looks. Each look asks the program's window for its
// rows; a timing run looks seldom, so that the looks cost the timed sections less.
RunState WaitForRunEnd(DWORD pid, HWND results, Rows* rows, int expectedPasses = 0, DWORD timeoutMs = kRunTimeout,
                       DWORD pollMs = kPollMs);

// Presses Print in the main dialog once it is enabled and waits for the finished
// job in printFile (a Windows path, deleted first so that no earlier job counts);
// false with *error set when Print stayed disabled or no job came.
bool PrintResults(HWND main, const std::string& printFile, std::string* error, DWORD timeoutMs = 20000);

enum class CopyBy { CtrlC, Menu, ShiftF10OnOk };
// Empties the clipboard, copies the results window's text with Ctrl+C, or with
// the list's menu item Copy: the menu opened by a right click of the mouse on the
// list, or by Shift+F10 typed with the focus on OK. Returns what the clipboard
// then holds; "" with *error set when no text came, or when the request opened
// no menu, a second one, or left the window in menu mode.
std::string CopyResults(HWND results, CopyBy by, std::string* error);
// Copies with Ctrl+C and prints the clipboard's text after a heading line, tabs
// kept, lines ending in LF; false (with a line saying why) when no text came.
bool PrintCopiedResults(HWND results);

// KORVANE.EXE for one test. Start() sets the cache device to its configured words first, so no earlier
// test's leftovers count; End() ends a program still running and sets the words again, since a killed
// run leaves its pass's word behind.
class Session {
public:
    ~Session() { End(); }
    // Starts exe and waits for the main dialog and its toolbar; false with *error set.
    bool Start(const std::string& exe, std::string* error);
    void End();
    DWORD Pid() const { return program.Pid(); }
    // A round trip through the main dialog's queue: what it was doing when asked is done.
    void Sync() const { ResponseTime(main); }
    // A command posted behind everything queued so far, answered: the About box opened and closed.
    bool Marker() const;
    bool PrintEnabled() const;
    // Picks the drive and presses Run; the results window, or nullptr.
    HWND Run(char drive) const;
    // Quit; true when the program ended with *code set.
    bool Quit(DWORD* code);

    Program program;
    HWND main = nullptr;
    HWND toolbar = nullptr;
};
}  // namespace korvane

}  // namespace uidriver
