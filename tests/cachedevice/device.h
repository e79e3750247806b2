// Helpers of the cache device tests: raw requests to \\.\KELDR, the drive's flags file, running a program.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

const int kDriveD = 3;

// Letters of the handled drives in the device's order (KORVANE_DRIVER_DRIVES, default "D"); D: comes first.
std::string HandledDrives();
// Flags word the set-up gives the handled drive (KORVANE_DRIVER_FLAGS, default 0x00000005).
uint32_t ConfiguredFlags();

// A connection of its own, opened as the program opens it; IsOpen() false when the device is absent.
class RawDevice {
public:
    RawDevice();
    ~RawDevice();
    RawDevice(const RawDevice&) = delete;
    RawDevice& operator=(const RawDevice&) = delete;
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    BOOL Control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned);
    // The drive's 24-byte state record by request 8 as six words; false when the request fails.
    bool ReadState(int drive, uint32_t words[6]);
    // The drive's flags word by request 8; false when the request fails.
    bool ReadFlags(int drive, uint32_t* flags);
    bool WriteFlags(int drive, uint32_t flags);
    DWORD openError = 0;

private:
    HANDLE m_handle;
};

// Sets every handled drive's flags word to the configured one, and again on destruction: a test starts from
// the set-up's state whatever an earlier program left, and leaves that state behind.
class FlagsRestorer {
public:
    FlagsRestorer();
    ~FlagsRestorer();
    bool valid = false;
};

// The Windows path of <KORVANE_FLAGS_DIR>\KELDR-<letter>.flags; empty when the variable is unset.
std::string FlagsFilePath(char letter);
// The whole file, or "<missing>".
std::string ReadFile(const std::string& path);

// Runs a command line with its output captured; returns the exit code, or -1 when it cannot start or hangs.
int RunProgram(const std::string& commandLine, std::string* out, std::string* err, DWORD timeoutMs = 30000);
// The folder of this test program (the build folder, where the tools are).
std::string ProgramFolder();
