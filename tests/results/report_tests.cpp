// The Print Results command on the test printer: what the printed page says.
#include "printhelpers.h"
#include "uidriver.h"
#include "app/maindlg.h"
#include "res/resource.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

const char* const kCachedE[] = {"E:\\", nullptr};

// The main dialog with drive E: chosen and known times stored for it.
class PrintCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = PrintFilePath();
        if (m_path.empty() || DefaultPrinterName().empty())
            GTEST_SKIP() << "no test printer (KORVANE_PRINT_FILE unset)";
        ASSERT_TRUE(m_dlg.Create(IDD_MAIN, nullptr));
        ASSERT_TRUE(Choose('E'));
        CBenchEngine& engine = *m_dlg.m_pEngine;
        for (int pass = 0; pass < 2; ++pass) {
            TestResults& r = engine.m_results[pass]['E' - 'A'];
            r.volumeLabel = std::string(pass == 0 ? "SMALLDISC" : "WRONG");
            r.flags = RESULT_WALK_DONE;
            r.walkSeconds = 1.25f + pass * 10;
            for (int c = 0; c < 3; ++c) {
                r.readSeconds[c][0] = 2.5f + c + pass * 10;
                r.readSeconds[c][1] = 3.75f + c + pass * 10;
            }
            r.totalSeconds = 1234.5f + pass;
        }
    }
    void TearDown() override { m_dlg.DestroyWindow(); }

    bool Choose(char letter)
    {
        for (size_t i = 0; i < m_dlg.m_driveCombo.m_drives.size(); ++i)
            if (m_dlg.m_driveCombo.m_pDriveList[i][0] == letter)
                return m_dlg.m_driveCombo.SetCurSel(static_cast<int>(i)) >= 0;
        return false;
    }

    // Presses Print and returns the finished job, empty when none came.
    std::string Print()
    {
        ::DeleteFileA(m_path.c_str());
        m_dlg.SendMessage(WM_COMMAND, ID_PRINT_RESULTS, 0);
        return uidriver::WaitForPrintJob(m_path, 10000);
    }

    // Presses Print, which ends its job before the command returns: no file then means no job.
    bool PrintsNothing()
    {
        ::DeleteFileA(m_path.c_str());
        m_dlg.SendMessage(WM_COMMAND, ID_PRINT_RESULTS, 0);
        return ::GetFileAttributesA(m_path.c_str()) == INVALID_FILE_ATTRIBUTES;
    }

    static void Save(const std::string& job, const char* name)
    {
        const std::string dir = uidriver::ScreensDirectory();
        if (!dir.empty())
            std::ofstream(dir + "\\" + name, std::ios::binary) << job;
    }

    static std::vector<std::string> Texts(const std::string& job)
    {
        std::vector<std::string> texts;
        for (const PrintedText& t : ExtractText(job))
            texts.push_back(t.text);
        return texts;
    }

    static std::vector<std::string> ExpectedTable(const char* heading, int pass)
    {
        char t[8][32];
        const float base = pass * 10.0f;
        std::snprintf(t[0], 32, "%6.2f seconds", 1.25f + base);
        for (int c = 0; c < 3; ++c) {
            std::snprintf(t[1 + 2 * c], 32, "%6.2f seconds", 2.5f + c + base);
            std::snprintf(t[2 + 2 * c], 32, "%6.2f seconds", 3.75f + c + base);
        }
        std::snprintf(t[7], 32, "%6.2f seconds", 1234.5f + pass);
        return {heading, "Test", "Description", "Time",
                "1", "Directory walk of drive E:\\", t[0],
                "2", "Sequential read of 384 blocks", t[1], "Random read of 384 blocks", t[2],
                "3", "Sequential read of 384 blocks", t[3], "Random read of 384 blocks", t[4],
                "4", "Sequential read of 384 blocks", t[5], "Random read of 384 blocks", t[6],
                "Total time for tests 1-4", t[7]};
    }

    std::string m_path;
    CMainDlg m_dlg;
};

std::vector<std::string> TitleBlock()
{
    return {"Korvane", "Version 3.20, " + LoadResString(IDS_COPYRIGHT), "CD-ROM volume used for test : SMALLDISC"};
}

TEST_F(PrintCommand, UncachedDrivePrintsOneTableOnOnePage)
{
    const std::string job = Print();
    ASSERT_FALSE(job.empty()) << "no finished job in " << m_path;
    Save(job, "print_single.ps");
    EXPECT_EQ(JobTitle(job), "Korvane Results");
    std::vector<std::string> expected = TitleBlock();
    for (const std::string& s : ExpectedTable("Testing Without Zelkor Cache", 0))
        expected.push_back(s);
    EXPECT_EQ(Texts(job), expected);
    EXPECT_EQ(job.find("%%Page: 2"), std::string::npos);
}

TEST_F(PrintCommand, CachedDrivePrintsBothPassesWithPassZeroLabel)
{
    m_dlg.m_cachedDrives = kCachedE;
    const std::string job = Print();
    ASSERT_FALSE(job.empty()) << "no finished job in " << m_path;
    Save(job, "print_cached.ps");
    std::vector<std::string> expected = TitleBlock();
    for (const std::string& s : ExpectedTable("Testing Without Zelkor Cache", 0))
        expected.push_back(s);
    for (const std::string& s : ExpectedTable("Testing With Zelkor Cache", 1))
        expected.push_back(s);
    EXPECT_EQ(Texts(job), expected);
}

// The default printer's entry, removed for the length of one test.
class NoDefaultPrinter {
public:
    NoDefaultPrinter()
    {
        DWORD size = sizeof m_device;
        m_had = ::RegGetValueA(HKEY_CURRENT_USER, kKey, "Device", RRF_RT_REG_SZ, nullptr, m_device, &size) ==
                ERROR_SUCCESS;
        ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, "Device");
    }
    ~NoDefaultPrinter()
    {
        if (m_had)
            ::RegSetKeyValueA(HKEY_CURRENT_USER, kKey, "Device", REG_SZ, m_device,
                              static_cast<DWORD>(std::strlen(m_device) + 1));
    }

private:
    static constexpr const char* kKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
    char m_device[512] = "";
    bool m_had = false;
};

TEST_F(PrintCommand, NoDefaultPrinterPrintsNothing)
{
    {
        NoDefaultPrinter none;
        ASSERT_EQ(DefaultPrinterName(), "");
        // A box would block here until the test's time runs out.
        EXPECT_TRUE(PrintsNothing());
    }
    EXPECT_FALSE(DefaultPrinterName().empty());
    EXPECT_FALSE(Print().empty());  // and printing works again once there is one
}

TEST_F(PrintCommand, PlaceholderDrivePrintsNothing)
{
    m_dlg.m_driveCombo.SetCurSel(-1);
    EXPECT_TRUE(PrintsNothing());
}

}  // namespace
