#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

#include "tests/support/widget_real_input.h"
#include "toolkit/scroll_bar.h"
#include "toolkit_fixture.h"

using namespace widget_test;

namespace {

struct Scrolls {
    int count = 0;
    void Scrolled(Object*) { ++count; }
};

// A vertical bar 20 x 220 with bevel depth 2: the client area inside the frame is 16 x 216 at
// (2, 2), the arrows 16 x 16, the track between them 184 pixels.
struct Bar {
    Component* root = MakeTopLevel(300, 300);
    ScrollBar* bar;
    Scrolls seen;
    explicit Bar(int orientation = ScrollBar::kVertical) {
        bar = orientation ? new ScrollBar(root->GetHandle(), orientation, 10, 10, 20, 220, 0)
                          : new ScrollBar(root->GetHandle(), orientation, 10, 10, 220, 20, 0);
        bar->SetBevelDepth(2);
        bar->OnScroll.Bind(&seen, &Scrolls::Scrolled);
    }
    ~Bar() { delete root; }
    Button* Thumb() { return bar->GetThumb(); }
};

TEST(ScrollBar, ClampsAndFiresOnlyWhenThePositionMoves) {
    Bar b;
    struct Row {
        enum Op { kParams, kPos, kPage } op;
        int64_t a, b, c, d;
        int64_t min, max, page, pos;
        int events;
    } rows[] = {
        {Row::kParams, 0, 1000, 100, 50, 0, 1000, 100, 50, 0},
        {Row::kPos, 50, 0, 0, 0, 0, 1000, 100, 50, 0},            // unchanged: no event
        {Row::kPos, 5000, 0, 0, 0, 0, 1000, 100, 900, 1},         // to max - page
        {Row::kPos, -3, 0, 0, 0, 0, 1000, 100, 0, 1},
        {Row::kParams, 10, 5, 20, 7, 10, 10, 0, 10, 0},           // max raised to min, page cut, never an event
        {Row::kParams, 0, 100, 500, 50, 0, 100, 100, 0, 0},       // page above the span: the span
        {Row::kParams, 0, 100, 10, 80, 0, 100, 10, 80, 0},
        {Row::kPage, 30, 0, 0, 0, 0, 100, 30, 70, 1},             // the position moves back, once
        {Row::kPage, 20, 0, 0, 0, 0, 100, 20, 70, 0},
        {Row::kPage, 1000, 0, 0, 0, 0, 100, 100, 0, 1},
        {Row::kParams, INT64_MIN, INT64_MAX, 10, 0, INT64_MIN, INT64_MAX, 10, 0, 0},
    };
    for (const Row& r : rows) {
        b.seen.count = 0;
        if (r.op == Row::kParams) b.bar->SetParams(r.a, r.b, r.c, r.d);
        else if (r.op == Row::kPos) b.bar->SetPos(r.a);
        else b.bar->SetPage(r.a);
        EXPECT_EQ(b.bar->GetRangeMin(), r.min);
        EXPECT_EQ(b.bar->GetRangeMax(), r.max);
        EXPECT_EQ(b.bar->GetPage(), r.page);
        EXPECT_EQ(b.bar->GetPos(), r.pos) << r.a;
        EXPECT_EQ(b.seen.count, r.events) << r.a;
    }
}

TEST(ScrollBar, ThumbGeometry) {
    struct Row {
        int orientation;
        int64_t max, page, pos;
        unsigned minThumb;
        int length, start;
    } rows[] = {
        {ScrollBar::kVertical, 100, 10, 0, 0, 18, 18},      // 184 * 10 / 100, after arrow and frame
        {ScrollBar::kVertical, 100, 10, 90, 0, 18, 184},    // 18 + (184 - 18)
        {ScrollBar::kVertical, 100, 10, 45, 0, 18, 101},    // 18 + 166 * 45 / 90
        {ScrollBar::kVertical, 100, 1, 0, 0, 4, 18},        // 1 pixel: raised to twice the bevel
        {ScrollBar::kVertical, 100, 1, 0, 30, 30, 18},      // and to the minimum size
        {ScrollBar::kHorizontal, 100, 50, 50, 0, 92, 110},
    };
    for (const Row& r : rows) {
        Bar b(r.orientation);
        b.bar->SetMinThumbSize(r.minThumb);
        b.bar->SetParams(0, r.max, r.page, r.pos);
        Button* t = b.Thumb();
        ASSERT_TRUE(t->IsVisible());
        EXPECT_EQ(r.orientation ? t->Height() : t->Width(), r.length) << r.page << "@" << r.pos;
        EXPECT_EQ(r.orientation ? t->Top() : t->GetLeft(), r.start) << r.page << "@" << r.pos;
        EXPECT_EQ(r.orientation ? t->Width() : t->Height(), 16);
        EXPECT_EQ(r.orientation ? t->GetLeft() : t->Top(), 2);
        EXPECT_EQ(b.bar->GetFirstArrow()->Height(), 16);
        EXPECT_EQ(r.orientation ? b.bar->GetSecondArrow()->Top() : b.bar->GetSecondArrow()->GetLeft(), 202);
    }
}

TEST(ScrollBar, HiddenThumbWhenAllIsVisibleOrTheBarIsDisabled) {
    Bar b;
    struct Row { int64_t max, page; bool enabled, thumb; } rows[] = {
        {0, 0, true, false}, {100, 100, true, false}, {100, 10, true, true}, {100, 10, false, false},
        {100, 10, true, true},
    };
    for (const Row& r : rows) {
        b.bar->Enable(r.enabled);
        b.bar->SetParams(0, r.max, r.page, 0);
        EXPECT_EQ(b.Thumb()->IsVisible(), r.thumb) << r.max << "/" << r.page << " " << r.enabled;
        EXPECT_EQ(b.bar->GetFirstArrow()->IsEnabled(), r.thumb);
        EXPECT_EQ(b.bar->GetSecondArrow()->IsEnabled(), r.thumb);
    }
}

// A real press on the track pages towards the mouse at once; each tick of the paging timer
// while the press lasts pages again until the thumb covers the mouse point; the release
// stops the timer.
TEST(ScrollBar, TrackPressPagesTowardsTheMouseUntilReleased) {
    Bar b;
    b.bar->SetParams(0, 100, 10, 0);
    HWND h = b.bar->GetHandle();
    SetForegroundWindow(b.root->GetHandle());
    PressAt(h, 8, 150);
    EXPECT_EQ(b.bar->GetPos(), 10);
    EXPECT_EQ(b.seen.count, 1);
    EXPECT_EQ(GetCapture(), h);
    for (int tick = 0; tick < 12; ++tick) SendMessageA(h, WM_TIMER, ScrollBar::kPageTimer, 0);
    const Button* t = b.Thumb();
    EXPECT_LE(t->Top(), 150);
    EXPECT_GE(t->Top() + t->Height(), 150);
    EXPECT_EQ(b.bar->GetPos(), 70);
    EXPECT_TRUE(KillTimer(h, ScrollBar::kPageTimer)) << "re-armed while the button is held";
    SetTimer(h, ScrollBar::kPageTimer, ScrollBar::kPageRepeatMs, nullptr);
    ReleaseAt(h, 8, 150);
    EXPECT_FALSE(KillTimer(h, ScrollBar::kPageTimer)) << "the release stops it";
    PressAt(h, 8, 40);   // above the thumb: back up
    ReleaseAt(h, 8, 40);
    EXPECT_EQ(b.bar->GetPos(), 60);
}

TEST(ScrollBar, ArrowsStepByTheStepAndKeysByOneOrAPage) {
    Bar b;
    b.bar->SetParams(0, 1000, 100, 500);
    b.bar->SetStep(25);
    SetForegroundWindow(b.root->GetHandle());
    ClickAt(b.bar->GetSecondArrow()->GetHandle(), 8, 8);
    EXPECT_EQ(b.bar->GetPos(), 525);
    ClickAt(b.bar->GetFirstArrow()->GetHandle(), 8, 8);
    ClickAt(b.bar->GetFirstArrow()->GetHandle(), 8, 8);
    EXPECT_EQ(b.bar->GetPos(), 475);
    EXPECT_EQ(GetFocus(), b.Thumb()->GetHandle()) << "the thumb is a tab stop";
    struct Key { int key; int64_t pos; } keys[] = {{VK_DOWN, 476}, {VK_LEFT, 475}, {VK_NEXT, 575}, {VK_PRIOR, 475}, {'A', 475}};
    for (const Key& k : keys) {
        SendMessageA(b.Thumb()->GetHandle(), WM_KEYDOWN, k.key, 1);
        EXPECT_EQ(b.bar->GetPos(), k.pos) << k.key;
    }
    b.bar->SetTabStop(false);
    ClickAt(b.bar->GetSecondArrow()->GetHandle(), 8, 8);
    EXPECT_EQ(GetFocus(), b.root->GetHandle()) << "without a tab stop the parent takes the focus";
}

// Dragging the thumb 10 pixels moves 10 * 900 / 166 = 54 units, rounded onto the step's grid;
// a step of 0 has no grid.
TEST(ScrollBar, ThumbDragRoundsOntoTheStep) {
    struct Row { int64_t step; int dy; int64_t start, pos; } rows[] = {
        {1, 10, 0, 54}, {5, 10, 0, 55}, {0, 10, 0, 54}, {100, 10, 0, 100},
        {-5, 10, 500, 445},   // a negative step turns the direction
        {1, -10, 500, 446},
    };
    for (const Row& r : rows) {
        Bar b;
        b.bar->SetParams(0, 1000, 100, r.start);
        b.bar->SetStep(r.step);
        HWND t = b.Thumb()->GetHandle();
        SendMessageA(t, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        SendMessageA(t, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 5 + r.dy));
        EXPECT_EQ(b.bar->GetPos(), r.pos) << "step " << r.step;
    }
}

}  // namespace
