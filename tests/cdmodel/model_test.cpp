// Unit tests of the drive model's arithmetic against hand-computed values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "drivemodel.h"

using namespace cdmodel;

namespace {

// Round numbers: 200 us per sector (speed 66.67x), 100 us per sector on the
// interface, 50 us per command, a 4-sector buffer.
Params RoundParams() {
    Params p;
    p.speed = 200.0 / 3.0;
    p.interfaceMBs = 20.48;
    p.commandUs = 50;
    p.bufferKiB = 8;
    p.settleMs = 10;
    p.fullStrokeMs = 110;
    p.cacheKiB = 6;   // three blocks
    return p;
}

}  // namespace

TEST(Geometry, RadiusFollowsTheSpiral) {
    Params p;
    EXPECT_DOUBLE_EQ(SectorRadiusMm(p, 0), 25.0);
    // 333,000 sectors of 16 mm x 1.6 um: sqrt(625 + 333000 * 0.0256 / pi).
    EXPECT_NEAR(SectorRadiusMm(p, 333000), 57.7800, 1e-3);
}

TEST(Geometry, TransferAndRotationClvAndCav) {
    Params p;   // 52x
    EXPECT_NEAR(SectorTimeUs(p, 0), 256.410, 1e-3);
    EXPECT_NEAR(SectorTimeUs(p, 300000), 256.410, 1e-3);
    EXPECT_NEAR(RevolutionUs(p, 0), 2517.30, 0.01);   // 2 pi 25 mm / 62.4 m/s
    p.cav = true;
    EXPECT_NEAR(SectorTimeUs(p, 0), 594.87, 0.01);    // 52 x 25/58 = 22.4x at the inner edge
    EXPECT_NEAR(RevolutionUs(p, 0), 5840.2, 0.1);     // rpm fixed by the outer edge
    EXPECT_NEAR(RevolutionUs(p, 300000), 5840.2, 0.1);
    EXPECT_NEAR(InterfaceUs(p, 2048), 61.50, 0.01);
    EXPECT_NEAR(CacheHitUs(p, 2048), 30.24, 1e-9);
}

TEST(Geometry, SeekGrowsWithTheSquareRootOfTheDistance) {
    Params p = RoundParams();
    EXPECT_EQ(SeekUs(p, 500, 500), 0);
    // Sector 58974 lies at 33.25 mm, a quarter of the 33 mm stroke: 10 + 100 * 0.5.
    EXPECT_NEAR(SeekUs(p, 0, 58974), 60000, 5);
    EXPECT_NEAR(SeekUs(p, 58974, 0), 60000, 5);
    EXPECT_GE(SeekUs(p, 0, 1), 10000);              // a neighbour still pays the settle
    EXPECT_LT(SeekUs(p, 0, 1), 10300);
    EXPECT_DOUBLE_EQ(SeekUs(p, 0, 10000000), 110000);   // beyond the disc: full stroke
}

TEST(Presets, ShippedPresetsMatchTheirSources) {
    for (const char* name : {"52x", "52x-cav", "24x", "8x", "fast"}) {
        Params p;
        std::string error;
        ASSERT_TRUE(LoadPreset(CDMODEL_PRESETS, name, &p, &error)) << error;
    }
    Params fast, fiftyTwo;
    std::string error;
    LoadPreset(CDMODEL_PRESETS, "fast", &fast, &error);
    LoadPreset(CDMODEL_PRESETS, "52x", &fiftyTwo, &error);
    EXPECT_EQ(fast.speed, 52);
    EXPECT_LT(fast.timeScale, 1);
    EXPECT_EQ(fiftyTwo.timeScale, 1);

    // Mean access over random pairs of sectors of a full disc (seek plus half a
    // turn) against the data-sheet range the presets cite.
    struct Range { const char* name; double low, high; } ranges[] = {
        {"52x", 75, 90}, {"24x", 85, 100}, {"8x", 110, 150}};
    for (const Range& r : ranges) {
        Params p;
        LoadPreset(CDMODEL_PRESETS, r.name, &p, &error);
        double sum = 0;
        int n = 0;
        for (int64_t a = 0; a < 333000; a += 3330)
            for (int64_t b = 0; b < 333000; b += 3330, ++n)
                sum += SeekUs(p, a, b) + RevolutionUs(p, b) / 2;
        double meanMs = sum / n / 1000;
        std::printf("%s: mean random access %.1f ms, full stroke %.1f ms\n", r.name, meanMs,
                    SeekUs(p, 0, 333000) / 1000);
        EXPECT_GE(meanMs, r.low) << r.name;
        EXPECT_LE(meanMs, r.high) << r.name;
    }
}

