#include "ui/param_edit.h"

#include "toolkit/int_edit.h"
#include "toolkit/panel.h"
#include "toolkit/spin_control.h"
#include "ui/shared_looks.h"

namespace {
constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr int kGap = 2;
}  // namespace

CParamEdit::CParamEdit(HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle)
    : Panel("", parent, x, y, width, height, style, exStyle) {
    HWND own = GetHandle();
    m_caption = new Label("Param name:", own, 2, 3, 100, 15, kLabelStyle);
    m_edit = new IntEdit(own, 102, 0, 35, 20, 0, 0, 0, 0, true, false);
    if (m_edit) {
        m_edit->SetTextColor(look::kGreen);
        m_edit->SetBackColor(look::kBlack);
        m_edit->SetValue(0);
        m_edit->SetCommitOnFocusLoss(true);
        m_edit->SetLimitText(4);
        m_edit->OnValueChanged.Bind(this, &CParamEdit::OnEditValueChanged);
    }
    m_spin = new SpinControl(own, 152, 0, 10, 20, 0, true);
    if (m_spin) {
        if (m_edit) m_spin->SetTarget(m_edit->GetHandle());
        m_spin->SetGlyphColor(look::kGreen);
        m_spin->SetFaceColor(look::kFaceGrey);
        m_spin->SetBevelDepth(2);
        m_spin->SetPixelsPerStep(5);
        m_spin->SetTabStop(false);
    }
    m_unit = new Label("", own, 172, 3, 20, 15, kLabelStyle);
}

CParamEdit::~CParamEdit() {
    delete m_caption;
    delete m_edit;
    delete m_spin;
    delete m_unit;
}

void CParamEdit::Enable(bool on) { Component::Enable(on); }

void CParamEdit::SetCaption(const char* text, bool layOut) {
    if (!m_caption) return;
    if (!text) {
        m_caption->SetCaption("", true);
        return;
    }
    m_caption->SetCaption(text, false);
    if (layOut) LayoutRow();
}

void CParamEdit::SetUnit(const char* text, bool layOut) {
    if (m_unit) {
        m_unitShown = text && *text;
        m_unit->SetCaption(m_unitShown ? text : "", m_unitShown);
    }
    if (layOut) LayoutRow();
}

void CParamEdit::SetMin(int64_t minimum) {
    m_minimum = minimum;
    if (m_edit) m_edit->SetMin(minimum);
    if (m_value < minimum) m_value = minimum;
}

void CParamEdit::SetMax(int64_t maximum) {
    m_maximum = maximum;
    if (m_edit) m_edit->SetMax(maximum);
    if (m_value > maximum) m_value = maximum;
}

void CParamEdit::SetStep(int32_t step) {
    m_step = step;
    if (m_edit) m_edit->SetStep(step);
}

void CParamEdit::SetValue(int64_t value) {
    if (m_edit) m_edit->SetValue(value);
}

void CParamEdit::SetLimitText(int n) {
    if (m_edit) m_edit->SetLimitText(n);
}

void CParamEdit::SetSnapToStep(bool on) {
    if (m_edit) m_edit->SetSnapToStep(on);
}

void CParamEdit::SetStepDigits(int digits) {
    if (m_edit) m_edit->SetStepDigits(digits);
}

void CParamEdit::SetEditSize(int width, int height) {
    if (m_edit) m_edit->SetSize(width, height);
}

int CParamEdit::GetCaptionWidth() const { return m_caption ? m_caption->Width() : 0; }

void CParamEdit::SetCaptionWidth(int width) {
    if (!m_caption) return;
    m_caption->SetSize(width, m_caption->Height());
    m_captionSizesItself = false;
}

void CParamEdit::SetToolTip(const char* text) {
    if (m_caption) m_caption->SetToolTip(text);
    if (m_edit) m_edit->SetToolTip(text);
    if (m_unit) m_unit->SetToolTip(text);
}

void CParamEdit::LayoutRow() {
    int x = 2;
    if (m_caption) {
        if (m_captionSizesItself) m_caption->AutoSize();
        x += m_caption->Width();
    }
    x += kGap;
    if (m_edit) {
        m_edit->Move(x, 0);
        x += m_edit->Width();
    }
    if (m_spin) {
        m_spin->Move(x, 0);
        x += m_spin->Width();
    }
    x += kGap;
    if (m_unitShown && m_unit) {
        m_unit->Move(x, 3);
        m_unit->AutoSize();
        x += m_unit->Width();
    }
    x += kGap;
    SetSize(x, Height());
}

void CParamEdit::OnEditValueChanged(Object* sender) {
    if (m_edit) m_value = m_edit->GetValue();
    OnValueChanged.Invoke(this, m_value);
}
