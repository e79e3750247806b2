// The CD-ROM drive model's request log, cut into the sections a two-pass KORVANE.EXE run times.
#pragma once
#include <string>
#include <vector>

namespace modellog {

// One request as the model logged it.
struct Request {
    double arrivalUs = 0;
    std::string op;
    std::string path;
    long long offset = -1;
    long long size = -1;
    double serviceUs = 0;
    std::string source;   // none, media, buffer, cache
    double lateUs = 0;
    int result = 0;
};

// Reads the log's requests from byte `from` on (a size taken before a run: only
// that run's requests). Comment and header lines are skipped; false when the
// file cannot be read.
bool ReadLog(const std::string& windowsPath, long long from, std::vector<Request>* requests, std::string* error);
// The log's size in bytes now, or -1.
long long LogSize(const std::string& windowsPath);

// A timed section: requests [first, last] of the log.
struct Section {
    std::string name;     // "walk", "sequential 1", "random 1", ...
    size_t first = 0, last = 0;
    int requests = 0;
    double serviceUs = 0; // the model's summed service time: what the drive took
    double lateUs = 0;    // summed lateness: the model replied after its own deadline
    int cacheHits = 0;    // requests served from the cache
};

// A pass: the walk, then the sequential and random section of each of three cycles.
struct Pass {
    Section walk;
    Section sequential[3];
    Section random[3];
    double TotalUs() const;
};

// Cuts a run's requests into passes. `fileName` is the read file's bare name (the
// results window's file label). The rule:
// - the read file is the first file opened whose name is fileName (any case);
// - pass p's reads start at the p-th open of that file: per cycle one read at
//   offset 0 (untimed), then the sequential section = the next 384 reads of the
//   file, the random section = the 384 after them, every request between a
//   section's first and last read included;
// - pass p's walk = from the opendir of "/" that leads to the first listing
//   (readdir) of "/" after the previous pass's last read (or the run's start),
//   to the last releasedir before the pass's open of the file. The volume
//   query before it and the lookups of the file's path after it are not timed by
//   the program and are left out.
// Returns the passes found (complete ones only); *error says why fewer than expected.
std::vector<Pass> FindPasses(const std::vector<Request>& requests, const std::string& fileName, std::string* error);

// The program's time agrees with the model's when it is within 2 % or 5 ms of it,
// whichever is larger, besides the 0.005 s of its rounding to 0.01 s.
bool Agrees(double programSeconds, double modelSeconds);

// A request through FUSE and Wine costs the client about 100 us however fast the
// drive answers, and up to kRoundTripUs on a busy machine: a section whose
// modelled time per request is below 100 us (the cache's hits) cannot be shown
// at its modelled time.
constexpr double kRoundTripUs = 500;
bool BelowRoundTrip(const Section& section);
// Such a section agrees when the program's time lies between the model's and the
// model's plus one round trip per request (with Agrees' tolerance at both ends).
bool AgreesAtRoundTrip(double programSeconds, const Section& section);
// Neither faster than the drive nor more than a quarter slower: what a loaded
// machine still gives (stalls of the program's own thread, Wine's painting of the
// progress bar inside the timed random reads).
bool AgreesUnderLoad(double programSeconds, double modelSeconds);

}  // namespace modellog
