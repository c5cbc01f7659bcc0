#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

#include "toolkit/drawing.h"
#include "toolkit_fixture.h"

namespace {

// A component that draws its bevel raised and fills the inside with its back colour.
class Framed : public Component {
public:
    Framed(Component* parent, int x, int y, int w, int h)
        : Component("", (parent ? WS_CHILD : WS_POPUP) | WS_VISIBLE, 0, x, y, w, h,
                    parent ? parent->GetHandle() : nullptr) {}
    LRESULT DoOnPaint(HDC hdc) override {
        RECT r;
        GetClientRect(&r);
        int count = 0;
        const ShadePair* pairs = GetShadePairs(&count);
        Draw3DFrame(hdc, &r, kBorderRaised, count, pairs);
        FillRect(hdc, &r, GetBackBrush());
        ++paints;
        return 0;
    }
    int paints = 0;
};

TEST(Painting, FrameRingsAndBackgroundHaveTheirExactColours) {
    Framed* c = new Framed(nullptr, 30, 30, 40, 30);
    const COLORREF face = 0x3070B0, back = 0x102030;
    c->SetFaceColor(face);
    c->SetBackColor(back);
    c->SetContrast(100);
    c->SetBevelDepth(2);
    ASSERT_EQ(c->ClientWidth(), 40);
    DibBitmap dib(40, 30);
    SendMessageA(c->GetHandle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dib.GetDC()), 0);
    GdiFlush();
    EXPECT_EQ(PixelAt(dib, 0, 0), face);  // the erase fills with the face colour
    EXPECT_EQ(PixelAt(dib, 39, 29), face);
    SendMessageA(c->GetHandle(), WM_PAINT, reinterpret_cast<WPARAM>(dib.GetDC()), 0);
    GdiFlush();
    // Ring i: factor (2 - i) * 100 / (2 * 255); light on the top and left, dark on the right
    // and bottom; the outermost ring is the strongest.
    for (int i = 0; i < 2; ++i) {
        double f = (2.0 - i) * 100 / (2 * 255.0);
        COLORREF light = ModelShade(face, f), dark = ModelShade(face, -f);
        EXPECT_EQ(PixelAt(dib, 20, i), light) << "top ring " << i;
        EXPECT_EQ(PixelAt(dib, i, 15), light) << "left ring " << i;
        EXPECT_EQ(PixelAt(dib, 39 - i, 15), dark) << "right ring " << i;
        EXPECT_EQ(PixelAt(dib, 20, 29 - i), dark) << "bottom ring " << i;
    }
    for (uint32_t y = 2; y < 28; ++y)
        for (uint32_t x = 2; x < 38; ++x) ASSERT_EQ(PixelAt(dib, x, y), back) << x << "," << y;
    delete c;
}

TEST(Painting, TheBackBufferGrowsAndNeverShrinks) {
    Framed* c = new Framed(nullptr, 0, 0, 50, 40);
    c->CreateBackBuffer(true);
    EXPECT_TRUE(c->IsDoubleBuffered());
    EXPECT_EQ(c->GetBackBufferSize().cx, 50);
    EXPECT_EQ(c->GetBackBufferSize().cy, 40);
    c->SetSize(80, 30);
    Pump();
    EXPECT_EQ(c->GetBackBufferSize().cx, 80);
    EXPECT_EQ(c->GetBackBufferSize().cy, 40);
    c->SetSize(20, 20);
    Pump();
    EXPECT_EQ(c->GetBackBufferSize().cx, 80);
    EXPECT_EQ(c->GetBackBufferSize().cy, 40);
    // A window-DC erase is ignored; painting goes through the back buffer.
    HDC dc = GetDC(c->GetHandle());
    EXPECT_EQ(SendMessageA(c->GetHandle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    ReleaseDC(c->GetHandle(), dc);
    int before = c->paints;
    InvalidateRect(c->GetHandle(), nullptr, TRUE);
    UpdateWindow(c->GetHandle());
    EXPECT_EQ(c->paints, before + 1);
    c->CreateBackBuffer(false);
    EXPECT_EQ(c->GetBackBufferSize().cx, 0);
    delete c;
}

// A back buffer as large as a 30000-pixel square cannot be made (3.6 GB): the component paints
// straight into the window, once per WM_PAINT, and its background is erased as usual.
// Failing, each WM_PAINT would send the next; the depth is cut at 10 so that such a run ends.
TEST(Painting, WithoutABackBufferTheWindowIsPaintedDirectly) {
    struct Huge : Framed {
        Huge() : Framed(nullptr, 0, 0, 30000, 30000) {}
        LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
            if (msg != WM_PAINT) return Framed::WndProc(msg, wParam, lParam);
            if (depth == 10) return 0;
            maxDepth = ++depth > maxDepth ? depth : maxDepth;
            LRESULT r = Framed::WndProc(msg, wParam, lParam);
            --depth;
            return r;
        }
        LRESULT DoOnEraseBkgnd(HDC hdc) override { return ++erases, Framed::DoOnEraseBkgnd(hdc); }
        int depth = 0, maxDepth = 0, erases = 0;
    }* c = new Huge;
    ASSERT_EQ(c->ClientWidth(), 30000);
    c->CreateBackBuffer(true);
    ASSERT_TRUE(c->IsDoubleBuffered());
    ASSERT_EQ(c->GetBackBufferDC(), nullptr);
    Pump();
    c->erases = c->paints = 0;
    InvalidateRect(c->GetHandle(), nullptr, TRUE);
    RECT dirty;
    SendMessageA(c->GetHandle(), WM_PAINT, 0, 0);
    EXPECT_EQ(c->maxDepth, 1);
    EXPECT_EQ(c->paints, 1);
    EXPECT_EQ(c->erases, 1);
    EXPECT_FALSE(GetUpdateRect(c->GetHandle(), &dirty, FALSE)) << "validated";
    delete c;
}

TEST(DibBitmap, StrideRowsAndBlackStart) {
    DibBitmap dib(5, 2);
    EXPECT_EQ(dib.GetStride(), 16u);
    ASSERT_NE(dib.GetRow(0), nullptr);
    EXPECT_EQ(dib.GetRow(0), dib.GetRow(1) + 16);  // bottom-up: the top row lies last
    EXPECT_EQ(dib.GetRow(2), nullptr);
    EXPECT_EQ(dib.GetRow(static_cast<uint32_t>(-1)), nullptr);  // a negative row is far outside
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(dib, x, y), 0u);
    // The colour word's low bytes go to memory in order: row 1 lies first in memory.
    EXPECT_EQ(dib.SetPixel(4, 1, 0x123456), 1);
    EXPECT_EQ(dib.GetPixels()[4 * 3], 0x56);
    EXPECT_EQ(dib.GetPixels()[4 * 3 + 2], 0x12);
    EXPECT_EQ(dib.SetPixel(5, 0, 1), 0);
    EXPECT_EQ(dib.SetPixel(static_cast<uint32_t>(-1), 0, 1), 0);  // -1 is far outside
    EXPECT_EQ(dib.SetPixel(0, static_cast<uint32_t>(-1), 1), 0);
}

