// The toolkit's one shared tooltip window ("tooltips_class32"), made on first use on the
// thread that uses it, and made again when it is gone or belongs to another thread (a window
// of a thread that waits would block every call to it). A WM_CLOSE does not destroy it.
#pragma once

#include <windows.h>
#include <commctrl.h>

class Component;

class Tooltip {
public:
    Tooltip() = default;
    ~Tooltip();
    Tooltip(const Tooltip&) = delete;
    Tooltip& operator=(const Tooltip&) = delete;

    HWND GetHandle();  // creates the window when needed
    // Destroys the window; on another thread than its own it is only let go (given back its
    // own procedure). The next use makes a new one.
    void Destroy();
    // flags: TTF_ bits; with TTF_TRACK the text comes by callback.
    void AddTool(Component* component, UINT flags);
    // Adds the component first (untracked) when the window does not know it (a new window).
    void SetText(Component* component, const char* text);
    void GetText(Component* component, char* buffer);  // buffer of at least 80 characters
    void Activate(bool on);
    void SetAutoPopDelay(int ms);
    void SetInitialDelay(int ms);

private:
    void FillTool(TOOLINFOA* info, Component* component);
    HWND m_window = nullptr;
};
