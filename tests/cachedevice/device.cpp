// Helpers of the cache device tests: raw requests, the flags file, child programs with captured output.
#include "device.h"
#include "uidriver.h"
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

std::string HandledDrives()
{
    const char* text = std::getenv("KORVANE_DRIVER_DRIVES");
    return text && *text ? text : "D";
}

uint32_t ConfiguredFlags()
{
    return uidriver::ConfiguredCacheFlags();
}

RawDevice::RawDevice()
{
    m_handle = ::CreateFileA("\\\\.\\KELDR", 0, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (m_handle == INVALID_HANDLE_VALUE)
        openError = ::GetLastError();
}

RawDevice::~RawDevice()
{
    if (IsOpen())
        ::CloseHandle(m_handle);
}

BOOL RawDevice::Control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned)
{
    return ::DeviceIoControl(m_handle, code, in, inSize, out, outSize, returned, nullptr);
}

bool RawDevice::ReadState(int drive, uint32_t words[6])
{
    int32_t number = drive;
    unsigned char state[24] = {};
    DWORD got = 0;
    if (!Control(8, &number, sizeof number, state, sizeof state, &got) || got != sizeof state)
        return false;
    std::memcpy(words, state, sizeof state);
    return true;
}

bool RawDevice::ReadFlags(int drive, uint32_t* flags)
{
    uint32_t words[6];
    if (!ReadState(drive, words))
        return false;
    *flags = words[4];
    return true;
}

bool RawDevice::WriteFlags(int drive, uint32_t flags)
{
    int32_t request[2] = {drive, static_cast<int32_t>(flags)};
    DWORD got = 0;
    return Control(9, request, sizeof request, nullptr, 0, &got) != FALSE;
}

// The device must be there: these suites test it.
static bool SetConfiguredFlags()
{
    return RawDevice().IsOpen() && uidriver::ResetCacheFlags();
}

FlagsRestorer::FlagsRestorer() : valid(SetConfiguredFlags()) {}

FlagsRestorer::~FlagsRestorer()
{
    if (valid)
        SetConfiguredFlags();
}

std::string FlagsFilePath(char letter)
{
    const char* dir = std::getenv("KORVANE_FLAGS_DIR");
    if (!dir || !*dir)
        return "";
    return uidriver::ToWindowsPath(std::string(dir) + "/KELDR-" + letter + ".flags");
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing>";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

// Reads a pipe to its end on a thread of its own, so that a child filling both pipes never blocks.
DWORD WINAPI Drain(void* param)
{
    auto* job = static_cast<std::pair<HANDLE, std::string*>*>(param);
    char buffer[512];
    DWORD got;
    while (::ReadFile(job->first, buffer, sizeof buffer, &got, nullptr) && got)
        job->second->append(buffer, got);
    return 0;
}

} // namespace

int RunProgram(const std::string& commandLine, std::string* out, std::string* err, DWORD timeoutMs)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    if (!::CreatePipe(&outRead, &outWrite, &inherit, 0))
        return -1;
    if (!::CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        ::CloseHandle(outRead);
        ::CloseHandle(outWrite);
        return -1;
    }
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    std::string line = commandLine;
    BOOL started = ::CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                                    &startup, &process);
    ::CloseHandle(outWrite);
    ::CloseHandle(errWrite);
    std::string outText, errText;
    std::pair<HANDLE, std::string*> outJob{outRead, &outText}, errJob{errRead, &errText};
    HANDLE readers[2] = {::CreateThread(nullptr, 0, Drain, &outJob, 0, nullptr),
                         ::CreateThread(nullptr, 0, Drain, &errJob, 0, nullptr)};
    int code = -1;
    if (started) {
        if (::WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            DWORD exitCode = 0;
            ::GetExitCodeProcess(process.hProcess, &exitCode);
            code = static_cast<int>(exitCode);
        } else {
            ::TerminateProcess(process.hProcess, 1);
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    // A grandchild that inherited the pipes may keep them open: wait a little, then stop reading.
    if (::WaitForMultipleObjects(2, readers, TRUE, 5000) != WAIT_OBJECT_0) {
        ::CancelSynchronousIo(readers[0]);
        ::CancelSynchronousIo(readers[1]);
        ::WaitForMultipleObjects(2, readers, TRUE, 5000);
    }
    ::CloseHandle(outRead);
    ::CloseHandle(errRead);
    ::CloseHandle(readers[0]);
    ::CloseHandle(readers[1]);
    if (out)
        *out = outText;
    if (err)
        *err = errText;
    return code;
}

std::string ProgramFolder()
{
    char path[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? "." : folder.substr(0, slash);
}
