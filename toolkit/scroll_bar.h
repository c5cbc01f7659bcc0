// The toolkit's own scroll bar: a Panel with two arrow Buttons and a thumb Button over a 64-bit
// range. Invariants after every operation: min <= max, 0 <= page <= max - min, and
// min <= position <= max - page. Only a change of the position through SetPos fires OnScroll
// (SetParams never does).
//
// Input: arrows step by the step (auto-repeating while held); a press on the track pages
// towards the mouse at once, after 500 ms and then every 100 ms until the thumb reaches the
// mouse or the button is released; dragging the thumb moves the position on a grid of the
// step (0 or 1: no grid); the thumb's keys move by 1 or a page. GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/button.h"
#include "toolkit/panel.h"

constexpr uint32_t kTagScrollBar = kTypeTagBase + 4;

class ScrollBar : public Panel {
public:
    enum Orientation : int { kHorizontal = 0, kVertical = 1 };  // any non-zero value is vertical
    static constexpr UINT_PTR kPageTimer = 123;
    static constexpr UINT kPageDelayMs = 500;
    static constexpr UINT kPageRepeatMs = 100;
    static constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP;

    // Range 0..100, page 10, position 0, step 1, sunken frame.
    ScrollBar(HWND parent, int orientation, int x, int y, int width, int height, int align);
    ~ScrollBar() override;

    void DoOnLButtonDown(int keys, int x, int y) override;
    void DoOnLButtonUp(int keys, int x, int y) override;
    void DoOnMouseMove(int keys, int x, int y) override;
    void SetTextColor(COLORREF colour) override;  // also the arrows' glyphs
    void SetBevelDepth(int depth) override;
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void DoOnTimer(UINT_PTR id) override;
    void DoOnResize() override;
    void CreateBackBuffer(bool on) override;

    virtual void DoOnScroll();
    virtual void SetParams(int64_t minimum, int64_t maximum, int64_t page, int64_t position);
    // On the bar and its three buttons.
    virtual void SetSunkenUsesBackColor(bool on);
    virtual void SetBorderStyle(int style);
    virtual void SetPos(int64_t position);
    virtual void SetPage(int64_t page);

    int64_t GetPos() const { return m_pos; }
    int64_t GetRangeMin() const { return m_min; }
    int64_t GetRangeMax() const { return m_max; }
    int64_t GetMin() const { return m_min; }
    int64_t GetPage() const { return m_page; }
    void SetStep(int64_t step) { m_step = step; }
    int64_t GetStep() const { return m_step; }
    void SetMinThumbSize(unsigned pixels);
    // Without a tab stop on the thumb, clicks hand the keyboard focus to the bar's parent.
    void SetTabStop(bool on);
    bool IsTabStop() const;
    bool IsVertical() const { return m_orientation != kHorizontal; }
    Button* GetFirstArrow() const { return m_first; }
    Button* GetSecondArrow() const { return m_second; }
    Button* GetThumb() const { return m_thumb; }

    Event<> OnScroll;

protected:
    void UpdateThumb();

private:
    void PageStep();
    void FocusAfterClick();
    int Along(const Component* c) const { return IsVertical() ? c->Height() : c->Width(); }
    void HandleArrowRepeat(Object* sender);
    void HandleThumbMouseMove(Object* sender, int keys, int x, int y);
    void HandleThumbKeyDown(Object* sender, int key, LPARAM flags);

    int m_orientation;
    int64_t m_min = 0;
    int64_t m_max = 100;
    int64_t m_page = 10;
    int64_t m_pos = 0;
    POINT m_grab = {0, 0};
    Button* m_first = nullptr;
    Button* m_second = nullptr;
    Button* m_thumb = nullptr;
    POINT m_track = {0, 0};
    int64_t m_step = 1;
    unsigned m_minThumb = 0;
};
