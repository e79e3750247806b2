// The end-to-end test fixture: KORVANE.EXE started for each test, driven from outside, and ended after it.
#pragma once
#include <gtest/gtest.h>
#include "uidriver.h"

class KorvaneTest : public ::testing::Test {
protected:
    void SetUp() override { StartProgram(uidriver::ModuleDirectory() + "KORVANE.EXE"); }
    void TearDown() override { m_session.End(); }

    void StartProgram(const std::string& exe)
    {
        std::string error;
        ASSERT_TRUE(m_session.Start(exe, &error)) << exe << ": " << error;
        m_main = m_session.main;
        m_toolbar = m_session.toolbar;
    }

    DWORD Pid() const { return m_session.Pid(); }
    void Sync() const { m_session.Sync(); }
    bool PrintEnabled() const { return m_session.PrintEnabled(); }
    HWND Run(char drive) const { return m_session.Run(drive); }

    uidriver::MessageBoxInfo ExpectBox(const char* caption, const char* text) const
    {
        uidriver::MessageBoxInfo box;
        EXPECT_TRUE(uidriver::WaitForMessageBox(Pid(), caption, &box)) << "no message box \"" << caption << "\"";
        EXPECT_EQ(box.text, text);
        return box;
    }

    // A picture under KORVANE_SCREENS, when it is set.
    void Shot(HWND hWnd, const char* name) const
    {
        if (!uidriver::ScreensDirectory().empty()) {
            EXPECT_FALSE(uidriver::SaveNamedScreenshot(hWnd, name).empty()) << "screenshot " << name;
        }
    }

    void ExpectQuitsWith(DWORD expected = 0)
    {
        DWORD code = 0xFFFFFFFF;
        ASSERT_TRUE(m_session.Quit(&code)) << "the program did not end after Quit";
        EXPECT_EQ(code, expected);
    }

    void ExpectEndsWith(DWORD expected)
    {
        DWORD code = 0xFFFFFFFF;
        ASSERT_TRUE(m_session.program.WaitExit(10000, &code)) << "the program did not end";
        EXPECT_EQ(code, expected);
    }

    uidriver::korvane::Session m_session;
    HWND m_main = nullptr;
    HWND m_toolbar = nullptr;
};
