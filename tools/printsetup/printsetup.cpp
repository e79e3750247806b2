// Test set-up: a default printer on Wine's PostScript driver whose port is a Unix file.
// Usage: printsetup NAME PORT   (PORT: the absolute Unix path the jobs are written to)
#include <windows.h>
#include <winspool.h>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kDriverName = "Wine PostScript Driver";

// Wine keeps a generic PPD inside its spooler library.
bool LoadGenericPpd(std::string& ppd)
{
    HMODULE module = ::LoadLibraryExA("winspool.drv", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return false;
    HRSRC res = ::FindResourceA(module, MAKEINTRESOURCEA(1), "PPDFILE");
    HGLOBAL data = res ? ::LoadResource(module, res) : nullptr;
    const char* bytes = data ? static_cast<const char*>(::LockResource(data)) : nullptr;
    if (bytes)
        ppd.assign(bytes, ::SizeofResource(module, res));
    ::FreeLibrary(module);
    return bytes != nullptr;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
}

bool InstallDriver(const char* name, const std::string& ppd)
{
    // "Windows 4.0" is the Windows 9x driver set, which a program told it runs
    // on Windows 98 looks its printer's driver up in.
    static const char* const environments[] = {"Windows x64", "Windows NT x86", "Windows 4.0"};
    bool any = false;
    for (const char* env : environments) {
        const bool win9x = std::strcmp(env, "Windows 4.0") == 0;
        char dir[MAX_PATH] = "";
        DWORD needed = 0;
        if (!::GetPrinterDriverDirectoryA(nullptr, const_cast<char*>(env), 1, reinterpret_cast<BYTE*>(dir), sizeof dir,
                                          &needed))
            continue;
        std::string path = std::string(dir) + (win9x ? "\\0" : "\\3");
        ::CreateDirectoryA(path.c_str(), nullptr);
        path += std::string("\\") + name + ".PPD";
        if (!WriteFileBytes(path, ppd)) {
            std::fprintf(stderr, "printsetup: cannot write %s\n", path.c_str());
            continue;
        }
        DRIVER_INFO_3A info{};
        info.cVersion = win9x ? 0 : 3;
        info.pName = const_cast<char*>(kDriverName);
        info.pEnvironment = const_cast<char*>(env);
        info.pDriverPath = const_cast<char*>("wineps.drv");
        info.pDataFile = &path[0];
        info.pConfigFile = const_cast<char*>("wineps.drv");
        info.pDefaultDataType = const_cast<char*>("RAW");
        if (::AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES))
            any = true;
        else
            std::fprintf(stderr, "printsetup: AddPrinterDriverEx(%s) failed: %lu\n", env, ::GetLastError());
    }
    return any;
}

// A program told it runs on Windows 98 loads its print processor from the 9x
// folder, which a fresh prefix leaves empty: copy the 32-bit one there.
bool InstallWin9xPrintProcessor()
{
    char from[MAX_PATH] = "", to[MAX_PATH] = "";
    DWORD needed = 0;
    if (!::GetPrintProcessorDirectoryA(nullptr, const_cast<char*>("Windows NT x86"), 1, reinterpret_cast<BYTE*>(from),
                                       sizeof from, &needed) ||
        !::GetPrintProcessorDirectoryA(nullptr, const_cast<char*>("Windows 4.0"), 1, reinterpret_cast<BYTE*>(to),
                                       sizeof to, &needed))
        return false;
    ::CreateDirectoryA(to, nullptr);
    const std::string source = std::string(from) + "\\winprint.dll", target = std::string(to) + "\\winprint.dll";
    if (::CopyFileA(source.c_str(), target.c_str(), FALSE))
        return true;
    std::fprintf(stderr, "printsetup: cannot copy %s to %s: %lu\n", source.c_str(), target.c_str(), ::GetLastError());
    return false;
}

bool AddFilePrinter(const char* name, const char* port)
{
    PRINTER_INFO_2A info{};
    info.pPrinterName = const_cast<char*>(name);
    info.pPortName = const_cast<char*>(port);
    info.pDriverName = const_cast<char*>(kDriverName);
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    info.pDatatype = const_cast<char*>("RAW");
    HANDLE printer = ::AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (printer) {
        ::ClosePrinter(printer);
        return true;
    }
    if (::GetLastError() == ERROR_PRINTER_ALREADY_EXISTS)
        return true;
    std::fprintf(stderr, "printsetup: AddPrinter failed: %lu\n", ::GetLastError());
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: printsetup NAME PORT\n");
        return 2;
    }
    std::string ppd;
    if (!LoadGenericPpd(ppd)) {
        std::fprintf(stderr, "printsetup: no PPDFILE resource in winspool.drv\n");
        return 1;
    }
    if (!InstallDriver(argv[1], ppd) || !AddFilePrinter(argv[1], argv[2]))
        return 1;
    InstallWin9xPrintProcessor();  // without it only Windows 98 mode runs cannot print
    if (!::SetDefaultPrinterA(argv[1])) {
        std::fprintf(stderr, "printsetup: SetDefaultPrinter failed: %lu\n", ::GetLastError());
        return 1;
    }
    return 0;
}
