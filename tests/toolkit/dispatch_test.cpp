#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <vector>

#include "toolkit_fixture.h"

namespace {

struct Counter {
    int escapes = 0, enters = 0;
    void Escape(Object*) { ++escapes; }
    void Enter(Object*) { ++enters; }
};

class Popup : public Component {
public:
    Popup() : Component("popup", WS_POPUP | WS_VISIBLE, 0, 10, 10, 120, 80, nullptr) {}
};

TEST(Dispatch, EscapeAndEnterClimbToTheNearestPopup) {
    Popup* popup = new Popup();
    Component* inner = MakeChild(popup, 0, 0, 60, 60);
    Component* leaf = MakeChild(inner, 0, 0, 20, 20);
    Counter seen, notSeen;
    popup->OnEscape.Bind(&seen, &Counter::Escape);
    popup->OnEnter.Bind(&seen, &Counter::Enter);
    inner->OnEscape.Bind(&notSeen, &Counter::Escape);
    SendMessageA(leaf->GetHandle(), WM_CHAR, VK_ESCAPE, 0);  // posts WM_APP+6 to itself
    EXPECT_EQ(seen.escapes, 0);
    Pump();
    EXPECT_EQ(seen.escapes, 1);
    EXPECT_EQ(notSeen.escapes, 0);
    PostMessageA(leaf->GetHandle(), WM_TK_ENTER, 0, 0);
    Pump();
    EXPECT_EQ(seen.enters, 1);
    delete popup;
}

TEST(Dispatch, ControlColoursComeFromTheToolkitComponentOnly) {
    Component* root = MakeTopLevel();
    Component* child = MakeChild(root, 0, 0, 30, 30);
    child->SetTextColor(0x0000FF);
    child->SetBackColor(0x00FF00);
    HWND native = CreateWindowExA(0, "STATIC", "n", WS_CHILD | WS_VISIBLE, 40, 0, 30, 30, root->GetHandle(), nullptr,
                                  nullptr, nullptr);
    HDC dc = GetDC(root->GetHandle());
    LRESULT brush = SendMessageA(root->GetHandle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(child->GetHandle()));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), child->GetBackBrush());
    EXPECT_EQ(GetTextColor(dc), 0x0000FFu);
    EXPECT_EQ(GetBkColor(dc), 0x00FF00u);
    child->Enable(false);
    SendMessageA(root->GetHandle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(child->GetHandle()));
    EXPECT_EQ(GetTextColor(dc), 0x808080u);  // the disabled-text colour
    SetTextColor(dc, 0x123456);
    brush = SendMessageA(root->GetHandle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(native));
    EXPECT_NE(reinterpret_cast<HBRUSH>(brush), child->GetBackBrush());  // the system's default handling
    EXPECT_NE(reinterpret_cast<HBRUSH>(brush), root->GetBackBrush());
    ReleaseDC(root->GetHandle(), dc);
    delete root;
}

TEST(Dispatch, EnablingAParentReachesItsChildren) {
    Component* root = MakeTopLevel();
    Component* group = MakeChild(root, 0, 0, 50, 50);
    group->SetType(kTagPanel);  // a plain component does not pass its enabled state on
    Component* leaf = MakeChild(group, 0, 0, 10, 10);
    EXPECT_TRUE(leaf->IsEnabled());
    group->Enable(false);
    EXPECT_FALSE(leaf->IsEnabled());
    EXPECT_TRUE(IsWindowEnabled(leaf->GetHandle()));  // disabled by its parent, not by itself
    group->Enable(true);
    EXPECT_TRUE(leaf->IsEnabled());
    delete root;
}

LRESULT CALLBACK ForeignProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

TEST(WindowClass, AForeignRegistrationOfTheNameIsReplaced) {
    HINSTANCE instance = GetApplication()->GetInstance();
    Component* first = MakeTopLevel();  // make sure ours exists, then take it away
    delete first;
    ASSERT_TRUE(UnregisterClassA(kWindowClassName, instance));
    WNDCLASSA foreign = {};
    foreign.lpfnWndProc = ForeignProc;
    foreign.hInstance = instance;
    foreign.lpszClassName = kWindowClassName;
    ASSERT_NE(RegisterClassA(&foreign), 0);
    Component* c = MakeTopLevel();
    WNDCLASSA now;
    ASSERT_TRUE(GetClassInfoA(instance, kWindowClassName, &now));
    EXPECT_EQ(now.lpfnWndProc, &Window::WindowProc);
    EXPECT_EQ(Component::FromHandle(c->GetHandle()), c);
    delete c;
}

