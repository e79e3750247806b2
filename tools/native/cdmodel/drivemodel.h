// CD-ROM drive timing model: disc geometry, seek, rotation, read-ahead buffer, block cache, disc layout.
//
// Everything here is deterministic: the service time of a request depends only on
// the parameters, the disc layout and the requests that came before it. The drive
// runs on its own virtual clock that advances by the service times alone, so the
// host's own speed never changes a modelled figure (the host is taken to issue
// each request the moment the previous one completes).
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace cdmodel {

constexpr int kSectorBytes = 2048;
constexpr double kSectorsPerSecond1x = 75.0;   // 1x = 75 sectors of 2048 bytes = 150 KiB/s

struct Params {
    double speed = 52;             // nominal speed factor (x)
    bool cav = false;              // false: constant linear velocity at `speed` everywhere
                                   // true: constant rpm, `speed` reached at the outer radius
    double settleMs = 12;          // shortest seek: sled move, focus and tracking settle
    double fullStrokeMs = 150;     // seek across the whole program area, settle included
    double commandUs = 100;        // drive firmware's handling of one read command
    double interfaceMBs = 33.3;    // host interface burst rate (10^6 bytes/s)
    double bufferKiB = 128;        // read-ahead buffer
    double cacheKiB = 4096;        // LRU block cache of the cache driver
    double cacheHitUs = 20;        // cache driver's cost of one request served from memory
    double memoryMBs = 200;        // copy rate of a cache hit (10^6 bytes/s)
    double timeScale = 1;          // every modelled duration is multiplied by this
    // Disc geometry (CD standard): program area radii, track pitch, 1x scanning velocity.
    double innerRadiusMm = 25;
    double outerRadiusMm = 58;
    double trackPitchUm = 1.6;
    double velocity1xMs = 1.2;
};

// Reads the named preset from a presets file ("[name]" sections of "key value"
// lines, "inherit other" to start from another preset). Returns false with a
// message in *error when the file, the preset or a line is bad.
bool LoadPreset(const std::string& file, const std::string& name, Params* out, std::string* error);
bool ParsePresets(const std::string& text, const std::string& name, Params* out, std::string* error);

// ---- Pure geometry and timing functions (unscaled microseconds) ----
double SectorRadiusMm(const Params& p, int64_t sector);
double SectorTimeUs(const Params& p, int64_t sector);       // media time of one sector there
double RevolutionUs(const Params& p, int64_t sector);       // one turn of the disc there
double SeekUs(const Params& p, int64_t from, int64_t to);   // 0 when from == to
double InterfaceUs(const Params& p, int64_t bytes);
double CacheHitUs(const Params& p, int64_t bytes);

// ---- LRU cache of 2048-byte disc blocks ----
class BlockCache {
public:
    explicit BlockCache(int64_t capacityBlocks) : m_capacity(capacityBlocks) {}
    // True when every block of [first, first+count) is held; those become most recent.
    bool Lookup(int64_t first, int64_t count);
    void Fill(int64_t first, int64_t count);
    bool Contains(int64_t block) const { return m_index.count(block) != 0; }
    int64_t Size() const { return static_cast<int64_t>(m_order.size()); }
    int64_t Capacity() const { return m_capacity; }
private:
    void Touch(int64_t block);
    int64_t m_capacity;
    std::list<int64_t> m_order;   // most recent first
    std::unordered_map<int64_t, std::list<int64_t>::iterator> m_index;
};

enum class Source { None, Media, Buffer, Cache };
const char* SourceName(Source s);

struct Service {
    double us = 0;        // scaled service time
    Source source = Source::None;
};

// The drive mechanism with its read-ahead buffer, and the cache driver in front.
class Drive {
public:
    explicit Drive(const Params& p);
    // Serves sectors [first, first+count) for a request of `bytes` bytes.
    Service Read(int64_t first, int64_t count, int64_t bytes, bool cacheEnabled);
    double Now() const { return m_now; }   // virtual clock, unscaled us
    const Params& params() const { return m_p; }
    BlockCache& cache() { return m_cache; }

    // Media position (fractional sector) the pickup has reached at virtual time t.
    double MediaPosition(double t) const;
    // Lowest sector still held in the read-ahead buffer at virtual time t.
    int64_t BufferLow(double t) const;
    bool Streaming() const { return m_streaming; }

private:
    double DriveRead(int64_t first, int64_t count, int64_t bytes, Source* source);
    Params m_p;
    BlockCache m_cache;
    double m_now = 0;
    int64_t m_bufferSectors;
    // Read-ahead stream: the drive keeps reading after a request until the buffer
    // holds bufferSectors beyond what the host has consumed.
    bool m_streaming = false;
    int64_t m_runStart = 0;      // first sector of the current contiguous run
    double m_refPos = 16;        // media position at m_refTime
    double m_refTime = 0;
    int64_t m_consumed = 16;     // end of the host's last request in this run
};

// ---- Disc layout: where an ISO 9660 image writer would put each directory and file ----
struct Extent {
    int64_t start = 0;
    int64_t sectors = 0;
};

struct LayoutEntry {
    std::string path;          // "/" or "/DIR/NAME"
    bool isDir = false;
    uint64_t size = 0;         // file bytes, or directory record bytes for a directory
    Extent extent;
    std::vector<std::string> children;   // directory: names in record order
};

class Layout {
public:
    // Tree: directory path -> names of children, and each path's kind and size.
    struct Item { bool isDir; uint64_t size; };
    void Build(const std::map<std::string, Item>& items);
    const LayoutEntry* Find(const std::string& path) const;
    int64_t TotalSectors() const { return m_total; }
    size_t Count() const { return m_entries.size(); }
    static std::string Parent(const std::string& path);
    static int64_t DirectoryBytes(const std::vector<std::string>& names,
                                  const std::map<std::string, Item>& items, const std::string& dir);
private:
    std::unordered_map<std::string, LayoutEntry> m_entries;
    int64_t m_total = 0;
};

// Sectors [first, count] that a byte range of a file occupies, clipped to the file.
Extent FileSectors(const LayoutEntry& e, uint64_t offset, uint64_t size);

}  // namespace cdmodel