TEST(Presets, BadTextIsRefusedWithTheLine) {
    Params p;
    std::string error;
    EXPECT_FALSE(ParsePresets("[a]\nspeed fast\n", "a", &p, &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(ParsePresets("[a]\nwarp 9\n", "a", &p, &error));
    EXPECT_NE(error.find("unknown key"), std::string::npos) << error;
    EXPECT_FALSE(ParsePresets("speed 4\n", "a", &p, &error));
    EXPECT_FALSE(ParsePresets("[a]\nspeed 4\n", "b", &p, &error));
    EXPECT_FALSE(ParsePresets("[a]\ninherit b\n[b]\ninherit a\n", "a", &p, &error));
    EXPECT_FALSE(ParsePresets("[a]\nspeed 0\n", "a", &p, &error));
    EXPECT_FALSE(ParsePresets("[a]\nsettle_ms 200\nfull_stroke_ms 100\n", "a", &p, &error));
    EXPECT_TRUE(ParsePresets("[a]\nspeed 4 # slow\n[b]\ninherit a\nmode cav\n", "b", &p, &error)) << error;
    EXPECT_EQ(p.speed, 4);
    EXPECT_TRUE(p.cav);
}

TEST(Drive, SeekThenStreamThenBuffer) {
    Params p = RoundParams();
    Drive d(p);
    Service s = d.Read(1000, 1, 2048, false);
    EXPECT_EQ(s.source, Source::Media);
    EXPECT_NEAR(s.us, 50 + SeekUs(p, 16, 1000) + RevolutionUs(p, 1000) / 2 + 200 + 100, 1e-6);

    // Re-reading the sector just read: in the buffer, command plus interface.
    s = d.Read(1000, 1, 2048, false);
    EXPECT_EQ(s.source, Source::Buffer);
    EXPECT_NEAR(s.us, 150, 1e-6);
    // The stream has gone on meanwhile (to 1002.25): the next sector is there too.
    s = d.Read(1001, 1, 2048, false);
    EXPECT_EQ(s.source, Source::Buffer);
    EXPECT_NEAR(s.us, 150, 1e-6);
    // Further on the host outruns the disc: one sector time per sector.
    s = d.Read(1002, 1, 2048, false);
    s = d.Read(1003, 1, 2048, false);
    s = d.Read(1004, 1, 2048, false);
    EXPECT_EQ(s.source, Source::Media);
    EXPECT_NEAR(s.us, 200, 1e-6);
}

TEST(Drive, BehindTheBufferOrFarAheadSeeks) {
    Params p = RoundParams();
    Drive d(p);
    d.Read(1000, 1, 2048, false);
    double pos = d.MediaPosition(d.Now());
    Service s = d.Read(990, 1, 2048, false);
    EXPECT_EQ(s.source, Source::Media);
    EXPECT_NEAR(s.us, 50 + SeekUs(p, static_cast<int64_t>(pos), 990) + RevolutionUs(p, 990) / 2 + 300, 1e-6);
    // 4000 sectors ahead would take 800 ms of streaming: a seek is quicker.
    s = d.Read(5000, 1, 2048, false);
    EXPECT_LT(s.us, 100000);
    EXPECT_GT(s.us, 10000);
    // A short skip forward is streamed, not sought.
    s = d.Read(5003, 1, 2048, false);
    EXPECT_LT(s.us, 1000);
}

TEST(Drive, MultiSectorReadAndTimeScale) {
    Params p = RoundParams();
    p.timeScale = 0.25;
    Drive d(p);
    Service s = d.Read(2000, 4, 8192, false);
    double unscaled = 50 + SeekUs(p, 16, 2000) + RevolutionUs(p, 2000) / 2 + 4 * 200 + 100;
    EXPECT_NEAR(s.us, unscaled * 0.25, 1e-6);
    EXPECT_NEAR(d.Now(), unscaled, 1e-6);   // the drive's own clock is unscaled
}

TEST(Drive, CacheServesOnlyWhenEnabledAndFillsOnlyWhenEnabled) {
    Params p = RoundParams();
    Drive d(p);
    d.Read(1000, 1, 2048, false);
    d.Read(9000, 1, 2048, false);
    Service s = d.Read(1000, 1, 2048, true);   // nothing was filled while off
    EXPECT_EQ(s.source, Source::Media);
    d.Read(9000, 1, 2048, true);
    s = d.Read(1000, 1, 2048, true);
    EXPECT_EQ(s.source, Source::Cache);
    EXPECT_NEAR(s.us, CacheHitUs(p, 2048), 1e-9);
    s = d.Read(1000, 1, 2048, false);           // held, but bypassed
    EXPECT_NE(s.source, Source::Cache);
}

TEST(BlockCache, EvictsTheLeastRecentlyUsed) {
    BlockCache c(3);
    c.Fill(1, 3);
    EXPECT_TRUE(c.Lookup(1, 1));
    EXPECT_FALSE(c.Lookup(3, 2));   // block 4 missing: nothing is touched
    c.Fill(4, 1);                   // evicts 2, the least recent
    EXPECT_TRUE(c.Contains(1));
    EXPECT_FALSE(c.Contains(2));
    EXPECT_TRUE(c.Contains(3));
    EXPECT_TRUE(c.Contains(4));
    EXPECT_EQ(c.Size(), 3);
    BlockCache none(0);
    none.Fill(1, 5);
    EXPECT_EQ(none.Size(), 0);
}

TEST(Layout, DirectoriesFirstThenFilesInRecordOrder) {
    std::map<std::string, Layout::Item> items = {
        {"/", {true, 0}},          {"/B", {true, 0}},          {"/A.TXT", {false, 5000}},
        {"/B/C.DAT", {false, 2048}}, {"/B/EMPTY", {false, 0}}, {"/B/D", {true, 0}},
    };
    Layout l;
    l.Build(items);
    // Path tables of 30 bytes: one sector each at 18 and 19.
    EXPECT_EQ(l.Find("/")->extent.start, 20);
    EXPECT_EQ(l.Find("/B")->extent.start, 21);
    EXPECT_EQ(l.Find("/B/D")->extent.start, 22);
    EXPECT_EQ(l.Find("/A.TXT")->extent.start, 23);
    EXPECT_EQ(l.Find("/A.TXT")->extent.sectors, 3);
    EXPECT_EQ(l.Find("/B/C.DAT")->extent.start, 26);
    EXPECT_EQ(l.Find("/B/EMPTY")->extent.sectors, 0);
    EXPECT_EQ(l.TotalSectors(), 27);
    EXPECT_EQ(l.Find("/B")->children, (std::vector<std::string>{"C.DAT", "D", "EMPTY"}));

    const LayoutEntry& a = *l.Find("/A.TXT");
    Extent e = FileSectors(a, 2047, 2);
    EXPECT_EQ(e.start, 23);
    EXPECT_EQ(e.sectors, 2);
    e = FileSectors(a, 4999, 100);
    EXPECT_EQ(e.start, 25);
    EXPECT_EQ(e.sectors, 1);
    EXPECT_EQ(FileSectors(a, 5000, 10).sectors, 0);
}

TEST(Layout, DirectoryRecordsDoNotCrossSectors) {
    std::map<std::string, Layout::Item> items = {{"/", {true, 0}}};
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "FILE%03d.TXT", i);
        names.push_back(name);
        items["/" + std::string(name)] = {false, 10};
    }
    // 46-byte records: 43 after "." and ".." in the first sector, 44 in each next.
    EXPECT_EQ(Layout::DirectoryBytes(names, items, "/"), 3 * 2048);
}
