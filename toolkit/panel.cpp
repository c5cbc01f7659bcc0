#include "toolkit/panel.h"

#include "toolkit/application.h"
#include "toolkit/bitmap.h"
#include "toolkit/drawing.h"

namespace {
HGDIOBJ SelectFontOf(HDC hdc, const StyledObject* object) {
    HFONT font = object->GetFont();
    if (!font || font == InheritFont()) return nullptr;
    return SelectObject(hdc, font);
}

// instance -1: the toolkit's own module.
HBITMAP LoadResourceBitmap(const char* resource, HINSTANCE instance) {
    if (instance == reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(-1))) instance = GetApplication()->GetInstance();
    return ::LoadBitmapA(instance, resource);
}

int HorizontalFlag(int align) {
    switch (align & 0x0F) {
    case 0: return DT_CENTER;
    case 2: return DT_RIGHT;
    default: return 0;
    }
}
}  // namespace

Panel::Panel(const char* title, HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle)
    : Component(title, style, exStyle, x, y, width, height, parent) {
    SetType(kTagPanel);
}

Panel::~Panel() { ReleaseBitmaps(); }

void Panel::ReleaseBitmaps() {
    if (m_memDC) {
        if (m_memPrevious) SelectObject(m_memDC, m_memPrevious);
        DeleteDC(m_memDC);
    }
    if (m_bitmap) DeleteObject(m_bitmap);
    if (m_disabledBitmap) DeleteObject(m_disabledBitmap);
    m_memDC = nullptr;
    m_memPrevious = nullptr;
    m_bitmap = m_disabledBitmap = nullptr;
}

LRESULT Panel::DoOnEraseBkgnd(HDC) { return 1; }

LRESULT Panel::DoOnPaint(HDC hdc) {
    RECT full, inner;
    ::GetClientRect(GetHandle(), &full);
    GetClientRect(&inner);
    if (m_borderStyle == kBorderRounded) inner = full;
    DrawBackground(hdc, inner);
    DrawBitmap(hdc, inner);
    char text[1025];
    int length = GetText(text, sizeof text);
    if (length < 0) length = 0;
    text[length] = 0;
    DrawCaption(hdc, inner, text, length);
    DrawFrame(hdc, full);
    if (m_showFocus && ::GetFocus() == GetHandle()) DrawFocusBorder(hdc, full);
    return Component::DoOnPaint(hdc);
}

void Panel::GetClientRect(RECT* rect) {
    ::GetClientRect(GetHandle(), rect);
    int d = 0;
    if (m_borderStyle == kBorderSunken || m_borderStyle == kBorderRaised) {
        int depth = GetBevelDepth();
        if (depth > 0 && rect->right - rect->left >= 2 * depth && rect->bottom - rect->top >= 2 * depth) d = depth;
    } else if (m_borderStyle == kBorderSingleRaised || m_borderStyle == kBorderRounded) {
        d = 1;
    }
    DeflateRectBy(rect, -d);
}

void Panel::DrawFocusBorder(HDC hdc, const RECT& r) {
    HGDIOBJ oldBrush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
    HGDIOBJ oldPen = SelectObject(hdc, GetDotPen(0));
    int cw = (r.right - r.left) / 5, ch = (r.bottom - r.top) / 5;
    RoundRect(hdc, r.left, r.top, r.right - 1, r.bottom - 1, cw, ch);
    SelectObject(hdc, GetDotPen(1));
    RoundRect(hdc, r.left + 1, r.top + 1, r.right, r.bottom, cw, ch);
    SelectObject(hdc, oldPen);
    SelectObject(hdc, oldBrush);
}

void Panel::DrawFrame(HDC hdc, const RECT& rect) {
    RECT r = rect;
    int count = 0;
    Draw3DFrame(hdc, &r, m_borderStyle, GetBevelDepth(), GetShadePairs(&count));
}

HBRUSH Panel::BackgroundBrush() const {
    return m_borderStyle == kBorderSunken && m_sunkenUsesBack ? GetBackBrush() : GetFaceBrush();
}

