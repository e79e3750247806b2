// A stand-in web browser for KELDR32's tests: serves DDE under a given service and records what arrives.
//
// FAKEBROWSER.EXE --log FILE [--service NAME] [--topic NAME] [--title TEXT]
//                 [--show normal|min|max] [--reply TEXT] [--reply-unterminated]
//                 [--lifetime MS] [anything else, such as "%1", is ignored]
// The log gets one line per event: START <command line>, READY, CONNECT <topic>,
// EXECUTE <command>, REQUEST <topic> <item>, DISCONNECT. The window's caption
// is the title followed by " - Fake Browser"; window-information requests are
// answered with "1","<title>","Fake Browser" unless --reply gives the text.
#include <windows.h>
#include <ddeml.h>

#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

const char kWindowClass[] = "KvFakeBrowser";
const char kWindowInfoTopic[] = "WWW_GetWindowInfo";

std::string g_log;
std::string g_topic = "WWW_OpenURL";
std::string g_reply;
bool g_replyUnterminated = false;
DWORD g_instance;
HWND g_window;

void Record(const std::string& line)
{
    // Opened per line so a test reads every event as soon as it happened.
    HANDLE file = CreateFileA(g_log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string StringOf(HSZ handle)
{
    if (!handle)
        return std::string();
    char text[512] = "";
    DdeQueryStringA(g_instance, handle, text, sizeof text, CP_WINANSI);
    return text;
}

HDDEDATA CALLBACK OnDde(UINT type, UINT format, HCONV, HSZ topic, HSZ item, HDDEDATA data, ULONG_PTR, ULONG_PTR)
{
    switch (type) {
    case XTYP_CONNECT: {
        const std::string name = StringOf(topic);
        Record("CONNECT " + name);
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(name == g_topic || name == kWindowInfoTopic));
    }
    case XTYP_EXECUTE: {
        const DWORD size = DdeGetData(data, nullptr, 0, 0);
        std::string command(size, '\0');
        if (size)
            DdeGetData(data, reinterpret_cast<LPBYTE>(&command[0]), size, 0);
        command.resize(strlen(command.c_str()));
        Record("EXECUTE " + command);
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DDE_FACK));
    }
    case XTYP_REQUEST: {
        const std::string topicName = StringOf(topic), itemName = StringOf(item);
        Record("REQUEST " + topicName + " " + itemName);
        if (format != CF_TEXT || topicName != kWindowInfoTopic || itemName != "-1")
            return nullptr;
        const DWORD size = static_cast<DWORD>(g_reply.size() + (g_replyUnterminated ? 0 : 1));
        return DdeCreateDataHandle(g_instance, reinterpret_cast<LPBYTE>(&g_reply[0]), size, 0, item, CF_TEXT, 0);
    }
    case XTYP_DISCONNECT:
        Record("DISCONNECT");
        return nullptr;
    default:
        return nullptr;
    }
}

LRESULT CALLBACK OnWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::string service = "KvFakeBrowser", title = "Fake Page", show = "normal";
    UINT lifetime = 60000;
    bool replyGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--log" && hasValue)
            g_log = argv[++i];
        else if (arg == "--service" && hasValue)
            service = argv[++i];
        else if (arg == "--topic" && hasValue)
            g_topic = argv[++i];
        else if (arg == "--title" && hasValue)
            title = argv[++i];
        else if (arg == "--show" && hasValue)
            show = argv[++i];
        else if (arg == "--reply" && hasValue) {
            g_reply = argv[++i];
            replyGiven = true;
        } else if (arg == "--reply-unterminated")
            g_replyUnterminated = true;
        else if (arg == "--lifetime" && hasValue)
            lifetime = static_cast<UINT>(strtoul(argv[++i], nullptr, 10));
    }
    if (g_log.empty())
        return 2;
    if (!replyGiven)
        g_reply = "\"1\",\"" + title + "\",\"Fake Browser\"";
    Record(std::string("START ") + GetCommandLineA());

    // Everything is served before the first wait for input, which is when
    // WinExec hands control back to the program that started us.
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = OnWindowMessage;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    const std::string caption = title + " - Fake Browser";
    g_window = CreateWindowExA(0, kWindowClass, caption.c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 320, 200, nullptr,
                               nullptr, windowClass.hInstance, nullptr);
    if (!g_window)
        return 3;
    if (DdeInitializeA(&g_instance, OnDde, APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS, 0) !=
        DMLERR_NO_ERROR)
        return 4;
    HSZ serviceName = DdeCreateStringHandleA(g_instance, service.c_str(), CP_WINANSI);
    if (!serviceName || !DdeNameService(g_instance, serviceName, nullptr, DNS_REGISTER))
        return 5;
    ShowWindow(g_window, show == "min" ? SW_SHOWMINIMIZED : show == "max" ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    // A bounded life: a test that fails to end us does not leave us behind.
    SetTimer(g_window, 1, lifetime, nullptr);
    Record("READY");

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DdeNameService(g_instance, serviceName, nullptr, DNS_UNREGISTER);
    DdeFreeStringHandle(g_instance, serviceName);
    DdeUninitialize(g_instance);
    return 0;
}
