#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/widget_input.h"
#include "toolkit/message_dialog.h"
#include "toolkit_fixture.h"

namespace {

POINT Centre(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Run inside the dialog's own run (as a timer tick of its caller would): answered at once,
// the box keeps its text, and the third button ends the first run.
struct RunAgain {
    void Message(Object*, MessageRecord* m) {
        if (m->msg != WM_USER) return;
        PostClick(dialog->GetButton(2)->GetHandle());
        answer = dialog->Run("Another", false);
        text = dialog->GetMessagePanel()->GetText().CStr();
    }
    MessageDialog* dialog = nullptr;
    int answer = 0;
    std::string text;
};

// Each way out: a button (its index), Escape (nothing without an Escape result, else its
// index) and the caption's close (-2). Every run is centred over the top-level window of
// its owner (here a child control), which is enabled again afterwards.
TEST(MessageDialog, RunAnswersWithThePressedButtonCentredOverTheOwner) {
    Component* top = MakeTopLevel(400, 300, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    Component* child = MakeChild(top, 50, 50, 100, 40);
    enum Action { kClickFirst, kClickThird, kEscapeThenClose, kEscapeWithResult, kRunAgainInside };
    const int expected[] = {0, 2, MessageDialog::kClosed, 1, 2};
    for (int a = kClickFirst; a <= kRunAgainInside; ++a) {
        MessageDialog* d = new MessageDialog(child->GetHandle(), 3, "Question");
        RunAgain again;
        again.dialog = d;
        d->OnMessage.Bind(&again, &RunAgain::Message);
        if (a == kRunAgainInside) PostMessageA(d->GetHandle(), WM_USER, 0, 0);
        if (a == kClickFirst) PostClick(d->GetButton(0)->GetHandle());
        if (a == kClickThird) PostClick(d->GetButton(2)->GetHandle());
        if (a >= kEscapeThenClose) PostMessageA(d->GetButton(0)->GetHandle(), WM_CHAR, VK_ESCAPE, 0);
        if (a == kEscapeThenClose) PostMessageA(d->GetHandle(), WM_CLOSE, 0, 0);
        if (a == kEscapeWithResult) d->SetEscapeResult(1);
        EXPECT_EQ(d->Run("Go on?", false), expected[a]) << a;
        EXPECT_TRUE(IsWindowEnabled(top->GetHandle())) << a;
        POINT c = Centre(d->GetHandle()), o = Centre(top->GetHandle());
        EXPECT_LE(std::abs(c.x - o.x) + std::abs(c.y - o.y), 2) << a;
        EXPECT_EQ(again.answer, a == kRunAgainInside ? MessageDialog::kClosed : 0);
        EXPECT_EQ(again.text, a == kRunAgainInside ? "Go on?" : "");
        delete d;
    }
    delete top;
}

// Columns from the first to the last one holding ink (any pixel unlike the top-left one) in what
// draw paints into a 32-bit DIB.
template <typename Draw>
int InkWidth(int width, int height, Draw draw) {
    BITMAPINFO info = {{sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB}};
    uint32_t* px = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&px), nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    draw(dc), GdiFlush();
    int first = width, last = -1;
    for (int i = 0; i < width * height; ++i)
        if (px[i] != px[0]) first = std::min(first, i % width), last = std::max(last, i % width);
    DeleteObject(SelectObject(dc, old)), DeleteDC(dc);
    return last - first + 1;
}

// A one-line message shows all the ink its text has when drawn unclipped in the panel's font
// (Wine draws a few pixels wider than it measures: clipped to the measured width, the first
// text lost its full stop).
TEST(MessageDialog, OneLineMessageShowsWhole) {
    for (LONG height : {-11, 16}) {
        LOGFONTA look = {height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial"};
        HFONT font = CreateFontIndirectA(&look);
        for (const char* text :
             {"Can not write to the selected directory. Recording will be disabled.", "Failed to open the log file."}) {
            MessageDialog d(nullptr, 1, "Error");
            Panel* p = d.GetMessagePanel();
            p->SetFont(font), p->SetBorderStyle(0);
            PostClick(d.GetButton(0)->GetHandle());
            d.Run(text, true);
            const int w = p->ClientWidth(), h = p->ClientHeight();
            const int shown = InkWidth(w, h, [&](HDC dc) { SendMessageA(p->GetHandle(), WM_PAINT, WPARAM(dc), 0); });
            const int whole = InkWidth(2 * w, h, [&](HDC dc) {
                RECT all = {0, 0, 2 * w, h}, at = {4, 4, 4, 4};
                FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
                SelectObject(dc, font), DrawTextA(dc, text, -1, &at, DT_NOCLIP | DT_NOPREFIX);
            });
            EXPECT_EQ(shown, whole) << text << " at height " << height;
        }
        DeleteObject(font);
    }
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
