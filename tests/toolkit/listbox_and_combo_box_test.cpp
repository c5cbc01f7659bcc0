#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/widget_input.h"
#include "tests/support/widget_real_input.h"
#include "toolkit/combo_box.h"
#include "toolkit/listbox.h"
#include "toolkit/scroll_bar.h"
#include "toolkit_fixture.h"

namespace {

struct List {
    Component* root = MakeTopLevel(400, 400);
    Listbox* list;
    EventLog changes, clicks, doubles, scrolls, passedWheels;
    List(int kind, int items, int height = 150) {
        list = new Listbox(root->GetHandle(), 10, 10, 200, height, kind, true);
        for (int i = 0; i < items; ++i) list->Add(String(("item " + std::to_string(i)).c_str()));
        list->OnChange.Bind(&changes, &EventLog::Raised);
        list->OnItemClick.Bind(&clicks, &EventLog::Raised);
        list->OnDblClick.Bind(&doubles, &EventLog::Raised);
        list->OnScroll.Bind(&scrolls, &EventLog::Raised);
        root->OnMouseWheel.Bind(this, &List::Wheel);
    }
    ~List() { delete root; }
    void Wheel(Object*, int, int, int*) { passedWheels.Raised(nullptr); }
    HWND H() { return list->GetHandle(); }
    int RowY(int row) { return list->GetBevelDepth() + (row - list->GetTopIndex()) * list->GetLineHeight() + 2; }
};

// Keys in a list of 30, and in one shorter than its bevels (no visible rows, not four
// billion of them).
TEST(Listbox, KeysMoveTheSelection) {
    List l(Listbox::kSingle, 30);
    const int n = l.list->GetVisibleRows();
    ASSERT_GT(n, 2);
    EXPECT_EQ(l.list->GetScrollBar()->GetPage(), n);
    struct Row {
        int key, current;
        size_t changes;
    } keys[] = {
        {VK_UP, -1, 0},   {VK_DOWN, 0, 1},  {VK_UP, 0, 0},    {VK_NEXT, n, 1}, {VK_NEXT, 2 * n, 1},
        {VK_PRIOR, n, 1}, {VK_PRIOR, 0, 1}, {VK_PRIOR, 0, 0}, {VK_NEXT, n, 1},
    };
    for (const Row& k : keys) {
        l.changes.count = 0;
        SendMessageA(l.H(), WM_KEYDOWN, k.key, 1);
        EXPECT_EQ(l.list->GetCurrent(), k.current) << k.key;
        EXPECT_EQ(l.changes.count, k.changes) << k.key;
        EXPECT_LE(l.list->GetTopIndex(), k.current < 0 ? 0 : k.current) << "in view";
        EXPECT_GT(l.list->GetTopIndex() + n, k.current) << "in view";
    }
    for (int i = 0; i < 5; ++i) SendMessageA(l.H(), WM_KEYDOWN, VK_NEXT, 1);
    EXPECT_EQ(l.list->GetCurrent(), 29);
    EXPECT_FALSE(l.list->IsSelected(n));
    SendMessageA(l.H(), WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(l.clicks.count, 1u);

    List flat(Listbox::kSingle, 10, 3);
    EXPECT_EQ(flat.list->GetVisibleRows(), 0);
    for (int key : {VK_NEXT, VK_DOWN, VK_DOWN, VK_NEXT, VK_PRIOR}) SendMessageA(flat.H(), WM_KEYDOWN, key, 1);
    EXPECT_EQ(flat.list->GetCurrent(), 1);
}

TEST(Listbox, ClicksDoubleClicksAndTheMouseModes) {
    List l(Listbox::kSingle, 5);
    SetForegroundWindow(l.root->GetHandle());
    struct Row {
        int row, current;
        size_t clicks, doubles;
    } rows[] = {
        {2, 2, 1, 0},
        {2, 2, 1, 1},  // the second release on the row within the double-click time
        {4, 4, 2, 1},
        {7, 4, 3, 1},  // below the last item: no selection, still a click
    };
    for (const Row& r : rows) {
        RealClick(l.H(), 30, l.RowY(r.row));
        EXPECT_EQ(l.list->GetCurrent(), r.current) << r.row;
        EXPECT_EQ(l.clicks.count, r.clicks) << r.row;
        EXPECT_EQ(l.doubles.count, r.doubles) << r.row;
    }
    EXPECT_EQ(GetFocus(), l.H());

    List follow(Listbox::kDropDown, 5);
    SendMessageA(follow.H(), WM_MOUSEMOVE, 0, MAKELPARAM(30, follow.RowY(3)));
    MouseDown(follow.H(), 30, follow.RowY(1));
    EXPECT_EQ(follow.list->GetCurrent(), 3) << "the mouse movement selects, not the press";
}

// In every mode the current index names the same record after inserts, removals and swaps,
// or -1 once that record is gone; it never names a row at or beyond the count.
TEST(Listbox, InsertRemoveAndSwapKeepTheCurrentIndexValid) {
    struct Op {
        char what;
        int a, b;
    } ops[] = {
        {'i', 0, 0},  {'i', 9, 0},  {'i', 3, 0}, {'s', 0, 3}, {'r', 0, 0}, {'s', 1, 5},
        {'r', 40, 0}, {'r', -1, 0}, {'r', 1, 0}, {'c', 0, 0}, {'i', 0, 0}, {'s', 0, 1},
    };
    for (int kind : {0, 3, 2}) {
        List l(kind, 5);
        if (kind == Listbox::kMultiple)
            MouseDown(l.H(), 30, l.RowY(2));
        else
            l.list->Select(2, true);
        String named = l.list->GetItemText(2);
        bool gone = false;
        for (const Op& o : ops) {
            if (o.what == 'i') l.list->Insert(String("new"), o.a);
            if (o.what == 'r') l.list->Remove(o.a);
            if (o.what == 's') l.list->Swap(o.a, o.b);
            if (o.what == 'c') gone = true, l.list->Remove(l.list->GetCurrent());
            const int c = l.list->GetCurrent();
            ASSERT_LT(c, l.list->Count());
            if (gone)
                EXPECT_EQ(c, -1) << kind;
            else
                EXPECT_TRUE(c >= 0 && l.list->GetItemText(c) == named && l.list->IsSelected(c))
                    << kind << o.what << o.a;
            EXPECT_EQ(l.list->GetScrollBar()->GetRangeMax(), l.list->Count());
        }
    }
}

// Marked rows in the selection colours, others in the back colour, nothing under the scroll
// bar, the disabled colour for a disabled list's text; the wheel scrolls and stops there.
TEST(Listbox, RowColoursClippingAndTheWheel) {
    List l(Listbox::kSingle, 0, 120);
    l.list->SetBackColor(0x302010);
    l.list->SetTextColor(0x00FF00);
    l.list->SetSelectionBackColor(0x800000);
    l.list->SetSelectionTextColor(0x00FFFF);
    HFONT font = CreateToolkitFont(-16, "Arial", true, false, false, false, 0, DEFAULT_CHARSET);
    l.list->SetFont(font);
    for (int i = 0; i < 3; ++i) l.list->Add(String(std::string(200, 'W').c_str()));
    l.list->Select(1, true);
    const int b = l.list->GetBevelDepth(), line = l.list->GetLineHeight(), w = l.list->ClientWidth();
    const int barLeft = w - b - l.list->GetScrollBar()->Width();
    for (bool enabled : {true, false}) {
        l.list->Enable(enabled);
        DibBitmap dib(static_cast<uint32_t>(w), static_cast<uint32_t>(l.list->ClientHeight()));
        SendMessageA(l.H(), WM_PAINT, reinterpret_cast<WPARAM>(dib.GetDC()), 0);
        EXPECT_EQ(PixelAt(dib, b, b), 0x302010u);
        EXPECT_EQ(PixelAt(dib, b, b + line + 1), 0x800000u);
        EXPECT_EQ(PixelAt(dib, b, b + 3 * line + 2), 0x302010u);
        RECT bar = {barLeft, b, w - b, l.list->ClientHeight() - b};
        EXPECT_EQ(CountColour(dib, 0, bar), (bar.right - bar.left) * (bar.bottom - bar.top)) << "untouched";
        EXPECT_GT(CountColour(dib, enabled ? 0x00FF00 : l.list->GetDisabledTextColor(), RECT{b, b, barLeft, b + line}),
                  50);
        EXPECT_GT(CountColour(dib, enabled ? 0x00FFFF : l.list->GetDisabledTextColor(),
                              RECT{b, b + line, barLeft, b + 2 * line}),
                  50);
    }
    for (int i = 0; i < 30; ++i) l.list->Add(String("x"));
    SendMessageA(l.H(), WM_MOUSEWHEEL, MAKEWPARAM(0, -2 * WHEEL_DELTA), 0);
    EXPECT_EQ(l.list->GetTopIndex(), 2);
    SendMessageA(l.H(), WM_MOUSEWHEEL, MAKEWPARAM(0, 5 * WHEEL_DELTA), 0);
    EXPECT_EQ(l.list->GetTopIndex(), 0);
    Pump();
    EXPECT_EQ(l.scrolls.count, 2u);
    EXPECT_EQ(l.passedWheels.count, 0u);
    delete l.root;
    l.root = MakeTopLevel();
    DeleteObject(font);
}

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
// (taking its focus) never reopens it. A WM_CLOSE to the open list (Alt+F4) closes it and the
// list opens again.
TEST(ComboBox, OpensAndClosesByArrowBoxEscapeAndFocusLoss) {
    Combo c;
    HWND arrow = c.box->GetButton()->GetHandle(), box = c.box->GetHandle();
    constexpr int kClose = -1;
    struct Step {
        HWND where;
        int key;
        bool open;
    } steps[] = {
        {arrow, 0, true},   {arrow, 0, false},           {box, 0, true},  {box, 0, false},
        {arrow, 0, true},   {nullptr, VK_ESCAPE, false}, {box, 0, true},  {c.elsewhere->GetHandle(), 0, false},
        {arrow, 0, true},   {nullptr, kClose, false},    {arrow, 0, true},
    };
    for (const Step& s : steps) {
        if (s.where)
            RealClick(s.where, 8, 8);
        else if (s.key == kClose)
            SendMessageA(c.List(), WM_CLOSE, 0, 0);
        else
            SendMessageA(c.List(), WM_KEYDOWN, s.key, 1);
        Pump();
        ASSERT_TRUE(IsWindow(c.List())) << &s - steps;
        EXPECT_EQ(c.Open(), s.open) << &s - steps;
    }
    EXPECT_EQ(c.dropDowns.values, (std::vector<int>{1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}));
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
    constexpr int kNoSelect = -2;
    struct Row {
        int index;
        const char* text;
        int current;
        const char* shown;
        const char* rebuilt = nullptr;  // first the list is emptied and refilled: one item per letter
    } rows[] = {
        {1, nullptr, 1, "b"}, {2, nullptr, 0, "a"},   // the same text as an earlier item: the earlier one
        {9, nullptr, -1, ""}, {0, "zzz", -1, "zzz"},  // no item carries it: shown all the same
        {0, "c", 3, "c"},     {-1, nullptr, -1, ""},
        // A rebuilt list: the chosen item is gone, the same index names another one.
        {1, nullptr, 1, "b"}, {1, nullptr, 1, "y", "xy"}, {kNoSelect, nullptr, -1, "", "pq"},
    };
    for (const Row& r : rows) {
        if (r.rebuilt) {
            c.box->GetList()->Clear();
            for (const char* i = r.rebuilt; *i; ++i) c.box->GetList()->Add(String(std::string(1, *i).c_str()));
        }
        if (r.text)
            c.box->SetText(r.text);
        else if (r.index != kNoSelect)
            c.box->Select(r.index);
        EXPECT_EQ(c.box->GetCurrent(), r.current) << r.index;
        EXPECT_STREQ(c.box->GetText().CStr(), r.shown);
        if (r.current >= 0) {
            EXPECT_EQ(c.box->GetList()->GetCurrent(), r.current);
        }
    }
    EXPECT_EQ(c.changes.count + c.dropDowns.Count(), 0u);
}

}  // namespace
