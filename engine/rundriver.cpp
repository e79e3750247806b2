// The run driver: the run on the user-interface thread and its passes on the worker.
#include "benchengine.h"
#include "../res/resource.h"
#include "stopwatch.h"
#include "styles.h"
#include <cstdio>

using namespace engine;

namespace {

const UINT_PTR kIdleTimer = 1;
const UINT kIdleTimerMs = 100;

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

CBenchEngine::CBenchEngine(CCacheControl* pCache, IEngineOwner* pOwner) : m_pCache(pCache), m_pOwner(pOwner)
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
    SaveCacheFlags(cacheIndex);

    if (!m_resultsDlg.Create(IDD_RESULTS, m_pOwner ? m_pOwner->OwnerWindow() : nullptr)) {
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

    RestoreCacheFlags(cacheIndex);
    return static_cast<int>(m_runResult);
}

void CBenchEngine::SaveCacheFlags(int cacheIndex)
{
    if (cacheIndex >= 0)
        m_pCache->GetDriveState(cacheIndex);
    m_savedCacheFlags = m_pCache->GetFlags();
}

void CBenchEngine::RestoreCacheFlags(int cacheIndex)
{
    m_pCache->SetFlags(m_savedCacheFlags);
    if (cacheIndex >= 0)
        m_pCache->SetDriveFlags(cacheIndex);
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
    m_resultsDlg.SetMeasuredSeconds(row, seconds);
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
