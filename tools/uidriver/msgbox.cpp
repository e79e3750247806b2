// UI driver, message boxes: telling them from the program's own dialogs, reading and answering them.
#include "uidriver.h"

namespace uidriver {

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

}  // namespace uidriver
