// Positions and texts of the printed results report, in hundredths of an inch
// (MM_LOENGLISH: y grows upward, so everything below the page's top is negative).
#pragma once
#include <windows.h>
#include <string>

namespace report {

const char* const kTitle = "Korvane";
const char* const kVersion = "Version 3.20";
const char* const kDocumentName = "Korvane Results";
const char* const kFontFace = "Times New Roman";
const int kRegularPoints = 120;  // tenths of a point
const int kTitlePoints = 360;
const int kTableLines = 9;

// Font sizes: device pixels of a height in tenths of a point, and the font
// height from that pixel height converted to logical units.
inline int PointsToPixels(int logPixelsY, int tenthsOfPoint) { return logPixelsY * tenthsOfPoint / 720; }
inline int FontHeight(int logicalY, int logicalOriginY)
{
    const int height = logicalY - logicalOriginY;
    return height < 0 ? height : -height;
}

// T: how far the title's baseline region reaches below its top, from the title
// font's extent height and descent (two thirds of the descent, truncated).
inline int TitleDrop(int titleHeight, int titleDescent) { return titleHeight + (2 * titleDescent) / (-3); }

inline POINT TitleOrigin() { return POINT{50, -50}; }
// The version line starts 30 units after the title's end; its bottom is at -50 - T.
inline POINT VersionOrigin(int titleWidth, int line, int drop) { return POINT{titleWidth + 80, line - drop - 50}; }
inline RECT TitleRule(int titleWidth, int versionWidth, int drop)
{
    return RECT{50, -50 - drop, titleWidth + 80 + versionWidth, -52 - drop};
}
inline POINT VolumeOrigin(int line) { return POINT{50, -7 * line}; }

// Line numbers (in lines of height L, counted down from the page's top).
inline int HeadingLine(int pass) { return pass == 0 ? -9 : -22; }
inline int TableTopLine(int pass) { return HeadingLine(pass) - 2; }
inline POINT HeadingOrigin(int pass, int line) { return POINT{50, HeadingLine(pass) * line}; }
inline int TableTop(int pass, int line) { return TableTopLine(pass) * line; }

inline RECT TableFrame(int top, int line) { return RECT{50, top, 550, top - kTableLines * line}; }
inline RECT MiddleColumn(int top, int line) { return RECT{125, top, 375, top - kTableLines * line}; }
inline RECT HeaderRow(int top, int line) { return RECT{50, top, 550, top - line}; }

enum Column { NumberColumn, DescriptionColumn, TimeColumn };
// Text cell of a column in table row `row` (0 = header row).
inline RECT Cell(Column column, int row, int top, int line)
{
    static const LONG left[] = {50, 135, 375};
    static const LONG right[] = {125, 365, 540};
    return RECT{left[column], top - row * line, right[column], top - (row + 1) * line};
}

std::string FormatSeconds(float seconds);
std::string VersionLine(const std::string& notice);
std::string VolumeLine(const std::string& label);
const char* PassHeading(int pass);
std::string WalkDescription(char letter);
std::string SequentialDescription();
std::string RandomDescription();
const char* TotalDescription();

}  // namespace report
