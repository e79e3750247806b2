// Test 1: the timed depth-first walk of the disc's directory tree.
#include "benchengine.h"
#include "../res/resource.h"
#include "stopwatch.h"
#include "styles.h"
#include <cstring>

using namespace engine;

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
