// UI driver: processes, windows, input, cross-process control reading, message boxes, screenshots.
#include "uidriver.h"
#include <commctrl.h>
#include <tlhelp32.h>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace uidriver {

namespace {
// Cross-process sends give up after this long, so a hung program cannot hang a test.
constexpr UINT kSendTimeout = 5000;

bool Send(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR* result = nullptr)
{
    DWORD_PTR value = 0;
    LRESULT ok = ::SendMessageTimeoutA(hWnd, msg, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendTimeout, &value);
    if (result)
        *result = value;
    return ok != 0;
}

DWORD WindowPid(HWND hWnd)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    return pid;
}

// Memory in another process for the pointer arguments of a control message.
class RemoteBuffer {
public:
    RemoteBuffer(HWND hWnd, SIZE_T size) : m_size(size)
    {
        m_hProcess = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                                   FALSE, WindowPid(hWnd));
        if (m_hProcess)
            m_pRemote = static_cast<char*>(::VirtualAllocEx(m_hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                                              PAGE_READWRITE));
    }
    ~RemoteBuffer()
    {
        if (m_pRemote)
            ::VirtualFreeEx(m_hProcess, m_pRemote, 0, MEM_RELEASE);
        if (m_hProcess)
            ::CloseHandle(m_hProcess);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool Valid() const { return m_pRemote != nullptr; }
    char* Address(SIZE_T offset = 0) const { return m_pRemote + offset; }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const
    {
        SIZE_T done = 0;
        return offset + size <= m_size && ::WriteProcessMemory(m_hProcess, m_pRemote + offset, data, size, &done) &&
               done == size;
    }
    bool Read(const void* remote, void* data, SIZE_T size) const
    {
        SIZE_T done = 0;
        return ::ReadProcessMemory(m_hProcess, remote, data, size, &done) && done == size;
    }

private:
    HANDLE m_hProcess = nullptr;
    char* m_pRemote = nullptr;
    SIZE_T m_size;
};

constexpr SIZE_T kTextMax = 512;
}  // namespace

// ---------------------------------------------------------------------------
// Processes

Program::~Program() { Kill(); }

bool Program::Start(const std::string& exe, std::string* error)
{
    Kill();
    std::string directory = exe.substr(0, exe.find_last_of("\\/") == std::string::npos ? 0 : exe.find_last_of("\\/"));
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // Detached standard handles: a program that inherits a shell's pipe keeps
    // the pipe open and a command substitution around the driver never ends.
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = INVALID_HANDLE_VALUE;
    startup.hStdError = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        if (error)
            *error = "cannot start " + exe + " (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    // A job that ends the program with the driver, even when the driver dies first.
    m_hJob = ::CreateJobObjectA(nullptr, nullptr);
    if (m_hJob) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!::SetInformationJobObject(m_hJob, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
            !::AssignProcessToJobObject(m_hJob, info.hProcess)) {
            ::CloseHandle(m_hJob);
            m_hJob = nullptr;
        }
    }
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);
    m_hProcess = info.hProcess;
    m_pid = info.dwProcessId;
    return true;
}

bool Program::Running() const
{
    return m_hProcess && ::WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT;
}

