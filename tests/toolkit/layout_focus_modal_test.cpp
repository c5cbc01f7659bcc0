#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/win32/folders.h"
#include "tests/support/widget_input.h"
#include "toolkit/menu.h"
#include "toolkit_fixture.h"

namespace {

RECT Bounds(Component* c) {
    c->UpdateBounds();
    return RECT{c->GetLeft(), c->Top(), c->Right(), c->Bottom()};
}
void ExpectRect(const RECT& r, int l, int t, int rt, int b) {
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rt);
    EXPECT_EQ(r.bottom, b);
}

TEST(Layout, DocksByAlignmentAndHiddenChildrenTakeNoRoom) {
    Component* root = MakeTopLevel(300, 200);
    ASSERT_EQ(root->ClientWidth(), 300);
    Component* top1 = MakeChild(root, 0, 0, 10, 20);
    Component* top2 = MakeChild(root, 0, 0, 10, 30);
    Component* left = MakeChild(root, 0, 0, 40, 10);
    Component* right = MakeChild(root, 0, 0, 25, 10);
    Component* bottom = MakeChild(root, 0, 0, 10, 15);
    Component* fill = MakeChild(root, 0, 0, 10, 10);
    EXPECT_EQ(root->Layout(), 0);  // nothing docked yet
    top1->SetAlign(kAlignTopDock);
    top2->SetAlign(kAlignTopDock);
    left->SetAlign(kAlignLeftDock);
    right->SetAlign(kAlignRightDock);
    bottom->SetAlign(kAlignBottomDock);
    fill->SetAlign(kAlignFill);
    ExpectRect(Bounds(top1), 0, 0, 300, 20);
    ExpectRect(Bounds(top2), 0, 20, 300, 50);
    ExpectRect(Bounds(bottom), 0, 185, 300, 200);
    ExpectRect(Bounds(left), 0, 50, 40, 185);
    ExpectRect(Bounds(right), 275, 50, 300, 185);
    ExpectRect(Bounds(fill), 40, 50, 275, 185);
    top1->Show(false);  // hidden: keeps its place, its room goes to the others
    Pump();
    ExpectRect(Bounds(top2), 0, 0, 300, 30);
    ExpectRect(Bounds(fill), 40, 30, 275, 185);
    top1->Show(true);
    Pump();
    ExpectRect(Bounds(fill), 40, 50, 275, 185);
    root->SetSize(-1, 250);  // only the height changes; the layout follows
    Pump();
    EXPECT_EQ(root->Width(), 300);
    EXPECT_EQ(root->Height(), 250);
    ExpectRect(Bounds(fill), 40, 50, 275, 235);
    delete root;
}

TEST(Focus, TabWalksTheChildrenAndWrapsBothWays) {
    Component* root = MakeTopLevel();
    SetForegroundWindow(root->GetHandle());
    std::vector<Component*> c;
    for (int i = 0; i < 3; ++i) c.push_back(MakeChild(root, i * 30, 0, 25, 25, WS_VISIBLE | WS_TABSTOP));
    // A group without WS_TABSTOP: it never takes the focus itself, only its children do.
    Component* group = MakeChild(root, 0, 50, 100, 40);
    Component* g1 = MakeChild(group, 0, 0, 20, 20, WS_VISIBLE | WS_TABSTOP);
    Component* g2 = MakeChild(group, 30, 0, 20, 20, WS_VISIBLE | WS_TABSTOP);
    Component* last = MakeChild(root, 200, 0, 25, 25, WS_VISIBLE | WS_TABSTOP);
    Component* disabled = MakeChild(root, 250, 0, 25, 25, WS_VISIBLE | WS_TABSTOP);
    disabled->Enable(false);

    ASSERT_TRUE(root->SetFocus(false));
    EXPECT_EQ(GetFocus(), c[0]->GetHandle());
    auto tab = [](Component* from) { SendMessageA(from->GetHandle(), WM_CHAR, VK_TAB, 0); };
    tab(c[0]);
    EXPECT_EQ(GetFocus(), c[1]->GetHandle());
    tab(c[1]);
    tab(c[2]);
    EXPECT_EQ(GetFocus(), g1->GetHandle());  // into the group
    tab(g1);
    EXPECT_EQ(GetFocus(), g2->GetHandle());
    tab(g2);  // out of the group to the grandparent's next
    EXPECT_EQ(GetFocus(), last->GetHandle());
    tab(last);  // the disabled one is skipped; wrap
    EXPECT_EQ(GetFocus(), c[0]->GetHandle());
    EXPECT_EQ(root->GetFocusedChild(), c[0]);

    SendMessageA(c[0]->GetHandle(), WM_KEYDOWN, VK_SHIFT, 0);
    EXPECT_TRUE(Component::IsShiftDown());
    tab(c[0]);  // Shift+Tab in the first wraps to the last
    EXPECT_EQ(GetFocus(), last->GetHandle());
    tab(last);
    EXPECT_EQ(GetFocus(), g2->GetHandle());
    SendMessageA(g2->GetHandle(), WM_KEYUP, VK_SHIFT, 0);
    EXPECT_FALSE(Component::IsShiftDown());
    delete root;
}

