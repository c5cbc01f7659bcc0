// Windows tests of widgets: mouse and key input sent straight to a window (no real devices,
// so nothing depends on the pointer or the focus of the test machine), a record of raised
// Events, and the toolkit's step message taken from a queue.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

class Object;

inline void MouseDown(HWND h, int x, int y) { SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
inline void MouseMove(HWND h, int x, int y) { SendMessageA(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y)); }
inline void MouseUp(HWND h, int x, int y) { SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }
inline void Click(HWND h, int x = 2, int y = 2) {
    MouseDown(h, x, y);
    MouseUp(h, x, y);
}
// The same, queued: for windows that run their own loop (modal dialogs, menus).
inline void PostClick(HWND h, int x = 2, int y = 2) {
    PostMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}
inline void Key(HWND h, int key, bool down) { SendMessageA(h, down ? WM_KEYDOWN : WM_KEYUP, key, 0); }

// Counts the raisings of an Event without arguments, or records the int argument of one.
struct EventLog {
    size_t count = 0;
    std::vector<int> values;
    void Raised(Object*) { ++count; }
    void Value(Object*, int v) { values.push_back(v); }
    size_t Count() const { return count + values.size(); }
};

// Removes every queued step message (WM_APP+9) for the window; their steps summed, and how many.
inline int TakeSteps(HWND h, int* messages = nullptr) {
    MSG m;
    int sum = 0, n = 0;
    while (PeekMessageA(&m, h, WM_APP + 9, WM_APP + 9, PM_REMOVE)) {
        sum += static_cast<int16_t>(HIWORD(m.wParam));
        ++n;
    }
    if (messages) *messages = n;
    return sum;
}
