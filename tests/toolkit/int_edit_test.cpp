#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/widget_real_input.h"
#include "toolkit/int_edit.h"
#include "toolkit/spin_control.h"
#include "toolkit_fixture.h"

using namespace widget_test;

namespace {

struct Recorder {
    std::vector<int64_t> values;
    int enters = 0, escapes = 0;
    void Changed(Object* sender) { values.push_back(static_cast<IntEdit*>(sender)->GetValue()); }
    void Enter(Object*) { ++enters; }
    void Escape(Object*) { ++escapes; }
};

struct Field {
    Component* root = MakeTopLevel();
    IntEdit* edit;
    Recorder seen;
    Field(int mode, int64_t value, int64_t minimum, int64_t maximum) {
        edit = new IntEdit(root->GetHandle(), 10, 10, 120, 22, mode, value, minimum, maximum, true, false);
        edit->OnValueChanged.Bind(&seen, &Recorder::Changed);
        root->OnEnter.Bind(&seen, &Recorder::Enter);
        root->OnEscape.Bind(&seen, &Recorder::Escape);
    }
    ~Field() { delete root; }
    std::string Text() { return edit->GetText().CStr(); }
    HWND H() { return edit->GetHandle(); }
    void Wheel(int notches) { SendMessageA(H(), WM_MOUSEWHEEL, MAKEWPARAM(0, notches * WHEEL_DELTA), 0); }
};

// The field's frame is a real non-client ring, so the toolkit's sunken frame shows around the
// text.
TEST(IntEdit, TheFieldHasANonClientFrame) {
    Field f(IntEdit::kDecimal, 0, 0, 0);
    EXPECT_EQ(f.edit->GetStyle() & WS_DLGFRAME, static_cast<DWORD>(WS_DLGFRAME));
    EXPECT_GT((f.edit->Height() - f.edit->ClientHeight()) / 2, 0);
    EXPECT_EQ(f.edit->GetBevelDepth(), (f.edit->Height() - f.edit->ClientHeight()) / 2);
}

TEST(IntEdit, SetValueClampsAndNotifies) {
    Field f(IntEdit::kDecimal, 5, -10, 100);
    struct Row { int64_t set; int64_t shown; bool notifies; } rows[] = {
        {50, 50, true}, {50, 50, false}, {150, 100, true}, {150, 100, true},   // clamped: notifies again
        {-11, -10, true}, {0, 0, true},
    };
    for (const Row& r : rows) {
        f.seen.values.clear();
        f.edit->SetValue(r.set);
        EXPECT_EQ(f.edit->GetValue(), r.shown) << r.set;
        EXPECT_EQ(f.Text(), std::to_string(r.shown));
        EXPECT_EQ(f.seen.values.size(), r.notifies ? 1u : 0u) << r.set;
    }
    // Limits once set stay in force: 0/0 would switch them off.
    f.edit->SetMin(0);
    f.edit->SetMax(0);
    EXPECT_EQ(f.edit->GetMin(), -1);
    EXPECT_EQ(f.edit->GetMax(), 0);
    f.edit->SetValue(7);
    EXPECT_EQ(f.edit->GetValue(), 0);
    f.edit->SetMax(-5);   // the minimum follows below, and the value into the range
    EXPECT_EQ(f.edit->GetMin(), -6);
    EXPECT_EQ(f.edit->GetValue(), -5);
    f.edit->SetMin(INT64_MAX);   // no wrap past the top
    EXPECT_LT(f.edit->GetMin(), f.edit->GetMax());
    EXPECT_EQ(f.edit->GetValue(), f.edit->GetMin());
}

TEST(IntEdit, HexadecimalAndUnitSuffixes) {
    Field f(IntEdit::kHexLower, 0xBEEF, 0, 0);
    EXPECT_EQ(f.Text(), "beef");
    EXPECT_STREQ(f.edit->GetSuffix(), "h");
    f.edit->SetHexMode(IntEdit::kHexUpper);
    EXPECT_EQ(f.Text(), "BEEF");
    f.edit->SetValue(-1);
    EXPECT_EQ(f.Text(), "FFFFFFFFFFFFFFFF");
    f.seen.values.clear();
    f.edit->SetHexMode(IntEdit::kDecimal);
    EXPECT_EQ(f.Text(), "-1");
    EXPECT_EQ(f.edit->GetSuffix(), nullptr);
    for (int64_t v : f.seen.values) EXPECT_EQ(v, -1) << "no notification with a value the field never held";

    f.edit->SetUnitKind(IntEdit::kUnitFrequency);
    EXPECT_STREQ(f.edit->GetSuffix(), "Hz");
    SetWindowTextA(f.H(), "");
    Type(f.H(), "12k");
    EXPECT_EQ(f.Text(), "12");
    EXPECT_STREQ(f.edit->GetSuffix(), "kHz");
    Type(f.H(), "\r");
    EXPECT_EQ(f.edit->GetValue(), 12);   // the unit does not scale the value
    f.edit->SetUnitKind(IntEdit::kUnitTime);
    struct Letter { char key; const char* suffix; } letters[] = {{'m', "min"}, {'H', "h"}, {'s', "s"}, {'k', "s"}};
    for (const Letter& l : letters) {
        SendMessageA(f.H(), WM_CHAR, l.key, 1);
        EXPECT_STREQ(f.edit->GetSuffix(), l.suffix) << l.key;
    }
    EXPECT_EQ(f.Text(), "12");
}

// What each typed key does to the text, by mode, text and selection.
TEST(IntEdit, KeyFilter) {
    struct Row {
        int mode;
        const char* text;
        int selStart, selEnd;
        int key;
        const char* after;
    } rows[] = {
        {IntEdit::kDecimal, "12", 2, 2, '7', "127"},
        {IntEdit::kDecimal, "12", 2, 2, 'a', "12"},
        {IntEdit::kDecimal, "12", 2, 2, ' ', "12"},
        {IntEdit::kDecimal, "12", 2, 2, '.', "12"},
        {IntEdit::kDecimal, "12", 0, 0, '-', "-12"},
        {IntEdit::kDecimal, "12", 1, 1, '-', "12"},      // not in the middle
        {IntEdit::kDecimal, "-12", 0, 0, '-', "-12"},    // not twice
        {IntEdit::kDecimal, "-12", 0, 1, '-', "-12"},    // replacing the sign
        {IntEdit::kDecimal, "", 0, 0, '-', "-"},
        {IntEdit::kDecimal, "12", 2, 2, VK_BACK, "1"},
        {IntEdit::kHexLower, "1", 1, 1, 'F', "1F"},
        {IntEdit::kHexLower, "1", 1, 1, 'g', "1"},
        {IntEdit::kHexLower, "1", 0, 0, '-', "1"},       // no sign in hex
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

TEST(IntEdit, EnterCommitsAndEscapeRestores) {
    Field f(IntEdit::kDecimal, 5, 0, 1000);
    SetWindowTextA(f.H(), "42");
    f.seen.values.clear();
    Type(f.H(), "\r");
    EXPECT_EQ(f.seen.values, (std::vector<int64_t>{42, 42}));   // the commit, then once more
    EXPECT_EQ(f.seen.enters, 0) << "posted, not sent";
    Pump();
    EXPECT_EQ(f.seen.enters, 1);
    EXPECT_EQ(f.seen.escapes, 0);

    SetWindowTextA(f.H(), "77");
    f.seen.values.clear();
    SendMessageA(f.H(), WM_CHAR, VK_ESCAPE, 1);
    EXPECT_EQ(f.Text(), "42");
    EXPECT_EQ(f.edit->GetValue(), 42);
    EXPECT_EQ(f.seen.values, std::vector<int64_t>{42});
    Pump();
    EXPECT_EQ(f.seen.escapes, 1);
    EXPECT_EQ(f.seen.enters, 1);

    SetWindowTextA(f.H(), "zz");   // does not parse: the value stays, the text is rewritten
    Type(f.H(), "\r");
    EXPECT_EQ(f.edit->GetValue(), 42);
    EXPECT_EQ(f.Text(), "42");
}

// Typed digits beyond 64 bits saturate instead of wrapping into another value.
TEST(IntEdit, ParsingSaturates) {
    struct Row { int mode; std::string text; int64_t value; } rows[] = {
        {IntEdit::kDecimal, std::string(127, '9'), INT64_MAX},
        {IntEdit::kDecimal, "-" + std::string(127, '9'), INT64_MIN},
        {IntEdit::kDecimal, "-9223372036854775809", INT64_MIN},   // INT64_MIN - 1
        {IntEdit::kDecimal, "-9223372036854775808", INT64_MIN},
        {IntEdit::kDecimal, "9223372036854775807", INT64_MAX},
        {IntEdit::kHexLower, std::string(40, 'f'), -1},
        {IntEdit::kHexLower, "8000000000000000", INT64_MIN},
    };
    for (const Row& r : rows) {
        Field f(r.mode, 3, 0, 0);
        SetWindowTextA(f.H(), r.text.c_str());
        f.seen.values.clear();
        Type(f.H(), "\r");
        EXPECT_EQ(f.edit->GetValue(), r.value) << r.text;
        ASSERT_FALSE(f.seen.values.empty());
        EXPECT_EQ(f.seen.values.front(), r.value);
    }
    Field bounded(IntEdit::kDecimal, 3, -100, 100);
    SetWindowTextA(bounded.H(), std::string(127, '9').c_str());
    Type(bounded.H(), "\r");
    EXPECT_EQ(bounded.edit->GetValue(), 100);
}

TEST(IntEdit, FocusLossCommitsOrRestores) {
    for (bool commit : {true, false}) {
        Field f(IntEdit::kDecimal, 5, 0, 0);
        IntEdit* other = new IntEdit(f.root->GetHandle(), 10, 40, 60, 22, IntEdit::kDecimal, 0, 0, 0, false, false);
        f.edit->SetCommitOnFocusLoss(commit);
        SetForegroundWindow(f.root->GetHandle());
        SetFocus(f.H());
        SetWindowTextA(f.H(), "88");
        f.seen.values.clear();
        SetFocus(other->GetHandle());
        Pump();
        EXPECT_EQ(f.edit->GetValue(), commit ? 88 : 5);
        EXPECT_EQ(f.Text(), commit ? "88" : "5");
        EXPECT_EQ(f.seen.values, std::vector<int64_t>{commit ? 88 : 5});
    }
}

// Wheel notches and spin steps (WM_APP+9 with the count in the high word) step the value,
// committing typed text first.
TEST(IntEdit, WheelAndSpinStepsWithSnap) {
    struct Row {
        int64_t start, step;
        bool snap;
        int stepDigits;
        int notches;
        int64_t result;
    } rows[] = {
        {17, 5, true, 0, 1, 20},    {17, 5, true, 0, -1, 15},   {-17, 5, true, 0, 1, -15},
        {-17, 5, true, 0, -1, -20}, {17, 5, false, 0, 2, 27},   {20, 5, true, 0, 1, 25},
        {17, 0, true, 0, 1, 17},    // a step of 0: no grid, no move, no division
        {1000, 1, false, 2, -1, 999}, {999, 1, false, 2, 1, 1000}, {1000, 1, false, 2, 1, 1010},
        {1000000, 1, false, 2, 1, 1010000}, {0, 1, false, 2, 1, 1},
        {100, 7, false, 0, 3, 100},   // at the maximum: nothing
        {-100, 7, false, 0, -1, -100}, {95, 7, false, 0, 1, 100},   // clamped
        {INT64_MAX - 1, INT64_MAX, false, 0, 10, INT64_MAX - 1},   // no overflow past the limits
    };
    for (const Row& r : rows) {
        int64_t lo = r.start > 1000 || r.start < -1000 ? INT64_MIN : -100;
        int64_t hi = r.start > 1000 || r.start < -1000 ? INT64_MAX - 1 : 100;
        if (r.stepDigits) lo = hi = 0;
        for (bool viaSpin : {false, true}) {
            Field f(IntEdit::kDecimal, r.start, lo, hi);
            f.edit->SetStep(r.step);
            f.edit->SetSnapToStep(r.snap);
            f.edit->SetStepDigits(r.stepDigits);
            if (viaSpin) {
                PostMessageA(f.H(), WM_TK_WHEEL, static_cast<WPARAM>(static_cast<uint32_t>(r.notches) << 16), 0);
                Pump();
            } else {
                f.Wheel(r.notches);
            }
            EXPECT_EQ(f.edit->GetValue(), r.result) << r.start << " step " << r.step << " x" << r.notches << " spin " << viaSpin;
        }
    }
    Field typed(IntEdit::kDecimal, 1, 0, 0);
    SetWindowTextA(typed.H(), "40");
    typed.Wheel(1);
    EXPECT_EQ(typed.edit->GetValue(), 41);
}

// The spin control sits at the field's right edge, follows its bounds and steps it by real
// clicks on its buttons.
TEST(IntEdit, SpinControlStepsTheField) {
    Component* root = MakeTopLevel();
    IntEdit* e = new IntEdit(root->GetHandle(), 10, 10, 90, 30, IntEdit::kDecimal, 10, 0, 20, true, true);
    SpinControl* spin = e->GetSpinControl();
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->GetLeft(), e->Right());
    EXPECT_EQ(spin->Width(), 10);   // a third of the height
    e->SetSize(120, 45);
    EXPECT_EQ(e->Width() + spin->Width(), 120);
    EXPECT_EQ(spin->GetLeft(), e->Right());
    EXPECT_EQ(spin->Height(), 45);
    EXPECT_EQ(spin->Width(), 15);
    e->SetTextColor(0x00FF00);
    EXPECT_EQ(spin->GetGlyphColor(), 0x00FF00u);
    SetForegroundWindow(root->GetHandle());
    HWND up = spin->GetUpButton()->GetHandle();
    HWND down = spin->GetDownButton()->GetHandle();
    ClickAt(up, 3, 3);
    ClickAt(up, 3, 3);
    ClickAt(down, 3, 3);
    Pump();
    EXPECT_EQ(e->GetValue(), 11);
    e->Enable(false);
    EXPECT_FALSE(spin->IsEnabled());
    e->SetSpinControl(false);
    EXPECT_EQ(e->GetSpinControl(), nullptr);
    delete root;
}

TEST(FixedPointEdit, FormatAndParseRoundTrip) {
    Component* root = MakeTopLevel();
    FixedPointEdit* e = new FixedPointEdit(root->GetHandle(), 10, 10, 80, 22, 1, 0, -100000, 100000);
    struct Shown { int decimals; int64_t value; const char* text; } shown[] = {
        {1, 65, "6.5"}, {1, 5, "0.5"}, {1, -5, "-0.5"}, {1, 0, "0.0"}, {0, -42, "-42"}, {3, 1234, "1.234"},
        {3, -99999, "-99.999"},
    };
    for (const Shown& s : shown) {
        e->SetDecimals(s.decimals);
        e->SetValue(s.value);
        EXPECT_STREQ(e->GetText().CStr(), s.text);
        Type(e->GetHandle(), "\r");   // the text parses back to the same value
        EXPECT_EQ(e->GetValue(), s.value) << s.text;
    }
    e->SetDecimals(1);
    struct Typed { const char* text; int64_t value; } typed[] = {
        {"2.75", 27}, {"3", 30}, {".5", 5}, {"-1.25", -12}, {"+4.1x", 41}, {"1.2.3", 123}, {"", 0},
        {"99999999999999999999999", 100000},
    };
    for (const Typed& t : typed) {
        SetWindowTextA(e->GetHandle(), t.text);
        Type(e->GetHandle(), "\r");
        EXPECT_EQ(e->GetValue(), t.value) << t.text;
    }
    SetWindowTextA(e->GetHandle(), "");
    Type(e->GetHandle(), "-2.5");
    EXPECT_STREQ(e->GetText().CStr(), "-2.5");   // the point passes the key filter
    e->SetValueFromDouble(-3.79);
    EXPECT_EQ(e->GetValue(), -37);
    EXPECT_DOUBLE_EQ(e->GetValueAsDouble(), -3.7);
    EXPECT_EQ(IntPow(10, 9), 1000000000);
    EXPECT_EQ(IntPow(-2, 3), -8);
    EXPECT_EQ(IntPow(2, -1), 0);
    EXPECT_EQ(IntPow(0, -1), 0);   // no division by zero
    delete root;
}

}  // namespace
