#include <gtest/gtest.h>

#include <windows.h>

#include <set>

#include "tests/support/widget_input.h"
#include "toolkit/drawing.h"
#include "toolkit/menu.h"
#include "toolkit_fixture.h"

namespace {

HMENU MakeMenu(std::initializer_list<const char*> texts) {
    HMENU m = CreatePopupMenu();
    UINT id = 1;   // every menu starts at 1: preparing must make them unique
    for (const char* t : texts) AppendMenuA(m, t ? MF_STRING : MF_SEPARATOR, id++, t);
    return m;
}

TEST(Menu, PreparedMenusShareNoIdentifierAndSystemCommandsStay) {
    HMENU a = MakeMenu({"One", "Two"}), b = MakeMenu({"One", "Two"});
    AppendMenuA(b, MF_STRING, SC_CLOSE, "Close");
    HMENU sub = MakeMenu({"Deep"});
    AppendMenuA(a, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "Sub");
    Menu ma(a, false, true), mb(b, false, true);
    std::set<UINT> ids;
    for (HMENU m : {a, b, sub})
        for (int i = 0; i < GetMenuItemCount(m); ++i) {
            UINT id = GetMenuItemID(m, i);
            if (id != static_cast<UINT>(-1) && id < 0x8000) {
                EXPECT_TRUE(ids.insert(id).second) << id;
            }
        }
    EXPECT_EQ(ids.size(), 5u);
    EXPECT_EQ(mb.FindById(SC_CLOSE, false).GetPosition(), 2);
    MenuItemRef deep = ma.FindById(GetMenuItemID(sub, 0), true);   // found from the top menu
    EXPECT_EQ(deep.GetMenu(), sub);
    EXPECT_STREQ(deep.GetText().CStr(), "Deep");
    EXPECT_EQ(ma.FindSubMenuItem(sub, false).GetPosition(), 2);
    EXPECT_EQ(ma.FindById(0x7FFF, true).GetId(), 0u);
    DestroyMenu(a);
    DestroyMenu(b);
}

TEST(Menu, InsertAppendsAndMakesSeparators) {
    Menu m(MakeMenu({"a", "b", "c"}), false, true);
    MenuItemRef item = m.Insert("d", -1, false, nullptr);
    EXPECT_EQ(item.GetPosition(), 3);
    EXPECT_EQ(m.Insert("first", 0, false, nullptr).GetPosition(), 0);
    MenuItemRef sep = m.Insert(nullptr, 99, false, nullptr);
    EXPECT_TRUE(sep.IsSeparator());
    EXPECT_STREQ(sep.GetText().CStr(), "");
    EXPECT_EQ(m.GetItemCount(), 6);
    EXPECT_EQ(Menu().Insert("x", -1, false, nullptr).GetId(), 0u);   // no menu
    DestroyMenu(m.GetHandle());
}

TEST(Menu, MnemonicsAndMenuChar) {
    struct Row { const char* text; char mnemonic; };
    const Row rows[] = {{"&File", 'F'}, {"Save && Exit", 0}, {"A&&B &Dx", 'D'}, {"A&b", 0}, {"&Open", 'O'}};
    Menu m(CreatePopupMenu());
    for (const Row& r : rows) EXPECT_EQ(m.Insert(r.text, -1, false, nullptr).GetMnemonic(), r.mnemonic) << r.text;
    m.GetItemAt(0).CreateSubMenu();
    OwnerDrawMenu owner(nullptr, false);
    auto menuChar = [&](char c) { return owner.HandleMessage(WM_MENUCHAR, c, reinterpret_cast<LPARAM>(m.GetHandle())); };
    EXPECT_EQ(menuChar('D'), MAKELRESULT(2, MNC_EXECUTE));
    EXPECT_EQ(menuChar('F'), MAKELRESULT(0, MNC_SELECT));   // it has a submenu
    EXPECT_EQ(menuChar('d'), 0);                             // case counts
    DestroyMenu(m.GetHandle());
}

// Measuring and drawing owner-drawn items; a record of another kind of control is left alone.
TEST(Menu, OwnerDrawnItemsAreMeasuredAndDrawn) {
    const COLORREF face = 0x406080;
    PopupMenu* popup = new PopupMenu(MakeMenu({"&Open", nullptr, "Wide item text"}), true);
    OwnerDrawMenu& odm = popup->GetMenu();
    odm.SetColors(face, 0x000000, nullptr);
    Menu& menu = odm.GetMenu();
    auto measure = [&](int pos) {
        MEASUREITEMSTRUCT mi = {ODT_MENU, 0, GetMenuItemID(menu.GetHandle(), pos), 0, 0,
                                reinterpret_cast<ULONG_PTR>(menu.GetHandle())};
        EXPECT_EQ(SendMessageA(popup->GetHandle(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mi)), 1);
        return SIZE{static_cast<LONG>(mi.itemWidth), static_cast<LONG>(mi.itemHeight)};
    };
    EXPECT_EQ(measure(1).cx, 10);
    EXPECT_EQ(measure(1).cy, 6);
    SIZE narrow = measure(0), wide = measure(2);
    EXPECT_GE(narrow.cy, 14);
    EXPECT_GT(wide.cx, narrow.cx);
    odm.SetMargins(30, 40);
    EXPECT_EQ(measure(0).cx, narrow.cx + 20);
    EXPECT_EQ(measure(0).cy, 44);

    DibBitmap dib(60, 30);
    auto draw = [&](UINT ctlType, int pos, UINT state, int top) {
        DRAWITEMSTRUCT di = {ctlType, 0, GetMenuItemID(menu.GetHandle(), pos), ODA_DRAWENTIRE, state,
                             reinterpret_cast<HWND>(menu.GetHandle()), dib.GetDC(), {0, top, 60, top + 10}, 0};
        LRESULT r = SendMessageA(popup->GetHandle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&di));
        GdiFlush();
        return r;
    };
    EXPECT_EQ(draw(ODT_BUTTON, 0, 0, 0), 0);
    EXPECT_EQ(PixelAt(dib, 1, 1), 0u);   // untouched
    draw(ODT_MENU, 0, 0, 0);
    draw(ODT_MENU, 2, ODS_SELECTED, 10);
    draw(ODT_MENU, 1, 0, 20);
    EXPECT_EQ(PixelAt(dib, 1, 1), face);
    EXPECT_EQ(PixelAt(dib, 1, 11), Shade(face, 0.4));
    EXPECT_EQ(PixelAt(dib, 5, 22), Shade(face, 0.7));
    EXPECT_EQ(PixelAt(dib, 5, 23), Shade(face, -0.7));
    delete popup;
}

