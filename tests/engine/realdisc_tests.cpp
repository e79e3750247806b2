// The walk and the read tests on real folders and files through the Win32
// calls: deep and wide trees, long paths, odd names, files that change or
// vanish under the tests.
#include "engine/benchengine.h"
#include "res/resource.h"
#include "tests/support/fakes.h"
#include "tests/support/listspy.h"
#include <gtest/gtest.h>
#include <functional>
#include <memory>

namespace {

std::string TempDir(const char* name)
{
    char base[MAX_PATH];
    ::GetTempPathA(sizeof base, base);
    std::string dir = std::string(base) + name;
    ::CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void WriteFile(const std::string& path, DWORD size)
{
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
    ::SetFilePointer(h, static_cast<LONG>(size), nullptr, FILE_BEGIN);
    ::SetEndOfFile(h);
    ::CloseHandle(h);
}

void RemoveTree(const std::string& dir)
{
    WIN32_FIND_DATAA f;
    HANDLE h = ::FindFirstFileA((dir + "\\*.*").c_str(), &f);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = f.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                ::DeleteFileA(path.c_str());
        } while (::FindNextFileA(h, &f));
        ::FindClose(h);
    }
    ::RemoveDirectoryA(dir.c_str());
}

// The Win32 disc with a hook before each block read.
class HookedDisc : public IDiscAccess {
public:
    explicit HookedDisc(IDiscAccess& real) : m_real(real) {}
    std::function<void(int)> beforeRead;
    int reads = 0;
    HANDLE FindFirst(const char* p, WIN32_FIND_DATAA* d) override { return m_real.FindFirst(p, d); }
    BOOL FindNext(HANDLE s, WIN32_FIND_DATAA* d) override { return m_real.FindNext(s, d); }
    BOOL FindClose(HANDLE s) override { return m_real.FindClose(s); }
    BOOL GetVolumeInformation(const char* r, char* l, DWORD ls, char* f, DWORD fs) override
    {
        return m_real.GetVolumeInformation(r, l, ls, f, fs);
    }
    DWORD GetLogicalDrives() override { return m_real.GetLogicalDrives(); }
    UINT GetDriveType(const char* r) override { return m_real.GetDriveType(r); }
    HANDLE OpenFile(const char* p) override { return m_real.OpenFile(p); }
    DWORD FileSize(HANDLE f) override { return m_real.FileSize(f); }
    BOOL Seek(HANDLE f, DWORD o) override { return m_real.Seek(f, o); }
    BOOL Read(HANDLE f, void* b, DWORD s, DWORD* g) override
    {
        if (beforeRead)
            beforeRead(reads);
        ++reads;
        return m_real.Read(f, b, s, g);
    }
    BOOL CloseFile(HANDLE f) override { return m_real.CloseFile(f); }
    LONGLONG ReadCounter() override { return m_real.ReadCounter(); }
    LONGLONG CounterFrequency() override { return m_real.CounterFrequency(); }

private:
    IDiscAccess& m_real;
};

class RealDiscTest : public ::testing::Test {
protected:
    MessageRecorder messages;
    FakeCacheDevice device;
    std::unique_ptr<CCacheControl> cache;
    std::unique_ptr<CBenchEngine> engine;
    void SetUp() override
    {
        device.openable = false;
        SetMessages(&messages);
        SetCacheDevice(&device);
        cache = std::make_unique<CCacheControl>();
        engine = std::make_unique<CBenchEngine>(cache.get(), nullptr);
        ASSERT_TRUE(engine->m_resultsDlg.Create(IDD_RESULTS, nullptr));
    }
    void TearDown() override
    {
        engine.reset();
        SetDisc(nullptr);
        SetMessages(nullptr);
        SetCacheDevice(nullptr);
    }
    void Walk(const std::string& dir)
    {
        engine->m_largestFileSize = engine->m_fileCount = engine->m_subdirCount = 0;
        engine->m_driveIndex = 2;
        engine->WalkDirectory(dir + "\\*.*");
    }
};

} // namespace

TEST_F(RealDiscTest, DeepTreeAndPathsPastTheLimit)
{
    const std::string root = TempDir("kv-deep");
    std::string dir = root;
    int levels = 0, reachable = 0;
    // 120 levels, as deep as the file system lets us go.
    for (int i = 0; i < 120; ++i) {
        std::string next = dir + "\\LEVEL" + std::to_string(100 + i);
        if (!::CreateDirectoryA(next.c_str(), nullptr))
            break;
        dir = next;
        ++levels;
        if ((dir + "\\*.*").size() < MAX_PATH)
            ++reachable;
    }
    WriteFile(root + "\\TOP.DAT", 10);
    Walk(root);
    // Every level the ANSI calls can reach is walked; deeper ones are skipped
    // as failed searches, without a message.
    ASSERT_GT(levels, reachable);
    EXPECT_EQ(reachable + 1, engine->m_subdirCount);  // the first level too long is counted, not walked
    EXPECT_EQ(1, engine->m_fileCount);
    EXPECT_TRUE(messages.boxes.empty());
    RemoveTree(root);
}

