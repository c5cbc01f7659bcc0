#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

#include "tests/support/widget_input.h"
#include "tests/support/widget_real_input.h"
#include "toolkit/scroll_bar.h"
#include "toolkit_fixture.h"

namespace {

// 20 x 220 (or 220 x 20) with bevel depth 2: inside the frame 16 x 216 at (2, 2), arrows of
// 16, a track of 184 between them.
struct Bar {
    Component* root = MakeTopLevel(300, 300);
    ScrollBar* bar;
    EventLog scrolls;
    explicit Bar(int orientation = ScrollBar::kVertical, int64_t max = 100, int64_t page = 10, int64_t pos = 0) {
        bar = new ScrollBar(root->GetHandle(), orientation, 10, 10, orientation ? 20 : 220, orientation ? 220 : 20, 0);
        bar->SetBevelDepth(2);
        bar->SetParams(0, max, page, pos);
        bar->OnScroll.Bind(&scrolls, &EventLog::Raised);
    }
    ~Bar() { delete root; }
    Button* Thumb() { return bar->GetThumb(); }
};

TEST(ScrollBar, ClampsAndFiresOnlyWhenThePositionMoves) {
    Bar b(ScrollBar::kVertical, 1000, 100, 50);
    struct Row { char op; int64_t a, b, c, d, max, page, pos; size_t events; } rows[] = {
        {'o', 50, 0, 0, 0, 1000, 100, 50, 0},        // unchanged: no event
        {'o', 5000, 0, 0, 0, 1000, 100, 900, 1},     // to max - page
        {'o', -3, 0, 0, 0, 1000, 100, 0, 1},
        {'p', 10, 5, 20, 7, 10, 0, 10, 0},           // max raised to min, page cut; SetParams never fires
        {'p', 0, 100, 10, 80, 100, 10, 80, 0},
        {'g', 30, 0, 0, 0, 100, 30, 70, 1},          // the page pushes the position back, once
        {'g', 1000, 0, 0, 0, 100, 100, 0, 1},
        {'p', INT64_MIN, INT64_MAX, 10, 0, INT64_MAX, 10, 0, 0},
    };
    for (const Row& r : rows) {
        b.scrolls.count = 0;
        if (r.op == 'p') b.bar->SetParams(r.a, r.b, r.c, r.d);
        else if (r.op == 'o') b.bar->SetPos(r.a);
        else b.bar->SetPage(r.a);
        EXPECT_EQ(b.bar->GetRangeMax(), r.max);
        EXPECT_EQ(b.bar->GetPage(), r.page);
        EXPECT_EQ(b.bar->GetPos(), r.pos) << r.op << r.a;
        EXPECT_EQ(b.scrolls.count, r.events) << r.op << r.a;
    }
}

// Thumb length track * page / span (at least twice the bevel and the minimum size), offset
// (track - length) * position / (span - page); hidden with arrows disabled when all is
// visible or the bar is disabled.
TEST(ScrollBar, ThumbGeometryAndHiddenStates) {
    struct Row { int orientation; int64_t max, page, pos; unsigned minThumb; bool enabled; int length, start; } rows[] = {
        {1, 100, 10, 0, 0, true, 18, 18}, {1, 100, 10, 90, 0, true, 18, 184}, {1, 100, 10, 45, 0, true, 18, 101},
        {1, 100, 1, 0, 0, true, 4, 18}, {1, 100, 1, 0, 30, true, 30, 18}, {0, 100, 50, 50, 0, true, 92, 110},
        {1, 0, 0, 0, 0, true, 0, 0}, {1, 100, 100, 0, 0, true, 0, 0}, {1, 100, 10, 0, 0, false, 0, 0},
    };
    for (const Row& r : rows) {
        Bar b(r.orientation, r.max, r.page, r.pos);
        b.bar->SetMinThumbSize(r.minThumb);
        b.bar->Enable(r.enabled);
        Button* t = b.Thumb();
        EXPECT_EQ(t->IsVisible(), r.length != 0);
        EXPECT_EQ(b.bar->GetFirstArrow()->IsEnabled(), r.length != 0);
        EXPECT_EQ(b.bar->GetSecondArrow()->IsEnabled(), r.length != 0);
        if (!r.length) continue;
        EXPECT_EQ(r.orientation ? t->Height() : t->Width(), r.length) << r.page << "@" << r.pos;
        EXPECT_EQ(r.orientation ? t->Top() : t->GetLeft(), r.start) << r.page << "@" << r.pos;
        EXPECT_EQ(r.orientation ? t->Width() : t->Height(), 16);
        EXPECT_EQ(r.orientation ? b.bar->GetSecondArrow()->Top() : b.bar->GetSecondArrow()->GetLeft(), 202);
    }
}

// A real press on the track pages at once; each tick of the paging timer while the press
// lasts pages again until the thumb covers the mouse; the release stops the timer.
TEST(ScrollBar, PagingTimerArrowsAndKeys) {
    Bar b;
    HWND h = b.bar->GetHandle();
    SetForegroundWindow(b.root->GetHandle());
    RealMouse(h, 8, 150, true, false);
    EXPECT_EQ(b.bar->GetPos(), 10);
    for (int tick = 0; tick < 12; ++tick) SendMessageA(h, WM_TIMER, ScrollBar::kPageTimer, 0);
    EXPECT_EQ(b.bar->GetPos(), 70);
    EXPECT_LE(b.Thumb()->Top(), 150);
    EXPECT_GE(b.Thumb()->Top() + b.Thumb()->Height(), 150);
    EXPECT_TRUE(KillTimer(h, ScrollBar::kPageTimer)) << "re-armed while held";
    SetTimer(h, ScrollBar::kPageTimer, ScrollBar::kPageRepeatMs, nullptr);
    RealMouse(h, 8, 150, false, true);
    EXPECT_FALSE(KillTimer(h, ScrollBar::kPageTimer)) << "the release stops it";
    b.bar->SetStep(25);
    for (Button* arrow : {b.bar->GetFirstArrow(), b.bar->GetSecondArrow(), b.bar->GetSecondArrow()})
        RealClick(arrow->GetHandle(), 8, 8);
    EXPECT_EQ(b.bar->GetPos(), 90);   // 70 - 25 + 25 + 25, at most max - page
    EXPECT_EQ(GetFocus(), b.Thumb()->GetHandle()) << "the thumb is a tab stop";
    for (int key : {VK_UP, VK_PRIOR, VK_NEXT, VK_DOWN, int{'A'}}) SendMessageA(b.Thumb()->GetHandle(), WM_KEYDOWN, key, 1);
    EXPECT_EQ(b.bar->GetPos(), 90 - 1 - 10 + 10 + 1) << "keys by 1 and a page, whatever the step";
    b.bar->SetTabStop(false);
    RealClick(b.bar->GetFirstArrow()->GetHandle(), 8, 8);
    EXPECT_EQ(GetFocus(), b.root->GetHandle()) << "without a tab stop the parent takes the focus";
}

// A drag of 10 pixels moves 10 * 900 / 166 = 54 units, rounded onto the step's grid; a step of
// 0 has none, a negative one turns the direction.
TEST(ScrollBar, ThumbDragRoundsOntoTheStep) {
    struct Row { int64_t step; int dy; int64_t start, pos; } rows[] = {
        {1, 10, 0, 54}, {5, 10, 0, 55}, {0, 10, 0, 54}, {100, 10, 0, 100}, {-5, 10, 500, 445}, {1, -10, 500, 446},
    };
    for (const Row& r : rows) {
        Bar b(ScrollBar::kVertical, 1000, 100, r.start);
        b.bar->SetStep(r.step);
        HWND t = b.Thumb()->GetHandle();
        SendMessageA(t, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        MouseMove(t, 5, 5 + r.dy);
        EXPECT_EQ(b.bar->GetPos(), r.pos) << "step " << r.step;
    }
}

}  // namespace
