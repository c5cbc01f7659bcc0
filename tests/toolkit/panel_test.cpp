#include <gtest/gtest.h>

#include <windows.h>

#include "tests/support/widget_input.h"
#include "toolkit/drawing.h"
#include "toolkit/panel.h"
#include "toolkit_fixture.h"

namespace {

constexpr COLORREF kFace = 0x30A050, kBack = 0x204060, kRed = 0x0000FF, kGreyText = 0xC08040;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

void PaintInto(Component* c, DibBitmap* dib) {
    SendMessageA(c->GetHandle(), WM_PAINT, reinterpret_cast<WPARAM>(dib->GetDC()), 0);
    GdiFlush();
}

struct Fixture {
    Component* top = MakeTopLevel(200, 160);
    Panel* panel;
    explicit Fixture(int w = 40, int h = 30) {
        panel = new Panel("", top->GetHandle(), 0, 0, w, h, kChild, 0);
        panel->SetFaceColor(kFace);
        panel->SetBackColor(kBack);
        panel->SetTextColor(0);
        panel->SetBevelDepth(3);
    }
    ~Fixture() { delete top; }
};

// Inset of the client rectangle, and what the paint leaves at the outer corner and the middle:
// the frame is drawn last, over the background.
TEST(Panel, InsetsAndPaintOrderPerBorderStyle) {
    struct Row { int style, inset; bool cornerIsFace; COLORREF middle; };
    const Row rows[] = {
        {kBorderNone, 0, true, kFace},          {kBorderSingleRaised, 1, false, kFace},
        {kBorderRounded, 1, false, kFace},       {kBorderSunken, 3, false, kBack},
        {kBorderRaised, 3, false, kFace},       {kBorderSingleSunken, 0, false, kFace},
    };
    Fixture f;
    for (const Row& row : rows) {
        f.panel->SetBorderStyle(row.style);
        RECT r;
        f.panel->GetClientRect(&r);
        EXPECT_EQ(r.left, row.inset) << row.style;
        EXPECT_EQ(r.bottom, 30 - row.inset) << row.style;
        DibBitmap dib(40, 30);
        PaintInto(f.panel, &dib);
        EXPECT_EQ(PixelAt(dib, 0, 15) == kFace, row.cornerIsFace) << row.style;
        EXPECT_EQ(PixelAt(dib, 20, 15), row.middle) << row.style;
    }
    f.panel->SetSunkenUsesBackColor(false);
    f.panel->SetBorderStyle(kBorderSunken);
    DibBitmap dib(40, 30);
    PaintInto(f.panel, &dib);
    EXPECT_EQ(PixelAt(dib, 20, 15), kFace);
}

TEST(Panel, ABevelThatDoesNotFitLeavesTheFullClientArea) {
    Fixture f(5, 20);
    RECT r;
    f.panel->GetClientRect(&r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 5);
}

struct Painter {
    COLORREF colour;
    void Paint(Object*, HDC hdc, RECT* r) {
        HBRUSH b = CreateSolidBrush(colour);
        FillRect(hdc, r, b);
        DeleteObject(b);
    }
};

TEST(Panel, PaintBackgroundHandlerReplacesTheFill) {
    Fixture f;
    f.panel->SetBorderStyle(kBorderNone);
    Painter p{kRed};
    f.panel->OnPaintBackground.Bind(&p, &Painter::Paint);
    DibBitmap dib(40, 30);
    PaintInto(f.panel, &dib);
    EXPECT_EQ(PixelAt(dib, 20, 15), kRed);
    EXPECT_EQ(PixelAt(dib, 0, 0), kRed);
}

// Ink of the caption (black on the face colour) in column x, rows from..to.
bool InkIn(const DibBitmap& dib, int x, int from, int to) {
    for (int y = from; y <= to; ++y)
        if (PixelAt(dib, x, y) != kFace) return true;
    return false;
}

TEST(Panel, ACaptionWiderThanThePanelStartsAtTheLeftAndEndsInAnEllipsis) {
    HFONT font = CreateToolkitFont(20, "Arial", false, false, false, false, 0, ANSI_CHARSET);
    Fixture f(60, 30);
    f.panel->SetFont(font);
    f.panel->SetBorderStyle(kBorderNone);
    f.panel->SetText("I....IIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIII");   // centred alignment
    DibBitmap dib(60, 30);
    PaintInto(f.panel, &dib);
    ASSERT_GT(f.panel->GetCaptionSize().cx, 60);
    int left = 0, top = 0, bottom = 29, right = -1;
    while (left < 60 && !InkIn(dib, left, 0, 29)) ++left;
    ASSERT_LE(left, 3);   // the first letter, at the left edge
    while (top < 30 && !InkIn(dib, left, top, top)) ++top;
    while (bottom > 0 && !InkIn(dib, left, bottom, bottom)) --bottom;
    ASSERT_LT(top + 8, bottom) << "no full-height letter at the left edge";
    for (int x = left + 7; x < left + 17; ++x) EXPECT_FALSE(InkIn(dib, x, top, (top + bottom) / 2)) << x;   // "...."
    for (int x = 0; x < 60; ++x)
        if (InkIn(dib, x, 0, 29)) right = x;
    ASSERT_GT(right, 40);
    // The last letters are dots on the baseline: no ink in the upper half of the letters there.
    for (int x = right - 1; x <= right; ++x) EXPECT_FALSE(InkIn(dib, x, top, (top + bottom) / 2)) << x;
    f.panel->SetFont(nullptr);
    DeleteObject(font);
}

TEST(Label, SizesItselfToItsCaptionOnlyWhenAskedTo) {
    Component* top = MakeTopLevel();
    Label* one = new Label("W", top->GetHandle(), 0, 0, 0, 0, kChild);
    Label* two = new Label("WW", top->GetHandle(), 0, 0, 0, 0, kChild);
    Label* fixed = new Label("WW", top->GetHandle(), 0, 0, 50, 20, kChild);
    EXPECT_GT(one->Width(), 0);
    EXPECT_GT(two->Width(), one->Width());
    EXPECT_EQ(two->Height(), one->Height());
    EXPECT_EQ(fixed->Width(), 50);
    EXPECT_EQ(fixed->Height(), 20);
    fixed->SetCaption("W", true);
    EXPECT_EQ(fixed->Width(), one->Width());
    one->SetBorderStyle(kBorderSunken);   // the frame is added on every side
    one->SetBevelDepth(2);
    one->AutoSize();
    EXPECT_EQ(one->Width(), fixed->Width() + 4);
    EXPECT_EQ(one->Height(), fixed->Height() + 4);
    delete top;
}

// The test picture: magenta around a red square at 4..11 of 16 x 16.
TEST(Panel, BitmapIsDrawnTransparentlyAndAsItsShapeWhenDisabled) {
    Fixture f(40, 40);
    f.panel->SetBorderStyle(kBorderNone);
    f.panel->SetDisabledTextColor(kGreyText);
    EXPECT_EQ(f.panel->LoadBitmap(MAKEINTRESOURCEA(999), GetModuleHandleA(nullptr)), 0);
    EXPECT_FALSE(f.panel->HasBitmap());
    ASSERT_EQ(f.panel->LoadBitmap(MAKEINTRESOURCEA(101), reinterpret_cast<HINSTANCE>(-1)), 1);
    struct Row { bool half, enabled; int from, to; COLORREF shape; };
    const Row rows[] = {
        {false, true, 16, 23, kRed},     // full size, centred at 12..27
        {false, false, 16, 23, kGreyText},
        {true, true, 18, 21, kRed},      // half size, centred at 16..23
    };
    for (const Row& row : rows) {
        f.panel->SetHalfSizeBitmap(row.half);
        EnableWindow(f.panel->GetHandle(), row.enabled);
        DibBitmap dib(40, 40);
        PaintInto(f.panel, &dib);
        for (int i = row.from; i <= row.to; ++i) EXPECT_EQ(PixelAt(dib, i, i), row.shape) << row.half << row.enabled << i;
        EXPECT_EQ(PixelAt(dib, row.from - 1, row.from - 1), kFace) << row.half << row.enabled;
        EXPECT_EQ(PixelAt(dib, row.to + 1, row.from), kFace) << row.half << row.enabled;
        EXPECT_EQ(PixelAt(dib, 2, 2), kFace);
    }
    f.panel->SetBitmapAlign(kBitmapStretch);   // the square spreads over the middle half
    DibBitmap dib(40, 40);
    PaintInto(f.panel, &dib);
    EXPECT_EQ(PixelAt(dib, 11, 11), kRed);
    EXPECT_EQ(PixelAt(dib, 28, 28), kRed);
    EXPECT_EQ(PixelAt(dib, 8, 8), kFace);
}

}  // namespace
