#include "toolkit/menu.h"

#include "foundation/trace.h"
#include "foundation/win32/modal_refusal.h"
#include "toolkit/application.h"
#include "toolkit/component.h"
#include "toolkit/drawing.h"

namespace {
volatile LONG g_lastId = 0;

GraphicsResourceTracker& Tracker() { return GetApplication()->GetTracker(); }

MENUITEMINFOA InfoFor(UINT mask) {
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = mask;
    return info;
}

bool IsOwnId(UINT id) { return id >= 0x8000 && id <= 0xFFFF; }
}  // namespace

UINT Menu::NewId() { return static_cast<UINT>(InterlockedIncrement(&g_lastId)); }

Menu::Menu(HMENU handle, bool ownerDraw, bool prepare) : m_handle(handle) {
    if (prepare) PrepareItems(ownerDraw);
}

void Menu::PrepareItems(bool ownerDraw) {
    int count = GetItemCount();
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOA info = InfoFor(MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU);
        if (!GetMenuItemInfoA(m_handle, i, TRUE, &info)) continue;
        if (info.hSubMenu) Menu(info.hSubMenu).PrepareItems(ownerDraw);
        if (ownerDraw) info.fType |= MFT_OWNERDRAW;
        info.dwItemData = reinterpret_cast<ULONG_PTR>(m_handle);
        if (!IsOwnId(info.wID)) info.wID = NewId();
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA;
        SetMenuItemInfoA(m_handle, i, TRUE, &info);
    }
}

MenuItemRef Menu::Insert(const char* text, int position, bool ownerDraw, HBITMAP bitmap) {
    int count = GetItemCount();
    if (position < 0 || position > count) position = count;
    MENUITEMINFOA info = InfoFor(MIIM_FTYPE | MIIM_ID | MIIM_DATA | MIIM_BITMAP);
    info.fType = (text ? MFT_STRING : MFT_SEPARATOR) | (ownerDraw ? MFT_OWNERDRAW : 0);
    if (text) {
        info.fMask |= MIIM_STRING;
        info.dwTypeData = const_cast<char*>(text);
    }
    info.wID = NewId();
    info.dwItemData = reinterpret_cast<ULONG_PTR>(m_handle);
    info.hbmpItem = bitmap;
    if (!m_handle || !InsertMenuItemA(m_handle, position, TRUE, &info)) return MenuItemRef();
    return MenuItemRef(info.wID, m_handle);
}

int Menu::GetItemCount() const {
    int n = m_handle ? GetMenuItemCount(m_handle) : -1;
    return n < 0 ? 0 : n;
}

MenuItemRef Menu::GetItemAt(int position) const {
    MENUITEMINFOA info = InfoFor(MIIM_ID);
    if (!m_handle || !GetMenuItemInfoA(m_handle, position, TRUE, &info)) return MenuItemRef();
    return MenuItemRef(info.wID, m_handle);
}

MenuItemRef Menu::FindById(UINT id, bool recursive) const {
    if (!m_handle || id == 0) return MenuItemRef();
    MENUITEMINFOA info = InfoFor(MIIM_DATA | MIIM_ID);
    // By command the system already searches the submenus; the item data names the menu that
    // really holds the item.
    if (GetMenuItemInfoA(m_handle, id, FALSE, &info)) {
        HMENU holder = info.dwItemData ? reinterpret_cast<HMENU>(info.dwItemData) : m_handle;
        return MenuItemRef(id, holder);
    }
    if (!recursive) return MenuItemRef();
    int count = GetItemCount();
    for (int i = 0; i < count; ++i) {
        HMENU sub = GetSubMenu(m_handle, i);
        if (!sub) continue;
        MenuItemRef found = Menu(sub).FindById(id, true);
        if (found.GetId()) return found;
    }
    return MenuItemRef();
}

MenuItemRef Menu::FindSubMenuItem(HMENU subMenu, bool recursive) const {
    int count = GetItemCount();
    for (int i = 0; i < count; ++i)
        if (GetSubMenu(m_handle, i) == subMenu) return GetItemAt(i);
    if (!recursive) return MenuItemRef();
    for (int i = 0; i < count; ++i) {
        HMENU sub = GetSubMenu(m_handle, i);
        if (!sub) continue;
        MenuItemRef found = Menu(sub).FindSubMenuItem(subMenu, true);
        if (found.GetId()) return found;
    }
    return MenuItemRef();
}

