// The test doubles' behaviour.
#include "fakes.h"
#include <cstring>

namespace {
std::string Parent(const std::string& path)
{
    std::string::size_type slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}
std::string Leaf(const std::string& path)
{
    std::string::size_type slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
}

void FakeDisc::AddDir(const std::string& path)
{
    if (dirs.count(path))
        return;
    dirs[path];
    std::string parent = Parent(path);
    if (!parent.empty()) {
        AddDir(parent);
        dirs[parent].push_back({Leaf(path), true, 0, ""});
    }
}

void FakeDisc::AddDirByShortName(const std::string& parent, const std::string& longName, const std::string& shortName)
{
    AddDir(parent);
    dirs[parent].push_back({longName, true, 0, shortName});
    dirs[parent + "\\" + shortName];
}

void FakeDisc::AddFile(const std::string& path, uint64_t size, const std::string& shortName)
{
    std::string parent = Parent(path);
    AddDir(parent);
    dirs[parent].push_back({Leaf(path), false, size, shortName});
    files[shortName.empty() ? path : parent + "\\" + shortName] = size;
}

void FakeDisc::Fill(const FakeEntry& e, WIN32_FIND_DATAA* data)
{
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = e.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_READONLY;
    data->nFileSizeLow = static_cast<DWORD>(e.size);
    data->nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
    std::strncpy(data->cFileName, e.name.c_str(), MAX_PATH - 1);
    std::strncpy(data->cAlternateFileName, e.shortName.c_str(), 13);
}

HANDLE FakeDisc::FindFirst(const char* pattern, WIN32_FIND_DATAA* data)
{
    Operation('f');
    now += findTicks;
    if (onFindFirst)
        onFindFirst(pattern);
    std::string dir = Parent(pattern);
    if (!present || Leaf(pattern) != "*.*" || !dirs.count(dir)) {
        ::SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // A real search lists "." and ".." in every folder but the root.
    std::vector<FakeEntry> entries;
    if (dir.size() > 2) {
        entries.push_back({".", true, 0, ""});
        entries.push_back({"..", true, 0, ""});
    }
    for (const FakeEntry& e : dirs[dir])
        entries.push_back(e);
    if (entries.empty()) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto* search = new Search{entries, 1};
    Fill(entries[0], data);
    ++openSearches;
    return reinterpret_cast<HANDLE>(search);
}

BOOL FakeDisc::FindNext(HANDLE handle, WIN32_FIND_DATAA* data)
{
    Operation('f');
    now += findTicks;
    auto* search = reinterpret_cast<Search*>(handle);
    if (search->next >= search->entries.size()) {
        ::SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    Fill(search->entries[search->next++], data);
    return TRUE;
}

BOOL FakeDisc::FindClose(HANDLE handle)
{
    delete reinterpret_cast<Search*>(handle);
    --openSearches;
    return TRUE;
}

BOOL FakeDisc::GetVolumeInformation(const char*, char* labelOut, DWORD labelSize, char* fsName, DWORD fsNameSize)
{
    Operation('v');
    if (!present || label.size() + 1 > labelSize || (fsName && fileSystem.size() + 1 > fsNameSize)) {
        ::SetLastError(present ? ERROR_BAD_LENGTH : ERROR_NOT_READY);
        return FALSE;
    }
    std::strcpy(labelOut, label.c_str());
    if (fsName)
        std::strcpy(fsName, fileSystem.c_str());
    return TRUE;
}

UINT FakeDisc::GetDriveType(const char* root)
{
    auto it = driveTypes.find(root[0]);
    return it == driveTypes.end() ? DRIVE_NO_ROOT_DIR : it->second;
}

HANDLE FakeDisc::OpenFile(const char* path)
{
    Operation('o');
    auto err = openErrors.find(path);
    if (err != openErrors.end()) {
        ::SetLastError(err->second);
        return INVALID_HANDLE_VALUE;
    }
    auto it = files.find(path);
    if (!present || it == files.end()) {
        ::SetLastError(present ? ERROR_FILE_NOT_FOUND : ERROR_NOT_READY);
        return INVALID_HANDLE_VALUE;
    }
    ++openHandles;
    return reinterpret_cast<HANDLE>(new File{it->second, 0});
}

DWORD FakeDisc::FileSize(HANDLE file)
{
    return static_cast<DWORD>(reinterpret_cast<File*>(file)->size);
}

BOOL FakeDisc::Seek(HANDLE file, DWORD offset)
{
    Operation('s');
    seeks.push_back(offset);
    reinterpret_cast<File*>(file)->pos = offset;
    return TRUE;
}

BOOL FakeDisc::Read(HANDLE handle, void*, DWORD size, DWORD* got)
{
    Operation('r');
    const int index = reads++;
    now += readTicks;
    if (onRead && !onRead(index)) {
        *got = 0;
        ::SetLastError(ERROR_CRC);
        return FALSE;
    }
    File* file = reinterpret_cast<File*>(handle);
    uint64_t left = file->pos < file->size ? file->size - file->pos : 0;
    *got = static_cast<DWORD>(left < size ? left : size);
    file->pos += *got;
    return TRUE;
}

BOOL FakeDisc::CloseFile(HANDLE file)
{
    delete reinterpret_cast<File*>(file);
    --openHandles;
    return TRUE;
}

HANDLE FakeCacheDevice::Open(const char*)
{
    if (!openable) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    ++opens;
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x4B0));
}

BOOL FakeCacheDevice::Control(HANDLE, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned)
{
    *returned = 0;
    int32_t words[2] = {0, 0};
    if (in && inSize >= 4)
        std::memcpy(words, in, inSize >= 8 ? 8 : 4);
    requests.push_back({code, words[0], static_cast<uint32_t>(words[1])});
    switch (code) {
    case 11: {
        DWORD n = static_cast<DWORD>(driveNumbers.size() < outSize ? driveNumbers.size() : outSize);
        std::memcpy(out, driveNumbers.data(), n);
        *returned = n;
        return TRUE;
    }
    case 8: {
        if (outSize < 24 || !flags.count(words[0]))
            return FALSE;
        unsigned char state[24] = {};
        state[0] = static_cast<unsigned char>(words[0]);
        std::memcpy(state + 16, &flags[words[0]], 4);
        std::memcpy(out, state, 24);
        *returned = 24;
        return TRUE;
    }
    case 9:
        if (inSize < 8 || !flags.count(words[0]))
            return FALSE;
        flags[words[0]] = static_cast<uint32_t>(words[1]);
        if (onSetFlags)
            onSetFlags(words[0], flags[words[0]]);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL FakeCacheDevice::Close(HANDLE)
{
    ++closes;
    return TRUE;
}

int MessageRecorder::Show(const char* text, const char* caption, UINT style)
{
    boxes.push_back({text, caption, style});
    if (onShow)
        onShow(boxes.back());
    return answer;
}
