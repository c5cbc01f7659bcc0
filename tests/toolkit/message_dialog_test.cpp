#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "tests/support/widget_input.h"
#include "toolkit/message_dialog.h"
#include "toolkit_fixture.h"

namespace {

POINT Centre(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Each way out: a button (its index), Escape (nothing without an Escape result, else its
// index) and the caption's close (-2). Every run is centred over the top-level window of
// its owner (here a child control), which is enabled again afterwards.
TEST(MessageDialog, RunAnswersWithThePressedButtonCentredOverTheOwner) {
    Component* top = MakeTopLevel(400, 300, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    Component* child = MakeChild(top, 50, 50, 100, 40);
    enum Action { kClickFirst, kClickThird, kEscapeThenClose, kEscapeWithResult };
    const int expected[] = {0, 2, MessageDialog::kClosed, 1};
    for (int a = kClickFirst; a <= kEscapeWithResult; ++a) {
        MessageDialog* d = new MessageDialog(child->GetHandle(), 3, "Question");
        if (a == kClickFirst) PostClick(d->GetButton(0)->GetHandle());
        if (a == kClickThird) PostClick(d->GetButton(2)->GetHandle());
        if (a >= kEscapeThenClose) PostMessageA(d->GetButton(0)->GetHandle(), WM_CHAR, VK_ESCAPE, 0);
        if (a == kEscapeThenClose) PostMessageA(d->GetHandle(), WM_CLOSE, 0, 0);
        if (a == kEscapeWithResult) d->SetEscapeResult(1);
        EXPECT_EQ(d->Run("Go on?", false), expected[a]) << a;
        EXPECT_TRUE(IsWindowEnabled(top->GetHandle())) << a;
        POINT c = Centre(d->GetHandle()), o = Centre(top->GetHandle());
        EXPECT_LE(std::abs(c.x - o.x) + std::abs(c.y - o.y), 2) << a;
        delete d;
    }
    delete top;
}

TEST(MessageDialog, WidthComesFromTheTextOrFromTheButtons) {
    const int counts[][2] = {{0, 1}, {7, 4}};
    for (const auto& c : counts) EXPECT_EQ(MessageDialog(nullptr, c[0], "t").GetButtonCount(), c[1]);
    for (bool longText : {true, false}) {
        MessageDialog d(nullptr, 4, "t");
        d.SetButtonText(1, "Longer");  // all buttons take the largest size
        PostClick(d.GetButton(0)->GetHandle());
        d.Run(longText ? "A message long enough to be wider than four buttons together, and more" : "Hi", true);
        Panel* p = d.GetMessagePanel();
        const int bw = d.GetButton(1)->Width(), gap = d.GetButton(1)->GetLeft() - d.GetButton(0)->Right();
        EXPECT_EQ(d.ClientWidth(), longText ? p->Width() : (bw + 10) * 4 + 10);
        EXPECT_EQ(p->GetAlign(), longText ? 0 : kAlignTopLate);
        EXPECT_EQ(d.ClientHeight(), p->Height() + 20 + d.GetButton(0)->Height());
        for (int i = 0; i < 4; ++i) {  // one evenly spaced row under the panel
            Button* b = d.GetButton(i);
            EXPECT_EQ(b->Width(), bw);
            EXPECT_EQ(b->Top(), p->Height() + 10);
            EXPECT_LE(b->Right(), d.ClientWidth());
            EXPECT_EQ(i ? b->GetLeft() - d.GetButton(i - 1)->Right() : gap, gap);
        }
        EXPECT_LE(std::abs(Centre(d.GetHandle()).x - GetSystemMetrics(SM_CXSCREEN) / 2), 1);
    }
}

// Hidden until ShowText; the memo fills what the bottom panel (20 pixels taller than the Close
// button) leaves, at any size, with Close centred; each way of closing only hides the window.
TEST(HelpWindow, MemoFillsAboveTheCentredCloseAndClosingHides) {
    HelpWindow w;
    EXPECT_TRUE(!w.IsVisible() && w.Width() == 200 && w.Height() == 200);
    Memo* memo = static_cast<Memo*>(Component::FromHandle(FindWindowExA(w.GetHandle(), nullptr, "EDIT", nullptr)));
    Component* panel = Component::FromHandle(FindWindowExA(w.GetHandle(), nullptr, "myComponent", nullptr));
    ASSERT_TRUE(memo && panel);
    Component* close = Component::FromHandle(GetWindow(panel->GetHandle(), GW_CHILD));
    ASSERT_NE(close, nullptr);
    const int sizes[][2] = {{0, 0}, {420, 300}, {150, 120}};  // per way: Close, Escape, caption's close
    for (int way = 0; way < 3; ++way) {
        w.ShowText("First line\r\nsecond line");
        if (way) w.SetClientSize(sizes[way][0], sizes[way][1]);
        ASSERT_TRUE(w.IsVisible()) << way;
        EXPECT_STREQ(memo->GetText().CStr(), "First line\r\nsecond line");
        const int cw = w.ClientWidth(), ch = w.ClientHeight(), ph = panel->Height();
        EXPECT_TRUE(ph == close->Height() + 20 && panel->Top() == ch - ph && panel->Width() == cw) << way;
        EXPECT_TRUE(memo->Top() == 0 && memo->Width() == cw && memo->Height() == ch - ph) << way;
        EXPECT_LE(
            std::abs(2 * close->GetLeft() + close->Width() - cw) + std::abs(2 * close->Top() + close->Height() - ph),
            2);
        if (way == 0) Click(close->GetHandle());
        if (way == 1) SendMessageA(memo->GetHandle(), WM_CHAR, VK_ESCAPE, 0);
        if (way == 2) SendMessageA(w.GetHandle(), WM_CLOSE, 0, 0);
        Pump();
        EXPECT_TRUE(!w.IsVisible() && IsWindow(w.GetHandle())) << way;
    }
}

}  // namespace