bool Program::WaitExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (!m_hProcess || ::WaitForSingleObject(m_hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    ::GetExitCodeProcess(m_hProcess, &code);
    if (exitCode)
        *exitCode = code;
    return true;
}

void Program::Kill()
{
    if (m_hProcess) {
        if (Running()) {
            ::TerminateProcess(m_hProcess, 0xDEAD);
            ::WaitForSingleObject(m_hProcess, 5000);
        }
        ::CloseHandle(m_hProcess);
        m_hProcess = nullptr;
    }
    if (m_hJob) {
        ::CloseHandle(m_hJob);
        m_hJob = nullptr;
    }
    m_pid = 0;
}

std::string ModuleDirectory()
{
    char path[MAX_PATH] = "";
    DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string text(path, length);
    return text.substr(0, text.find_last_of('\\') + 1);
}

// ---------------------------------------------------------------------------
// Windows

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

bool PaintNow(HWND hWnd)
{
    // RDW_UPDATENOW sends WM_PAINT, so the program has drawn when this returns.
    return ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
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

// ---------------------------------------------------------------------------
// Input

bool PostCommand(HWND hWnd, int id)
{
    return ::PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0) != 0;
}

bool ClickButton(HWND hDlg, int id)
{
    HWND button = ::GetDlgItem(hDlg, id);
    return ::PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != 0;
}

bool PressButton(HWND hDlg, int id)
{
    HWND button = ::GetDlgItem(hDlg, id);
    return button && ::PostMessageA(button, BM_CLICK, 0, 0) != 0;
}

bool PressKey(HWND hWnd, UINT vk)
{
    HWND target = hWnd;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(hWnd, nullptr), &info) && info.hwndFocus &&
        (info.hwndFocus == hWnd || ::IsChild(hWnd, info.hwndFocus)))
        target = info.hwndFocus;
    const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyA(vk, 0 /* MAPVK_VK_TO_VSC */)) << 16;
    return ::PostMessageA(target, WM_KEYDOWN, vk, scan | 1) &&
           ::PostMessageA(target, WM_KEYUP, vk, scan | 1 | (1u << 30) | (1u << 31));
}

bool PressCloseBox(HWND hWnd)
{
    return ::PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
}

// ---------------------------------------------------------------------------
// Controls

int ListRowCount(HWND list)
{
    DWORD_PTR count = 0;
    return Send(list, LVM_GETITEMCOUNT, 0, 0, &count) ? static_cast<int>(count) : -1;
}

static int ListColumnCount(HWND list)
{
    DWORD_PTR header = 0, count = 0;
    if (!Send(list, LVM_GETHEADER, 0, 0, &header) || !header ||
        !Send(reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0, &count))
        return 0;
    return static_cast<int>(count);
}

namespace {
std::vector<std::string> ReadRow(HWND list, const RemoteBuffer& remote, int row, int columns)
{
    std::vector<std::string> cells;
    for (int column = 0; column < columns; ++column) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = column;
        item.pszText = remote.Address(sizeof item);
        item.cchTextMax = kTextMax;
        char text[kTextMax] = "";
        DWORD_PTR length = 0;
        if (remote.Write(0, &item, sizeof item) && remote.Write(sizeof item, "", 1) &&
            Send(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote.Address()), &length))
            remote.Read(remote.Address(sizeof item), text, sizeof text - 1);
        cells.emplace_back(text);
    }
    return cells;
}
}  // namespace

std::vector<std::string> ListRow(HWND list, int row)
{
    const int columns = ListColumnCount(list);
    RemoteBuffer remote(list, sizeof(LVITEMA) + kTextMax);
    if (columns <= 0 || !remote.Valid())
        return std::vector<std::string>();
    return ReadRow(list, remote, row, columns);
}

Rows ListRows(HWND list)
{
    Rows rows;
    const int count = ListRowCount(list);
    const int columns = ListColumnCount(list);
    if (count <= 0 || columns <= 0)
        return rows;
    RemoteBuffer remote(list, sizeof(LVITEMA) + kTextMax);
    if (!remote.Valid())
        return rows;
    for (int row = 0; row < count; ++row)
        rows.push_back(ReadRow(list, remote, row, columns));
    return rows;
}

std::vector<std::string> ListColumns(HWND list)
{
    std::vector<std::string> names;
    const int columns = ListColumnCount(list);
    RemoteBuffer remote(list, sizeof(LVCOLUMNA) + kTextMax);
    if (!remote.Valid())
        return names;
    for (int column = 0; column < columns; ++column) {
        LVCOLUMNA info{};
        info.mask = LVCF_TEXT;
        info.pszText = remote.Address(sizeof info);
        info.cchTextMax = kTextMax;
        char text[kTextMax] = "";
        DWORD_PTR ok = 0;
        if (remote.Write(0, &info, sizeof info) &&
            Send(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(remote.Address()), &ok) && ok)
            remote.Read(remote.Address(sizeof info), text, sizeof text - 1);
        names.emplace_back(text);
    }
    return names;
}

