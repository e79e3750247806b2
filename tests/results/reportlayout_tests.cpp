// Layout of the printed report: the arithmetic, and the page drawn against the
// printer at two resolutions, in hundredths of an inch.
#include "printhelpers.h"
#include "app/maindlg.h"
#include "res/resource.h"
#include "results/reportlayout.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace report;

TEST(ReportLayout, TitleDropTruncatesTwoThirdsOfTheDescentTowardsZero)
{
    EXPECT_EQ(TitleDrop(50, 9), 44);
    EXPECT_EQ(TitleDrop(50, 10), 44);  // 20 / -3 = -6
    EXPECT_EQ(TitleDrop(50, 11), 43);  // 22 / -3 = -7
    EXPECT_EQ(TitleDrop(50, 0), 50);
}

TEST(ReportLayout, TitleBlockSitsOnTheTitleBaseline)
{
    const int W = 160, V = 330, L = 17, T = 44;
    EXPECT_EQ(VersionOrigin(W, L, T).x, 240);              // 30 after the title's end
    EXPECT_EQ(VersionOrigin(W, L, T).y - L, -50 - T);      // bottom edge under the baseline
    const RECT rule = TitleRule(W, V, T);
    EXPECT_EQ(rule.left, 50);
    EXPECT_EQ(rule.right, W + 80 + V);                     // ends with the version line
    EXPECT_EQ(rule.top, -94);
    EXPECT_EQ(rule.top - rule.bottom, 2);
}

TEST(ReportLayout, LinesOfOneAndTwoPasses)
{
    const int L = 17;
    EXPECT_EQ(VolumeOrigin(L).y, -7 * L);
    EXPECT_EQ(HeadingOrigin(0, L).y, -9 * L);
    EXPECT_EQ(TableTop(0, L), -11 * L);
    EXPECT_EQ(TableFrame(TableTop(0, L), L).bottom, -20 * L);
    EXPECT_EQ(HeadingOrigin(1, L).y, -22 * L);
    EXPECT_EQ(TableTop(1, L), -24 * L);
    EXPECT_EQ(TableFrame(TableTop(1, L), L).bottom, -33 * L);
}

TEST(ReportLayout, CellsOfTheTable)
{
    const int top = -187, L = 17;
    const RECT number = Cell(NumberColumn, 0, top, L);
    const RECT description = Cell(DescriptionColumn, 2, top, L);
    const RECT time = Cell(TimeColumn, 8, top, L);
    EXPECT_EQ(number.left, 50);
    EXPECT_EQ(number.right, 125);
    EXPECT_EQ(number.top, top);
    EXPECT_EQ(number.bottom, top - L);
    EXPECT_EQ(description.left, 135);
    EXPECT_EQ(description.right, 365);
    EXPECT_EQ(description.top, top - 2 * L);
    EXPECT_EQ(time.left, 375);
    EXPECT_EQ(time.right, 540);
    EXPECT_EQ(time.bottom, TableFrame(top, L).bottom);  // the total row is the table's last
    const RECT middle = MiddleColumn(top, L);
    EXPECT_EQ(middle.left, 125);
    EXPECT_EQ(middle.right, 375);
    EXPECT_EQ(HeaderRow(top, L).bottom, top - L);
}

TEST(ReportLayout, FontHeightsInPointsOfTheDevice)
{
    EXPECT_EQ(PointsToPixels(300, 120), 50);
    EXPECT_EQ(PointsToPixels(600, 360), 300);
    EXPECT_EQ(PointsToPixels(96, 125), 16);  // integer division
    EXPECT_EQ(FontHeight(-17, 0), -17);
    EXPECT_EQ(FontHeight(17, 0), -17);
}

TEST(ReportLayout, TimesKeepTheirFormatWhenWide)
{
    EXPECT_EQ(FormatSeconds(1.5f), "  1.50 seconds");
    EXPECT_EQ(FormatSeconds(1234.567f), "1234.57 seconds");
    EXPECT_EQ(WalkDescription('E'), "Directory walk of drive E:\\");
    EXPECT_EQ(VolumeLine(""), "CD-ROM volume used for test : ");
}

// --- the page drawn against the printer ------------------------------------

const char* const kCachedE[] = {"E:\\", nullptr};

class ReportPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (DefaultPrinterName().empty())
            GTEST_SKIP() << "no default printer";
        TestResults& r = m_engine.m_results[0]['E' - 'A'];
        r.volumeLabel = std::string("SMALLDISC");
        r.walkSeconds = 1.5f;
        r.readSeconds[0][0] = 12.25f;
        r.totalSeconds = 1234.5f;  // wider than the "%6.2f" field
    }

    static const DrawnText* Find(const Recording& rec, const std::string& text, int nth = 0)
    {
        for (const DrawnText& t : rec.texts)
            if (t.text == text && nth-- == 0)
                return &t;
        return nullptr;
    }

    CBenchEngine m_engine{nullptr, nullptr};
};

TEST_F(ReportPage, SamePositionsAt300And600Dpi)
{
    const Recording low = RecordReport(m_engine, "E:\\", 300);
    const Recording high = RecordReport(m_engine, "E:\\", 600);
    ASSERT_EQ(low.logPixelsY, 300);
    ASSERT_EQ(high.logPixelsY, 600);
    ASSERT_EQ(low.texts.size(), high.texts.size());
    ASSERT_EQ(low.rects.size(), high.rects.size());
    // Left-anchored texts, every line and every box edge but the rule's end are
    // exact; glyph advances are hinted per pixel size, so the starts of centred
    // and right-aligned texts (and the rule's end, after the version line) may
    // move by a few hundredths.
    for (size_t i = 0; i < low.texts.size(); ++i) {
        SCOPED_TRACE(low.texts[i].text);
        EXPECT_EQ(low.texts[i].text, high.texts[i].text);
        EXPECT_EQ(low.texts[i].y, high.texts[i].y);
        EXPECT_NEAR(low.texts[i].x, high.texts[i].x, 5);
        if (low.texts[i].x == 50) {
            EXPECT_EQ(high.texts[i].x, 50);
        }
    }
    for (size_t i = 0; i < low.rects.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(low.rects[i].left, high.rects[i].left);
        EXPECT_EQ(low.rects[i].top, high.rects[i].top);
        EXPECT_NEAR(low.rects[i].right, high.rects[i].right, i == 0 ? 8 : 0);
        EXPECT_EQ(low.rects[i].bottom, high.rects[i].bottom);
    }
}

TEST_F(ReportPage, PositionsInHundredthsOfAnInch)
{
    for (int dpi : {300, 600}) {
        SCOPED_TRACE(dpi);
        const Recording rec = RecordReport(m_engine, "E:\\", dpi);
        // Regular and bold 12 points, title 36 points: 1/6 and 1/2 inch.
        // Recorded as selected: title, regular, bold. 50 or 100 pixels for 12
        // points come to 16.67 hundredths, which the conversion rounds to 17.
        ASSERT_EQ(rec.fontHeights.size(), 3u);
        EXPECT_EQ(rec.fontHeights[0], -50);
        EXPECT_EQ(rec.fontHeights[1], -17);
        EXPECT_EQ(rec.fontHeights[2], -17);
        const int h = rec.fontHeights[1];
        auto end = [&](const DrawnText* t, int weight = 0) { return t->x + MeasureText(dpi, h, weight, t->text); };

        const DrawnText* title = Find(rec, "Korvane");
        const DrawnText* version = Find(rec, "Version 3.20, " + LoadResString(IDS_COPYRIGHT));
        const DrawnText* volume = Find(rec, "CD-ROM volume used for test : SMALLDISC");
        ASSERT_TRUE(title && version && volume);
        EXPECT_EQ(title->x, 50);
        EXPECT_EQ(title->y, -50);
        ASSERT_EQ(volume->y % 7, 0);
        const int L = -volume->y / 7;
        EXPECT_EQ(volume->x, 50);
        EXPECT_EQ(version->x, title->x + MeasureText(dpi, -50, 0, title->text) + 30);

        // Rule, then one table of three rectangles.
        ASSERT_EQ(rec.rects.size(), 4u);
        const RECT rule = rec.rects[0];
        EXPECT_EQ(rule.left, 50);
        EXPECT_EQ(rule.top, version->y - L);  // under the version line's bottom edge
        EXPECT_EQ(rule.top - rule.bottom, 2);
        EXPECT_EQ(rule.right, end(version));
        const RECT frame = rec.rects[1], middle = rec.rects[2], header = rec.rects[3];
        EXPECT_EQ(frame.left, 50);
        EXPECT_EQ(frame.right, 550);
        EXPECT_EQ(frame.top, -11 * L);
        EXPECT_EQ(frame.bottom, -20 * L);
        EXPECT_EQ(middle.left, 125);
        EXPECT_EQ(middle.right, 375);
        EXPECT_EQ(middle.bottom, -20 * L);
        EXPECT_EQ(header.bottom, -12 * L);

        const DrawnText* heading = Find(rec, "Testing Without Zelkor Cache");
        ASSERT_TRUE(heading);
        EXPECT_EQ(heading->y, -9 * L);
        EXPECT_EQ(Find(rec, "Testing With Zelkor Cache"), nullptr);

        // Header texts centred in their cells, all on the table's top line.
        const DrawnText* test = Find(rec, "Test");
        const DrawnText* time = Find(rec, "Time");
        ASSERT_TRUE(test && time);
        EXPECT_NEAR((test->x + end(test)) / 2, (50 + 125) / 2, 1);
        EXPECT_NEAR((time->x + end(time)) / 2, (375 + 540) / 2, 1);
        EXPECT_EQ(test->y, -11 * L);

        // Rows: descriptions end at 365, times at 540 — even 1234.50 seconds.
        const DrawnText* walk = Find(rec, "Directory walk of drive E:\\");
        const DrawnText* walkTime = Find(rec, "  1.50 seconds");
        const DrawnText* total = Find(rec, "1234.50 seconds");
        const DrawnText* totalText = Find(rec, "Total time for tests 1-4");
        ASSERT_TRUE(walk && walkTime && total && totalText);
        EXPECT_EQ(end(walk), 365);
        EXPECT_EQ(walk->y, -12 * L);
        EXPECT_EQ(end(walkTime), 540);
        EXPECT_EQ(end(total, FW_BOLD), 540);
        EXPECT_EQ(total->y, -19 * L);
        EXPECT_EQ(totalText->y, -19 * L);
        const DrawnText* lastRandom = Find(rec, "Random read of 384 blocks", 2);
        ASSERT_TRUE(lastRandom);
        EXPECT_EQ(lastRandom->y, -18 * L);
        std::printf("%d dpi: L=%d title at (%d,%d) width %d; version at (%d,%d); rule (%ld,%ld)-(%ld,%ld); "
                    "table (%ld,%ld)-(%ld,%ld); total time %d..%d\n",
                    dpi, L, title->x, title->y, MeasureText(dpi, -50, 0, title->text), version->x, version->y,
                    rule.left, rule.top, rule.right, rule.bottom, frame.left, frame.top, frame.right, frame.bottom,
                    total->x, end(total, FW_BOLD));
    }
}

