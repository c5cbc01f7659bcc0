#include "toolkit/tooltip.h"

#include <commctrl.h>

#include "toolkit/application.h"
#include "toolkit/component.h"

namespace {

WNDPROC g_baseProc = nullptr;  // the tooltip class's own procedure

// The application keeps the window for the session: a close sent to it is ignored.
LRESULT CALLBACK KeptTooltipProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) return 0;
    return CallWindowProcA(g_baseProc, window, msg, wParam, lParam);
}

bool OnThisThread(HWND window) { return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId(); }

}  // namespace

Tooltip::~Tooltip() { Destroy(); }

void Tooltip::Destroy() {
    HWND window = m_window;
    m_window = nullptr;
    if (!window || !IsWindow(window)) return;
    if (OnThisThread(window))
        DestroyWindow(window);
    else  // nothing of this module may stay in a window that can outlive it
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_baseProc));
}

// Made on first use rather than at module load: window creation does not belong in the
// loader's context.
HWND Tooltip::GetHandle() {
    if (m_window && IsWindow(m_window) && OnThisThread(m_window)) return m_window;
    Destroy();
    INITCOMMONCONTROLSEX init = {sizeof init, 0xFF};
    InitCommonControlsEx(&init);
    m_window = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                               GetApplication()->GetInstance(), nullptr);
    if (!m_window) return nullptr;
    g_baseProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KeptTooltipProc)));
    SetWindowPos(m_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return m_window;
}

void Tooltip::FillTool(TOOLINFOA* info, Component* component) {
    *info = TOOLINFOA();
    info->cbSize = TTTOOLINFOA_V1_SIZE;
    info->hwnd = component->GetHandle();
    info->uId = reinterpret_cast<UINT_PTR>(component->GetHandle());
    info->hinst = GetApplication()->GetInstance();
}

void Tooltip::AddTool(Component* component, UINT flags) {
    HWND tip = GetHandle();
    if (!tip) return;
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, 1024);
    TOOLINFOA info;
    FillTool(&info, component);
    info.uFlags = flags;
    static char empty[] = "";
    info.lpszText = (flags & TTF_TRACK) ? LPSTR_TEXTCALLBACKA : empty;
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

void Tooltip::SetText(Component* component, const char* text) {
    HWND tip = GetHandle();
    TOOLINFOA info;
    FillTool(&info, component);
    if (!SendMessageA(tip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&info)))
        AddTool(component, TTF_IDISHWND | TTF_SUBCLASS);
    FillTool(&info, component);
    info.lpszText = const_cast<char*>(text);
    SendMessageA(tip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
}

void Tooltip::GetText(Component* component, char* buffer) {
    TOOLINFOA info;
    FillTool(&info, component);
    info.lpszText = buffer;
    SendMessageA(GetHandle(), TTM_GETTEXTA, 0, reinterpret_cast<LPARAM>(&info));
}

void Tooltip::Activate(bool on) { SendMessageA(GetHandle(), TTM_ACTIVATE, on, 0); }
void Tooltip::SetAutoPopDelay(int ms) { SendMessageA(GetHandle(), TTM_SETDELAYTIME, TTDT_AUTOPOP, ms); }
void Tooltip::SetInitialDelay(int ms) { SendMessageA(GetHandle(), TTM_SETDELAYTIME, TTDT_INITIAL, ms); }