void Menu::DeleteItem(UINT id) {
    if (m_handle) DeleteMenu(m_handle, id, MF_BYCOMMAND);
}

Menu Menu::FromSystemMenu(HWND window) { return Menu(GetSystemMenu(window, FALSE), false, true); }

UINT MenuItemRef::GetState() const {
    UINT state = GetMenu() ? GetMenuState(GetMenu(), m_id, MF_BYCOMMAND) : static_cast<UINT>(-1);
    return state == static_cast<UINT>(-1) ? 0 : state;
}

void MenuItemRef::SetState(UINT state) {
    MENUITEMINFOA info = InfoFor(MIIM_STATE);
    info.fState = state;
    SetMenuItemInfoA(GetMenu(), m_id, FALSE, &info);
}

void MenuItemRef::SetText(const char* text) {
    MENUITEMINFOA info = InfoFor(text ? MIIM_STRING : MIIM_FTYPE);
    if (text)
        info.dwTypeData = const_cast<char*>(text);
    else
        info.fType = MFT_SEPARATOR;
    SetMenuItemInfoA(GetMenu(), m_id, FALSE, &info);
}

String MenuItemRef::GetText() const {
    if (IsSeparator()) return String("");
    MENUITEMINFOA info = InfoFor(MIIM_STRING);
    if (!GetMenuItemInfoA(GetMenu(), m_id, FALSE, &info)) return String("");
    int length = static_cast<int>(info.cch);
    String text(length + 1);
    if (text.GetCapacity() < length + 2) return String("");
    info.dwTypeData = &text[0];
    info.cch = length + 1;
    if (!GetMenuItemInfoA(GetMenu(), m_id, FALSE, &info)) return String("");
    text.UpdateLength();
    return text;
}

int MenuItemRef::GetTextBuffer(char buffer[80]) const {
    buffer[0] = 0;
    if (IsSeparator()) return 0;
    MENUITEMINFOA info = InfoFor(MIIM_STRING);
    info.dwTypeData = buffer;
    info.cch = 80;
    if (!GetMenuItemInfoA(GetMenu(), m_id, FALSE, &info)) {
        buffer[0] = 0;
        return 0;
    }
    return static_cast<int>(info.cch);
}

char MenuItemRef::GetMnemonic() const {
    char text[80];
    int n = GetTextBuffer(text);
    // Like the menus this replaces, the scan ends before the last character.
    for (int i = 0; i + 2 < n; ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] != '&') return text[i + 1];
        ++i;  // "&&": a literal ampersand
    }
    return 0;
}

void MenuItemRef::SetSubMenu(HMENU menu) {
    MENUITEMINFOA info = InfoFor(MIIM_SUBMENU);
    info.hSubMenu = menu;
    SetMenuItemInfoA(GetMenu(), m_id, FALSE, &info);
}

Menu MenuItemRef::GetSubMenu() const {
    MENUITEMINFOA info = InfoFor(MIIM_SUBMENU);
    if (!GetMenuItemInfoA(GetMenu(), m_id, FALSE, &info)) return Menu();
    return Menu(info.hSubMenu);
}

Menu MenuItemRef::CreateSubMenu() {
    HMENU sub = CreatePopupMenu();
    if (sub) SetSubMenu(sub);
    return Menu(sub);
}

void MenuItemRef::SetBitmap(HBITMAP bitmap) { SetMenuItemBitmaps(GetMenu(), m_id, MF_BYCOMMAND, bitmap, bitmap); }

HBITMAP MenuItemRef::GetBitmap() const {
    MENUITEMINFOA info = InfoFor(MIIM_CHECKMARKS);
    if (!GetMenuItemInfoA(GetMenu(), m_id, FALSE, &info)) return nullptr;
    return info.hbmpUnchecked;
}

bool MenuItemRef::GetInfo(MENUITEMINFOA* info) const {
    *info = InfoFor(MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_DATA | MIIM_BITMAP | MIIM_FTYPE);
    return GetMenuItemInfoA(GetMenu(), m_id, FALSE, info) != 0;
}

