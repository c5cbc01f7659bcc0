#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/widget_real_input.h"
#include "toolkit/combo_box.h"
#include "toolkit_fixture.h"

using namespace widget_test;

namespace {

struct ComboEvents {
    std::vector<int> dropDowns;
    int changes = 0;
    void DropDown(Object*, int open) { dropDowns.push_back(open); }
    void Change(Object*) { ++changes; }
};

struct Combo {
    Component* root = MakeTopLevel(400, 300);
    Component* elsewhere = MakeChild(root, 10, 200, 80, 40);
    ComboBox* box = new ComboBox(root->GetHandle(), 10, 10, 200, 24);
    ComboEvents seen;
    explicit Combo(std::vector<const char*> items = {"alpha", "beta", "gamma", "delta"}) {
        for (const char* i : items) box->GetList()->Add(String(i));
        box->OnDropDown.Bind(&seen, &ComboEvents::DropDown);
        box->OnChange.Bind(&seen, &ComboEvents::Change);
        SetForegroundWindow(root->GetHandle());
        Pump();
    }
    ~Combo() { delete root; }
    bool Open() {
        bool shown = box->GetList()->IsVisible();
        EXPECT_EQ(shown, box->IsDroppedDown());
        EXPECT_EQ(box->GetButton()->IsDown(), shown);
        return shown;
    }
    void ClickArrow() { ClickAt(box->GetButton()->GetHandle(), 8, 8); }
    void ClickBox() { ClickAt(box->GetHandle(), 30, 10); }
    int RowY(int row) { return box->GetList()->GetBevelDepth() + row * box->GetList()->GetLineHeight() + 3; }
};

// Each way of opening and closing, by real clicks and keys; a click that closes the list
// never reopens it.
TEST(ComboBox, OpensAndClosesByArrowBoxEscapeAndFocusLoss) {
    Combo c;
    EXPECT_FALSE(c.Open());
    c.ClickArrow();
    ASSERT_TRUE(c.Open());
    RECT list, box;
    GetWindowRect(c.box->GetList()->GetHandle(), &list);
    GetWindowRect(c.box->GetHandle(), &box);
    EXPECT_EQ(list.left, box.left);
    EXPECT_EQ(list.top, box.bottom);
    EXPECT_EQ(list.right - list.left, 200);
    EXPECT_EQ(GetFocus(), c.box->GetList()->GetHandle());
    c.ClickArrow();
    EXPECT_FALSE(c.Open()) << "the arrow closes it and does not reopen it";
    c.ClickBox();
    EXPECT_TRUE(c.Open());
    c.ClickBox();
    EXPECT_FALSE(c.Open());
    c.ClickArrow();
    ASSERT_TRUE(c.Open());
    SendMessageA(c.box->GetList()->GetHandle(), WM_KEYDOWN, VK_ESCAPE, 1);
    Pump();
    EXPECT_FALSE(c.Open());
    c.ClickBox();
    ASSERT_TRUE(c.Open());
    ClickAt(c.elsewhere->GetHandle(), 5, 5);
    EXPECT_FALSE(c.Open()) << "closed by the focus loss";
    c.ClickArrow();
    EXPECT_TRUE(c.Open()) << "and the next click opens it again";
    EXPECT_EQ(c.seen.dropDowns, (std::vector<int>{1, 0, 1, 0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(c.seen.changes, 0);
    EXPECT_EQ(c.box->GetCurrent(), -1);
}

// Hovering moves the list's highlight only; a click or Enter chooses, once.
TEST(ComboBox, ItemClickAndEnterChoose) {
    Combo c;
    c.ClickArrow();
    HWND list = c.box->GetList()->GetHandle();
    MoveTo(list, 20, c.RowY(2));
    EXPECT_EQ(c.box->GetList()->GetCurrent(), 2);
    EXPECT_EQ(c.box->GetCurrent(), -1);
    EXPECT_STREQ(c.box->GetText().CStr(), "");
    ClickAt(list, 20, c.RowY(2));
    EXPECT_FALSE(c.Open());
    EXPECT_EQ(c.box->GetCurrent(), 2);
    EXPECT_STREQ(c.box->GetText().CStr(), "gamma");
    EXPECT_EQ(c.seen.changes, 1);
    c.ClickBox();
    ASSERT_TRUE(c.Open());
    SendMessageA(list, WM_KEYDOWN, VK_DOWN, 1);
    SendMessageA(list, WM_KEYDOWN, VK_RETURN, 1);
    Pump();
    EXPECT_FALSE(c.Open());
    EXPECT_EQ(c.box->GetCurrent(), 3);
    EXPECT_STREQ(c.box->GetItemText(-1).CStr(), "delta");
    EXPECT_EQ(c.seen.changes, 2);
}

TEST(ComboBox, SelectAndSetTextRules) {
    Combo c({"a", "b", "a", "c"});
    struct Row { char op; int index; const char* text; int current; const char* shown; } rows[] = {
        {'s', 1, nullptr, 1, "b"},
        {'s', 2, nullptr, 0, "a"},      // the same text as an earlier item: the earlier one
        {'s', 9, nullptr, -1, ""},
        {'t', 0, "zzz", -1, "zzz"},     // no item carries it: shown all the same
        {'t', 0, "c", 3, "c"},
        {'s', -1, nullptr, -1, ""},
    };
    for (const Row& r : rows) {
        if (r.op == 's') c.box->Select(r.index);
        else c.box->SetText(r.text);
        EXPECT_EQ(c.box->GetCurrent(), r.current) << r.op << r.index;
        EXPECT_STREQ(c.box->GetText().CStr(), r.shown);
        if (r.current >= 0) EXPECT_EQ(c.box->GetList()->GetCurrent(), r.current);
    }
    EXPECT_EQ(c.seen.changes, 0);
    EXPECT_TRUE(c.seen.dropDowns.empty());
    c.box->SetButtonWidth(14);
    EXPECT_EQ(c.box->GetButton()->Width(), 14);
    EXPECT_EQ(c.box->GetButton()->Height(), c.box->ClientHeight() - 2 * c.box->GetBevelDepth());
}

}  // namespace
