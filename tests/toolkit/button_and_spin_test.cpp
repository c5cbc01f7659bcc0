#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "tests/support/widget_input.h"
#include "toolkit/button.h"
#include "toolkit/spin_control.h"
#include "toolkit_fixture.h"

namespace {

struct Buttons {
    Component* top = MakeTopLevel(300, 100);
    std::vector<Button*> b;
    EventLog clicks, repeats, changes;
    explicit Buttons(int n, int group = 0) {
        for (int i = 0; i < n; ++i) {
            b.push_back(new Button("", top->GetHandle(), 30 * i, 0, 20, 20, WS_CHILD | WS_VISIBLE | WS_TABSTOP));
            b[i]->SetToggle(group);
            b[i]->OnClick.Bind(&clicks, &EventLog::Raised);
            b[i]->OnRepeat.Bind(&repeats, &EventLog::Raised);
            b[i]->OnDownChanged.Bind(&changes, &EventLog::Raised);
        }
    }
    ~Buttons() { delete top; }
    std::vector<bool> Down() const {
        std::vector<bool> d;
        for (Button* x : b) d.push_back(x->IsDown());
        return d;
    }
};

TEST(Button, ClicksOnReleaseInsideAndFromTheKeyboard) {
    Buttons f(1);
    HWND h = f.b[0]->GetHandle();
    Click(h);
    MouseDown(h, 5, 5);
    EXPECT_EQ(f.b[0]->GetBorderStyle(), kBorderSunken);
    MouseMove(h, 40, 5);  // leaves
    EXPECT_FALSE(f.b[0]->IsPressed());
    MouseUp(h, 40, 5);
    MouseDown(h, 5, 5);
    MouseUp(h, 60, 5);  // released outside without a move first
    EXPECT_EQ(f.clicks.Count(), 1u);
    EXPECT_EQ(f.repeats.Count(), 3u);  // once at each press
    EXPECT_EQ(f.b[0]->GetBorderStyle(), kBorderRaised);
    Key(h, VK_RETURN, true);
    Key(h, VK_SPACE, true);
    EXPECT_EQ(f.clicks.Count(), 2u);
    EXPECT_EQ(f.repeats.Count(), 4u);
    Key(h, VK_SPACE, false);
    EXPECT_EQ(f.clicks.Count(), 3u);
}

// Repeats at the press, after about 500 ms, then every 50 ms; nothing after the release.
TEST(Button, AutoRepeatWhileHeld) {
    Buttons f(1);
    struct Stamp {
        std::vector<DWORD> at;
        void Raised(Object*) { at.push_back(GetTickCount()); }
    } stamp;
    f.b[0]->OnRepeat.Bind(&stamp, &Stamp::Raised);
    auto pumpFor = [](DWORD ms) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(5)) Pump();
    };
    MouseDown(f.b[0]->GetHandle(), 5, 5);
    pumpFor(1000);
    MouseUp(f.b[0]->GetHandle(), 5, 5);
    const size_t held = stamp.at.size();
    pumpFor(200);
    ASSERT_GE(held, 4u);
    EXPECT_EQ(stamp.at.size(), held);
    EXPECT_GE(stamp.at[1] - stamp.at[0], 400u);
    EXPECT_LT((stamp.at.back() - stamp.at[1]) / (held - 2), 200u);
}

// Clicks on buttons of one toggle group; a group of one is the lone "Log"-style toggle.
TEST(Button, GroupsReleaseTheOthersAndKeepTheLastDownUnlessAllMayBeUp) {
    struct Row {
        int count;
        bool allowAllUp;
        std::vector<int> clicks;
        std::vector<bool> down;
    };
    const Row rows[] = {
        {3, false, {0, 1}, {false, true, false}},
        {3, false, {0, 1, 1}, {false, true, false}},
        {3, true, {0, 1}, {false, true, false}},
        {3, true, {0, 1, 1}, {false, false, false}},
        {1, false, {0, 0}, {true}},
        {1, true, {0, 0}, {false}},
    };
    for (const Row& row : rows) {
        Buttons f(row.count, 1);
        f.b[row.count - 1]->SetAllowAllUp(row.allowAllUp);  // passed to the whole group
        EXPECT_EQ(f.b[0]->GetAllowAllUp(), row.allowAllUp);
        for (int i : row.clicks) Click(f.b[i]->GetHandle());
        EXPECT_EQ(f.Down(), row.down);
        EXPECT_EQ(f.clicks.Count(), row.clicks.size());
    }
}

