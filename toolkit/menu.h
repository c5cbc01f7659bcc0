// Menus over the Win32 menu functions. Menu wraps a handle; MenuItemRef names one item by its
// command identifier in the menu that holds it; OwnerDrawMenu draws its items with the
// toolkit's colours; MenuBar attaches one to a toolkit window; PopupMenu owns a popup menu in a
// hidden window and tracks it.
//
// Identifiers below 0x8000 come from one process-wide counter, so an item is found by its
// identifier across menus; every item carries the handle of the menu that holds it as its item
// data. Failed Win32 calls give empty results: identifier 0, an empty text, count 0, position -1.
#pragma once

#include <windows.h>

#include "foundation/string.h"
#include "toolkit/window.h"

class MenuItemRef;

class Menu {
public:
    explicit Menu(HMENU handle = nullptr, bool ownerDraw = false, bool prepare = false);

    // Owner draw (when asked), the holding menu as item data and a unique identifier for every
    // item, submenus first. Identifiers 0x8000..0xFFFF (system commands) stay.
    void PrepareItems(bool ownerDraw);
    // A null text inserts a separator; position -1 (or beyond the end) appends.
    MenuItemRef Insert(const char* text, int position, bool ownerDraw, HBITMAP bitmap);
    int GetItemCount() const;
    MenuItemRef GetItemAt(int position) const;
    MenuItemRef FindById(UINT id, bool recursive) const;
    MenuItemRef FindSubMenuItem(HMENU subMenu, bool recursive) const;
    void DeleteItem(UINT id);
    static Menu FromSystemMenu(HWND window);
    void Detach() { m_handle = nullptr; }
    HMENU GetHandle() const { return m_handle; }
    bool operator==(HMENU handle) const { return m_handle == handle; }

    static UINT NewId();

protected:
    HMENU m_handle;
};

class MenuItemRef {
public:
    MenuItemRef() = default;
    MenuItemRef(UINT id, HMENU menu) : m_menu(menu), m_id(static_cast<WORD>(id)) {}

    UINT GetId() const { return m_id; }
    bool HasId(UINT id) const { return m_id == id; }
    bool operator==(const MenuItemRef& other) const { return m_id == other.m_id && GetMenu() == other.GetMenu(); }
    HMENU GetMenu() const { return m_menu.GetHandle(); }

    UINT GetState() const;
    void SetState(UINT state);
    bool IsSeparator() const { return (GetState() & MF_SEPARATOR) != 0; }
    void SetText(const char* text);  // null makes it a separator
    String GetText() const;
    int GetTextBuffer(char buffer[80]) const;
    // The character after a single '&' ("&&" is a literal '&'); the last character is not
    // searched. 0 when there is none.
    char GetMnemonic() const;
    void SetSubMenu(HMENU menu);
    void RemoveSubMenu() { SetSubMenu(nullptr); }
    Menu GetSubMenu() const;
    Menu CreateSubMenu();
    void SetBitmap(HBITMAP bitmap);
    HBITMAP GetBitmap() const;
    bool GetInfo(MENUITEMINFOA* info) const;
    int GetPosition() const;

private:
    Menu m_menu;
    WORD m_id = 0;
};

class OwnerDrawMenu {
public:
    OwnerDrawMenu(HMENU handle, bool ownerDraw);
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual ~OwnerDrawMenu();
    OwnerDrawMenu(const OwnerDrawMenu&) = delete;
    OwnerDrawMenu& operator=(const OwnerDrawMenu&) = delete;

    void SetColors(COLORREF face, COLORREF text, HFONT font);
    void SetMargins(int indent, int minimumHeight);
    void MeasureItem(const MenuItemRef& item, MEASUREITEMSTRUCT* record);
    void DrawItem(const MenuItemRef& item, DRAWITEMSTRUCT* record);
    void DrawCheck(HDC hdc, const RECT& rect, int size, bool grayed);
    void DrawBitmap(HDC hdc, int left, int top, int right, int bottom, HBITMAP bitmap, UINT state);

    Menu& GetMenu() { return m_menu; }
    void SetOwner(HWND owner) { m_owner = owner; }

    Event<MenuItemRef*, MEASUREITEMSTRUCT*> OnMeasureItem;
    Event<MenuItemRef*, DRAWITEMSTRUCT*> OnDrawItem;
    Event<MenuItemRef*> OnCommand;

protected:
    void ReleaseGraphics();
    void ApplyBackground();

    Menu m_menu;
    HBRUSH m_faceBrush = nullptr;
    HBRUSH m_highlightBrush = nullptr;
    HFONT m_font = nullptr;
    COLORREF m_textColour = 0;
    HPEN m_darkPen = nullptr;
    HPEN m_lightPen = nullptr;
    HPEN m_textPen = nullptr;
    COLORREF m_faceColour = 0;
    int m_indent = 10;
    int m_minimumHeight = 10;
    HWND m_owner = nullptr;
};

class MenuBar : public OwnerDrawMenu {
public:
    explicit MenuBar(Window* window);
    MenuBar(Window* window, HMENU menu, bool ownerDraw, int indent, int minimumHeight);
    ~MenuBar() override;

    void Attach(Window* window);
    void HandleHook(Object* sender, MessageRecord* record);
    void Redraw();

private:
    Window* m_window = nullptr;
};

class PopupMenu : public Window {
public:
    // owner: the window the menu is opened for, required. Only the modal refusal reads it: a
    // menu of a closing window does not open, and neither does one without an owner (null or
    // destroyed), which nothing could refuse. The hidden window itself stays unowned, so its
    // life is only its object's.
    explicit PopupMenu(HWND owner);
    PopupMenu(HMENU menu, bool ownerDraw, HWND owner);
    ~PopupMenu() override;

    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // The chosen item (raised through OnCommand), identifier 0 when the menu was dismissed or
    // may not open (no owner, or MayOpenModalWindow refuses it for the owner).
    MenuItemRef Track(int x, int y, UINT flags);
    OwnerDrawMenu& GetMenu() { return m_menu; }

private:
    OwnerDrawMenu m_menu;
    HWND m_owner;
};
