#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <set>
#include <vector>

#include "toolkit/drawing.h"
#include "toolkit/menu.h"
#include "toolkit_fixture.h"

namespace {

HMENU MakeMenu(std::initializer_list<const char*> texts) {
    HMENU m = CreatePopupMenu();
    UINT id = 1;  // every menu starts at 1: preparing must make them unique
    for (const char* t : texts) AppendMenuA(m, t ? MF_STRING : MF_SEPARATOR, id++, t);
    return m;
}

struct Commands {
    std::vector<UINT> ids;
    void Command(Object*, MenuItemRef* item) { ids.push_back(item->GetId()); }
};

TEST(Menu, PreparedMenusShareNoIdentifierAndItemsAreFoundFromTheTop) {
    HMENU a = MakeMenu({"One", "Two"}), b = MakeMenu({"One", "Two"}), sub = MakeMenu({"Deep"});
    AppendMenuA(b, MF_STRING, SC_CLOSE, "Close");
    AppendMenuA(a, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "Sub");
    Menu ma(a, false, true), mb(b, false, true);
    std::set<UINT> ids;
    for (HMENU m : {a, b, sub})
        for (int i = 0; i < GetMenuItemCount(m); ++i) ids.insert(Menu(m).GetItemAt(i).GetId());
    EXPECT_EQ(ids.size(), 7u);
    EXPECT_EQ(ids.count(0), 0u);
    EXPECT_EQ(mb.FindById(SC_CLOSE, false).GetPosition(), 2);  // a system command keeps its value
    MenuItemRef deep = ma.FindById(GetMenuItemID(sub, 0), true);
    EXPECT_EQ(deep.GetMenu(), sub);
    EXPECT_STREQ(deep.GetText().CStr(), "Deep");
    EXPECT_EQ(ma.FindSubMenuItem(sub, false).GetPosition(), 2);
    EXPECT_EQ(ma.Insert("Four", -1, false, nullptr).GetPosition(), 3);
    EXPECT_TRUE(ma.Insert(nullptr, 0, false, nullptr).IsSeparator());
    DestroyMenu(a);
    DestroyMenu(b);
}

TEST(Menu, MnemonicsAndMenuChar) {
    struct Row {
        const char* text;
        char mnemonic;
    };
    const Row rows[] = {{"&File", 'F'}, {"Save && Exit", 0}, {"A&&B &Dx", 'D'}, {"A&b", 0}};
    Menu m(CreatePopupMenu());
    for (const Row& r : rows) EXPECT_EQ(m.Insert(r.text, -1, false, nullptr).GetMnemonic(), r.mnemonic) << r.text;
    m.GetItemAt(0).CreateSubMenu();
    OwnerDrawMenu owner(nullptr, false);
    auto menuChar = [&](char c) {
        return owner.HandleMessage(WM_MENUCHAR, c, reinterpret_cast<LPARAM>(m.GetHandle()));
    };
    EXPECT_EQ(menuChar('D'), MAKELRESULT(2, MNC_EXECUTE));
    EXPECT_EQ(menuChar('F'), MAKELRESULT(0, MNC_SELECT));  // it has a submenu
    EXPECT_EQ(menuChar('d'), 0);
    DestroyMenu(m.GetHandle());
}

// Owner-drawn items measured and drawn; a record of an owner-drawn button is left alone.
TEST(Menu, OwnerDrawnItemsAreMeasuredAndDrawn) {
    const COLORREF face = 0x406080;
    PopupMenu* popup = new PopupMenu(MakeMenu({"&Open", nullptr, "Selected"}), true, nullptr);
    popup->GetMenu().SetColors(face, 0x000000, nullptr);
    HMENU menu = popup->GetMenu().GetMenu().GetHandle();
    auto measure = [&](int pos) {
        MEASUREITEMSTRUCT mi = {ODT_MENU, 0, GetMenuItemID(menu, pos), 0, 0, reinterpret_cast<ULONG_PTR>(menu)};
        SendMessageA(popup->GetHandle(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mi));
        return SIZE{static_cast<LONG>(mi.itemWidth), static_cast<LONG>(mi.itemHeight)};
    };
    EXPECT_EQ(measure(1).cx + measure(1).cy, 16);  // a separator: 10 x 6
    SIZE narrow = measure(0);
    EXPECT_GE(narrow.cy, 14);
    popup->GetMenu().SetMargins(30, 40);
    EXPECT_EQ(measure(0).cx, narrow.cx + 20);
    EXPECT_EQ(measure(0).cy, 44);

    DibBitmap dib(60, 30);
    auto draw = [&](UINT type, int pos, UINT state, int top) {
        DRAWITEMSTRUCT di = {type,
                             0,
                             GetMenuItemID(menu, pos),
                             ODA_DRAWENTIRE,
                             state,
                             reinterpret_cast<HWND>(menu),
                             dib.GetDC(),
                             {0, top, 60, top + 10},
                             0};
        SendMessageA(popup->GetHandle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&di));
        GdiFlush();
    };
    draw(ODT_BUTTON, 0, 0, 0);
    EXPECT_EQ(PixelAt(dib, 1, 1), 0u);
    draw(ODT_MENU, 0, 0, 0);
    draw(ODT_MENU, 2, ODS_SELECTED, 10);
    draw(ODT_MENU, 1, 0, 20);
    EXPECT_EQ(PixelAt(dib, 1, 1), face);
    EXPECT_EQ(PixelAt(dib, 1, 11), Shade(face, 0.4));
    EXPECT_EQ(PixelAt(dib, 5, 22), Shade(face, 0.7));
    EXPECT_EQ(PixelAt(dib, 5, 23), Shade(face, -0.7));
    delete popup;
}

