#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "tests/support/widget_input.h"
#include "tests/support/widget_real_input.h"
#include "toolkit/combo_box.h"
#include "toolkit_fixture.h"

namespace {

struct Combo {
    Component* root = MakeTopLevel(400, 300);
    Component* elsewhere = MakeChild(root, 10, 200, 80, 40);
    ComboBox* box = new ComboBox(root->GetHandle(), 10, 10, 200, 24);
    EventLog dropDowns, changes;
    explicit Combo(std::vector<const char*> items = {"alpha", "beta", "gamma", "delta"}) {
        for (const char* i : items) box->GetList()->Add(String(i));
        box->OnDropDown.Bind(&dropDowns, &EventLog::Value);
        box->OnChange.Bind(&changes, &EventLog::Raised);
        SetForegroundWindow(root->GetHandle());
    }
    ~Combo() { delete root; }
    HWND List() { return box->GetList()->GetHandle(); }
    // The state, checked for agreement between the list, the arrow and the box.
    bool Open() {
        bool shown = box->GetList()->IsVisible();
        EXPECT_TRUE(shown == box->IsDroppedDown() && shown == box->GetButton()->IsDown());
        return shown;
    }
};

// By real clicks and keys: each way of opening and closing; a click that closes the list
// (taking its focus) never reopens it.
TEST(ComboBox, OpensAndClosesByArrowBoxEscapeAndFocusLoss) {
    Combo c;
    HWND arrow = c.box->GetButton()->GetHandle(), box = c.box->GetHandle();
    struct Step { HWND where; int key; bool open; } steps[] = {
        {arrow, 0, true}, {arrow, 0, false}, {box, 0, true}, {box, 0, false}, {arrow, 0, true},
        {nullptr, VK_ESCAPE, false}, {box, 0, true}, {c.elsewhere->GetHandle(), 0, false}, {arrow, 0, true},
    };
    for (const Step& s : steps) {
        if (s.where) RealClick(s.where, 8, 8);
        else SendMessageA(c.List(), WM_KEYDOWN, s.key, 1);
        Pump();
        EXPECT_EQ(c.Open(), s.open) << &s - steps;
    }
    EXPECT_EQ(c.dropDowns.values, (std::vector<int>{1, 0, 1, 0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(GetFocus(), c.List());
    RECT list, frame;
    GetWindowRect(c.List(), &list);
    GetWindowRect(box, &frame);
    EXPECT_TRUE(list.left == frame.left && list.top == frame.bottom && list.right == frame.right);
    EXPECT_EQ(c.changes.count, 0u);
}

// Hovering moves the list's highlight only; a click or Enter chooses and closes, once each.
TEST(ComboBox, ItemClickAndEnterChoose) {
    Combo c;
    RealClick(c.box->GetButton()->GetHandle(), 8, 8);
    const int y = c.box->GetList()->GetBevelDepth() + 2 * c.box->GetList()->GetLineHeight() + 3;
    RealMouse(c.List(), 20, y, false, false);
    EXPECT_EQ(c.box->GetList()->GetCurrent(), 2);
    EXPECT_EQ(c.box->GetCurrent(), -1);
    RealClick(c.List(), 20, y);
    EXPECT_FALSE(c.Open());
    EXPECT_STREQ(c.box->GetText().CStr(), "gamma");
    EXPECT_EQ(c.changes.count, 1u);
    RealClick(c.box->GetHandle(), 8, 8);
    SendMessageA(c.List(), WM_KEYDOWN, VK_DOWN, 1);
    SendMessageA(c.List(), WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_FALSE(c.Open());
    EXPECT_STREQ(c.box->GetItemText(-1).CStr(), "delta");
    EXPECT_EQ(c.changes.count, 2u);
}

TEST(ComboBox, SelectAndSetTextRules) {
    Combo c({"a", "b", "a", "c"});
    struct Row { int index; const char* text; int current; const char* shown; } rows[] = {
        {1, nullptr, 1, "b"}, {2, nullptr, 0, "a"},   // the same text as an earlier item: the earlier one
        {9, nullptr, -1, ""}, {0, "zzz", -1, "zzz"},  // no item carries it: shown all the same
        {0, "c", 3, "c"}, {-1, nullptr, -1, ""},
    };
    for (const Row& r : rows) {
        if (r.text) c.box->SetText(r.text);
        else c.box->Select(r.index);
        EXPECT_EQ(c.box->GetCurrent(), r.current) << r.index;
        EXPECT_STREQ(c.box->GetText().CStr(), r.shown);
        if (r.current >= 0) EXPECT_EQ(c.box->GetList()->GetCurrent(), r.current);
    }
    EXPECT_EQ(c.changes.count + c.dropDowns.Count(), 0u);
}

}  // namespace
