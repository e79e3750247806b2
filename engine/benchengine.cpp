// The run driver (UI thread and worker), the directory walk and the read tests.
#include "benchengine.h"
#include "../app/maindlg.h"
#include "../res/resource.h"
#include "stopwatch.h"
#include <cstdio>
#include <cstring>

const char* const kNoDiscMessage = "Please make sure there is a CD-ROM in your drive.";
const char* const kFewFilesMessage =
    "This CD-ROM contains relatively few files and/or subdirectories.  For more accurate results, use another.";
const char* const kChangedDiscMessage =
    "You have changed CD-ROMs.  Before doing a Read test, You must Walk directories to locate the largest file.";
const char* const kSmallFileMessage =
    "For a valid test, you need a CD-ROM file larger than 2MB bytes.  None was found on this CD.  Try another.";
const char* const kReadFailedMessage =
    "The CD-ROM could not be read.  The disc may be damaged or may have been removed.";
const char* const kNoCounterMessage =
    "This computer has no high-resolution timer.  Korvane cannot measure your drive without one.";
const char* const kRunNotStartedMessage = "Korvane could not start the tests.";

namespace {

const UINT kErrorStyle = MB_OK | MB_ICONWARNING | MB_SETFOREGROUND;
const UINT kWarningStyle = MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND;
const COLORREF kNoColour = CLR_NONE;
const UINT_PTR kIdleTimer = 1;
const UINT kIdleTimerMs = 100;
const int kProgressEvery = 12;

DWORD WINAPI BenchThreadProc(LPVOID param)
{
    auto* engine = static_cast<CBenchEngine*>(param);
    return static_cast<DWORD>(engine->RunPasses(engine->m_drive, engine->m_cacheIndex));
}

// Waits for a thread that may still send messages to this one.
void WaitForThread(HANDLE thread)
{
    while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

} // namespace

bool IsNotFoundError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: case ERROR_INVALID_HANDLE: case ERROR_NO_MORE_FILES: case ERROR_DISK_CHANGE:
    case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_DRIVE: case ERROR_NOT_SAME_DEVICE: case ERROR_WRONG_DISK:
    case ERROR_DUP_NAME: case ERROR_BAD_NETPATH: case ERROR_DEV_NOT_EXIST: case ERROR_BAD_NET_NAME:
    case ERROR_SHARING_PAUSED: case ERROR_ALREADY_ASSIGNED: case ERROR_BUFFER_OVERFLOW: case ERROR_INVALID_NAME:
    case ERROR_INVALID_LEVEL: case ERROR_NO_VOLUME_LABEL: case ERROR_DIR_NOT_ROOT: case ERROR_LABEL_TOO_LONG:
    case ERROR_BAD_PATHNAME: case ERROR_FILENAME_EXCED_RANGE: case ERROR_META_EXPANSION_TOO_LONG:
    case ERROR_DIRECTORY:
        return true;
    default:
        return false;
    }
}

