// Windows tests of widgets, beside widget_input.h: real mouse input through the system's input
// queue (hit testing, capture, activation and focus as a user's click gets them), typed
// characters, and ink counts read from a 24-bit DIB.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/application.h"
#include "toolkit/bitmap.h"

// Moves the cursor to the window's client point, then presses and/or releases the left button.
inline void RealMouse(HWND window, int x, int y, bool press, bool release) {
    POINT p = {x, y};
    ClientToScreen(window, &p);
    SetCursorPos(p.x, p.y);
    GetApplication()->ProcessMessages();
    for (DWORD flag : {press ? MOUSEEVENTF_LEFTDOWN : 0u, release ? MOUSEEVENTF_LEFTUP : 0u}) {
        if (!flag) continue;
        INPUT in = {};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = flag;
        SendInput(1, &in, sizeof in);
        GetApplication()->ProcessMessages();
    }
}
inline void RealClick(HWND window, int x, int y) { RealMouse(window, x, y, true, true); }

// One WM_CHAR per character, as TranslateMessage makes them.
inline void Type(HWND window, const char* text) {
    for (; *text; ++text) SendMessageA(window, WM_CHAR, static_cast<unsigned char>(*text), 1);
}

// Pixels of exactly this colour in the rectangle.
inline int CountColour(const MemoryBitmap& bitmap, COLORREF colour, RECT r) {
    int n = 0;
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x) {
            const uint8_t* p = bitmap.GetRow(static_cast<uint32_t>(y)) + x * 3;
            n += static_cast<COLORREF>(p[2] | (p[1] << 8) | (p[0] << 16)) == colour;
        }
    return n;
}
