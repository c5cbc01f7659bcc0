#include "toolkit/window.h"

#include "foundation/guard.h"
#include "foundation/trace.h"
#include "toolkit/application.h"
#include "toolkit/component.h"
#include "toolkit/module_frame.h"

const char kWindowClassName[] = "myComponent";

namespace {

// Every live Window, so that a handle's user data is taken for an object only when it is one
// of them: nothing is read through what a foreign window keeps there, not even to check a
// tag. Intrusive chains in a fixed table, so entering a window allocates nothing and cannot
// fail; the lock covers a window made or deleted on another thread than the one dispatching.
constexpr size_t kLiveBuckets = 256;
Window* g_live[kLiveBuckets];
SRWLOCK g_liveLock = SRWLOCK_INIT;

size_t LiveBucket(const void* object) { return (reinterpret_cast<uintptr_t>(object) >> 4) % kLiveBuckets; }

}  // namespace

void Window::RegisterClassOnce() {
    HINSTANCE instance = GetApplication()->GetInstance();
    WNDCLASSA existing;
    if (GetClassInfoA(instance, kWindowClassName, &existing)) {
        if (existing.lpfnWndProc == &Window::WindowProc) return;
        // Another module registered the name with its own procedure.
        if (!UnregisterClassA(kWindowClassName, instance))
            TraceLog("Ta sa class neunregistroval, bo error=%d", static_cast<int>(GetLastError()));
    }
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &Window::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kWindowClassName;
    RegisterClassA(&wc);
}

Window::Window(const char* title, DWORD style, DWORD exStyle, int x, int y, int width, int height, HWND parent)
    : StyledObject(Component::FromHandle(parent)), m_previousProc(DefWindowProcA), m_prev(this), m_next(this) {
    SetType(kTagWindow);
    Enlist();  // before the window exists: its first messages look the object up
    RegisterClassOnce();
    Component* parentObject = static_cast<Component*>(GetParent());
    // Linked before the native window exists, so the parent sees the child from its first
    // message on.
    if (parentObject && !(exStyle & WS_EX_NOPARENTNOTIFY)) parentObject->AddChild(this);
    HWND h = CreateWindowExA(exStyle, kWindowClassName, title, style, x, y, width, height, parent, nullptr,
                             GetApplication()->GetInstance(), this);
    if (!m_handle) m_handle = h;
}

Window* Window::FromHandle(HWND hwnd) {
    if (!hwnd) return nullptr;
    const void* data = reinterpret_cast<const void*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!data) return nullptr;
    Window* found = nullptr;
    AcquireSRWLockShared(&g_liveLock);
    for (Window* w = g_live[LiveBucket(data)]; w; w = w->m_liveNext) {
        if (w != data) continue;
        // A live window named by another window's user data is no match either.
        if (w->m_handle == hwnd) found = w;
        break;
    }
    ReleaseSRWLockShared(&g_liveLock);
    return found;
}

void Window::Enlist() {
    AcquireSRWLockExclusive(&g_liveLock);
    Window*& head = g_live[LiveBucket(this)];
    m_liveNext = head;
    if (head) head->m_livePrev = this;
    head = this;
    ReleaseSRWLockExclusive(&g_liveLock);
}

void Window::Delist() {
    AcquireSRWLockExclusive(&g_liveLock);
    if (m_livePrev)
        m_livePrev->m_liveNext = m_liveNext;
    else
        g_live[LiveBucket(this)] = m_liveNext;
    if (m_liveNext) m_liveNext->m_livePrev = m_livePrev;
    m_livePrev = m_liveNext = nullptr;
    ReleaseSRWLockExclusive(&g_liveLock);
}

Window::~Window() {
    m_destroying = true;
    Component* parentObject = static_cast<Component*>(GetParent());
    if (parentObject) parentObject->RemoveChild(this);
    if (m_handle && IsWindow(m_handle)) DestroyWindow(m_handle);
    m_handle = nullptr;
    Delist();  // after DestroyWindow: its WM_DESTROY still reaches this object
}

LRESULT Window::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (OnMessage.IsSet()) {
        MessageRecord record = {msg, wParam, lParam, 0, 0};
        OnMessage.Invoke(this, &record);
        if (record.handled) return record.result;
    }
    // The previous procedure would destroy the window under an owner that still keeps it.
    if (msg == WM_CLOSE && m_closeAction != kCloseDestroys) return 0;
    return CallWindowProcA(m_previousProc, m_handle, msg, wParam, lParam);
}

void Window::SetNextSibling(Window* sibling) {
    if (m_next == sibling) return;
    m_next = sibling;
    if (sibling) sibling->SetPrevSibling(this);
}

void Window::SetPrevSibling(Window* sibling) {
    if (m_prev == sibling) return;
    m_prev = sibling;
    if (sibling) sibling->SetNextSibling(this);
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ModuleFrame frame;  // work deferred to the outermost frame runs after the message is done
    return GuardedOr(
        "Window::WindowProc", [&] { return RouteMessage(hwnd, msg, wParam, lParam); },
        [&] { return DefWindowProcA(hwnd, msg, wParam, lParam); });
}

LRESULT Window::RouteMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* object;
    if (msg == WM_NCCREATE || msg == WM_CREATE) {
        object = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        if (object) object->m_handle = hwnd;
    } else {
        object = Window::FromHandle(hwnd);
    }
    if (!object) return DefWindowProcA(hwnd, msg, wParam, lParam);
    LRESULT result = object->WndProc(msg, wParam, lParam);
    if (msg == WM_DESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        if (!object->IsDestroying()) {
            // The system is taking the window: the object goes with it, without destroying
            // the window a second time.
            object->m_handle = nullptr;
            delete object;
        }
    }
    return result;
}
