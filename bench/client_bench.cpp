// What one client call costs inside the timed sections: a progress step, a path text, a cache-served read, a plain read.
//
// usage: client_bench.exe MODEL-FILE PLAIN-FILE [MODEL-LOG]
// MODEL-FILE is a file of at least 768 KiB on a drive served by the CD-ROM drive
// model with its cache on; PLAIN-FILE a file on an ordinary folder. The windows
// are made and updated as a run makes and updates them: the results window on
// this (user-interface) thread, which keeps its queue running, and the progress
// windows on a time-critical worker thread that owns them. MODEL-LOG, the
// model's request log, gives the model's own time of the cache-served reads.
#include "engine/benchengine.h"
#include "engine/stopwatch.h"
#include "modellog.h"
#include "res/resource.h"
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kStepsPerWindow = 32;   // 384 blocks, a step every 12: a run's random read
const int kWindows = 12;
const int kTexts = 1000;
const int kReadsPerBatch = 384;
const int kBatches = 15;
const double kTargetStepUs = 100, kTargetTextUs = 50, kTargetReadFactor = 2;

double Percentile(std::vector<double> v, int percent)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() * percent / 100];
}

double Median(const std::vector<double>& v) { return Percentile(v, 50); }

struct Figures {
    std::vector<double> stepUs, textUs, modelReadUs, plainReadUs;
    std::string error;
};

struct Job {
    CBenchEngine* engine;
    std::string modelFile, plainFile;
    DWORD uiThread;
    Figures figures;
};

double Us(int64_t start, int64_t end, int64_t frequency) { return ElapsedSeconds(start, end, frequency) * 1e6; }

// Batches of 384 reads of blocks [0, 384) in the run's random order; the
// microseconds of one read, batch by batch.
std::vector<double> TimeReads(CBenchEngine& engine, HANDLE file, int64_t frequency)
{
    std::vector<double> perRead;
    DWORD got;
    for (int batch = 0; batch < kBatches; ++batch) {
        const int64_t s = ReadPerformanceCounter();
        for (int k = 0; k < kReadsPerBatch; ++k) {
            Disc().Seek(file, engine.m_pRandomOffsets[k]);
            Disc().Read(file, engine.m_pReadBuffer, kBlockSize, &got);
        }
        const int64_t e = ReadPerformanceCounter();
        perRead.push_back(Us(s, e, frequency) / kReadsPerBatch);
    }
    return perRead;
}

// Fills the model's cache with the first 384 blocks (untimed), then times reads of them.
bool TimeFileReads(Job& job, const std::string& path, bool fill, std::vector<double>* out)
{
    CBenchEngine& engine = *job.engine;
    HANDLE file = Disc().OpenFile(path.c_str());
    if (file == INVALID_HANDLE_VALUE) {
        job.figures.error = "cannot open " + path;
        return false;
    }
    DWORD got = 0;
    if (Disc().FileSize(file) < 2u * kReadsPerBatch * kBlockSize) {
        job.figures.error = path + " is smaller than 768 KiB";
        Disc().CloseFile(file);
        return false;
    }
    Disc().Seek(file, 0);
    for (int k = 0; fill && k < kReadsPerBatch; ++k)
        Disc().Read(file, engine.m_pReadBuffer, kBlockSize, &got);
    *out = TimeReads(engine, file, engine.m_perfFrequency);
    Disc().CloseFile(file);
    return true;
}

DWORD WINAPI Worker(LPVOID param)
{
    Job& job = *static_cast<Job*>(param);
    CBenchEngine& engine = *job.engine;
    const int64_t f = engine.m_perfFrequency;
    const HWND results = engine.m_resultsDlg.m_hWnd;
    for (int w = 0; w < kWindows; ++w) {
        engine.m_readProgressDlg.Create(1, IDD_READ_PROGRESS, results);
        for (int k = 0; k < kStepsPerWindow; ++k) {
            const int64_t s = ReadPerformanceCounter();
            engine.m_readProgressDlg.m_progress.StepIt();
            job.figures.stepUs.push_back(Us(s, ReadPerformanceCounter(), f));
        }
        engine.m_readProgressDlg.DestroyWindow();
        engine.m_readProgressDlg.m_progress.Detach();
    }
    engine.m_walkProgressDlg.Create(1, IDD_WALK_PROGRESS, results);
    for (int k = 0; k < kTexts; ++k) {
        const std::string path = "M:\\DIR0" + std::to_string(k % 8) + "\\SUB" + std::to_string(k);
        const int64_t s = ReadPerformanceCounter();
        engine.m_walkProgressDlg.SetDlgItemText(IDC_WALK_PATH, path);
        job.figures.textUs.push_back(Us(s, ReadPerformanceCounter(), f));
    }
    engine.m_walkProgressDlg.DestroyWindow();

    engine.AllocateReads(kReadsPerBatch * kBlockSize);
    if (TimeFileReads(job, job.modelFile, true, &job.figures.modelReadUs))
        TimeFileReads(job, job.plainFile, false, &job.figures.plainReadUs);
    engine.FreeReads();
    ::PostThreadMessageA(job.uiThread, WM_QUIT, 0, 0);
    return 0;
}

