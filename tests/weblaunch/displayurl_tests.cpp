// End-to-end tests of KELDR32.DLL's DisplayURL against FAKEBROWSER.EXE, under this prefix's registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

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

std::string ModuleDir()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of('\\'));
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Pumps this thread's messages until done() holds or timeoutMs has passed.
bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs)
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

void Settle(DWORD ms)
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

void WriteValue(Value value, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeys[value], 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, nullptr, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void WriteString(Value value, const std::string& text)
{
    WriteValue(value, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void RemoveValue(Value value)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeys[value], 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, nullptr);
        RegCloseKey(key);
    }
}

HWND FakeWindow() { return FindWindowA(kFakeClass, nullptr); }

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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
    static HMODULE s_library;
    static DisplayUrlProc s_displayUrl;
};

HMODULE DisplayUrlTest::s_library;
DisplayUrlProc DisplayUrlTest::s_displayUrl;

TEST_F(DisplayUrlTest, StartsTheBrowserWithItsStoredCommandLineWhenNoServerAnswers)
{
    const std::string stored = FakeCommandLine("--service " + std::string(kService) + " ");
    CallAndWait("http://example.test/start");

    const std::vector<std::string> lines = Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "START " + stored) << "the command line was not run as stored";
    EXPECT_EQ(Count("START "), 1u);
    EXPECT_EQ(Count("EXECUTE "), 1u);
    EXPECT_EQ(Count("EXECUTE \"http://example.test/start\",,-1,0,,,,"), 1u);
    EXPECT_TRUE(WaitFor([] { return GetForegroundWindow() == FakeWindow(); }, 10000));
}

TEST_F(DisplayUrlTest, SendsToARunningBrowserOverASecondConversation)
{
    ASSERT_NE(StartFake("--service " + std::string(kService)), nullptr);
    CallAndWait("http://example.test/running");

    EXPECT_EQ(Count("START "), 1u) << "the running browser was started again";
    EXPECT_EQ(Events(), OneCall("http://example.test/running"));
}

TEST_F(DisplayUrlTest, CommandIsTheTemplateWithTheAddressInItsFirstMarker)
{
    ASSERT_NE(StartFake("--service " + std::string(kService)), nullptr);
    struct Case {
        const char* templ;
        const char* address;
        const char* command;
    } const cases[] = {
        {"\"%1\",,-1,0,,,,", "http://a.test/say \"hi\" 100% &q=%1 %20", "\"http://a.test/say \"hi\" 100% &q=%1 %20\",,-1,0,,,,"},
        {"[open(\"%1\",\"%1\")]", "http://a.test/", "[open(\"http://a.test/\",\"%1\")]"},
        {"[activate]", "http://a.test/", "[activate]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.templ);
        WriteString(kTemplateValue, c.templ);
        CallAndWait(c.address);
        const std::vector<std::string> lines = Lines();
        std::string last;
        for (const std::string& line : lines)
            if (line.compare(0, 8, "EXECUTE ") == 0)
                last = line.substr(8);
        EXPECT_EQ(last, c.command);
    }
    EXPECT_EQ(Count("EXECUTE "), 3u);
    EXPECT_EQ(Count("START "), 1u);
}

TEST_F(DisplayUrlTest, ServiceIExploreSkipsTheWindowStep)
{
    Register("IExplore");
    ASSERT_NE(StartFake("--service IExplore"), nullptr);
    TakeForeground();
    CallAndWait("http://example.test/ie", false);
    EXPECT_EQ(Count("CONNECT WWW_GetWindowInfo"), 0u);
    EXPECT_EQ(Count("EXECUTE \"http://example.test/ie\""), 1u);
    EXPECT_EQ(GetForegroundWindow(), m_window);

    // The name is compared case-sensitively, while DDE finds the server
    // whatever the case: "iexplore" gets the window step.
    WriteString(kServiceValue, "iexplore");
    CallAndWait("http://example.test/ie2");
    EXPECT_EQ(Count("CONNECT WWW_GetWindowInfo"), 1u);
    EXPECT_TRUE(WaitFor([] { return GetForegroundWindow() == FakeWindow(); }, 10000));
}

TEST_F(DisplayUrlTest, MinimisedBrowserIsRestoredAndBroughtForward)
{
    HWND browser = StartFake("--service " + std::string(kService) + " --show min");
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(IsIconic(browser));
    TakeForeground();
    CallAndWait("http://example.test/min");
    EXPECT_TRUE(WaitFor([&] { return !IsIconic(browser) && GetForegroundWindow() == browser; }, 10000))
        << "iconic " << IsIconic(browser) << ", foreground is the browser " << (GetForegroundWindow() == browser);
}

TEST_F(DisplayUrlTest, BrowserNotMinimisedIsOnlyBroughtForward)
{
    HWND browser = StartFake("--service " + std::string(kService) + " --show max");
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(IsZoomed(browser));
    TakeForeground();
    CallAndWait("http://example.test/max");
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == browser; }, 10000));
    EXPECT_TRUE(IsZoomed(browser)) << "a maximised window was restored";
}

TEST_F(DisplayUrlTest, LongTitlesAreComparedWhole)
{
    for (size_t length : {255u, 256u, 300u}) {
        SCOPED_TRACE(length);
        std::string title;
        for (size_t i = 0; i < length; ++i)
            title += static_cast<char>('a' + i % 26);
        std::string other = title;
        other[length - 2] = 'Z';
        for (const std::string& replyTitle : {title, other}) {
            const bool same = replyTitle == title;
            HWND browser = StartFake("--service " + std::string(kService) + " --title " + title + " --reply \"\\\"1\\\",\\\"" +
                                     replyTitle + "\\\"\"");
            ASSERT_NE(browser, nullptr);
            TakeForeground();
            CallAndWait("http://example.test/long");
            if (same) {
                EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == browser; }, 10000));
            } else {
                EXPECT_EQ(GetForegroundWindow(), m_window) << "a window whose caption differs was brought forward";
            }
            EndFakes();
        }
    }
}

