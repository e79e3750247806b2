// End to end: the release package, unpacked into KORVANE_DIST_DIR by release_zip.sh, runs a disc.
#include "session.h"

namespace {

class Dist : public Session {
protected:
    void SetUp() override
    {
        const std::string dir = Env("KORVANE_DIST_DIR");
        if (dir.empty())
            GTEST_SKIP() << "KORVANE_DIST_DIR unset (release_zip.sh sets it)";
        m_dir = ToWindowsPath(dir);
        if (m_dir.back() != '\\')
            m_dir += '\\';
        StartProgram(m_dir + "KORVANE.EXE");
    }
    std::string m_dir;
};

TEST_F(Dist, UnpackedProgramRunsASmallDisc)
{
    // The process runs the unpacked copy, not the build's.
    char path[MAX_PATH] = "";
    DWORD size = MAX_PATH;
    ASSERT_TRUE(::QueryFullProcessImageNameA(Process(), 0, path, &size));
    EXPECT_EQ(_stricmp(path, (m_dir + "KORVANE.EXE").c_str()), 0) << path;
    Outcome out = RunDisc('E', PassesOf('E'), "hard_dist_run");
    ASSERT_TRUE(out.complete) << out.caption << " " << out.text << "\n" << Dump(out.rows);
    EXPECT_EQ(out.fewFilesWarnings, 1);
    EXPECT_EQ(out.label, "SMALLDISC");
    EXPECT_EQ(out.file, "BIGFILE.BIN");
    Dismiss(out);
    EXPECT_TRUE(PrintEnabled());
    ExpectQuitsWith(0);
}

}  // namespace
