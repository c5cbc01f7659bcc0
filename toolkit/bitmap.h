// Off-screen bitmaps that carry their own memory DC, so GDI can paint into them and code can
// reach their pixels directly. Rows lie bottom-up (DIB order): GetRow(0) is the top row and
// lies last in memory. Coordinates are unsigned, so a negative one never addresses outside.
#pragma once

#include <windows.h>

#include <cstdint>

class MemoryBitmap {
public:
    virtual int WriteBits(HANDLE file, const void* data, DWORD size);  // 1 when all was written
    virtual ~MemoryBitmap();
    MemoryBitmap(const MemoryBitmap&) = delete;
    MemoryBitmap& operator=(const MemoryBitmap&) = delete;

    // The rectangle (the whole bitmap when null) to (x, y).
    virtual BOOL Draw(HDC hdc, int x, int y, const RECT* source, DWORD rop);
    virtual BOOL StretchDraw(HDC hdc, const RECT* destination, DWORD rop);
    // Width and height 0 mean the bitmap's own size.
    virtual BOOL DrawTransparent(HDC hdc, int x, int y, COLORREF transparent, int width, int height);
    // Pointer to row y (0 = top); null when y >= height or there is no pixel access.
    virtual uint8_t* GetRow(uint32_t y) const;

    // Writes a .BMP file; 1 on success.
    int SaveToFile(const char* fileName);

    HBITMAP GetHandle() const { return m_bitmap; }
    HDC GetDC() const { return m_dc; }
    uint32_t GetStride() const { return m_stride; }
    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    uint8_t* GetPixels() const { return m_pixels; }

protected:
    MemoryBitmap() = default;
    void Select(HBITMAP bitmap);  // into a new screen-compatible memory DC

    HBITMAP m_bitmap = nullptr;
    HDC m_dc = nullptr;
    HGDIOBJ m_previous = nullptr;
    uint8_t* m_pixels = nullptr;
    uint32_t m_stride = 0;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
};

// A 24-bit bottom-up DIB section, black when made.
class DibBitmap : public MemoryBitmap {
public:
    // Throws the integer 1 when the DIB section cannot be made.
    DibBitmap(uint32_t width, uint32_t height);
    // A 32-bit DIB section (null bitmap on failure) and a screen-compatible bitmap without
    // pixel access.
    static DibBitmap* DibBitmap32(uint32_t width, uint32_t height);
    static DibBitmap* DibBitmapCompatible(uint32_t width, uint32_t height);

    // The colour's three low bytes in memory order; 0 outside the bitmap.
    int SetPixel(uint32_t x, uint32_t y, COLORREF colour);
    int SetPixel32(uint32_t x, uint32_t y, COLORREF colour);
    // 32-bit words along a row or down a column, clipped to the bitmap.
    void FillRow(uint32_t x, uint32_t y, uint32_t count, uint32_t value);
    void FillRowPattern(uint32_t x, uint32_t y, uint32_t count, const uint32_t pattern[4]);
    void FillColumn(uint32_t x, uint32_t y, uint32_t count, uint32_t value);
    void FillColumnPattern(uint32_t x, uint32_t y, uint32_t count, const uint32_t pattern[4]);

private:
    DibBitmap() = default;
    bool Make(uint32_t width, uint32_t height, int bits);
    uint32_t WordsPerRow() const { return m_stride / 4; }
    uint32_t m_bits = 24;
};

// An 8-bit DIB section with a palette (a grey ramp when none is given).
class PaletteBitmap : public MemoryBitmap {
public:
    // Throws the integer 1 when the DIB section cannot be made.
    PaletteBitmap(uint32_t width, uint32_t height, const LOGPALETTE* palette);
    ~PaletteBitmap() override;

    BOOL Draw(HDC hdc, int x, int y, const RECT* source, DWORD rop) override;
    BOOL StretchDraw(HDC hdc, const RECT* destination, DWORD rop) override;

    void SetPalette(HPALETTE palette);  // owned from now on
    void SetColor(uint8_t index, uint8_t red, uint8_t green, uint8_t blue);
    void SetColors(uint32_t first, uint32_t count, const RGBQUAD* entries);
    uint8_t GetPixel(uint32_t x, uint32_t y) const;  // 0 outside

private:
    HPALETTE m_palette = nullptr;
};
