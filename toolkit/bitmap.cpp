#include "toolkit/bitmap.h"

#include <cstring>

int MemoryBitmap::WriteBits(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

MemoryBitmap::~MemoryBitmap() {
    if (m_dc && m_previous) SelectObject(m_dc, m_previous);
    if (m_bitmap) DeleteObject(m_bitmap);
    if (m_dc) DeleteDC(m_dc);
}

void MemoryBitmap::Select(HBITMAP bitmap) {
    m_bitmap = bitmap;
    if (!m_dc) m_dc = CreateCompatibleDC(nullptr);
    if (m_dc && bitmap) m_previous = SelectObject(m_dc, bitmap);
}

BOOL MemoryBitmap::Draw(HDC hdc, int x, int y, const RECT* source, DWORD rop) {
    RECT all = {0, 0, static_cast<LONG>(m_width), static_cast<LONG>(m_height)};
    const RECT& r = source ? *source : all;
    return BitBlt(hdc, x, y, r.right - r.left, r.bottom - r.top, m_dc, r.left, r.top, rop);
}

BOOL MemoryBitmap::StretchDraw(HDC hdc, const RECT* destination, DWORD rop) {
    return StretchBlt(hdc, destination->left, destination->top, destination->right - destination->left,
                      destination->bottom - destination->top, m_dc, 0, 0, static_cast<int>(m_width),
                      static_cast<int>(m_height), rop);
}

BOOL MemoryBitmap::DrawTransparent(HDC hdc, int x, int y, COLORREF transparent, int width, int height) {
    if (width == 0) width = static_cast<int>(m_width);
    if (height == 0) height = static_cast<int>(m_height);
    return TransparentBlt(hdc, x, y, width, height, m_dc, 0, 0, static_cast<int>(m_width), static_cast<int>(m_height),
                          transparent);
}

uint8_t* MemoryBitmap::GetRow(uint32_t y) const {
    if (!m_pixels || y >= m_height) return nullptr;
    return m_pixels + static_cast<size_t>(m_height - 1 - y) * m_stride;
}

int MemoryBitmap::SaveToFile(const char* fileName) {
    DIBSECTION dib;
    if (!m_bitmap || GetObjectA(m_bitmap, sizeof dib, &dib) != sizeof dib || !m_pixels) return 0;
    HANDLE file = CreateFileA(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    int ok = 0;
    if (GetFileType(file) == FILE_TYPE_DISK) {
        BITMAPINFOHEADER header = dib.dsBmih;
        bool masks = header.biCompression == BI_BITFIELDS;
        uint32_t headerSize = masks ? 52 : 40;
        // Header, masks and colour table have a fixed bound: no heap is needed.
        alignas(BITMAPINFOHEADER) uint8_t block[52 + 256 * 4] = {};
        std::memcpy(block, &header, 40);
        if (masks) std::memcpy(block + 40, dib.dsBitfields, 12);
        uint32_t colours = 0;
        if (header.biBitCount > 8) {
            // No colour table is needed; a grey ramp is written as the readers' fallback.
            colours = 256;
            for (uint32_t i = 0; i < 256; ++i) {
                uint8_t* e = block + headerSize + i * 4;
                e[0] = e[1] = e[2] = static_cast<uint8_t>(i);
            }
        } else {
            colours = header.biClrUsed ? header.biClrUsed : (1u << header.biBitCount);
            GetDIBColorTable(m_dc, 0, colours, reinterpret_cast<RGBQUAD*>(block + headerSize));
        }
        reinterpret_cast<BITMAPINFOHEADER*>(block)->biClrUsed = colours;
        uint32_t image = (header.biCompression == BI_RGB || masks)
                             ? (header.biBitCount * static_cast<uint32_t>(header.biWidth) * header.biPlanes + 31) / 32 *
                                   4 * static_cast<uint32_t>(header.biHeight < 0 ? -header.biHeight : header.biHeight)
                             : header.biSizeImage;
        uint32_t table = colours * 4;
        BITMAPFILEHEADER fileHeader = {};
        fileHeader.bfType = 0x4D42;  // "BM"
        fileHeader.bfSize = image + table + headerSize + 14;
        fileHeader.bfOffBits = headerSize + table + 14;
        DWORD written = 0;
        ok = WriteFile(file, &fileHeader, 14, &written, nullptr) && written == 14 &&
             WriteFile(file, block, headerSize + table, &written, nullptr) && written == headerSize + table &&
             WriteBits(file, m_pixels, image);
    }
    CloseHandle(file);
    return ok;
}

bool DibBitmap::Make(uint32_t width, uint32_t height, int bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    m_dc = CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    void* pixels = nullptr;
    HBITMAP bitmap = m_dc ? CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0) : nullptr;
    if (!bitmap || !pixels) {
        if (bitmap) DeleteObject(bitmap);
        return false;
    }
    m_bits = static_cast<uint32_t>(bits);
    m_width = width;
    m_height = height;
    m_stride = (width * static_cast<uint32_t>(bits) / 8 + 3) & ~3u;
    m_pixels = static_cast<uint8_t*>(pixels);
    std::memset(m_pixels, 0, static_cast<size_t>(m_stride) * height);
    Select(bitmap);
    return true;
}

DibBitmap::DibBitmap(uint32_t width, uint32_t height) {
    if (!Make(width, height, 24)) {
        if (m_dc) DeleteDC(m_dc);
        m_dc = nullptr;
        throw 1;
    }
}

DibBitmap* DibBitmap::DibBitmap32(uint32_t width, uint32_t height) {
    DibBitmap* b = new DibBitmap();
    if (b) b->Make(width, height, 32);
    return b;
}

DibBitmap* DibBitmap::DibBitmapCompatible(uint32_t width, uint32_t height) {
    DibBitmap* b = new DibBitmap();
    if (!b) return nullptr;
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, static_cast<int>(width), static_cast<int>(height));
    ::ReleaseDC(nullptr, screen);
    b->m_width = width;
    b->m_height = height;
    b->m_stride = width;
    b->Select(bitmap);
    return b;
}

