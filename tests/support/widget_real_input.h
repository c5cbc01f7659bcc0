// Windows tests of widgets, beside widget_input.h: real mouse input through the system's input
// queue (hit testing, capture, activation and focus as a user's click gets them), typed
// characters, and ink counts read from a 24-bit DIB.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/application.h"
#include "toolkit/bitmap.h"

namespace widget_test {

inline void PumpAll() { GetApplication()->ProcessMessages(); }

// Moves the real cursor to the client point of the window and presses and releases the given
// button there, as a user would; the system does the hit testing, capture and focus.
inline void MouseAt(HWND window, int x, int y, DWORD downFlag, DWORD upFlag) {
    POINT p = {x, y};
    ClientToScreen(window, &p);
    SetCursorPos(p.x, p.y);
    PumpAll();
    INPUT in[2] = {};
    for (INPUT& i : in) i.type = INPUT_MOUSE;
    in[0].mi.dwFlags = downFlag;
    in[1].mi.dwFlags = upFlag;
    if (downFlag) SendInput(1, &in[0], sizeof(INPUT));
    PumpAll();
    if (upFlag) SendInput(1, &in[1], sizeof(INPUT));
    PumpAll();
}
inline void ClickAt(HWND window, int x, int y) { MouseAt(window, x, y, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP); }
inline void PressAt(HWND window, int x, int y) { MouseAt(window, x, y, MOUSEEVENTF_LEFTDOWN, 0); }
inline void ReleaseAt(HWND window, int x, int y) { MouseAt(window, x, y, 0, MOUSEEVENTF_LEFTUP); }
inline void MoveTo(HWND window, int x, int y) { MouseAt(window, x, y, 0, 0); }

// Typed text: one WM_CHAR per character, as TranslateMessage makes them.
inline void Type(HWND window, const char* text) {
    for (; *text; ++text) SendMessageA(window, WM_CHAR, static_cast<unsigned char>(*text), 1);
}

// Number of pixels of exactly this colour in the rectangle of the bitmap.
inline int CountColour(const MemoryBitmap& bitmap, COLORREF colour, RECT r) {
    int n = 0;
    for (LONG y = r.top; y < r.bottom; ++y) {
        const uint8_t* row = bitmap.GetRow(static_cast<uint32_t>(y));
        for (LONG x = r.left; row && x < r.right; ++x) {
            const uint8_t* p = row + x * 3;
            if (static_cast<COLORREF>(p[2] | (p[1] << 8) | (p[0] << 16)) == colour) ++n;
        }
    }
    return n;
}

}  // namespace widget_test