// A tooltip window that is gone (destroyed by anyone) is made again, with the tool, on the
// next text.
TEST(Tooltip, TextRoundTrips) {
    Component* root = MakeTopLevel();
    Component* child = MakeChild(root, 0, 0, 40, 20);
    const struct {
        const char* text;
        bool windowGone;
    } rows[] = {{"Squelch level", false}, {"Other", false}, {"After the window was destroyed", true}};
    for (const auto& row : rows) {
        if (row.windowGone) DestroyWindow(GetApplication()->GetTooltip()->GetHandle());
        child->SetToolTip(row.text);
        char text[80] = {};
        child->GetToolTip(text);
        EXPECT_STREQ(text, row.text);
    }
    EXPECT_TRUE(IsWindow(GetApplication()->GetTooltip()->GetHandle()));
    delete root;
}

struct Keys {
    std::vector<int> down;
    std::vector<Object*> previewSenders;
    void Preview(Object* sender, int* key, LPARAM) {
        previewSenders.push_back(sender);
        if (*key == 'Q') *key = 0;  // the root swallows it
    }
    void Down(Object*, int key, LPARAM) { down.push_back(key); }
};

// A key press is previewed by the root first, which may swallow it before the component's
// own handler sees it; a component with key preview off skips the root.
TEST(Dispatch, TheRootPreviewsKeysAndMaySwallowThem) {
    Component* root = MakeTopLevel();
    Component* group = MakeChild(root, 0, 0, 60, 60);
    Component* leaf = MakeChild(group, 0, 0, 20, 20);
    EXPECT_EQ(leaf->GetRoot(), root);
    Keys keys;
    root->OnKeyPreview.Bind(&keys, &Keys::Preview);
    leaf->OnKeyDown.Bind(&keys, &Keys::Down);
    SendMessageA(leaf->GetHandle(), WM_KEYDOWN, 'Q', 0);
    SendMessageA(leaf->GetHandle(), WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(keys.down, std::vector<int>{'A'});
    EXPECT_EQ(keys.previewSenders, (std::vector<Object*>{leaf, leaf}));  // the sender is where the key arrived
    leaf->SetKeyPreview(false);
    SendMessageA(leaf->GetHandle(), WM_KEYDOWN, 'Q', 0);
    EXPECT_EQ(keys.down, (std::vector<int>{'A', 'Q'}));
    EXPECT_EQ(keys.previewSenders.size(), 2u);
    delete root;
}

class Reflecting : public Component {
public:
    explicit Reflecting(Component* parent)
        : Component("", WS_CHILD | WS_VISIBLE, 0, 0, 0, 10, 10, parent->GetHandle()) {}
    LRESULT DoOnCommand(WPARAM wParam) override {
        commands.push_back(wParam);
        return 77;
    }
    void DoOnNotify(NMHDR* header) override { notifyCodes.push_back(header->code); }
    std::vector<WPARAM> commands;
    std::vector<UINT> notifyCodes;
};

// WM_COMMAND and WM_NOTIFY from a control come back to the control itself.
TEST(Dispatch, CommandsAndNotificationsAreReflectedToTheControl) {
    Component* root = MakeTopLevel();
    Reflecting* control = new Reflecting(root);
    EXPECT_EQ(SendMessageA(root->GetHandle(), WM_COMMAND, MAKEWPARAM(5, BN_CLICKED),
                           reinterpret_cast<LPARAM>(control->GetHandle())),
              77);
    EXPECT_EQ(control->commands, std::vector<WPARAM>{MAKEWPARAM(5, BN_CLICKED)});
    NMHDR header = {control->GetHandle(), 5, static_cast<UINT>(NM_CLICK)};
    SendMessageA(root->GetHandle(), WM_NOTIFY, 5, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(control->notifyCodes, std::vector<UINT>{static_cast<UINT>(NM_CLICK)});
    delete root;
}

}  // namespace
