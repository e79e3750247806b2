// UI driver, windows: finding and waiting for top-level windows, their texts, and the program's run worker.
#include "internal.h"
#include <tlhelp32.h>

namespace uidriver {

namespace {
struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    if (::IsWindowVisible(hWnd) && (search->pid == 0 || WindowPid(hWnd) == search->pid))
        search->found.push_back(hWnd);
    return TRUE;
}
}  // namespace

std::vector<HWND> TopWindows(DWORD pid)
{
    WindowSearch search{pid, {}};
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindTopWindow(DWORD pid, const std::string& caption, bool prefix)
{
    for (HWND hWnd : TopWindows(pid)) {
        std::string text = WindowText(hWnd);
        if (prefix ? text.compare(0, caption.size(), caption) == 0 : text == caption)
            return hWnd;
    }
    return nullptr;
}

HWND WaitForWindow(DWORD pid, const std::string& caption, DWORD timeoutMs, bool prefix)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (HWND hWnd = FindTopWindow(pid, caption, prefix))
            return hWnd;
        if (::GetTickCount() - start >= timeoutMs)
            return nullptr;
        ::Sleep(kPollMs);
    }
}

bool WaitForWindowGone(HWND hWnd, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (::IsWindow(hWnd) && ::IsWindowVisible(hWnd)) {
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        ::Sleep(kPollMs);
    }
    return true;
}

std::string WindowText(HWND hWnd)
{
    char text[kTextMax] = "";
    int length = ::GetWindowTextA(hWnd, text, sizeof text);
    return std::string(text, length > 0 ? length : 0);
}

namespace {
// What Windows knows of the GUI state of hWnd's thread; all zero when it cannot say.
GUITHREADINFO ThreadInfo(HWND hWnd)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(hWnd, nullptr), &info))
        info = GUITHREADINFO{};
    return info;
}
}  // namespace

HWND FocusOf(HWND hWnd) { return ThreadInfo(hWnd).hwndFocus; }

bool InMenuMode(HWND hWnd) { return (ThreadInfo(hWnd).flags & GUI_INMENUMODE) != 0; }

std::string ClassName(HWND hWnd)
{
    char name[256] = "";
    int length = ::GetClassNameA(hWnd, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

std::string DlgItemText(HWND hDlg, int id)
{
    HWND item = ::GetDlgItem(hDlg, id);
    if (!item)
        return std::string();
    // WM_GETTEXT is carried across processes with its buffer, unlike control messages.
    char text[kTextMax] = "";
    DWORD_PTR length = 0;
    if (!Send(item, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), &length))
        return std::string();
    return std::string(text, length < sizeof text ? length : 0);
}

int ResponseTime(HWND hWnd, DWORD timeoutMs)
{
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutA(hWnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result))
        return -1;
    ::QueryPerformanceCounter(&end);
    return static_cast<int>((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
}

void Pause(DWORD ms) { ::Sleep(ms); }

namespace {
BOOL CALLBACK NoteUnpainted(HWND hWnd, LPARAM unpainted)
{
    if (::IsWindowVisible(hWnd) && ::GetUpdateRect(hWnd, nullptr, FALSE))
        *reinterpret_cast<bool*>(unpainted) = true;
    return TRUE;
}
}  // namespace

bool PaintNow(HWND hWnd)
{
    if (!::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW))
        return false;
    // A window of another program paints when that program next runs its queue:
    // wait until neither it nor a child has anything left to paint.
    for (DWORD waited = 0; waited < kWindowTimeout; waited += kPollMs) {
        bool unpainted = ::GetUpdateRect(hWnd, nullptr, FALSE) != FALSE;
        ::EnumChildWindows(hWnd, NoteUnpainted, reinterpret_cast<LPARAM>(&unpainted));
        if (!unpainted)
            return true;
        ::Sleep(kPollMs);
    }
    return false;
}

DWORD RunWorkerThread(DWORD pid)
{
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD found = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more && !found; more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != pid)
            continue;
        if (HANDLE thread = ::OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID)) {
            if (::GetThreadPriority(thread) == THREAD_PRIORITY_TIME_CRITICAL)
                found = entry.th32ThreadID;
            ::CloseHandle(thread);
        }
    }
    ::CloseHandle(snapshot);
    return found;
}

bool WaitForRunWorkerEnd(DWORD pid, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (RunWorkerThread(pid)) {
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        ::Sleep(kPollMs);
    }
    return true;
}

}  // namespace uidriver
