#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/widget_real_input.h"
#include "toolkit/listbox.h"
#include "toolkit/scroll_bar.h"
#include "toolkit_fixture.h"

using namespace widget_test;

namespace {

struct ListEvents {
    int changes = 0, clicks = 0, doubles = 0, scrolls = 0, wheelsPassed = 0;
    void Change(Object*) { ++changes; }
    void Click(Object*) { ++clicks; }
    void Double(Object*) { ++doubles; }
    void Scroll(Object*) { ++scrolls; }
    void Wheel(Object*, int, int, int*) { ++wheelsPassed; }
};

struct List {
    Component* root = MakeTopLevel(400, 400);
    Listbox* list;
    ListEvents seen;
    List(int kind, int items, int height = 150) {
        list = new Listbox(root->GetHandle(), 10, 10, 200, height, kind, true);
        for (int i = 0; i < items; ++i) list->Add(String(("item " + std::to_string(i)).c_str()));
        list->OnChange.Bind(&seen, &ListEvents::Change);
        list->OnItemClick.Bind(&seen, &ListEvents::Click);
        list->OnDblClick.Bind(&seen, &ListEvents::Double);
        list->OnScroll.Bind(&seen, &ListEvents::Scroll);
        root->OnMouseWheel.Bind(&seen, &ListEvents::Wheel);
    }
    ~List() { delete root; }
    HWND H() { return list->GetHandle(); }
    int RowY(int row) { return list->GetBevelDepth() + (row - list->GetTopIndex()) * list->GetLineHeight() + list->GetLineHeight() / 2; }
};

TEST(Listbox, KeysMoveTheSelection) {
    List l(Listbox::kSingle, 30);
    const int rows = l.list->GetVisibleRows();
    ASSERT_GT(rows, 2);
    EXPECT_EQ(l.list->GetScrollBar()->GetPage(), rows);
    EXPECT_EQ(l.list->GetScrollBar()->GetRangeMax(), 30);
    struct Row { int key; int current; int changes; } keys[] = {
        {VK_UP, -1, 0},            // nothing current: Up does nothing
        {VK_DOWN, 0, 1},           // Down from none selects the first
        {VK_UP, 0, 0},             // Up on the first does nothing
        {VK_NEXT, rows, 1},
        {VK_NEXT, 2 * rows, 1},
        {VK_PRIOR, rows, 1},
        {VK_PRIOR, 0, 1},
        {VK_PRIOR, 0, 0},
        {VK_NEXT, rows, 1},
    };
    for (const Row& k : keys) {
        l.seen.changes = 0;
        SendMessageA(l.H(), WM_KEYDOWN, k.key, 1);
        EXPECT_EQ(l.list->GetCurrent(), k.current) << k.key;
        EXPECT_EQ(l.seen.changes, k.changes) << k.key;
        int top = l.list->GetTopIndex();
        if (k.current >= 0) EXPECT_TRUE(k.current >= top && k.current < top + rows) << "scrolled into view";
    }
    for (int i = 0; i < 5; ++i) SendMessageA(l.H(), WM_KEYDOWN, VK_NEXT, 1);
    EXPECT_EQ(l.list->GetCurrent(), 29);   // Page Down near the end: the last item
    EXPECT_TRUE(l.list->IsSelected(29));
    EXPECT_FALSE(l.list->IsSelected(rows));
    SendMessageA(l.H(), WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(l.seen.clicks, 1);
    l.list->Select(-1, true);   // ignored
    l.list->Select(29, true);   // already current: no event
    l.seen.changes = 0;
    l.list->Select(29, false);
    EXPECT_EQ(l.list->GetCurrent(), -1);
    EXPECT_EQ(l.seen.changes, 1);
}

TEST(Listbox, ClicksSelectAndTheSecondOnTheSameRowIsADoubleClick) {
    List l(Listbox::kSingle, 5);
    SetForegroundWindow(l.root->GetHandle());
    ClickAt(l.H(), 30, l.RowY(2));
    EXPECT_EQ(l.list->GetCurrent(), 2);
    EXPECT_EQ(GetFocus(), l.H());
    EXPECT_EQ(l.seen.clicks, 1);
    ClickAt(l.H(), 30, l.RowY(2));
    EXPECT_EQ(l.seen.clicks, 1);
    EXPECT_EQ(l.seen.doubles, 1);
    ClickAt(l.H(), 30, l.RowY(4));
    EXPECT_EQ(l.list->GetCurrent(), 4);
    EXPECT_EQ(l.seen.clicks, 2);
    EXPECT_EQ(l.seen.doubles, 1);
    ClickAt(l.H(), 30, l.RowY(7));   // below the last item: no selection, still a click
    EXPECT_EQ(l.list->GetCurrent(), 4);
    EXPECT_EQ(l.seen.clicks, 3);
    SendMessageA(l.H(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(30, l.RowY(1)));
    EXPECT_EQ(l.list->GetCurrent(), 1);

    List follow(Listbox::kDropDown, 5);
    SendMessageA(follow.H(), WM_MOUSEMOVE, 0, MAKELPARAM(30, follow.RowY(3)));
    EXPECT_EQ(follow.list->GetCurrent(), 3);
    SendMessageA(follow.H(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, follow.RowY(1)));
    EXPECT_EQ(follow.list->GetCurrent(), 3) << "a press selects nothing in the drop-down mode";
    SendMessageA(follow.H(), WM_LBUTTONUP, 0, MAKELPARAM(30, follow.RowY(1)));

    List multi(Listbox::kMultiple, 6);
    auto press = [&](int row, int keys) {
        SendMessageA(multi.H(), WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(30, multi.RowY(row)));
        SendMessageA(multi.H(), WM_LBUTTONUP, 0, MAKELPARAM(30, multi.RowY(row)));
    };
    press(1, 0);
    press(4, MK_SHIFT);
    press(2, MK_CONTROL);
    std::string marks;
    for (int i = 0; i < 6; ++i) marks += multi.list->IsSelected(i) ? 'x' : '.';
    EXPECT_EQ(marks, ".x.xx.");
    EXPECT_EQ(multi.seen.changes, 1);
}

// Whatever the mode, the current index names the same record after inserts, removals and
// swaps, or -1 once that record is gone; it never names a row at or beyond the count.
TEST(Listbox, InsertRemoveAndSwapKeepTheCurrentIndexValid) {
    struct Op { char what; int a, b; } ops[] = {
        {'i', 0, 0}, {'i', 9, 0}, {'i', 3, 0}, {'s', 0, 3}, {'r', 0, 0}, {'s', 1, 5}, {'r', 7, 0},
        {'r', 40, 0}, {'r', -1, 0}, {'i', -1, 0}, {'r', 1, 0}, {'i', 0, 0}, {'c', 0, 0}, {'i', 0, 0},
        {'s', 0, 1},
    };
    for (int kind : {int{Listbox::kSingle}, Listbox::kDropDown, int{Listbox::kMultiple}}) {
        List l(kind, 5);
        if (kind == Listbox::kMultiple) SendMessageA(l.H(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, l.RowY(2)));
        else l.list->Select(2, true);
        ASSERT_EQ(l.list->GetCurrent(), 2);
        String named = l.list->GetItemText(2);
        bool gone = false;
        for (const Op& o : ops) {
            if (o.what == 'i') l.list->Insert(String("new"), o.a);
            if (o.what == 'r') l.list->Remove(o.a);
            if (o.what == 'c') {
                gone = true;
                l.list->Remove(l.list->GetCurrent());
            }
            if (o.what == 's') l.list->Swap(o.a, o.b);
            int c = l.list->GetCurrent();
            ASSERT_LT(c, l.list->Count()) << kind << " " << o.what << o.a;
            if (gone) {
                EXPECT_EQ(c, -1) << kind;
            } else {
                ASSERT_GE(c, 0);
                EXPECT_EQ(l.list->GetItemText(c), named) << kind << " " << o.what << o.a;
                EXPECT_TRUE(l.list->IsSelected(c));
            }
            EXPECT_EQ(l.list->GetScrollBar()->GetRangeMax(), l.list->Count());
        }
        EXPECT_TRUE(gone);
        l.list->Clear();
        EXPECT_EQ(l.list->Count(), 0);
        EXPECT_EQ(l.list->GetCurrent(), -1);
    }
}

// Marked rows in the selection colours, other rows in the back colour, nothing under the
// scroll bar, and the disabled colour for a disabled list's text.
TEST(Listbox, RowColoursAndClippingAtTheScrollBar) {
    List l(Listbox::kSingle, 0, 120);
    l.list->SetBackColor(0x302010);
    l.list->SetTextColor(0x00FF00);
    l.list->SetSelectionBackColor(0x800000);
    l.list->SetSelectionTextColor(0x00FFFF);
    HFONT font = CreateToolkitFont(-16, "Arial", true, false, false, false, 0, DEFAULT_CHARSET);
    l.list->SetFont(font);
    std::string wide(200, 'W');
    for (int i = 0; i < 3; ++i) l.list->Add(String(wide.c_str()));
    l.list->Select(1, true);
    const int b = l.list->GetBevelDepth(), line = l.list->GetLineHeight();
    const int barLeft = l.list->ClientWidth() - b - l.list->GetScrollBar()->Width();
    for (bool enabled : {true, false}) {
        l.list->Enable(enabled);
        DibBitmap dib(static_cast<uint32_t>(l.list->ClientWidth()), static_cast<uint32_t>(l.list->ClientHeight()));
        SendMessageA(l.H(), WM_PAINT, reinterpret_cast<WPARAM>(dib.GetDC()), 0);
        EXPECT_EQ(PixelAt(dib, b, b), 0x302010u);                   // row 0's left margin
        EXPECT_EQ(PixelAt(dib, b, b + line + 1), 0x800000u);        // the marked row
        EXPECT_EQ(PixelAt(dib, b, b + 3 * line + 2), 0x302010u);    // below the rows
        RECT bar = {barLeft, b, l.list->ClientWidth() - b, l.list->ClientHeight() - b};
        RECT rows = {b, b, barLeft, b + 3 * line};
        EXPECT_EQ(CountColour(dib, 0, bar), (bar.right - bar.left) * (bar.bottom - bar.top)) << "untouched";
        COLORREF ink = enabled ? 0x00FF00 : l.list->GetDisabledTextColor();
        EXPECT_GT(CountColour(dib, ink, rows), 50) << enabled;
        EXPECT_EQ(CountColour(dib, enabled ? 0x00FFFF : 0x00FF00, RECT{b, b + 2 * line, barLeft, b + 3 * line}), 0);
    }
    delete l.root;
    l.root = MakeTopLevel();
    DeleteObject(font);
}

TEST(Listbox, WheelScrollsAndStopsThere) {
    List l(Listbox::kSingle, 40);
    SendMessageA(l.H(), WM_MOUSEWHEEL, MAKEWPARAM(0, -2 * WHEEL_DELTA), 0);
    EXPECT_EQ(l.list->GetTopIndex(), 2);
    EXPECT_EQ(l.seen.scrolls, 1);
    SendMessageA(l.H(), WM_MOUSEWHEEL, MAKEWPARAM(0, 5 * WHEEL_DELTA), 0);
    EXPECT_EQ(l.list->GetTopIndex(), 0);
    Pump();
    EXPECT_EQ(l.seen.wheelsPassed, 0);
    EXPECT_EQ(l.list->RowAt(0), 0);
    EXPECT_EQ(l.list->RowAt(-1), -1);
}

// A list shorter than its bevels has no visible rows (not four billion of them) and still
// selects, paints and pages safely.
TEST(Listbox, ShorterThanItsBevelsShowsNoRows) {
    List l(Listbox::kSingle, 10, 3);
    EXPECT_EQ(l.list->GetVisibleRows(), 0);
    struct Row { int key; int current; } keys[] = {{VK_NEXT, -1}, {VK_DOWN, 0}, {VK_DOWN, 1}, {VK_NEXT, 1}, {VK_PRIOR, 1}};
    for (const Row& k : keys) {
        SendMessageA(l.H(), WM_KEYDOWN, k.key, 1);
        EXPECT_EQ(l.list->GetCurrent(), k.current) << k.key;
    }
    DibBitmap dib(200, 3);
    SendMessageA(l.H(), WM_PAINT, reinterpret_cast<WPARAM>(dib.GetDC()), 0);
}

}  // namespace