TEST(Button, SetDownRaisesDownChangedButNoClick) {
    Buttons f(2, 1);
    Component* linked = MakeChild(f.top, 100, 0, 10, 10);
    f.b[0]->SetLinkedComponent(linked);
    EXPECT_FALSE(IsWindowEnabled(linked->GetHandle()));
    f.b[0]->SetDown(true);
    EXPECT_TRUE(IsWindowEnabled(linked->GetHandle()));
    f.b[0]->SetDown(false);  // the only down one of a radio group
    EXPECT_TRUE(f.b[0]->IsDown());
    EXPECT_EQ(f.changes.Count(), 1u);
    f.b[1]->SetDown(true);
    EXPECT_EQ(f.Down(), (std::vector<bool>{false, true}));
    EXPECT_FALSE(IsWindowEnabled(linked->GetHandle()));
    EXPECT_EQ(f.changes.Count(), 3u);
    EXPECT_EQ(f.clicks.Count(), 0u);
}

struct Spin {
    Component* top = MakeTopLevel(100, 100);
    SpinControl* spin;
    EventLog steps;
    explicit Spin(bool drag) {
        spin = new SpinControl(top->GetHandle(), 10, 10, 16, 40, 0, drag);
        spin->OnStep.Bind(&steps, &EventLog::Value);
    }
    ~Spin() {
        TakeSteps(top->GetHandle());
        delete top;
    }
    int Drag(int y) {
        MouseMove(spin->GetDragPanel()->GetHandle(), 5, y);
        return TakeSteps(top->GetHandle());
    }
};

TEST(SpinControl, QuickClicksCoalesceIntoOneMessage) {
    Spin f(false);
    EXPECT_EQ(f.spin->GetDownButton()->Top(), 20);  // no drag panel: no gap
    for (int i = 0; i < 3; ++i) Click(f.spin->GetUpButton()->GetHandle());
    int messages = 0;
    EXPECT_EQ(TakeSteps(f.top->GetHandle(), &messages), 3);
    EXPECT_EQ(messages, 1);
    EXPECT_EQ(f.steps.values, (std::vector<int>{1, 2, 3}));
    Click(f.spin->GetDownButton()->GetHandle());
    Click(f.spin->GetDownButton()->GetHandle());
    EXPECT_EQ(TakeSteps(f.top->GetHandle(), &messages), -2);
    EXPECT_EQ(messages, 1);
}

TEST(SpinControl, DragStepsKeepTheRemainder) {
    Spin f(true);
    f.spin->SetPixelsPerStep(4);
    SetCursorPos(500, 500);
    MouseDown(f.spin->GetDragPanel()->GetHandle(), 5, 20);
    const int moves[][2] = {{10, 2}, {8, 1}, {15, -1}, {14, 0}, {30, -4}};  // to y, steps
    for (const auto& m : moves) EXPECT_EQ(f.Drag(m[0]), m[1]) << m[0];
    MouseUp(f.spin->GetDragPanel()->GetHandle(), 5, 30);
    EXPECT_EQ(f.Drag(0), 0);  // the drag has ended
}

TEST(SpinControl, DragWrapsTheCursorAtTheScreenEdges) {
    Spin f(true);
    const int bottom = GetSystemMetrics(SM_CYSCREEN) - 1;
    const int panelTop = f.spin->GetDragPanel()->GetScreenPos().y;
    MouseDown(f.spin->GetDragPanel()->GetHandle(), 5, 20);
    SetCursorPos(300, 0);
    f.Drag(19);  // upwards at the top edge
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(p.y, bottom);
    EXPECT_EQ(f.Drag(bottom - panelTop - 4), 4);  // and on from the bottom
    SetCursorPos(300, bottom);
    EXPECT_EQ(f.Drag(bottom - panelTop), -4);  // downwards at the bottom edge
    GetCursorPos(&p);
    EXPECT_EQ(p.y, 0);
    EXPECT_EQ(f.Drag(-panelTop - 3), 3);
}

}  // namespace
