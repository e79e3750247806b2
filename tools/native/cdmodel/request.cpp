// cdmodelfs's timed request: the clock, the cache flags file, the log line and the reply held until the drive is done.
//
// Every request that needs the disc (a directory's records, a file's sectors) is
// answered no sooner than the drive model says the drive would answer it. The
// reply time is anchored to the drive's previous completion: when a request
// arrives within `--allowance-us` of the previous reply, the client (Wine, FUSE)
// was still busy with the same call, and that time, like the round trips of
// requests that need no disc, is hidden inside the modelled time of the next
// disc access rather than added to it (up to `kMaxDebtUs` carried). Each request
// goes to the log with its modelled service time.
#include "cdmodelfs.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace cdmodelfs {

State g;

double NowUs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (t.tv_sec - g.epoch.tv_sec) * 1e6 + (t.tv_nsec - g.epoch.tv_nsec) / 1e3;
}

namespace {
// Client time that later disc accesses may absorb, at most: more is a stall of
// the machine, which the drive must not hide.
constexpr double kMaxDebtUs = 20000;
// A request's own way through the kernel to this server, hidden even after a pause.
constexpr double kRequestTripUs = 100;

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
}  // namespace

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

namespace {
constexpr uint32_t kCacheFlagEnabled = 0x04;

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
}  // namespace

void Request::Access(int64_t first, int64_t count, int64_t bytes) {
    if (count <= 0) return;
    m_first = first;
    m_count = count;
    m_service = g.drive->Read(first, count, bytes, CacheEnabled());
}

int Request::Finish(int result) {
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

}  // namespace cdmodelfs
