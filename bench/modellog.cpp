// Reading the drive model's CSV log and finding the sections of a KORVANE.EXE run in it.
#include "modellog.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace modellog {

namespace {

constexpr int kBlocks = 384;

// Splits one CSV line; a quoted field may hold commas and doubled quotes.
std::vector<std::string> SplitCsv(const std::string& line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') { fields.back() += '"'; ++i; }
            else if (c == '"') quoted = false;
            else fields.back() += c;
        } else if (c == '"') quoted = true;
        else if (c == ',') fields.emplace_back();
        else fields.back() += c;
    }
    return fields;
}

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void Add(Section* s, const std::vector<Request>& r, size_t first, size_t last)
{
    s->first = first;
    s->last = last;
    for (size_t i = first; i <= last; ++i) {
        ++s->requests;
        s->serviceUs += r[i].serviceUs;
        s->lateUs += r[i].lateUs;
        if (r[i].source == "cache") ++s->cacheHits;
    }
}

}  // namespace

long long LogSize(const std::string& windowsPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(windowsPath.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool ReadLog(const std::string& windowsPath, long long from, std::vector<Request>* requests, std::string* error)
{
    requests->clear();
    FILE* f = std::fopen(windowsPath.c_str(), "rb");
    if (!f) {
        if (error) *error = "cannot open the model's log " + windowsPath;
        return false;
    }
    if (from > 0) _fseeki64(f, from, SEEK_SET);
    std::string line;
    char buf[4096];
    auto take = [&]() {
        if (line.empty() || line[0] == '#' || line.compare(0, 5, "t_us,") == 0) return;
        std::vector<std::string> v = SplitCsv(line);
        if (v.size() != 11) return;  // a line still being written
        Request q;
        q.arrivalUs = std::atof(v[0].c_str());
        q.op = v[1];
        q.path = v[2];
        q.offset = std::atoll(v[3].c_str());
        q.size = std::atoll(v[4].c_str());
        q.serviceUs = std::atof(v[5].c_str());
        q.source = v[6];
        q.lateUs = std::atof(v[9].c_str());
        q.result = std::atoi(v[10].c_str());
        requests->push_back(q);
    };
    while (std::fgets(buf, sizeof buf, f)) {
        line += buf;
        if (line.empty() || line.back() != '\n') continue;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        take();
        line.clear();
    }
    std::fclose(f);
    return true;
}

double Pass::TotalUs() const
{
    double us = walk.serviceUs;
    for (int c = 0; c < 3; ++c) us += sequential[c].serviceUs + random[c].serviceUs;
    return us;
}

std::vector<Pass> FindPasses(const std::vector<Request>& r, const std::string& fileName, std::string* error)
{
    std::vector<Pass> passes;
    const std::string name = Lower(fileName);
    std::string file;
    for (const Request& q : r)
        if (q.op == "open" && q.result == 0 && Lower(BaseName(q.path)) == name) { file = q.path; break; }
    if (file.empty()) {
        if (error) *error = "no open of " + fileName + " in the model's log";
        return passes;
    }
    size_t from = 0;
    for (;;) {
        size_t open = from;
        while (open < r.size() && !(r[open].op == "open" && r[open].path == file)) ++open;
        if (open >= r.size()) break;
        Pass pass;
        // The walk: FindFirstFileA of the root lists "/" first; it ends with the
        // last directory's FindClose.
        size_t list = from;
        while (list < open && !(r[list].op == "readdir" && r[list].path == "/")) ++list;
        size_t walkStart = list;
        while (walkStart > from && !(r[walkStart].op == "opendir" && r[walkStart].path == "/")) --walkStart;
        size_t walkEnd = open;
        while (walkEnd > walkStart && r[walkEnd - 1].op != "releasedir") --walkEnd;
        if (walkStart >= open || walkEnd <= walkStart) {
            if (error) *error = "no walk before open " + std::to_string(passes.size() + 1) + " of " + file;
            return passes;
        }
        pass.walk.name = "walk";
        Add(&pass.walk, r, walkStart, walkEnd - 1);

        size_t i = open + 1;
        bool complete = true;
        auto nextRead = [&](size_t k) {
            while (k < r.size() && !(r[k].op == "read" && r[k].path == file)) ++k;
            return k;
        };
        for (int c = 0; c < 3 && complete; ++c) {
            size_t zero = nextRead(i);  // the untimed read of block 0
            if (zero >= r.size() || r[zero].offset != 0) { complete = false; break; }
            Section* sections[2] = {&pass.sequential[c], &pass.random[c]};
            size_t k = zero + 1;
            for (int s = 0; s < 2; ++s) {
                size_t first = nextRead(k), last = first;
                int n = first < r.size() ? 1 : 0;
                while (n < kBlocks && (last = nextRead(last + 1)) < r.size()) ++n;
                if (n < kBlocks) { complete = false; break; }
                sections[s]->name = std::string(s == 0 ? "sequential " : "random ") + std::to_string(c + 1);
                Add(sections[s], r, first, last);
                k = last + 1;
            }
            i = k;
        }
        if (!complete) {
            if (error) *error = "pass " + std::to_string(passes.size()) + ": fewer than 3 x (1 + 384 + 384) reads of " + file;
            return passes;
        }
        passes.push_back(pass);
        from = i;
    }
    if (passes.empty() && error) *error = "no complete pass in the model's log";
    return passes;
}

bool Agrees(double programSeconds, double modelSeconds)
{
    double tolerance = std::max(0.02 * modelSeconds, 0.005) + 0.005;
    return std::fabs(programSeconds - modelSeconds) <= tolerance + 1e-9;
}

bool BelowRoundTrip(const Section& section)
{
    return section.requests > 0 && section.serviceUs / section.requests < 100;
}

bool AgreesAtRoundTrip(double programSeconds, const Section& section)
{
    const double model = section.serviceUs / 1e6, ceiling = model + section.requests * kRoundTripUs / 1e6;
    return Agrees(programSeconds, model) || (programSeconds > model && programSeconds <= ceiling) ||
           Agrees(programSeconds, ceiling);
}

bool AgreesUnderLoad(double programSeconds, double modelSeconds)
{
    return Agrees(programSeconds, modelSeconds) ||
           (programSeconds > modelSeconds && programSeconds <= 1.25 * modelSeconds + 0.01);
}

}  // namespace modellog
