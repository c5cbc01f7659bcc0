#include "toolkit/int_edit.h"

#include <cmath>
#include <cstdint>

#include "toolkit/saturating.h"
#include "toolkit/spin_control.h"

namespace {

// magnitude * base + digit, stuck at the top once it overflowed.
void AppendDigit(uint64_t* magnitude, unsigned base, unsigned digit) {
    if (*magnitude > (UINT64_MAX - digit) / base)
        *magnitude = UINT64_MAX;
    else
        *magnitude = *magnitude * base + digit;
}

int64_t Signed(uint64_t magnitude, bool negative) {
    if (negative) return magnitude >= (1ull << 63) ? INT64_MIN : -static_cast<int64_t>(magnitude);
    return magnitude > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(magnitude);
}

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// What a formatted scan of one decimal or hexadecimal integer reads (leading white space, a
// sign, for hex an optional 0x), except that values beyond 64 bits saturate instead of
// wrapping. Hex text is the value's two's-complement bit pattern. False when no digit came.
bool ScanInteger(const char* p, bool hex, int64_t* out) {
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (hex && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2], true) >= 0) p += 2;
    uint64_t magnitude = 0;
    int digits = 0;
    for (int d; (d = DigitValue(*p, hex)) >= 0; ++p, ++digits)
        AppendDigit(&magnitude, hex ? 16 : 10, static_cast<unsigned>(d));
    if (!digits) return false;
    if (hex)
        *out = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
    else
        *out = Signed(magnitude, negative);
    return true;
}

uint64_t Magnitude(int64_t v) { return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v); }

}  // namespace

int64_t IntPow(int64_t base, int exponent) {
    unsigned e = exponent < 0 ? 0u - static_cast<unsigned>(exponent) : static_cast<unsigned>(exponent);
    uint64_t result = 1, b = static_cast<uint64_t>(base);
    for (; e; e >>= 1, b *= b)
        if (e & 1) result *= b;
    int64_t r = static_cast<int64_t>(result);
    if (exponent >= 0) return r;
    return r == 0 ? 0 : 1 / r;
}

IntEdit::IntEdit(HWND parent, int x, int y, int width, int height, int displayMode, int64_t value, int64_t minimum,
                 int64_t maximum, bool rightAlign, bool withSpin)
    : Edit(parent, x, y, width, height, kStyle | (rightAlign ? ES_RIGHT : 0)), m_min(minimum), m_max(maximum) {
    SetType(kTagIntEdit);
    SetHexMode(displayMode);
    SetSpinControl(withSpin);
    ForceNotify();
    SetValue(value);
}

IntEdit::~IntEdit() = default;

void IntEdit::SetTextColor(COLORREF colour) {
    Component::SetTextColor(colour);
    if (m_spin) m_spin->SetGlyphColor(colour);
}

void IntEdit::DoOnValueChanged() { OnValueChanged.Invoke(this); }

String IntEdit::Format(int64_t value) {
    if (m_mode == kHexLower) return String::FromHex(static_cast<uint64_t>(value), 0).ToLower();
    if (m_mode == kHexUpper) return String::FromHex(static_cast<uint64_t>(value), 0).ToUpper();
    return String::FromInt64(value);
}

void IntEdit::Parse() {
    char text[64] = {};
    GetText(text, sizeof text);
    int64_t parsed = m_value;
    ScanInteger(text, m_mode != kDecimal, &parsed);
    ForceNotify();
    SetValue(parsed);
}

void IntEdit::SetValue(int64_t value) {
    if (LimitsInForce()) {
        if (value > m_max) {
            ForceNotify();
            value = m_max;
        }
        if (value < m_min) {
            ForceNotify();
            value = m_min;
        }
    }
    bool changed = m_forceNotify || m_value != value;
    m_forceNotify = false;
    m_value = value;
    SetText(Format(value));
    if (changed) DoOnValueChanged();
}

void IntEdit::SetMin(int64_t minimum) {
    if (minimum == m_min) return;
    m_min = minimum;
    if (m_max <= m_min) m_max = SaturatingAdd(m_min, 1);
    if (m_max == m_min) m_min = m_max - 1;  // the minimum was the largest value
    if (m_value < m_min) SetValue(m_min);
}

void IntEdit::SetMax(int64_t maximum) {
    if (maximum == m_max) return;
    m_max = maximum;
    if (m_min >= m_max) m_min = SaturatingAdd(m_max, -1);
    if (m_min == m_max) m_max = m_min + 1;
    if (m_value > m_max) SetValue(m_max);
}