int MenuItemRef::GetPosition() const {
    Menu menu(GetMenu());
    int count = menu.GetItemCount();
    // By the item's own identifier: GetMenuItemID answers -1 for an item with a submenu.
    for (int i = 0; m_id != 0 && i < count; ++i) {
        MENUITEMINFOA info = InfoFor(MIIM_ID);
        if (GetMenuItemInfoA(GetMenu(), i, TRUE, &info) && info.wID == m_id) return i;
    }
    return -1;
}

OwnerDrawMenu::OwnerDrawMenu(HMENU handle, bool ownerDraw) : m_menu(handle, ownerDraw, true) {
    if (ownerDraw) SetColors(GetSysColor(COLOR_MENU), GetSysColor(COLOR_MENUTEXT), nullptr);
}

OwnerDrawMenu::~OwnerDrawMenu() {
    if (m_menu.GetHandle()) DestroyMenu(m_menu.GetHandle());
    ReleaseGraphics();
}

void OwnerDrawMenu::ReleaseGraphics() {
    GraphicsResourceTracker& t = Tracker();
    if (m_faceBrush) t.ReleaseBrush(m_faceBrush);
    if (m_highlightBrush) t.ReleaseBrush(m_highlightBrush);
    if (m_lightPen) t.ReleasePen(m_lightPen);
    if (m_darkPen) t.ReleasePen(m_darkPen);
    if (m_textPen) t.ReleasePen(m_textPen);
    m_faceBrush = m_highlightBrush = nullptr;
    m_lightPen = m_darkPen = m_textPen = nullptr;
}

void OwnerDrawMenu::ApplyBackground() {
    MENUINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = MIM_BACKGROUND | MIM_APPLYTOSUBMENUS;
    info.hbrBack = m_faceBrush;
    if (m_menu.GetHandle()) SetMenuInfo(m_menu.GetHandle(), &info);
}

void OwnerDrawMenu::SetColors(COLORREF face, COLORREF text, HFONT font) {
    ReleaseGraphics();
    GraphicsResourceTracker& t = Tracker();
    m_lightPen = t.AcquirePen(Shade(face, 0.7));
    m_darkPen = t.AcquirePen(Shade(face, -0.7));
    m_textPen = t.AcquirePen(text);
    m_faceBrush = t.AcquireBrush(face);
    m_highlightBrush = t.AcquireBrush(Shade(face, 0.4));
    m_faceColour = face;
    m_textColour = text;
    m_font = font;
    ApplyBackground();
}

void OwnerDrawMenu::SetMargins(int indent, int minimumHeight) {
    m_indent = indent;
    m_minimumHeight = minimumHeight;
}

LRESULT OwnerDrawMenu::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_DRAWITEM: {
        DRAWITEMSTRUCT* record = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        // Owner-drawn controls of the same window keep their own drawing.
        if (!record || record->CtlType != ODT_MENU) return 0;
        MenuItemRef item = Menu(reinterpret_cast<HMENU>(record->hwndItem)).FindById(record->itemID, false);
        DrawItem(item, record);
        OnDrawItem.Invoke(nullptr, &item, record);
        return 1;
    }
    case WM_MEASUREITEM: {
        MEASUREITEMSTRUCT* record = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (!record || record->CtlType != ODT_MENU) return 0;
        MenuItemRef item = Menu(reinterpret_cast<HMENU>(record->itemData)).FindById(record->itemID, false);
        MeasureItem(item, record);
        OnMeasureItem.Invoke(nullptr, &item, record);
        return 1;
    }
    case WM_MENUCHAR: {
        char c = static_cast<char>(LOWORD(wParam) & 0xFF);
        Menu menu(reinterpret_cast<HMENU>(lParam));
        int count = menu.GetItemCount();
        for (int i = 0; i < count; ++i) {
            MenuItemRef item = menu.GetItemAt(i);
            if (!item.GetId() || item.GetMnemonic() != c) continue;
            WORD action = GetSubMenu(menu.GetHandle(), i) ? MNC_SELECT : MNC_EXECUTE;
            return MAKELRESULT(i, action);
        }
        return 0;
    }
    default: return 0;
    }
}