std::string FileNamePart(const std::string& path)
{
    std::string::size_type slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

CBenchEngine::CBenchEngine(CCacheControl* pCache, CMainDlg* pOwner) : m_pCache(pCache), m_pOwner(pOwner)
{
    m_perfFrequency = Disc().CounterFrequency();
}

CBenchEngine::~CBenchEngine()
{
    // The owner never destroys a running engine; this only guards the windows.
    if (m_hWorkerThread) {
        m_resultsDlg.m_stopRequested = 1;
        WaitForThread(m_hWorkerThread);
        ::CloseHandle(m_hWorkerThread);
        m_hWorkerThread = nullptr;
    }
}

// ---------------------------------------------------------------------------
// The run on the user-interface thread

int CBenchEngine::Run(const char* drive, int cacheIndex)
{
    if (m_hWorkerThread)
        return 0;
    if (m_perfFrequency <= 0) {
        Messages().Show(kNoCounterMessage, "Error", kErrorStyle);
        return 0;
    }
    m_drive = drive;
    m_cacheIndex = cacheIndex;
    if (cacheIndex >= 0)
        m_pCache->GetDriveState(cacheIndex);
    m_savedCacheFlags = m_pCache->GetFlags();

    if (!m_resultsDlg.Create(IDD_RESULTS, m_pOwner ? m_pOwner->m_hWnd : nullptr)) {
        m_resultsDlg.m_stopRequested = 1;
        Messages().Show(kRunNotStartedMessage, "Error", kErrorStyle);
        return 0;
    }
    DWORD threadId = 0;
    m_hWorkerThread = ::CreateThread(nullptr, 0, BenchThreadProc, this, 0, &threadId);
    if (!m_hWorkerThread) {
        m_resultsDlg.DestroyWindow();
        m_resultsDlg.m_stopRequested = 1;
        Messages().Show(kRunNotStartedMessage, "Error", kErrorStyle);
        return 0;
    }
    ::SetThreadPriority(m_hWorkerThread, THREAD_PRIORITY_TIME_CRITICAL);

    // The owner ends the loop at an idle moment after the worker has ended; the
    // timer makes sure such a moment comes even when no input arrives.
    ::SetTimer(m_resultsDlg.m_hWnd, kIdleTimer, kIdleTimerMs, nullptr);
    m_resultsDlg.RunModalLoop(MLF_SHOWONIDLE);
    if (::WaitForSingleObject(m_hWorkerThread, 0) == WAIT_TIMEOUT) {
        // The loop ended without the owner (the thread's queue was told to quit).
        m_resultsDlg.m_stopRequested = 1;
        WaitForThread(m_hWorkerThread);
        DWORD code = 0;
        ::GetExitCodeThread(m_hWorkerThread, &code);
        m_runResult = code;
    }
    ::KillTimer(m_resultsDlg.m_hWnd, kIdleTimer);
    ::CloseHandle(m_hWorkerThread);
    m_hWorkerThread = nullptr;
    m_resultsDlg.DestroyWindow();

    m_pCache->SetFlags(m_savedCacheFlags);
    if (cacheIndex >= 0)
        m_pCache->SetDriveFlags(cacheIndex);
    return static_cast<int>(m_runResult);
}

// ---------------------------------------------------------------------------
// The passes, on the worker thread

void CBenchEngine::AppendRow(int row, const char* number, const char* description)
{
    m_resultsDlg.m_list.InsertItem(row, number);
    if (description)
        m_resultsDlg.m_list.SetItemText(row, 1, description);
}

// Writes one cell and paints it at once, in `colour` unless it is kNoColour.
void CBenchEngine::SetCell(int row, int column, const char* text, COLORREF colour)
{
    CListCtrl& list = m_resultsDlg.m_list;
    if (colour != kNoColour)
        list.SetTextColor(colour);
    list.SetItemText(row, column, text);
    list.UpdateWindow();
    if (colour != kNoColour)
        list.SetTextColor(::GetSysColor(COLOR_BTNTEXT));
}

void CBenchEngine::SetTimeCell(int row, double seconds, COLORREF colour)
{
    char text[64];
    std::snprintf(text, sizeof text, "%8.2f seconds", seconds);
    SetCell(row, 2, text, colour);
}

int CBenchEngine::RunPasses(const std::string& drive, int cacheIndex)
{
    int result = 1;
    CListCtrl& list = m_resultsDlg.m_list;
    const bool blackBackground = list.GetBkColor() == 0;
    m_resultsDlg.m_fileName.clear();
    m_resultsDlg.SetDlgItemText(IDC_FILE_NAME, m_resultsDlg.m_fileName);

    const int passes = cacheIndex >= 0 ? 2 : 1;
    for (int pass = 0; pass < passes && result; ++pass) {
        const int row = list.GetItemCount();
        if (cacheIndex >= 0)
            m_pCache->GetDriveState(cacheIndex);
        uint32_t flags = m_pCache->GetFlags();
        const char* header;
        if (pass == 0) {
            flags &= ~CACHE_FLAG_ENABLED;
            m_pass = 0;
            header = "** Testing Without Zelkor Cache **";
        } else {
            flags |= CACHE_FLAG_ENABLED | CACHE_FLAG_AUX;
            m_pass = 1;
            header = "** Testing With Zelkor Cache **";
        }
        m_pCache->SetFlags(flags);
        list.InsertItem(row, "");
        SetCell(row, 1, header, blackBackground ? RGB(0, 255, 0) : RGB(0, 128, 0));
        if (cacheIndex >= 0)
            m_pCache->SetDriveFlags(cacheIndex);

        m_testNumber = 1;
        char number[16], description[320];
        std::snprintf(number, sizeof number, "%6d", m_testNumber);
        std::snprintf(description, sizeof description, "Directory walk of drive %2s", drive.c_str());
        AppendRow(row + 1, number, description);
        m_resultsDlg.UpdateWindow();

        if (StopRequested() || !RunWalkTest(drive)) {
            result = 0;
            break;
        }
        // A walk that a stop cut short says nothing about the disc.
        if (pass == 0 && !StopRequested() &&
            static_cast<long long>(m_subdirCount) * 10 + m_fileCount < kFewFilesWeight)
            Messages().Show(kFewFilesMessage, "Warning", kWarningStyle);
        ::SetFocus(m_resultsDlg.m_hWnd);
        SetTimeCell(row + 1, m_results[m_pass][m_driveIndex].walkSeconds, kNoColour);
        m_resultsDlg.UpdateWindow();
        m_resultsDlg.m_fileName = FileNamePart(m_largestFile[m_driveIndex]);
        m_resultsDlg.SetDlgItemText(IDC_FILE_NAME, m_resultsDlg.m_fileName);

        if (!RunReadTests(drive))
            result = 0;
    }
    if (!result)
        m_resultsDlg.m_stopRequested = 1;
    return result;
}

// ---------------------------------------------------------------------------
// Test 1: the directory walk

int CBenchEngine::QueryVolumeLabel(char letter)
{
    // Room for the longest label any file system gives, so that a long label
    // is not taken for a missing disc.
    char label[MAX_PATH + 1] = "";
    char root[] = "?:\\";
    root[0] = letter;
    BOOL ok = Disc().GetVolumeInformation(root, label, sizeof label, nullptr, 0);
    if (ok)
        m_resultsDlg.m_volumeLabel = label;
    return ok;
}

int CBenchEngine::RunWalkTest(const std::string& drive)
{
    m_largestFileSize = 0;
    m_fileCount = 0;
    m_subdirCount = 0;
    const char letter = drive.empty() ? '?' : drive[0];
    if (letter < 'A' || letter > 'Z') {
        Messages().Show(kNoDiscMessage, "Error", kErrorStyle);
        return 0;
    }
    m_driveIndex = letter - 'A';
    TestResults& record = m_results[m_pass][m_driveIndex];
    record.flags = RESULT_WALK_DONE;
    m_walkPath = "?:\\*.*";
    m_walkPath[0] = letter;

    if (!QueryVolumeLabel(letter)) {
        Messages().Show(kNoDiscMessage, "Error", kErrorStyle);
        return 0;
    }
    record.volumeLabel = m_resultsDlg.m_volumeLabel;
    m_resultsDlg.SetDlgItemText(IDC_VOLUME_LABEL, m_resultsDlg.m_volumeLabel);

    m_largestFileShortPath.clear();
    m_walkProgressDlg.Create(m_pass, IDD_WALK_PROGRESS, m_resultsDlg.m_hWnd);
    const int64_t start = ReadPerformanceCounter();
    WalkDirectory(m_walkPath);
    const int64_t end = ReadPerformanceCounter();
    m_walkProgressDlg.DestroyWindow();

    // A largest file whose long name does not open is read by its short name.
    if (m_largestFileSize > 0 && !m_largestFileShortPath.empty()) {
        HANDLE file = Disc().OpenFile(m_largestFile[m_driveIndex].c_str());
        if (file == INVALID_HANDLE_VALUE)
            m_largestFile[m_driveIndex] = m_largestFileShortPath;
        else
            Disc().CloseFile(file);
    }

    const float seconds = static_cast<float>(ElapsedSeconds(start, end, m_perfFrequency));
    record.walkSeconds = seconds;
    record.totalSeconds = seconds;
    return 1;
}

int CBenchEngine::WalkDirectory(const std::string& pattern)
{
    WIN32_FIND_DATAA found{};
    HANDLE search = Disc().FindFirst(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 1;
    if (StopRequested()) {
        Disc().FindClose(search);
        return 1;
    }
    const std::string::size_type slash = pattern.rfind('\\');
    const std::string directory = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    do {
        // A name the ANSI code page cannot spell comes back with '?' in it, or
        // with look-alike letters, and may not open; its short name does.
        const char* shortName = found.cAlternateFileName;
        const char* name = found.cFileName;
        if (std::strchr(name, '?') && shortName[0])
            name = shortName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (found.cFileName[0] == '.')
                continue;
            const std::string path = directory + name;
            m_walkProgressDlg.SetDlgItemText(IDC_WALK_PATH, path);
            ++m_subdirCount;
            if (WalkDirectory(path + "\\*.*") == 1 && name != shortName && shortName[0] && !StopRequested())
                WalkDirectory(directory + shortName + "\\*.*");
        } else {
            ++m_fileCount;
            if (found.nFileSizeLow > m_largestFileSize) {
                m_largestFileSize = found.nFileSizeLow;
                m_largestFile[m_driveIndex] = directory + name;
                m_largestFileShortPath.clear();
                if (name != shortName && shortName[0])
                    m_largestFileShortPath = directory + shortName;
            }
        }
    } while (Disc().FindNext(search, &found));
    Disc().FindClose(search);
    return 0;
}

// ---------------------------------------------------------------------------
// Tests 2 to 4: sequential and random reads of the largest file

uint32_t CBenchEngine::RandomBlockOffset(uint32_t length)
{
    return BlockOffsetForDraw(static_cast<uint32_t>(m_positions.Next()), length, static_cast<uint32_t>(m_blockSize));
}

int CBenchEngine::ReadSequentialBlocks(HANDLE file)
{
    DWORD got = 0;
    for (int k = 0; k < kReadBlocks; ++k) {
        if (StopRequested())
            return 1;
        if (!Disc().Read(file, m_pReadBuffer, m_blockSize, &got))
            return 0;
    }
    return 1;
}

int CBenchEngine::ReadRandomBlocks(HANDLE file)
{
    DWORD got = 0;
    for (int k = 0; k < kReadBlocks; ++k) {
        if (StopRequested())
            return 1;
        if (k % kProgressEvery == 0)
            m_readProgressDlg.m_progress.StepIt();
        if (!Disc().Seek(file, m_pRandomOffsets[k]) || !Disc().Read(file, m_pReadBuffer, m_blockSize, &got))
            return 0;
    }
    return 1;
}

void CBenchEngine::WriteTotalRow(int row)
{
    AppendRow(row, "", nullptr);
    SetCell(row, 1, "Total time of tests 1-4:", RGB(0, 0, 192));
    char text[64];
    std::snprintf(text, sizeof text, "%8.2f seconds", m_results[m_pass][m_driveIndex].totalSeconds);
    SetCell(row, 2, text, RGB(0, 0, 255));
}

int CBenchEngine::RunReadTests(const std::string& drive)
{
    int result = 1;
    double sum = 0.0;
    CListCtrl& list = m_resultsDlg.m_list;
    const char letter = drive.empty() ? '?' : drive[0];
    if (letter < 'A' || letter > 'Z')
        return 0;
    m_driveIndex = letter - 'A';
    TestResults& record = m_results[m_pass][m_driveIndex];
    // A stop during the walk leaves a largest file that says nothing about the disc: no message about it.
    if (StopRequested())
        return 0;

    const std::string& path = m_largestFile[m_driveIndex];
    HANDLE file = path.empty() ? INVALID_HANDLE_VALUE : Disc().OpenFile(path.c_str());
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = path.empty() ? ERROR_PATH_NOT_FOUND : ::GetLastError();
        Messages().Show(IsNotFoundError(error) ? kChangedDiscMessage : kReadFailedMessage,
                        IsNotFoundError(error) ? "Warning" : "Error", kWarningStyle);
        return 0;
    }
    if (m_largestFileSize < kMinReadFileSize) {
        Disc().CloseFile(file);
        Messages().Show(kSmallFileMessage, "Warning", kWarningStyle);
        return 0;
    }

    m_pReadBuffer = new unsigned char[m_blockSize];
    m_pRandomOffsets = new uint32_t[kReadBlocks];
    m_positions.Seed(1);
    const uint32_t length = Disc().FileSize(file);
    for (int k = 0; k < kReadBlocks; ++k)
        m_pRandomOffsets[k] = RandomBlockOffset(length);

    bool readFailed = false;
    int lastRow = list.GetItemCount() - 1;
    char number[16], description[64];
    for (int cycle = 0; cycle < kReadCycles; ++cycle) {
        DWORD got = 0;
        if (!Disc().Seek(file, 0) || !Disc().Read(file, m_pReadBuffer, m_blockSize, &got)) {
            readFailed = true;
            break;
        }
        const int row = list.GetItemCount();
        ++m_testNumber;
        std::snprintf(number, sizeof number, "%6d", m_testNumber);
        std::snprintf(description, sizeof description, "Sequential read of %d blocks:", kReadBlocks);
        AppendRow(row, number, description);
        list.UpdateWindow();
        lastRow = row;
        if (StopRequested()) {
            result = 0;
            break;
        }

        int64_t start = ReadPerformanceCounter();
        int ok = ReadSequentialBlocks(file);
        int64_t end = ReadPerformanceCounter();
        if (!ok) {
            readFailed = true;
            break;
        }
        double seconds = ElapsedSeconds(start, end, m_perfFrequency);
        sum += seconds;
        record.readSeconds[cycle][0] = static_cast<float>(seconds);
        SetTimeCell(row, seconds, kNoColour);

        std::snprintf(description, sizeof description, "Random read of %d blocks:", kReadBlocks);
        AppendRow(row + 1, "", description);
        list.UpdateWindow();
        lastRow = row + 1;
        if (StopRequested()) {
            result = 0;
            break;
        }

        m_readProgressDlg.Create(m_pass, IDD_READ_PROGRESS, m_resultsDlg.m_hWnd);
        start = ReadPerformanceCounter();
        ok = ReadRandomBlocks(file);
        end = ReadPerformanceCounter();
        m_readProgressDlg.DestroyWindow();
        m_readProgressDlg.m_progress.Detach();
        if (!ok) {
            readFailed = true;
            break;
        }
        seconds = ElapsedSeconds(start, end, m_perfFrequency);
        sum += seconds;
        record.readSeconds[cycle][1] = static_cast<float>(seconds);
        SetTimeCell(row + 1, seconds, RGB(255, 0, 0));
    }

    // After a failed read the record still adds what was measured, so that the
    // stored total matches the stored times.
    record.totalSeconds = static_cast<float>(record.totalSeconds + sum);
    if (!readFailed)
        WriteTotalRow(lastRow + 1);
    delete[] m_pRandomOffsets;
    m_pRandomOffsets = nullptr;
    delete[] m_pReadBuffer;
    m_pReadBuffer = nullptr;
    Disc().CloseFile(file);
    if (readFailed) {
        Messages().Show(kReadFailedMessage, "Error", kWarningStyle);
        return 0;
    }
    return result;
}