void IntEdit::SetHexMode(int mode) {
    if (mode == m_mode) return;
    m_mode = mode;
    // The value stays in place while the suffix notifies, so no handler sees a value the
    // field never held.
    SetSuffix(mode == kDecimal ? nullptr : "h");
    ForceNotify();
    SetValue(m_value);
}

void IntEdit::SetUnitKind(int kind) {
    if (kind == kUnitNone)
        SetSuffix(nullptr);
    else if (kind == kUnitFrequency)
        SetSuffix("Hz");
    else if (kind == kUnitTime)
        SetSuffix("s");
    m_unitKind = kind;
}

void IntEdit::SetSuffix(const char* text) {
    Edit::SetSuffix(text);
    DoOnValueChanged();
}

int64_t IntEdit::GetStepFor(int64_t value) const {
    if (!m_stepDigits) return m_step;
    uint64_t a = Magnitude(value);
    if (!a) return 1;
    int log10 = 0;
    for (; a >= 10; a /= 10) ++log10;
    int e = log10 - m_stepDigits;
    if (e < 0) e = 0;
    if (e > 18) e = 18;
    return IntPow(10, e);
}

void IntEdit::DoOnChar(int* key, LPARAM flags) {
    const int k = *key;
    if (k == VK_RETURN) {
        Parse();
        PostMessageA(GetHandle(), WM_TK_ENTER, 0, 0);
        Component::DoOnChar(key, flags);
        if (*key == VK_RETURN) *key = 0;
        DoOnValueChanged();
        return;
    }
    if (k == VK_ESCAPE) {
        ForceNotify();
        SetValue(m_value);
        *key = 0;
        PostMessageA(GetHandle(), WM_TK_ESCAPE, 0, 0);
        Component::DoOnChar(key, flags);
        return;
    }
    const bool digit = k >= '0' && k <= '9';
    const bool hexDigit = m_mode != kDecimal && ((k >= 'A' && k <= 'F') || (k >= 'a' && k <= 'f'));
    if (k == '-' && m_mode == kDecimal) {
        // Only as the first character, and only once, unless the selection replaces the sign.
        DWORD start = 0, end = 0;
        SendMessageA(GetHandle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        char first[2] = {};
        GetText(first, sizeof first);
        if (start != 0 || (first[0] == '-' && end == 0)) *key = 0;
    } else if (!digit && !hexDigit) {
        SetUnitFromLetter(k);
        // Control characters (Backspace, the clipboard shortcuts, Tab) pass; the rest is
        // swallowed, the space and the unit letters included.
        if (k >= 32) *key = 0;
    }
    Component::DoOnChar(key, flags);
}

void IntEdit::SetUnitFromLetter(int letter) {
    static const struct {
        int kind;
        char letter;
        const char* suffix;
    } kUnits[] = {
        {kUnitFrequency, 'H', "Hz"},  {kUnitFrequency, 'K', "kHz"}, {kUnitFrequency, 'M', "MHz"},
        {kUnitFrequency, 'G', "GHz"}, {kUnitTime, 'S', "s"},        {kUnitTime, 'M', "min"},
        {kUnitTime, 'H', "h"},
    };
    const int upper = letter >= 'a' && letter <= 'z' ? letter - ('a' - 'A') : letter;
    for (const auto& u : kUnits)
        if (u.kind == m_unitKind && u.letter == upper) SetSuffix(u.suffix);
}

// The field and its spin control together fill the bounds given.
void IntEdit::DoOnBoundsChanging(int* x, int* y, int* cx, int* cy) {
    if (m_spin) {
        // Reduced by the spin control's width for the new height, not its old width.
        int width = SpinWidthFor(*cy);
        *cx -= width;
        m_spin->Move(*x + *cx, *y);
        if (m_spin->Width() != width || m_spin->Height() != *cy) m_spin->SetSize(width, *cy);
    }
    Component::DoOnBoundsChanging(x, y, cx, cy);
}

void IntEdit::DoOnFocus(bool gained) {
    Component::DoOnFocus(gained);
    if (gained) return;
    if (m_commitOnFocusLoss) {
        Parse();
    } else {
        ForceNotify();
        SetValue(m_value);
    }
}

void IntEdit::DoOnMouseWheel(WPARAM packed, Component*) {
    const int n = static_cast<int16_t>(HIWORD(packed));
    Parse();
    if (LimitsInForce() && ((m_value == m_max && n >= 0) || (m_value == m_min && n <= 0))) return;
    const int64_t s = GetStepFor(n <= 0 ? SaturatingAdd(m_value, n) : m_value);
    m_step = s;
    int64_t v = m_value;
    if (m_snap && s != 0) {  // a step of 0 has no grid to land on
        v = m_value / s * s;
        if (v != m_value) {
            if (n < 0 && m_value > 0) v = SaturatingAdd(v, s);
            if (n > 0 && m_value < 0) v = SaturatingAdd(v, -s);
        }
    }
    int64_t move;
    if (!__builtin_mul_overflow(static_cast<int64_t>(n), s, &move)) {
        v = SaturatingAdd(v, move);
    } else {  // beyond 64 bits only the clamp below matters
        long double exact = static_cast<long double>(v) + static_cast<long double>(n) * static_cast<long double>(s);
        v = exact >= 9223372036854775807.0L
                ? INT64_MAX
                : (exact <= -9223372036854775808.0L ? INT64_MIN : static_cast<int64_t>(exact));
    }
    if (LimitsInForce()) v = v < m_min ? m_min : (v > m_max ? m_max : v);
    SetValue(v);
}

void IntEdit::Enable(bool on) {
    Component::Enable(on);
    if (m_spin) m_spin->Enable(on);
}

// The spin control is the field's sibling, owned by the parent like the field itself.
void IntEdit::SetSpinControl(bool on) {
    if (on == (m_spin != nullptr)) return;
    if (!on) {
        delete m_spin;
        m_spin = nullptr;
        SetFocusable(false);
        return;
    }
    m_spin = new SpinControl(::GetParent(GetHandle()), Right(), Top(), SpinWidthFor(Height()), Height(), 0, true);
    if (!m_spin) return;
    m_spin->SetTarget(GetHandle());
    m_spin->SetTabStop(false);
    m_spin->SetBevelDepth(2);
    SetFocusable(true);
}

int IntEdit::SpinWidthFor(int height) const {
    int w = height / 3, least = 2 * GetBevelDepth() + 2;
    return w < least ? least : w;
}

FixedPointEdit::FixedPointEdit(HWND parent, int x, int y, int width, int height, int decimals, int64_t value,
                               int64_t minimum, int64_t maximum)
    : IntEdit(parent, x, y, width, height, kDecimal, value, minimum, maximum, true, false) {
    SetDecimals(decimals);
}

void FixedPointEdit::DoOnChar(int* key, LPARAM flags) {
    if (*key == '.')
        Component::DoOnChar(key, flags);
    else
        IntEdit::DoOnChar(key, flags);
}

String FixedPointEdit::Format(int64_t value) {
    char text[128];
    int i = sizeof text - 1;
    text[i] = 0;
    uint64_t m = Magnitude(value);
    for (int k = 0; k < m_decimals; ++k, m /= 10) text[--i] = static_cast<char>('0' + m % 10);
    if (m_decimals > 0) text[--i] = '.';
    do {
        text[--i] = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m);
    if (value < 0) text[--i] = '-';
    return String(text + i);
}

void FixedPointEdit::Parse() {
    char text[128] = {};
    GetText(text, sizeof text);
    const char* p = text;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    uint64_t magnitude = 0;
    bool point = false, afterDigitOrSign = true;
    int fraction = 0;
    for (;; ++p) {
        if (*p >= '0' && *p <= '9') {
            AppendDigit(&magnitude, 10, static_cast<unsigned>(*p - '0'));
            if (point) ++fraction;
            afterDigitOrSign = true;
        } else if (*p == '.' && afterDigitOrSign) {
            point = true;  // a later point replaces an earlier one
            fraction = 0;
            afterDigitOrSign = false;
        } else {
            break;
        }
    }
    for (; fraction < m_decimals; ++fraction) AppendDigit(&magnitude, 10, 0);
    for (; fraction > m_decimals; --fraction) magnitude /= 10;
    SetValue(Signed(magnitude, negative));
}

void FixedPointEdit::SetDecimals(int decimals) {
    m_decimals = decimals < 0 ? 0 : (decimals > kMaxDecimals ? kMaxDecimals : decimals);
    SetText(Format(GetValue()));
}

double FixedPointEdit::GetValueAsDouble() const {
    return static_cast<double>(GetValue()) / static_cast<double>(IntPow(10, m_decimals));
}

void FixedPointEdit::SetValueFromDouble(double value) {
    double scaled = value * static_cast<double>(IntPow(10, m_decimals));
    int64_t v;
    if (std::isnan(scaled))
        v = 0;
    else if (scaled >= 9223372036854775807.0)
        v = INT64_MAX;
    else if (scaled <= -9223372036854775808.0)
        v = INT64_MIN;
    else
        v = static_cast<int64_t>(scaled);
    SetValue(v);
}
