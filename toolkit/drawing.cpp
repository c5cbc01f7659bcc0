#include "toolkit/drawing.h"

#include <cmath>
#include <cstdarg>
#include <cstdlib>

#include "toolkit/application.h"
#include "toolkit/bitmap.h"
#include "toolkit/component.h"

namespace {
int Channel(COLORREF c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }
COLORREF Pack(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
}  // namespace

COLORREF Shade(COLORREF colour, double factor) {
    int c[3];
    for (int i = 0; i < 3; ++i) {
        int v = Channel(colour, i * 8);
        c[i] = factor > 0 ? v + static_cast<int>((255 - v) * factor) : v - static_cast<int>(v * std::fabs(factor));
        c[i] = c[i] < 0 ? 0 : (c[i] > 255 ? 255 : c[i]);
    }
    return Pack(c[0], c[1], c[2]);
}

COLORREF Blend(COLORREF from, COLORREF to, double t) {
    int c[3];
    for (int i = 0; i < 3; ++i) {
        int a = Channel(from, i * 8), b = Channel(to, i * 8);
        c[i] = a + static_cast<int>((b - a) * t);
    }
    return Pack(c[0], c[1], c[2]);
}

void DeflateRectBy(RECT* rect, int d) {
    rect->left -= d;
    rect->top -= d;
    rect->right += d;
    rect->bottom += d;
}

void OffsetRectBy(RECT* rect, int dx, int dy) {
    rect->left += dx;
    rect->right += dx;
    rect->top += dy;
    rect->bottom += dy;
}

void AlignInRect(const RECT& bounds, int flags, POINT* point) {
    int width = point->x, height = point->y;
    switch (flags & 0x0F) {
    case 1: point->x = bounds.left; break;
    case 2: point->x = bounds.right - width; break;
    case 0: point->x = (bounds.right - bounds.left - width) / 2 + bounds.left; break;
    default: break;
    }
    switch (flags & 0xF0) {
    case 0x10: point->y = bounds.top; break;
    case 0x20: point->y = bounds.bottom - height; break;
    case 0x00: point->y = (bounds.bottom - bounds.top - height) / 2 + bounds.top; break;
    default: break;
    }
}

namespace {
void Ring(HDC hdc, const RECT& r, HPEN topLeft, HPEN bottomRight) {
    SelectObject(hdc, topLeft);
    MoveToEx(hdc, r.left, r.bottom, nullptr);
    LineTo(hdc, r.left, r.top);
    LineTo(hdc, r.right, r.top);
    SelectObject(hdc, bottomRight);
    LineTo(hdc, r.right, r.bottom);
    LineTo(hdc, r.left, r.bottom);
}
}  // namespace

void Draw3DFrame(HDC hdc, RECT* rect, int style, int depth, const ShadePair* pairs) {
    if (!pairs || depth <= 0 || style == kBorderNone) return;
    HGDIOBJ oldPen = GetCurrentObject(hdc, OBJ_PEN);
    rect->right -= 1;
    rect->bottom -= 1;
    switch (style) {
    case kBorderRaised:
        for (int i = 0; i < depth; ++i) {
            Ring(hdc, *rect, pairs[i].light, pairs[i].dark);
            DeflateRectBy(rect, -1);
        }
        break;
    case kBorderSunken:
        for (int i = 0; i < depth; ++i) {
            Ring(hdc, *rect, pairs[depth - 1 - i].dark, pairs[depth - 1 - i].light);
            DeflateRectBy(rect, -1);
        }
        break;
    case kBorderSingleRaised:
        Ring(hdc, *rect, pairs[0].light, pairs[0].dark);
        DeflateRectBy(rect, -1);
        break;
    case kBorderSingleSunken:
        Ring(hdc, *rect, pairs[0].dark, pairs[0].light);
        DeflateRectBy(rect, -1);
        break;
    case kBorderRounded: {
        HGDIOBJ oldBrush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
        SelectObject(hdc, pairs[0].light);
        RoundRect(hdc, rect->left, rect->top, rect->right, rect->bottom, 2 * depth, 2 * depth);
        SelectObject(hdc, pairs[0].dark);
        RoundRect(hdc, rect->left + 1, rect->top + 1, rect->right + 1, rect->bottom + 1, 2 * depth, 2 * depth);
        SelectObject(hdc, oldBrush);
        break;
    }
    default: break;
    }
    rect->right += 1;
    rect->bottom += 1;
    SelectObject(hdc, oldPen);
}

namespace {
void Line(HDC hdc, int x0, int y0, int x1, int y1) {
    MoveToEx(hdc, x0, y0, nullptr);
    LineTo(hdc, x1, y1);
}
}  // namespace

void DrawGlyph(HDC hdc, POINT origin, int s, int kind, HPEN pen) {
    if (s <= 0 || s >= (1 << 28)) return;
    int x = origin.x, y = origin.y, h = s / 2;
    HGDIOBJ oldPen = SelectObject(hdc, pen);
    switch (kind) {
    case kGlyphDown:
        for (int i = 0; i < s; ++i) Line(hdc, x + i / 2, y + i, x + s - i / 2, y + i);
        break;
    case kGlyphUp:
        for (int i = 0; i < s; ++i) Line(hdc, x + i / 2, y + s - 1 - i, x + s - i / 2, y + s - 1 - i);
        break;
    case kGlyphLeft:
        for (int i = 0; i < (s + 1) / 2; ++i) {
            Line(hdc, x + s - 1, y + i, x + s - 1 - 2 * i, y + i);
            Line(hdc, x + s - 1, y + s - 1 - i, x + s - 1 - 2 * i, y + s - 1 - i);
        }
        break;
    case kGlyphRight:
        for (int i = 0; i < (s + 1) / 2; ++i) {
            Line(hdc, x, y + i, x + 2 * i, y + i);
            Line(hdc, x, y + s - 1 - i, x + 2 * i, y + s - 1 - i);
        }
        break;
    case kGlyphBar:
        for (int i = 0; i < s / 3; ++i) Line(hdc, x, y + i, x + s, y + i);
        break;
    case kGlyphSquare:
        for (int i = 0; i < s; ++i) Line(hdc, x, y + i, x + s, y + i);
        break;
    case kGlyphCircle: {
        LOGPEN info = {};
        GetObjectA(pen, sizeof info, &info);
        HBRUSH brush = CreateSolidBrush(info.lopnColor);
        HGDIOBJ oldBrush = SelectObject(hdc, brush);
        Ellipse(hdc, x, y, x + (s & ~1) - 1, y + (s & ~1) - 1);
        SelectObject(hdc, oldBrush);
        DeleteObject(brush);
        break;
    }
    case kGlyphFastForward:
        for (int i = 0; i <= h; ++i) {
            Line(hdc, x + i, y + i, x + i, y + s - i);
            Line(hdc, x + h + i, y + i, x + h + i, y + s - i);
        }
        break;
    case kGlyphRewind:
        for (int i = 0; i <= h; ++i) {
            Line(hdc, x + i, y + h - i, x + i, y + h + i);
            Line(hdc, x + h + i, y + h - i, x + h + i, y + h + i);
        }
        break;
    case kGlyphPause:
        for (int i = 0; i <= s / 3; ++i) {
            Line(hdc, x + i, y, x + i, y + s);
            Line(hdc, x + s - 1 - i, y, x + s - 1 - i, y + s);
        }
        break;
    default: break;
    }
    SelectObject(hdc, oldPen);
}

HFONT CreateToolkitFont(int height, const char* faceName, bool bold, bool italic, bool underline, bool strikeout,
                        BYTE pitchAndFamily, BYTE charset) {
    return CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : 0, italic, underline, strikeout, charset, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, pitchAndFamily, faceName);
}

