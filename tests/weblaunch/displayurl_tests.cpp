// DisplayURL end to end against FAKEBROWSER.EXE, under this prefix's registry: the conversations, the command, the registration.
#include "displayurltest.h"

namespace {

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
