// Helpers of the printing tests: printer device contexts at a chosen resolution,
// the report recorded as an enhanced metafile, and the text of a printed job.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

class CBenchEngine;

struct DrawnText {
    std::string text;
    int x = 0, y = 0;   // reference point, logical units
    int width = 0;      // sum of the recorded advances (each rounded), logical units
};

struct Recording {
    int logPixelsY = 0;
    std::vector<DrawnText> texts;
    std::vector<RECT> rects;
    std::vector<int> fontHeights;
    std::vector<DWORD> createdObjects;  // metafile object indices, in order
    std::vector<DWORD> deletedObjects;
};

// The default printer's name; empty when there is none.
std::string DefaultPrinterName();
// A device context of the default printer at `dpi` dots per inch, or null.
HDC CreatePrinterDC(int dpi);
// The report of `drive` drawn into a metafile whose reference is the printer at `dpi`.
Recording RecordReport(CBenchEngine& engine, const char* drive, int dpi);
// Width of `text` in MM_LOENGLISH units on the printer at `dpi`, in the report's face.
int MeasureText(int dpi, int height, int weight, const std::string& text);

// The print file as a Windows path (from KORVANE_PRINT_FILE), empty if unset.
std::string PrintFilePath();

struct PrintedText {
    int x = 0, y = 0;
    std::string text;
};
// Each text call of Wine's PostScript output, rebuilt from its glyph names.
std::vector<PrintedText> ExtractText(const std::string& postscript);
std::string JobTitle(const std::string& postscript);
