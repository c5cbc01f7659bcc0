// The base of every control and window: a Window with geometry, a ring of children with dock
// layout, keyboard focus that travels through the tree, timers, double buffering, modal
// running, tooltips, and fifteen Events that report input to the owner.
//
// A component owns its children: deleting it deletes every child in its ring. A child made
// with WS_EX_NOPARENTNOTIFY is not in the ring and is not deleted with it. Subclasses keep
// the virtual operations below and append their own. GUI thread only: other threads reach a
// component only through posted or sent messages.
#pragma once

#include <windows.h>

#include "foundation/string.h"
#include "toolkit/window.h"

// The toolkit's private messages.
enum ToolkitMessage : UINT {
    WM_TK_ACTIVATE = WM_APP + 0,
    WM_TK_FOCUS = WM_APP + 1,
    WM_TK_NEXTFOCUS = WM_APP + 2,
    WM_TK_ENABLE = WM_APP + 3,
    WM_TK_COMMAND = WM_APP + 4,
    WM_TK_SHOW = WM_APP + 5,
    WM_TK_ESCAPE = WM_APP + 6,
    WM_TK_ENTER = WM_APP + 7,
    WM_TK_NOTIFY = WM_APP + 8,
    WM_TK_WHEEL = WM_APP + 9,
    WM_TK_CHILDADDED = WM_APP + 10,
    WM_TK_ENDMODAL = WM_APP + 11,
};

enum Align : int {
    kAlignNone = 0,
    kAlignTopDock = 1,
    kAlignBottomDock = 2,
    kAlignLeftDock = 3,
    kAlignRightDock = 4,
    kAlignTopLate = 5,
    kAlignBottomLate = 6,
    kAlignFill = 7,
};

class Component : public Window {
public:
    Component(const char* title, DWORD style, DWORD exStyle, int x, int y, int width, int height, HWND parent);
    ~Component() override;

    // The toolkit Component behind a window handle; null for any window that is not a
    // toolkit window (no user data, unreadable memory, or a foreign tag) and for a bare
    // Window, which has none of a Component's state.
    static Component* FromHandle(HWND hwnd);

