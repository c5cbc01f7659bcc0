#include "toolkit/button.h"

#include "toolkit/application.h"
#include "toolkit/drawing.h"

namespace {
GraphicsResourceTracker& Tracker() { return GetApplication()->GetTracker(); }
}  // namespace

Button::Button(const char* title, HWND parent, int x, int y, int width, int height, DWORD style)
    : Panel(title, parent, x, y, width, height, style, 0) {
    SetType(kTagButton);
    SetShowFocus(true);
    m_glyphColour = GetParent() ? GetParent()->GetTextColor() : 0;
    m_downGlyphColour = GetTextColor();
}

Button::~Button() {
    if (m_glyphPen) Tracker().ReleasePen(m_glyphPen);
}

void Button::SetDown(bool down) {
    if (down == m_down) return;
    if (m_group) {
        if (!down) {
            if (!UpdateGroup(0)) return;
        } else {
            m_down = true;
            DoOnDownChanged();
            UpdateGroup(1);
        }
    }
    if (down != m_down) {
        m_down = down;
        DoOnDownChanged();
    }
    UpdateBorder();
    Invalidate();
}

void Button::SetToggle(int group) {
    m_group = group;
    if (m_down) UpdateGroup(1);
}

void Button::SetAllowAllUp(bool on) {
    m_allowAllUp = on;
    Component* parent = GetParent();
    if (!parent || !m_group) return;
    for (Component* c = parent->GetNextChild(nullptr, false); c; c = parent->GetNextChild(c, false)) {
        if (c->GetType() != kTagButton) continue;
        Button* b = static_cast<Button*>(c);
        if (b->m_group == m_group) b->m_allowAllUp = on;
    }
}

int Button::UpdateGroup(int down) {
    if (m_allowAllUp && !down) return 1;
    int result = down;
    Component* parent = GetParent();
    if (!parent) return result;
    for (Component* c = parent->GetNextChild(nullptr, false); c; c = parent->GetNextChild(c, false)) {
        if (c == this || c->GetType() != kTagButton) continue;
        Button* b = static_cast<Button*>(c);
        if (b->m_group != m_group || !b->m_down) continue;
        if (down)
            b->SetDown(false);
        else
            result = 1;
    }
    return result;
}

void Button::ToggleStep() {
    if (m_down) {
        if (UpdateGroup(0)) {
            m_down = false;
            UpdateBorder();
            DoOnDownChanged();
        }
        return;
    }
    m_down = true;
    UpdateBorder();
    DoOnDownChanged();
    UpdateGroup(1);
}

void Button::UpdateBorder() { SetBorderStyle(Sunk() ? kBorderSunken : kBorderRaised); }

void Button::DoOnDownChanged() {
    if (m_linked) m_linked->Enable(m_down);
    OnDownChanged.Invoke(this);
}

void Button::DoOnClick() {
    Component* parent = GetParent();
    if (parent && m_modalResult) SendMessageA(parent->GetHandle(), WM_TK_ENDMODAL, m_modalResult, 0);
    OnClick.Invoke(this);
}

void Button::DoOnRepeat() { OnRepeat.Invoke(this); }

void Button::StopRepeat() {
    KillTimer(kRepeatDelayTimer);
    KillTimer(kRepeatTimer);
}

void Button::DoOnLButtonDown(int keys, int x, int y) {
    OnMouseDown.Invoke(this, keys, x, y);
    if (m_clickable) m_pressed = true;
    if (GetStyle() & WS_TABSTOP) ::SetFocus(GetHandle());
    UpdateBorder();
    SetTimer(kRepeatDelayTimer, kRepeatDelayMs);
    DoOnRepeat();
}

void Button::DoOnMouseMove(int keys, int x, int y) {
    OnMouseMove.Invoke(this, keys, x, y);
    if (!(keys & MK_LBUTTON) || ::GetCapture() != GetHandle()) return;
    RECT r;
    ::GetClientRect(GetHandle(), &r);
    POINT p = {x, y};
    if (!PtInRect(&r, p)) {
        m_pressed = false;
    } else {
        if (!m_pressed) Invalidate();
        if (m_clickable) m_pressed = true;
    }
    UpdateBorder();
}

void Button::DoOnLButtonUp(int keys, int x, int y) {
    OnMouseUp.Invoke(this, keys, x, y);
    RECT r;
    ::GetClientRect(GetHandle(), &r);
    POINT p = {x, y};
    // A release outside counts as having left the button, even without a move reported first.
    if (!PtInRect(&r, p)) m_pressed = false;
    StopRepeat();
    if (!m_pressed) {
        UpdateBorder();
        return;
    }
    m_pressed = false;
    if (m_group)
        ToggleStep();
    else
        UpdateBorder();
    DoOnClick();
}

void Button::DoOnTimer(UINT_PTR id) {
    OnTimer.Invoke(this, id);
    if (id == kRepeatDelayTimer) {
        KillTimer(kRepeatDelayTimer);
        SetTimer(kRepeatTimer, kRepeatPeriodMs);
    }
    if (id == kRepeatDelayTimer || id == kRepeatTimer) DoOnRepeat();
}

