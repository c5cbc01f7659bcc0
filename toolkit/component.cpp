#include "toolkit/component.h"

#include <commctrl.h>

#include "foundation/trace.h"
#include "foundation/win32/modal_refusal.h"
#include "toolkit/application.h"

bool Component::s_shift = false;
Component* Component::s_innermostModal = nullptr;

Component::Component(const char* title, DWORD style, DWORD exStyle, int x, int y, int width, int height, HWND parent)
    : Window(title, style, exStyle, x, y, width, height, parent) {
    SetType(kTagComponent);
    if (parent && !(exStyle & WS_EX_NOPARENTNOTIFY)) m_disabledByParent = !IsWindowEnabled(parent);
    if (GetParent()) m_disabledByParent = !GetParent()->IsEnabled();
    UpdateBounds();
    HFONT font = GetFont();
    if (font == InheritFont()) font = nullptr;
    if (GetHandle()) SendMessageA(GetHandle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    HDC dc = ::GetDC(GetHandle());
    if (dc) {
        HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
        TEXTMETRICA tm;
        if (GetTextMetricsA(dc, &tm)) m_lineHeight = tm.tmHeight;
        SelectObject(dc, old);
        ::ReleaseDC(GetHandle(), dc);
    }
}

Component::~Component() {
    MarkDestroying();
    if (m_doubleBuffered) ReleaseBackBuffer();
    while (m_firstChild) delete m_firstChild;
}

Component* Component::FromHandle(HWND hwnd) {
    // A bare Window (a PopupMenu's, or a Component still inside its Window constructor) is
    // smaller than a Component: taking it for one would read beyond the object.
    Window* window = Window::FromHandle(hwnd);
    if (!window || window->GetType() == kTagWindow) return nullptr;
    return static_cast<Component*>(window);
}

template <typename F>
void Component::ForEachChild(F f) {
    for (Component* c = GetNextChild(nullptr, false); c; c = GetNextChild(c, false)) f(c);
}

bool Component::IsChild(Component* c) const {
    if (!m_firstChild || !c) return false;
    Window* w = m_firstChild;
    do {
        if (w == c) return true;
        w = w->NextSibling();
    } while (w && w != m_firstChild);
    return false;
}

void Component::DoOnLButtonDown(int keys, int x, int y) { OnMouseDown.Invoke(this, keys, x, y); }
void Component::DoOnLButtonUp(int keys, int x, int y) { OnMouseUp.Invoke(this, keys, x, y); }
void Component::DoOnRButtonDown(int keys, int x, int y) { OnMouseDown.Invoke(this, keys, x, y); }
void Component::DoOnRButtonUp(int keys, int x, int y) { OnMouseUp.Invoke(this, keys, x, y); }
void Component::DoOnMouseMove(int keys, int x, int y) { OnMouseMove.Invoke(this, keys, x, y); }

void Component::Invalidate() {
    if (GetHandle()) InvalidateRect(GetHandle(), nullptr, TRUE);
}

// Each setter ends by having the children that inherit the property apply -1 again, so they
// repaint and pass the change on to their own inheriting children.
void Component::SetBackColor(COLORREF colour) {
    StyledObject::SetBackColor(colour);
    Invalidate();
    ForEachChild([](Component* c) {
        if (c->OwnBackColor() == kInheritColour) c->SetBackColor(kInheritColour);
    });
}

void Component::SetFont(HFONT font) {
    StyledObject::SetFont(font);
    HFONT effective = GetFont();
    if (effective == InheritFont()) effective = nullptr;
    if (GetHandle()) {
        SendMessageA(GetHandle(), WM_SETFONT, reinterpret_cast<WPARAM>(effective), TRUE);
        HDC dc = ::GetDC(GetHandle());
        HGDIOBJ old = SelectObject(dc, effective ? effective : GetStockObject(SYSTEM_FONT));
        TEXTMETRICA tm;
        if (GetTextMetricsA(dc, &tm)) m_lineHeight = tm.tmHeight;
        SelectObject(dc, old);
        ::ReleaseDC(GetHandle(), dc);
    }
    Invalidate();
    ForEachChild([](Component* c) {
        if (c->OwnFont() == InheritFont()) c->SetFont(InheritFont());
    });
}

void Component::SetTextColor(COLORREF colour) {
    StyledObject::SetTextColor(colour);
    Invalidate();
    ForEachChild([](Component* c) {
        if (c->OwnTextColor() == kInheritColour) c->SetTextColor(kInheritColour);
    });
}

void Component::SetDisabledTextColor(COLORREF colour) {
    StyledObject::SetDisabledTextColor(colour);
    if (!IsEnabled()) Invalidate();
    ForEachChild([](Component* c) {
        if (c->OwnDisabledTextColor() == kInheritColour) c->SetDisabledTextColor(kInheritColour);
    });
}

void Component::SetBevelDepth(int depth) {
    StyledObject::SetBevelDepth(depth);
    ForEachChild([](Component* c) {
        if (c->OwnBevelDepth() == kInherit) c->SetBevelDepth(kInherit);
    });
    Invalidate();
    Layout();
}

void Component::SetFaceColor(COLORREF colour) {
    StyledObject::SetFaceColor(colour);
    ForEachChild([](Component* c) {
        if (c->OwnFaceColor() == kInheritColour) c->SetFaceColor(kInheritColour);
    });
    Invalidate();
}

void Component::SetContrast(int contrast) {
    StyledObject::SetContrast(contrast);
    Invalidate();
    ForEachChild([](Component* c) {
        if (c->OwnContrast() == kInherit) c->SetContrast(kInherit);
    });
}

void Component::UpdateBounds() {
    HWND h = GetHandle();
    if (!h) return;
    RECT client, window;
    ::GetClientRect(h, &client);
    m_clientWidth = client.right - client.left;
    m_clientHeight = client.bottom - client.top;
    GetWindowRect(h, &window);
    m_width = window.right - window.left;
    m_height = window.bottom - window.top;
    POINT topLeft = {window.left, window.top};
    if (HWND parent = CoordinateParent()) ScreenToClient(parent, &topLeft);
    m_left = topLeft.x;
    m_top = topLeft.y;
}

LRESULT Component::DoOnEraseBkgnd(HDC hdc) {
    if (GetType() == kTagComponent) {
        RECT r;
        ::GetClientRect(GetHandle(), &r);
        FillRect(hdc, &r, GetFaceBrush());
        return 1;
    }
    return DefaultHandling(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
}

LRESULT Component::DoOnPaint(HDC hdc) { return DefaultHandling(WM_PAINT, reinterpret_cast<WPARAM>(hdc), 0); }
void Component::DoOnTimer(UINT_PTR id) { OnTimer.Invoke(this, id); }

void Component::DoOnKeyDown(int key, LPARAM flags) {
    if (key == VK_SHIFT) s_shift = true;
    OnKeyDown.Invoke(this, key, flags);
}

void Component::DoOnKeyUp(int key, LPARAM flags) {
    if (key == VK_SHIFT) s_shift = false;
    OnKeyUp.Invoke(this, key, flags);
}

void Component::DoOnChar(int* key, LPARAM flags) {
    OnChar.Invoke(this, key, flags);
    if (*key == VK_TAB) {
        HWND parent = ::GetParent(GetHandle());
        SendMessageA(parent && GetParent() ? parent : GetHandle(), WM_TK_NEXTFOCUS, s_shift ? 1 : 0,
                     reinterpret_cast<LPARAM>(GetHandle()));
        *key = 0;
    }
}

LRESULT Component::DoOnCommand(WPARAM) { return 0; }
void Component::DoOnNotify(NMHDR*) {}
void Component::DoOnResize() { OnResize.Invoke(this); }
void Component::DoOnBoundsChanging(int*, int*, int*, int*) {}
void Component::DoOnMove() {}
void Component::DoOnDblClick(int x, int y) { OnDblClick.Invoke(this, x, y); }
void Component::DoOnFocus(bool gained) { OnFocus.Invoke(this, gained ? 1 : 0); }
void Component::DoOnEscape() { OnEscape.Invoke(this); }
void Component::DoOnEnter() { OnEnter.Invoke(this); }

void Component::DoOnMouseWheel(WPARAM packed, Component* sender) {
    int passOn = 1;
    OnMouseWheel.Invoke(sender, static_cast<int16_t>(HIWORD(packed)), LOWORD(packed), &passOn);
    if (!passOn) return;
    if (GetParent()) PostMessageA(GetParent()->GetHandle(), WM_TK_WHEEL, packed, reinterpret_cast<LPARAM>(sender));
}

void Component::DoOnContextMenu(int x, int y) {
    if (x == -1 && y == -1) {
        POINT p;
        GetCursorPos(&p);
        x = p.x;
        y = p.y;
    }
    OnContextMenu.Invoke(this, x, y);
}

void Component::DoOnChildAdded(Component*) {}
void Component::DoOnEnable() {}
void Component::DoOnKeyPreview(Component* sender, int* key, LPARAM flags) { OnKeyPreview.Invoke(sender, key, flags); }

Component* Component::GetNextChild(Component* previous, bool backwards) {
    if (!m_firstChild) return nullptr;
    if (!previous) return static_cast<Component*>(backwards ? m_firstChild->PrevSibling() : m_firstChild);
    if (!IsChild(previous)) return nullptr;
    if (backwards) return previous == m_firstChild ? nullptr : static_cast<Component*>(previous->PrevSibling());
    Window* next = previous->NextSibling();
    return next == m_firstChild ? nullptr : static_cast<Component*>(next);
}

void Component::SetRedraw(bool on) {
    SendMessageA(GetHandle(), WM_SETREDRAW, on, 0);
    if (on) RedrawWindow(GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void Component::SendToChildren(UINT msg, WPARAM wParam, LPARAM lParam) {
    ForEachChild([=](Component* c) { SendMessageA(c->GetHandle(), msg, wParam, lParam); });
}

void Component::GetClientRect(RECT* rect) { ::GetClientRect(GetHandle(), rect); }

void Component::Update() {
    Invalidate();
    UpdateWindow(GetHandle());
}

void Component::AddChild(Window* child) {
    if (!m_firstChild) {
        m_firstChild = static_cast<Component*>(child);
        child->m_prev = child->m_next = child;
    } else {
        Window* last = m_firstChild->PrevSibling();
        last->SetNextSibling(child);
        child->SetNextSibling(m_firstChild);
    }
    PostMessageA(GetHandle(), WM_TK_CHILDADDED, reinterpret_cast<WPARAM>(child), 0);
}

void Component::RemoveChild(Window* child) {
    if (!IsChild(static_cast<Component*>(child))) return;
    if (child->NextSibling() == child) {
        m_firstChild = nullptr;
    } else {
        Window* prev = child->PrevSibling();
        Window* next = child->NextSibling();
        prev->m_next = next;
        next->m_prev = prev;
        if (m_firstChild == child) m_firstChild = static_cast<Component*>(next);
    }
    if (m_focusedChild == child) m_focusedChild = nullptr;
    child->m_prev = child->m_next = child;
}

void Component::Enable(bool on) { EnableWindow(GetHandle(), on); }

int Component::Layout() {
    int docked = 0;
    ForEachChild([&](Component* c) {
        if (c->m_align) ++docked;
    });
    if (!docked) return 0;
    HDWP defer = BeginDeferWindowPos(docked);
    RECT free;
    GetClientRect(&free);
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    auto place = [&](Component* c, int x, int y, int w, int h) {
        if (defer)
            defer = DeferWindowPos(defer, c->GetHandle(), nullptr, x, y, w, h, flags);
        else
            SetWindowPos(c->GetHandle(), nullptr, x, y, w, h, flags);
    };
    auto visible = [](Component* c) { return (GetWindowLongA(c->GetHandle(), GWL_STYLE) & WS_VISIBLE) != 0; };
    // Tops and bottoms first, then the sides, then the late tops and bottoms, then the fill.
    for (int pass = 0; pass < 4; ++pass) {
        ForEachChild([&](Component* c) {
            int a = c->m_align;
            int w = c->Width(), h = c->Height();
            if ((pass == 0 && a == kAlignTopDock) || (pass == 2 && a == kAlignTopLate)) {
                place(c, free.left, free.top, free.right - free.left, h);
                if (visible(c)) free.top += h;
            } else if ((pass == 0 && a == kAlignBottomDock) || (pass == 2 && a == kAlignBottomLate)) {
                place(c, free.left, free.bottom - h, free.right - free.left, h);
                if (visible(c)) free.bottom -= h;
            } else if (pass == 1 && a == kAlignLeftDock) {
                place(c, free.left, free.top, w, free.bottom - free.top);
                if (visible(c)) free.left += w;
            } else if (pass == 1 && a == kAlignRightDock) {
                place(c, free.right - w, free.top, w, free.bottom - free.top);
                if (visible(c)) free.right -= w;
            } else if (pass == 3 && a == kAlignFill) {
                place(c, free.left, free.top, free.right - free.left, free.bottom - free.top);
            }
        });
    }
    if (defer) EndDeferWindowPos(defer);
    return docked;
}

bool Component::SetFocus(bool backwards) {
    bool taken = false;
    if (HasChildren()) {
        if (m_focusedChild && m_focusedChild != this) taken = m_focusedChild->SetFocus(backwards);
        for (Component* c = GetNextChild(m_focusedChild, backwards); !taken && c; c = GetNextChild(c, backwards))
            if (c->SetFocus(backwards)) {
                m_focusedChild = c;
                taken = true;
            }
    }
    if (!taken && (!HasChildren() || m_focusable)) {
        if (IsVisible() && IsEnabled() && (GetStyle() & WS_TABSTOP)) {
            ::SetFocus(GetHandle());
            DoOnFocus(true);
            taken = true;
        }
    }
    return taken;
}

bool Component::IsVisible() const { return IsWindowVisible(GetHandle()) != 0; }
void Component::Show(bool on) { ShowWindow(GetHandle(), on ? SW_SHOW : SW_HIDE); }

void Component::FitToChildren(int marginX, int marginY) {
    int right = 0, bottom = 0;
    ForEachChild([&](Component* c) {
        if (c->Right() > right) right = c->Right();
        if (c->Bottom() > bottom) bottom = c->Bottom();
    });
    SetClientSize(right + marginX, bottom + marginY);
}

void Component::ReleaseBackBuffer() {
    if (m_backDC) {
        if (m_backPrevious) SelectObject(m_backDC, m_backPrevious);
        DeleteDC(m_backDC);
    }
    if (m_backBitmap) DeleteObject(m_backBitmap);
    m_backDC = nullptr;
    m_backBitmap = nullptr;
    m_backPrevious = nullptr;
    m_backWidth = m_backHeight = 0;
}

void Component::ResizeBackBuffer() {
    if (m_clientWidth <= m_backWidth && m_clientHeight <= m_backHeight && m_backDC) return;
    LONG w = m_clientWidth > m_backWidth ? m_clientWidth : m_backWidth;
    LONG h = m_clientHeight > m_backHeight ? m_clientHeight : m_backHeight;
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HDC dc = m_backDC ? m_backDC : CreateCompatibleDC(screen);
    ::ReleaseDC(nullptr, screen);
    if (!bitmap || !dc) {
        if (bitmap) DeleteObject(bitmap);
        return;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    if (m_backBitmap)
        DeleteObject(m_backBitmap);
    else
        m_backPrevious = old;
    m_backDC = dc;
    m_backBitmap = bitmap;
    m_backWidth = w;
    m_backHeight = h;
}

void Component::CreateBackBuffer(bool on) {
    if (on == m_doubleBuffered) return;
    m_doubleBuffered = on;
    if (on)
        ResizeBackBuffer();
    else
        ReleaseBackBuffer();
    Invalidate();
}

void Component::SetText(const String& text) { SetText(text.CStr()); }

void Component::SetText(const char* text) {
    Invalidate();
    SendMessageA(GetHandle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

String Component::GetText() {
    int n = GetTextLength();
    String text(n + 1);
    if (text.GetCapacity() < n + 2) return String(0);
    GetText(&text[0], n + 1);
    text.UpdateLength();
    return text;
}

int Component::GetText(char* buffer, int size) {
    return static_cast<int>(SendMessageA(GetHandle(), WM_GETTEXT, size, reinterpret_cast<LPARAM>(buffer)));
}

int Component::GetTextLength() { return static_cast<int>(SendMessageA(GetHandle(), WM_GETTEXTLENGTH, 0, 0)); }

void Component::Move(int x, int y) {
    SetWindowPos(GetHandle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Component::SetSize(int width, int height) {
    UpdateBounds();
    if (width == -1) width = m_width;
    if (height == -1) height = m_height;
    SetWindowPos(GetHandle(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Component::SetClientSize(int width, int height) {
    UpdateBounds();
    SetWindowPos(GetHandle(), nullptr, 0, 0, width + m_width - m_clientWidth, height + m_height - m_clientHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Component::SetAlign(int align) {
    m_align = align;
    if (GetParent()) GetParent()->Layout();
}

bool Component::IsEnabled() const { return !m_disabledByParent && IsWindowEnabled(GetHandle()); }
UINT_PTR Component::SetTimer(UINT_PTR id, UINT milliseconds) {
    return ::SetTimer(GetHandle(), id, milliseconds, nullptr);
}
BOOL Component::KillTimer(UINT_PTR id) { return ::KillTimer(GetHandle(), id); }
DWORD Component::GetStyle() const { return static_cast<DWORD>(GetWindowLongA(GetHandle(), GWL_STYLE)); }
void Component::SetStyle(DWORD style) { SetWindowLongA(GetHandle(), GWL_STYLE, static_cast<LONG>(style)); }
DWORD Component::GetExStyle() const { return static_cast<DWORD>(GetWindowLongA(GetHandle(), GWL_EXSTYLE)); }

HWND Component::CoordinateParent() const {
    HWND h = GetHandle();
    return h && (GetWindowLongA(h, GWL_STYLE) & WS_CHILD) ? ::GetParent(h) : nullptr;
}

POINT Component::GetScreenPos() const {
    POINT p = {m_left, m_top};
    if (HWND parent = CoordinateParent()) ClientToScreen(parent, &p);
    return p;
}

Component* Component::GetRoot() {
    Component* c = this;
    while (c->GetParent() && !(c->GetExStyle() & WS_EX_NOPARENTNOTIFY)) c = c->GetParent();
    return c;
}

void Component::GetTextExtent(const String& text, SIZE* size) {
    HDC dc = ::GetDC(GetHandle());
    HFONT font = GetFont();
    HGDIOBJ old = SelectObject(dc, font && font != InheritFont() ? font : GetStockObject(SYSTEM_FONT));
    GetTextExtentPointA(dc, text.CStr(), text.Length(), size);
    SelectObject(dc, old);
    ::ReleaseDC(GetHandle(), dc);
}

void Component::EnableToolTip(bool tracking) {
    GetApplication()->GetTooltip()->AddTool(this, TTF_IDISHWND | TTF_SUBCLASS | (tracking ? TTF_TRACK : 0));
    m_toolTipAdded = true;
}

void Component::SetToolTip(const char* text) {
    if (!m_toolTipAdded) EnableToolTip(false);
    GetApplication()->GetTooltip()->SetText(this, text);
}

void Component::GetToolTip(char* buffer) { GetApplication()->GetTooltip()->GetText(this, buffer); }

bool Component::ModalLoopsRefusedFor(HWND window) {
    for (HWND w = window ? GetAncestor(window, GA_ROOT) : nullptr; w; w = GetWindow(w, GW_OWNER)) {
        const Component* c = FromHandle(w);
        if (c && c->m_refuseModal) return true;
    }
    return false;
}

bool Component::CanShowModal(HWND owner) const {
    return !m_modal && !ModalLoopsRefusedFor(GetHandle()) && !ModalLoopsRefusedFor(owner);
}

int Component::ShowModal(HWND owner) {
    // The running loop keeps its result and its place in the chain.
    if (!CanShowModal(owner)) return -1;
    m_modalResult = 0;
    m_modal = true;
    // The running loops form a chain, innermost first, so that a close can end them all.
    struct Chain {
        Component* self;
        explicit Chain(Component* c) : self(c) {
            c->m_outerModal = s_innermostModal;
            s_innermostModal = c;
        }
        ~Chain() {
            if (s_innermostModal == self) s_innermostModal = self->m_outerModal;
            self->m_outerModal = nullptr;
        }
    } chain(this);
    bool ownerWasEnabled = false;
    Component* parent = GetParent();
    if (!owner && parent) {
        owner = parent->GetHandle();
        ownerWasEnabled = parent->IsEnabled();
        parent->Enable(false);
    } else if (owner) {
        ownerWasEnabled = IsWindowEnabled(owner) != 0;
        EnableWindow(owner, FALSE);
    }
    // Every way out gives the owner back its enabled state: a host window left disabled
    // cannot be used any more.
    auto restore = [&] {
        if (owner && ownerWasEnabled) {
            EnableWindow(owner, TRUE);
            SetForegroundWindow(owner);
        }
    };
    m_disabledByParent = false;
    Show(true);
    Application* app = GetApplication();
    MSG msg;
    while (!app->IsQuitting() && m_modalResult == 0) {
        const int r = GetMessageA(&msg, nullptr, 0, 0);
        if (r > 0 && !m_modal) {
            restore();
            return 0;
        }
        // WM_QUIT (r == 0) stops the loop; the pump's rule posts it again for the outer one.
        if (r < 0 || !Application::DispatchPumped(msg)) {
            restore();
            m_modal = false;
            return 0;
        }
    }
    restore();
    if (app->IsQuitting()) {
        m_modal = false;
        return 0;
    }
    Show(false);
    m_modal = false;
    return m_modalResult;
}

void Component::EndModal(int result) {
    m_modalResult = result;
    PostMessageA(GetHandle(), WM_NULL, 0, 0);
}

namespace {
// Along owners rather than GA_ROOTOWNER, which stops at an owned window without WS_POPUP (the
// system's folder browser is one).
bool BelongsTo(HWND window, HWND root) {
    for (HWND w = window ? GetAncestor(window, GA_ROOT) : nullptr; w; w = GetWindow(w, GW_OWNER))
        if (w == root) return true;
    return false;
}

BOOL CALLBACK CancelSystemDialog(HWND window, LPARAM root) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "#32770") == 0 && BelongsTo(window, reinterpret_cast<HWND>(root)))
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}
}  // namespace

void Component::EndModalLoopsOf(HWND root) {
    if (!root) return;
    Component* outermost = nullptr;
    for (Component* c = s_innermostModal; c; c = c->m_outerModal)
        if (BelongsTo(c->GetHandle(), root)) outermost = c;
    for (Component* c = s_innermostModal; outermost && c; c = c->m_outerModal) {
        c->EndModal(-1);
        if (c == outermost) break;
    }
    EnumThreadWindows(GetCurrentThreadId(), &CancelSystemDialog, reinterpret_cast<LPARAM>(root));
    // A menu is the innermost loop whenever it is open.
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(GetCurrentThreadId(), &info) && (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) &&
        (outermost || BelongsTo(info.hwndMenuOwner, root)))
        EndMenu();
}

int Component::MessageBox(const char* text, UINT type, const char* caption) {
    if (!MayOpenModalWindow(GetRoot()->GetHandle(), text)) return 0;
    char name[MAX_PATH] = {};
    if (!caption) {
        GetModuleFileNameA(nullptr, name, MAX_PATH);
        String file = String(name).GetFileName();
        int dot = file.FindChar('.');
        file = dot < 0 ? file : file.Mid(0, dot);
        lstrcpynA(name, file.CStr(), MAX_PATH);
        caption = name;
    }
    return ::MessageBoxA(GetRoot()->GetHandle(), text, caption, type);
}

void Component::Attach(HWND hwnd) {
    HWND old = GetHandle();
    if (old) {
        SetWindowLongPtrA(old, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousProc));
        SetWindowLongPtrA(old, GWLP_USERDATA, 0);
        DestroyWindow(old);
    }
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<Object*>(this)));
    m_previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::WindowProc)));
    SetHandle(hwnd);
    HWND parent = ::GetParent(hwnd);
    if (parent) SendMessageA(parent, WM_PARENTNOTIFY, WM_CREATE, reinterpret_cast<LPARAM>(hwnd));
}
