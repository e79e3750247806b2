// UI driver, print jobs: waiting for a finished job in a print file.
#include "uidriver.h"
#include <cstdio>

namespace uidriver {

std::string WaitForPrintJob(const std::string& path, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    std::string last;
    int stableChecks = 0;
    while (::GetTickCount() - start < timeoutMs) {
        std::string text;
        if (FILE* file = std::fopen(path.c_str(), "rb")) {
            char buffer[65536];
            size_t got;
            while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
                text.append(buffer, got);
            std::fclose(file);
        }
        const size_t end = text.find_last_not_of("\r\n");
        const bool complete = end != std::string::npos && end >= 4 && text.compare(end - 4, 5, "%%EOF") == 0;
        stableChecks = complete && text == last ? stableChecks + 1 : 0;
        if (stableChecks >= 2)
            return text;
        last = text;
        ::Sleep(100);
    }
    return "";
}

}  // namespace uidriver
