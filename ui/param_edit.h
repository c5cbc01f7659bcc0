// The labelled numeric field: a caption, an IntEdit, a SpinControl that steps it and a unit
// text, laid out left to right in one row and resized to fit. The owner sets caption, unit,
// limits, step and value and learns of each change through OnValueChanged (new value).
//
// Layout (LayoutRow): x starts at 2; the caption (sized to its text unless SetCaptionWidth fixed
// it), 2 pixels, the edit, the spin control, 2 pixels, the unit when there is one, 2 pixels;
// the field's width is the end of that row, its height stays.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/event.h"
#include "toolkit/panel.h"

class IntEdit;
class Label;
class SpinControl;

class CParamEdit : public Panel {
public:
    CParamEdit(HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle);
    ~CParamEdit() override;

    void Enable(bool on) override;

    void SetCaption(const char* text, bool layOut);
    void SetUnit(const char* text, bool layOut);
    void SetMin(int64_t minimum);
    void SetMax(int64_t maximum);
    void SetStep(int32_t step);
    void SetValue(int64_t value);
    int64_t GetValue() const { return m_value; }
    IntEdit* GetEdit() const { return m_edit; }
    void SetLimitText(int n);
    void SetSnapToStep(bool on);
    void SetStepDigits(int digits);
    void SetEditSize(int width, int height);
    int GetCaptionWidth() const;
    // Fixes the caption's width so that fields stacked in a column line up.
    void SetCaptionWidth(int width);
    void SetToolTip(const char* text);
    // The row layout above (Component::Layout is the dock layout of the children).
    void LayoutRow();

    Event<int64_t> OnValueChanged;

private:
    void OnEditValueChanged(Object* sender);

    int64_t m_step = 1;
    int64_t m_value = 0;
    int64_t m_minimum = 0;
    int64_t m_maximum = 0;
    bool m_unitShown = false;
    bool m_captionSizesItself = true;
    Label* m_unit = nullptr;
    SpinControl* m_spin = nullptr;
    IntEdit* m_edit = nullptr;
    Label* m_caption = nullptr;
};
