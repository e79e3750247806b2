// A stop at every disc operation of a complete two-pass run.
#include "tests/engine/enginetest.h"

namespace {

enum class Section { Walk, Open, Untimed, Sequential, Random };
struct Point { int pass; Section section; int cycle; int walkOp; };

// What one pass leaves in the list: the walk time, how many read rows have a
// time, a row without a time after them, and the total row.
struct PassShape { bool walkTimed; int timedReads; bool untimedRow; bool total; };

// The list rows with, per row, whether its time cell is filled.
using Shape = std::vector<std::pair<std::vector<std::string>, bool>>;

void AddPass(Shape& rows, int pass, const PassShape& s)
{
    rows.push_back({{"", pass ? "** Testing With Zelkor Cache **" : "** Testing Without Zelkor Cache **"}, false});
    rows.push_back({{"     1", "Directory walk of drive D:\\"}, s.walkTimed});
    const int reads = s.timedReads + (s.untimedRow ? 1 : 0);
    for (int r = 0; r < reads; ++r) {
        std::vector<std::string> row = {"", "Random read of 384 blocks:"};
        if (r % 2 == 0)
            row = {"     " + std::to_string(2 + r / 2), "Sequential read of 384 blocks:"};
        rows.push_back({row, r < s.timedReads});
    }
    if (s.total)
        rows.push_back({{"", "Total time of tests 1-4:"}, true});
}

// The rows and result a stop at this point may leave.
Shape ExpectedRows(const Point& p, int* result)
{
    const PassShape complete{true, 6, false, true};
    Shape rows;
    for (int pass = 0; pass < p.pass; ++pass)
        AddPass(rows, pass, complete);
    *result = 0;
    switch (p.section) {
    case Section::Walk:  // a stop before the root's entries were looked at never finds the file
        AddPass(rows, p.pass, p.walkOp < 2 ? PassShape{true, 0, false, false} : PassShape{true, 0, true, true});
        break;
    case Section::Open: AddPass(rows, p.pass, {true, 0, true, true}); break;
    case Section::Untimed: AddPass(rows, p.pass, {true, 2 * p.cycle, true, true}); break;
    case Section::Sequential: AddPass(rows, p.pass, {true, 2 * p.cycle + 1, true, true}); break;
    case Section::Random:
        if (p.cycle < 2) {
            AddPass(rows, p.pass, {true, 2 * p.cycle + 2, true, true});
        } else {  // too late for the last check: the pass is complete
            AddPass(rows, p.pass, complete);
            if (p.pass == 0)
                AddPass(rows, 1, {false, 0, false, false});
            else
                *result = 1;
        }
        break;
    }
    return rows;
}

// The operations of one pass on the stop disc, in order, with what each belongs to.
void AddPassOperations(std::string& kinds, std::vector<Point>& points, int pass)
{
    const std::string walk = "vfffffff";  // volume, root, its next, DIR, ".." "A.TXT" end, root end
    for (size_t i = 0; i < walk.size(); ++i) {
        kinds += walk[i];
        points.push_back({pass, Section::Walk, 0, static_cast<int>(i)});
    }
    kinds += 'o';
    points.push_back({pass, Section::Open, 0, 0});
    for (int cycle = 0; cycle < 3; ++cycle) {
        kinds += "sr";
        points.insert(points.end(), 2, {pass, Section::Untimed, cycle, 0});
        kinds += std::string(384, 'r');
        points.insert(points.end(), 384, {pass, Section::Sequential, cycle, 0});
        for (int k = 0; k < 384; ++k)
            kinds += "sr";
        points.insert(points.end(), 768, {pass, Section::Random, cycle, 0});
    }
}

struct RunOperations {
    std::string kinds;
    std::vector<Point> points;
    RunOperations()
    {
        AddPassOperations(kinds, points, 0);
        AddPassOperations(kinds, points, 1);
    }
};
const RunOperations& Operations()
{
    static const RunOperations ops;
    return ops;
}

// The operations a stop is tried at: -1 (none); in pass 0 every one of the
// walk and the open, and the first and the last of each read section, where
// its checks change (those between meet the same checks); in pass 1, whose
// tests run the same code, where it differs: a walk stopped before or after
// the root's entries (the file found by pass 0 is then too small or found
// again), its open, and the very last operation. Each run that stops in pass 1
// runs a whole pass 0 first.
std::vector<int> StopOperations()
{
    const std::vector<Point>& points = Operations().points;
    auto same = [&](size_t a, size_t b) {
        return points[a].pass == points[b].pass && points[a].section == points[b].section &&
               points[a].cycle == points[b].cycle;
    };
    std::vector<int> ops = {-1};
    for (size_t k = 0; k < points.size(); ++k) {
        const Point& p = points[k];
        const bool edge = k == 0 || !same(k - 1, k) || k + 1 == points.size() || !same(k + 1, k);
        const bool first = p.pass == 0 && (p.section == Section::Walk || p.section == Section::Open || edge);
        const bool second = p.pass == 1 && ((p.section == Section::Walk && p.walkOp <= 2) ||
                                            p.section == Section::Open || k + 1 == points.size());
        if (first || second)
            ops.push_back(static_cast<int>(k));
    }
    return ops;
}

// The rows and the state are what is checked here, not pixels: the run's
// windows open off the screen, where Wine does not draw each progress step.
LRESULT CALLBACK OffScreen(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
        if (!(cs->style & WS_CHILD))
            cs->x = -4000;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class StopTest : public EngineTest, public ::testing::WithParamInterface<int> {
protected:
    HHOOK hook = ::SetWindowsHookExA(WH_CBT, OffScreen, nullptr, ::GetCurrentThreadId());
    ~StopTest() override { ::UnhookWindowsHookEx(hook); }
};

} // namespace

TEST_P(StopTest, LeavesOnlyWhatAStopThereMayLeave)
{
    const int k = GetParam();
    // The big file is the root's first entry; few files, so pass 0 warns unless
    // a stop came during its walk.
    disc.AddFile("D:\\BIG.DAT", 2097152 + 4096);
    disc.AddFile("D:\\DIR\\A.TXT", 10);
    device.openable = true;
    device.driveNumbers = {3};
    device.flags[3] = 0x105;
    OpenResults();
    std::string seen;
    disc.onOperation = [&](int index, char kind) {
        seen += kind;
        if (index == k)
            Stop();
    };
    engine->SaveCacheFlags(0);
    const int result = engine->RunPasses("D:\\", 0);
    engine->RestoreCacheFlags(0);
    EXPECT_EQ(0x105u, device.flags[3]);
    EXPECT_EQ(0, disc.openHandles);
    EXPECT_EQ(0, disc.openSearches);
    EXPECT_EQ(nullptr, engine->m_pReadBuffer);
    EXPECT_EQ(nullptr, engine->m_pRandomOffsets);
    EXPECT_EQ(nullptr, engine->m_readProgressDlg.m_hWnd);
    EXPECT_EQ(nullptr, engine->m_walkProgressDlg.m_hWnd);
    if (k < 0) {
        EXPECT_EQ(Operations().kinds, seen);  // the operations the stops are placed on
        EXPECT_EQ(1, result);
        return;
    }

    const Point& p = Operations().points[k];
    int expectedResult = 0;
    const Shape expected = ExpectedRows(p, &expectedResult);
    const Rows rows = ListRows();
    Shape shape;
    for (const auto& row : rows)
        shape.push_back({{row[0], row[1]}, !row[2].empty()});
    EXPECT_EQ(expected, shape);
    EXPECT_EQ(expectedResult, result);
    if (!expectedResult) {
        EXPECT_EQ(1, engine->m_resultsDlg.m_stopRequested.load());
    }
    // Only the few-files warning, and only when it came before the stop.
    const bool warned = p.pass > 0 || p.section != Section::Walk;
    ASSERT_EQ(warned ? 1u : 0u, messages.boxes.size());
    if (warned) {
        EXPECT_EQ(kFewFilesMessage, messages.boxes[0].text);
    }

    // The pass's stored total is its walk and every read it measured, as shown.
    const TestResults& rec = engine->m_results[p.pass][3];
    float sum = rec.walkSeconds;
    for (const auto& cycle : rec.readSeconds)
        sum += cycle[0] + cycle[1];
    EXPECT_NEAR(sum, rec.totalSeconds, 1e-4);
    if (expected.back().first[1] == "Total time of tests 1-4:") {
        EXPECT_EQ(Secs(rec.totalSeconds), rows.back()[2]);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCheck, StopTest, ::testing::ValuesIn(StopOperations()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param < 0 ? std::string("None") : "Op" + std::to_string(info.param);
                         });
