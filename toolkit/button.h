// Button: a Panel that can be pressed. A push button, a toggle or one of a radio group, drawn
// as a raised bevel that sinks while pressed or down, with an optional glyph, keyboard
// operation, auto-repeat while held and an optional modal result that ends a modal run.
//
// Buttons of one parent with the same non-zero toggle group form a group: at most one is down,
// and the only down one stays down unless the group allows all up. A toggle that must go on
// and off by itself gets allow-all-up. SetDown from code raises OnDownChanged (never OnClick):
// the owners that must not hear it guard their handler.
#pragma once

#include <windows.h>

#include "toolkit/panel.h"

constexpr uint32_t kTagButton = kTypeTagBase + 3;

enum ButtonGlyph : int { kGlyphNone = 0, kGlyphCross = 6, kGlyphCheckBox = 7 };

class Button : public Panel {
public:
    static constexpr UINT_PTR kRepeatDelayTimer = 234;
    static constexpr UINT_PTR kRepeatTimer = 235;
    static constexpr UINT kRepeatDelayMs = 500;
    static constexpr UINT kRepeatPeriodMs = 50;

    Button(const char* title, HWND parent, int x, int y, int width, int height, DWORD style);
    ~Button() override;

    void DoOnLButtonDown(int keys, int x, int y) override;
    void DoOnLButtonUp(int keys, int x, int y) override;
    void DoOnMouseMove(int keys, int x, int y) override;
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void DoOnTimer(UINT_PTR id) override;
    void DoOnKeyDown(int key, LPARAM flags) override;
    void DoOnKeyUp(int key, LPARAM flags) override;
    void DrawFocusBorder(HDC hdc, const RECT& rect) override;
    void DrawBitmap(HDC hdc, const RECT& rect) override { Panel::DrawBitmap(hdc, rect); }
    void DrawCaption(HDC hdc, const RECT& rect, const char* text, int length) override;

    virtual void DrawFace(HDC hdc, const RECT& rect);
    virtual void UpdateBorder();
    // Whether the group lets this button take the state down (1) or go up (0).
    virtual int UpdateGroup(int down);
    virtual void DoOnDownChanged();
    virtual void DoOnClick();
    virtual void DoOnRepeat();

    bool IsDown() const { return m_down; }
    bool IsPressed() const { return m_pressed; }
    void SetDown(bool down);
    void SetToggle(int group);
    int GetToggle() const { return m_group; }
    void SetAllowAllUp(bool on);
    bool GetAllowAllUp() const { return m_allowAllUp; }
    void SetGlyph(int kind);
    void SetGlyphColor(COLORREF colour);
    COLORREF GetGlyphColor() const { return m_glyphColour; }
    void SetGlyphSize(int size);
    void SetGlyphAlign(int align);
    void SetDownGlyphColor(COLORREF colour);
    void SetGlyphOffset(int dx, int dy);
    void SetClickable(bool on);
    void SetModalResult(int result) { m_modalResult = result; }
    void SetLinkedComponent(Component* component);

    Event<> OnDownChanged;
    Event<> OnClick;
    Event<> OnRepeat;

private:
    void ToggleStep();
    void StopRepeat();
    bool Sunk() const { return m_down || m_pressed; }

    HPEN m_glyphPen = nullptr;
    bool m_down = false;
    bool m_pressed = false;
    int m_glyph = kGlyphNone;
    COLORREF m_glyphColour = 0;
    int m_glyphAlign = 0;
    int m_glyphSize = 0;
    COLORREF m_downGlyphColour = 0;
    int m_group = 0;
    bool m_allowAllUp = false;
    bool m_clickable = true;
    int m_glyphDx = 0;
    int m_glyphDy = 0;
    int m_modalResult = 0;
    Component* m_linked = nullptr;
};
