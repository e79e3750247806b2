// UI driver, processes: the started program, held in a job that ends it with the driver.
#include "uidriver.h"

namespace uidriver {

Program::~Program() { Kill(); }

bool Program::Start(const std::string& exe, std::string* error)
{
    Kill();
    std::string directory = exe.substr(0, exe.find_last_of("\\/") == std::string::npos ? 0 : exe.find_last_of("\\/"));
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // Detached standard handles: a program that inherits a shell's pipe keeps
    // the pipe open and a command substitution around the driver never ends.
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = INVALID_HANDLE_VALUE;
    startup.hStdError = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        if (error)
            *error = "cannot start " + exe + " (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    // A job that ends the program with the driver, even when the driver dies first.
    m_hJob = ::CreateJobObjectA(nullptr, nullptr);
    if (m_hJob) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!::SetInformationJobObject(m_hJob, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
            !::AssignProcessToJobObject(m_hJob, info.hProcess)) {
            ::CloseHandle(m_hJob);
            m_hJob = nullptr;
        }
    }
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);
    m_hProcess = info.hProcess;
    m_pid = info.dwProcessId;
    return true;
}

bool Program::Running() const
{
    return m_hProcess && ::WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT;
}

bool Program::WaitExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (!m_hProcess || ::WaitForSingleObject(m_hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    ::GetExitCodeProcess(m_hProcess, &code);
    if (exitCode)
        *exitCode = code;
    return true;
}

void Program::Kill()
{
    if (m_hProcess) {
        if (Running()) {
            ::TerminateProcess(m_hProcess, 0xDEAD);
            ::WaitForSingleObject(m_hProcess, 5000);
        }
        ::CloseHandle(m_hProcess);
        m_hProcess = nullptr;
    }
    if (m_hJob) {
        ::CloseHandle(m_hJob);
        m_hJob = nullptr;
    }
    m_pid = 0;
}

std::string ModuleDirectory()
{
    char path[MAX_PATH] = "";
    DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string text(path, length);
    return text.substr(0, text.find_last_of('\\') + 1);
}

}  // namespace uidriver
