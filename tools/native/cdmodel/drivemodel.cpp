// CD-ROM drive timing model: geometry, seek and rotation, read-ahead, block cache, disc layout.
#include "drivemodel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace cdmodel {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool ParseNumber(const std::string& s, double* out) {
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

struct Section {
    std::vector<std::pair<std::string, std::string>> lines;
    std::vector<int> lineNumbers;
};

bool SetKey(Params* p, const std::string& key, const std::string& value, std::string* error) {
    if (key == "mode") {
        if (value == "clv") p->cav = false;
        else if (value == "cav") p->cav = true;
        else { *error = "mode must be clv or cav"; return false; }
        return true;
    }
    struct Field { const char* name; double Params::*member; };
    static const Field fields[] = {
        {"speed", &Params::speed},
        {"settle_ms", &Params::settleMs},
        {"full_stroke_ms", &Params::fullStrokeMs},
        {"command_us", &Params::commandUs},
        {"interface_mb_s", &Params::interfaceMBs},
        {"buffer_kib", &Params::bufferKiB},
        {"cache_kib", &Params::cacheKiB},
        {"cache_hit_us", &Params::cacheHitUs},
        {"memory_mb_s", &Params::memoryMBs},
        {"time_scale", &Params::timeScale},
        {"inner_radius_mm", &Params::innerRadiusMm},
        {"outer_radius_mm", &Params::outerRadiusMm},
        {"track_pitch_um", &Params::trackPitchUm},
        {"velocity_1x_m_s", &Params::velocity1xMs},
    };
    for (const Field& f : fields) {
        if (key != f.name) continue;
        double v;
        if (!ParseNumber(value, &v) || v < 0) { *error = key + ": not a number >= 0: " + value; return false; }
        p->*f.member = v;
        return true;
    }
    *error = "unknown key " + key;
    return false;
}

bool Apply(const std::map<std::string, Section>& sections, const std::string& name, int depth,
           Params* p, std::string* error) {
    auto it = sections.find(name);
    if (it == sections.end()) { *error = "no preset named " + name; return false; }
    if (depth > 8) { *error = "inherit chain too deep at " + name; return false; }
    const Section& s = it->second;
    for (size_t i = 0; i < s.lines.size(); ++i) {
        const auto& kv = s.lines[i];
        bool ok = kv.first == "inherit" ? Apply(sections, kv.second, depth + 1, p, error)
                                        : SetKey(p, kv.first, kv.second, error);
        if (!ok) {
            *error = "line " + std::to_string(s.lineNumbers[i]) + ": " + *error;
            return false;
        }
    }
    return true;
}

bool Validate(const Params& p, std::string* error) {
    if (p.speed <= 0 || p.interfaceMBs <= 0 || p.memoryMBs <= 0 || p.timeScale <= 0 ||
        p.trackPitchUm <= 0 || p.velocity1xMs <= 0)
        *error = "speed, interface_mb_s, memory_mb_s, time_scale, track_pitch_um and velocity_1x_m_s must be > 0";
    else if (p.outerRadiusMm <= p.innerRadiusMm || p.innerRadiusMm <= 0)
        *error = "radii must satisfy 0 < inner_radius_mm < outer_radius_mm";
    else if (p.fullStrokeMs < p.settleMs)
        *error = "full_stroke_ms must not be below settle_ms";
    else if (p.bufferKiB < 2)
        *error = "buffer_kib must hold at least one sector (2)";
    else
        return true;
    return false;
}

}  // namespace

bool ParsePresets(const std::string& text, const std::string& name, Params* out, std::string* error) {
    std::map<std::string, Section> sections;
    std::istringstream in(text);
    std::string line, current;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string key, value, extra;
        if (!(words >> key)) continue;
        if (key.front() == '[') {
            if (key.back() != ']' || key.size() < 3 || (words >> extra)) {
                *error = "line " + std::to_string(number) + ": bad section header";
                return false;
            }
            current = key.substr(1, key.size() - 2);
            sections[current];
            continue;
        }
        if (current.empty() || !(words >> value) || (words >> extra)) {
            *error = "line " + std::to_string(number) + ": expected \"key value\" inside a [preset]";
            return false;
        }
        sections[current].lines.emplace_back(key, value);
        sections[current].lineNumbers.push_back(number);
    }
    Params p;
    if (!Apply(sections, name, 0, &p, error) || !Validate(p, error)) return false;
    *out = p;
    return true;
}

bool LoadPreset(const std::string& file, const std::string& name, Params* out, std::string* error) {
    std::ifstream in(file);
    if (!in) { *error = "cannot read presets file " + file; return false; }
    std::stringstream text;
    text << in.rdbuf();
    if (!ParsePresets(text.str(), name, out, error)) {
        *error = file + ": " + *error;
        return false;
    }
    return true;
}

