#include "testbed/common/screen_capture.h"

#include <zlib.h>

#include <cstdio>

namespace testbed {

Picture CaptureWindow(HWND window) {
    Picture p;
    RECT r;
    if (!window || !GetWindowRect(window, &r)) return p;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    p.width = r.right - r.left;
    p.height = r.bottom - r.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), p.width, -p.height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && memory) {
        HGDIOBJ old = SelectObject(memory, dib);
        BitBlt(memory, 0, 0, p.width, p.height, screen, r.left, r.top, SRCCOPY);
        GdiFlush();
        const size_t stride = (p.width * 3 + 3) & ~3;
        p.rgb.resize(static_cast<size_t>(p.width) * p.height * 3);
        for (int y = 0; y < p.height; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(bits) + y * stride;
            for (int x = 0; x < p.width * 3; x += 3) {
                uint8_t* out = &p.rgb[static_cast<size_t>(y) * p.width * 3 + x];
                out[0] = row[x + 2], out[1] = row[x + 1], out[2] = row[x];
            }
        }
        SelectObject(memory, old);
    }
    if (dib) DeleteObject(dib);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return p;
}

Picture Picture::Crop(HWND whole, HWND part) const {
    RECT w, r;
    Picture c;
    if (!GetWindowRect(whole, &w) || !GetWindowRect(part, &r) || r.left < w.left || r.top < w.top ||
        r.right - w.left > width || r.bottom - w.top > height)
        return c;
    c.width = r.right - r.left;
    c.height = r.bottom - r.top;
    for (int y = 0; y < c.height; ++y) {
        const size_t from = (static_cast<size_t>(y + r.top - w.top) * width + (r.left - w.left)) * 3;
        c.rgb.insert(c.rgb.end(), rgb.begin() + from, rgb.begin() + from + c.width * 3);
    }
    return c;
}

bool Picture::HasContent() const {
    for (size_t i = 3; i + 2 < rgb.size(); i += 3)
        if (rgb[i] != rgb[0] || rgb[i + 1] != rgb[1] || rgb[i + 2] != rgb[2]) return true;
    return false;
}

bool WritePng(const std::string& path, const Picture& p) {
    if (p.width <= 0 || p.height <= 0) return false;
    std::vector<uint8_t> raw;
    for (int y = 0; y < p.height; ++y) {
        raw.push_back(0);  // no filter
        const auto row = p.rgb.begin() + static_cast<size_t>(y) * p.width * 3;
        raw.insert(raw.end(), row, row + p.width * 3);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) return false;
    packed.resize(packedSize);
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto word = [&](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
    };
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
        word(static_cast<uint32_t>(data.size()));
        const size_t start = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        word(static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
    };
    std::vector<uint8_t> header = {0, 0, 0, 0, 0, 0, 0, 0, 8, 2, 0, 0, 0};  // 8 bits a channel, RGB
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<uint8_t>(p.width >> (24 - 8 * i));
        header[4 + i] = static_cast<uint8_t>(p.height >> (24 - 8 * i));
    }
    chunk("IHDR", header);
    chunk("IDAT", packed);
    chunk("IEND", {});
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace testbed
