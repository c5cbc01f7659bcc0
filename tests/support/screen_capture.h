// Pictures of windows for test artefacts and the README (Windows only, header only): a window
// as it shows on the screen, with everything drawn over it by its children, written as PNG
// through zlib.
#pragma once

#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace screen_capture {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;   // rows top down, 3 bytes a pixel
};

// Repaints the window and its children now, then copies its rectangle from the screen.
inline Picture Capture(HWND window) {
    Picture p;
    RECT r;
    if (!window || !GetWindowRect(window, &r)) return p;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    p.width = r.right - r.left;
    p.height = r.bottom - r.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = p.width;
    info.bmiHeader.biHeight = -p.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && mem) {
        HGDIOBJ old = SelectObject(mem, dib);
        BitBlt(mem, 0, 0, p.width, p.height, screen, r.left, r.top, SRCCOPY);
        GdiFlush();
        const int stride = (p.width * 3 + 3) & ~3;
        p.rgb.resize(static_cast<size_t>(p.width) * p.height * 3);
        for (int y = 0; y < p.height; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(bits) + static_cast<size_t>(y) * stride;
            for (int x = 0; x < p.width; ++x) {
                uint8_t* out = &p.rgb[(static_cast<size_t>(y) * p.width + x) * 3];
                out[0] = row[x * 3 + 2], out[1] = row[x * 3 + 1], out[2] = row[x * 3];
            }
        }
        SelectObject(mem, old);
    }
    if (dib) DeleteObject(dib);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return p;
}

// Whether the picture holds more than one colour (a window that painted nothing does not).
inline bool HasContent(const Picture& p) {
    for (size_t i = 3; i + 2 < p.rgb.size(); i += 3)
        if (p.rgb[i] != p.rgb[0] || p.rgb[i + 1] != p.rgb[1] || p.rgb[i + 2] != p.rgb[2]) return true;
    return false;
}

inline bool WritePng(const std::string& path, const Picture& p) {
    if (p.width <= 0 || p.height <= 0) return false;
    std::vector<uint8_t> raw;
    for (int y = 0; y < p.height; ++y) {
        raw.push_back(0);   // no filter
        raw.insert(raw.end(), p.rgb.begin() + static_cast<size_t>(y) * p.width * 3,
                   p.rgb.begin() + static_cast<size_t>(y + 1) * p.width * 3);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) return false;
    packed.resize(packedSize);
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
        const uint32_t n = static_cast<uint32_t>(data.size());
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(n >> s));
        const size_t start = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        const uint32_t crc = static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start)));
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(crc >> s));
    };
    std::vector<uint8_t> header;
    for (uint32_t v : {static_cast<uint32_t>(p.width), static_cast<uint32_t>(p.height)})
        for (int s = 24; s >= 0; s -= 8) header.push_back(static_cast<uint8_t>(v >> s));
    header.insert(header.end(), {8, 2, 0, 0, 0});   // 8 bits, RGB
    chunk("IHDR", header);
    chunk("IDAT", packed);
    chunk("IEND", {});
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace screen_capture