// The model's mean service time of the cache-served requests after `from`.
double ModelHitUs(const std::string& log, long long from, int* hits)
{
    std::vector<modellog::Request> requests;
    std::string error;
    double sum = 0;
    *hits = 0;
    if (log.empty() || !modellog::ReadLog(log, from, &requests, &error))
        return 0;
    for (const modellog::Request& r : requests)
        if (r.op == "read" && r.source == "cache") {
            sum += r.serviceUs;
            ++*hits;
        }
    return *hits ? sum / *hits : 0;
}

void PrintLine(const char* what, const std::vector<double>& us, double target, const char* targetText)
{
    const double m = Median(us);
    if (target <= 0) {
        std::printf("%-44s %9.1f us  (p10 %.1f, p90 %.1f, %zu calls)\n", what, m, Percentile(us, 10),
                    Percentile(us, 90), us.size());
        return;
    }
    std::printf("%-44s %9.1f us  (p10 %.1f, p90 %.1f, %zu calls)   %s %.0f us, ratio %.2f %s\n", what, m,
                Percentile(us, 10), Percentile(us, 90), us.size(), targetText, target, target > 0 ? m / target : 0,
                m < target ? "(met)" : "(missed)");
}

} // namespace

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 3) {
        std::fprintf(stderr, "usage: client_bench.exe MODEL-FILE PLAIN-FILE [MODEL-LOG]\n");
        return 2;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    CCacheControl cache;
    CBenchEngine engine(&cache, nullptr);
    engine.m_resultsDlg.Create(IDD_RESULTS, nullptr);
    const std::string log = argc > 3 ? argv[3] : "";
    const long long logStart = log.empty() ? -1 : modellog::LogSize(log);

    Job job{&engine, argv[1], argv[2], ::GetCurrentThreadId(), {}};
    DWORD id;
    HANDLE worker = ::CreateThread(nullptr, 0, Worker, &job, 0, &id);
    if (!worker)
        return 1;
    ::SetThreadPriority(worker, THREAD_PRIORITY_TIME_CRITICAL);
    // The results window's queue keeps running, as the run's modal loop keeps it.
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    ::WaitForSingleObject(worker, INFINITE);
    ::CloseHandle(worker);
    engine.m_resultsDlg.DestroyWindow();
    const Figures& fg = job.figures;
    if (!fg.error.empty()) {
        std::fprintf(stderr, "client_bench: %s\n", fg.error.c_str());
        return 1;
    }

    int hits = 0;
    const double modelUs = ModelHitUs(log, logStart, &hits);
    const double hitUs = modelUs > 0 ? modelUs : 30.24;
    const double readUs = Median(fg.modelReadUs), plainUs = Median(fg.plainReadUs);
    PrintLine("progress step (PBM_STEPIT, read window):", fg.stepUs, kTargetStepUs, "target");
    PrintLine("path text (SetDlgItemText, walk window):", fg.textUs, kTargetTextUs, "target");
    PrintLine("cache-served block read (ReadFile, model):", fg.modelReadUs, kTargetReadFactor * hitUs, "target 2x model");
    PrintLine("plain-file block read (ReadFile):", fg.plainReadUs, 0, "");
    std::printf("model's own time of a cache-served read: %.2f us (%d hits in its log%s); "
                "shown / model %.2f; client cost above the model %.1f us; model read / plain read %.1f\n",
                hitUs, hits, modelUs > 0 ? "" : ", none found: preset 52x assumed", readUs / hitUs, readUs - hitUs,
                plainUs > 0 ? readUs / plainUs : 0);
    std::printf("32 steps of a random read: %.2f ms (%.1f %% of the model's 384 cache-served reads, %.2f ms)\n",
                Median(fg.stepUs) * 32 / 1e3, Median(fg.stepUs) * 32 / (hitUs * 384) * 100, hitUs * 384 / 1e3);
    return 0;
}