void OwnerDrawMenu::MeasureItem(const MenuItemRef& item, MEASUREITEMSTRUCT* record) {
    if (item.IsSeparator()) {
        record->itemWidth = 10;
        record->itemHeight = 6;
        return;
    }
    char text[80];
    int length = item.GetTextBuffer(text);
    HDC dc = ::GetDC(m_owner);
    HGDIOBJ old = m_font ? SelectObject(dc, m_font) : nullptr;
    RECT r = {0, 0, 0, 0};
    DrawTextA(dc, text, length, &r, DT_CALCRECT);
    if (old) SelectObject(dc, old);
    ::ReleaseDC(m_owner, dc);
    int height = r.bottom - r.top;
    if (height < m_minimumHeight + 4) height = m_minimumHeight + 4;
    record->itemHeight = height;
    record->itemWidth = (r.right - r.left) + m_indent + 8;
}

void OwnerDrawMenu::DrawItem(const MenuItemRef& item, DRAWITEMSTRUCT* record) {
    HDC dc = record->hDC;
    RECT r = record->rcItem;
    if (item.IsSeparator()) {
        HGDIOBJ old = SelectObject(dc, m_lightPen);
        MoveToEx(dc, r.left, r.top + 2, nullptr);
        LineTo(dc, r.right, r.top + 2);
        SelectObject(dc, m_darkPen);
        MoveToEx(dc, r.left, r.top + 3, nullptr);
        LineTo(dc, r.right, r.top + 3);
        SelectObject(dc, old);
        return;
    }
    HGDIOBJ oldFont = m_font ? SelectObject(dc, m_font) : nullptr;
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF colour;
    if (record->itemState & ODS_SELECTED) {
        FillRect(dc, &r, m_highlightBrush);
        colour = Shade(m_textColour, 0.6);
    } else {
        LOGBRUSH lb = {};
        if (!m_faceBrush || !GetObjectA(m_faceBrush, sizeof lb, &lb) || lb.lbColor != m_faceColour) {
            HBRUSH brush = Tracker().AcquireBrush(m_faceColour);
            if (m_faceBrush) Tracker().ReleaseBrush(m_faceBrush);
            m_faceBrush = brush;
            ApplyBackground();
        }
        FillRect(dc, &r, m_faceBrush);
        colour = m_textColour;
    }
    // Only a Component has an enabled state: a bare toolkit Window (a PopupMenu's own) counts
    // as enabled, a window outside the toolkit greys the text.
    Component* owner = Component::FromHandle(m_owner);
    if (!owner && !Window::FromHandle(m_owner))
        colour = 0x808080;
    else if (owner && !owner->IsEnabled())
        colour = owner->GetDisabledTextColor();

    UINT state = item.GetState();
    HBITMAP bitmap = item.GetBitmap();
    if (bitmap)
        DrawBitmap(dc, r.left, r.top, r.right, r.bottom, bitmap, state);
    else if (state & MF_CHECKED)
        DrawCheck(dc, r, m_minimumHeight, (state & MF_GRAYED) != 0);

    char text[80];
    int length = item.GetTextBuffer(text);
    RECT measured = {0, 0, 0, 0};
    DrawTextA(dc, text, length, &measured, DT_CALCRECT);
    int textHeight = measured.bottom - measured.top;
    RECT t = {r.left + m_indent + 8, r.top + (r.bottom - r.top - textHeight) / 2, r.right, r.bottom};
    COLORREF oldColour = ::SetTextColor(dc, (record->itemState & ODS_GRAYED) ? 0xA0A0A0 : colour);
    if (record->itemState & ODS_DEFAULT) {
        RECT bold = t;
        OffsetRectBy(&bold, -1, -1);
        DrawTextA(dc, text, length, &bold, DT_LEFT | DT_TOP);
    }
    DrawTextA(dc, text, length, &t, DT_LEFT | DT_TOP);
    ::SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    if (oldFont) SelectObject(dc, oldFont);
}

void OwnerDrawMenu::DrawCheck(HDC hdc, const RECT& rect, int s, bool grayed) {
    HGDIOBJ old = SelectObject(hdc, grayed ? m_lightPen : m_textPen);
    int middle = rect.top + (rect.bottom - rect.top) / 2;
    MoveToEx(hdc, rect.left + s / 4, middle, nullptr);
    LineTo(hdc, rect.left + s / 3, middle + s / 4);
    LineTo(hdc, rect.left + 3 * s / 4, middle - s / 2);
    SelectObject(hdc, old);
}

