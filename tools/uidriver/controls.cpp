// UI driver, controls: list views, toolbars and combo boxes read across processes.
#include "internal.h"
#include <commctrl.h>
#include <cctype>

namespace uidriver {

namespace {
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
}  // namespace

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

int ListColumnWidth(HWND list, int column)
{
    DWORD_PTR width = 0;
    return Send(list, LVM_GETCOLUMNWIDTH, column, 0, &width) ? static_cast<int>(width) : -1;
}

int ListStringWidth(HWND list, const std::string& text)
{
    RemoteBuffer remote(list, text.size() + 1);
    DWORD_PTR width = 0;
    if (!remote.Valid() || !remote.Write(0, text.c_str(), text.size() + 1) ||
        !Send(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(remote.Address()), &width))
        return -1;
    return static_cast<int>(width);
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

}  // namespace uidriver
