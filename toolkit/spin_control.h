// SpinControl: an up/down stepper. An up and a down Button and, between them, an optional drag
// panel that turns vertical drags into steps. Steps are posted as WM_APP+9 with the count in
// the signed high word of wParam (the form of a wheel turn) to a target window, the parent by
// default; steps still queued for the target are merged into the new message.
#pragma once

#include <windows.h>

#include "toolkit/button.h"
#include "toolkit/panel.h"

constexpr uint32_t kTagSpinControl = kTypeTagBase + 25;

class SpinControl : public Component {
public:
    SpinControl(HWND parent, int x, int y, int width, int height, int align, bool withDragPanel);

    void SetBevelDepth(int depth) override;
    void DoOnResize() override;
    virtual void Step(int steps);

    void SetTarget(HWND target) { m_target = target; }
    void SetPixelsPerStep(int pixels) { m_pixelsPerStep = pixels < 1 ? 1 : pixels; }
    void SetGlyphColor(COLORREF colour);
    COLORREF GetGlyphColor() const { return m_up->GetGlyphColor(); }
    void SetTabStop(bool on);
    bool IsTabStop() const { return (GetStyle() & WS_TABSTOP) != 0; }
    Button* GetUpButton() const { return m_up; }
    Button* GetDownButton() const { return m_down; }
    Panel* GetDragPanel() const { return m_drag; }

    Event<int> OnStep;

private:
    void OnButtonRepeat(Object* sender);
    void OnDragStart(Object* sender, int keys, int x, int y);
    void OnDragEnd(Object* sender, int keys, int x, int y);
    void OnDragMove(Object* sender, int keys, int x, int y);

    Button* m_up;
    Button* m_down;
    Panel* m_drag = nullptr;
    HWND m_target = nullptr;
    int m_pixelsPerStep = 1;
    int m_accumulated = 0;
    int m_lastY = 0;
};