int DibBitmap::SetPixel(uint32_t x, uint32_t y, COLORREF colour) {
    uint8_t* row = GetRow(y);
    if (!row || x >= m_width || m_bits != 24) return 0;
    row[x * 3] = static_cast<uint8_t>(colour);
    row[x * 3 + 1] = static_cast<uint8_t>(colour >> 8);
    row[x * 3 + 2] = static_cast<uint8_t>(colour >> 16);
    return 1;
}

int DibBitmap::SetPixel32(uint32_t x, uint32_t y, COLORREF colour) {
    uint8_t* row = GetRow(y);
    if (!row || x >= m_width || m_bits != 32) return 0;
    row[x * 4] = static_cast<uint8_t>(colour);
    row[x * 4 + 1] = static_cast<uint8_t>(colour >> 8);
    row[x * 4 + 2] = static_cast<uint8_t>(colour >> 16);
    return 1;
}

void DibBitmap::FillRow(uint32_t x, uint32_t y, uint32_t count, uint32_t value) {
    uint8_t* row = GetRow(y);
    if (!row || x >= WordsPerRow()) return;
    if (count > WordsPerRow() - x) count = WordsPerRow() - x;
    uint32_t* w = reinterpret_cast<uint32_t*>(row) + x;
    for (uint32_t i = 0; i < count; ++i) w[i] = value;
}

void DibBitmap::FillRowPattern(uint32_t x, uint32_t y, uint32_t count, const uint32_t pattern[4]) {
    uint8_t* row = GetRow(y);
    if (!row || x >= WordsPerRow()) return;
    if (count > WordsPerRow() - x) count = WordsPerRow() - x;
    uint32_t* w = reinterpret_cast<uint32_t*>(row) + x;
    for (uint32_t i = 0; i < count; ++i) w[i] = pattern[i & 3];
}

void DibBitmap::FillColumn(uint32_t x, uint32_t y, uint32_t count, uint32_t value) {
    for (uint32_t i = 0; i < count && y + i < m_height; ++i) FillRow(x, y + i, 1, value);
}

