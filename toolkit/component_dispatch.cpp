// Component::WndProc: window messages to the virtual handlers, and the toolkit's own protocol
// of private messages (WM_APP+0 .. WM_APP+11) by which focus, activation, enabling, visibility,
// reflected notifications, wheel turns, Escape, Enter and the end of a modal run travel up and
// down the tree.
#include "toolkit/application.h"
#include "toolkit/component.h"

#include <cstdint>
#include <cstdlib>

#include "foundation/win32/modal_refusal.h"

namespace {
int LowX(LPARAM l) { return static_cast<int16_t>(LOWORD(l)); }
int HighY(LPARAM l) { return static_cast<int16_t>(HIWORD(l)); }

// The system's menu and its move and size loops, run by the default handling, are modal loops.
bool OpensSystemLoop(WPARAM command) {
    switch (command & 0xFFF0) {
    case SC_KEYMENU:
    case SC_MOUSEMENU:
    case SC_MOVE:
    case SC_SIZE: return true;
    default: return false;
    }
}
}  // namespace

void Component::OnSizeMessage() {
    int oldWidth = m_clientWidth, oldHeight = m_clientHeight;
    UpdateBounds();
    if (m_clientWidth != oldWidth || m_clientHeight != oldHeight) {
        Layout();
        if (m_doubleBuffered) ResizeBackBuffer();
        DoOnResize();
    }
    if (m_align && GetParent()) GetParent()->Layout();
}

void Component::PaintThroughBackBuffer() {
    HWND h = GetHandle();
    HDC dc = ::GetDC(h);
    SendMessageA(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(m_backDC), 0);
    SendMessageA(h, WM_PAINT, reinterpret_cast<WPARAM>(m_backDC), 0);
    BitBlt(dc, 0, 0, m_clientWidth, m_clientHeight, m_backDC, 0, 0, SRCCOPY);
    ::ReleaseDC(h, dc);
    ValidateRgn(h, nullptr);
    SelectClipRgn(m_backDC, nullptr);
}

void Component::HandleFocusChange(WPARAM gained, HWND who) {
    HWND parent = GetParent() ? GetParent()->GetHandle() : nullptr;
    if (!gained) {
        m_focusedChild = nullptr;
        if (parent) SendMessageA(parent, WM_TK_FOCUS, 0, reinterpret_cast<LPARAM>(GetHandle()));
        DoOnFocus(false);
        return;
    }
    Component* c = FromHandle(who);
    if (c && IsChild(c)) m_focusedChild = c;
    if (parent)
        SendMessageA(parent, WM_TK_FOCUS, reinterpret_cast<WPARAM>(GetHandle()), reinterpret_cast<LPARAM>(GetHandle()));
    DoOnFocus(true);
}

void Component::HandleNextFocus(bool backwards) {
    for (Component* c = GetNextChild(m_focusedChild, backwards); c; c = GetNextChild(c, backwards)) {
        if (c->SetFocus(backwards)) {
            m_focusedChild = c;
            return;
        }
    }
    if (GetParent() && !(GetStyle() & WS_POPUP)) {
        SendMessageA(GetParent()->GetHandle(), WM_TK_NEXTFOCUS, backwards, reinterpret_cast<LPARAM>(GetHandle()));
    } else if (m_focusedChild) {
        // The end of a popup or top-level window: wrap around to its first (last) child.
        m_focusedChild = nullptr;
        SendMessageA(GetHandle(), WM_TK_NEXTFOCUS, backwards, reinterpret_cast<LPARAM>(GetHandle()));
    }
}

void Component::HandleSetFocus() {
    if (HasChildren()) {
        bool taken = m_focusedChild && m_focusedChild != this && m_focusedChild->SetFocus(false);
        for (Component* c = GetNextChild(m_focusedChild, false); !taken && c; c = GetNextChild(c, false)) {
            m_focusedChild = c;
            taken = c->SetFocus(false);
        }
    }
    HWND h = GetHandle();
    SendMessageA(h, WM_TK_FOCUS, reinterpret_cast<WPARAM>(h), reinterpret_cast<LPARAM>(h));
}

// WM_ENABLE of the window itself, or WM_TK_ENABLE passed down by the parent; the children
// follow when the new state took effect (a plain component has no children of its own).
void Component::HandleEnable(WPARAM enabled, bool fromParent) {
    if (fromParent) m_disabledByParent = enabled == 0;
    DoOnEnable();
    if ((fromParent || GetType() != kTagComponent) && IsEnabled() == (enabled != 0))
        SendToChildren(WM_TK_ENABLE, enabled, reinterpret_cast<LPARAM>(GetHandle()));
    Invalidate();
}

