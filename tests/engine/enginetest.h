// The engine's test fixture: the run on this thread against a disc held in
// memory and a recording cache device, with the results window open.
#pragma once
#include "engine/benchengine.h"
#include "engine/stopwatch.h"
#include "res/resource.h"
#include "tests/support/fakes.h"
#include "tests/support/listspy.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <memory>

inline const int kReadsPerCycle = 1 + 384 + 384;  // untimed first block, sequential, random
using Rows = std::vector<std::vector<std::string>>;

class EngineTest : public ::testing::Test {
protected:
    FakeDisc disc;
    FakeCacheDevice device;
    MessageRecorder messages;
    ScopedSeams seams{&disc, &device, &messages};
    std::unique_ptr<CCacheControl> cache;
    std::unique_ptr<CBenchEngine> engine;

    // Builds the engine; call after setting up the device and the clock.
    CBenchEngine& Engine()
    {
        if (!engine) {
            cache = std::make_unique<CCacheControl>();
            engine = std::make_unique<CBenchEngine>(cache.get(), nullptr);
        }
        return *engine;
    }
    void OpenResults() { ASSERT_TRUE(Engine().m_resultsDlg.Create(IDD_RESULTS, nullptr)); }
    Rows ListRows() { return ReadRows(Engine().m_resultsDlg.m_list.m_hWnd); }
    void SetUp() override { device.openable = false; }

    // A disc that passes every check: enough files and a 2 MiB + 1000 byte file.
    void GoodDisc()
    {
        for (int d = 0; d < 300; ++d)
            disc.AddDir("D:\\DIR" + std::to_string(d));
        disc.AddFile("D:\\DIR7\\MOVIE.DAT", 2097152 + 1000);
        disc.AddFile("D:\\README.TXT", 500);
    }
    void Stop() { engine->m_resultsDlg.m_stopRequested = 1; }
};

inline std::string Secs(double s)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%8.2f seconds", s);
    return buf;
}
