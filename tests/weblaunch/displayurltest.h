// DisplayURL's test fixture: KELDR32.DLL loaded in this process, FAKEBROWSER.EXE
// as the browser, and the prefix's browser registration saved and put back.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>


typedef HCURSOR(WINAPI* DisplayUrlProc)(const char*);

const char kFakeClass[] = "KvFakeBrowser";
const char kTestClass[] = "KvWebLaunchTest";
const char kService[] = "KvFakeBrowser";
const char kTopic[] = "WWW_OpenURL";
const char kTemplate[] = "\"%1\",,-1,0,,,,";

enum Value { kTemplateValue, kCommandValue, kServiceValue, kTopicValue, kValueCount };
const char* const kKeys[kValueCount] = {
    "SOFTWARE\\classes\\http\\shell\\open\\ddeexec",
    "SOFTWARE\\classes\\http\\shell\\open\\command",
    "SOFTWARE\\classes\\http\\shell\\open\\ddeexec\\Application",
    "SOFTWARE\\classes\\http\\shell\\open\\ddeexec\\Topic",
};

inline std::string ModuleDir()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of('\\'));
}

inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Pumps this thread's messages until done() holds or timeoutMs has passed.
inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}

inline void Settle(DWORD ms)
{
    WaitFor([] { return false; }, ms);
}

// The browser registration's four values as they were, put back on destruction.
class SavedRegistration {
public:
    SavedRegistration()
    {
        for (int i = 0; i < kValueCount; ++i) {
            HKEY key;
            Saved& saved = m_saved[i];
            saved.keyExisted = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeys[i], 0, KEY_READ, &key) == ERROR_SUCCESS;
            if (!saved.keyExisted)
                continue;
            DWORD size = 0;
            if (RegQueryValueExA(key, nullptr, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
                saved.data.resize(size);
                saved.valueExisted = RegQueryValueExA(key, nullptr, nullptr, &saved.type, saved.data.data(),
                                                      &size) == ERROR_SUCCESS;
                saved.data.resize(size);
            }
            RegCloseKey(key);
        }
    }
    ~SavedRegistration()
    {
        // Subkeys come after their parent in kKeys: undo in reverse.
        for (int i = kValueCount - 1; i >= 0; --i) {
            const Saved& saved = m_saved[i];
            if (!saved.keyExisted) {
                RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKeys[i]);
                continue;
            }
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeys[i], 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
                continue;
            if (saved.valueExisted)
                RegSetValueExA(key, nullptr, 0, saved.type, saved.data.data(), static_cast<DWORD>(saved.data.size()));
            else
                RegDeleteValueA(key, nullptr);
            RegCloseKey(key);
        }
    }

private:
    struct Saved {
        bool keyExisted = false;
        bool valueExisted = false;
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    Saved m_saved[kValueCount];
};

inline void WriteValue(Value value, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeys[value], 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, nullptr, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

inline void WriteString(Value value, const std::string& text)
{
    WriteValue(value, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

inline void RemoveValue(Value value)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeys[value], 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, nullptr);
        RegCloseKey(key);
    }
}

inline HWND FakeWindow() { return FindWindowA(kFakeClass, nullptr); }

inline LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

class DisplayUrlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_library = LoadLibraryA((ModuleDir() + "\\KELDR32.DLL").c_str());
        if (s_library)
            s_displayUrl = reinterpret_cast<DisplayUrlProc>(
                reinterpret_cast<void (*)()>(GetProcAddress(s_library, "DisplayURL")));
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = TestWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kTestClass;
        RegisterClassA(&windowClass);
    }
    static void TearDownTestSuite()
    {
        if (s_library)
            FreeLibrary(s_library);
        s_library = nullptr;
        s_displayUrl = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(s_displayUrl, nullptr) << "KELDR32.DLL or its export DisplayURL is missing";
        ASSERT_EQ(FakeWindow(), nullptr) << "a fake browser from elsewhere is still running";
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        static int counter;
        m_log = std::string(temp) + "kvfake-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter) + ".log";
        DeleteFileA(m_log.c_str());
        m_registration = std::make_unique<SavedRegistration>();
        Register(kService);
        m_window = CreateWindowExA(0, kTestClass, "WebLaunch test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 300, 200,
                                   120, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_window, nullptr);
        TakeForeground();
    }

    void TearDown() override
    {
        EndFakes();
        EXPECT_EQ(FakeWindow(), nullptr) << "a fake browser outlived its test";
        if (m_window)
            DestroyWindow(m_window);
        m_registration.reset();
        DeleteFileA(m_log.c_str());
    }

    std::string FakeCommandLine(const std::string& options = "") const
    {
        return Quoted(ModuleDir() + "\\FAKEBROWSER.EXE") + " --log " + Quoted(m_log) + " " + options + " \"%1\"";
    }

    // A complete registration for the fake browser with the given options.
    void Register(const std::string& service, const std::string& options = "")
    {
        WriteString(kTemplateValue, kTemplate);
        WriteString(kCommandValue, FakeCommandLine("--service " + service + " " + options));
        WriteString(kServiceValue, service);
        WriteString(kTopicValue, kTopic);
    }

    // Starts a fake browser as a user would have, and waits until it serves.
    HWND StartFake(const std::string& options = "")
    {
        std::string commandLine = FakeCommandLine(options);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            ADD_FAILURE() << "cannot start the fake browser: " << GetLastError();
            return nullptr;
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        const size_t ready = Count("READY") + 1;
        EXPECT_TRUE(WaitFor([&] { return Count("READY") >= ready; }, 10000)) << "the fake browser did not start";
        return FakeWindow();
    }

    // Ends every fake browser, whoever started it.
    void EndFakes()
    {
        std::vector<HANDLE> processes;
        for (HWND window; (window = FakeWindow()) != nullptr && processes.size() < 16;) {
            DWORD id = 0;
            GetWindowThreadProcessId(window, &id);
            HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
            PostMessageA(window, WM_CLOSE, 0, 0);
            if (!process)
                break;
            if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0)
                TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            processes.push_back(process);
        }
        for (HANDLE process : processes)
            CloseHandle(process);
    }

    // Makes the test's window the foreground one and waits until it stays so:
    // a browser that has just shown itself may still take the focus late.
    void TakeForeground()
    {
        bool held = false;
        for (int attempt = 0; attempt < 5 && !held; ++attempt) {
            SetForegroundWindow(m_window);
            held = WaitFor([&] { return GetForegroundWindow() == m_window; }, 1000);
            Settle(200);
            held = held && GetForegroundWindow() == m_window;
        }
        EXPECT_TRUE(held) << "the test's window did not keep the foreground";
    }

    // Calls the export the way an outside program does, with a known cursor
    // that must be current again afterwards.
    void Call(const char* address)
    {
        HCURSOR before = LoadCursorA(nullptr, MAKEINTRESOURCEA(32515));  // IDC_CROSS
        SetCursor(before);
        HCURSOR result = s_displayUrl(address);
        EXPECT_EQ(GetCursor(), before) << "the cursor was not restored";
        EXPECT_EQ(result, LoadCursorA(nullptr, MAKEINTRESOURCEA(32650))) << "the busy cursor was not shown";
    }

    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        HANDLE file = CreateFileA(m_log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return lines;
        std::string text;
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read)
            text.append(buffer, read);
        CloseHandle(file);
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    // The DDE events the fake recorded, without its own start-up lines.
    std::vector<std::string> Events() const
    {
        std::vector<std::string> events;
        for (const std::string& line : Lines())
            if (line.compare(0, 6, "START ") != 0 && line != "READY")
                events.push_back(line);
        return events;
    }

    size_t Count(const std::string& prefix) const
    {
        size_t count = 0;
        for (const std::string& line : Lines())
            count += line.compare(0, prefix.size(), prefix) == 0;
        return count;
    }

    bool LogExists() const { return GetFileAttributesA(m_log.c_str()) != INVALID_FILE_ATTRIBUTES; }

    // Calls DisplayURL and waits until the command has arrived and the window
    // step, if any, is over.
    void CallAndWait(const char* address, bool windowStep = true)
    {
        const size_t executes = Count("EXECUTE ");
        const size_t requests = Count("REQUEST ");
        Call(address);
        EXPECT_TRUE(WaitFor([&] { return Count("EXECUTE ") > executes; }, 5000)) << "no command arrived";
        if (windowStep) {
            EXPECT_TRUE(WaitFor([&] { return Count("REQUEST ") > requests; }, 5000)) << "no window request";
        }
        // The window step is done inside the call; a round trip through the browser's
        // queue lets it take (or not) the activation it was sent.
        if (HWND browser = FakeWindow())
            SendMessageTimeoutA(browser, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    }

    // What one call sends to a running browser that answers everything.
    static std::vector<std::string> OneCall(const std::string& address)
    {
        return {"CONNECT WWW_OpenURL", "DISCONNECT",
                "CONNECT WWW_OpenURL", "EXECUTE \"" + address + "\",,-1,0,,,,", "DISCONNECT",
                "CONNECT WWW_GetWindowInfo", "REQUEST WWW_GetWindowInfo -1", "DISCONNECT"};
    }

    std::string m_log;
    std::unique_ptr<SavedRegistration> m_registration;
    HWND m_window = nullptr;
    inline static HMODULE s_library;
    inline static DisplayUrlProc s_displayUrl;
};
