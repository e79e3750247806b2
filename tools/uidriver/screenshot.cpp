// UI driver, screenshots: what the screen shows of a window, saved as PNG.
#include "uidriver.h"
#include <cstdint>
#include <cstdlib>

namespace uidriver {

namespace {
uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc = 0)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        ready = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBig32(std::vector<unsigned char>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>(value >> shift));
}

void PutChunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data)
{
    PutBig32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, Crc32(out.data() + start, out.size() - start));
}
}  // namespace

std::vector<unsigned char> EncodePng(int width, int height, const std::vector<unsigned char>& rgb)
{
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    PutBig32(header, width);
    PutBig32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter, no interlace
    PutChunk(png, "IHDR", header);

    // Scanlines with filter type 0, then a zlib stream of stored blocks.
    std::vector<unsigned char> raw;
    const size_t stride = static_cast<size_t>(width) * 3;
    raw.reserve((stride + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + y * stride, rgb.begin() + (y + 1) * stride);
    }
    std::vector<unsigned char> zlib = {0x78, 0x01};
    size_t offset = 0;
    do {
        const size_t block = raw.size() - offset < 65535 ? raw.size() - offset : 65535;
        const bool last = offset + block == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<unsigned char>(block));
        zlib.push_back(static_cast<unsigned char>(block >> 8));
        zlib.push_back(static_cast<unsigned char>(~block));
        zlib.push_back(static_cast<unsigned char>(~block >> 8));
        zlib.insert(zlib.end(), raw.begin() + offset, raw.begin() + offset + block);
        offset += block;
    } while (offset < raw.size());
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(zlib, (b << 16) | a);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    return png;
}

bool SaveScreenshot(HWND hWnd, const std::string& windowsPath)
{
    RECT rect;
    if (hWnd) {
        if (!::GetWindowRect(hWnd, &rect))
            return false;
    } else {
        rect = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    // What the screen shows, not a fresh paint: colours a writer painted for a
    // moment stay visible until the window repaints.
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ok = ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT) != 0;
        ::GdiFlush();
        ::SelectObject(memory, old);
    }
    std::vector<unsigned char> rgb;
    if (ok) {
        rgb.resize(static_cast<size_t>(width) * height * 3);
        const unsigned char* p = static_cast<const unsigned char*>(bits);
        for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
            rgb[i * 3] = p[i * 4 + 2];
            rgb[i * 3 + 1] = p[i * 4 + 1];
            rgb[i * 3 + 2] = p[i * 4];
        }
    }
    if (bitmap)
        ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (!ok)
        return false;

    std::vector<unsigned char> png = EncodePng(width, height, rgb);
    HANDLE file = ::CreateFileA(windowsPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    ok = ::WriteFile(file, png.data(), static_cast<DWORD>(png.size()), &written, nullptr) && written == png.size();
    ::CloseHandle(file);
    return ok;
}

std::string ToWindowsPath(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return path;
    std::string converted = "Z:" + path;
    for (char& c : converted)
        if (c == '/')
            c = '\\';
    return converted;
}

std::string ScreensDirectory()
{
    const char* value = std::getenv("KORVANE_SCREENS");
    return value && *value ? ToWindowsPath(value) : std::string();
}

static void MakeDirectories(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            ::CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

std::string SaveNamedScreenshot(HWND hWnd, const std::string& name)
{
    std::string directory = ScreensDirectory();
    if (directory.empty())
        return std::string();
    MakeDirectories(directory);
    std::string path = directory + (directory.back() == '\\' ? "" : "\\") + name + ".png";
    return SaveScreenshot(hWnd, path) ? path : std::string();
}

}  // namespace uidriver