TEST_F(ReportPage, CachedDriveAddsTheSecondTableBelow)
{
    CMainDlg owner;  // never shown: only its list of the cache driver's drives counts
    owner.m_cachedDrives = kCachedE;
    owner.m_pEngine->m_results[0]['E' - 'A'].volumeLabel = std::string("SMALLDISC");
    const Recording rec = RecordReport(*owner.m_pEngine, "E:\\", 300);
    const DrawnText* volume = Find(rec, "CD-ROM volume used for test : SMALLDISC");
    const DrawnText* heading = Find(rec, "Testing With Zelkor Cache");
    ASSERT_TRUE(volume && heading);
    const int L = -volume->y / 7;
    EXPECT_EQ(heading->y, -22 * L);
    ASSERT_EQ(rec.rects.size(), 7u);
    EXPECT_EQ(rec.rects[4].top, -24 * L);
    EXPECT_EQ(rec.rects[4].bottom, -33 * L);
    EXPECT_EQ(Find(rec, "  0.00 seconds", 15)->y, -32 * L);  // never measured: zeros
    EXPECT_EQ(Find(rec, "  0.00 seconds", 16), nullptr);

    owner.m_cachedDrives = nullptr;  // the same drive without the driver: one table
    EXPECT_EQ(RecordReport(*owner.m_pEngine, "E:\\", 300).rects.size(), 4u);
}

TEST_F(ReportPage, DeletesEveryFontItMade)
{
    Recording rec = RecordReport(m_engine, "E:\\", 300);
    ASSERT_EQ(rec.createdObjects.size(), 3u);
    std::sort(rec.createdObjects.begin(), rec.createdObjects.end());
    std::sort(rec.deletedObjects.begin(), rec.deletedObjects.end());
    EXPECT_EQ(rec.deletedObjects, rec.createdObjects);
}

TEST_F(ReportPage, NoDriveLetterDrawsNothing)
{
    EXPECT_TRUE(RecordReport(m_engine, "?", 300).texts.empty());
    EXPECT_TRUE(RecordReport(m_engine, "", 300).texts.empty());
}

}  // namespace
