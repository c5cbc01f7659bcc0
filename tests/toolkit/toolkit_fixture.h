// Helpers for the toolkit tests: windows made and pumped on the test's own thread, a small
// independent model of the colour shading, and pixel reads from a 24-bit DIB.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdint>

#include "toolkit/application.h"
#include "toolkit/bitmap.h"
#include "toolkit/component.h"

inline void Pump() { GetApplication()->ProcessMessages(); }

inline Component* MakeTopLevel(int width = 300, int height = 200, DWORD style = WS_POPUP | WS_VISIBLE) {
    return new Component("test", style, 0, 40, 40, width, height, nullptr);
}

inline Component* MakeChild(Component* parent, int x, int y, int width, int height, DWORD style = WS_VISIBLE) {
    return new Component("", WS_CHILD | style, 0, x, y, width, height, parent->GetHandle());
}

// Double-precision model of the per-channel shade: towards white by (255 - c) * f, towards
// black by c * |f|, truncated.
inline COLORREF ModelShade(COLORREF colour, double f) {
    uint32_t out = 0;
    for (int i = 0; i < 3; ++i) {
        double c = (colour >> (8 * i)) & 0xFF;
        double v = f > 0 ? c + std::floor((255.0 - c) * f) : c - std::floor(c * -f);
        out |= static_cast<uint32_t>(v) << (8 * i);
    }
    return out;
}

inline COLORREF PixelAt(const MemoryBitmap& bitmap, uint32_t x, uint32_t y) {
    const uint8_t* row = bitmap.GetRow(y);
    const uint8_t* p = row + x * 3;
    return static_cast<COLORREF>(p[2] | (p[1] << 8) | (p[0] << 16));
}