int DownsampleHalf(const MemoryBitmap* source, MemoryBitmap* destination) {
    uint32_t w = source->Width() / 2, h = source->Height() / 2;
    if (destination->Width() < w || destination->Height() < h) return 0;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* a = source->GetRow(2 * y);
        const uint8_t* b = source->GetRow(2 * y + 1);
        uint8_t* out = destination->GetRow(y);
        if (!a || !b || !out) return 0;
        for (uint32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                out[x * 3 + c] =
                    static_cast<uint8_t>((a[x * 6 + c] + a[x * 6 + 3 + c] + b[x * 6 + c] + b[x * 6 + 3 + c]) >> 2);
    }
    return 1;
}

void PlotBlended(HDC hdc, uint32_t packedPoint, double distance, COLORREF colour, COLORREF background) {
    double d = std::fabs(distance);
    if (d >= 1) return;
    int x = static_cast<int16_t>(packedPoint & 0xFFFF), y = static_cast<int16_t>(packedPoint >> 16);
    SetPixelV(hdc, x, y, Blend(colour, background, d));
}

void DrawAALine(HDC hdc, int x0, int y0, int x1, int y1, COLORREF colour, COLORREF background) {
    int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    if (dx == 0 && dy == 0) {
        SetPixelV(hdc, x0, y0, colour);
        return;
    }
    double D = 1.0 / (2.0 * std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy));
    bool xMajor = dx >= dy;
    int major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
    int d = 0;  // twice the signed offset of the ideal line from the pixel, in minor units
    int x = x0, y = y0;
    auto pack = [](int px, int py) {
        return static_cast<uint32_t>(px & 0xFFFF) | (static_cast<uint32_t>(py & 0xFFFF) << 16);
    };
    for (int i = 0; i <= major; ++i) {
        double twoMajor = 2.0 * major * D;
        PlotBlended(hdc, pack(x, y), d * D, colour, background);
        if (xMajor) {
            PlotBlended(hdc, pack(x, y + 1), twoMajor - d * D, colour, background);
            PlotBlended(hdc, pack(x, y - 1), twoMajor + d * D, colour, background);
        } else {
            PlotBlended(hdc, pack(x + 1, y), twoMajor - d * D, colour, background);
            PlotBlended(hdc, pack(x - 1, y), twoMajor + d * D, colour, background);
        }
        d += 2 * minor;
        if (d > major) {
            d -= 2 * major;
            if (xMajor)
                y += sy;
            else
                x += sx;
        }
        if (xMajor)
            x += sx;
        else
            y += sy;
    }
}

