// Tests 2 to 4: sequential and random reads of the disc's largest file.
#include "benchengine.h"
#include "../res/resource.h"
#include "stopwatch.h"
#include "styles.h"
#include <cstdio>

using namespace engine;

uint32_t CBenchEngine::RandomBlockOffset(uint32_t length)
{
    return BlockOffsetForDraw(static_cast<uint32_t>(m_positions.Next()), length, static_cast<uint32_t>(m_blockSize));
}

void CBenchEngine::AllocateReads(uint32_t length)
{
    m_pReadBuffer = new unsigned char[m_blockSize];
    m_pRandomOffsets = new uint32_t[kReadBlocks];
    m_positions.Seed(1);
    for (int k = 0; k < kReadBlocks; ++k)
        m_pRandomOffsets[k] = RandomBlockOffset(length);
}

void CBenchEngine::FreeReads()
{
    delete[] m_pRandomOffsets;
    m_pRandomOffsets = nullptr;
    delete[] m_pReadBuffer;
    m_pReadBuffer = nullptr;
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
        if (k % kProgressStep == 0)
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

    const std::string& path = m_largestFile[m_driveIndex];
    HANDLE file = path.empty() ? INVALID_HANDLE_VALUE : Disc().OpenFile(path.c_str());
    // A walk that a stop cut short may not have reached the largest file: the
    // user asked to stop, so the tests end without a word about the disc.
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = path.empty() ? ERROR_PATH_NOT_FOUND : ::GetLastError();
        if (!StopRequested())
            Messages().Show(IsNotFoundError(error) ? kChangedDiscMessage : kReadFailedMessage,
                            IsNotFoundError(error) ? "Warning" : "Error", kWarningStyle);
        return 0;
    }
    if (m_largestFileSize < kMinReadFileSize) {
        Disc().CloseFile(file);
        if (!StopRequested())
            Messages().Show(kSmallFileMessage, "Warning", kWarningStyle);
        return 0;
    }

    AllocateReads(Disc().FileSize(file));

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
    FreeReads();
    Disc().CloseFile(file);
    if (readFailed) {
        Messages().Show(kReadFailedMessage, "Error", kWarningStyle);
        return 0;
    }
    return result;
}
