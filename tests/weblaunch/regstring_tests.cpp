// KELDR32's registry reading.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>
#include <string>

#include "regstring.h"

class RegString : public ::testing::Test {
protected:
    static constexpr const char* kKey = "Software\\KorvaneTest\\RegString";

    void SetUp() override { ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                      nullptr, &m_key, nullptr),
                                      ERROR_SUCCESS); }
    void TearDown() override
    {
        RegCloseKey(m_key);
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvaneTest");
    }
    void Set(DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(RegSetValueExA(m_key, nullptr, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    std::string Read(const char* subkey = kKey)
    {
        char* text = keldr::ReadRegString(HKEY_CURRENT_USER, subkey, nullptr);
        if (!text)
            return "<none>";
        std::string result = text;
        free(text);
        return result;
    }
    HKEY m_key = nullptr;
};

TEST_F(RegString, ReadsAPlainString)
{
    Set(REG_SZ, "\"C:\\b.exe\" \"%1\"", 16);
    EXPECT_EQ(Read(), "\"C:\\b.exe\" \"%1\"");
}

TEST_F(RegString, MissingKeyOrValueOrOtherTypeOrEmptyIsAbsent)
{
    EXPECT_EQ(Read("Software\\KorvaneTest\\NoSuchKey"), "<none>");
    EXPECT_EQ(Read(), "<none>");
    Set(REG_EXPAND_SZ, "%SystemRoot%\\b.exe", 19);
    EXPECT_EQ(Read(), "<none>");
    const DWORD number = 5;
    Set(REG_DWORD, &number, sizeof number);
    EXPECT_EQ(Read(), "<none>");
    Set(REG_SZ, nullptr, 0);
    EXPECT_EQ(Read(), "<none>");
    Set(REG_SZ, "", 1);
    EXPECT_EQ(Read(), "<none>");
}

TEST_F(RegString, ValueWithoutTerminatingZeroEndsAtItsSize)
{
    // The byte after the counted ones is not a NUL, so it is stored unterminated.
    Set(REG_SZ, "BrowserXYZ", 7);
    EXPECT_EQ(Read(), "Browser");
}
