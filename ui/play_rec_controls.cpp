#include "ui/play_rec_controls.h"

#include <cstdlib>

#include "toolkit/drawing.h"

CFilePosBar::CFilePosBar(HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle)
    : Panel("", parent, x, y, width, height, style, exStyle) {}

int CFilePosBar::Length() {
    RECT r;
    GetClientRect(&r);
    return m_vertical ? r.bottom - r.top : r.right - r.left;
}

void CFilePosBar::SetPos(uint32_t value) {
    if (m_start < m_end) {
        if (value < m_start) value = m_start;
        if (value > m_end) value = m_end;
    } else {
        if (value < m_end) value = m_end;
        if (value > m_start) value = m_start;
    }
    if (value == m_position) return;
    m_position = value;
    UpdateFill();
    OnPosChange.Invoke(this, m_position);
}

void CFilePosBar::SetVertical(bool on) {
    m_vertical = on;
    m_fill = 0;
    UpdateFill();
}

void CFilePosBar::UpdateFill() {
    const uint32_t span = m_start < m_end ? m_end - m_start : m_start - m_end;
    if (span == 0) return;
    const int fill = static_cast<int>(static_cast<double>(m_position) / span * Length());
    if (fill == m_fill) return;
    m_fill = fill;
    Invalidate();
}

void CFilePosBar::OnMouseDrag(int p) {
    const uint32_t span = m_start < m_end ? m_end - m_start : m_start - m_end;
    if (span == 0) return;
    RECT r;
    GetClientRect(&r);
    const bool forward = m_start < m_end;
    int offset = m_vertical ? (forward ? p - r.top : r.bottom - p) : (forward ? p - r.left : r.right - p);
    if (offset < 0) offset = 0;
    const int length = Length();
    if (length <= 0) return;
    // Beyond the far end the value may pass 32 bits: clamp before converting.
    double value = m_start + static_cast<double>(span) / length * offset;
    if (value > 4294967295.0) value = 4294967295.0;
    SetPos(static_cast<uint32_t>(value));
}

void CFilePosBar::DoOnLButtonDown(int keys, int x, int y) {
    Panel::DoOnLButtonDown(keys, x, y);
    m_captured = true;
    ::SetCapture(GetHandle());
    OnMouseDrag(m_vertical ? y : x);
}

void CFilePosBar::DoOnMouseMove(int keys, int x, int y) {
    Panel::DoOnMouseMove(keys, x, y);
    if (m_captured) OnMouseDrag(m_vertical ? y : x);
}

void CFilePosBar::DoOnLButtonUp(int keys, int x, int y) {
    Panel::DoOnLButtonUp(keys, x, y);
    m_captured = false;
    ::ReleaseCapture();
}

LRESULT CFilePosBar::DoOnPaint(HDC hdc) {
    Component::DoOnPaint(hdc);
    const RECT full{0, 0, Width(), Height()};
    DrawFrame(hdc, full);
    DrawBackground(hdc, full);
    const bool enabled = IsEnabled();
    if (m_fill == 0 && enabled) return 0;
    RECT r;
    GetClientRect(&r);
    const bool forward = m_start < m_end;
    RECT filled = r, rest = r;
    if (m_vertical) {
        if (forward)
            filled.bottom = rest.top = r.top + m_fill;
        else
            filled.top = rest.bottom = r.bottom - m_fill;
    } else {
        if (forward)
            filled.right = rest.left = r.left + m_fill;
        else
            filled.left = rest.right = r.right - m_fill;
    }
    HBRUSH brush = CreateSolidBrush(enabled ? GetTextColor() : GetDisabledTextColor());
    if (brush) {
        FillRect(hdc, &filled, brush);
        DeleteObject(brush);
    }
    if (!enabled) {
        HBRUSH bar = CreateSolidBrush(m_barColour);
        if (bar) {
            FillRect(hdc, &rest, bar);
            DeleteObject(bar);
        }
    }
    return 0;
}

CPlayRecFileList::CPlayRecFileList(HWND parent, int x, int y, int width, int height, int kind, bool withItems)
    : Listbox(parent, x, y, width, height, kind, withItems) {
    SetStyle((GetStyle() & ~WS_CHILD) | WS_POPUP);
    // The style alone leaves it a child in the window tree: make it a top-level window that
    // the parent owns, placed in screen coordinates.
    ::SetParent(GetHandle(), nullptr);
    SetWindowLongPtrA(GetHandle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(parent));
    // A close hides it (the toolkit's default); the panel learns of it through the focus loss.
}

CPlayRecFileList::~CPlayRecFileList() {
    if (m_ownerSlot) *m_ownerSlot = nullptr;
}

void CPlayRecFileList::DoOnFocus(bool gained) {
    if (!gained) OnFocusLost.Invoke(this);
    Listbox::DoOnFocus(gained);
}
