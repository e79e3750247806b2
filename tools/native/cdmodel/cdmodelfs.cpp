// cdmodelfs: a read-only FUSE file system that serves a disc tree as a modelled CD-ROM drive would.
//
// Every request that needs the disc (a directory's records, a file's sectors) is
// answered no sooner than the drive model says the drive would answer it. The
// reply time is anchored to the drive's previous completion: when a request
// arrives within `--allowance-us` of the previous reply, the client (Wine, FUSE)
// was still busy with the same call, and that time, like the round trips of
// requests that need no disc, is hidden inside the modelled time of the next
// disc access rather than added to it (up to `kMaxDebtUs` carried). Each request
// goes to the log with its modelled service time.
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "drivemodel.h"

using namespace cdmodel;

namespace {

struct Node {
    bool isDir = false;
    struct stat st {};
    std::string source;   // path in the source tree
};

constexpr uint32_t kCacheFlagEnabled = 0x04;

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

State g;

// Client time that later disc accesses may absorb, at most: more is a stall of
// the machine, which the drive must not hide.
constexpr double kMaxDebtUs = 20000;
// A request's own way through the kernel to this server, hidden even after a pause.
constexpr double kRequestTripUs = 100;

double NowUs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (t.tv_sec - g.epoch.tv_sec) * 1e6 + (t.tv_nsec - g.epoch.tv_nsec) / 1e3;
}

// Sleeps to just short of the deadline, then spins: a timer wake-up alone lands
// tens of microseconds late, as much as a whole modelled sector at speed.
void SleepUntil(double us) {
    constexpr double kSpinUs = 120;
    double early = us - kSpinUs;
    if (early > NowUs()) {
        double whole = std::floor(early / 1e6);
        timespec t = g.epoch;
        t.tv_sec += static_cast<time_t>(whole);
        t.tv_nsec += static_cast<long>((early - whole * 1e6) * 1e3);
        while (t.tv_nsec >= 1000000000L) { t.tv_nsec -= 1000000000L; ++t.tv_sec; }
        while (t.tv_nsec < 0) { t.tv_nsec += 1000000000L; --t.tv_sec; }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {}
    }
    while (NowUs() < us) {}
}

// The cache driver's stand-in rewrites this file whenever the drive's flags word
// is set. A stat-based check would miss two writes within one timestamp tick, so
// the file is read again after every change that inotify reports in its folder
// (one non-blocking read a request while nothing changes), or, without inotify,
// on every request. Missing file: cache off; a torn or malformed file keeps the
// last good word.
void ReadFlagsFile() {
    int fd = open(g.flagsPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        g.flags = 0;
        return;
    }
    char buf[32];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n >= 8) {
        buf[n] = '\0';
        bool ok = true;
        for (int i = 0; i < 8; ++i) ok = ok && isxdigit(static_cast<unsigned char>(buf[i]));
        const char* rest = buf + 8;
        ok = ok && (std::strcmp(rest, "") == 0 || std::strcmp(rest, "\n") == 0 || std::strcmp(rest, "\r\n") == 0);
        if (ok) g.flags = static_cast<uint32_t>(std::strtoul(std::string(buf, 8).c_str(), nullptr, 16));
    }
}

// Starts watching the flags file's folder; false leaves the per-request reads.
bool WatchFlagsFolder() {
    std::string dir = g.flagsPath.substr(0, g.flagsPath.find_last_of('/') + 1);
    if (dir.empty()) dir = ".";
    g.flagsWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (g.flagsWatch < 0) return false;
    const uint32_t changes = IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE |
                             IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
    if (inotify_add_watch(g.flagsWatch, dir.c_str(), changes) < 0) {
        close(g.flagsWatch);
        g.flagsWatch = -1;
        return false;
    }
    return true;
}

bool CacheEnabled() {
    if (g.flagsPath.empty()) return false;
    if (g.flagsWatch < 0) {
        ReadFlagsFile();
    } else {
        alignas(inotify_event) char events[4096];
        bool changed = false, lost = false;
        ssize_t n;
        while ((n = read(g.flagsWatch, events, sizeof events)) > 0) {
            changed = true;
            for (char* p = events; p < events + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
                lost = lost || (reinterpret_cast<inotify_event*>(p)->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_Q_OVERFLOW));
        }
        if (lost) {   // the folder went away, or events were lost: back to reading on every request
            close(g.flagsWatch);
            g.flagsWatch = -1;
        }
        if (changed) ReadFlagsFile();
    }
    return (g.flags & kCacheFlagEnabled) != 0;
}

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c == '\n' ? ' ' : c;
    }
    return out + "\"";
}

