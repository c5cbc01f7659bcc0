// Panel: the toolkit's drawn container. It paints its background, an optional bitmap, its
// window text as a caption, a bevelled frame and a dotted focus border, all from the colour
// scheme. Buttons, lists and every plug-in panel derive from it. Label: a frameless panel whose
// caption sizes it.
#pragma once

#include <windows.h>

#include "foundation/string.h"
#include "toolkit/component.h"

constexpr uint32_t kTagLabel = kTypeTagBase + 17;
constexpr int kBitmapStretch = 0x33;  // bitmap alignment: stretched over the client area

class Panel : public Component {
public:
    Panel(const char* title, HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle);
    ~Panel() override;

    LRESULT DoOnEraseBkgnd(HDC hdc) override;
    LRESULT DoOnPaint(HDC hdc) override;
    // Inside the frame: the bevel depth for the bevelled styles (when the window is at least
    // twice that in both directions), one pixel for the single ring and the rounded frame.
    void GetClientRect(RECT* rect) override;

    virtual void DrawFocusBorder(HDC hdc, const RECT& rect);
    virtual void DrawFrame(HDC hdc, const RECT& rect);
    virtual void DrawBackground(HDC hdc, const RECT& rect);
    virtual void DrawBitmap(HDC hdc, const RECT& rect);
    virtual void DrawCaption(HDC hdc, const RECT& rect, const char* text, int length);

    void SetBorderStyle(int style);
    int GetBorderStyle() const { return m_borderStyle; }
    void SetCaptionAlign(int align);
    int GetCaptionAlign() const { return m_captionAlign; }
    void SetBitmapAlign(int align);
    void SetShowFocus(bool on);
    void SetSunkenUsesBackColor(bool on);
    bool GetSunkenUsesBackColor() const { return m_sunkenUsesBack; }
    void SetHalfSizeBitmap(bool on);
    // instance: a module, or -1 for the toolkit's own. 1 when loaded.
    int LoadBitmap(const char* resource, HINSTANCE instance);
    int LoadDisabledBitmap(const char* resource, HINSTANCE instance);
    bool HasBitmap() const { return m_bitmap != nullptr; }
    void AutoSize();
    HPEN GetDotPen(int light) const { return light ? GetLightDotPen() : GetDarkDotPen(); }
    SIZE GetCaptionSize() const { return SIZE{m_captionWidth, m_captionHeight}; }

    Event<HDC, RECT*> OnPaintBackground;

protected:
    HBRUSH BackgroundBrush() const;

private:
    void ReleaseBitmaps();
    HBITMAP MakeDisabledMask(HBITMAP bitmap, int width, int height);

    int m_borderStyle = kBorderRaised;
    int m_captionAlign = 0;
    int m_bitmapAlign = 0;
    bool m_showFocus = false;
    HBITMAP m_bitmap = nullptr;
    HBITMAP m_disabledBitmap = nullptr;
    HGDIOBJ m_memPrevious = nullptr;
    HDC m_memDC = nullptr;
    bool m_sunkenUsesBack = true;
    int m_captionWidth = 0;
    int m_captionHeight = 0;
    bool m_halfSize = true;
    int m_bitmapWidth = 0;
    int m_bitmapHeight = 0;
};

class Label : public Panel {
public:
    // Width and height 0: sized to the caption.
    Label(const char* caption, HWND parent, int x, int y, int width, int height, DWORD style);

    virtual void SetCaption(const String& text, bool autoSize);
    virtual void SetCaption(const char* text, bool autoSize);
};
