// Print Results after a real run of KORVANE.EXE on E: (SMALLDISC), pressed from outside.
#include "tests/results/printhelpers.h"
#include "korvanetest.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <fstream>

namespace {

using namespace uidriver;
namespace kv = uidriver::korvane;

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(' ');
    const size_t b = s.find_last_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

int Count(const std::vector<std::string>& texts, const std::string& text)
{
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

using EndToEndPrint = KorvaneTest;

TEST_F(EndToEndPrint, PrintAfterARunOnSmallDiscGivesOnePageWithItsTimes)
{
    const std::string printFile = PrintFilePath();
    if (printFile.empty())
        GTEST_SKIP() << "no test printer (KORVANE_PRINT_FILE unset)";
    HWND results = Run('E');
    ASSERT_TRUE(results) << "the results window did not open";
    // SMALLDISC has few files: its warning is answered and the run goes on.
    ASSERT_TRUE(AnswerMessageBox(ExpectBox("Warning", kv::kFewFilesText), IDOK));
    Rows rows;
    ASSERT_EQ(kv::WaitForRunEnd(Pid(), results, &rows, PassesOf('E')), kv::RunState::Done) << Dump(rows);
    const int passes = kv::PassHeaders(rows);
    ASSERT_GE(passes, 1);
    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));
    ASSERT_TRUE(PrintEnabled());

    ::DeleteFileA(printFile.c_str());
    ASSERT_TRUE(PostCommand(m_main, kv::kPrint));
    const std::string job = uidriver::WaitForPrintJob(printFile, 15000);
    ASSERT_FALSE(job.empty()) << "nothing printed";
    const std::string shots = ScreensDirectory();
    if (!shots.empty())
        std::ofstream(shots + "\\e2e_print.ps", std::ios::binary) << job;

    std::vector<std::string> texts;
    for (const PrintedText& t : ExtractText(job))
        texts.push_back(t.text);
    EXPECT_EQ(JobTitle(job), "Korvane Results");
    EXPECT_EQ(job.find("%%Page: 2"), std::string::npos) << "more than one page";
    EXPECT_EQ(Count(texts, "CD-ROM volume used for test : SMALLDISC"), 1);
    EXPECT_EQ(Count(texts, "Testing Without Zelkor Cache"), 1);
    EXPECT_EQ(Count(texts, "Testing With Zelkor Cache"), passes - 1);
    EXPECT_EQ(Count(texts, "Directory walk of drive E:\\"), passes);

    // The printed times are the list's times ("%8.2f" there, "%6.2f" here).
    std::vector<std::string> listed, printed;
    for (const auto& row : rows)
        if (row.size() >= 3 && row[2].find(" seconds") != std::string::npos)
            listed.push_back(Trim(row[2]));
    for (const std::string& t : texts)
        if (t.find(" seconds") != std::string::npos)
            printed.push_back(Trim(t));
    EXPECT_EQ(printed, listed);
    EXPECT_EQ(printed.size(), static_cast<size_t>(8 * passes));

    ExpectQuitsWith(0);
}

}  // namespace