std::string JoinRow(const std::vector<std::string>& row)
{
    std::string line;
    for (size_t i = 0; i < row.size(); ++i)
        line += (i ? " | " : "") + row[i];
    return line;
}

std::string Dump(const Rows& rows)
{
    std::string text;
    for (const auto& row : rows)
        text += JoinRow(row) + "\n";
    return text;
}

HWND FindToolbar(HWND parent)
{
    return ::FindWindowExA(parent, nullptr, TOOLBARCLASSNAMEA, nullptr);
}

bool ToolbarButtonEnabled(HWND toolbar, int command)
{
    DWORD_PTR enabled = 0;
    return Send(toolbar, TB_ISBUTTONENABLED, command, 0, &enabled) && enabled != 0;
}

std::vector<std::string> ComboItems(HWND combo)
{
    std::vector<std::string> items;
    DWORD_PTR count = 0;
    if (!Send(combo, CB_GETCOUNT, 0, 0, &count) || static_cast<LONG_PTR>(count) <= 0)
        return items;
    const bool hasStrings = (::GetWindowLongA(combo, GWL_STYLE) & CBS_HASSTRINGS) != 0;
    RemoteBuffer remote(combo, 16);
    for (DWORD_PTR i = 0; i < count; ++i) {
        char text[kTextMax] = "";
        if (hasStrings) {
            DWORD_PTR length = 0;
            if (Send(combo, CB_GETLBTEXTLEN, i, 0, &length) && length < sizeof text)
                Send(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        } else {
            // The item data is a pointer to the text in the program's memory.
            DWORD_PTR data = 0;
            if (remote.Valid() && Send(combo, CB_GETITEMDATA, i, 0, &data) && data)
                for (size_t k = 0; k + 1 < 16; ++k) {
                    if (!remote.Read(reinterpret_cast<const char*>(data) + k, &text[k], 1) || !text[k])
                        break;
                }
        }
        items.emplace_back(text);
    }
    return items;
}

bool SelectDrive(HWND hDlg, int comboId, char letter)
{
    HWND combo = ::GetDlgItem(hDlg, comboId);
    if (!combo)
        return false;
    std::vector<std::string> items = ComboItems(combo);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].empty() || std::toupper(static_cast<unsigned char>(items[i][0])) !=
                                     std::toupper(static_cast<unsigned char>(letter)))
            continue;
        DWORD_PTR selected = 0;
        return Send(combo, CB_SETCURSEL, i, 0, &selected) && selected == i &&
               Send(hDlg, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    }
    return false;
}

// ---------------------------------------------------------------------------
// Message boxes

namespace {
BOOL CALLBACK CheckMessageBoxChild(HWND child, LPARAM param)
{
    const int id = ::GetDlgCtrlID(child);
    if (!(id == 0xFFFF || (id >= IDOK && id <= IDCONTINUE) || id == 20 || id == 1088 || id == 9 /* IDHELP */))
        *reinterpret_cast<bool*>(param) = false;
    return TRUE;
}

// A dialog with the message text (static 0xFFFF) and nothing but the icon and
// the standard buttons; the program's own dialogs use 0xFFFF for their labels too.
bool IsMessageBox(HWND hWnd)
{
    if (ClassName(hWnd) != "#32770" || !::GetDlgItem(hWnd, 0xFFFF))
        return false;
    bool only = true;
    ::EnumChildWindows(hWnd, CheckMessageBoxChild, reinterpret_cast<LPARAM>(&only));
    return only;
}
}  // namespace

