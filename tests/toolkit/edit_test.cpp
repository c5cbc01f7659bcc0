#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/support/widget_input.h"
#include "tests/support/widget_real_input.h"
#include "toolkit/edit.h"
#include "toolkit_fixture.h"

namespace {

struct Field {
    Component* root = MakeTopLevel();
    HFONT font = CreateToolkitFont(-20, "Arial", false, false, false, false, 0, DEFAULT_CHARSET);
    Edit* edit = new Edit(root->GetHandle(), 10, 10, 200, 34, WS_CHILD | WS_VISIBLE | WS_DLGFRAME);
    Field() { edit->SetFont(font); }
    ~Field() {
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
    Field f;
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
    Field f;
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
    Field f;
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

}  // namespace
