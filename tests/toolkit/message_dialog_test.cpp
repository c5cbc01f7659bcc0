#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "tests/support/widget_input.h"
#include "toolkit/message_dialog.h"
#include "toolkit_fixture.h"

namespace {

struct Owner {
    Component* top = MakeTopLevel(400, 300, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    Component* child = MakeChild(top, 50, 50, 100, 40);
    ~Owner() { delete top; }
};

POINT Centre(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

TEST(MessageDialog, HasOneToFourButtons) {
    const int rows[][2] = {{0, 1}, {1, 1}, {3, 3}, {7, 4}};
    for (const auto& row : rows) {
        MessageDialog d(nullptr, row[0], "t");
        EXPECT_EQ(d.GetButtonCount(), row[1]);
        EXPECT_EQ(d.GetButton(row[1]), nullptr);
    }
}

TEST(MessageDialog, ButtonsTakeTheLargestSize) {
    MessageDialog d(nullptr, 3, "t");
    const int okWidth = d.GetButton(0)->Width();
    d.SetButtonText(1, "A much longer caption");
    d.SetButtonText(5, "ignored");
    EXPECT_GT(d.GetButton(0)->Width(), okWidth);
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(d.GetButton(i)->Width(), d.GetButton(0)->Width());
        EXPECT_EQ(d.GetButton(i)->Height(), d.GetButton(0)->Height());
    }
}

// Each way out: a button (its index), Escape (nothing without an Escape result, else its
// index) and the caption's close (-2). The owner is enabled again after each.
TEST(MessageDialog, RunAnswersWithThePressedButton) {
    Owner o;
    enum Action { kClickFirst, kClickThird, kEscapeThenClose, kEscapeWithResult };
    const int expected[] = {0, 2, MessageDialog::kClosed, 1};
    for (int a = kClickFirst; a <= kEscapeWithResult; ++a) {
        MessageDialog* d = new MessageDialog(o.child->GetHandle(), 3, "Question");
        if (a == kClickFirst) PostClick(d->GetButton(0)->GetHandle());
        if (a == kClickThird) PostClick(d->GetButton(2)->GetHandle());
        if (a >= kEscapeThenClose) PostMessageA(d->GetButton(0)->GetHandle(), WM_CHAR, VK_ESCAPE, 0);
        if (a == kEscapeThenClose) PostMessageA(d->GetHandle(), WM_CLOSE, 0, 0);
        if (a == kEscapeWithResult) d->SetEscapeResult(1);
        EXPECT_EQ(d->Run("Go on?", false), expected[a]) << a;
        EXPECT_TRUE(IsWindowEnabled(o.top->GetHandle())) << a;
        EXPECT_FALSE(IsWindowVisible(d->GetHandle())) << a;
        delete d;
    }
}

TEST(MessageDialog, IsCentredOverTheTopLevelWindowOfItsOwner) {
    Owner o;
    MessageDialog d(o.child->GetHandle(), 1, "t");
    PostClick(d.GetButton(0)->GetHandle());
    d.Run("Centred", false);
    POINT a = Centre(o.top->GetHandle()), b = Centre(d.GetHandle());
    EXPECT_LE(std::abs(a.x - b.x), 1);
    EXPECT_LE(std::abs(a.y - b.y), 1);
}

TEST(MessageDialog, WidthComesFromTheTextOrFromTheButtons) {
    for (bool longText : {true, false}) {
        MessageDialog d(nullptr, 4, "t");
        PostClick(d.GetButton(0)->GetHandle());
        d.Run(longText ? "A message long enough to be wider than four buttons together, and more" : "Hi", true);
        Panel* p = d.GetMessagePanel();
        const int bw = d.GetButton(0)->Width();
        if (longText) {
            EXPECT_EQ(d.ClientWidth(), p->Width());
            EXPECT_GT(d.ClientWidth(), 4 * bw);
        } else {
            EXPECT_EQ(d.ClientWidth(), (bw + 10) * 4 + 10);
            EXPECT_EQ(p->GetAlign(), kAlignTopLate);
            EXPECT_EQ(p->Width(), d.ClientWidth());
        }
        EXPECT_EQ(d.ClientHeight(), p->Height() + 20 + d.GetButton(0)->Height());
        // Buttons in one row under the panel, evenly spaced, inside the client area.
        for (int i = 0; i < 4; ++i) {
            Button* b = d.GetButton(i);
            EXPECT_EQ(b->Top(), p->Height() + 10);
            EXPECT_GE(b->GetLeft(), 0);
            EXPECT_LE(b->Right(), d.ClientWidth());
            if (i) {
                EXPECT_EQ(b->GetLeft() - d.GetButton(i - 1)->Right(), d.GetButton(1)->GetLeft() - d.GetButton(0)->Right());
            }
        }
        POINT c = Centre(d.GetHandle());   // centred on the screen
        EXPECT_LE(std::abs(c.x - GetSystemMetrics(SM_CXSCREEN) / 2), 1);
    }
}

TEST(MessageDialog, NeverStartsLeftOfOrAboveTheScreen) {
    Component* owner = new Component("o", WS_POPUP | WS_VISIBLE, 0, -300, -300, 60, 40, nullptr);
    MessageDialog d(owner->GetHandle(), 2, "t");
    PostClick(d.GetButton(0)->GetHandle());
    d.Run("Placed", false);
    RECT r;
    GetWindowRect(d.GetHandle(), &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    delete owner;
}

}  // namespace