TEST_F(DisplayUrlTest, MalformedWindowInformationLeavesWindowsAlone)
{
    // Parsing itself is covered in-process; these reach it through DDE, the
    // unterminated ones with no NUL anywhere in the data.
    struct Case {
        const char* reply;
        bool unterminated;
    } const cases[] = {{"no quotes here", true}, {"\"1\",\"Fake Page", true}, {"\"1\",\"\"", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.reply) + (c.unterminated ? " unterminated" : ""));
        std::string escaped;
        for (const char* p = c.reply; *p; ++p)
            escaped += *p == '"' ? std::string("\\\"") : std::string(1, *p);
        HWND browser = StartFake("--service " + std::string(kService) + " --reply \"" + escaped + "\"" +
                                 (c.unterminated ? " --reply-unterminated" : ""));
        ASSERT_NE(browser, nullptr);
        TakeForeground();
        CallAndWait("http://example.test/malformed");
        EXPECT_EQ(GetForegroundWindow(), m_window);
        EndFakes();
    }
}

TEST_F(DisplayUrlTest, IncompleteRegistrationStartsAndSendsNothing)
{
    enum Breakage { kMissing, kExpandType, kZeroSize, kEmptyText };
    const char* const breakageNames[] = {"missing", "REG_EXPAND_SZ", "zero size", "empty text"};
    const auto breakRegistration = [&](Value value, Breakage breakage) {
        Register(kService);
        switch (breakage) {
        case kMissing:
            RemoveValue(value);
            break;
        case kExpandType: {
            char text[1024] = "";
            const std::string good = value == kTemplateValue  ? kTemplate
                                     : value == kCommandValue ? FakeCommandLine("--service " + std::string(kService))
                                     : value == kServiceValue ? kService
                                                              : kTopic;
            lstrcpynA(text, good.c_str(), sizeof text);
            WriteValue(value, REG_EXPAND_SZ, text, static_cast<DWORD>(strlen(text) + 1));
            break;
        }
        case kZeroSize:
            WriteValue(value, REG_SZ, nullptr, 0);
            break;
        case kEmptyText:
            WriteValue(value, REG_SZ, "", 1);
            break;
        }
    };

    // Browser not running: nothing may start it.
    for (int value = 0; value < kValueCount; ++value)
        for (int breakage = kMissing; breakage <= kEmptyText; ++breakage) {
            SCOPED_TRACE(std::string(kKeys[value]) + ", " + breakageNames[breakage]);
            breakRegistration(static_cast<Value>(value), static_cast<Breakage>(breakage));
            Call("http://example.test/none");
            EXPECT_FALSE(LogExists()) << "the browser was started";
            EndFakes();
            DeleteFileA(m_log.c_str());
        }

    // Browser running: nothing may reach it.
    ASSERT_NE(StartFake("--service " + std::string(kService)), nullptr);
    for (int value = 0; value < kValueCount; ++value)
        for (int breakage = kMissing; breakage <= kEmptyText; ++breakage) {
            SCOPED_TRACE(std::string(kKeys[value]) + ", " + breakageNames[breakage]);
            breakRegistration(static_cast<Value>(value), static_cast<Breakage>(breakage));
            Call("http://example.test/none");
        }
    // A good call after them as the marker: its events are the only ones.
    Register(kService);
    CallAndWait("http://example.test/marker");
    EXPECT_EQ(Events(), OneCall("http://example.test/marker"));
    EXPECT_EQ(Count("START "), 1u);
}

TEST_F(DisplayUrlTest, NullAddressSendsNothing)
{
    ASSERT_NE(StartFake("--service " + std::string(kService)), nullptr);
    Call(nullptr);
    CallAndWait("http://example.test/marker");
    EXPECT_EQ(Events(), OneCall("http://example.test/marker"));
}

TEST_F(DisplayUrlTest, ValueStoredWithoutTerminatingZeroIsReadToItsSize)
{
    // The byte after the counted ones is not a NUL, so the value is stored unterminated.
    const std::string service = std::string(kService) + "XYZ";
    WriteValue(kServiceValue, REG_SZ, service.c_str(), static_cast<DWORD>(strlen(kService)));
    ASSERT_NE(StartFake("--service " + std::string(kService)), nullptr);
    CallAndWait("http://example.test/unterminated");
    EXPECT_EQ(Count("EXECUTE \"http://example.test/unterminated\""), 1u);
}

TEST(WebLaunchLibrary, ExportsDisplayUrlUndecoratedWithItsVersion)
{
    const std::string path = ModuleDir() + "\\KELDR32.DLL";
    HMODULE library = LoadLibraryA(path.c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_NE(GetProcAddress(library, "DisplayURL"), nullptr);
    EXPECT_EQ(GetProcAddress(library, "DisplayURL@4"), nullptr);
    EXPECT_EQ(GetProcAddress(library, "_DisplayURL@4"), nullptr);
    FreeLibrary(library);

    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &infoSize));
    EXPECT_EQ(info->dwFileVersionMS, 0x00030002u);
    EXPECT_EQ(info->dwFileVersionLS, 0x00010000u);
    EXPECT_EQ(info->dwProductVersionMS, 0x00030002u);
    EXPECT_EQ(info->dwFileType, static_cast<DWORD>(VFT_DLL));
}

}  // namespace