std::vector<MessageBoxInfo> FindMessageBoxes(DWORD pid, const std::string& caption)
{
    static const int kButtons[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, IDTRYAGAIN, IDCONTINUE};
    std::vector<MessageBoxInfo> boxes;
    for (HWND hWnd : TopWindows(pid)) {
        if (!IsMessageBox(hWnd))
            continue;
        MessageBoxInfo box;
        box.hWnd = hWnd;
        box.caption = WindowText(hWnd);
        if (!caption.empty() && box.caption != caption)
            continue;
        box.text = DlgItemText(hWnd, 0xFFFF);
        for (int id : kButtons) {
            HWND button = ::GetDlgItem(hWnd, id);
            if (button && ::IsWindowVisible(button))
                box.buttons.push_back(id);
        }
        boxes.push_back(box);
    }
    return boxes;
}

bool WaitForMessageBox(DWORD pid, const std::string& caption, MessageBoxInfo* box, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        std::vector<MessageBoxInfo> boxes = FindMessageBoxes(pid, caption);
        if (!boxes.empty()) {
            if (box)
                *box = boxes.front();
            return true;
        }
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        ::Sleep(kPollMs);
    }
}

bool AnswerMessageBox(const MessageBoxInfo& box, int button, DWORD timeoutMs)
{
    HWND control = ::GetDlgItem(box.hWnd, button);
    if (!control)
        return false;
    if (!::PostMessageA(box.hWnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control)))
        return false;
    return WaitForWindowGone(box.hWnd, timeoutMs);
}

// ---------------------------------------------------------------------------
// Screenshots

namespace {
uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc = 0)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        ready = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBig32(std::vector<unsigned char>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>(value >> shift));
}

void PutChunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data)
{
    PutBig32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, Crc32(out.data() + start, out.size() - start));
}
}  // namespace

std::vector<unsigned char> EncodePng(int width, int height, const std::vector<unsigned char>& rgb)
{
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    PutBig32(header, width);
    PutBig32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter, no interlace
    PutChunk(png, "IHDR", header);

    // Scanlines with filter type 0, then a zlib stream of stored blocks.
    std::vector<unsigned char> raw;
    const size_t stride = static_cast<size_t>(width) * 3;
    raw.reserve((stride + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + y * stride, rgb.begin() + (y + 1) * stride);
    }
    std::vector<unsigned char> zlib = {0x78, 0x01};
    size_t offset = 0;
    do {
        const size_t block = raw.size() - offset < 65535 ? raw.size() - offset : 65535;
        const bool last = offset + block == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<unsigned char>(block));
        zlib.push_back(static_cast<unsigned char>(block >> 8));
        zlib.push_back(static_cast<unsigned char>(~block));
        zlib.push_back(static_cast<unsigned char>(~block >> 8));
        zlib.insert(zlib.end(), raw.begin() + offset, raw.begin() + offset + block);
        offset += block;
    } while (offset < raw.size());
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(zlib, (b << 16) | a);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    return png;
}

bool SaveScreenshot(HWND hWnd, const std::string& windowsPath)
{
    RECT rect;
    if (hWnd) {
        if (!::GetWindowRect(hWnd, &rect))
            return false;
    } else {
        rect = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    // What the screen shows, not a fresh paint: colours a writer painted for a
    // moment stay visible until the window repaints.
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ok = ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT) != 0;
        ::GdiFlush();
        ::SelectObject(memory, old);
    }
    std::vector<unsigned char> rgb;
    if (ok) {
        rgb.resize(static_cast<size_t>(width) * height * 3);
        const unsigned char* p = static_cast<const unsigned char*>(bits);
        for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
            rgb[i * 3] = p[i * 4 + 2];
            rgb[i * 3 + 1] = p[i * 4 + 1];
            rgb[i * 3 + 2] = p[i * 4];
        }
    }
    if (bitmap)
        ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (!ok)
        return false;

    std::vector<unsigned char> png = EncodePng(width, height, rgb);
    HANDLE file = ::CreateFileA(windowsPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    ok = ::WriteFile(file, png.data(), static_cast<DWORD>(png.size()), &written, nullptr) && written == png.size();
    ::CloseHandle(file);
    return ok;
}

std::string ToWindowsPath(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return path;
    std::string converted = "Z:" + path;
    for (char& c : converted)
        if (c == '/')
            c = '\\';
    return converted;
}