// The spiral: sector n ends where the area swept by n sectors of track (length
// L = velocity / 75 per sector, width = track pitch) added to the inner circle.
double SectorRadiusMm(const Params& p, int64_t sector) {
    double sectorLengthMm = p.velocity1xMs * 1000.0 / kSectorsPerSecond1x;
    double pitchMm = p.trackPitchUm / 1000.0;
    double n = static_cast<double>(std::max<int64_t>(sector, 0));
    return std::sqrt(p.innerRadiusMm * p.innerRadiusMm + n * sectorLengthMm * pitchMm / kPi);
}

double SectorTimeUs(const Params& p, int64_t sector) {
    double speed = p.speed;
    if (p.cav) speed *= std::min(1.0, SectorRadiusMm(p, sector) / p.outerRadiusMm);
    return 1e6 / (kSectorsPerSecond1x * speed);
}

double RevolutionUs(const Params& p, int64_t sector) {
    // CLV: the spindle turns so that the track passes at speed x velocity; CAV: the
    // rpm is fixed by the outer radius reaching the nominal speed.
    double r = p.cav ? p.outerRadiusMm : SectorRadiusMm(p, sector);
    return 2 * kPi * r / (p.speed * p.velocity1xMs) * 1e3;
}

// Square root of the radial distance: the sled accelerates then brakes, so its
// travel time grows as sqrt(distance); settling is paid on every seek.
double SeekUs(const Params& p, int64_t from, int64_t to) {
    if (from == to) return 0;
    double dr = std::fabs(SectorRadiusMm(p, to) - SectorRadiusMm(p, from));
    double fraction = std::min(1.0, dr / (p.outerRadiusMm - p.innerRadiusMm));
    return (p.settleMs + (p.fullStrokeMs - p.settleMs) * std::sqrt(fraction)) * 1000.0;
}

double InterfaceUs(const Params& p, int64_t bytes) { return static_cast<double>(bytes) / p.interfaceMBs; }

double CacheHitUs(const Params& p, int64_t bytes) {
    return p.cacheHitUs + static_cast<double>(bytes) / p.memoryMBs;
}

// ---- BlockCache ----

void BlockCache::Touch(int64_t block) {
    auto it = m_index.find(block);
    m_order.splice(m_order.begin(), m_order, it->second);
}

bool BlockCache::Lookup(int64_t first, int64_t count) {
    if (count <= 0) return false;
    for (int64_t b = first; b < first + count; ++b)
        if (!m_index.count(b)) return false;
    for (int64_t b = first + count - 1; b >= first; --b) Touch(b);
    return true;
}

void BlockCache::Fill(int64_t first, int64_t count) {
    if (m_capacity <= 0) return;
    for (int64_t b = first; b < first + count; ++b) {
        if (m_index.count(b)) { Touch(b); continue; }
        m_order.push_front(b);
        m_index[b] = m_order.begin();
        if (static_cast<int64_t>(m_order.size()) > m_capacity) {
            m_index.erase(m_order.back());
            m_order.pop_back();
        }
    }
}

const char* SourceName(Source s) {
    switch (s) {
    case Source::Media: return "media";
    case Source::Buffer: return "buffer";
    case Source::Cache: return "cache";
    default: return "none";
    }
}

// ---- Drive ----

Drive::Drive(const Params& p)
    : m_p(p),
      m_cache(static_cast<int64_t>(p.cacheKiB * 1024 / kSectorBytes)),
      m_bufferSectors(std::max<int64_t>(1, static_cast<int64_t>(p.bufferKiB * 1024 / kSectorBytes))) {}

double Drive::MediaPosition(double t) const {
    if (!m_streaming) return m_refPos;
    double pos = m_refPos + std::max(0.0, t - m_refTime) / SectorTimeUs(m_p, static_cast<int64_t>(m_refPos));
    double limit = static_cast<double>(m_consumed + m_bufferSectors);
    return std::min(pos, std::max(limit, m_refPos));
}

int64_t Drive::BufferLow(double t) const {
    int64_t high = static_cast<int64_t>(std::floor(MediaPosition(t)));
    return std::max(m_runStart, high - m_bufferSectors);
}

// Two ways to get the sectors: wait for the read-ahead stream to bring them (only
// while the run still holds the first one), or seek there. The drive takes the
// quicker; a continuation already in the buffer goes at interface speed.
double Drive::DriveRead(int64_t first, int64_t count, int64_t bytes, Source* source) {
    const double t = m_now;
    const int64_t end = first + count;
    const double transfer = InterfaceUs(m_p, bytes);
    const double lastSector = InterfaceUs(m_p, std::min<int64_t>(bytes, kSectorBytes));
    const double pos = MediaPosition(t);

    double viaStream = std::numeric_limits<double>::infinity();
    if (m_streaming && first >= BufferLow(t)) {
        double wait = end > pos ? (end - pos) * SectorTimeUs(m_p, static_cast<int64_t>(pos)) + lastSector : 0;
        viaStream = std::max(m_p.commandUs + transfer, wait);
    }
    int64_t from = static_cast<int64_t>(std::floor(pos));
    double media = 0;
    for (int64_t s = first; s < end; ++s) media += SectorTimeUs(m_p, s);
    double viaSeek = m_p.commandUs + SeekUs(m_p, from, first) + RevolutionUs(m_p, first) / 2 + media + lastSector;
    viaSeek = std::max(viaSeek, m_p.commandUs + transfer);

    if (viaStream <= viaSeek) {
        *source = end <= pos ? Source::Buffer : Source::Media;
        m_refPos = pos;
        m_refTime = t;
        m_consumed = std::max(m_consumed, end);
        return viaStream;
    }
    *source = Source::Media;
    m_streaming = true;
    m_runStart = first;
    m_refPos = static_cast<double>(end);
    m_refTime = t + viaSeek - lastSector;
    m_consumed = end;
    return viaSeek;
}

