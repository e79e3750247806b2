// Print Results after a real run of KORVANE.EXE on E: (SMALLDISC), pressed from outside.
#include "tests/printing/printhelpers.h"
#include "uidriver.h"
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

TEST(EndToEndPrint, PrintAfterARunOnSmallDiscGivesOnePageWithItsTimes)
{
    const std::string printFile = PrintFilePath();
    if (printFile.empty())
        GTEST_SKIP() << "no test printer (KORVANE_PRINT_FILE unset)";
    Program program;
    std::string error;
    ASSERT_TRUE(program.Start(ModuleDirectory() + "KORVANE.EXE", &error)) << error;
    HWND main = WaitForWindow(program.Pid(), kv::kMainCaption, 30000);
    ASSERT_TRUE(main);
    ASSERT_TRUE(SelectDrive(main, kv::kDriveCombo, 'E'));
    ASSERT_TRUE(PostCommand(main, kv::kRun));

    // SMALLDISC has few files: its warning is answered and the run goes on.
    HWND results = nullptr;
    Rows rows;
    const DWORD start = ::GetTickCount();
    while (!results && ::GetTickCount() - start < kWindowTimeout) {
        for (const MessageBoxInfo& box : FindMessageBoxes(program.Pid()))
            AnswerMessageBox(box, IDOK);
        results = FindTopWindow(program.Pid(), kv::kResultsCaption);
        Pause(20);
    }
    ASSERT_TRUE(results) << "the results window did not open";
    for (;;) {
        const kv::RunState state = kv::WaitForRunEnd(program.Pid(), results, &rows);
        if (state == kv::RunState::Done)
            break;
        ASSERT_EQ(state, kv::RunState::MessageBox) << "the run did not end";
        for (const MessageBoxInfo& box : FindMessageBoxes(program.Pid()))
            AnswerMessageBox(box, IDOK);
    }
    const int passes = kv::PassHeaders(rows);
    ASSERT_GE(passes, 1);
    ClickButton(results, IDOK);
    ASSERT_TRUE(WaitForWindowGone(results));
    Pause(100);
    ASSERT_TRUE(ToolbarButtonEnabled(FindToolbar(main), kv::kPrint));

    ::DeleteFileA(printFile.c_str());
    ASSERT_TRUE(PostCommand(main, kv::kPrint));
    const std::string job = WaitForJob(printFile, 15000);
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

    ClickButton(main, kv::kQuit);
    DWORD code = 1;
    EXPECT_TRUE(program.WaitExit(10000, &code));
    EXPECT_EQ(code, 0u);
}

}  // namespace