struct Recorder {
    std::vector<int> values;
    std::vector<Object*> senders;
    int passOn = 1;
    void Wheel(Object* sender, int steps, int keys, int* pass) {
        senders.push_back(sender);
        values.push_back(steps);
        if (!passOn) *pass = 0;
    }
    void Dbl(Object* sender, int x, int y) { values.push_back(x * 1000 + y); }
    void Message(Object* sender, MessageRecord* m) {
        if (m->msg == WM_USER + 1) GetApplication()->Terminate();
        if (m->msg == WM_USER + 2) values.push_back(owner && !IsWindowEnabled(owner) ? 1 : 0);
        if (m->msg == WM_USER + 3) Component::EndModalLoopsOf(reinterpret_cast<HWND>(m->wParam));
        if (m->msg == WM_USER + 4) values.push_back(reinterpret_cast<Component*>(m->wParam)->ShowModal(nullptr));
    }
    HWND owner = nullptr;
};

TEST(Mouse, DoubleClickIsTwoReleasesCloseInTimeAndPlace) {
    Component* root = MakeTopLevel();
    Recorder r;
    root->OnDblClick.Bind(&r, &Recorder::Dbl);
    HWND h = root->GetHandle();
    auto up = [h](int x, int y) { SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(x, y)); };
    up(10, 10);
    EXPECT_TRUE(r.values.empty());
    up(11, 10);
    ASSERT_EQ(r.values.size(), 1u);
    EXPECT_EQ(r.values[0], 11010);
    up(11, 10);  // each release is recorded: a third one right after is another double click
    EXPECT_EQ(r.values.size(), 2u);
    up(100, 100);  // too far away
    EXPECT_EQ(r.values.size(), 2u);
    delete root;
}

TEST(Mouse, WheelStepsReachTheParentAsToolkitMessages) {
    Component* root = MakeTopLevel();
    Component* child = MakeChild(root, 0, 0, 50, 50);
    Recorder onChild, onRoot;
    child->OnMouseWheel.Bind(&onChild, &Recorder::Wheel);
    root->OnMouseWheel.Bind(&onRoot, &Recorder::Wheel);
    SendMessageA(child->GetHandle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), 0);
    EXPECT_EQ(onChild.values, std::vector<int>{-2});
    EXPECT_TRUE(onRoot.values.empty());  // posted, not yet delivered
    Pump();
    EXPECT_EQ(onRoot.values, std::vector<int>{-2});
    ASSERT_EQ(onRoot.senders.size(), 1u);
    EXPECT_EQ(onRoot.senders[0], child);  // the originating component travels along

    SendMessageA(child->GetHandle(), WM_MOUSEWHEEL, MAKEWPARAM(0, 60), 0);  // under one notch
    Pump();
    EXPECT_EQ(onChild.values.size(), 1u);

    onChild.passOn = 0;  // a handler that swallows the turn
    SendMessageA(child->GetHandle(), WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    Pump();
    EXPECT_EQ(onChild.values, (std::vector<int>{-2, 1}));
    EXPECT_EQ(onRoot.values.size(), 1u);
    delete root;
}

void CALLBACK Hang(void*, BOOLEAN) {
    std::fprintf(stderr, "watchdog: a modal loop hangs\n");
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
}

TEST(Modal, EveryExitReEnablesTheOwner) {
    Component* owner = MakeTopLevel(200, 100, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    Component* dialog = MakeTopLevel(150, 80, WS_POPUP);
    Component* button = MakeChild(dialog, 0, 0, 20, 20);
    Recorder r;
    r.owner = owner->GetHandle();
    dialog->OnMessage.Bind(&r, &Recorder::Message);

    PostMessageA(dialog->GetHandle(), WM_USER + 2, 0, 0);
    PostMessageA(dialog->GetHandle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(dialog->ShowModal(owner->GetHandle()), -1);
    EXPECT_EQ(r.values, std::vector<int>{1});  // the owner was disabled during the run
    EXPECT_TRUE(IsWindowEnabled(owner->GetHandle()));
    EXPECT_TRUE(IsWindow(dialog->GetHandle()));  // WM_CLOSE did not close a modal window
    EXPECT_FALSE(dialog->IsModal());

    PostMessageA(button->GetHandle(), WM_TK_ENDMODAL, 7, 0);  // climbs to the modal window
    EXPECT_EQ(dialog->ShowModal(owner->GetHandle()), 7);
    EXPECT_TRUE(IsWindowEnabled(owner->GetHandle()));

    PostMessageA(dialog->GetHandle(), WM_USER + 1, 0, 0);  // the application quits
    EXPECT_EQ(dialog->ShowModal(owner->GetHandle()), 0);
    EXPECT_TRUE(IsWindowEnabled(owner->GetHandle()));
    GetApplication()->Init(0, false, nullptr);

    PostQuitMessage(3);  // the thread's loop ends
    EXPECT_EQ(dialog->ShowModal(owner->GetHandle()), 0);
    EXPECT_TRUE(IsWindowEnabled(owner->GetHandle()));
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));  // passed on
    EXPECT_EQ(msg.wParam, 3u);

    EnableWindow(owner->GetHandle(), FALSE);  // an owner disabled before
    PostMessageA(dialog->GetHandle(), WM_CLOSE, 0, 0);
    dialog->ShowModal(owner->GetHandle());
    EXPECT_FALSE(IsWindowEnabled(owner->GetHandle()));  // stays as it was
    delete dialog;
    delete owner;
}