TEST(DibBitmap, SavesABmpThatReadsBack) {
    DibBitmap dib(7, 3);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 7; ++x)
            SetPixelV(dib.GetDC(), static_cast<int>(x), static_cast<int>(y), RGB(x * 30, y * 80, 200));
    GdiFlush();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "apco_dib_test.bmp";
    ASSERT_EQ(dib.SaveToFile(path.c_str()), 1);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> bytes(GetFileSize(f, nullptr));
    DWORD n = 0;
    ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(f);
    DeleteFileA(path.c_str());
    ASSERT_GE(bytes.size(), 54u);
    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih;
    std::memcpy(&fh, bytes.data(), 14);
    std::memcpy(&ih, bytes.data() + 14, 40);
    EXPECT_EQ(fh.bfType, 0x4D42);
    const uint32_t image = 24 * 7 / 32 * 4 + 4;  // (24 * 7 + 31) / 32 * 4 = 24 bytes a row
    EXPECT_EQ(image, 24u);
    EXPECT_EQ(fh.bfSize, bytes.size());
    EXPECT_EQ(fh.bfSize, 14u + 40 + 1024 + 3 * image);  // a grey ramp is written for 24 bits
    EXPECT_EQ(fh.bfOffBits, 14u + 40 + 1024);
    EXPECT_EQ(ih.biWidth, 7);
    EXPECT_EQ(ih.biHeight, 3);
    EXPECT_EQ(ih.biBitCount, 24);
    // Pixel (x, y) of the file: rows bottom-up, BGR.
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 7; ++x) {
            const uint8_t* p = bytes.data() + fh.bfOffBits + (2 - y) * image + x * 3;
            EXPECT_EQ(RGB(p[2], p[1], p[0]), RGB(x * 30, y * 80, 200));
        }
}

// Model of one bevel ring drawn from (left, bottom) up, across the top, down the right and
// back along the bottom, each line leaving out its end pixel: the top-left pen owns the left
// column below the top and the top row left of the right edge; the bottom-right pen the rest.
COLORREF RingModel(int x, int y, int left, int top, int right, int bottom, COLORREF topLeft, COLORREF bottomRight,
                   bool* hit) {
    *hit = true;
    if (x == left && y > top && y <= bottom) return topLeft;
    if (y == top && x >= left && x < right) return topLeft;
    if (x == right && y >= top && y < bottom) return bottomRight;
    if (y == bottom && x > left && x <= right) return bottomRight;
    *hit = false;
    return 0;
}