// One request from arrival to reply: models the drive access (if any), logs it,
// then holds the reply until the modelled completion.
class Request {
public:
    Request(const char* op, const char* path) : m_lock(g.mutex), m_op(op), m_path(path), m_arrival(NowUs()) {}
    void Access(int64_t first, int64_t count, int64_t bytes) {
        if (count <= 0) return;
        m_first = first;
        m_count = count;
        m_service = g.drive->Read(first, count, bytes, CacheEnabled());
    }
    void Range(int64_t offset, int64_t size) { m_offset = offset; m_size = size; }
    int Finish(int result) {
        double deadline = m_arrival, late = 0;
        const bool chained = m_arrival - g.lastReply <= g.allowanceUs;
        if (m_count > 0) {
            double start = chained ? std::max(g.busyUntil, m_arrival - kMaxDebtUs) : std::max(g.busyUntil, m_arrival - kRequestTripUs);
            deadline = start + m_service.us;
            late = std::max(0.0, NowUs() - deadline);
        } else if (!chained) {
            g.busyUntil = std::max(g.busyUntil, m_arrival);
        }
        if (g.log) {
            std::fprintf(g.log, "%.1f,%s,%s,%" PRId64 ",%" PRId64 ",%.1f,%s,%" PRId64 ",%" PRId64 ",%.1f,%d\n",
                         m_arrival, m_op, CsvField(m_path).c_str(), m_offset, m_size, m_service.us,
                         SourceName(m_service.source), m_count > 0 ? m_first : -1, m_count, late, result);
            std::fflush(g.log);
        }
        if (m_count > 0) {
            SleepUntil(deadline);
            g.busyUntil = deadline;
        }
        g.lastReply = NowUs();
        return result;
    }
private:
    std::lock_guard<std::mutex> m_lock;
    const char* m_op;
    std::string m_path;
    double m_arrival;
    int64_t m_offset = -1, m_size = -1;
    int64_t m_first = -1, m_count = 0;
    Service m_service;
};

const Node* FindNode(const char* path) {
    auto it = g.nodes.find(path);
    return it == g.nodes.end() ? nullptr : &it->second;
}

// A directory's records come from its extent; the root's own record lives in the
// volume descriptor (sector 16).
void ReadDirectoryRecords(Request& r, const std::string& dir) {
    if (dir.empty()) {
        r.Access(16, 1, kSectorBytes);
        return;
    }
    const LayoutEntry* e = g.layout.Find(dir);
    if (e && e->isDir) r.Access(e->extent.start, e->extent.sectors, e->extent.sectors * kSectorBytes);
}

void FillStat(const char* path, const Node& n, struct stat* st) {
    *st = n.st;
    st->st_mode = (n.st.st_mode & S_IFMT) | (n.isDir ? 0555 : 0444);
    st->st_nlink = n.isDir ? 2 : 1;
    st->st_blksize = kSectorBytes;
    if (n.isDir) {
        const LayoutEntry* e = g.layout.Find(path);
        if (e) st->st_size = static_cast<off_t>(e->size);
    }
    st->st_blocks = (st->st_size + 511) / 512;
}

void* OpInit(struct fuse_conn_info*, struct fuse_config* cfg) {
    // Every data read, directory listing and stat must reach the model: no page
    // cache, no attribute cache. Names resolved along a path are kept for
    // `--entry-timeout` seconds, as an operating system keeps the directories it
    // walked through: otherwise each stat deep in the tree would re-read every
    // directory on its path, a cost no real walk pays.
    cfg->direct_io = 1;
    cfg->kernel_cache = 0;
    cfg->auto_cache = 0;
    cfg->attr_timeout = 0;
    cfg->entry_timeout = g.entryTimeout;
    cfg->negative_timeout = 0;
    return nullptr;
}

int OpGetattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    Request r("getattr", path);
    const Node* n = FindNode(path);
    // fstat of an open file needs no disc access: the record was read at open.
    if (!fi) ReadDirectoryRecords(r, std::strcmp(path, "/") == 0 ? std::string() : Layout::Parent(path));
    if (!n) return r.Finish(-ENOENT);
    FillStat(path, *n, st);
    return r.Finish(0);
}

int OpAccess(const char* path, int mask) {
    Request r("access", path);
    if (!FindNode(path)) return r.Finish(-ENOENT);
    return r.Finish(mask & W_OK ? -EROFS : 0);
}

int OpOpendir(const char* path, struct fuse_file_info*) {
    Request r("opendir", path);
    const Node* n = FindNode(path);
    if (!n) return r.Finish(-ENOENT);
    return r.Finish(n->isDir ? 0 : -ENOTDIR);
}

int OpReaddir(const char* path, void* buf, fuse_fill_dir_t filler, off_t, struct fuse_file_info*,
              enum fuse_readdir_flags) {
    Request r("readdir", path);
    const LayoutEntry* e = g.layout.Find(path);
    if (!e || !e->isDir) return r.Finish(-ENOENT);
    ReadDirectoryRecords(r, path);
    filler(buf, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    filler(buf, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    for (const std::string& name : e->children)
        filler(buf, name.c_str(), nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return r.Finish(0);
}

int OpReleasedir(const char* path, struct fuse_file_info*) {
    Request r("releasedir", path ? path : "");
    return r.Finish(0);
}

int OpOpen(const char* path, struct fuse_file_info* fi) {
    Request r("open", path);
    const Node* n = FindNode(path);
    if (!n) return r.Finish(-ENOENT);
    if (n->isDir) return r.Finish(-EISDIR);
    if ((fi->flags & O_ACCMODE) != O_RDONLY) return r.Finish(-EROFS);
    int fd = open(n->source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return r.Finish(-errno);
    fi->fh = static_cast<uint64_t>(fd);
    fi->direct_io = 1;
    fi->keep_cache = 0;
    return r.Finish(0);
}

int OpRead(const char* path, char* buf, size_t size, off_t offset, struct fuse_file_info* fi) {
    Request r("read", path ? path : "");
    r.Range(offset, static_cast<int64_t>(size));
    const LayoutEntry* e = path ? g.layout.Find(path) : nullptr;
    if (!e || e->isDir || offset < 0) return r.Finish(offset < 0 ? -EINVAL : -EIO);
    // Bytes past the size recorded at mount are not on the disc.
    uint64_t want = offset >= static_cast<off_t>(e->size) ? 0
                    : std::min<uint64_t>(size, e->size - static_cast<uint64_t>(offset));
    Extent ext = FileSectors(*e, static_cast<uint64_t>(offset), want);
    r.Access(ext.start, ext.sectors, static_cast<int64_t>(want));
    size_t done = 0;
    while (done < want) {
        ssize_t n = pread(static_cast<int>(fi->fh), buf + done, want - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return r.Finish(-EIO);
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return r.Finish(static_cast<int>(done));
}

int OpFlush(const char* path, struct fuse_file_info*) {
    Request r("flush", path ? path : "");
    return r.Finish(0);
}

int OpRelease(const char* path, struct fuse_file_info* fi) {
    Request r("release", path ? path : "");
    close(static_cast<int>(fi->fh));
    return r.Finish(0);
}

int OpStatfs(const char* path, struct statvfs* sv) {
    Request r("statfs", path);
    std::memset(sv, 0, sizeof *sv);
    sv->f_bsize = kSectorBytes;
    sv->f_frsize = kSectorBytes;
    sv->f_blocks = static_cast<fsblkcnt_t>(g.layout.TotalSectors());
    sv->f_files = static_cast<fsfilcnt_t>(g.nodes.size());
    sv->f_namemax = 255;
    sv->f_flag = ST_RDONLY;
    return r.Finish(0);
}

// A pressed disc carries no extended attributes.
int OpGetxattr(const char* path, const char*, char*, size_t) {
    Request r("getxattr", path);
    return r.Finish(FindNode(path) ? -ENODATA : -ENOENT);
}

int OpListxattr(const char* path, char*, size_t) {
    Request r("listxattr", path);
    return r.Finish(FindNode(path) ? 0 : -ENOENT);
}

int OpSetxattr(const char* path, const char*, const char*, size_t, int) {
    Request r("setxattr", path);
    return r.Finish(-EROFS);
}

int OpRemovexattr(const char* path, const char*) {
    Request r("removexattr", path);
    return r.Finish(-EROFS);
}

void OpDestroy(void*) {
    if (g.log) std::fclose(g.log);
    g.log = nullptr;
}

// Regular files and directories make the disc; anything else (links, devices)
// cannot be on a pressed disc and is left out.
void Scan(const std::string& source, const std::string& path, std::map<std::string, Layout::Item>* items) {
    struct stat st;
    if (lstat(source.c_str(), &st) != 0) { ++g.skipped; return; }
    bool dir = S_ISDIR(st.st_mode);
    if (!dir && !S_ISREG(st.st_mode)) { ++g.skipped; return; }
    Node n;
    n.isDir = dir;
    n.st = st;
    n.source = source;
    g.nodes[path] = n;
    (*items)[path] = {dir, dir ? 0 : static_cast<uint64_t>(st.st_size)};
    if (!dir) return;
    DIR* d = opendir(source.c_str());
    if (!d) { ++g.skipped; return; }
    while (dirent* de = readdir(d)) {
        std::string name = de->d_name;
        if (name == "." || name == "..") continue;
        Scan(source + "/" + name, path == "/" ? "/" + name : path + "/" + name, items);
    }
    closedir(d);
}

std::string DefaultPresets() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "cdmodel-presets.txt";
    std::string s(exe, static_cast<size_t>(n));
    return s.substr(0, s.rfind('/') + 1) + "cdmodel-presets.txt";
}

int Usage() {
    std::fprintf(stderr,
        "usage: cdmodelfs [--preset NAME] [--presets FILE] [--log FILE] [--flags FILE]\n"
        "                 [--cache-kib N] [--allowance-us N] [--entry-timeout S] [--realtime]\n"
        "                 SOURCE MOUNTPOINT [-f] [-d] [-o OPTS]\n"
        "Serves the directory SOURCE at MOUNTPOINT, read-only, timed as a CD-ROM drive.\n"
        "  --preset    drive preset (default 52x) from FILE (default cdmodel-presets.txt beside the program)\n"
        "  --log       CSV log of every request with its modelled service time\n"
        "  --flags     the drive's cache flags file (8 hex digits); bit 0x04 turns the cache on\n"
        "  --cache-kib size of the block cache (default: the preset's)\n"
        "  --allowance-us  a request this soon after the previous reply continues the same call:\n"
        "              the client's time is hidden inside the next disc access (default 500)\n"
        "  --entry-timeout  seconds the kernel keeps resolved names (default 1)\n"
        "  --realtime  serve from a real-time (FIFO) thread so replies leave on time on a busy machine\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string preset = "52x", presets = DefaultPresets(), logPath;
    bool realtime = false;
    double cacheKiB = -1;
    std::vector<std::string> positional, passThrough;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) { std::fprintf(stderr, "cdmodelfs: %s needs a value\n", name); return nullptr; }
            return argv[++i];
        };
        const char* v = nullptr;
        if (a == "--preset") { if (!(v = value("--preset"))) return Usage(); preset = v; }
        else if (a == "--presets") { if (!(v = value("--presets"))) return Usage(); presets = v; }
        else if (a == "--log") { if (!(v = value("--log"))) return Usage(); logPath = v; }
        else if (a == "--flags") { if (!(v = value("--flags"))) return Usage(); g.flagsPath = v; }
        else if (a == "--cache-kib" || a == "--allowance-us" || a == "--entry-timeout") {
            if (!(v = value(a.c_str()))) return Usage();
            char* end = nullptr;
            double d = std::strtod(v, &end);
            if (end == v || *end || d < 0 || d > 1e9) { std::fprintf(stderr, "cdmodelfs: bad %s %s\n", a.c_str(), v); return 2; }
            (a == "--cache-kib" ? cacheKiB : a == "--allowance-us" ? g.allowanceUs : g.entryTimeout) = d;
        }
        else if (a == "-o") { if (!(v = value("-o"))) return Usage(); passThrough.push_back("-o"); passThrough.push_back(v); }
        else if (a == "--realtime") realtime = true;
        else if (a == "-f" || a == "-d") passThrough.push_back(a);
        else if (a == "-h" || a == "--help") return Usage();
        else if (!a.empty() && a[0] == '-') { std::fprintf(stderr, "cdmodelfs: unknown option %s\n", a.c_str()); return Usage(); }
        else positional.push_back(a);
    }
    if (positional.size() != 2) return Usage();

    Params p;
    std::string error;
    if (!LoadPreset(presets, preset, &p, &error)) {
        std::fprintf(stderr, "cdmodelfs: %s\n", error.c_str());
        return 2;
    }
    if (cacheKiB >= 0) p.cacheKiB = cacheKiB;

    char real[PATH_MAX];
    struct stat st;
    if (!realpath(positional[0].c_str(), real) || stat(real, &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "cdmodelfs: source %s is not a directory\n", positional[0].c_str());
        return 2;
    }
    g.sourceRoot = real;
    std::map<std::string, Layout::Item> items;
    Scan(g.sourceRoot, "/", &items);
    g.layout.Build(items);
    g.drive = std::make_unique<Drive>(p);
    g.presetName = preset;

    if (!logPath.empty()) {
        g.log = std::fopen(logPath.c_str(), "w");
        if (!g.log) { std::fprintf(stderr, "cdmodelfs: cannot write log %s: %s\n", logPath.c_str(), std::strerror(errno)); return 2; }
        std::fprintf(g.log, "# cdmodel preset %s: %gx %s, settle %g ms, full stroke %g ms, buffer %g KiB, "
                     "cache %g KiB, time scale %g; %zu entries on %" PRId64 " sectors\n",
                     preset.c_str(), p.speed, p.cav ? "CAV" : "CLV", p.settleMs, p.fullStrokeMs, p.bufferKiB,
                     p.cacheKiB, p.timeScale, g.nodes.size(), g.layout.TotalSectors());
        std::fprintf(g.log, "t_us,op,path,offset,size,service_us,source,sector,sectors,late_us,result\n");
        std::fflush(g.log);
    }
    if (g.skipped) std::fprintf(stderr, "cdmodelfs: %d entries of %s left out (not files or directories, or unreadable)\n",
                                g.skipped, g.sourceRoot.c_str());
    if (!g.flagsPath.empty()) {
        if (!WatchFlagsFolder())
            std::fprintf(stderr, "cdmodelfs: cannot watch the folder of %s: reading it on every request\n", g.flagsPath.c_str());
        ReadFlagsFile();
    }
    clock_gettime(CLOCK_MONOTONIC, &g.epoch);
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    // On a busy machine a normal thread wakes from its sleep milliseconds late;
    // the spin before each reply is bounded, so a real-time class starves nobody.
    if (realtime) {
        sched_param sp {};
        sp.sched_priority = 20;
        if (sched_setscheduler(0, SCHED_FIFO, &sp) != 0)
            std::fprintf(stderr, "cdmodelfs: --realtime: %s; running at normal priority\n", std::strerror(errno));
    }

    struct fuse_operations ops {};
    ops.init = OpInit;
    ops.getattr = OpGetattr;
    ops.access = OpAccess;
    ops.opendir = OpOpendir;
    ops.readdir = OpReaddir;
    ops.releasedir = OpReleasedir;
    ops.open = OpOpen;
    ops.read = OpRead;
    ops.flush = OpFlush;
    ops.release = OpRelease;
    ops.statfs = OpStatfs;
    ops.getxattr = OpGetxattr;
    ops.listxattr = OpListxattr;
    ops.setxattr = OpSetxattr;
    ops.removexattr = OpRemovexattr;
    ops.destroy = OpDestroy;

    // One request at a time, as one drive mechanism serves them.
    std::vector<std::string> args{argv[0], positional[1], "-s", "-o", "ro,fsname=cdmodel,subtype=cdmodel"};
    args.insert(args.end(), passThrough.begin(), passThrough.end());
    std::vector<char*> fuseArgv;
    for (std::string& s : args) fuseArgv.push_back(&s[0]);
    return fuse_main(static_cast<int>(fuseArgv.size()), fuseArgv.data(), &ops, nullptr);
}
