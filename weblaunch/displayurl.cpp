// KELDR32's export DisplayURL: opens a web address in the registered browser over DDE.
#include <windows.h>
#include <ddeml.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "ddetext.h"
#include "regstring.h"

namespace {

const char kDdeExecKey[] = "SOFTWARE\\classes\\http\\shell\\open\\ddeexec";
const char kCommandKey[] = "SOFTWARE\\classes\\http\\shell\\open\\command";
const char kApplicationKey[] = "SOFTWARE\\classes\\http\\shell\\open\\ddeexec\\Application";
const char kTopicKey[] = "SOFTWARE\\classes\\http\\shell\\open\\ddeexec\\Topic";
const char kSkipWindowService[] = "IExplore";
const char kWindowInfoTopic[] = "WWW_GetWindowInfo";
const char kWindowInfoItem[] = "-1";
const DWORD kWindowInfoTimeout = 1000;
const size_t kCaptionBuffer = 256;

// The window search's one result slot; calls must not overlap.
HWND g_foundWindow;

struct CaptionSearch {
    const char* title;
    int count;  // characters read per caption, with the NUL
    char* caption;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM param)
{
    CaptionSearch* search = reinterpret_cast<CaptionSearch*>(param);
    search->caption[0] = '\0';
    GetWindowTextA(window, search->caption, search->count);
    if (lstrcmpA(search->caption, search->title) == 0) {
        g_foundWindow = window;
        return FALSE;
    }
    return TRUE;
}

HDDEDATA CALLBACK DdeCallback(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return type == XTYP_ADVDATA ? reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DDE_FACK)) : nullptr;
}

// The first top-level window whose caption begins with title, or none.
HWND FindTopWindowByTitle(const char* title)
{
    g_foundWindow = nullptr;
    const size_t length = strlen(title);
    // Every caption begins with an empty title: no window is the browser's.
    if (length == 0 || length >= static_cast<size_t>(INT_MAX))
        return g_foundWindow;
    // Titles too long for the usual buffer get one that holds them whole, so
    // they are compared in full and nothing is written past a buffer.
    char buffer[kCaptionBuffer];
    char* caption = length < kCaptionBuffer ? buffer : static_cast<char*>(malloc(length + 1));
    if (!caption)
        return g_foundWindow;
    CaptionSearch search{title, static_cast<int>(length + 1), caption};
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    if (caption != buffer)
        free(caption);
    return g_foundWindow;
}

// Asks the browser for its window's title and brings that window forward.
void RaiseBrowserWindow(DWORD instance, HSZ service, HSZ topic, HSZ item)
{
    HCONV conversation = DdeConnect(instance, service, topic, nullptr);
    if (!conversation)
        return;
    HDDEDATA reply =
        DdeClientTransaction(nullptr, 0, conversation, item, CF_TEXT, XTYP_REQUEST, kWindowInfoTimeout, nullptr);
    if (reply) {
        DWORD size = 0;
        const char* text = reinterpret_cast<const char*>(DdeAccessData(reply, &size));
        if (text) {
            const keldr::TitleSpan span = keldr::FindWindowInfoTitle(text, size);
            // A copy of the title, so the reply itself stays as received.
            char* title = span.found ? static_cast<char*>(malloc(span.length + 1)) : nullptr;
            if (title) {
                memcpy(title, text + span.offset, span.length);
                title[span.length] = '\0';
                HWND window = FindTopWindowByTitle(title);
                if (window) {
                    if (IsIconic(window))
                        ShowWindow(window, SW_RESTORE);
                    SetForegroundWindow(window);
                }
                free(title);
            }
            DdeUnaccessData(reply);
        }
        DdeFreeDataHandle(reply);
    }
    DdeDisconnect(conversation);
}

void OpenInBrowser(DWORD instance, const char* command, const char* commandLine, const char* serviceName,
                   const char* topicName)
{
    HSZ service = DdeCreateStringHandleA(instance, serviceName, CP_WINANSI);
    HSZ topic = DdeCreateStringHandleA(instance, topicName, CP_WINANSI);
    if (service && topic) {
        HCONV probe = DdeConnect(instance, service, topic, nullptr);
        if (probe)
            DdeDisconnect(probe);
        else
            WinExec(commandLine, SW_SHOWNORMAL);
        HCONV conversation = DdeConnect(instance, service, topic, nullptr);
        if (conversation) {
            DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<char*>(command)),
                                 static_cast<DWORD>(strlen(command) + 1), conversation, nullptr, 0, XTYP_EXECUTE,
                                 TIMEOUT_ASYNC, nullptr);
            DdeDisconnect(conversation);
        }
    }
    if (strcmp(serviceName, kSkipWindowService) != 0) {
        if (topic)
            DdeFreeStringHandle(instance, topic);
        topic = DdeCreateStringHandleA(instance, kWindowInfoTopic, CP_WINANSI);
        HSZ item = DdeCreateStringHandleA(instance, kWindowInfoItem, CP_WINANSI);
        if (service && topic && item)
            RaiseBrowserWindow(instance, service, topic, item);
        if (item)
            DdeFreeStringHandle(instance, item);
    }
    if (topic)
        DdeFreeStringHandle(instance, topic);
    if (service)
        DdeFreeStringHandle(instance, service);
}

}  // namespace

extern "C" HCURSOR WINAPI DisplayURL(const char* address)
{
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32650)));  // IDC_APPSTARTING

    char* command = nullptr;
    if (address) {
        char* templ = keldr::ReadRegString(HKEY_LOCAL_MACHINE, kDdeExecKey, nullptr);
        if (templ) {
            command = keldr::BuildDdeCommand(templ, address);
            free(templ);
        }
    }
    char* commandLine = keldr::ReadRegString(HKEY_LOCAL_MACHINE, kCommandKey, nullptr);
    char* service = keldr::ReadRegString(HKEY_LOCAL_MACHINE, kApplicationKey, nullptr);
    char* topic = keldr::ReadRegString(HKEY_LOCAL_MACHINE, kTopicKey, nullptr);

    if (commandLine && command && service && topic) {
        DWORD instance = 0;
        if (DdeInitializeA(&instance, DdeCallback, APPCMD_CLIENTONLY, 0) == DMLERR_NO_ERROR) {
            OpenInBrowser(instance, command, commandLine, service, topic);
            DdeUninitialize(instance);
        }
    }

    free(command);
    free(topic);
    free(service);
    free(commandLine);
    return SetCursor(previous);
}
