#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "toolkit/drawing.h"
#include "toolkit_fixture.h"

namespace {

COLORREF PenColour(HPEN pen) {
    LOGPEN info = {};
    GetObjectA(pen, sizeof info, &info);
    return info.lopnColor;
}

COLORREF BrushColour(HBRUSH brush) {
    LOGBRUSH info = {};
    GetObjectA(brush, sizeof info, &info);
    return info.lbColor;
}

TEST(ColourScheme, RootDefaults) {
    Component* root = MakeTopLevel();
    EXPECT_EQ(root->GetFaceColor(), 0x404040u);
    // Back colour: the face shaded by (2 * 70 / 3, in integers) / 255.
    EXPECT_EQ(root->GetBackColor(), ModelShade(0x404040, 46 / 255.0));
    EXPECT_EQ(BrushColour(root->GetBackBrush()), 0x626262u);
    EXPECT_EQ(BrushColour(root->GetFaceBrush()), 0x404040u);
    EXPECT_EQ(PenColour(root->GetDarkDotPen()), 0x272727u);
    EXPECT_EQ(PenColour(root->GetLightDotPen()), 0x8C8C8Cu);
    int count = 0;
    const ShadePair* pairs = root->GetShadePairs(&count);
    ASSERT_EQ(count, 3);
    for (int i = 0; i < 3; ++i) {
        double f = (3.0 - i) * 70 / (3 * 255.0);
        EXPECT_EQ(PenColour(pairs[i].light), ModelShade(0x404040, f)) << i;
        EXPECT_EQ(PenColour(pairs[i].dark), ModelShade(0x404040, -f)) << i;
    }
    delete root;
}

TEST(ColourScheme, ChildrenInheritAndChangesSpread) {
    Component* root = MakeTopLevel();
    Component* child = MakeChild(root, 0, 0, 50, 50);
    Component* grandchild = MakeChild(child, 0, 0, 20, 20);
    EXPECT_EQ(child->OwnFaceColor(), kInheritColour);
    EXPECT_EQ(grandchild->GetFaceColor(), 0x404040u);
    root->SetFaceColor(0x2080C0);
    EXPECT_EQ(grandchild->GetFaceColor(), 0x2080C0u);
    EXPECT_EQ(BrushColour(grandchild->GetFaceBrush()), 0x2080C0u);
    child->SetBackColor(0x112233);
    EXPECT_EQ(grandchild->GetBackColor(), 0x112233u);
    EXPECT_EQ(root->GetBackColor(), 0x626262u);
    child->SetBevelDepth(2);
    int count = 0;
    const ShadePair* pairs = grandchild->GetShadePairs(&count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(PenColour(pairs[0].light), ModelShade(0x2080C0, 2 * 70 / (2 * 255.0)));
    child->SetBackColor(kInheritColour);  // back to inheriting
    EXPECT_EQ(grandchild->GetBackColor(), 0x626262u);
    delete root;
}

TEST(ColourScheme, BevelDepthIsClamped) {
    Component* root = MakeTopLevel();
    Component* child = MakeChild(root, 0, 0, 10, 10);
    root->SetBevelDepth(0);
    EXPECT_EQ(root->GetBevelDepth(), 1);
    root->SetBevelDepth(500);
    EXPECT_EQ(root->GetBevelDepth(), 100);
    root->SetBevelDepth(-1);  // a root cannot inherit
    EXPECT_EQ(root->GetBevelDepth(), 1);
    child->SetBevelDepth(4);
    child->SetBevelDepth(-1);  // a child can
    EXPECT_EQ(child->OwnBevelDepth(), -1);
    EXPECT_EQ(child->GetBevelDepth(), 1);
    delete root;
}

std::string g_report;
void Capture(const char* text) { g_report += text; }

TEST(GraphicsResourceTracker, SharesOneObjectPerColourAndReportsUnknownHandles) {
    GraphicsResourceTracker& t = GetApplication()->GetTracker();
    int pens = t.GetObjectCount(GraphicsResourceTracker::kPen);
    HPEN a = t.AcquirePen(0x123456);
    HPEN b = t.AcquirePen(0x123456);
    EXPECT_EQ(a, b);
    EXPECT_EQ(t.GetReferences(a), 2);
    EXPECT_EQ(t.GetObjectCount(GraphicsResourceTracker::kPen), pens + 1);
    HPEN dot = t.AcquireDotPen(0x123456);  // another kind, another object
    EXPECT_NE(dot, a);
    t.ReleasePen(a);
    EXPECT_EQ(GetObjectType(a), static_cast<DWORD>(OBJ_PEN));  // still alive
    t.ReleasePen(a);
    EXPECT_EQ(t.GetReferences(a), 0);
    EXPECT_EQ(t.GetObjectCount(GraphicsResourceTracker::kPen), pens);
    t.ReleaseDotPen(dot);

    HBRUSH brush = t.AcquireBrush(0x654321);
    g_report.clear();
    t.SetReportFunction(Capture);
    t.ReleasePen(reinterpret_cast<HPEN>(brush));
    t.ReleaseBrush(reinterpret_cast<HBRUSH>(0x1234));
    t.ReleaseDotPen(reinterpret_cast<HPEN>(0x1234));
    t.SetReportFunction(nullptr);
    EXPECT_EQ(g_report,
              "DeletePen called for non-existing handle\nDeleteBrush called for non-existing handle\n"
              "DeleteDotPen called for non-existing handle\n");
    EXPECT_EQ(t.GetReferences(brush), 1);
    EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
    t.ReleaseBrush(brush);
}

TEST(GraphicsResourceTracker, WindowsGiveBackEverythingTheyTook) {
    GraphicsResourceTracker& t = GetApplication()->GetTracker();
    int before[3], refs[3];
    for (int k = 0; k < 3; ++k) {
        before[k] = t.GetObjectCount(static_cast<GraphicsResourceTracker::Kind>(k));
        refs[k] = t.GetReferenceCount(static_cast<GraphicsResourceTracker::Kind>(k));
    }
    Component* root = MakeTopLevel();
    Component* child = MakeChild(root, 0, 0, 10, 10);
    child->SetFaceColor(0x0000FF);
    child->SetBackColor(0x00FF00);
    child->SetContrast(200);
    root->SetBevelDepth(7);
    delete root;
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(t.GetObjectCount(static_cast<GraphicsResourceTracker::Kind>(k)), before[k]) << k;
        EXPECT_EQ(t.GetReferenceCount(static_cast<GraphicsResourceTracker::Kind>(k)), refs[k]) << k;
    }
}

TEST(Drawing, ShadeBlendAndAlign) {
    EXPECT_EQ(Shade(0x404040, 0.4), 0x8C8C8Cu);
    EXPECT_EQ(Shade(0x404040, -0.4), 0x272727u);
    EXPECT_EQ(Shade(0x00FF00, 1.0), 0xFFFFFFu);
    EXPECT_EQ(Shade(0x00FF00, -1.0), 0u);
    EXPECT_EQ(Blend(0x000000, 0xFF8040, 0.5), 0x7F4020u);
    RECT r = {0, 0, 10, 20};
    POINT p = {5, 4};
    AlignInRect(r, kAlignHCenter | kAlignVCenter, &p);
    EXPECT_EQ(p.x, 2);
    EXPECT_EQ(p.y, 8);
    p = {5, 4};
    AlignInRect(r, kAlignRight | kAlignBottom, &p);
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, 16);
    p = {5, 4};
    AlignInRect(r, 0x0F | 0xF0, &p);  // unknown codes leave the values
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, 4);
    RECT d = {5, 5, 10, 10};
    DeflateRectBy(&d, -1);
    EXPECT_EQ(d.left, 6);
    EXPECT_EQ(d.right, 9);
}

}  // namespace
