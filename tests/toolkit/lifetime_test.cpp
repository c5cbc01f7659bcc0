#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "toolkit/menu.h"
#include "toolkit_fixture.h"

namespace {

int g_deleted = 0;

class Counted : public Component {
public:
    Counted(Component* parent)
        : Component("", parent ? WS_CHILD | WS_VISIBLE : WS_POPUP | WS_VISIBLE, 0, 0, 0, 50, 50,
                    parent ? parent->GetHandle() : nullptr) {}
    ~Counted() override { ++g_deleted; }
};

TEST(Lifetime, DestroyedByTheSystemTheObjectIsDeletedOnce) {
    g_deleted = 0;
    Counted* parent = new Counted(nullptr);
    Counted* a = new Counted(parent);
    Counted* b = new Counted(a);
    HWND hp = parent->GetHandle(), ha = a->GetHandle(), hb = b->GetHandle();
    DestroyWindow(hp);  // the system takes the parent and its children
    Pump();
    EXPECT_FALSE(IsWindow(hp));
    EXPECT_FALSE(IsWindow(ha));
    EXPECT_FALSE(IsWindow(hb));
    EXPECT_EQ(g_deleted, 3);
}

// Deleted by their owner, a child and then a top-level window each go once, with no second
// delete when their windows are destroyed.
TEST(Lifetime, DeletingAParentDeletesEveryChild) {
    g_deleted = 0;
    Counted* parent = new Counted(nullptr);
    std::vector<HWND> handles;
    for (int i = 0; i < 4; ++i) {
        Counted* child = new Counted(parent);
        handles.push_back(child->GetHandle());
        for (int j = 0; j < 2; ++j) handles.push_back((new Counted(child))->GetHandle());
    }
    // One child deleted by its owner first: it leaves the ring and is not deleted again.
    Component* first = parent->GetNextChild(nullptr, false);
    HWND firstHandle = first->GetHandle();
    delete first;
    EXPECT_EQ(g_deleted, 3);
    EXPECT_FALSE(IsWindow(firstHandle));
    delete parent;
    Pump();
    EXPECT_EQ(g_deleted, 13);
    for (HWND h : handles) EXPECT_FALSE(IsWindow(h));
}

TEST(Lifetime, ChildRingOrderAndNavigation) {
    Component* parent = MakeTopLevel();
    Component* a = MakeChild(parent, 0, 0, 10, 10);
    Component* b = MakeChild(parent, 10, 0, 10, 10);
    Component* c = MakeChild(parent, 20, 0, 10, 10);
    EXPECT_EQ(parent->GetNextChild(nullptr, false), a);
    EXPECT_EQ(parent->GetNextChild(nullptr, true), c);
    EXPECT_EQ(parent->GetNextChild(a, false), b);
    EXPECT_EQ(parent->GetNextChild(c, false), nullptr);  // forwards from the last
    EXPECT_EQ(parent->GetNextChild(a, true), nullptr);   // backwards from the first
    EXPECT_EQ(parent->GetNextChild(b, true), a);
    EXPECT_EQ(a->GetNextChild(b, false), nullptr);  // not a's child
    delete b;
    EXPECT_EQ(parent->GetNextChild(a, false), c);
    EXPECT_EQ(parent->GetNextChild(c, true), a);
    delete parent;
}

// A WM_CLOSE (Alt+F4, or a host closing every window of its thread) destroys only a window that
// opts in, deleting its object once; the owners of the others keep them. A top-level component
// hides, a child, a bare Window and the shared tooltip stay as they were.
TEST(Lifetime, WmCloseDestroysOnlyAWindowThatOptsIn) {
    g_deleted = 0;
    Counted* top = new Counted(nullptr);
    Counted* child = new Counted(top);
    Counted* optedIn = new Counted(nullptr);
    optedIn->SetCloseAction(Window::kCloseDestroys);
    PopupMenu* menu = new PopupMenu(nullptr);
    top->SetToolTip("tip");
    const struct {
        const char* what;
        HWND window;
        bool survives, visibleAfter;
    } rows[] = {{"child", child->GetHandle(), true, true},
                {"top-level component", top->GetHandle(), true, false},
                {"bare window", menu->GetHandle(), true, false},
                {"tooltip", GetApplication()->GetTooltip()->GetHandle(), true, false},
                {"opted in", optedIn->GetHandle(), false, false}};
    for (const auto& row : rows) {
        SendMessageA(row.window, WM_CLOSE, 0, 0);
        Pump();
        EXPECT_EQ(IsWindow(row.window) != 0, row.survives) << row.what;
        EXPECT_EQ(IsWindowVisible(row.window) != 0, row.visibleAfter) << row.what;
    }
    EXPECT_EQ(g_deleted, 1);
    char text[80] = {};
    top->GetToolTip(text);
    EXPECT_STREQ(text, "tip");
    delete menu;
    delete top;
    EXPECT_EQ(g_deleted, 3);
}

class Watcher : public Component {
public:
    Watcher() : Component("", WS_POPUP, 0, 0, 0, 50, 50, nullptr) {}
    void DoOnChildAdded(Component* child) override { added.push_back(child); }
    std::vector<Component*> added;
};

// The child-added notice is posted; a child deleted before it arrives is not reported.
TEST(Lifetime, AChildAddedNoticeNeverCarriesADeletedChild) {
    Watcher* parent = new Watcher();
    Pump();
    Component* kept = MakeChild(parent, 0, 0, 10, 10);
    Component* gone = MakeChild(parent, 10, 0, 10, 10);
    EXPECT_TRUE(parent->added.empty());  // not yet delivered
    delete gone;
    Pump();
    EXPECT_EQ(parent->added, std::vector<Component*>{kept});
    delete parent;
}

}  // namespace