void Button::DoOnKeyDown(int key, LPARAM flags) {
    Panel::DoOnKeyDown(key, flags);
    if (key == VK_RETURN) {
        if (m_group) {
            ToggleStep();
            UpdateBorder();
        }
        DoOnClick();
    } else if (key == VK_SPACE) {
        if (!m_pressed) {
            if (m_clickable) m_pressed = true;
            UpdateBorder();
        }
        DoOnRepeat();
    }
}

void Button::DoOnKeyUp(int key, LPARAM flags) {
    Panel::DoOnKeyUp(key, flags);
    if (key != VK_SPACE || !m_pressed) return;
    if (m_group) ToggleStep();
    m_pressed = false;
    UpdateBorder();
    DoOnClick();
}

LRESULT Button::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETFOCUS || msg == WM_KILLFOCUS) {
        Invalidate();
        Update();
    }
    return Panel::WndProc(msg, wParam, lParam);
}

void Button::DrawCaption(HDC hdc, const RECT& rect, const char* text, int length) {
    RECT r = rect;
    if (Sunk()) OffsetRectBy(&r, 1, 1);
    Panel::DrawCaption(hdc, r, text, length);
    DrawFace(hdc, r);
}

void Button::DrawFocusBorder(HDC hdc, const RECT& rect) {
    RECT r = rect;
    if (Sunk()) OffsetRectBy(&r, 1, 1);
    Panel::DrawFocusBorder(hdc, r);
}

void Button::DrawFace(HDC hdc, const RECT& rect) {
    if (m_glyph == kGlyphNone) return;
    int size = m_glyphSize;
    if (size == 0) {
        RECT client;
        GetClientRect(&client);
        int w = client.right - client.left, h = client.bottom - client.top;
        size = w < h ? w : h;
    }
    if (size <= 0 || size >= (1 << 28)) return;
    RECT area = rect;
    if (m_glyph == kGlyphCross) {  // the cross's lines end on their last pixel
        area.right -= 1;
        area.bottom -= 1;
    }
    POINT at = {size, size};
    AlignInRect(area, m_glyphAlign, &at);
    at.x += m_glyphDx;
    at.y += m_glyphDy;
    HPEN temporary = nullptr;
    HPEN pen = m_glyphPen;
    if (!IsEnabled())
        pen = temporary = Tracker().AcquirePen(GetDisabledTextColor());
    else if (Sunk())
        pen = temporary = Tracker().AcquirePen(m_downGlyphColour);
    if (m_glyph == kGlyphCross) {
        HGDIOBJ old = SelectObject(hdc, pen);
        MoveToEx(hdc, at.x, at.y, nullptr);
        LineTo(hdc, at.x + size, at.y + size);
        MoveToEx(hdc, at.x, at.y + size, nullptr);
        LineTo(hdc, at.x + size, at.y);
        SelectObject(hdc, old);
    } else if (m_glyph == kGlyphCheckBox) {
        RECT r = {at.x, at.y, at.x + size, at.y + size};
        UINT state = DFCS_BUTTONCHECK | (m_down ? DFCS_CHECKED : 0) | (m_pressed ? DFCS_PUSHED : 0);
        DrawFrameControl(hdc, &r, DFC_BUTTON, state);
    } else {
        DrawGlyph(hdc, at, size, m_glyph, pen);
    }
    if (temporary) Tracker().ReleasePen(temporary);
}

void Button::SetGlyph(int kind) {
    m_glyph = kind;
    if (kind != kGlyphNone) {
        HPEN pen = Tracker().AcquirePen(m_glyphColour);
        if (m_glyphPen) Tracker().ReleasePen(m_glyphPen);
        m_glyphPen = pen;
    }
    if (kind == kGlyphCheckBox) {
        SetBevelDepth(1);
        SetShowFocus(false);
    }
    Invalidate();
}

void Button::SetGlyphColor(COLORREF colour) {
    m_glyphColour = colour;
    if (m_glyphPen) {
        HPEN pen = Tracker().AcquirePen(colour);
        Tracker().ReleasePen(m_glyphPen);
        m_glyphPen = pen;
    }
    Invalidate();
}

void Button::SetGlyphSize(int size) {
    m_glyphSize = size;
    Invalidate();
}

void Button::SetGlyphAlign(int align) {
    m_glyphAlign = align;
    Invalidate();
}

void Button::SetDownGlyphColor(COLORREF colour) {
    m_downGlyphColour = colour;
    Invalidate();
}

void Button::SetGlyphOffset(int dx, int dy) {
    m_glyphDx = dx;
    m_glyphDy = dy;
    Invalidate();
}

void Button::SetClickable(bool on) {
    m_clickable = on;
    Invalidate();
}

void Button::SetLinkedComponent(Component* component) {
    m_linked = component;
    if (m_linked) m_linked->Enable(m_down);
}
