// The toolkit's numeric fields. IntEdit holds a signed 64-bit value shown in decimal or
// hexadecimal, with an optional unit in the suffix area; it filters typed keys, commits typed
// text on Enter, on a wheel or spin step and (by default) when the focus leaves, clamps to
// optional limits and reports every change through OnValueChanged. FixedPointEdit shows the
// value divided by 10^decimals with exactly that many decimal places.
//
// Until it is committed, typed text does not change GetValue. Enter posts WM_APP+7 and Escape
// (which restores the text of the committed value) WM_APP+6 to the field's own window; the
// toolkit passes both up to the nearest popup. Wheel turns and spin-control steps arrive in
// DoOnMouseWheel with the step count in the signed high word. Number parsing saturates at
// the 64-bit ends; steps and limits never overflow. GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/string.h"
#include "toolkit/edit.h"

constexpr uint32_t kTagIntEdit = kTypeTagBase + 12;

class SpinControl;

// base^exponent by repeated squaring, wrapping like the machine's multiplication; a negative
// exponent gives 1 / base^-exponent in integer division (0 unless that power is 1 or -1, and
// 0 for base 0).
int64_t IntPow(int64_t base, int exponent);

class IntEdit : public Edit {
public:
    enum DisplayMode : int { kDecimal = 0, kHexLower = 1, kHexUpper = 2 };
    enum UnitKind : int { kUnitNone = 0, kUnitFrequency = 1, kUnitTime = 2 };
    // The field's window style: a dialog-frame border (WS_DLGFRAME, 0x400000) gives the toolkit
    // a real non-client ring to draw its sunken frame in. A plain WS_BORDER would not: the
    // system edit control takes that style off and draws a flat line inside its client area.
    static constexpr DWORD kStyle = 0x56410080;

    // Limits are in force when minimum or maximum is non-zero.
    IntEdit(HWND parent, int x, int y, int width, int height, int displayMode, int64_t value, int64_t minimum,
            int64_t maximum, bool rightAlign, bool withSpin);
    ~IntEdit() override;

    void SetTextColor(COLORREF colour) override;
    void DoOnChar(int* key, LPARAM flags) override;
    void DoOnBoundsChanging(int* x, int* y, int* cx, int* cy) override;
    void DoOnFocus(bool gained) override;
    void DoOnMouseWheel(WPARAM packed, Component* sender) override;
    void Enable(bool on) override;
    void SetSuffix(const char* text) override;  // also notifies

    virtual void DoOnValueChanged();
    virtual String Format(int64_t value);
    // Commits the window text; text that does not parse keeps the value (and still notifies).
    virtual void Parse();

    // Clamps to the limits, rewrites the text and notifies when the value changed or had to
    // be clamped.
    void SetValue(int64_t value);
    int64_t GetValue() const { return m_value; }
    void SetMin(int64_t minimum);
    void SetMax(int64_t maximum);
    int64_t GetMin() const { return m_min; }
    int64_t GetMax() const { return m_max; }
    void SetHexMode(int mode);
    int GetHexMode() const { return m_mode; }
    void SetUnitKind(int kind);
    void SetStep(int64_t step) { m_step = step; }
    int64_t GetStep() const { return m_step; }
    void SetSnapToStep(bool on) { m_snap = on; }
    // Non-zero: the step is 10^(digits of |value| - 1 - stepDigits), at least 1.
    void SetStepDigits(int digits) { m_stepDigits = digits; }
    void SetCommitOnFocusLoss(bool on) { m_commitOnFocusLoss = on; }
    void SetSpinControl(bool on);
    SpinControl* GetSpinControl() const { return m_spin; }
    int64_t GetStepFor(int64_t value) const;

    Event<> OnValueChanged;

protected:
    // The next SetValue redisplays and notifies even when the value does not change.
    void ForceNotify() { m_forceNotify = true; }
    bool LimitsInForce() const { return m_min != 0 || m_max != 0; }
    int SpinWidthFor(int height) const;
    void SetUnitFromLetter(int letter);  // H, K, M, G (frequency) or S, M, H (time), any case

private:
    SpinControl* m_spin = nullptr;
    int64_t m_value = 0;
    int64_t m_min;
    int64_t m_max;
    int m_mode = kDecimal;
    int64_t m_step = 1;
    int m_unitKind = kUnitNone;
    bool m_commitOnFocusLoss = true;
    bool m_snap = false;
    int m_stepDigits = 0;
    bool m_forceNotify = true;
};

class FixedPointEdit : public IntEdit {
public:
    static constexpr int kMaxDecimals = 18;  // 10^18 is the largest power of ten in 64 bits

    // Decimal, right-aligned, without spin control; value, minimum and maximum are in units of
    // 10^-decimals.
    FixedPointEdit(HWND parent, int x, int y, int width, int height, int decimals, int64_t value, int64_t minimum,
                   int64_t maximum);

    void DoOnChar(int* key, LPARAM flags) override;
    String Format(int64_t value) override;
    // An optional sign, digits and one decimal point; more decimals than shown are cut, fewer
    // padded. Stops at the first other character.
    void Parse() override;

    void SetDecimals(int decimals);  // clamped to 0..kMaxDecimals
    int GetDecimals() const { return m_decimals; }
    double GetValueAsDouble() const;
    void SetValueFromDouble(double value);  // truncated toward zero, saturated

private:
    int m_decimals = 0;
};
