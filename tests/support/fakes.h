// Test doubles behind the program's seams: a disc held in memory with a tick
// clock, a cache device that answers the three requests, a message recorder,
// the shell's icons.
#pragma once
#include "app/shellicons.h"
#include "engine/seams.h"
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct FakeEntry {
    std::string name;
    bool directory;
    uint64_t size;
    std::string shortName;
};

// A disc of directories and files. Paths use backslashes and no trailing one:
// "D:" is the root, "D:\DIR" a folder, "D:\DIR\FILE.DAT" a file.
class FakeDisc : public IDiscAccess {
public:
    std::map<std::string, std::vector<FakeEntry>> dirs;
    std::map<std::string, uint64_t> files;     // files that can be opened, by path
    std::map<std::string, DWORD> openErrors;   // paths whose open fails with this error
    std::string label = "TESTDISC";
    std::string fileSystem = "CDFS";
    bool present = true;
    DWORD drives = 0;                          // GetLogicalDrives
    std::map<char, UINT> driveTypes;

    // The clock: every block read costs readTicks, every search call findTicks.
    int64_t now = 1000;
    int64_t frequency = 1000;
    int64_t readTicks = 1;
    int64_t findTicks = 0;

    // Called before each Read with its running number (0 = first); returning
    // false makes that read fail.
    std::function<bool(int)> onRead;
    // Called at each FindFirst with the pattern.
    std::function<void(const std::string&)> onFindFirst;
    // Called at the start of every find ('f'), volume query ('v'), open ('o'),
    // seek ('s') and read ('r') with its running number (0 = first).
    std::function<void(int, char)> onOperation;
    int operations = 0;
    int reads = 0;
    int openHandles = 0;
    int openSearches = 0;
    std::vector<DWORD> seeks;                  // every seek offset, in order

    void AddDir(const std::string& path);
    // A folder listed under a long name that does not open; only its short
    // name leads into it (contents go under parent\shortName).
    void AddDirByShortName(const std::string& parent, const std::string& longName, const std::string& shortName);
    // A file; with a short name, only the short name opens it (its long name
    // is one the code page cannot spell).
    void AddFile(const std::string& path, uint64_t size, const std::string& shortName = "");

    HANDLE FindFirst(const char* pattern, WIN32_FIND_DATAA* data) override;
    BOOL FindNext(HANDLE search, WIN32_FIND_DATAA* data) override;
    BOOL FindClose(HANDLE search) override;
    BOOL GetVolumeInformation(const char* root, char* label, DWORD labelSize, char* fsName, DWORD fsNameSize) override;
    DWORD GetLogicalDrives() override { return drives; }
    UINT GetDriveType(const char* root) override;
    HANDLE OpenFile(const char* path) override;
    DWORD FileSize(HANDLE file) override;
    BOOL Seek(HANDLE file, DWORD offset) override;
    BOOL Read(HANDLE file, void* buffer, DWORD size, DWORD* got) override;
    BOOL CloseFile(HANDLE file) override;
    LONGLONG ReadCounter() override { return now; }
    LONGLONG CounterFrequency() override { return frequency; }

private:
    struct Search { std::vector<FakeEntry> entries; size_t next; };
    struct File { uint64_t size; uint64_t pos; };
    static void Fill(const FakeEntry& e, WIN32_FIND_DATAA* data);
    void Operation(char kind)
    {
        const int index = operations++;
        if (onOperation)
            onOperation(index, kind);
    }
};

// The cache driver: drives it handles and their state records.
class FakeCacheDevice : public ICacheDevice {
public:
    bool openable = true;
    std::vector<unsigned char> driveNumbers;   // answer of request 11
    std::map<int, uint32_t> flags;             // by drive number
    struct Request { DWORD code; int drive; uint32_t flags; };
    std::vector<Request> requests;
    int opens = 0, closes = 0;
    // Called after each request 9 is applied.
    std::function<void(int drive, uint32_t flags)> onSetFlags;

    HANDLE Open(const char* name) override;
    BOOL Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override;
    BOOL Close(HANDLE device) override;
};

class MessageRecorder : public IMessageBoxes {
public:
    struct Box { std::string text, caption; UINT style; };
    std::vector<Box> boxes;
    int answer = IDOK;
    std::function<void(const Box&)> onShow;
    int Show(const char* text, const char* caption, UINT style) override;
};

// The shell's icons: records what it is asked and answers without a shell: the
// image list set here (none by default), the stock icon index set here, and a
// copy of the application icon as shell32's icon when shellIcon is set.
class ShellIconRecorder : public IShellIcons {
public:
    std::vector<std::string> paths;
    std::vector<int> stockIds;
    std::vector<int> iconIds;
    HIMAGELIST list = nullptr;
    int stockIndex = -1;
    bool shellIcon = false;
    HIMAGELIST SmallImageList(const char* path) override
    {
        paths.push_back(path);
        return list;
    }
    int StockIconIndex(int id) override
    {
        stockIds.push_back(id);
        return stockIndex;
    }
    HICON SmallShellIcon(int id) override
    {
        iconIds.push_back(id);
        return shellIcon ? ::CopyIcon(::LoadIconA(nullptr, IDI_APPLICATION)) : nullptr;
    }
};

// Installs the doubles for one test and puts the Win32 ones back after it.
struct ScopedSeams {
    ScopedSeams(FakeDisc* disc, FakeCacheDevice* device, MessageRecorder* messages, IShellIcons* shell = nullptr)
    {
        SetDisc(disc);
        SetCacheDevice(device);
        SetMessages(messages);
        SetShellIcons(shell);
    }
    ~ScopedSeams()
    {
        SetDisc(nullptr);
        SetCacheDevice(nullptr);
        SetMessages(nullptr);
        SetShellIcons(nullptr);
    }
};
