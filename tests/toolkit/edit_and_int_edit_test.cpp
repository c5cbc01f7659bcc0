#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/widget_input.h"
#include "tests/support/widget_real_input.h"
#include "toolkit/edit.h"
#include "toolkit/int_edit.h"
#include "toolkit/spin_control.h"
#include "toolkit_fixture.h"

namespace {

struct TextField {
    Component* root = MakeTopLevel();
    HFONT font = CreateToolkitFont(-20, "Arial", false, false, false, false, 0, DEFAULT_CHARSET);
    Edit* edit = new Edit(root->GetHandle(), 10, 10, 200, 34, WS_CHILD | WS_VISIBLE | WS_DLGFRAME);
    TextField() { edit->SetFont(font); }
    ~TextField() {
        delete root;
        DeleteObject(font);
    }
    int Extent(const char* text) {
        SIZE s = {};
        edit->GetTextExtent(String(text), &s);
        return s.cx;
    }
};

// The suffix area takes the text's width at the next non-client paint (not before), and the
// system control's client area excludes it while GetClientRect includes it.
TEST(Edit, SuffixAreaFollowsTheTextAtTheNextNonClientPaint) {
    TextField f;
    HWND h = f.edit->GetHandle();
    const int inner = 200 - 2 * f.edit->GetBevelDepth();
    ASSERT_GT(f.edit->GetBevelDepth(), 0);
    int previous = 0;
    for (const char* suffix : {"kHz", "kHz", "MHz", static_cast<const char*>(nullptr), "h", ""}) {
        f.edit->SetSuffix(suffix);
        EXPECT_EQ(f.edit->GetSuffixWidth(), previous);
        SendMessageA(h, WM_NCPAINT, 1, 0);
        previous = suffix ? f.Extent(suffix) : 0;
        EXPECT_EQ(f.edit->GetSuffixWidth(), previous) << (suffix ? suffix : "null");
        RECT native, r;
        GetClientRect(h, &native);
        f.edit->GetClientRect(&r);
        EXPECT_EQ(native.right, inner - previous);
        EXPECT_EQ(r.right, inner);
    }
    std::string longSuffix(1500, 'x');
    f.edit->SetSuffix(longSuffix.c_str());
    EXPECT_EQ(std::string(f.edit->GetSuffix()), longSuffix.substr(0, 1000));
}

TEST(Edit, OnChangeFiresForTypedAndProgrammaticChanges) {
    TextField f;
    HWND h = f.edit->GetHandle();
    EventLog changes;
    f.edit->OnChange.Bind(&changes, &EventLog::Raised);
    Type(h, "ab");
    f.edit->SetText("xyz");
    SendMessageA(h, EM_SETSEL, 3, 3);
    Type(h, "\b");
    EXPECT_EQ(changes.Count(), 4u);
    EXPECT_STREQ(f.edit->GetText().CStr(), "xy");
}

// The suffix is painted in the text colour, or in the disabled-text colour (the system's grey
// text) while the field is disabled; nothing of it lands in the text area.
TEST(Edit, DisabledFieldPaintsItsSuffixInTheDisabledColour) {
    TextField f;
    f.edit->SetTextColor(0x00FF00);
    f.edit->SetBackColor(0);
    f.edit->SetSuffix("WHM");
    SendMessageA(f.edit->GetHandle(), WM_NCPAINT, 1, 0);
    const COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
    EXPECT_EQ(f.edit->GetDisabledTextColor(), grey);
    const int w = f.edit->Width(), h = f.edit->Height();
    RECT suffix = {w - f.edit->GetBevelDepth() - f.edit->GetSuffixWidth(), 0, w, h}, text = {0, 0, suffix.left, h};
    for (bool enabled : {true, false}) {
        f.edit->Enable(enabled);
        DibBitmap dib(static_cast<uint32_t>(w), static_cast<uint32_t>(h));
        f.edit->DrawSuffix(dib.GetDC());
        EXPECT_GT(CountColour(dib, enabled ? 0x00FF00 : grey, suffix), 20) << enabled;
        EXPECT_EQ(CountColour(dib, enabled ? grey : 0x00FF00, suffix), 0) << enabled;
        EXPECT_EQ(CountColour(dib, 0x00FF00, text) + CountColour(dib, grey, text), 0);
    }
}

// Turning redrawing back on invalidates the field (frame included), so it really repaints.
TEST(Edit, SetRedrawOnRepaints) {
    TextField f;
    HWND h = f.edit->GetHandle();
    f.edit->SetRedraw(false);
    ValidateRect(h, nullptr);
    f.edit->SetRedraw(true);
    EXPECT_TRUE(GetUpdateRect(h, nullptr, FALSE));
}

struct Field {
    Component* root = MakeTopLevel();
    IntEdit* edit;
    std::vector<int64_t> values;
    EventLog enters, escapes;
    Field(int mode, int64_t value, int64_t minimum, int64_t maximum, bool spin = false) {
        edit = new IntEdit(root->GetHandle(), 10, 10, 90, 30, mode, value, minimum, maximum, true, spin);
        edit->OnValueChanged.Bind(this, &Field::Changed);
        root->OnEnter.Bind(&enters, &EventLog::Raised);
        root->OnEscape.Bind(&escapes, &EventLog::Raised);
    }
    ~Field() { delete root; }
    void Changed(Object*) { values.push_back(edit->GetValue()); }
    std::string Text() { return edit->GetText().CStr(); }
    HWND H() { return edit->GetHandle(); }
    void Commit(const std::string& text) {
        SetWindowTextA(H(), text.c_str());
        values.clear();
        Type(H(), "\r");
    }
};

TEST(IntEdit, ClampingLimitsAndTheFrame) {
    Field f(IntEdit::kDecimal, 5, -10, 100);
    // The dialog-frame style gives a real non-client ring for the toolkit's frame.
    EXPECT_GT(f.edit->GetBevelDepth(), 0);
    EXPECT_EQ(f.edit->GetBevelDepth(), (f.edit->Height() - f.edit->ClientHeight()) / 2);
    struct Row {
        int64_t set, shown;
        size_t notices;
    } rows[] = {{50, 50, 1}, {50, 50, 0}, {150, 100, 1}, {150, 100, 1}, {-11, -10, 1}};
    for (const Row& r : rows) {
        f.values.clear();
        f.edit->SetValue(r.set);
        EXPECT_EQ(f.Text(), std::to_string(r.shown));
        EXPECT_EQ(f.values.size(), r.notices) << r.set;  // a clamp always notifies
    }
}

TEST(IntEdit, HexadecimalAndUnitSuffixes) {
    Field f(IntEdit::kHexLower, 0xBEEF, 0, 0);
    EXPECT_EQ(f.Text() + f.edit->GetSuffix(), "beefh");
    f.edit->SetHexMode(IntEdit::kHexUpper);
    f.edit->SetValue(-1);
    EXPECT_EQ(f.Text(), "FFFFFFFFFFFFFFFF");
    f.values.clear();
    f.edit->SetHexMode(IntEdit::kDecimal);
    EXPECT_EQ(f.Text(), "-1");
    EXPECT_EQ(f.edit->GetSuffix(), nullptr);
    EXPECT_EQ(f.values, std::vector<int64_t>(f.values.size(), -1)) << "never a value the field did not hold";
    f.edit->SetUnitKind(IntEdit::kUnitFrequency);
    f.Commit("");
    Type(f.H(), "12k\r");
    EXPECT_EQ(f.edit->GetValue(), 12);  // the unit does not scale the value
    EXPECT_STREQ(f.edit->GetSuffix(), "kHz");
    f.edit->SetUnitKind(IntEdit::kUnitTime);
    Type(f.H(), "Mx");
    EXPECT_EQ(f.Text() + f.edit->GetSuffix(), "12min");
}

TEST(IntEdit, KeyFilter) {
    struct Row {
        int mode;
        const char* text;
        int selStart, selEnd, key;
        const char* after;
    } rows[] = {
        {0, "12", 2, 2, '7', "127"},   {0, "12", 2, 2, 'a', "12"},   {0, "12", 2, 2, ' ', "12"},
        {0, "12", 2, 2, '.', "12"},    {0, "12", 0, 0, '-', "-12"},  {0, "12", 1, 1, '-', "12"},
        {0, "-12", 0, 0, '-', "-12"},  {0, "-12", 0, 1, '-', "-12"}, {0, "", 0, 0, '-', "-"},
        {0, "12", 2, 2, VK_BACK, "1"}, {1, "1", 1, 1, 'F', "1F"},    {1, "1", 1, 1, 'g', "1"},
        {1, "1", 0, 0, '-', "1"},
    };
    for (const Row& r : rows) {
        Field f(r.mode, 0, 0, 0);
        SetWindowTextA(f.H(), r.text);
        SendMessageA(f.H(), EM_SETSEL, r.selStart, r.selEnd);
        SendMessageA(f.H(), WM_CHAR, r.key, 1);
        EXPECT_EQ(f.Text(), r.after) << r.text << " + " << char(r.key);
        EXPECT_EQ(f.edit->GetValue(), 0) << "typing alone commits nothing";
    }
}

TEST(IntEdit, EnterEscapeFocusLossAndSaturation) {
    Field f(IntEdit::kDecimal, 5, 0, 1000);
    f.Commit("42");
    EXPECT_EQ(f.values, (std::vector<int64_t>{42, 42}));  // the commit, then once more
    SetWindowTextA(f.H(), "77");
    SendMessageA(f.H(), WM_CHAR, VK_ESCAPE, 1);
    EXPECT_EQ(f.enters.Count() + f.escapes.Count(), 0u) << "posted, not sent";
    Pump();
    EXPECT_EQ(f.Text(), "42");
    EXPECT_EQ(f.values, (std::vector<int64_t>{42, 42, 42}));
    EXPECT_EQ(f.enters.Count() + f.escapes.Count(), 2u);
    f.Commit("zz");  // does not parse: the value stays and the text is rewritten
    EXPECT_EQ(f.Text(), "42");
    Component* other = MakeChild(f.root, 10, 50, 60, 22, WS_VISIBLE | WS_TABSTOP);
    for (bool commit : {true, false}) {
        f.edit->SetCommitOnFocusLoss(commit);
        SetForegroundWindow(f.root->GetHandle());
        SetFocus(f.H());
        SetWindowTextA(f.H(), commit ? "88" : "99");
        f.values.clear();
        SetFocus(other->GetHandle());
        EXPECT_EQ(f.values, std::vector<int64_t>{88}) << commit;  // committed, or restored
        EXPECT_EQ(f.Text(), "88");
    }
    // Beyond 64 bits the number sticks at the end instead of wrapping into another value.
    struct Row {
        int mode;
        std::string text;
        int64_t value;
    } rows[] = {
        {0, std::string(127, '9'), INT64_MAX},  {0, "-" + std::string(127, '9'), INT64_MIN},
        {0, "-9223372036854775809", INT64_MIN}, {1, std::string(40, 'f'), -1},
        {1, "8000000000000000", INT64_MIN},
    };
    for (const Row& r : rows) {
        Field g(r.mode, 3, 0, 0);
        g.Commit(r.text);
        EXPECT_EQ(g.values.at(0), r.value) << r.text;
    }
}

// Wheel notches and spin steps (WM_APP+9, count in the high word) commit typed text, then
// step; with snap each step lands on the next multiple of the step.
TEST(IntEdit, WheelAndSpinStepsWithSnap) {
    struct Row {
        int64_t start, step;
        bool snap;
        int digits, notches;
        int64_t result;
    } rows[] = {
        {17, 5, true, 0, 1, 20},
        {17, 5, true, 0, -1, 15},
        {-17, 5, true, 0, 1, -15},
        {-17, 5, true, 0, -1, -20},
        {17, 5, false, 0, 2, 27},
        {17, 0, true, 0, 1, 17},  // a step of 0: no grid, no move, no division
        {1000, 1, false, 2, -1, 999},
        {1000, 1, false, 2, 1, 1010},
        {1000000, 1, false, 2, 1, 1010000},
        {100, 7, false, 0, 3, 100},
        {95, 7, false, 0, 1, 100},
        {-100, 7, false, 0, -1, -100},
    };
    for (const Row& r : rows) {
        for (bool spin : {false, true}) {
            Field f(IntEdit::kDecimal, r.start, r.digits ? 0 : -100, r.digits ? 0 : 100);
            f.edit->SetStep(r.step);
            f.edit->SetSnapToStep(r.snap);
            f.edit->SetStepDigits(r.digits);
            if (spin)
                PostMessageA(f.H(), WM_APP + 9, static_cast<WPARAM>(static_cast<uint32_t>(r.notches) << 16), 0);
            else
                SendMessageA(f.H(), WM_MOUSEWHEEL, MAKEWPARAM(0, r.notches * WHEEL_DELTA), 0);
            Pump();
            EXPECT_EQ(f.edit->GetValue(), r.result) << r.start << " by " << r.step << " x" << r.notches << " " << spin;
        }
    }
    Field big(IntEdit::kDecimal, INT64_MAX - 1, INT64_MIN, INT64_MAX - 1);
    big.edit->SetStep(INT64_MAX);
    SetWindowTextA(big.H(), "40");
    SendMessageA(big.H(), WM_MOUSEWHEEL, MAKEWPARAM(0, -10 * WHEEL_DELTA), 0);
    EXPECT_EQ(big.edit->GetValue(), INT64_MIN) << "typed 40 committed, then no overflow";
}

// The attached spin control sits at the field's right, follows its bounds (together they fill
// them) and steps it by real clicks.
TEST(IntEdit, SpinControlStepsTheField) {
    Field f(IntEdit::kDecimal, 10, 0, 20, true);
    SpinControl* spin = f.edit->GetSpinControl();
    ASSERT_NE(spin, nullptr);
    f.edit->SetSize(120, 45);
    EXPECT_EQ(f.edit->Width() + spin->Width(), 120);
    EXPECT_EQ(spin->GetLeft(), f.edit->Right());
    EXPECT_EQ(spin->Height(), 45);
    SetForegroundWindow(f.root->GetHandle());
    for (Button* b : {spin->GetUpButton(), spin->GetUpButton(), spin->GetDownButton()}) RealClick(b->GetHandle(), 3, 3);
    Pump();
    EXPECT_EQ(f.edit->GetValue(), 11);
}

TEST(FixedPointEdit, FormatAndParseRoundTrip) {
    Component* root = MakeTopLevel();
    FixedPointEdit* e = new FixedPointEdit(root->GetHandle(), 10, 10, 80, 22, 1, 0, -100000, 100000);
    HWND h = e->GetHandle();
    struct Shown {
        int decimals;
        int64_t value;
        const char* text;
    } shown[] = {
        {1, 65, "6.5"},
        {1, -5, "-0.5"},
        {0, -42, "-42"},
        {3, -99999, "-99.999"},
    };
    for (const Shown& s : shown) {
        e->SetDecimals(s.decimals);
        e->SetValue(s.value);
        EXPECT_STREQ(e->GetText().CStr(), s.text);
        Type(h, "\r");
        EXPECT_EQ(e->GetValue(), s.value) << s.text;
    }
    e->SetDecimals(1);
    struct Typed {
        const char* text;
        int64_t value;
    } typed[] = {
        {"2.75", 27}, {"3", 30}, {".5", 5}, {"-1.25", -12}, {"+4.1x", 41}, {"99999999999999999999999", 100000},
    };
    for (const Typed& t : typed) {
        SetWindowTextA(h, t.text);
        Type(h, "\r");
        EXPECT_EQ(e->GetValue(), t.value) << t.text;
    }
    EXPECT_EQ(IntPow(0, -1), 0);  // no division by zero
    delete root;
}

}  // namespace
