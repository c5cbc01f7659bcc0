#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/support/widget_input.h"
#include "tests/support/widget_real_input.h"
#include "toolkit/memo.h"
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
    struct Row {
        char op;
        int64_t a, b, c, d, max, page, pos;
        size_t events;
    } rows[] = {
        {'o', 50, 0, 0, 0, 1000, 100, 50, 0},     // unchanged: no event
        {'o', 5000, 0, 0, 0, 1000, 100, 900, 1},  // to max - page
        {'o', -3, 0, 0, 0, 1000, 100, 0, 1},
        {'p', 10, 5, 20, 7, 10, 0, 10, 0},  // max raised to min, page cut; SetParams never fires
        {'p', 0, 100, 10, 80, 100, 10, 80, 0},
        {'g', 30, 0, 0, 0, 100, 30, 70, 1},  // the page pushes the position back, once
        {'g', 1000, 0, 0, 0, 100, 100, 0, 1},
        {'p', INT64_MIN, INT64_MAX, 10, 0, INT64_MAX, 10, 0, 0},
    };
    for (const Row& r : rows) {
        b.scrolls.count = 0;
        if (r.op == 'p')
            b.bar->SetParams(r.a, r.b, r.c, r.d);
        else if (r.op == 'o')
            b.bar->SetPos(r.a);
        else
            b.bar->SetPage(r.a);
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
    struct Row {
        int orientation;
        int64_t max, page, pos;
        unsigned minThumb;
        bool enabled;
        int length, start;
    } rows[] = {
        {1, 100, 10, 0, 0, true, 18, 18}, {1, 100, 10, 90, 0, true, 18, 184}, {1, 100, 10, 45, 0, true, 18, 101},
        {1, 100, 1, 0, 0, true, 4, 18},   {1, 100, 1, 0, 30, true, 30, 18},   {0, 100, 50, 50, 0, true, 92, 110},
        {1, 0, 0, 0, 0, true, 0, 0},      {1, 100, 100, 0, 0, true, 0, 0},    {1, 100, 10, 0, 0, false, 0, 0},
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
    EXPECT_EQ(b.bar->GetPos(), 90);  // 70 - 25 + 25 + 25, at most max - page
    EXPECT_EQ(GetFocus(), b.Thumb()->GetHandle()) << "the thumb is a tab stop";
    for (int key : {VK_UP, VK_PRIOR, VK_NEXT, VK_DOWN, int{'A'}})
        SendMessageA(b.Thumb()->GetHandle(), WM_KEYDOWN, key, 1);
    EXPECT_EQ(b.bar->GetPos(), 90 - 1 - 10 + 10 + 1) << "keys by 1 and a page, whatever the step";
    b.bar->SetTabStop(false);
    RealClick(b.bar->GetFirstArrow()->GetHandle(), 8, 8);
    EXPECT_EQ(GetFocus(), b.root->GetHandle()) << "without a tab stop the parent takes the focus";
}

// A drag of 10 pixels moves 10 * 900 / 166 = 54 units, rounded onto the step's grid; a step of
// 0 has none, a negative one turns the direction.
TEST(ScrollBar, ThumbDragRoundsOntoTheStep) {
    struct Row {
        int64_t step;
        int dy;
        int64_t start, pos;
    } rows[] = {
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

struct MemoWindow {
    Component* root = MakeTopLevel(400, 300);
    Memo* memo = new Memo(root->GetHandle(), 10, 10, 200, 90, WS_CHILD | WS_DLGFRAME | ES_MULTILINE | ES_AUTOVSCROLL);
    EventLog changes;
    MemoWindow() { memo->OnChange.Bind(&changes, &EventLog::Raised); }
    ~MemoWindow() { delete root; }
};

TEST(Memo, AppendNewLineAndLines) {
    MemoWindow m;
    EXPECT_TRUE(m.memo->IsVisible());
    struct Step {
        char op;
        const char* text;
        const char* result;
        int lines;
    } steps[] = {
        {'a', "ab", "ab", 1},         {'a', "cd", "abcd", 1},   {'n', nullptr, "abcd\r\n", 2},
        {'a', "ef", "abcd\r\nef", 2}, {'r', "X", "X\r\nef", 2}, {'i', "<", "<X\r\nef", 2},
    };
    for (const Step& s : steps) {
        size_t before = m.changes.count;
        if (s.op == 'a') m.memo->Append(s.text);
        if (s.op == 'n') m.memo->NewLine();
        if (s.op == 'r') m.memo->ReplaceLineText(0, s.text);
        if (s.op == 'i') m.memo->InsertTextAt(0, s.text);
        EXPECT_STREQ(m.memo->GetText().CStr(), s.result) << s.op;
        EXPECT_EQ(m.memo->GetLineCount(), s.lines) << s.op;
        EXPECT_GT(m.changes.count, before) << s.op;
    }
    m.memo->SetText("first\r\nsecond line\r\nx");
    EXPECT_STREQ(m.memo->GetLine(1).CStr(), "second line");
    EXPECT_STREQ(m.memo->GetLine(2).CStr(), "x");
    EXPECT_STREQ(m.memo->GetLine(7).CStr(), "");
}

// At most size - 1 characters, so the terminator always fits; nothing beyond the buffer.
TEST(Memo, LineBufferIsBounded) {
    MemoWindow m;
    m.memo->SetText("abcdefghij\r\nk");
    struct Row {
        int size, copied;
        const char* text;
    } rows[] = {
        {0, 0, nullptr}, {1, 0, nullptr}, {2, 1, "a"}, {5, 4, "abcd"}, {11, 10, "abcdefghij"}, {64, 10, "abcdefghij"},
    };
    for (const Row& r : rows) {
        char buffer[80];
        std::memset(buffer, 0x55, sizeof buffer);
        EXPECT_EQ(m.memo->GetLineBuffer(0, buffer, r.size), r.copied) << r.size;
        if (r.text) EXPECT_STREQ(buffer, r.text);
        for (int i = r.text ? r.size : 0; i < static_cast<int>(sizeof buffer); ++i)
            ASSERT_EQ(buffer[i], 0x55) << r.size << "@" << i;
    }
}

// The bar's range is the line count, its page the lines that fit, its position the first
// visible line, through text changes, the wheel (one line a notch) and the bar itself.
TEST(Memo, ScrollBarFollowsTheLines) {
    MemoWindow m;
    m.memo->SetScrollBar(true, 0x00FF00);
    ScrollBar* bar = m.memo->GetScrollBar();
    ASSERT_NE(bar, nullptr);
    m.memo->SetText("one\r\ntwo");
    EXPECT_TRUE(bar->GetRangeMax() == 2 && bar->GetPage() == 2);
    EXPECT_FALSE(bar->GetThumb()->IsVisible()) << "everything fits";
    std::string many;
    for (int i = 0; i < 30; ++i) many += "line " + std::to_string(i) + "\r\n";
    m.memo->Clear();
    m.memo->Append(many.c_str());
    const int64_t visible = bar->GetPage();
    EXPECT_EQ(bar->GetRangeMax(), 31);
    EXPECT_TRUE(visible > 1 && visible < 31);
    EXPECT_TRUE(bar->GetThumb()->IsVisible());
    EXPECT_EQ(bar->GetPos(), 31 - visible) << "the caret's line in view";
    for (auto mv : {std::pair<char, int>{'b', 0}, {'w', -1}, {'w', -3}, {'w', 2}, {'b', 10}}) {
        static int first = 0;
        if (mv.first == 'b')
            bar->SetPos(first = mv.second);
        else
            SendMessageA(m.memo->GetHandle(), WM_MOUSEWHEEL, MAKEWPARAM(0, mv.second * WHEEL_DELTA), 0),
                first -= mv.second;
        EXPECT_EQ(SendMessageA(m.memo->GetHandle(), EM_GETFIRSTVISIBLELINE, 0, 0), first) << mv.first << mv.second;
        EXPECT_EQ(bar->GetPos(), first);
    }
}

}  // namespace
