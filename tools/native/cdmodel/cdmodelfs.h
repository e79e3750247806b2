// What cdmodelfs's files share: the served tree and its state, the timed request, the FUSE operations.
#pragma once
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "drivemodel.h"

namespace cdmodelfs {

using namespace cdmodel;

struct Node {
    bool isDir = false;
    struct stat st {};
    std::string source;   // path in the source tree
};

struct State {
    std::string sourceRoot;
    std::unordered_map<std::string, Node> nodes;
    Layout layout;
    std::unique_ptr<Drive> drive;
    std::string presetName;
    std::string flagsPath;
    uint32_t flags = 0;
    int flagsWatch = -1;   // inotify on the flags file's folder, or -1
    FILE* log = nullptr;
    timespec epoch {};
    double busyUntil = -1e18;   // modelled time (us since epoch) the drive finished its last request
    double lastReply = -1e18;   // wall time of the last reply
    double allowanceUs = 500;
    double entryTimeout = 1;
    std::mutex mutex;
    int skipped = 0;
};

extern State g;

// Microseconds since g.epoch.
double NowUs();
// The flags file (request.cpp): read it, and watch its folder for changes.
void ReadFlagsFile();
bool WatchFlagsFolder();

// One request from arrival to reply: models the drive access (if any), logs it,
// then holds the reply until the modelled completion.
class Request {
public:
    Request(const char* op, const char* path) : m_lock(g.mutex), m_op(op), m_path(path), m_arrival(NowUs()) {}
    void Access(int64_t first, int64_t count, int64_t bytes);
    void Range(int64_t offset, int64_t size) { m_offset = offset; m_size = size; }
    int Finish(int result);
private:
    std::lock_guard<std::mutex> m_lock;
    const char* m_op;
    std::string m_path;
    double m_arrival;
    int64_t m_offset = -1, m_size = -1;
    int64_t m_first = -1, m_count = 0;
    Service m_service;
};

// The FUSE operations (fuseops.cpp).
void* OpInit(struct fuse_conn_info*, struct fuse_config* cfg);
int OpGetattr(const char* path, struct stat* st, struct fuse_file_info* fi);
int OpAccess(const char* path, int mask);
int OpOpendir(const char* path, struct fuse_file_info*);
int OpReaddir(const char* path, void* buf, fuse_fill_dir_t filler, off_t, struct fuse_file_info*,
              enum fuse_readdir_flags);
int OpReleasedir(const char* path, struct fuse_file_info*);
int OpOpen(const char* path, struct fuse_file_info* fi);
int OpRead(const char* path, char* buf, size_t size, off_t offset, struct fuse_file_info* fi);
int OpFlush(const char* path, struct fuse_file_info*);
int OpRelease(const char* path, struct fuse_file_info* fi);
int OpStatfs(const char* path, struct statvfs* sv);
int OpGetxattr(const char* path, const char*, char*, size_t);
int OpListxattr(const char* path, char*, size_t);
int OpSetxattr(const char* path, const char*, const char*, size_t, int);
int OpRemovexattr(const char* path, const char*);
void OpDestroy(void*);

}  // namespace cdmodelfs
