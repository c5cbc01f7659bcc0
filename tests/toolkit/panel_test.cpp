#include <gtest/gtest.h>

#include <windows.h>

#include "toolkit/drawing.h"
#include "toolkit/panel.h"
#include "toolkit_fixture.h"

namespace {

constexpr COLORREF kFace = 0x30A050, kBack = 0x204060, kRed = 0x0000FF, kGreyText = 0xC08040;

struct Fixture {
    Component* top = MakeTopLevel(200, 160);
    Panel* panel;
    DibBitmap dib;
    Fixture(int w, int h, int style) : dib(w, h) {
        panel = new Panel("", top->GetHandle(), 0, 0, w, h, WS_CHILD | WS_VISIBLE, 0);
        panel->SetFaceColor(kFace);
        panel->SetBackColor(kBack);
        panel->SetTextColor(0);
        panel->SetBevelDepth(3);
        panel->SetBorderStyle(style);
    }
    ~Fixture() { delete top; }
    COLORREF Paint(int x, int y) {
        SendMessageA(panel->GetHandle(), WM_PAINT, reinterpret_cast<WPARAM>(dib.GetDC()), 0);
        GdiFlush();
        return PixelAt(dib, x, y);
    }
};

// The inset of the client rectangle, and what the paint leaves on the left edge and in the
// middle: the frame is drawn after the background.
TEST(Panel, InsetsAndPaintOrderPerBorderStyle) {
    struct Row {
        int style, inset;
        bool edgeIsFace;
        COLORREF middle;
    };
    const Row rows[] = {
        {kBorderNone, 0, true, kFace},     {kBorderSingleRaised, 1, false, kFace},
        {kBorderRounded, 1, false, kFace}, {kBorderSunken, 3, false, kBack},
        {kBorderRaised, 3, false, kFace},  {kBorderSingleSunken, 0, false, kFace},
    };
    Fixture f(40, 30, kBorderNone);
    for (const Row& row : rows) {
        f.panel->SetBorderStyle(row.style);
        RECT r;
        f.panel->GetClientRect(&r);
        EXPECT_EQ(r.left, row.inset) << row.style;
        EXPECT_EQ(r.bottom, 30 - row.inset) << row.style;
        EXPECT_EQ(f.Paint(20, 15), row.middle) << row.style;
        EXPECT_EQ(PixelAt(f.dib, 0, 15) == kFace, row.edgeIsFace) << row.style;
    }
    f.panel->SetBorderStyle(kBorderRaised);
    f.panel->SetSize(5, 30);  // a bevel that does not fit takes nothing
    RECT r;
    f.panel->GetClientRect(&r);
    EXPECT_EQ(r.left, 0);
    f.panel->SetBorderStyle(kBorderNone);
    struct Painter {
        void Paint(Object*, HDC hdc, RECT* r) { FillRect(hdc, r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))); }
    } painter;
    f.panel->OnPaintBackground.Bind(&painter, &Painter::Paint);  // paints instead of the panel
    EXPECT_EQ(f.Paint(2, 15), 0xFFFFFFu);
}

// Ink of the caption (black on the face colour) in column x, rows from..to.
bool InkIn(const DibBitmap& dib, int x, int from, int to) {
    for (int y = from; y <= to; ++y)
        if (PixelAt(dib, x, y) != kFace) return true;
    return false;
}

TEST(Panel, ACaptionWiderThanThePanelStartsAtTheLeftAndEndsInAnEllipsis) {
    HFONT font = CreateToolkitFont(20, "Arial", false, false, false, false, 0, ANSI_CHARSET);
    {
        Fixture f(60, 30, kBorderNone);
        f.panel->SetFont(font);
        f.panel->SetText("I....IIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIII");  // centred
        f.Paint(0, 0);
        ASSERT_GT(f.panel->GetCaptionSize().cx, 60);
        int left = 0, top = 0, bottom = 29, right = 59;
        while (left < 60 && !InkIn(f.dib, left, 0, 29)) ++left;
        while (right > 0 && !InkIn(f.dib, right, 0, 29)) --right;
        while (top < 30 && !InkIn(f.dib, left, top, top)) ++top;
        while (bottom > 0 && !InkIn(f.dib, left, bottom, bottom)) --bottom;
        ASSERT_LE(left, 3);  // the "I" at the left edge, then the dots, not a later part
        ASSERT_LT(top + 8, bottom);
        ASSERT_GT(right, 40);
        for (int x = left + 7; x < left + 17; ++x) EXPECT_FALSE(InkIn(f.dib, x, top, (top + bottom) / 2)) << x;
        for (int x = right - 1; x <= right; ++x) EXPECT_FALSE(InkIn(f.dib, x, top, (top + bottom) / 2)) << x;
    }
    DeleteObject(font);
}

TEST(Label, SizesItselfToItsCaptionOnlyWhenAskedTo) {
    Component* top = MakeTopLevel();
    Label* one = new Label("W", top->GetHandle(), 0, 0, 0, 0, WS_CHILD);
    Label* two = new Label("WW", top->GetHandle(), 0, 0, 0, 0, WS_CHILD);
    Label* fixed = new Label("WW", top->GetHandle(), 0, 0, 50, 20, WS_CHILD);
    EXPECT_GT(two->Width(), one->Width());
    EXPECT_EQ(fixed->Width(), 50);
    fixed->SetCaption("W", true);
    EXPECT_EQ(fixed->Width(), one->Width());
    one->SetBorderStyle(kBorderSunken);  // the frame is added on every side
    one->SetBevelDepth(2);
    one->AutoSize();
    EXPECT_EQ(one->Width(), fixed->Width() + 4);
    EXPECT_EQ(one->Height(), fixed->Height() + 4);
    delete top;
}

// The linked picture: magenta (the transparent colour) around a red square at 4..11 of 16 x 16.
TEST(Panel, BitmapIsDrawnTransparentlyAndAsItsShapeWhenDisabled) {
    Fixture f(40, 40, kBorderNone);
    f.panel->SetDisabledTextColor(kGreyText);
    EXPECT_EQ(f.panel->LoadBitmap(MAKEINTRESOURCEA(999), GetModuleHandleA(nullptr)), 0);
    ASSERT_EQ(f.panel->LoadBitmap(MAKEINTRESOURCEA(101), reinterpret_cast<HINSTANCE>(-1)), 1);
    struct Row {
        bool half, enabled;
        int from, to;
        COLORREF shape;
    };
    const Row rows[] = {
        {false, true, 16, 23, kRed},  // full size, centred at 12..27
        {false, false, 16, 23, kGreyText},
        {true, true, 18, 21, kRed},  // half size, centred at 16..23
    };
    for (const Row& row : rows) {
        f.panel->SetHalfSizeBitmap(row.half);
        EnableWindow(f.panel->GetHandle(), row.enabled);
        EXPECT_EQ(f.Paint(2, 2), kFace);
        for (int i = row.from; i <= row.to; ++i) EXPECT_EQ(PixelAt(f.dib, i, i), row.shape) << row.half << i;
        EXPECT_EQ(PixelAt(f.dib, row.from - 1, row.from - 1), kFace) << row.half << row.enabled;
        EXPECT_EQ(PixelAt(f.dib, row.to + 1, row.from), kFace) << row.half << row.enabled;
    }
    f.panel->SetBitmapAlign(kBitmapStretch);  // the square spreads over 10..29
    EXPECT_EQ(f.Paint(11, 11), kRed);
    EXPECT_EQ(PixelAt(f.dib, 28, 28), kRed);
    EXPECT_EQ(PixelAt(f.dib, 8, 8), kFace);
}

}  // namespace
