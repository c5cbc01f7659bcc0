// The toolkit's one shared tooltip window ("tooltips_class32"), made on first use.
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
    // Destroys the window, which only its own thread can do; the next use makes a new one.
    void Destroy();
    // flags: TTF_ bits; with TTF_TRACK the text comes by callback.
    void AddTool(Component* component, UINT flags);
    void SetText(Component* component, const char* text);
    void GetText(Component* component, char* buffer);  // buffer of at least 80 characters
    void Activate(bool on);
    void SetAutoPopDelay(int ms);
    void SetInitialDelay(int ms);

private:
    void FillTool(TOOLINFOA* info, Component* component);
    HWND m_window = nullptr;
};
