// CBenchEngine: a run of the tests on a worker thread, the directory walk, the
// read tests and the measured times of every drive and pass. The run driver is
// in rundriver.cpp, the walk in walktest.cpp, the reads in readtests.cpp and the
// report's drawing in results/report.cpp.
#pragma once
#include "../results/resultsdlg.h"
#include "cachecontrol.h"
#include "constants.h"
#include "engineowner.h"
#include "messages.h"
#include "positions.h"
#include "progressdlg.h"
#include "testresults.h"
#include <cstdint>
#include <string>

class CDC;

// True when a failed open means the file or its path is not there.
bool IsNotFoundError(DWORD error);
// The part of a path after its last backslash (the whole path if it has none).
std::string FileNamePart(const std::string& path);

class CBenchEngine {
public:
    CBenchEngine(CCacheControl* pCache, IEngineOwner* pOwner);
    ~CBenchEngine();
    CBenchEngine(const CBenchEngine&) = delete;
    CBenchEngine& operator=(const CBenchEngine&) = delete;

    // User-interface thread: runs the passes on a worker and returns 1 or 0
    // once the results window has closed.
    int Run(const char* drive, int cacheIndex);
    // The drive's cache flags word as a run finds it, and put back at its end.
    void SaveCacheFlags(int cacheIndex);
    void RestoreCacheFlags(int cacheIndex);
    // Worker thread.
    int RunPasses(const std::string& drive, int cacheIndex);
    int QueryVolumeLabel(char letter);
    int RunWalkTest(const std::string& drive);
    int WalkDirectory(const std::string& pattern);
    int RunReadTests(const std::string& drive);
    // Both return 0 when a seek or read failed.
    int ReadSequentialBlocks(HANDLE file);
    int ReadRandomBlocks(HANDLE file);
    uint32_t RandomBlockOffset(uint32_t length);
    // The read buffer and the random reads' offsets in a file of `length` bytes,
    // drawn as every run draws them; FreeReads gives both back.
    void AllocateReads(uint32_t length);
    void FreeReads();
    // Draws the report of one drive's stored times on a printer's device context.
    void PrintReport(const char* drive, CDC& dc);

    // True from the start of Run until its worker has been released.
    bool IsRunning() const { return m_hWorkerThread != nullptr; }

    HANDLE m_hWorkerThread = nullptr;
    uint32_t m_runResult = 0;
    CReadProgressDlg m_readProgressDlg;
    CWalkProgressDlg m_walkProgressDlg;
    CResultsDlg m_resultsDlg;
    CCacheControl* m_pCache;
    IEngineOwner* m_pOwner;
    uint32_t m_savedCacheFlags = 0;
    std::string m_drive;
    int m_cacheIndex = -1;
    int m_testNumber = 0;
    int m_pass = 0;
    unsigned char* m_pReadBuffer = nullptr;
    uint32_t* m_pRandomOffsets = nullptr;
    int m_blockSize = kBlockSize;
    int64_t m_perfFrequency = 0;
    int m_driveIndex = 0;
    std::string m_walkPath;
    std::string m_largestFile[kMaxDrives];
    uint32_t m_largestFileSize = 0;
    std::string m_largestFileShortPath;  // the latest walk's largest file by its short name
    int m_subdirCount = 0;
    int m_fileCount = 0;
    TestResults m_results[kMaxPasses][kMaxDrives];

private:
    void AppendRow(int row, const char* number, const char* description);
    void SetCell(int row, int column, const char* text, COLORREF colour);
    void SetTimeCell(int row, double seconds, COLORREF colour);
    void WriteTotalRow(int row);
    bool StopRequested() const { return m_resultsDlg.m_stopRequested != 0; }

    PositionGenerator m_positions;
};
