#include "toolkit/scroll_bar.h"

#include <initializer_list>

#include "toolkit/drawing.h"
#include "toolkit/saturating.h"

namespace {

constexpr DWORD kArrowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr DWORD kThumbStyle = kArrowStyle | WS_TABSTOP;

// a * b / c, truncating, for a pixel count a: exact while the product fits in 64 bits,
// through 80-bit floating point beyond (ranges near the 64-bit ends).
int64_t ScaleBy(int64_t a, int64_t b, int64_t c) {
    int64_t product;
    if (!__builtin_mul_overflow(a, b, &product)) return product / c;
    return static_cast<int64_t>(static_cast<long double>(a) * static_cast<long double>(b) /
                                static_cast<long double>(c));
}

// Ranges near the 64-bit ends span at most the largest value.
int64_t Span(int64_t minimum, int64_t maximum) { return SaturatingSub(maximum, minimum); }

}  // namespace

ScrollBar::ScrollBar(HWND parent, int orientation, int x, int y, int width, int height, int align)
    : Panel("", parent, x, y, width, height, kStyle, 0), m_orientation(orientation) {
    SetType(kTagScrollBar);
    RECT c;
    GetClientRect(&c);
    int s = c.right - c.left < c.bottom - c.top ? c.right - c.left : c.bottom - c.top;
    if (s < 0) s = 0;
    HWND h = GetHandle();
    if (IsVertical()) {
        m_first = new Button("", h, c.left, c.top, s, s, kArrowStyle);
        m_second = new Button("", h, c.left, c.bottom - s, s, s, kArrowStyle);
        m_thumb = new Button("", h, c.left, c.top + s, s, s, kThumbStyle);
    } else {
        m_first = new Button("", h, c.left, c.top, s, s, kArrowStyle);
        m_second = new Button("", h, c.right - s, c.top, s, s, kArrowStyle);
        m_thumb = new Button("", h, c.left + s, c.top, s, s, kThumbStyle);
    }
    for (Button* arrow : {m_first, m_second}) {
        if (!arrow) continue;
        arrow->SetShowFocus(false);
        arrow->OnRepeat.Bind(this, &ScrollBar::HandleArrowRepeat);
    }
    if (m_first) {
        m_first->SetAlign(IsVertical() ? kAlignTopLate : kAlignLeftDock);
        m_first->SetGlyph(IsVertical() ? kGlyphUp : kGlyphLeft);
    }
    if (m_second) {
        m_second->SetAlign(IsVertical() ? kAlignBottomLate : kAlignRightDock);
        m_second->SetGlyph(IsVertical() ? kGlyphDown : kGlyphRight);
    }
    if (m_thumb) {
        m_thumb->SetClickable(false);  // no pressed look, no click
        m_thumb->OnMouseMove.Bind(this, &ScrollBar::HandleThumbMouseMove);
        m_thumb->OnKeyDown.Bind(this, &ScrollBar::HandleThumbKeyDown);
    }
    SetParams(0, 100, 10, 0);
    SetAlign(align);
    SetBorderStyle(kBorderSunken);
}

ScrollBar::~ScrollBar() { KillTimer(kPageTimer); }

void ScrollBar::SetParams(int64_t minimum, int64_t maximum, int64_t page, int64_t position) {
    if (maximum < minimum) maximum = minimum;
    if (page > Span(minimum, maximum)) page = Span(minimum, maximum);
    if (page < 0) page = 0;
    if (position < minimum) position = minimum;
    if (position > maximum - page) position = maximum - page;
    m_min = minimum;
    m_max = maximum;
    m_page = page;
    m_pos = position;
    UpdateThumb();
}

void ScrollBar::SetPos(int64_t position) {
    if (position < m_min) position = m_min;
    if (position > m_max - m_page) position = m_max - m_page;
    if (position == m_pos) return;
    m_pos = position;
    UpdateThumb();
    DoOnScroll();
}