void EqualizeSizes(int sameWidth, int sameHeight, ...) {
    va_list args;
    int width = 0, height = 0;
    va_start(args, sameHeight);
    while (Component* c = va_arg(args, Component*)) {
        if (c->Width() > width) width = c->Width();
        if (c->Height() > height) height = c->Height();
    }
    va_end(args);
    va_start(args, sameHeight);
    while (Component* c = va_arg(args, Component*)) c->SetSize(sameWidth ? width : -1, sameHeight ? height : -1);
    va_end(args);
}

void AlignComponents(int flags, Component* reference, ...) {
    va_list args;
    va_start(args, reference);
    while (Component* c = va_arg(args, Component*)) {
        int x = c->GetLeft(), y = c->Top();
        switch (flags & 0x0F) {
        case 0: x = reference->GetLeft() + (reference->Width() - c->Width()) / 2; break;
        case 1: x = reference->GetLeft(); break;
        case 2: x = reference->Right() - c->Width(); break;
        case 3:
            x = reference->GetLeft();
            c->SetSize(reference->Width(), -1);
            break;
        default: break;
        }
        switch (flags & 0xF0) {
        case 0x00: y = reference->Top() + (reference->Height() - c->Height()) / 2; break;
        case 0x10: y = reference->Top(); break;
        case 0x20: y = reference->Bottom() - c->Height(); break;
        case 0x30:
            y = reference->Top();
            c->SetSize(-1, reference->Height());
            break;
        default: break;
        }
        c->Move(x, y);
    }
    va_end(args);
}

void BuildShadePairs(ShadePair* pairs, int oldCount, COLORREF face, int count, int contrast) {
    GraphicsResourceTracker& tracker = GetApplication()->GetTracker();
    for (int i = 0; i < oldCount; ++i) {
        tracker.ReleasePen(pairs[i].light);
        tracker.ReleasePen(pairs[i].dark);
    }
    for (int i = 0; i < count; ++i) {
        double f = static_cast<double>(count - i) * contrast / (count * 255.0);
        pairs[i].light = tracker.AcquirePen(Shade(face, f));
        pairs[i].dark = tracker.AcquirePen(Shade(face, -f));
    }
}