LRESULT Component::HandlePaint(HDC given) {
    if (given) {
        DoOnPaint(given);
    } else if (m_doubleBuffered && m_backDC) {
        PaintThroughBackBuffer();
    } else {
        // Also a double-buffered window whose back buffer could not be made: sent to itself
        // without a DC, WM_PAINT would only come back here.
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(GetHandle(), &ps);
        DoOnPaint(dc);
        EndPaint(GetHandle(), &ps);
    }
    return 0;
}

bool Component::HandleClose() {
    if (m_modal) {
        m_modalResult = -1;
        return true;
    }
    switch (GetCloseAction()) {
    case kCloseDestroys:
        if (GetApplication()->GetMainWindow() == this) PostQuitMessage(0);
        return false;
    case kCloseHides:
        // A child goes with its parent (Alt+F4 never targets one): only a top-level window hides.
        if (!(GetStyle() & WS_CHILD)) Show(false);
        return true;
    default: return true;
    }
}

void Component::HandlePositionChanging(WINDOWPOS* pos) {
    if ((pos->flags & (SWP_NOSIZE | SWP_NOMOVE)) == (SWP_NOSIZE | SWP_NOMOVE)) return;
    if (pos->flags & SWP_NOSIZE) {
        pos->cx = m_width;
        pos->cy = m_height;
    }
    if (pos->flags & SWP_NOMOVE) {
        pos->x = m_left;
        pos->y = m_top;
    }
    if (pos->x != m_left || pos->y != m_top || pos->cx != m_width || pos->cy != m_height)
        DoOnBoundsChanging(&pos->x, &pos->y, &pos->cx, &pos->cy);
}

void Component::HandlePositionChanged() {
    int left = m_left, top = m_top;
    OnSizeMessage();
    if (left != m_left || top != m_top) DoOnMove();
}

void Component::HandleKeyDown(WPARAM wParam, LPARAM flags) {
    int key = static_cast<int>(wParam);
    if (m_keyPreview) GetRoot()->DoOnKeyPreview(this, &key, flags);
    if (key) DoOnKeyDown(key, flags);
}

bool Component::HandleChar(WPARAM wParam, LPARAM flags) {
    int key = static_cast<int>(wParam);
    DoOnChar(&key, flags);
    if (key == 0) return false;
    if (key == VK_ESCAPE) PostMessageA(GetHandle(), WM_TK_ESCAPE, 0, 0);
    return true;
}

LRESULT Component::HandleControlColours(Component* c, HDC dc) {
    HFONT font = c->GetFont();
    if (c->GetBackBrush()) SelectObject(dc, c->GetBackBrush());
    if (font && font != InheritFont()) SelectObject(dc, font);
    ::SetTextColor(dc, c->IsEnabled() ? c->GetTextColor() : c->GetDisabledTextColor());
    SetBkColor(dc, c->GetBackColor());
    return reinterpret_cast<LRESULT>(c->GetBackBrush());
}

bool Component::HandleLButtonUp(WPARAM keys, LPARAM position) {
    ReleaseCapture();
    int x = LowX(position), y = HighY(position);
    DWORD now = GetTickCount();
    bool dbl = m_lastUpTick != 0 && now - m_lastUpTick <= GetDoubleClickTime() &&
               std::abs(x - m_lastUpX) < GetSystemMetrics(SM_CXDOUBLECLK) &&
               std::abs(y - m_lastUpY) < GetSystemMetrics(SM_CYDOUBLECLK);
    m_lastUpTick = now ? now : 1;
    m_lastUpX = x;
    m_lastUpY = y;
    DoOnLButtonUp(static_cast<int>(keys), x, y);
    if (dbl) DoOnDblClick(x, y);
    return GetApplication()->IsQuitting();
}

void Component::HandleMouseWheel(WPARAM wParam) {
    // Truncation: a turn of less than one notch (a fine-resolution wheel) moves nothing.
    int steps = static_cast<int16_t>(HIWORD(wParam)) / WHEEL_DELTA;
    if (steps) DoOnMouseWheel(static_cast<WPARAM>((static_cast<uint32_t>(steps) << 16) | LOWORD(wParam)), this);
}

// Escape and Enter go up to the nearest popup, which handles them.
void Component::HandleEscapeOrEnter(UINT msg) {
    if (GetStyle() & WS_POPUP) {
        if (msg == WM_TK_ESCAPE)
            DoOnEscape();
        else
            DoOnEnter();
    } else if (HWND parent = ::GetParent(GetHandle())) {
        SendMessageA(parent, msg, 0, 0);
    }
}