std::string ScreensDirectory()
{
    const char* value = std::getenv("KORVANE_SCREENS");
    return value && *value ? ToWindowsPath(value) : std::string();
}

static void MakeDirectories(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            ::CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

std::string SaveNamedScreenshot(HWND hWnd, const std::string& name)
{
    std::string directory = ScreensDirectory();
    if (directory.empty())
        return std::string();
    MakeDirectories(directory);
    std::string path = directory + (directory.back() == '\\' ? "" : "\\") + name + ".png";
    return SaveScreenshot(hWnd, path) ? path : std::string();
}

// ---------------------------------------------------------------------------
// Printing

std::string WaitForPrintJob(const std::string& path, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    std::string last;
    int stableChecks = 0;
    while (::GetTickCount() - start < timeoutMs) {
        std::string text;
        if (FILE* file = std::fopen(path.c_str(), "rb")) {
            char buffer[65536];
            size_t got;
            while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
                text.append(buffer, got);
            std::fclose(file);
        }
        const size_t end = text.find_last_not_of("\r\n");
        const bool complete = end != std::string::npos && end >= 4 && text.compare(end - 4, 5, "%%EOF") == 0;
        stableChecks = complete && text == last ? stableChecks + 1 : 0;
        if (stableChecks >= 2)
            return text;
        last = text;
        ::Sleep(100);
    }
    return "";
}

// ---------------------------------------------------------------------------
// The cache device: drive list 11, drive state 8 (the flags word at offset 16), set flags 9

namespace {
HANDLE OpenCacheDevice()
{
    return ::CreateFileA("\\\\.\\KELDR", 0, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string DriveList(HANDLE device)
{
    BYTE drives[33] = {};
    DWORD count = 0;
    std::string letters;
    if (::DeviceIoControl(device, 11, nullptr, 0, drives, sizeof drives, &count, nullptr))
        for (DWORD i = 0; i < count && i < sizeof drives; ++i)
            letters += static_cast<char>('A' + drives[i]);
    return letters;
}
}  // namespace

std::string CacheDrives()
{
    HANDLE device = OpenCacheDevice();
    if (device == INVALID_HANDLE_VALUE)
        return std::string();
    std::string letters = DriveList(device);
    ::CloseHandle(device);
    return letters;
}

bool CacheFlags(char letter, DWORD* flags)
{
    HANDLE device = OpenCacheDevice();
    if (device == INVALID_HANDLE_VALUE)
        return false;
    bool ok = false;
    LONG number = std::toupper(static_cast<unsigned char>(letter)) - 'A';
    BYTE state[24] = {};
    DWORD got = 0;
    if (DriveList(device).find(static_cast<char>('A' + number)) != std::string::npos &&
        ::DeviceIoControl(device, 8, &number, sizeof number, state, sizeof state, &got, nullptr) && got == sizeof state) {
        std::memcpy(flags, state + 16, sizeof *flags);
        ok = true;
    }
    ::CloseHandle(device);
    return ok;
}

int PassesOf(char letter)
{
    return CacheDrives().find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))) == std::string::npos ? 1 : 2;
}

DWORD ConfiguredCacheFlags()
{
    const char* text = std::getenv("KORVANE_DRIVER_FLAGS");
    return text && *text ? static_cast<DWORD>(std::strtoul(text, nullptr, 0)) : 5;
}

bool ResetCacheFlags()
{
    HANDLE device = OpenCacheDevice();
    if (device == INVALID_HANDLE_VALUE)
        return true;
    const LONG flags = static_cast<LONG>(ConfiguredCacheFlags());
    bool ok = true;
    DWORD got = 0;
    for (char letter : DriveList(device)) {
        LONG request[2] = {letter - 'A', flags};
        ok = ::DeviceIoControl(device, 9, request, sizeof request, nullptr, 0, &got, nullptr) && ok;
    }
    ::CloseHandle(device);
    return ok;
}

// ---------------------------------------------------------------------------
// The program's windows

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