TEST(Painting, EveryFrameStylePaintsItsRingsPixelForPixel) {
    const int W = 14, H = 11, depth = 3;
    const COLORREF background = 0x0A0B0C;
    const COLORREF lights[depth] = {0x0000F0, 0x00F000, 0xF00000};
    const COLORREF darks[depth] = {0x000070, 0x007000, 0x700000};
    GraphicsResourceTracker& tracker = GetApplication()->GetTracker();
    ShadePair pairs[depth];
    for (int i = 0; i < depth; ++i) {
        pairs[i].light = tracker.AcquirePen(lights[i]);
        pairs[i].dark = tracker.AcquirePen(darks[i]);
    }
    struct Case {
        int style, rings;
        bool reversed;  // sunken: dark top-left, pairs innermost-strongest
    } cases[] = {{kBorderRaised, depth, false},
                 {kBorderSunken, depth, true},
                 {kBorderSingleRaised, 1, false},
                 {kBorderSingleSunken, 1, true}};
    for (const Case& k : cases) {
        DibBitmap dib(W, H);
        HBRUSH fill = CreateSolidBrush(background);
        RECT all = {0, 0, W, H};
        FillRect(dib.GetDC(), &all, fill);
        DeleteObject(fill);
        RECT r = all;
        Draw3DFrame(dib.GetDC(), &r, k.style, depth, pairs);
        GdiFlush();
        EXPECT_EQ(r.left, k.rings);
        EXPECT_EQ(r.top, k.rings);
        EXPECT_EQ(r.right, W - k.rings);
        EXPECT_EQ(r.bottom, H - k.rings);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                COLORREF want = background;
                for (int i = 0; i < k.rings; ++i) {
                    int pair = k.reversed && k.rings > 1 ? depth - 1 - i : i;
                    COLORREF tl = k.reversed ? darks[pair] : lights[pair];
                    COLORREF br = k.reversed ? lights[pair] : darks[pair];
                    bool hit;
                    COLORREF c = RingModel(x, y, i, i, W - 1 - i, H - 1 - i, tl, br, &hit);
                    if (hit) {
                        want = c;
                        break;
                    }
                }
                ASSERT_EQ(PixelAt(dib, static_cast<uint32_t>(x), static_cast<uint32_t>(y)), want)
                    << "style " << k.style << " at " << x << "," << y;
            }
    }
    RECT rounded = {0, 0, W, H};
    DibBitmap dib(W, H);
    Draw3DFrame(dib.GetDC(), &rounded, kBorderRounded, depth, pairs);  // draws, but takes no room
    EXPECT_EQ(rounded.left, 0);
    EXPECT_EQ(rounded.right, W);
    for (int i = 0; i < depth; ++i) {
        tracker.ReleasePen(pairs[i].light);
        tracker.ReleasePen(pairs[i].dark);
    }
}

// Glyph figures against a model of their rows and columns (end pixels left out).
TEST(Painting, GlyphsCoverExactlyTheirRowsAndColumns) {
    const int s = 9, ox = 2, oy = 3;
    const COLORREF ink = 0x00C0FF;
    HPEN pen = CreatePen(PS_SOLID, 0, ink);
    struct Case {
        int kind;
        bool (*covered)(int x, int y);
    };
    // Figures of size 9 at (2, 3).
    static const auto down = [](int x, int y) {
        int i = y - 3;
        return i >= 0 && i < 9 && x >= 2 + i / 2 && x < 2 + 9 - i / 2;
    };
    static const auto right = [](int x, int y) {
        for (int i = 0; i < (9 + 1) / 2; ++i)
            if ((y == 3 + i || y == 3 + 9 - 1 - i) && x >= 2 && x < 2 + 2 * i) return true;
        return false;
    };
    static const auto pause = [](int x, int y) {
        if (y < 3 || y >= 3 + 9) return false;
        for (int i = 0; i <= 9 / 3; ++i)
            if (x == 2 + i || x == 2 + 9 - 1 - i) return true;
        return false;
    };
    static const auto forward = [](int x, int y) {
        for (int i = 0; i <= 9 / 2; ++i)
            if ((x == 2 + i || x == 2 + 9 / 2 + i) && y >= 3 + i && y < 3 + 9 - i) return true;
        return false;
    };
    const Case cases[] = {
        {kGlyphDown, +down}, {kGlyphRight, +right}, {kGlyphPause, +pause}, {kGlyphFastForward, +forward}};
    for (const Case& k : cases) {
        DibBitmap dib(16, 16);
        DrawGlyph(dib.GetDC(), POINT{ox, oy}, s, k.kind, pen);
        GdiFlush();
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(PixelAt(dib, static_cast<uint32_t>(x), static_cast<uint32_t>(y)), k.covered(x, y) ? ink : 0u)
                    << "kind " << k.kind << " at " << x << "," << y;
    }
    DibBitmap untouched(16, 16);
    DrawGlyph(untouched.GetDC(), POINT{0, 0}, 1 << 28, kGlyphSquare, pen);  // too large: nothing
    DrawGlyph(untouched.GetDC(), POINT{0, 0}, 5, 6, pen);                   // a button's kind: nothing here
    GdiFlush();
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x) ASSERT_EQ(PixelAt(untouched, x, y), 0u);
    DeleteObject(pen);
}

}  // namespace