LRESULT Component::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND h = GetHandle();
    switch (msg) {
    case WM_SIZE: OnSizeMessage(); break;
    case WM_ACTIVATE: SendMessageA(h, WM_TK_ACTIVATE, wParam, reinterpret_cast<LPARAM>(h)); break;
    case WM_SETFOCUS: HandleSetFocus(); break;
    case WM_KILLFOCUS:
        if (m_active) SendMessageA(h, WM_TK_FOCUS, 0, reinterpret_cast<LPARAM>(h));
        break;
    case WM_ENABLE: HandleEnable(wParam, false); break;
    case WM_PAINT: return HandlePaint(reinterpret_cast<HDC>(wParam));
    case WM_CLOSE:
        if (HandleClose()) return 0;
        break;
    case WM_SYSCOMMAND:
        if (OpensSystemLoop(wParam) && !MayOpenModalWindow(h, "system menu")) return 0;
        break;
    case WM_ERASEBKGND:
        if (m_doubleBuffered && m_backDC && reinterpret_cast<HDC>(wParam) != m_backDC) return 1;
        return DoOnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    case WM_SHOWWINDOW: SendMessageA(h, WM_TK_SHOW, wParam, reinterpret_cast<LPARAM>(h)); break;
    case WM_SETCURSOR:
        if (m_cursor) {
            if (::GetCursor() != m_cursor) ::SetCursor(m_cursor);
            return 1;
        }
        break;
    case WM_WINDOWPOSCHANGING: HandlePositionChanging(reinterpret_cast<WINDOWPOS*>(lParam)); break;
    case WM_WINDOWPOSCHANGED: HandlePositionChanged(); break;
    case WM_NOTIFY: {
        DefaultHandling(msg, wParam, lParam);
        NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
        return header ? SendMessageA(header->hwndFrom, WM_TK_NOTIFY, wParam, lParam) : 0;
    }
    case WM_CONTEXTMENU: DoOnContextMenu(LowX(lParam), HighY(lParam)); return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: HandleKeyDown(wParam, lParam); break;
    case WM_KEYUP: DoOnKeyUp(static_cast<int>(wParam), lParam); break;
    case WM_CHAR:
        if (!HandleChar(wParam, lParam)) return 0;
        break;
    case WM_COMMAND:
        if (lParam) return SendMessageA(reinterpret_cast<HWND>(lParam), WM_TK_COMMAND, wParam, lParam);
        break;
    case WM_TIMER: DoOnTimer(wParam); break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        if (Component* c = FromHandle(reinterpret_cast<HWND>(lParam)))
            return HandleControlColours(c, reinterpret_cast<HDC>(wParam));
        break;
    case WM_MOUSEMOVE: DoOnMouseMove(static_cast<int>(wParam), LowX(lParam), HighY(lParam)); break;
    case WM_LBUTTONDOWN:
        SetCapture(h);
        DoOnLButtonDown(static_cast<int>(wParam), LowX(lParam), HighY(lParam));
        break;
    case WM_LBUTTONUP:
        if (HandleLButtonUp(wParam, lParam)) return 0;
        break;
    case WM_RBUTTONDOWN: DoOnRButtonDown(static_cast<int>(wParam), LowX(lParam), HighY(lParam)); break;
    case WM_RBUTTONUP: DoOnRButtonUp(static_cast<int>(wParam), LowX(lParam), HighY(lParam)); break;
    case WM_MOUSEWHEEL: HandleMouseWheel(wParam); return 0;

    case WM_TK_ACTIVATE:
        m_active = wParam != 0;
        SendToChildren(WM_TK_ACTIVATE, wParam, reinterpret_cast<LPARAM>(h));
        break;
    case WM_TK_FOCUS: HandleFocusChange(wParam, reinterpret_cast<HWND>(lParam)); break;
    case WM_TK_NEXTFOCUS: HandleNextFocus(wParam != 0); break;
    case WM_TK_ENABLE: HandleEnable(wParam, true); break;
    case WM_TK_COMMAND: return DoOnCommand(wParam);
    case WM_TK_SHOW:
        SendToChildren(WM_TK_SHOW, wParam, reinterpret_cast<LPARAM>(h));
        if (m_align && GetParent()) GetParent()->Layout();
        break;
    case WM_TK_ESCAPE:
    case WM_TK_ENTER: HandleEscapeOrEnter(msg); break;
    case WM_TK_NOTIFY: DoOnNotify(reinterpret_cast<NMHDR*>(lParam)); return 0;
    case WM_TK_WHEEL: DoOnMouseWheel(wParam, reinterpret_cast<Component*>(lParam)); break;
    case WM_TK_CHILDADDED:
        // Posted: a child deleted before the message arrived is no longer in the ring, and
        // its pointer must not reach a handler.
        if (IsChild(reinterpret_cast<Component*>(wParam))) DoOnChildAdded(reinterpret_cast<Component*>(wParam));
        break;
    case WM_TK_ENDMODAL:
        if (m_modal)
            EndModal(static_cast<int>(wParam));
        else if (GetParent())
            SendMessageA(GetParent()->GetHandle(), WM_TK_ENDMODAL, wParam, 0);
        break;
    default: break;
    }
    return DefaultHandling(msg, wParam, lParam);
}
