#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "foundation/object.h"
#include "toolkit/event.h"
#include "toolkit_fixture.h"

namespace {

struct Listener {
    std::vector<intptr_t> seen;
    Object* sender = nullptr;
    void Zero(Object* s) {
        sender = s;
        seen.push_back(0);
    }
    void One(Object* s, int a) {
        sender = s;
        seen.push_back(a);
    }
    void Two(Object* s, int a, int* b) {
        sender = s;
        seen.push_back(a);
        *b = 0;  // answers through the pointer
    }
    void Three(Object* s, int a, int b, int c) {
        sender = s;
        seen.push_back(a * 100 + b * 10 + c);
    }
};

TEST(Event, UnsetEventsDoNothingAndEachArityInvokes) {
    Object sender;
    Event<> e0;
    Event<int> e1;
    Event<int, int*> e2;
    Event<int, int, int> e3;
    int answer = 1;
    e0.Invoke(&sender);
    e1.Invoke(&sender, 1);
    e2.Invoke(&sender, 1, &answer);
    e3.Invoke(&sender, 1, 2, 3);
    EXPECT_FALSE(e0.IsSet());
    EXPECT_EQ(answer, 1);

    Listener l;
    e0.Bind(&l, &Listener::Zero);
    e1.Bind(&l, &Listener::One);
    e2.Bind(&l, &Listener::Two);
    e3.Bind(&l, &Listener::Three);
    EXPECT_TRUE(e0.IsSet() && e1.IsSet() && e2.IsSet() && e3.IsSet());
    e0.Invoke(&sender);
    e1.Invoke(&sender, 7);
    e2.Invoke(&sender, 8, &answer);
    e3.Invoke(&sender, 1, 2, 3);
    EXPECT_EQ(l.seen, (std::vector<intptr_t>{0, 7, 8, 123}));
    EXPECT_EQ(l.sender, &sender);
    EXPECT_EQ(answer, 0);

    e1.Unbind();
    e1.Invoke(&sender, 9);
    EXPECT_EQ(l.seen.size(), 4u);
    e1.Bind(static_cast<Listener*>(nullptr), &Listener::One);  // a null target stays unset
    EXPECT_FALSE(e1.IsSet());
    e1.Invoke(&sender, 9);
    EXPECT_EQ(l.seen.size(), 4u);
}

TEST(TypeTags, EveryObjectCarriesItsMostDerivedTag) {
    Object plain;
    EXPECT_EQ(plain.GetType(), 0u);
    Component* top = MakeTopLevel();
    EXPECT_EQ(top->GetType(), 0x28174801u);
    EXPECT_STREQ(Application::TypeName(top->GetType()), "Component");
    EXPECT_STREQ(Application::TypeName(0x28174802u), "Panel");
    EXPECT_STREQ(Application::TypeName(0x28174811u), "Unknown");  // Label prints as Unknown
    EXPECT_STREQ(Application::TypeName(0x12345601u), "Unknown");
    EXPECT_EQ(Component::FromHandle(top->GetHandle()), top);
    delete top;
}

TEST(TypeTags, FromHandleRejectsForeignAndUnreadableUserData) {
    HWND foreign = CreateWindowExA(0, "STATIC", "x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(foreign, nullptr);
    EXPECT_EQ(Component::FromHandle(foreign), nullptr);  // no user data
    SetWindowLongPtrA(foreign, GWLP_USERDATA, 0x10);     // unreadable
    EXPECT_EQ(Component::FromHandle(foreign), nullptr);
    struct FakeObject {
        void* vtable;
        uint32_t tag;
    } fake = {nullptr, 0x12345601u};  // readable, foreign tag
    SetWindowLongPtrA(foreign, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&fake));
    EXPECT_EQ(Component::FromHandle(foreign), nullptr);
    fake.tag = 0x28174900u;  // upper bits differ by one
    EXPECT_EQ(Component::FromHandle(foreign), nullptr);
    // Only a live toolkit window of this very handle counts: a forged tag and another window's
    // object do not, and nothing is read through the user data (a guard page stays armed).
    fake.tag = kTagComponent;
    EXPECT_EQ(Component::FromHandle(foreign), nullptr);
    Component* other = MakeTopLevel();
    SetWindowLongPtrA(foreign, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(other));
    EXPECT_EQ(Window::FromHandle(foreign), nullptr);
    delete other;
    void* guard = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD);
    SetWindowLongPtrA(foreign, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(guard));
    EXPECT_EQ(Window::FromHandle(foreign), nullptr);
    MEMORY_BASIC_INFORMATION page = {};
    VirtualQuery(guard, &page, sizeof page);
    EXPECT_TRUE(page.Protect & PAGE_GUARD);
    VirtualFree(guard, 0, MEM_RELEASE);
    DestroyWindow(foreign);
    EXPECT_EQ(Component::FromHandle(nullptr), nullptr);
}

}  // namespace
