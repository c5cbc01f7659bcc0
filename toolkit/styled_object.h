// The look of a toolkit window: face, back and text colours, font, bevel depth, contrast, the
// pens and brushes made from them, and a parent from which every unset property is inherited.
// -1 (kInherit) means "ask the parent"; a root with -1 answers -1. Pens and brushes come from
// the application's shared tracker and are acquired when a colour changes, never in painting.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/object.h"
#include "toolkit/drawing.h"

constexpr COLORREF kInheritColour = 0xFFFFFFFFu;
constexpr int kInherit = -1;
inline HFONT InheritFont() { return reinterpret_cast<HFONT>(static_cast<intptr_t>(-1)); }

class StyledObject : public Object {
public:
    explicit StyledObject(StyledObject* parent);
    ~StyledObject() override;

    virtual void DoOnLButtonDown(int keys, int x, int y) {}
    virtual void DoOnLButtonUp(int keys, int x, int y) {}
    virtual void DoOnRButtonDown(int keys, int x, int y) {}
    virtual void DoOnRButtonUp(int keys, int x, int y) {}
    virtual void DoOnMouseMove(int keys, int x, int y) {}
    virtual StyledObject* GetParent() const { return m_parent; }
    virtual void Invalidate() {}
    virtual void SetBackColor(COLORREF colour);
    virtual void SetFont(HFONT font);
    virtual void SetTextColor(COLORREF colour);
    virtual void SetDisabledTextColor(COLORREF colour);
    virtual void SetBevelDepth(int depth);  // clamped to 1..100; -1 inherits under a parent
    virtual void SetFaceColor(COLORREF colour);
    virtual void SetContrast(int contrast);  // low byte used

    // Effective values (own, else the parent's).
    HFONT GetFont() const;
    COLORREF GetTextColor() const;
    COLORREF GetFaceColor() const;
    COLORREF GetBackColor() const;
    int GetBevelDepth() const;
    COLORREF GetDisabledTextColor() const;
    int GetContrast() const;
    HBRUSH GetFaceBrush() const;
    HBRUSH GetBackBrush() const;
    HPEN GetDarkDotPen() const;
    HPEN GetLightDotPen() const;
    // The shade pairs to draw the bevel with (own, else the nearest ancestor's); count out.
    const ShadePair* GetShadePairs(int* count) const;

    // Own values, -1 when inherited.
    COLORREF OwnFaceColor() const { return m_faceColour; }
    COLORREF OwnBackColor() const { return m_backColour; }
    COLORREF OwnTextColor() const { return m_textColour; }
    COLORREF OwnDisabledTextColor() const { return m_disabledTextColour; }
    HFONT OwnFont() const { return m_font; }
    int OwnBevelDepth() const { return m_bevelDepth; }
    int OwnContrast() const { return m_contrast; }

protected:
    void RebuildShades(int depth);
    void SetParentObject(StyledObject* parent) { m_parent = parent; }

private:
    void ReleaseShades();

    COLORREF m_faceColour;
    COLORREF m_backColour;
    COLORREF m_textColour;
    HFONT m_font;
    int m_bevelDepth;
    int m_shadeCount = 0;
    ShadePair* m_shades = nullptr;  // null while inheriting
    HBRUSH m_faceBrush = nullptr;   // null: inherited
    HBRUSH m_backBrush = nullptr;
    HPEN m_darkDotPen = nullptr;
    HPEN m_lightDotPen = nullptr;
    COLORREF m_disabledTextColour;
    int m_contrast;
    StyledObject* m_parent;
};