TEST_F(RealDiscTest, OddNamesAndAWideFolder)
{
    const std::string root = TempDir("kv-names");
    const std::string names[] = {"with blanks.dat", "100% sure.dat", "R&D notes.txt", "caf\xe9.txt"};
    for (const std::string& n : names)
        WriteFile(root + "\\" + n, 100);
    WriteFile(root + "\\big & 50%.dat", 2097152 + 7);
    const std::string wide = root + "\\MANY";
    ::CreateDirectoryA(wide.c_str(), nullptr);
    for (int i = 0; i < 1000; ++i)
        WriteFile(wide + "\\F" + std::to_string(i) + ".TXT", 0);
    Walk(root);
    EXPECT_EQ(1, engine->m_subdirCount);
    EXPECT_EQ(1005, engine->m_fileCount);
    EXPECT_EQ(root + "\\big & 50%.dat", engine->m_largestFile[2]);

    // The read tests open and read that file as it is named.
    engine->m_testNumber = 1;
    EXPECT_EQ(1, engine->RunReadTests("C:\\"));
    EXPECT_TRUE(messages.boxes.empty());
    RemoveTree(root);
}

TEST_F(RealDiscTest, FileRemovedOrTruncatedUnderTheTests)
{
    const std::string root = TempDir("kv-vanish");
    const std::string file = root + "\\MOVIE.DAT";
    WriteFile(file, 3000000);
    Walk(root);
    ASSERT_EQ(file, engine->m_largestFile[2]);

    // Truncated to 10 blocks during cycle 0: reads past the end return no
    // bytes, which is not an error; the tests complete.
    HookedDisc hooked(Disc());
    SetDisc(&hooked);
    hooked.beforeRead = [&](int n) {
        if (n == 100) {
            HANDLE h = ::CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
            ::SetFilePointer(h, 20480, nullptr, FILE_BEGIN);
            ::SetEndOfFile(h);
            ::CloseHandle(h);
        }
    };
    engine->m_testNumber = 1;
    EXPECT_EQ(1, engine->RunReadTests("C:\\"));
    EXPECT_TRUE(messages.boxes.empty());
    // The file is closed: it can be deleted now.
    EXPECT_TRUE(::DeleteFileA(file.c_str()));

    // Removed between the walk and the read tests: the changed-disc message.
    EXPECT_EQ(0, engine->RunReadTests("C:\\"));
    ASSERT_EQ(1u, messages.boxes.size());
    EXPECT_EQ(kChangedDiscMessage, messages.boxes[0].text);
    RemoveTree(root);
}

// The seek takes the whole unsigned 32-bit range: past 2 GiB, where the low word
// is negative as a LONG, and at 4 GiB - 1, whose position reads as the error value.
TEST(RealDiscSeek, ReachesEveryOffsetUpToFourGigabytesLessOne)
{
    const std::string path = TempDir("kv-seek") + "\\SPARSE.DAT";
    const DWORD offsets[] = {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu};
    HANDLE out = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, out);
    for (DWORD at : offsets) {
        LONG high = 0;
        ::SetFilePointer(out, static_cast<LONG>(at), &high, FILE_BEGIN);
        const BYTE mark = static_cast<BYTE>(at >> 24) ^ static_cast<BYTE>(at);
        DWORD wrote = 0;
        ASSERT_TRUE(::WriteFile(out, &mark, 1, &wrote, nullptr)) << std::hex << at;
    }
    ::CloseHandle(out);

    HANDLE in = Disc().OpenFile(path.c_str());
    ASSERT_NE(INVALID_HANDLE_VALUE, in);
    for (DWORD at : offsets) {
        BYTE got = 0;
        DWORD read = 0;
        ASSERT_TRUE(Disc().Seek(in, at)) << std::hex << at;
        ASSERT_TRUE(Disc().Read(in, &got, 1, &read)) << std::hex << at;
        EXPECT_EQ(1u, read);
        EXPECT_EQ(static_cast<BYTE>(at >> 24) ^ static_cast<BYTE>(at), got) << std::hex << at;
    }
    Disc().CloseFile(in);
    EXPECT_FALSE(Disc().Seek(INVALID_HANDLE_VALUE, 0));  // a failure is told apart from 0xFFFFFFFF
    ::DeleteFileA(path.c_str());
    ::RemoveDirectoryA(TempDir("kv-seek").c_str());
}
