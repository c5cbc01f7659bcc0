#include "toolkit/spin_control.h"

#include <cstdint>

namespace {
constexpr DWORD kControlStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP;
constexpr DWORD kDragStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP;
}  // namespace

SpinControl::SpinControl(HWND parent, int x, int y, int width, int height, int align, bool withDragPanel)
    : Component("", kControlStyle, 0, x, y, width, height, parent) {
    SetType(kTagSpinControl);
    m_up = new Button("", GetHandle(), 0, 0, width, 1, kButtonStyle);
    m_down = new Button("", GetHandle(), 0, 0, width, 1, kButtonStyle);
    HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
    m_up->SetCursor(hand);
    m_down->SetCursor(hand);
    m_up->OnRepeat.Bind(this, &SpinControl::OnButtonRepeat);
    m_down->OnRepeat.Bind(this, &SpinControl::OnButtonRepeat);
    if (withDragPanel) {
        m_drag = new Panel("", GetHandle(), 0, 0, width, 1, kDragStyle, 0);
        m_drag->SetCursor(LoadCursorA(nullptr, IDC_SIZENS));
        m_drag->SetStyle(m_drag->GetStyle() & ~WS_TABSTOP);
        m_drag->OnMouseDown.Bind(this, &SpinControl::OnDragStart);
        m_drag->OnMouseUp.Bind(this, &SpinControl::OnDragEnd);
        m_drag->OnMouseMove.Bind(this, &SpinControl::OnDragMove);
    }
    m_up->SetGlyph(kGlyphUp);
    m_down->SetGlyph(kGlyphDown);
    SetAlign(align);
    DoOnResize();
}

void SpinControl::SetBevelDepth(int depth) {
    Component::SetBevelDepth(depth);
    DoOnResize();
}

void SpinControl::DoOnResize() {
    Component::DoOnResize();
    UpdateBounds();
    const int gap = m_drag ? 2 * GetBevelDepth() - 1 : 0;
    const int h = (ClientHeight() - gap) / 2;
    Panel* parts[] = {m_up, m_down, m_drag};
    for (Panel* p : parts) {
        if (!p) continue;
        p->SetSunkenUsesBackColor(false);  // a pressed part keeps its face colour
        p->SetSize(ClientWidth(), p == m_drag ? ClientHeight() - 2 * h : h);
    }
    if (m_drag) m_drag->Move(0, h);
    m_down->Move(0, ClientHeight() - h);
}

void SpinControl::Step(int steps) {
    if (steps == 0) return;
    HWND receiver = m_target ? m_target : ::GetParent(GetHandle());
    MSG queued;
    while (receiver && PeekMessageA(&queued, receiver, WM_TK_WHEEL, WM_TK_WHEEL, PM_REMOVE))
        steps += static_cast<int16_t>(HIWORD(queued.wParam));
    PostMessageA(receiver, WM_TK_WHEEL, static_cast<WPARAM>(static_cast<uint32_t>(steps) << 16),
                 reinterpret_cast<LPARAM>(this));
    OnStep.Invoke(this, steps);
}

void SpinControl::OnButtonRepeat(Object* sender) { Step(sender == m_up ? 1 : -1); }

void SpinControl::SetGlyphColor(COLORREF colour) {
    m_up->SetGlyphColor(colour);
    m_down->SetGlyphColor(colour);
}

void SpinControl::SetTabStop(bool on) {
    Component* parts[] = {this, m_up, m_down};
    for (Component* c : parts) c->SetStyle(on ? c->GetStyle() | WS_TABSTOP : c->GetStyle() & ~WS_TABSTOP);
}

void SpinControl::OnDragStart(Object*, int, int, int y) {
    m_accumulated = 0;
    m_lastY = y;
    m_drag->SetBorderStyle(kBorderSunken);  // also marks the drag as running
}

void SpinControl::OnDragEnd(Object*, int, int, int) { m_drag->SetBorderStyle(kBorderRaised); }

void SpinControl::OnDragMove(Object*, int, int, int y) {
    if (m_drag->GetBorderStyle() != kBorderSunken) return;
    const int d = m_lastY - y;  // upwards is positive
    m_accumulated += d;
    m_lastY = y;
    Step(m_accumulated / m_pixelsPerStep);
    m_accumulated %= m_pixelsPerStep;

    // At the monitor's edge the cursor jumps to the opposite edge, so a drag runs on without end.
    POINT cursor;
    if (!GetCursorPos(&cursor)) return;
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &info)) return;
    const RECT& m = info.rcMonitor;
    int jumpTo;
    if (d >= 1 && cursor.y <= m.top)
        jumpTo = m.bottom - 1;
    else if (d < 0 && cursor.y == m.bottom - 1)
        jumpTo = m.top;
    else
        return;
    SetCursorPos(cursor.x, jumpTo);
    m_lastY = jumpTo - m_drag->GetScreenPos().y;
}
