#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "toolkit_fixture.h"

namespace {

int g_deleted = 0;

class Field : public Component {
public:
    explicit Field(Component* parent) : Component("", WS_CHILD | WS_VISIBLE, 0, 0, 0, 10, 10, parent->GetHandle()) {}
    ~Field() override { ++g_deleted; }
};

struct Seen {
    std::vector<int> chars;
    std::vector<UINT_PTR> timers;
    std::vector<HWND> created;
    void Char(Object*, int* key, LPARAM) {
        chars.push_back(*key);
        if (*key == 'x') *key = 0;  // swallowed: the native control never sees it
    }
    void Timer(Object*, UINT_PTR id) { timers.push_back(id); }
    void Message(Object*, MessageRecord* m) {
        if (m->msg == WM_PARENTNOTIFY && LOWORD(m->wParam) == WM_CREATE)
            created.push_back(reinterpret_cast<HWND>(m->lParam));
    }
};

// A native control put in place of a component's own window: the old window goes without
// deleting the object, messages reach the component first and the control after it, and
// deleting the component destroys the control.
TEST(Attach, ANativeControlTakesThePlaceOfTheComponentsWindow) {
    g_deleted = 0;
    Component* root = MakeTopLevel();
    Seen seen;
    root->OnMessage.Bind(&seen, &Seen::Message);
    Field* field = new Field(root);
    HWND old = field->GetHandle();
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 5, 5, 80, 20, root->GetHandle(), nullptr,
                                GetApplication()->GetInstance(), nullptr);
    ASSERT_NE(edit, nullptr);
    seen.created.clear();
    field->Attach(edit);
    EXPECT_FALSE(IsWindow(old));
    EXPECT_EQ(g_deleted, 0);  // the old window's end did not delete the object
    EXPECT_EQ(field->GetHandle(), edit);
    EXPECT_EQ(Component::FromHandle(edit), field);
    EXPECT_EQ(seen.created, std::vector<HWND>{edit});  // the parent hears of the new control

    field->OnChar.Bind(&seen, &Seen::Char);
    SendMessageA(edit, WM_CHAR, 'a', 0);
    SendMessageA(edit, WM_CHAR, 'x', 0);
    SendMessageA(edit, WM_CHAR, 'b', 0);
    EXPECT_EQ(seen.chars, (std::vector<int>{'a', 'x', 'b'}));
    char text[16] = {};
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "ab");  // the control's own handling followed

    field->OnTimer.Bind(&seen, &Seen::Timer);
    SendMessageA(edit, WM_TIMER, 42, 0);
    EXPECT_EQ(seen.timers, std::vector<UINT_PTR>{42});

    delete field;
    EXPECT_EQ(g_deleted, 1);
    EXPECT_FALSE(IsWindow(edit));
    EXPECT_EQ(root->GetNextChild(nullptr, false), nullptr);
    delete root;
}

// A control destroyed by the system after the attach deletes its component once.
TEST(Attach, TheSystemDestroyingTheControlDeletesTheComponent) {
    g_deleted = 0;
    Component* root = MakeTopLevel();
    Field* field = new Field(root);
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 40, 20, root->GetHandle(), nullptr,
                                GetApplication()->GetInstance(), nullptr);
    field->Attach(edit);
    DestroyWindow(edit);
    EXPECT_EQ(g_deleted, 1);
    EXPECT_EQ(root->GetNextChild(nullptr, false), nullptr);
    delete root;
    EXPECT_EQ(g_deleted, 1);
}

TEST(Geometry, ClientSizeFitToChildrenAndActivation) {
    Component* root = MakeTopLevel(100, 100, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    root->UpdateBounds();
    int frameX = root->Width() - root->ClientWidth(), frameY = root->Height() - root->ClientHeight();
    ASSERT_GT(frameX, 0);  // a caption and borders: the client area is smaller than the window
    root->SetClientSize(150, 90);
    Pump();
    EXPECT_EQ(root->ClientWidth(), 150);
    EXPECT_EQ(root->ClientHeight(), 90);
    EXPECT_EQ(root->Width(), 150 + frameX);
    EXPECT_EQ(root->Height(), 90 + frameY);

    Component* a = MakeChild(root, 10, 20, 30, 40);  // right 40, bottom 60
    Component* b = MakeChild(root, 150, 5, 25, 10);  // right 175, bottom 15 (wider than a captioned window's minimum)
    root->FitToChildren(5, 7);
    Pump();
    EXPECT_EQ(root->ClientWidth(), 180);
    EXPECT_EQ(root->ClientHeight(), 67);

    a->Move(3, 4);
    a->SetSize(-1, 50);  // only the height
    Pump();
    EXPECT_EQ(a->GetLeft(), 3);
    EXPECT_EQ(a->Top(), 4);
    EXPECT_EQ(a->Width(), 30);
    EXPECT_EQ(a->Height(), 50);

    // Screen positions: a child's left and top are in its parent's client area, a popup's are
    // on the screen already, also when a toolkit parent owns it.
    Component* popup = new Component("", WS_POPUP | WS_VISIBLE, 0, 200, 150, 20, 20, root->GetHandle());
    for (Component* c : {a, popup}) {
        RECT r;
        GetWindowRect(c->GetHandle(), &r);
        EXPECT_EQ(c->GetScreenPos().x, r.left);
        EXPECT_EQ(c->GetScreenPos().y, r.top);
    }
    EXPECT_EQ(popup->GetScreenPos().x, 200);

    // Activation travels down to every child.
    SendMessageA(root->GetHandle(), WM_TK_ACTIVATE, 0, 0);
    EXPECT_FALSE(a->IsActive());
    EXPECT_FALSE(b->IsActive());
    SendMessageA(root->GetHandle(), WM_TK_ACTIVATE, 1, 0);
    EXPECT_TRUE(a->IsActive());
    EXPECT_TRUE(b->IsActive());
    delete root;
}

}  // namespace
