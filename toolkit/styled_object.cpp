#include "toolkit/styled_object.h"

#include <new>

#include "toolkit/application.h"

namespace {
GraphicsResourceTracker& Tracker() { return GetApplication()->GetTracker(); }
}  // namespace

StyledObject::StyledObject(StyledObject* parent) : Object(0), m_parent(parent) {
    if (parent) {
        m_faceColour = m_backColour = m_textColour = m_disabledTextColour = kInheritColour;
        m_font = InheritFont();
        m_bevelDepth = m_contrast = kInherit;
        return;
    }
    m_textColour = 0;
    m_font = nullptr;
    m_contrast = 70;
    m_faceColour = 0x404040;
    m_bevelDepth = kInherit;
    RebuildShades(3);
    m_backColour = kInheritColour;
    SetBackColor(Shade(m_faceColour, static_cast<double>(2 * m_contrast / m_bevelDepth) / 255.0));
    m_darkDotPen = Tracker().AcquireDotPen(Shade(m_faceColour, -0.4));
    m_lightDotPen = Tracker().AcquireDotPen(Shade(m_faceColour, 0.4));
    m_faceBrush = Tracker().AcquireBrush(m_faceColour);
    m_disabledTextColour = 0x808080;
}

StyledObject::~StyledObject() {
    if (m_faceBrush) Tracker().ReleaseBrush(m_faceBrush);
    if (m_backBrush) Tracker().ReleaseBrush(m_backBrush);
    if (m_darkDotPen) Tracker().ReleaseDotPen(m_darkDotPen);
    if (m_lightDotPen) Tracker().ReleaseDotPen(m_lightDotPen);
    ReleaseShades();
    delete[] m_shades;
    m_shades = nullptr;
    m_faceColour = kInheritColour;
    m_bevelDepth = m_contrast = kInherit;
}

void StyledObject::ReleaseShades() {
    for (int i = 0; m_shades && i < m_shadeCount; ++i) {
        if (m_shades[i].light) Tracker().ReleasePen(m_shades[i].light);
        if (m_shades[i].dark) Tracker().ReleasePen(m_shades[i].dark);
        m_shades[i].light = m_shades[i].dark = nullptr;
    }
}

void StyledObject::RebuildShades(int depth) {
    ReleaseShades();
    if (depth != m_bevelDepth && m_shades) {
        delete[] m_shades;
        m_shades = nullptr;
        m_shadeCount = 0;
    }
    m_bevelDepth = depth;
    if (m_faceColour == kInheritColour && m_bevelDepth == kInherit && m_contrast == kInherit) {
        delete[] m_shades;
        m_shades = nullptr;
        m_shadeCount = 0;
        return;
    }
    int count = GetBevelDepth();
    if (count < 1) count = 1;
    if (!m_shades || count != m_shadeCount) {
        delete[] m_shades;
        m_shades = new (std::nothrow) ShadePair[count]();
        m_shadeCount = m_shades ? count : 0;
    }
    COLORREF face = GetFaceColor();
    int contrast = GetContrast() & 0xFF;
    for (int i = 0; i < m_shadeCount; ++i) {
        double f = static_cast<double>(m_shadeCount - i) * contrast / (m_shadeCount * 255.0);
        m_shades[i].light = Tracker().AcquirePen(Shade(face, f));
        m_shades[i].dark = Tracker().AcquirePen(Shade(face, -f));
    }
}

void StyledObject::SetBackColor(COLORREF colour) {
    m_backColour = colour;
    if (m_backBrush) Tracker().ReleaseBrush(m_backBrush);
    m_backBrush = colour == kInheritColour ? nullptr : Tracker().AcquireBrush(colour);
}

void StyledObject::SetFont(HFONT font) { m_font = font; }
void StyledObject::SetTextColor(COLORREF colour) { m_textColour = colour; }
void StyledObject::SetDisabledTextColor(COLORREF colour) { m_disabledTextColour = colour; }

void StyledObject::SetBevelDepth(int depth) {
    if (!(depth == kInherit && m_parent)) depth = depth < 1 ? 1 : (depth > 100 ? 100 : depth);
    RebuildShades(depth);
}

void StyledObject::SetFaceColor(COLORREF colour) {
    m_faceColour = colour;
    RebuildShades(m_bevelDepth);
    if (m_faceBrush) Tracker().ReleaseBrush(m_faceBrush);
    if (m_darkDotPen) Tracker().ReleaseDotPen(m_darkDotPen);
    if (m_lightDotPen) Tracker().ReleaseDotPen(m_lightDotPen);
    m_faceBrush = nullptr;
    m_darkDotPen = m_lightDotPen = nullptr;
    if (colour == kInheritColour && m_parent) return;
    COLORREF face = GetFaceColor();
    m_darkDotPen = Tracker().AcquireDotPen(Shade(face, -0.4));
    m_lightDotPen = Tracker().AcquireDotPen(Shade(face, 0.4));
    m_faceBrush = Tracker().AcquireBrush(face);
}

void StyledObject::SetContrast(int contrast) {
    m_contrast = contrast;
    RebuildShades(m_bevelDepth);
}

HFONT StyledObject::GetFont() const {
    if (m_font != InheritFont()) return m_font;
    return m_parent ? m_parent->GetFont() : InheritFont();
}
COLORREF StyledObject::GetTextColor() const {
    if (m_textColour != kInheritColour) return m_textColour;
    return m_parent ? m_parent->GetTextColor() : kInheritColour;
}
COLORREF StyledObject::GetFaceColor() const {
    if (m_faceColour != kInheritColour) return m_faceColour;
    return m_parent ? m_parent->GetFaceColor() : kInheritColour;
}
COLORREF StyledObject::GetBackColor() const {
    if (m_backColour != kInheritColour) return m_backColour;
    return m_parent ? m_parent->GetBackColor() : kInheritColour;
}
int StyledObject::GetBevelDepth() const {
    if (m_bevelDepth != kInherit) return m_bevelDepth;
    return m_parent ? m_parent->GetBevelDepth() : kInherit;
}
COLORREF StyledObject::GetDisabledTextColor() const {
    if (m_disabledTextColour != kInheritColour) return m_disabledTextColour;
    return m_parent ? m_parent->GetDisabledTextColor() : kInheritColour;
}
int StyledObject::GetContrast() const {
    if (m_contrast != kInherit) return m_contrast;
    return m_parent ? m_parent->GetContrast() : kInherit;
}
HBRUSH StyledObject::GetFaceBrush() const {
    if (m_faceBrush) return m_faceBrush;
    return m_parent ? m_parent->GetFaceBrush() : nullptr;
}
HBRUSH StyledObject::GetBackBrush() const {
    if (m_backBrush) return m_backBrush;
    return m_parent ? m_parent->GetBackBrush() : nullptr;
}
HPEN StyledObject::GetDarkDotPen() const {
    if (m_darkDotPen) return m_darkDotPen;
    return m_parent ? m_parent->GetDarkDotPen() : nullptr;
}
HPEN StyledObject::GetLightDotPen() const {
    if (m_lightDotPen) return m_lightDotPen;
    return m_parent ? m_parent->GetLightDotPen() : nullptr;
}
const ShadePair* StyledObject::GetShadePairs(int* count) const {
    if (m_shades) {
        *count = m_shadeCount;
        return m_shades;
    }
    if (m_parent) return m_parent->GetShadePairs(count);
    *count = 0;
    return nullptr;
}
