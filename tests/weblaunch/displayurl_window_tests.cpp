// DisplayURL end to end: what it does to the browser's window after the address is sent.
#include "displayurltest.h"

namespace {

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

}  // namespace