void ScrollBar::SetPage(int64_t page) {
    if (page > Span(m_min, m_max)) page = Span(m_min, m_max);
    if (page < 0) page = 0;
    m_page = page;
    if (m_pos <= m_max - page)
        UpdateThumb();
    else
        SetPos(m_max - page);
}

void ScrollBar::DoOnScroll() { OnScroll.Invoke(this); }

void ScrollBar::SetMinThumbSize(unsigned pixels) {
    m_minThumb = pixels;
    UpdateThumb();
}

void ScrollBar::UpdateThumb() {
    if (!m_first || !m_second || !m_thumb) return;
    const int64_t span = Span(m_min, m_max);
    RECT c;
    GetClientRect(&c);
    const int cw = c.right - c.left, ch = c.bottom - c.top;
    int s = cw < ch ? cw : ch;
    if (s < 0) s = 0;
    for (Button* arrow : {m_first, m_second})
        if (arrow->Width() != s || arrow->Height() != s) arrow->SetSize(s, s);
    if (IsVertical()) {
        if (m_thumb->Width() != s) m_thumb->SetSize(s, -1);
    } else if (m_thumb->Height() != s) {
        m_thumb->SetSize(-1, s);
    }
    // Everything visible (an empty range too): nothing to scroll, and no division below.
    if (m_page == span || !IsEnabled()) {
        m_thumb->Show(false);
        m_first->Enable(false);
        m_second->Enable(false);
        return;
    }
    m_first->Enable(true);
    m_second->Enable(true);
    m_thumb->Show(true);
    const int track = (IsVertical() ? ch : cw) - Along(m_first) - Along(m_second);
    int64_t length = ScaleBy(track, m_page, span);
    if (length < 2 * GetBevelDepth()) length = 2 * GetBevelDepth();
    if (length < static_cast<int64_t>(m_minThumb)) length = m_minThumb;
    const int64_t offset = ScaleBy(track - length, m_pos - m_min, span - m_page);
    const int start = static_cast<int>(Along(m_first) + (IsVertical() ? c.top : c.left) + offset);
    const int len = static_cast<int>(length);
    if (Along(m_thumb) != len) m_thumb->SetSize(IsVertical() ? -1 : len, IsVertical() ? len : -1);
    if ((IsVertical() ? m_thumb->Top() : m_thumb->GetLeft()) != start)
        m_thumb->Move(IsVertical() ? c.left : start, IsVertical() ? start : c.top);
}

void ScrollBar::FocusAfterClick() {
    if (m_thumb && IsTabStop())
        ::SetFocus(m_thumb->GetHandle());
    else if (HWND parent = ::GetParent(GetHandle()))
        ::SetFocus(parent);
}

void ScrollBar::HandleArrowRepeat(Object* sender) {
    if (sender == m_first)
        SetPos(SaturatingAdd(m_pos, -m_step));
    else
        SetPos(SaturatingAdd(m_pos, m_step));
    FocusAfterClick();
}

void ScrollBar::DoOnLButtonDown(int keys, int x, int y) {
    Panel::DoOnLButtonDown(keys, x, y);
    FocusAfterClick();
    m_track = POINT{x, y};
    SetTimer(kPageTimer, kPageDelayMs);
    PageStep();
}

void ScrollBar::DoOnLButtonUp(int keys, int x, int y) {
    KillTimer(kPageTimer);
    Panel::DoOnLButtonUp(keys, x, y);
}

void ScrollBar::DoOnMouseMove(int keys, int x, int y) {
    if (keys & MK_LBUTTON) m_track = POINT{x, y};
    Panel::DoOnMouseMove(keys, x, y);
}

void ScrollBar::DoOnTimer(UINT_PTR id) {
    if (id != kPageTimer) {
        Panel::DoOnTimer(id);
        return;
    }
    KillTimer(kPageTimer);
    if (::GetCapture() == GetHandle()) SetTimer(kPageTimer, kPageRepeatMs);
    PageStep();
}