void OwnerDrawMenu::DrawBitmap(HDC hdc, int left, int top, int right, int bottom, HBITMAP bitmap, UINT state) {
    BITMAP info = {};
    if (!GetObjectA(bitmap, sizeof info, &info)) return;
    HDC mem = CreateCompatibleDC(hdc);
    if (!mem) return;
    HGDIOBJ old = SelectObject(mem, bitmap);
    int height = bottom - top;
    int x = left + 1;
    int y = height > info.bmHeight + 4 ? top + (height - 4 - info.bmHeight) / 2 : top + 1;
    TransparentBlt(hdc, x, y, info.bmWidth, info.bmHeight, mem, 0, 0, info.bmWidth, info.bmHeight, GetPixel(mem, 0, 0));
    SelectObject(mem, old);
    DeleteDC(mem);
    if (state & MF_CHECKED) {
        HGDIOBJ pen = SelectObject(hdc, m_darkPen);
        int l = x - 1, t = y - 1, r = x + info.bmWidth, b = y + info.bmHeight;
        MoveToEx(hdc, l, b, nullptr);
        LineTo(hdc, l, t);
        LineTo(hdc, r, t);
        SelectObject(hdc, m_lightPen);
        LineTo(hdc, r, b);
        LineTo(hdc, l, b);
        SelectObject(hdc, pen);
    }
}

MenuBar::MenuBar(Window* window) : OwnerDrawMenu(CreateMenu(), false) { Attach(window); }

MenuBar::MenuBar(Window* window, HMENU menu, bool ownerDraw, int indent, int minimumHeight)
    : OwnerDrawMenu(menu, ownerDraw) {
    SetMargins(indent, minimumHeight);
    Attach(window);
}

MenuBar::~MenuBar() {
    if (m_window && m_window->GetHandle()) {
        m_window->OnMessage.Unbind();
        SetMenu(m_window->GetHandle(), nullptr);
    }
}

void MenuBar::Attach(Window* window) {
    m_window = window;
    m_owner = window ? window->GetHandle() : nullptr;
    if (!window) return;
    window->OnMessage.Bind(this, &MenuBar::HandleHook);
    SetMenu(m_owner, m_menu.GetHandle());
}

void MenuBar::HandleHook(Object*, MessageRecord* record) {
    switch (record->msg) {
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
    case WM_MENUCHAR: {
        LRESULT result = HandleMessage(record->msg, record->wParam, record->lParam);
        // What the menu did not answer (another owner-drawn control, an unknown mnemonic)
        // goes on to the window.
        if (result) {
            record->result = result;
            record->handled = 1;
        }
        break;
    }
    case WM_COMMAND:
        if (record->lParam == 0 && HIWORD(record->wParam) == 0) {
            MenuItemRef item = m_menu.FindById(LOWORD(record->wParam), true);
            OnCommand.Invoke(nullptr, &item);
            record->result = 0;
            record->handled = 1;
        }
        break;
    default: break;
    }
}

void MenuBar::Redraw() {
    if (m_window) DrawMenuBar(m_window->GetHandle());
}

PopupMenu::PopupMenu(HWND owner) : PopupMenu(CreatePopupMenu(), false, owner) {}

PopupMenu::PopupMenu(HMENU menu, bool ownerDraw, HWND owner)
    : Window("", WS_OVERLAPPEDWINDOW, 0, 0, 0, 10, 10, nullptr), m_menu(menu, ownerDraw), m_owner(owner) {
    m_menu.SetOwner(GetHandle());
}

PopupMenu::~PopupMenu() = default;

LRESULT PopupMenu::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_MEASUREITEM || msg == WM_DRAWITEM || msg == WM_MENUCHAR) {
        LRESULT result = m_menu.HandleMessage(msg, wParam, lParam);
        if (result) return result;
    }
    return Window::WndProc(msg, wParam, lParam);
}

MenuItemRef PopupMenu::Track(int x, int y, UINT flags) {
    if (!m_owner || !IsWindow(m_owner)) {
        TraceLog("menu not shown: it has no owner");
        return MenuItemRef();
    }
    if (!MayOpenModalWindow(m_owner, "menu")) return MenuItemRef();
    UINT id = static_cast<UINT>(
        TrackPopupMenuEx(m_menu.GetMenu().GetHandle(), flags | TPM_RETURNCMD, x, y, GetHandle(), nullptr));
    if (id == 0) return MenuItemRef();  // dismissed: no command
    MenuItemRef item = m_menu.GetMenu().FindById(id, true);
    m_menu.OnCommand.Invoke(this, &item);
    return item;
}