// A dialog made over a parent component (not in its child ring) runs modal without an owner
// handle: the parent is the owner, disabled for the run and enabled again on every way out.
TEST(Modal, WithoutAnOwnerHandleTheParentIsTheOwner) {
    Component* parent = MakeTopLevel(200, 100, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    Component* dialog = new Component("d", WS_POPUP, WS_EX_NOPARENTNOTIFY, 0, 0, 80, 40, parent->GetHandle());
    ASSERT_EQ(dialog->GetParent(), parent);
    EXPECT_EQ(parent->GetNextChild(nullptr, false), nullptr);  // not owned through the ring
    Recorder r;
    r.owner = parent->GetHandle();
    dialog->OnMessage.Bind(&r, &Recorder::Message);

    PostMessageA(dialog->GetHandle(), WM_USER + 2, 0, 0);
    PostMessageA(dialog->GetHandle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(dialog->ShowModal(nullptr), -1);
    EXPECT_EQ(r.values, std::vector<int>{1});
    EXPECT_TRUE(parent->IsEnabled());
    EXPECT_FALSE(dialog->IsVisible());  // hidden again after the run

    PostMessageA(dialog->GetHandle(), WM_USER + 1, 0, 0);  // quitting
    EXPECT_EQ(dialog->ShowModal(nullptr), 0);
    EXPECT_TRUE(parent->IsEnabled());
    GetApplication()->Init(0, false, nullptr);

    PostQuitMessage(0);
    EXPECT_EQ(dialog->ShowModal(nullptr), 0);
    EXPECT_TRUE(parent->IsEnabled());
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

    // Ending the loops of a root ends the outermost loop of its windows and every loop inside it;
    // a loop of another root that holds none of them runs on. Here a window runs modal inside
    // the dialog's loop, the loops of a root are ended inside that, and then the dialog's loop,
    // if it still runs, with 5. The dialog itself, run again inside its own loop, answers -1 at
    // once (a loop chained to itself would keep the ending for ever); once its root refuses
    // loops, it answers -1 without running.
    Component* other = MakeTopLevel(200, 100, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    Component* inner = new Component("i", WS_POPUP, WS_EX_NOPARENTNOTIFY, 0, 0, 80, 40, other->GetHandle());
    const struct {
        Component *runInside, *ended;
        int result;
    } rows[] = {{inner, parent, -1}, {inner, other, 5}, {dialog, parent, -1}, {dialog, other, 5}};
    HANDLE watchdog = nullptr;
    CreateTimerQueueTimer(&watchdog, nullptr, &Hang, nullptr, 30000, 0, WT_EXECUTEINTIMERTHREAD);
    for (const auto& row : rows) {
        PostMessageA(dialog->GetHandle(), WM_USER + 4, reinterpret_cast<WPARAM>(row.runInside), 0);
        PostMessageA(dialog->GetHandle(), WM_USER + 3, reinterpret_cast<WPARAM>(row.ended->GetHandle()), 0);
        PostMessageA(dialog->GetHandle(), WM_TK_ENDMODAL, 5, 0);
        EXPECT_EQ(dialog->ShowModal(nullptr), row.result);
        EXPECT_FALSE(dialog->IsModal() || inner->IsModal());
        Pump();
    }
    DeleteTimerQueueTimer(nullptr, watchdog, INVALID_HANDLE_VALUE);
    EXPECT_EQ(r.values, (std::vector<int>{1, -1, -1, -1, -1}));  // the inner loops ended, the runs again at once
    // A refusing root runs no loop of its windows, nor of a window it owns for the run only.
    parent->RefuseModalLoops();
    PostMessageA(dialog->GetHandle(), WM_TK_ENDMODAL, 5, 0);
    EXPECT_TRUE(dialog->ShowModal(nullptr) == -1 && inner->ShowModal(parent->GetHandle()) == -1);
    EXPECT_TRUE(!dialog->IsVisible() && parent->IsEnabled());
    Pump();
    delete inner;
    delete other;
    delete dialog;
    delete parent;
}

// The system's dialogs (#32770) and menus (#32768) that would open: recorded and kept from
// opening, so that a failing run does not wait for an answer.
std::vector<std::string> g_opened;
LRESULT CALLBACK KeepShut(int code, WPARAM wParam, LPARAM lParam) {
    char name[16] = {};
    if (code == HCBT_CREATEWND && GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name) &&
        (!std::strcmp(name, "#32768") || !std::strcmp(name, "#32770"))) {
        g_opened.push_back(name);
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Once a root refuses modal loops, no modal window opens for one of its windows (a box, a menu,
// the system menu, the folder browser, the save-file dialog), and the pumps drop the input
// queued for them while other messages still arrive. WM_QUIT outlives every pump.
TEST(Modal, AClosingRootOpensNothingAndItsQueuedInputIsDropped) {
    Component* root = MakeTopLevel(200, 100, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    Component* child = MakeChild(root, 0, 0, 20, 20);
    Component* owned = new Component("o", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, WS_EX_NOPARENTNOTIFY, 0,
                                     0, 80, 40, root->GetHandle());
    Component* other = MakeTopLevel(50, 50);
    PopupMenu* menu = new PopupMenu(owned->GetHandle());
    menu->GetMenu().GetMenu().Insert("Item", -1, false, nullptr);
    struct Seen {
        std::vector<Object*> downs;
        int menuLoops = 0;
        void Down(Object* sender, int, int, int) { downs.push_back(sender); }
        void Message(Object*, MessageRecord* m) {
            if (m->msg == WM_ENTERMENULOOP) ++menuLoops, EndMenu();
        }
    } seen;
    child->OnMouseDown.Bind(&seen, &Seen::Down);
    other->OnMouseDown.Bind(&seen, &Seen::Down);
    owned->OnMessage.Bind(&seen, &Seen::Message);
    HHOOK hook = SetWindowsHookExA(WH_CBT, &KeepShut, nullptr, GetCurrentThreadId());
    root->RefuseModalLoops();
    char name[MAX_PATH] = "calls.csv";
    EXPECT_EQ(menu->Track(10, 10, 0).GetId(), 0u);
    // A menu without an owner, or whose owner is gone, has nothing that could refuse it.
    Component* gone = MakeTopLevel();
    const HWND goneHandle = gone->GetHandle();
    delete gone;
    for (HWND owner : {HWND(nullptr), goneHandle}) {
        PopupMenu* unowned = new PopupMenu(owner);
        unowned->GetMenu().GetMenu().Insert("Item", -1, false, nullptr);
        EXPECT_EQ(unowned->Track(10, 10, 0).GetId(), 0u);
        delete unowned;
    }
    EXPECT_EQ(BrowseForFolder(child->GetHandle(), String("Folder"), 0, String("C:\\")).Length(), 0);
    EXPECT_FALSE(AskSaveFileName(owned->GetHandle(), "Log", "CSV\0*.csv\0", "csv", 0, name, MAX_PATH));
    EXPECT_EQ(child->MessageBox("text", MB_OK, nullptr), 0);
    SendMessageA(owned->GetHandle(), WM_SYSCOMMAND, SC_KEYMENU, ' ');
    EXPECT_TRUE(g_opened.empty()) << g_opened.front();
    EXPECT_EQ(seen.menuLoops, 0);

    PostClick(child->GetHandle());
    PostClick(other->GetHandle());
    PostQuitMessage(9);
    Pump();
    EXPECT_EQ(seen.downs, std::vector<Object*>{other});
    MSG msg = {};
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "left for the thread's loop";
    EXPECT_EQ(msg.wParam, 9u);
    UnhookWindowsHookEx(hook);
    delete menu;
    delete owned;
    delete other;
    delete root;
}

// The system copies the save dialog's default extension into a name typed without one: only a
// plain extension is passed on, anything else opens no dialog.
TEST(Modal, TheSaveDialogTakesOnlyAPlainDefaultExtension) {
    Component* owner = MakeTopLevel();
    HHOOK hook = SetWindowsHookExA(WH_CBT, &KeepShut, nullptr, GetCurrentThreadId());
    g_opened.clear();
    char name[MAX_PATH] = "calls";
    for (const char* extension : {"*.csv", ".csv", "c?v", "csv", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(AskSaveFileName(owner->GetHandle(), "Log", "CSV\0*.csv\0", extension, 0, name, MAX_PATH));
    EXPECT_EQ(g_opened, (std::vector<std::string>{"#32770", "#32770"})) << "csv and none only";
    UnhookWindowsHookEx(hook);
    delete owner;
}

}  // namespace
