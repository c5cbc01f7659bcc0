// The toolkit's free drawing functions: colour shading and blending, rectangle helpers, the
// bevelled frame, glyphs, an anti-aliased line, a 2x2 bitmap reduction, fonts and two layout
// helpers. Colours are 0x00BBGGRR.
#pragma once

#include <windows.h>

#include <cstdint>

class Component;
class MemoryBitmap;

// One bevel ring's pens; ring 0 is the outermost and strongest.
struct ShadePair {
    HPEN light;
    HPEN dark;
};

// Per channel: factor > 0 moves towards white by trunc((255 - c) * factor), factor <= 0
// towards black by trunc(c * |factor|).
COLORREF Shade(COLORREF colour, double factor);
// Per channel from + trunc((to - from) * t).
COLORREF Blend(COLORREF from, COLORREF to, double t);
// Grows the rectangle by d on every side (d = -1 shrinks by one pixel).
void DeflateRectBy(RECT* rect, int d);
void OffsetRectBy(RECT* rect, int dx, int dy);

enum AlignFlags : int {
    kAlignHCenter = 0x00,
    kAlignLeft = 0x01,
    kAlignRight = 0x02,
    kAlignVCenter = 0x00,
    kAlignTop = 0x10,
    kAlignBottom = 0x20,
};
// point holds a box's width and height on entry and its top-left on return.
void AlignInRect(const RECT& bounds, int flags, POINT* point);

enum BorderStyle : int {
    kBorderNone = 0,
    kBorderSingleRaised = 1,
    kBorderRounded = 2,
    kBorderSunken = 3,
    kBorderRaised = 4,
    kBorderSingleSunken = 5,
};
// Draws the rings inside rect with the shade pairs; rect leaves as the interior.
void Draw3DFrame(HDC hdc, RECT* rect, int style, int depth, const ShadePair* pairs);

enum GlyphKind : int {
    kGlyphDown = 1,
    kGlyphUp = 2,
    kGlyphLeft = 3,
    kGlyphRight = 4,
    kGlyphBar = 5,
    kGlyphSquare = 8,
    kGlyphCircle = 9,
    kGlyphFastForward = 10,
    kGlyphRewind = 11,
    kGlyphPause = 12,
};
// A glyph of size s at (x, y) in the pen's colour.
void DrawGlyph(HDC hdc, POINT origin, int size, int kind, HPEN pen);

HFONT CreateToolkitFont(int height, const char* faceName, bool bold, bool italic, bool underline, bool strikeout,
                        BYTE pitchAndFamily, BYTE charset);
// Each destination pixel the mean of a 2x2 source block (24-bit bitmaps); 0 when the
// destination is smaller than half the source.
int DownsampleHalf(const MemoryBitmap* source, MemoryBitmap* destination);
void DrawAALine(HDC hdc, int x0, int y0, int x1, int y1, COLORREF colour, COLORREF background);
// Plots the pixel at the packed 16.16 point when |distance| < 1, blended towards background.
void PlotBlended(HDC hdc, uint32_t packedPoint, double distance, COLORREF colour, COLORREF background);

// Null-terminated lists of components.
void EqualizeSizes(int sameWidth, int sameHeight, ...);
void AlignComponents(int flags, Component* reference, ...);
// Releases the old pairs' pens and fills count new ones for the face colour and contrast.
void BuildShadePairs(ShadePair* pairs, int oldCount, COLORREF face, int count, int contrast);
