#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/support/widget_real_input.h"
#include "toolkit/edit.h"
#include "toolkit_fixture.h"

using namespace widget_test;

namespace {

struct Changes {
    int count = 0;
    void Changed(Object*) { ++count; }
};

HFONT BigFont() { return CreateToolkitFont(-20, "Arial", false, false, false, false, 0, DEFAULT_CHARSET); }

int TextWidth(Edit* e, const char* text) {
    SIZE s = {};
    e->GetTextExtent(String(text), &s);
    return s.cx;
}

int NativeClientWidth(HWND h) {
    RECT r;
    GetClientRect(h, &r);
    return r.right;
}

// The suffix area follows the text's width at the next non-client paint, and the client area
// handed to the system control excludes it.
TEST(Edit, SuffixAreaFollowsTheTextAtTheNextNonClientPaint) {
    Component* root = MakeTopLevel();
    HFONT font = BigFont();
    Edit* e = new Edit(root->GetHandle(), 10, 10, 200, 30, WS_CHILD | WS_VISIBLE | WS_DLGFRAME);
    e->SetFont(font);
    HWND h = e->GetHandle();
    const int border = e->GetBevelDepth();
    ASSERT_GT(border, 0);
    EXPECT_EQ(NativeClientWidth(h), 200 - 2 * border);
    struct Step { const char* suffix; int expected; } steps[] = {
        {"kHz", TextWidth(e, "kHz")}, {"kHz", TextWidth(e, "kHz")}, {"MHz", TextWidth(e, "MHz")},
        {nullptr, 0}, {"h", TextWidth(e, "h")}, {"", 0},
    };
    int previous = 0;
    for (const Step& s : steps) {
        e->SetSuffix(s.suffix);
        EXPECT_EQ(e->GetSuffixWidth(), previous) << "no change before the paint";
        SendMessageA(h, WM_NCPAINT, 1, 0);
        EXPECT_EQ(e->GetSuffixWidth(), s.expected) << (s.suffix ? s.suffix : "null");
        EXPECT_EQ(NativeClientWidth(h), 200 - 2 * border - s.expected);
        RECT r;
        e->GetClientRect(&r);
        EXPECT_EQ(r.right, 200 - 2 * border) << "text plus suffix";
        previous = s.expected;
    }
    std::string longSuffix(1500, 'x');
    e->SetSuffix(longSuffix.c_str());
    EXPECT_EQ(std::string(e->GetSuffix()), longSuffix.substr(0, 1000));
    delete root;
    DeleteObject(font);
}

TEST(Edit, OnChangeFiresForTypedAndProgrammaticChanges) {
    Component* root = MakeTopLevel();
    Edit* e = new Edit(root->GetHandle(), 10, 10, 120, 24, WS_CHILD | WS_VISIBLE | WS_BORDER);
    Changes changes;
    e->OnChange.Bind(&changes, &Changes::Changed);
    Type(e->GetHandle(), "ab");
    EXPECT_EQ(changes.count, 2);
    EXPECT_STREQ(e->GetText().CStr(), "ab");
    e->SetText("xyz");
    EXPECT_EQ(changes.count, 3);
    SendMessageA(e->GetHandle(), EM_SETSEL, 3, 3);
    SendMessageA(e->GetHandle(), WM_CHAR, VK_BACK, 1);
    EXPECT_EQ(changes.count, 4);
    EXPECT_STREQ(e->GetText().CStr(), "xy");
    e->SetReadOnly(true);
    EXPECT_TRUE(e->IsReadOnly());
    Type(e->GetHandle(), "q");
    EXPECT_EQ(changes.count, 4);
    delete root;
}

// The suffix is painted in the text colour, or in the disabled-text colour (the system's grey
// text by default) while the field is disabled.
TEST(Edit, DisabledFieldPaintsItsSuffixInTheDisabledColour) {
    Component* root = MakeTopLevel();
    HFONT font = BigFont();
    Edit* e = new Edit(root->GetHandle(), 10, 10, 200, 34, WS_CHILD | WS_VISIBLE | WS_DLGFRAME);
    e->SetFont(font);
    e->SetTextColor(0x00FF00);
    e->SetBackColor(0x000000);
    e->SetSuffix("WHM");
    SendMessageA(e->GetHandle(), WM_NCPAINT, 1, 0);
    const COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
    ASSERT_NE(grey, 0x00FF00u);
    for (bool enabled : {true, false}) {
        e->Enable(enabled);
        DibBitmap dib(static_cast<uint32_t>(e->Width()), static_cast<uint32_t>(e->Height()));
        e->DrawSuffix(dib.GetDC());
        RECT suffix = {e->Width() - e->GetBevelDepth() - e->GetSuffixWidth(), 0, e->Width(), e->Height()};
        RECT text = {0, 0, suffix.left, e->Height()};
        EXPECT_GT(CountColour(dib, enabled ? 0x00FF00 : grey, suffix), 20) << enabled;
        EXPECT_EQ(CountColour(dib, enabled ? grey : 0x00FF00, suffix), 0) << enabled;
        EXPECT_EQ(CountColour(dib, 0x00FF00, text) + CountColour(dib, grey, text), 0) << "only the suffix area";
    }
    EXPECT_EQ(e->GetDisabledTextColor(), grey);
    delete root;
    DeleteObject(font);
}

}  // namespace