TEST(MenuBar, MenuCommandsReachOnCommand) {
    Component* window = MakeTopLevel(200, 100, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    MenuBar* bar = new MenuBar(window);
    MenuItemRef file = bar->GetMenu().Insert("&File", -1, false, nullptr);
    MenuItemRef open = file.CreateSubMenu().Insert("&Open", -1, false, nullptr);
    EXPECT_EQ(GetMenu(window->GetHandle()), bar->GetMenu().GetHandle());
    struct Commands {
        std::vector<UINT> ids;
        void Command(Object*, MenuItemRef* item) { ids.push_back(item->GetId()); }
    } commands;
    bar->OnCommand.Bind(&commands, &Commands::Command);
    SendMessageA(window->GetHandle(), WM_COMMAND, MAKEWPARAM(open.GetId(), 0), 0);
    SendMessageA(window->GetHandle(), WM_COMMAND, MAKEWPARAM(open.GetId(), 1), 0);   // an accelerator: not a menu
    EXPECT_EQ(commands.ids, std::vector<UINT>{open.GetId()});
    delete bar;
    EXPECT_EQ(GetMenu(window->GetHandle()), nullptr);
    delete window;
}

// While the menu is open a thread timer either picks the first item by keys or closes it.
PopupMenu* g_tracked;
bool g_pick;
void CALLBACK DuringTracking(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (!g_pick) {
        EndMenu();
        return;
    }
    HWND h = g_tracked->GetHandle();
    for (int key : {VK_DOWN, VK_RETURN}) {
        PostMessageA(h, WM_KEYDOWN, key, 0);
        PostMessageA(h, WM_KEYUP, key, 0xC0000000);
    }
}

TEST(PopupMenu, TrackReturnsThePickAndADismissedMenuNoCommand) {
    PopupMenu* popup = new PopupMenu();
    MenuItemRef first = popup->GetMenu().GetMenu().Insert("First", -1, false, nullptr);
    popup->GetMenu().GetMenu().Insert("Second", -1, false, nullptr);
    std::vector<UINT> ids;
    struct Commands {
        std::vector<UINT>* ids;
        void Command(Object*, MenuItemRef* item) { ids->push_back(item->GetId()); }
    } commands{&ids};
    popup->GetMenu().OnCommand.Bind(&commands, &Commands::Command);
    g_tracked = popup;
    for (bool pick : {false, true}) {
        g_pick = pick;
        SetTimer(nullptr, 0, 100, &DuringTracking);
        MenuItemRef got = popup->Track(100, 100, 0);
        EXPECT_EQ(got.GetId(), pick ? first.GetId() : 0u) << pick;
    }
    EXPECT_EQ(ids, std::vector<UINT>{first.GetId()});
    delete popup;
}

}  // namespace