Service Drive::Read(int64_t first, int64_t count, int64_t bytes, bool cacheEnabled) {
    Service out;
    if (count <= 0) return out;
    double us;
    if (cacheEnabled && m_cache.Lookup(first, count)) {
        us = CacheHitUs(m_p, bytes);
        out.source = Source::Cache;
    } else {
        us = DriveRead(first, count, bytes, &out.source);
        if (cacheEnabled) m_cache.Fill(first, count);
    }
    m_now += us;
    out.us = us * m_p.timeScale;
    return out;
}

// ---- Layout ----

std::string Layout::Parent(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

static std::string Join(const std::string& dir, const std::string& name) {
    return dir == "/" ? "/" + name : dir + "/" + name;
}

// Directory records: 33 bytes plus the identifier (files carry ";1"), padded to an
// even length; "." and ".." take 34 each; no record crosses a sector boundary.
int64_t Layout::DirectoryBytes(const std::vector<std::string>& names,
                               const std::map<std::string, Item>& items, const std::string& dir) {
    int64_t sectors = 1, used = 68;
    for (const std::string& name : names) {
        auto it = items.find(Join(dir, name));
        int64_t id = static_cast<int64_t>(name.size()) + (it != items.end() && !it->second.isDir ? 2 : 0);
        int64_t len = 33 + id + (id % 2 == 0 ? 1 : 0);
        if (used + len > kSectorBytes) { ++sectors; used = 0; }
        used += len;
    }
    return sectors * kSectorBytes;
}

// System area 0-15, volume descriptor 16, terminator 17, then the type L and type
// M path tables, the directories in path-table (breadth-first) order, and the file
// extents directory by directory in record order.
void Layout::Build(const std::map<std::string, Item>& items) {
    m_entries.clear();
    for (const auto& kv : items) {
        LayoutEntry e;
        e.path = kv.first;
        e.isDir = kv.second.isDir;
        e.size = kv.second.size;
        m_entries[kv.first] = e;
    }
    if (!m_entries.count("/")) {
        LayoutEntry root;
        root.path = "/";
        root.isDir = true;
        m_entries["/"] = root;
    }
    for (const auto& kv : items)
        if (kv.first != "/") {
            auto parent = m_entries.find(Parent(kv.first));
            if (parent != m_entries.end())
                parent->second.children.push_back(kv.first.substr(kv.first.rfind('/') + 1));
        }

    std::vector<std::string> order{"/"};
    for (size_t i = 0; i < order.size(); ++i)
        for (const std::string& name : m_entries[order[i]].children) {
            std::string child = Join(order[i], name);
            if (m_entries[child].isDir) order.push_back(child);
        }

    int64_t pathTable = 0;
    for (const std::string& dir : order) {
        int64_t id = dir == "/" ? 1 : static_cast<int64_t>(dir.size() - dir.rfind('/') - 1);
        pathTable += 8 + id + id % 2;
    }
    int64_t tableSectors = (pathTable + kSectorBytes - 1) / kSectorBytes;
    int64_t next = 18 + 2 * tableSectors;
    for (const std::string& dir : order) {
        LayoutEntry& e = m_entries[dir];
        e.size = static_cast<uint64_t>(DirectoryBytes(e.children, items, dir));
        e.extent = {next, static_cast<int64_t>(e.size / kSectorBytes)};
        next += e.extent.sectors;
    }
    for (const std::string& dir : order)
        for (const std::string& name : m_entries[dir].children) {
            LayoutEntry& f = m_entries[Join(dir, name)];
            if (f.isDir) continue;
            int64_t sectors = static_cast<int64_t>((f.size + kSectorBytes - 1) / kSectorBytes);
            f.extent = {sectors ? next : 0, sectors};
            next += sectors;
        }
    m_total = next;
}

const LayoutEntry* Layout::Find(const std::string& path) const {
    auto it = m_entries.find(path);
    return it == m_entries.end() ? nullptr : &it->second;
}

Extent FileSectors(const LayoutEntry& e, uint64_t offset, uint64_t size) {
    if (size == 0 || offset >= e.size) return {e.extent.start, 0};
    uint64_t end = std::min<uint64_t>(offset + size, e.size);
    int64_t first = e.extent.start + static_cast<int64_t>(offset / kSectorBytes);
    int64_t last = e.extent.start + static_cast<int64_t>((end - 1) / kSectorBytes);
    return {first, last - first + 1};
}

}  // namespace cdmodel
