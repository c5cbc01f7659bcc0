// A top-level window to hold the panel under test, and a wait that pumps messages until a
// condition holds (for the folder watch, whose timer and the file system set the pace).
#pragma once

#include <windows.h>

#include <functional>

#include "tests/support/window_probe.h"
#include "toolkit/panel.h"

struct PanelHost {
    Panel* window = new Panel("host", nullptr, 40, 40, 480, 320, WS_POPUP | WS_VISIBLE, 0);
    ~PanelHost() { delete window; }
    HWND Handle() const { return window->GetHandle(); }
};

inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 15000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > limitMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        window_probe::Pump();
    }
    return true;
}
