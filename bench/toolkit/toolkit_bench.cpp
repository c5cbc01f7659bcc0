// Creating and destroying 1,000 nested components, and painting a 50-child component 1,000
// times into a DIB, each beside a reference measured in the same run (bare CreateWindowEx /
// DestroyWindow of as many windows; the same frames drawn straight into the DIB). Exits
// non-zero when a shared pen or brush is left behind.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "foundation/high_res_timer.h"
#include "toolkit/application.h"
#include "toolkit/bitmap.h"
#include "toolkit/component.h"
#include "toolkit/drawing.h"

namespace {

class Framed : public Component {
public:
    Framed(HWND parent, int x, int y, int w, int h)
        : Component("", (parent ? WS_CHILD : WS_POPUP) | WS_VISIBLE, 0, x, y, w, h, parent) {}
    LRESULT DoOnPaint(HDC hdc) override {
        RECT r;
        GetClientRect(&r);
        int n = 0;
        const ShadePair* pairs = GetShadePairs(&n);
        Draw3DFrame(hdc, &r, kBorderRaised, n, pairs);
        FillRect(hdc, &r, GetBackBrush());
        return 0;
    }
};

int Counts(int* refs) {
    GraphicsResourceTracker& t = GetApplication()->GetTracker();
    int objects = 0;
    *refs = 0;
    for (int k = 0; k < GraphicsResourceTracker::kKinds; ++k) {
        objects += t.GetObjectCount(static_cast<GraphicsResourceTracker::Kind>(k));
        *refs += t.GetReferenceCount(static_cast<GraphicsResourceTracker::Kind>(k));
    }
    return objects;
}

// Paints a component and its children into the DIB at their places.
void PaintTree(Component* c, HDC dc, int x, int y) {
    SetViewportOrgEx(dc, x, y, nullptr);
    SendMessageA(c->GetHandle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageA(c->GetHandle(), WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    for (Component* child = c->GetNextChild(nullptr, false); child; child = c->GetNextChild(child, false))
        PaintTree(child, dc, x + child->GetLeft(), y + child->Top());
}

}  // namespace

int main() {
    int refsBefore = 0;
    int objectsBefore = Counts(&refsBefore);
    HighResTimer timer;

    // 1,000 components: 100 roots, each carrying a chain nested 9 deep.
    int64_t t0 = timer.Elapsed(1000000);
    std::vector<Component*> roots;
    for (int r = 0; r < 100; ++r) {
        Component* root = new Framed(nullptr, 0, 0, 200, 200);
        HWND parent = root->GetHandle();
        for (int d = 0; d < 9; ++d) parent = (new Framed(parent, 2, 2, 190 - 10 * d, 190 - 10 * d))->GetHandle();
        roots.push_back(root);
    }
    for (Component* root : roots) delete root;
    int64_t createUs = timer.Elapsed(1000000) - t0;

    t0 = timer.Elapsed(1000000);
    std::vector<HWND> plain;
    for (int r = 0; r < 100; ++r) {
        HWND parent =
            CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
        plain.push_back(parent);
        for (int d = 0; d < 9; ++d)
            parent = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 2, 2, 190 - 10 * d, 190 - 10 * d, parent,
                                     nullptr, nullptr, nullptr);
    }
    for (HWND h : plain) DestroyWindow(h);
    int64_t plainUs = timer.Elapsed(1000000) - t0;

    Framed* panel = new Framed(nullptr, 0, 0, 500, 400);
    for (int i = 0; i < 50; ++i) {
        Framed* child = new Framed(panel->GetHandle(), 10 + (i % 10) * 48, 10 + (i / 10) * 76, 44, 70);
        child->SetFaceColor(RGB(40 + i * 4, 80, 120));
    }
    GetApplication()->ProcessMessages();
    DibBitmap dib(500, 400);
    t0 = timer.Elapsed(1000000);
    for (int i = 0; i < 1000; ++i) PaintTree(panel, dib.GetDC(), 0, 0);
    GdiFlush();
    int64_t paintUs = timer.Elapsed(1000000) - t0;

    int n = 0;
    const ShadePair* pairs = panel->GetShadePairs(&n);
    t0 = timer.Elapsed(1000000);
    for (int i = 0; i < 1000; ++i)
        for (int c = 0; c < 51; ++c) {
            RECT r = {c ? 10 + ((c - 1) % 10) * 48 : 0, c ? 10 + ((c - 1) / 10) * 76 : 0, 0, 0};
            r.right = r.left + (c ? 44 : 500);
            r.bottom = r.top + (c ? 70 : 400);
            FillRect(dib.GetDC(), &r, panel->GetFaceBrush());
            Draw3DFrame(dib.GetDC(), &r, kBorderRaised, n, pairs);
            FillRect(dib.GetDC(), &r, panel->GetBackBrush());
        }
    GdiFlush();
    int64_t directUs = timer.Elapsed(1000000) - t0;
    delete panel;

    int refsAfter = 0;
    int objectsAfter = Counts(&refsAfter);
    std::printf("create+destroy 1000 nested components: %8.1f ms   (1000 bare windows: %8.1f ms)\n", createUs / 1000.0,
                plainUs / 1000.0);
    std::printf("paint a 50-child component x1000:      %8.1f ms   (same frames drawn directly: %8.1f ms)\n",
                paintUs / 1000.0, directUs / 1000.0);
    std::printf("shared GDI objects before/after: %d/%d, references %d/%d\n", objectsBefore, objectsAfter, refsBefore,
                refsAfter);
    return objectsAfter == objectsBefore && refsAfter == refsBefore ? 0 : 1;
}
