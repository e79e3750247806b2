// Helpers of the printing tests: printer DCs, metafile records, PostScript text.
#include "printhelpers.h"
#include "uidriver.h"
#include "engine/benchengine.h"
#include "framework/dc.h"
#include <winspool.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

std::string DefaultPrinterName()
{
    char name[256] = "";
    DWORD size = sizeof name;
    return ::GetDefaultPrinterA(name, &size) ? name : "";
}

HDC CreatePrinterDC(int dpi)
{
    const std::string name = DefaultPrinterName();
    HANDLE printer = nullptr;
    if (name.empty() || !::OpenPrinterA(const_cast<char*>(name.c_str()), &printer, nullptr))
        return nullptr;
    const LONG size = ::DocumentPropertiesA(nullptr, printer, const_cast<char*>(name.c_str()), nullptr, nullptr, 0);
    std::vector<char> buffer(size > 0 ? size : sizeof(DEVMODEA));
    auto* mode = reinterpret_cast<DEVMODEA*>(buffer.data());
    HDC dc = nullptr;
    if (size > 0 &&
        ::DocumentPropertiesA(nullptr, printer, const_cast<char*>(name.c_str()), mode, nullptr, DM_OUT_BUFFER) == IDOK) {
        mode->dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
        mode->dmPrintQuality = static_cast<short>(dpi);
        mode->dmYResolution = static_cast<short>(dpi);
        dc = ::CreateDCA(nullptr, name.c_str(), nullptr, mode);
    }
    ::ClosePrinter(printer);
    return dc;
}

namespace {

std::string Narrow(const WCHAR* text, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out += text[i] < 128 ? static_cast<char>(text[i]) : '?';
    return out;
}

int CALLBACK CollectRecord(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data)
{
    auto* rec = reinterpret_cast<Recording*>(data);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(record);
    switch (record->iType) {
    case EMR_EXTTEXTOUTW: {
        const auto* text = reinterpret_cast<const EMREXTTEXTOUTW*>(record);
        DrawnText drawn;
        drawn.text = Narrow(reinterpret_cast<const WCHAR*>(bytes + text->emrtext.offString), text->emrtext.nChars);
        drawn.x = text->emrtext.ptlReference.x;
        drawn.y = text->emrtext.ptlReference.y;
        if (text->emrtext.offDx) {
            const INT* dx = reinterpret_cast<const INT*>(bytes + text->emrtext.offDx);
            const int step = (text->emrtext.fOptions & ETO_PDY) ? 2 : 1;
            for (DWORD i = 0; i < text->emrtext.nChars; ++i)
                drawn.width += dx[i * step];
        }
        rec->texts.push_back(drawn);
        break;
    }
    case EMR_RECTANGLE: {
        const auto* r = reinterpret_cast<const EMRRECTANGLE*>(record);
        // The metafile keeps an ordered, inclusive box; give back the y-up
        // corners the drawing call was given.
        const RECTL& b = r->rclBox;
        rec->rects.push_back(RECT{std::min(b.left, b.right), std::max(b.top, b.bottom) + 1,
                                  std::max(b.left, b.right) + 1, std::min(b.top, b.bottom)});
        break;
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
        const auto* f = reinterpret_cast<const EMREXTCREATEFONTINDIRECTW*>(record);
        rec->fontHeights.push_back(f->elfw.elfLogFont.lfHeight);
        rec->createdObjects.push_back(f->ihFont);
        break;
    }
    case EMR_DELETEOBJECT: {
        rec->deletedObjects.push_back(reinterpret_cast<const EMRDELETEOBJECT*>(record)->ihObject);
        break;
    }
    default:
        break;
    }
    return 1;
}

}  // namespace

