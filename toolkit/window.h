// A StyledObject with its native window of the class "myComponent". The class's window
// procedure turns the handle back into its object (window user data, accepted only when it
// names a live toolkit window of this handle) and hands every message to the object's
// virtual WndProc.
//
// Object and window live and die together: deleting the object destroys the window, and a
// window destroyed by the system (with its parent, say) deletes its object, exactly once.
// Owners keep pointers to their windows, so a WM_CLOSE (Alt+F4, or a host closing every
// window of its thread) destroys a window only when it opts in (SetCloseAction).
#pragma once

#include <windows.h>

#include "toolkit/event.h"
#include "toolkit/styled_object.h"

constexpr uint32_t kTagWindow = kTypeTagBase + 0;
constexpr uint32_t kTagComponent = kTypeTagBase + 1;
constexpr uint32_t kTagPanel = kTypeTagBase + 2;

extern const char kWindowClassName[];  // "myComponent"

// What an OnMessage handler sees and answers: set handled to return result.
struct MessageRecord {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
    int handled;
};

class Window : public StyledObject {
public:
    Window(const char* title, DWORD style, DWORD exStyle, int x, int y, int width, int height, HWND parent);
    ~Window() override;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Raises OnMessage; when its handler set handled, returns its result, else the previous
    // window procedure's.
    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void SetNextSibling(Window* sibling);
    virtual void SetPrevSibling(Window* sibling);
    virtual bool IsDestroying() const { return m_destroying; }

    // What WM_CLOSE does outside a modal run: a top-level Component hides (a bare Window and
    // a child ignore it), or it is ignored, or, only for a window that opts in, destroyed.
    enum CloseAction { kCloseHides, kCloseIgnored, kCloseDestroys };
    void SetCloseAction(CloseAction action) { m_closeAction = action; }
    CloseAction GetCloseAction() const { return m_closeAction; }

    HWND GetHandle() const { return m_handle; }
    // The toolkit object behind a window handle, bare Windows included; null for any window
    // that is not a toolkit window of this module. The user data is only compared with the
    // live windows' addresses, never read through, so anything a foreign window keeps there
    // is harmless. Component::FromHandle gives only Components.
    static Window* FromHandle(HWND hwnd);
    Window* NextSibling() const { return m_next; }
    Window* PrevSibling() const { return m_prev; }

    Event<MessageRecord*> OnMessage;

    // The class's window procedure. Nothing unwinds into the system: an exception is traced
    // and the message goes to DefWindowProcA.
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    // For destructors of subclasses: from here on a WM_DESTROY does not delete the object.
    void MarkDestroying() { m_destroying = true; }
    void SetHandle(HWND handle) { m_handle = handle; }
    WNDPROC m_previousProc;

private:
    friend class Component;
    static void RegisterClassOnce();
    static LRESULT RouteMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Enlist();
    void Delist();

    bool m_destroying = false;
    CloseAction m_closeAction = kCloseHides;
    HWND m_handle = nullptr;
    Window* m_prev;
    Window* m_next;
    // Links of the live-window table (window.cpp).
    Window* m_livePrev = nullptr;
    Window* m_liveNext = nullptr;
};