// One page towards the track point; none once the thumb covers it.
void ScrollBar::PageStep() {
    if (!m_thumb) return;
    const int point = IsVertical() ? m_track.y : m_track.x;
    const int start = IsVertical() ? m_thumb->Top() : m_thumb->GetLeft();
    int64_t delta = 0;
    if (point < start)
        delta = -m_page;
    else if (point > start + Along(m_thumb))
        delta = m_page;
    SetPos(SaturatingAdd(m_pos, delta));
}

void ScrollBar::HandleThumbMouseMove(Object*, int keys, int x, int y) {
    if (!(keys & MK_LBUTTON)) {
        m_grab = POINT{x, y};
        return;
    }
    const int delta = IsVertical() ? y - m_grab.y : x - m_grab.x;
    RECT c;
    GetClientRect(&c);
    int track = (IsVertical() ? c.bottom - c.top : c.right - c.left) - 2 * Along(m_first) - Along(m_thumb);
    if (track == 0) track = 1;
    int64_t d = ScaleBy(delta, Span(m_min, m_max) - m_page, track);
    // Onto the grid of the step; a step of 0 has no grid.
    const int64_t a = m_step < 0 ? -m_step : m_step;
    if (a > 1) d = SaturatingAdd(d, a - 1) / a * a;
    if (m_step < 0) d = -d;
    SetPos(SaturatingAdd(m_pos, d));
}

void ScrollBar::HandleThumbKeyDown(Object*, int key, LPARAM) {
    switch (key) {
    case VK_LEFT:
    case VK_UP: SetPos(SaturatingAdd(m_pos, -1)); break;
    case VK_RIGHT:
    case VK_DOWN: SetPos(SaturatingAdd(m_pos, 1)); break;
    case VK_NEXT: SetPos(SaturatingAdd(m_pos, m_page)); break;
    case VK_PRIOR: SetPos(SaturatingAdd(m_pos, -m_page)); break;
    default: break;
    }
}

void ScrollBar::SetTextColor(COLORREF colour) {
    Component::SetTextColor(colour);
    for (Button* arrow : {m_first, m_second}) {
        if (!arrow) continue;
        arrow->SetGlyphColor(colour);
        arrow->SetDownGlyphColor(colour);
    }
}

void ScrollBar::SetBevelDepth(int depth) {
    Component::SetBevelDepth(depth);
    UpdateThumb();
}

LRESULT ScrollBar::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = Panel::WndProc(msg, wParam, lParam);
    if (msg == WM_SIZE || msg == WM_ENABLE || msg == WM_TK_ENABLE) UpdateThumb();
    return result;
}

void ScrollBar::DoOnResize() {}  // the layout follows WM_SIZE

void ScrollBar::CreateBackBuffer(bool on) {
    Component::CreateBackBuffer(on);
    for (Button* b : {m_first, m_second, m_thumb})
        if (b) b->CreateBackBuffer(on);
}

void ScrollBar::SetSunkenUsesBackColor(bool on) {
    Panel::SetSunkenUsesBackColor(on);
    for (Button* b : {m_first, m_second, m_thumb})
        if (b) b->SetSunkenUsesBackColor(on);
}

// The thumb goes back into the new client area across the bar before the relayout.
void ScrollBar::SetBorderStyle(int style) {
    Panel::SetBorderStyle(style);
    Layout();
    if (m_thumb) {
        RECT c;
        GetClientRect(&c);
        if (IsVertical())
            SetWindowPos(m_thumb->GetHandle(), nullptr, c.left, m_thumb->Top(), c.right - c.left, m_thumb->Height(),
                         SWP_NOZORDER | SWP_NOACTIVATE);
        else
            SetWindowPos(m_thumb->GetHandle(), nullptr, m_thumb->GetLeft(), c.top, m_thumb->Width(), c.bottom - c.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
    }
    UpdateThumb();
}

void ScrollBar::SetTabStop(bool on) {
    if (!m_thumb) return;
    DWORD style = m_thumb->GetStyle();
    m_thumb->SetStyle(on ? style | WS_TABSTOP : style & ~static_cast<DWORD>(WS_TABSTOP));
}

bool ScrollBar::IsTabStop() const { return m_thumb && (m_thumb->GetStyle() & WS_TABSTOP) != 0; }
