// cdmodelfs: a read-only FUSE file system that serves a disc tree as a modelled CD-ROM drive would.
// This file: its options, the scan of the source tree, and main.
#include "cdmodelfs.h"

#include <dirent.h>
#include <sched.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

using namespace cdmodel;
using namespace cdmodelfs;

namespace {

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