void Panel::DrawBackground(HDC hdc, const RECT& rect) {
    if (OnPaintBackground.IsSet()) {
        RECT r = rect;
        OnPaintBackground.Invoke(this, hdc, &r);
        return;
    }
    HBRUSH brush = BackgroundBrush();
    if (brush) FillRect(hdc, &rect, brush);
}

void Panel::DrawBitmap(HDC hdc, const RECT& rect) {
    if (!m_bitmap || !m_memDC) return;
    HBITMAP shown = IsEnabled() || !m_disabledBitmap ? m_bitmap : m_disabledBitmap;
    SelectObject(m_memDC, shown);
    COLORREF transparent = GetPixel(m_memDC, 0, 0);
    const int w = m_bitmapWidth, h = m_bitmapHeight;
    if (m_bitmapAlign == kBitmapStretch) {
        RECT client;
        GetClientRect(&client);
        TransparentBlt(hdc, client.left, client.top, client.right - client.left, client.bottom - client.top, m_memDC, 0,
                       0, w, h, transparent);
        return;
    }
    if (m_halfSize) {
        POINT at = {w / 2, h / 2};
        AlignInRect(rect, m_bitmapAlign, &at);
        try {
            DibBitmap work(w, h);
            RECT all = {0, 0, w, h};
            FillRect(work.GetDC(), &all, BackgroundBrush());
            TransparentBlt(work.GetDC(), 0, 0, w, h, m_memDC, 0, 0, w, h, transparent);
            GdiFlush();
            DownsampleHalf(&work, &work);
            BitBlt(hdc, at.x, at.y, w / 2, h / 2, work.GetDC(), 0, 0, SRCCOPY);
        } catch (int) {
            // Out of GDI resources: this paint goes without the picture.
        }
        return;
    }
    POINT at = {w, h};
    AlignInRect(rect, m_bitmapAlign, &at);
    TransparentBlt(hdc, at.x, at.y, w, h, m_memDC, 0, 0, w, h, transparent);
}

void Panel::DrawCaption(HDC hdc, const RECT& rect, const char* text, int length) {
    ::SetTextColor(hdc, IsEnabled() ? GetTextColor() : GetDisabledTextColor());
    int oldMode = SetBkMode(hdc, TRANSPARENT);
    HGDIOBJ oldFont = SelectFontOf(hdc, this);
    UINT flags = DT_CALCRECT | DT_NOPREFIX | HorizontalFlag(m_captionAlign);
    RECT measured = {0, 0, 0, 0};
    DrawTextA(hdc, text, length, &measured, flags);
    m_captionWidth = measured.right - measured.left;
    m_captionHeight = measured.bottom - measured.top;
    POINT at = {m_captionWidth, m_captionHeight};
    AlignInRect(rect, m_captionAlign, &at);
    // A caption wider than the panel starts at the left edge and ends in the ellipsis, rather
    // than losing its first letters under the frame.
    if (at.x < rect.left) at.x = rect.left;
    flags = (flags & ~DT_CALCRECT) | DT_END_ELLIPSIS;
    RECT r = {at.x, at.y, at.x + m_captionWidth, at.y + m_captionHeight};
    if (r.bottom > rect.bottom) r.bottom = rect.bottom;
    if (r.right > rect.right) r.right = rect.right;
    // Glyphs can reach a few pixels past the measured extent (Wine draws wider than it
    // measures): clipped to that extent, a caption would lose its last character. The panel's
    // inner area is the clip instead.
    const int saved = SaveDC(hdc);
    IntersectClipRect(hdc, rect.left, rect.top, rect.right, rect.bottom);
    DrawTextA(hdc, text, length, &r, flags | DT_NOCLIP);
    RestoreDC(hdc, saved);
    if (oldFont) SelectObject(hdc, oldFont);
    SetBkMode(hdc, oldMode);
}

void Panel::SetBorderStyle(int style) {
    m_borderStyle = style;
    Invalidate();
}

void Panel::SetCaptionAlign(int align) {
    m_captionAlign = align;
    Invalidate();
}

void Panel::SetBitmapAlign(int align) {
    m_bitmapAlign = align;
    Invalidate();
}

void Panel::SetShowFocus(bool on) {
    m_showFocus = on;
    Invalidate();
}