    // Overridable handlers, in their fixed order.
    void DoOnLButtonDown(int keys, int x, int y) override;
    void DoOnLButtonUp(int keys, int x, int y) override;
    void DoOnRButtonDown(int keys, int x, int y) override;
    void DoOnRButtonUp(int keys, int x, int y) override;
    void DoOnMouseMove(int keys, int x, int y) override;
    Component* GetParent() const override { return static_cast<Component*>(StyledObject::GetParent()); }
    void Invalidate() override;
    void SetBackColor(COLORREF colour) override;
    void SetFont(HFONT font) override;
    void SetTextColor(COLORREF colour) override;
    void SetDisabledTextColor(COLORREF colour) override;
    void SetBevelDepth(int depth) override;
    void SetFaceColor(COLORREF colour) override;
    void SetContrast(int contrast) override;
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    virtual void UpdateBounds();
    virtual LRESULT DoOnEraseBkgnd(HDC hdc);
    virtual LRESULT DoOnPaint(HDC hdc);
    virtual void DoOnTimer(UINT_PTR id);
    virtual void DoOnKeyDown(int key, LPARAM flags);
    virtual void DoOnKeyUp(int key, LPARAM flags);
    virtual void DoOnChar(int* key, LPARAM flags);
    virtual LRESULT DoOnCommand(WPARAM wParam);
    virtual void DoOnNotify(NMHDR* header);
    virtual void DoOnResize();
    virtual void DoOnBoundsChanging(int* x, int* y, int* cx, int* cy);
    virtual void DoOnMove();
    virtual void DoOnDblClick(int x, int y);
    virtual void DoOnFocus(bool gained);
    virtual void DoOnEscape();
    virtual void DoOnEnter();
    // packed: wheel steps in the signed high word, key state in the low word.
    virtual void DoOnMouseWheel(WPARAM packed, Component* sender);
    virtual void DoOnContextMenu(int x, int y);
    virtual void DoOnChildAdded(Component* child);
    virtual void DoOnEnable();
    virtual void DoOnKeyPreview(Component* sender, int* key, LPARAM flags);
    // The child after (or before) previous; the first (last) for null; null at the end.
    virtual Component* GetNextChild(Component* previous, bool backwards);
    virtual void SetRedraw(bool on);
    virtual void SendToChildren(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void GetClientRect(RECT* rect);
    virtual void Update();
    virtual void AddChild(Window* child);
    virtual void RemoveChild(Window* child);
    virtual void Enable(bool on);
    virtual void SetFocusable(bool focusable) { m_focusable = focusable; }
    virtual bool IsFocusable() const { return m_focusable; }
    // Dock layout of the children with a non-zero align; returns whether any was docked.
    virtual int Layout();
    virtual bool SetFocus(bool backwards);
    virtual void SetCursor(HCURSOR cursor) { m_cursor = cursor; }
    virtual HCURSOR GetCursor() const { return m_cursor; }
    virtual bool IsVisible() const;
    virtual void Show(bool on);
    virtual void FitToChildren(int marginX, int marginY);
    virtual bool IsDoubleBuffered() const { return m_doubleBuffered; }
    virtual void CreateBackBuffer(bool on);
    virtual void SetText(const String& text);
    virtual void SetText(const char* text);
    virtual String GetText();
    virtual int GetText(char* buffer, int size);
    virtual int GetTextLength();
    virtual void Move(int x, int y);
    virtual void SetSize(int width, int height);  // -1 keeps a dimension
    virtual void SetClientSize(int width, int height);
    virtual void SetAlign(int align);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Top() const { return m_top; }
    int GetLeft() const { return m_left; }
    int Right() const { return m_left + m_width; }
    int Bottom() const { return m_top + m_height; }
    int ClientWidth() const { return m_clientWidth; }
    int ClientHeight() const { return m_clientHeight; }
    int GetAlign() const { return m_align; }
    int GetLineHeight() const { return m_lineHeight; }
    bool IsEnabled() const;
    bool IsActive() const { return m_active; }
    bool IsModal() const { return m_modal; }
    Component* GetFocusedChild() const { return m_focusedChild; }
    Component* GetFirstChild() const { return m_firstChild; }
    UINT_PTR SetTimer(UINT_PTR id, UINT milliseconds);
    BOOL KillTimer(UINT_PTR id);
    DWORD GetStyle() const;
    void SetStyle(DWORD style);
    DWORD GetExStyle() const;
    POINT GetScreenPos() const;
    Component* GetRoot();
    void SetKeyPreview(bool on) { m_keyPreview = on; }
    void GetTextExtent(const String& text, SIZE* size);
    void SetToolTip(const char* text);
    void EnableToolTip(bool tracking);
    void GetToolTip(char* buffer);
    // Runs a modal loop until EndModal, WM_CLOSE (-1) or the application quits (0); the owner
    // (the given window, else the parent) is disabled meanwhile and re-enabled on every exit.
    // Answers -1 at once, running nothing, when CanShowModal(owner) does not hold.
    int ShowModal(HWND owner);
    // Not while this window's own loop runs (run again inside itself, a loop would chain to
    // itself), nor once the root of this window or of the owner refuses modal loops.
    bool CanShowModal(HWND owner) const;
    // From now on no modal loop starts for a window that this root owns, itself included:
    // ShowModal answers -1 and MessageBox 0 at once, and no other modal window opens
    // (MayOpenModalWindow); the pumps drop input queued for these windows. For a root being
    // closed, whose boxes nobody would answer.
    void RefuseModalLoops() { m_refuseModal = true; }
    void EndModal(int result);
    // Ends, as if its window had been closed, every modal loop of the thread whose window root
    // owns (through owners): ShowModal (answering -1) with every ShowModal running inside the
    // outermost of them, the system's dialogs (message boxes, the folder browser: IDCANCEL) and
    // an open menu (also any menu inside such a ShowModal). Code waiting for them goes on at once.
    static void EndModalLoopsOf(HWND root);
    // MessageBoxA owned by the root; 0 without a box once the root refuses modal loops.
    int MessageBox(const char* text, UINT type, const char* caption);
    // Whether the root of window, or a window owning that, refuses modal loops. The test
    // behind MayOpenModalWindow, which the Application installs.
    static bool ModalLoopsRefusedFor(HWND window);
    // Puts a native control in place of the component's own window.
    void Attach(HWND hwnd);
    // Grows (never shrinks) the back buffer to the client size.
    void ResizeBackBuffer();
    SIZE GetBackBufferSize() const { return SIZE{m_backWidth, m_backHeight}; }
    HDC GetBackBufferDC() const { return m_backDC; }

    Event<> OnResize;
    Event<UINT_PTR> OnTimer;
    Event<int, int> OnDblClick;
    Event<int, int, int> OnMouseDown;
    Event<int, int, int> OnMouseUp;
    Event<int, int, int> OnMouseMove;
    Event<int, LPARAM> OnKeyDown;
    Event<int, LPARAM> OnKeyUp;
    Event<int*, LPARAM> OnChar;
    Event<int> OnFocus;
    Event<> OnEscape;
    Event<> OnEnter;
    Event<int, int, int*> OnMouseWheel;  // steps, keys, pass-on word (clear it to stop)
    Event<int, int> OnContextMenu;
    Event<int*, LPARAM> OnKeyPreview;

    static bool IsShiftDown() { return s_shift; }

protected:
    LRESULT DefaultHandling(UINT msg, WPARAM wParam, LPARAM lParam) { return Window::WndProc(msg, wParam, lParam); }
    bool HasChildren() const { return m_firstChild != nullptr; }
    bool IsChild(Component* c) const;
    void OnSizeMessage();
    void ReleaseBackBuffer();
    void SetModalResult(int result) { m_modalResult = result; }

private:
    template <typename F>
    void ForEachChild(F f);
    void PaintThroughBackBuffer();
    void HandleFocusChange(WPARAM gained, HWND who);
    void HandleNextFocus(bool backwards);
    // One routine per message that needs more than a call; WndProc only dispatches.
    void HandleSetFocus();
    void HandleEnable(WPARAM enabled, bool fromParent);
    LRESULT HandlePaint(HDC given);
    bool HandleClose();  // true: answered, no default handling
    void HandlePositionChanging(WINDOWPOS* pos);
    void HandlePositionChanged();
    void HandleKeyDown(WPARAM key, LPARAM flags);
    bool HandleChar(WPARAM key, LPARAM flags);  // false: the key was swallowed
    LRESULT HandleControlColours(Component* control, HDC dc);
    bool HandleLButtonUp(WPARAM keys, LPARAM position);  // true: the application is quitting
    void HandleMouseWheel(WPARAM wParam);
    void HandleEscapeOrEnter(UINT msg);
    // The window whose client coordinates left and top are in: the parent of a child window;
    // none for a top-level or popup window, which keeps screen coordinates.
    HWND CoordinateParent() const;

    Component* m_focusedChild = nullptr;
    Component* m_firstChild = nullptr;
    bool m_toolTipAdded = false;
    int m_lineHeight = 0;
    int m_modalResult = 0;
    bool m_doubleBuffered = false;
    HBITMAP m_backBitmap = nullptr;
    HGDIOBJ m_backPrevious = nullptr;
    HDC m_backDC = nullptr;
    LONG m_backWidth = 0;
    LONG m_backHeight = 0;
    bool m_modal = false;
    Component* m_outerModal = nullptr;  // the loop this one runs inside, while m_modal
    bool m_refuseModal = false;
    bool m_focusable = false;
    bool m_keyPreview = true;
    DWORD m_lastUpTick = 0;
    int m_lastUpX = -1000;
    int m_lastUpY = -1000;
    HCURSOR m_cursor = nullptr;
    bool m_disabledByParent = false;
    int m_align = 0;
    bool m_active = true;
    int m_left = 0, m_top = 0, m_width = 0, m_height = 0, m_clientWidth = 0, m_clientHeight = 0;

    static bool s_shift;
    static Component* s_innermostModal;
};
