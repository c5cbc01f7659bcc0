// Probes for tests of composed windows (Windows only, header only): finding the controls of a
// window by kind, caption and place, clicking and typing into them by messages (no real
// devices, so nothing depends on the pointer or on other windows of the test machine), reading
// the colours a control paints, and recording every call a window makes into the host.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "plugin/host_call_record.h"
#include "toolkit/application.h"
#include "toolkit/bitmap.h"
#include "toolkit/component.h"

namespace window_probe {

inline void Pump() { GetApplication()->ProcessMessages(); }

// A left click in the middle of the control, through its own mouse handling.
inline void Click(Component* c) {
    LPARAM at = MAKELPARAM(c->Width() / 2, c->Height() / 2);
    SendMessageA(c->GetHandle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(c->GetHandle(), WM_LBUTTONUP, 0, at);
    Pump();
}

// Typed text: one WM_CHAR per character, as TranslateMessage makes them.
inline void Type(HWND window, const char* text) {
    for (; *text; ++text) SendMessageA(window, WM_CHAR, static_cast<unsigned char>(*text), 1);
    Pump();
}

inline void PressKey(HWND window, int key) {
    SendMessageA(window, WM_KEYDOWN, key, 1);
    SendMessageA(window, WM_KEYUP, key, 0xC0000001);
}

// Number of pixels of exactly this colour in the rectangle of a 24-bit bitmap.
inline int CountColour(const MemoryBitmap& bitmap, COLORREF colour, RECT r) {
    int n = 0;
    for (LONG y = r.top; y < r.bottom; ++y) {
        const uint8_t* row = bitmap.GetRow(static_cast<uint32_t>(y));
        for (LONG x = r.left; row && x < r.right; ++x) {
            const uint8_t* p = row + x * 3;
            n += static_cast<COLORREF>(p[2] | (p[1] << 8) | (p[0] << 16)) == colour;
        }
    }
    return n;
}

// Every descendant of root (depth first) for which keep is true, ordered top to bottom and
// then left to right on the screen.
inline std::vector<Component*> Find(Component* root, const std::function<bool(Component*)>& keep) {
    std::vector<Component*> found;
    std::function<void(Component*)> walk = [&](Component* parent) {
        Component* first = parent->GetFirstChild();
        Component* c = first;
        while (c) {
            if (keep(c)) found.push_back(c);
            walk(c);
            c = static_cast<Component*>(c->NextSibling());
            if (c == first) break;
        }
    };
    walk(root);
    std::stable_sort(found.begin(), found.end(), [](Component* a, Component* b) {
        POINT pa = a->GetScreenPos(), pb = b->GetScreenPos();
        return pa.y != pb.y ? pa.y < pb.y : pa.x < pb.x;
    });
    return found;
}

inline std::string TextOf(Component* c) { return c ? c->GetText().CStr() : std::string(); }

// The first control of that type tag and caption; null when there is none.
template <class T>
T* FindByText(Component* root, uint32_t tag, const char* text) {
    auto all = Find(root, [&](Component* c) { return c->GetType() == tag && TextOf(c) == text; });
    return all.empty() ? nullptr : static_cast<T*>(all.front());
}

inline std::vector<Component*> FindBySize(Component* root, uint32_t tag, int width, int height) {
    return Find(root,
                [&](Component* c) { return c->GetType() == tag && c->Width() == width && c->Height() == height; });
}

// The colour the control paints at its centre (its own WM_PAINT into a DIB).
inline COLORREF CentreColour(Component* c) {
    DibBitmap dib(static_cast<uint32_t>(c->Width()), static_cast<uint32_t>(c->Height()));
    SendMessageA(c->GetHandle(), WM_PAINT, reinterpret_cast<WPARAM>(dib.GetDC()), 0);
    const uint8_t* p = dib.GetRow(static_cast<uint32_t>(c->Height() / 2)) + (c->Width() / 2) * 3;
    return static_cast<COLORREF>(p[2] | (p[1] << 8) | (p[0] << 16));
}

// One call into the host as the window made it, with a copy of its data.
struct HostCall {
    uint32_t msg, dwParam, cbData, scan, size;
    int direct;
    bool hasRecord;
    std::vector<uint8_t> data;
};

struct HostCallLog {
    std::vector<HostCall> calls;
    void OnCall(Object*, HostCallRecord* r, uint32_t size, int direct) {
        HostCall c{0, 0, 0, 0, size, direct, r != nullptr, {}};
        if (r) {
            c.msg = r->msg, c.dwParam = r->dwParam, c.cbData = r->cbData, c.scan = r->scanFlag;
            if (r->lpData)
                c.data.assign(static_cast<uint8_t*>(r->lpData), static_cast<uint8_t*>(r->lpData) + r->cbData);
        }
        calls.push_back(c);
    }
};

}  // namespace window_probe