void Panel::SetSunkenUsesBackColor(bool on) {
    m_sunkenUsesBack = on;
    Invalidate();
}

void Panel::SetHalfSizeBitmap(bool on) {
    m_halfSize = on;
    Invalidate();
}

// Every pixel of the transparent colour (the top-left one) black, every other pixel in the
// disabled-text colour: drawn transparently, the picture's shape in that colour.
HBITMAP Panel::MakeDisabledMask(HBITMAP bitmap, int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: pixel 0 is the top-left one
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP mask = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!mask || !bits) return mask;
    HDC screen = ::GetDC(nullptr);
    int rows = GetDIBits(screen, bitmap, 0, height, bits, &info, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (rows != height) {
        DeleteObject(mask);
        return nullptr;
    }
    COLORREF c = GetDisabledTextColor();
    uint32_t disabled = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);  // BGRX in memory
    uint32_t* p = static_cast<uint32_t*>(bits);
    const uint32_t key = p[0] & 0xFFFFFF;
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i)
        p[i] = (p[i] & 0xFFFFFF) == key ? 0 : disabled;
    GdiFlush();
    return mask;
}

int Panel::LoadBitmap(const char* resource, HINSTANCE instance) {
    ReleaseBitmaps();
    HBITMAP bitmap = LoadResourceBitmap(resource, instance);
    if (!bitmap) return 0;
    BITMAP info = {};
    GetObjectA(bitmap, sizeof info, &info);
    HDC windowDC = ::GetDC(GetHandle());
    HDC memDC = CreateCompatibleDC(windowDC);
    ::ReleaseDC(GetHandle(), windowDC);
    if (!memDC) {
        DeleteObject(bitmap);
        return 0;
    }
    m_bitmapWidth = info.bmWidth;
    m_bitmapHeight = info.bmHeight;
    m_disabledBitmap = MakeDisabledMask(bitmap, m_bitmapWidth, m_bitmapHeight);
    m_bitmap = bitmap;
    m_memDC = memDC;
    m_memPrevious = SelectObject(memDC, bitmap);
    Invalidate();
    return 1;
}

int Panel::LoadDisabledBitmap(const char* resource, HINSTANCE instance) {
    HBITMAP bitmap = LoadResourceBitmap(resource, instance);
    if (!bitmap) return 0;
    if (m_memDC) SelectObject(m_memDC, m_bitmap);  // never delete the selected bitmap
    if (m_disabledBitmap) DeleteObject(m_disabledBitmap);
    m_disabledBitmap = bitmap;
    Invalidate();
    return 1;
}

void Panel::AutoSize() {
    char text[1025];
    int length = GetText(text, sizeof text);
    if (length < 0) length = 0;
    HDC dc = ::GetDC(GetHandle());
    HGDIOBJ oldFont = SelectFontOf(dc, this);
    RECT r = {0, 0, 0, 0};
    DrawTextA(dc, text, length, &r, DT_CALCRECT | DT_NOPREFIX | HorizontalFlag(m_captionAlign));
    if (oldFont) SelectObject(dc, oldFont);
    ::ReleaseDC(GetHandle(), dc);
    int w = r.right - r.left, h = r.bottom - r.top;
    int frame = 0;
    if (m_borderStyle == kBorderSunken || m_borderStyle == kBorderRaised) frame = 2 * GetBevelDepth();
    // The single ring takes a pixel on each side as the rounded frame does.
    else if (m_borderStyle == kBorderRounded || m_borderStyle == kBorderSingleRaised)
        frame = 2;
    SetSize(w + frame, h + frame);
}

Label::Label(const char* caption, HWND parent, int x, int y, int width, int height, DWORD style)
    : Panel(caption, parent, x, y, width, height, style, 0) {
    SetType(kTagLabel);
    SetBorderStyle(kBorderNone);
    SetCaptionAlign(kAlignLeft | kAlignTop);
    if (width == 0 && height == 0) AutoSize();
}

void Label::SetCaption(const String& text, bool autoSize) { SetCaption(text.CStr(), autoSize); }

void Label::SetCaption(const char* text, bool autoSize) {
    SetText(text);
    if (autoSize) AutoSize();
}
