// The printed results report: title block, volume line and one table per pass.
#include "../engine/benchengine.h"
#include "../framework/dc.h"
#include "../res/resource.h"
#include "reportlayout.h"
#include <cstdio>

namespace report {

std::string FormatSeconds(float seconds)
{
    char text[64];
    std::snprintf(text, sizeof text, "%6.2f seconds", seconds);
    return text;
}

std::string VersionLine(const std::string& notice) { return std::string(kVersion) + ", " + notice; }

std::string VolumeLine(const std::string& label)
{
    return "CD-ROM volume used for test : " + label;
}

const char* PassHeading(int pass)
{
    return pass == 0 ? "Testing Without Zelkor Cache" : "Testing With Zelkor Cache";
}

std::string WalkDescription(char letter)
{
    char text[64];
    std::snprintf(text, sizeof text, "Directory walk of drive %c:\\", letter);
    return text;
}

std::string SequentialDescription()
{
    char text[64];
    std::snprintf(text, sizeof text, "Sequential read of %d blocks", kReadBlocks);
    return text;
}

std::string RandomDescription()
{
    char text[64];
    std::snprintf(text, sizeof text, "Random read of %d blocks", kReadBlocks);
    return text;
}

const char* TotalDescription() { return "Total time for tests 1-4"; }

}  // namespace report

namespace {

// A font sized in points for the device context, after its mapping mode is set.
HFONT CreatePointFont(const CDC& dc, int tenthsOfPoint, int weight)
{
    POINT size{0, report::PointsToPixels(dc.GetDeviceCaps(LOGPIXELSY), tenthsOfPoint)};
    POINT origin{0, 0};
    dc.DPtoLP(&size);
    dc.DPtoLP(&origin);
    LOGFONTA font{};
    font.lfHeight = report::FontHeight(size.y, origin.y);
    font.lfWeight = weight;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(font.lfFaceName, report::kFontFace, LF_FACESIZE);
    return ::CreateFontIndirectA(&font);
}

// The three text cells of one table row, moved down a line at a time.
struct RowCells {
    RECT number, description, time;
    RowCells(int top, int line)
        : number(report::Cell(report::NumberColumn, 0, top, line)),
          description(report::Cell(report::DescriptionColumn, 0, top, line)),
          time(report::Cell(report::TimeColumn, 0, top, line))
    {}
    void MoveDown(int line)
    {
        for (RECT* r : {&number, &description, &time}) {
            r->top -= line;
            r->bottom -= line;
        }
    }
};

void DrawTimeCell(const CDC& dc, RECT cell, float seconds)
{
    // The time may be wider than its cell (1000 s and more): never clipped, still right-aligned.
    dc.DrawText(report::FormatSeconds(seconds), &cell, DT_RIGHT | DT_NOCLIP);
}

void DrawRow(const CDC& dc, RowCells& cells, const char* number, const std::string& description, float seconds)
{
    RECT r = cells.number;
    if (number)
        dc.DrawText(number, &r, DT_CENTER);
    r = cells.description;
    dc.DrawText(description, &r, DT_RIGHT);
    DrawTimeCell(dc, cells.time, seconds);
}

}  // namespace

void CBenchEngine::PrintReport(const char* drive, CDC& dc)
{
    if (!drive || !dc.m_hDC)
        return;
    // By hand: <cctype>'s toupper is a C runtime DLL import, and a drive letter is plain ASCII.
    const char letter = drive[0] >= 'a' && drive[0] <= 'z' ? static_cast<char>(drive[0] - 'a' + 'A') : drive[0];
    if (letter < 'A' || letter > 'Z')
        return;
    const int d = letter - 'A';

    dc.SetMapMode(MM_LOENGLISH);
    dc.SetBkMode(TRANSPARENT);
    const std::string versionLine = report::VersionLine(LoadResString(IDS_COPYRIGHT));

    HFONT regularFont = CreatePointFont(dc, report::kRegularPoints, 0);
    HFONT boldFont = CreatePointFont(dc, report::kRegularPoints, FW_BOLD);
    HFONT titleFont = CreatePointFont(dc, report::kTitlePoints, 0);
    dc.SelectStockObject(BLACK_BRUSH);
    dc.SelectStockObject(BLACK_PEN);
    HGDIOBJ oldFont = dc.SelectObject(titleFont);

    TEXTMETRICA metrics{};
    dc.GetTextMetrics(&metrics);
    const SIZE title = dc.GetTextExtent(report::kTitle);
    const int drop = report::TitleDrop(title.cy, metrics.tmDescent);
    const POINT titleAt = report::TitleOrigin();
    dc.TextOut(titleAt.x, titleAt.y, report::kTitle);

    dc.SelectObject(regularFont);
    const SIZE version = dc.GetTextExtent(versionLine);
    const int line = version.cy;
    const POINT versionAt = report::VersionOrigin(title.cx, line, drop);
    dc.TextOut(versionAt.x, versionAt.y, versionLine);
    dc.Rectangle(report::TitleRule(title.cx, version.cx, drop));

    dc.SelectStockObject(NULL_BRUSH);
    const POINT volumeAt = report::VolumeOrigin(line);
    dc.TabbedTextOut(volumeAt.x, volumeAt.y, report::VolumeLine(m_results[0][d].volumeLabel));

    for (int pass = 0; pass < kMaxPasses; ++pass) {
        if (pass > 0 && !(m_pOwner && m_pOwner->FindCachedDrive(drive) >= 0))
            break;
        // A run may be writing these times: take them as they stand now.
        const TestResults& record = m_results[pass][d];
        float walk = record.walkSeconds;
        float reads[kReadCycles][2];
        for (int r = 0; r < kReadCycles; ++r) {
            reads[r][0] = record.readSeconds[r][0];
            reads[r][1] = record.readSeconds[r][1];
        }
        float total = record.totalSeconds;

        dc.SelectObject(boldFont);
        const POINT headingAt = report::HeadingOrigin(pass, line);
        dc.TabbedTextOut(headingAt.x, headingAt.y, report::PassHeading(pass));

        dc.SelectObject(regularFont);
        const int top = report::TableTop(pass, line);
        dc.Rectangle(report::TableFrame(top, line));
        dc.Rectangle(report::MiddleColumn(top, line));
        dc.Rectangle(report::HeaderRow(top, line));

        RowCells cells(top, line);
        RECT r = cells.number;
        dc.DrawText("Test", &r, DT_CENTER);
        r = cells.description;
        dc.DrawText("Description", &r, DT_CENTER);
        r = cells.time;
        dc.DrawText("Time", &r, DT_CENTER);

        cells.MoveDown(line);
        DrawRow(dc, cells, "1", report::WalkDescription(letter), walk);
        for (int cycle = 0; cycle < kReadCycles; ++cycle) {
            char number[16];
            std::snprintf(number, sizeof number, "%d", cycle + 2);
            cells.MoveDown(line);
            DrawRow(dc, cells, number, report::SequentialDescription(), reads[cycle][0]);
            cells.MoveDown(line);
            DrawRow(dc, cells, nullptr, report::RandomDescription(), reads[cycle][1]);
        }

        cells.MoveDown(line);
        r = cells.description;
        dc.DrawText(report::TotalDescription(), &r, DT_RIGHT);
        dc.SelectObject(boldFont);
        DrawTimeCell(dc, cells.time, total);
        dc.SelectObject(regularFont);
    }

    dc.SelectObject(oldFont);
    ::DeleteObject(titleFont);
    ::DeleteObject(boldFont);
    ::DeleteObject(regularFont);
}