// The text colour follows the owner window: the text colour under a PopupMenu's bare Window and
// an enabled Component, the disabled-text colour under a disabled one, grey under a window
// outside the toolkit. Only a real Component is taken for one.
TEST(Menu, OwnerDecidesTheTextColourAndABareWindowIsNoComponent) {
    const COLORREF face = 0x202020, text = 0x00FF00;
    PopupMenu* popup = new PopupMenu(MakeMenu({"WWWW"}), true, nullptr);
    EXPECT_EQ(Component::FromHandle(popup->GetHandle()), nullptr);
    EXPECT_EQ(Window::FromHandle(popup->GetHandle()), popup);
    SendMessageA(popup->GetHandle(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(IsWindow(popup->GetHandle())) << "its owner deletes it";
    Component* enabled = MakeTopLevel();
    Component* disabled = MakeTopLevel();
    disabled->Enable(false);
    ASSERT_NE(disabled->GetDisabledTextColor(), text);
    EXPECT_EQ(Component::FromHandle(enabled->GetHandle()), enabled);
    HWND foreign = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(foreign, nullptr);

    popup->GetMenu().SetColors(face, text, nullptr);
    HMENU menu = popup->GetMenu().GetMenu().GetHandle();
    const struct {
        const char* owner;
        HWND window;
        COLORREF colour;
    } rows[] = {{"popup", popup->GetHandle(), text},
                {"enabled component", enabled->GetHandle(), text},
                {"disabled component", disabled->GetHandle(), disabled->GetDisabledTextColor()},
                {"foreign window", foreign, 0x808080}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.owner);
        popup->GetMenu().SetOwner(r.window);
        DibBitmap dib(80, 24);
        DRAWITEMSTRUCT di = {
            ODT_MENU,       0, GetMenuItemID(menu, 0), ODA_DRAWENTIRE, 0, reinterpret_cast<HWND>(menu), dib.GetDC(),
            {0, 0, 80, 24}, 0};
        // As the system draws a tracked menu: through the popup's own window.
        SendMessageA(popup->GetHandle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&di));
        GdiFlush();
        std::map<COLORREF, int> counts;
        for (uint32_t y = 0; y < 24; ++y)
            for (uint32_t x = 0; x < 80; ++x) ++counts[PixelAt(dib, x, y)];
        EXPECT_GT(counts[r.colour], 0);
        for (COLORREF other : {text, disabled->GetDisabledTextColor(), COLORREF(0x808080)})
            if (other != r.colour) {
                EXPECT_EQ(counts[other], 0) << std::hex << other;
            }
    }
    DestroyWindow(foreign);
    delete enabled;
    delete disabled;
    delete popup;
}

// While the menu is open a thread timer either closes it or picks the first item by keys.
HWND g_tracking;
bool g_pick;
void CALLBACK DuringTracking(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (!g_pick) EndMenu();
    for (int key : {VK_DOWN, VK_RETURN})
        if (g_pick) PostMessageA(g_tracking, WM_KEYDOWN, key, 0);
}

TEST(PopupMenu, TrackReturnsThePickAndADismissedMenuNoCommand) {
    Component* owner = MakeTopLevel();
    PopupMenu* popup = new PopupMenu(owner->GetHandle());
    MenuItemRef first = popup->GetMenu().GetMenu().Insert("First", -1, false, nullptr);
    popup->GetMenu().GetMenu().Insert("Second", -1, false, nullptr);
    Commands commands;
    popup->GetMenu().OnCommand.Bind(&commands, &Commands::Command);
    g_tracking = popup->GetHandle();
    for (bool pick : {false, true}) {
        g_pick = pick;
        SetTimer(nullptr, 0, 100, &DuringTracking);
        EXPECT_EQ(popup->Track(100, 100, 0).GetId(), pick ? first.GetId() : 0u) << pick;
    }
    EXPECT_EQ(commands.ids, std::vector<UINT>{first.GetId()});
    delete popup;
    delete owner;
}

}  // namespace