Recording RecordReport(CBenchEngine& engine, const char* drive, int dpi)
{
    Recording rec;
    HDC printer = CreatePrinterDC(dpi);
    if (!printer)
        return rec;
    rec.logPixelsY = ::GetDeviceCaps(printer, LOGPIXELSY);
    HDC meta = ::CreateEnhMetaFileA(printer, nullptr, nullptr, nullptr);
    if (meta) {
        CDC dc;
        dc.Attach(meta);
        engine.PrintReport(drive, dc);
        dc.Detach();
        HENHMETAFILE file = ::CloseEnhMetaFile(meta);
        ::EnumEnhMetaFile(nullptr, file, CollectRecord, &rec, nullptr);
        ::DeleteEnhMetaFile(file);
    }
    ::DeleteDC(printer);
    return rec;
}

int MeasureText(int dpi, int height, int weight, const std::string& text)
{
    HDC dc = CreatePrinterDC(dpi);
    if (!dc)
        return -1;
    ::SetMapMode(dc, MM_LOENGLISH);
    LOGFONTA font{};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(font.lfFaceName, "Times New Roman", LF_FACESIZE);
    HFONT f = ::CreateFontIndirectA(&font);
    HGDIOBJ old = ::SelectObject(dc, f);
    SIZE size{};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, old);
    ::DeleteObject(f);
    ::DeleteDC(dc);
    return size.cx;
}

std::string PrintFilePath()
{
    const char* unix = std::getenv("KORVANE_PRINT_FILE");
    if (!unix || !*unix)
        return "";
    return uidriver::ToWindowsPath(unix);
}

namespace {

char GlyphChar(const std::string& name)
{
    static const std::map<std::string, char> names = {
        {"space", ' '},     {"uni00A0", ' '},      {"hyphen", '-'},     {"uni00AD", '-'},    {"period", '.'},
        {"comma", ','},     {"colon", ':'},        {"backslash", '\\'}, {"parenleft", '('},  {"parenright", ')'},
        {"underscore", '_'}, {"zero", '0'},        {"one", '1'},        {"two", '2'},        {"three", '3'},
        {"four", '4'},      {"five", '5'},         {"six", '6'},        {"seven", '7'},      {"eight", '8'},
        {"nine", '9'},      {"slash", '/'},        {"percent", '%'},    {"quotesingle", '\''}};
    if (name.size() == 1)
        return name[0];
    auto it = names.find(name);
    if (it != names.end())
        return it->second;
    if (name.size() == 7 && name.compare(0, 3, "uni") == 0) {
        const long code = std::strtol(name.c_str() + 3, nullptr, 16);
        if (code >= 32 && code < 127)
            return static_cast<char>(code);
    }
    return '?';
}

}  // namespace

std::vector<PrintedText> ExtractText(const std::string& postscript)
{
    std::vector<PrintedText> out;
    std::istringstream lines(postscript);
    std::string line;
    bool inText = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::vector<std::string> tokens;
        std::string word;
        while (words >> word)
            tokens.push_back(word);
        if (tokens.size() == 3 && tokens[2] == "moveto") {
            PrintedText text;
            text.x = std::atoi(tokens[0].c_str());
            text.y = std::atoi(tokens[1].c_str());
            out.push_back(text);
            inText = true;
        } else if (tokens.size() == 2 && tokens[1] == "glyphshow" && inText && tokens[0].size() > 1) {
            // Glyph definitions come between the glyphs of one call: only the next move ends it.
            out.back().text += GlyphChar(tokens[0].substr(1));
        }
    }
    // Moves that drew no glyphs (lines, boxes) are not text.
    std::vector<PrintedText> texts;
    for (auto& t : out)
        if (!t.text.empty())
            texts.push_back(t);
    return texts;
}

std::string JobTitle(const std::string& postscript)
{
    const size_t at = postscript.find("%%Title:");
    if (at == std::string::npos)
        return "";
    const size_t end = postscript.find_first_of("\r\n", at);
    std::string title = postscript.substr(at + 8, end - at - 8);
    title.erase(0, title.find_first_not_of(' '));
    return title;
}