void DibBitmap::FillColumnPattern(uint32_t x, uint32_t y, uint32_t count, const uint32_t pattern[4]) {
    for (uint32_t i = 0; i < count && y + i < m_height; ++i) FillRow(x, y + i, 1, pattern[i & 3]);
}

PaletteBitmap::PaletteBitmap(uint32_t width, uint32_t height, const LOGPALETTE* palette) {
    alignas(BITMAPINFO) uint8_t storage[sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)] = {};
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(storage);
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = static_cast<LONG>(width);
    info->bmiHeader.biHeight = static_cast<LONG>(height);
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 8;
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biClrUsed = 256;
    for (uint32_t i = 0; i < 256; ++i) {
        RGBQUAD& q = info->bmiColors[i];
        if (palette && i < palette->palNumEntries) {
            q.rgbRed = palette->palPalEntry[i].peRed;
            q.rgbGreen = palette->palPalEntry[i].peGreen;
            q.rgbBlue = palette->palPalEntry[i].peBlue;
        } else if (!palette) {
            q.rgbRed = q.rgbGreen = q.rgbBlue = static_cast<BYTE>(i);
        }
    }
    HDC screen = ::GetDC(nullptr);
    m_dc = CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    void* pixels = nullptr;
    HBITMAP bitmap = m_dc ? CreateDIBSection(m_dc, info, DIB_RGB_COLORS, &pixels, nullptr, 0) : nullptr;
    if (!bitmap || !pixels) {
        if (bitmap) DeleteObject(bitmap);
        if (m_dc) DeleteDC(m_dc);
        m_dc = nullptr;
        throw 1;
    }
    m_width = width;
    m_height = height;
    m_stride = (width + 3) & ~3u;
    m_pixels = static_cast<uint8_t*>(pixels);
    std::memset(m_pixels, 0, static_cast<size_t>(m_stride) * height);
    Select(bitmap);
    if (palette) m_palette = CreatePalette(palette);
}

PaletteBitmap::~PaletteBitmap() {
    if (m_palette) DeleteObject(m_palette);
}

namespace {
bool IsPaletteDevice(HDC hdc) { return (GetDeviceCaps(hdc, RASTERCAPS) & RC_PALETTE) != 0; }
}  // namespace

BOOL PaletteBitmap::Draw(HDC hdc, int x, int y, const RECT* source, DWORD rop) {
    HPALETTE old = nullptr;
    bool palette = m_palette && IsPaletteDevice(hdc);
    if (palette) {
        old = SelectPalette(hdc, m_palette, TRUE);
        RealizePalette(hdc);
    }
    BOOL r = MemoryBitmap::Draw(hdc, x, y, source, rop);
    if (palette) SelectPalette(hdc, old, TRUE);
    return r;
}

BOOL PaletteBitmap::StretchDraw(HDC hdc, const RECT* destination, DWORD rop) {
    HPALETTE old = nullptr;
    bool palette = m_palette && IsPaletteDevice(hdc);
    if (palette) {
        old = SelectPalette(hdc, m_palette, TRUE);
        RealizePalette(hdc);
    }
    BOOL r = MemoryBitmap::StretchDraw(hdc, destination, rop);
    if (palette) SelectPalette(hdc, old, TRUE);
    return r;
}

void PaletteBitmap::SetPalette(HPALETTE palette) {
    if (palette && m_dc) {
        SelectPalette(m_dc, palette, TRUE);
        RealizePalette(m_dc);
    }
    if (m_palette && m_palette != palette) DeleteObject(m_palette);
    m_palette = palette;
}

void PaletteBitmap::SetColor(uint8_t index, uint8_t red, uint8_t green, uint8_t blue) {
    RGBQUAD q = {blue, green, red, 0};
    SetDIBColorTable(m_dc, index, 1, &q);
}

void PaletteBitmap::SetColors(uint32_t first, uint32_t count, const RGBQUAD* entries) {
    SetDIBColorTable(m_dc, first, count, entries);
}

uint8_t PaletteBitmap::GetPixel(uint32_t x, uint32_t y) const {
    uint8_t* row = GetRow(y);
    return row && x < m_width ? row[x] : 0;
}
