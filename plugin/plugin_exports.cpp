// The DLL's four exports, the instance list (one record per host handle) and DllMain. All of
// it runs on the host's GUI thread (see "Other threads"), so the list needs no lock. Every
// export catches everything and returns its documented failure value.
//
// Other threads. The list, the windows and the close machinery belong to the owner thread: the
// one that started the first instance still open. An export called on another thread never
// touches them: a notification without data is posted to a hidden window of the owner thread
// and carried out there (PN_CLOSE included, with its PM_CLOSED); one with data (the caller's
// memory, valid only for the call) and a start are refused; vktPluginDone is sent there and
// waited for, but at most kRelayDoneMs, since the owner thread may itself wait for the caller.
// The host may unload the library as soon as that Done returns: from the relay on, the module
// holds itself until the owner thread has closed every instance, also when that thread pumps
// again only after the wait has timed out.
//
// Closing. A host may close an instance from inside one of the plug-in's own calls (while it
// handles an audio block, a set-up question or the start's announcement). Destroying the
// object there would pull it from under its own stack, and its unhook would wait for the
// stream thread, which may itself be waiting in a sent message for the call under way. Such
// a close only stops the instance at once (nothing more reaches the host) and is carried out
// when the module's outermost frame on the GUI thread closes (ModuleFrame): after the export
// returns, or after the window procedure has answered, unless that answer is awaited by
// another thread; then a posted message brings the host's loop back for it. Either way the
// host then receives PM_CLOSED, once, and nothing after it.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "foundation/item_array.h"
#include "foundation/win32/readable_memory.h"
#include "plugin/apco_plugin.h"
#include "plugin/boundary.h"
#include "plugin/host_protocol.h"
#include "plugin/host_record.h"
#include "toolkit/application.h"
#include "toolkit/module_frame.h"

extern "C" {
void VKT_STDCALL vktPluginDone();
void VKT_STDCALL vktPluginNotify(uint32_t hostHandle, uint32_t code, uint32_t dwParam, uint32_t cbData, void* lpData);
}

namespace {

constexpr uint32_t kCapabilities = 0x481;
constexpr uint32_t kAlreadyStarted = 0xFFFFFFFFu;

struct PluginInstance {
    uint32_t hostHandle;
    CApcoPlugin* plugin;
    HWND window;
    PluginProc callback;
};

HINSTANCE g_module = nullptr;
ItemArray g_instances(8, 4096);  // PluginInstance*

PluginInstance* InstanceAt(uint32_t i) { return reinterpret_cast<PluginInstance*>(g_instances.GetItem(i)); }

PluginInstance* FindPluginInstance(uint32_t hostHandle) {
    for (uint32_t i = 0; i < g_instances.GetCount(); ++i)
        if (InstanceAt(i)->hostHandle == hostHandle) return InstanceAt(i);
    return nullptr;
}

// vktPluginStart gets no length with the record: it counts as absent unless its size word,
// and then every byte that word claims, lie in committed, readable memory.
const void* ReadableHostRecord(const void* record) {
    if (!record || !IsReadableMemory(record, 4)) return nullptr;
    uint32_t size;
    std::memcpy(&size, record, 4);
    return size <= kMaxHostRecordSize && IsReadableMemory(record, size) ? record : nullptr;
}

// The owner thread (0: no instance open) and its hidden relay window.
std::atomic<DWORD> g_ownerThread{0};
std::atomic<HWND> g_relayWindow{nullptr};
WNDPROC g_relayBaseProc = nullptr;
constexpr DWORD kRelayDoneMs = 5000;
constexpr UINT kRelayDone = WM_APP;
constexpr UINT kRelayNotify = WM_APP + 1;  // + the code's index in kRelayedCodes
constexpr uint32_t kRelayedCodes[] = {PN_FLAGS,   PN_ENABLE, PN_FREQUENCY, PN_MODE, PN_SQUELCHSETTINGS,
                                      PN_SQUELCH, PN_RBW,    PN_VOLUME,    PN_MUTE, PN_SCANNING,
                                      PN_CLOSE};
constexpr UINT kRelayedCodeCount = sizeof kRelayedCodes / sizeof kRelayedCodes[0];

bool OnOwnerThread() { return g_ownerThread == GetCurrentThreadId(); }

LRESULT CALLBACK RelayProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) return 0;  // it goes with the last instance, not with a host's close
    if (msg == kRelayDone) {
        vktPluginDone();
        return 1;
    }
    if (msg >= kRelayNotify && msg < kRelayNotify + kRelayedCodeCount) {
        vktPluginNotify(static_cast<uint32_t>(wParam), kRelayedCodes[msg - kRelayNotify], static_cast<uint32_t>(lParam),
                        0, nullptr);
        return 0;
    }
    return CallWindowProcA(g_relayBaseProc, window, msg, wParam, lParam);
}

// The calling thread becomes the owner unless another one is.
bool ClaimOwnerThread() {
    DWORD none = 0;
    const DWORD self = GetCurrentThreadId();
    if (!g_ownerThread.compare_exchange_strong(none, self) && none != self) return false;
    if (!g_relayWindow) {
        HWND relay = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
        if (relay)
            g_relayBaseProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(relay, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RelayProc)));
        g_relayWindow = relay;
    }
    return true;
}

// Once the last instance is gone, another thread may start one. The toolkit's windows of this
// thread go too: a start on the next owner thread must not send to a thread that may wait.
void ReleaseOwnerThreadIfIdle() {
    if (g_instances.GetCount() != 0 || !OnOwnerThread()) return;
    if (HWND relay = g_relayWindow.exchange(nullptr)) DestroyWindow(relay);  // queued relays go with it
    if (Application* app = GetApplication()) app->GetTooltip()->Destroy();
    g_ownerThread = 0;
}

// vktPluginDone inside one of the module's own loops, or relayed from another thread, can only
// request the closes: they run once those loops have returned (or the owner thread pumps
// again), and the host may free the library before that. The module holds a reference to
// itself meanwhile; once the last instance has gone, a thread of its own gives it back with
// FreeLibraryAndExitThread, which never returns into the module's code.
std::atomic<HMODULE> g_selfReference{nullptr};
constexpr DWORD kSelfReleaseDelayMs = 100;  // for the GUI thread to leave the module's last frame

DWORD WINAPI ReleaseSelfReference(void* module) {
    Sleep(kSelfReleaseDelayMs);
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

void HoldModule() {
    if (g_selfReference) return;
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&HoldModule), &module))
        return;
    HMODULE none = nullptr;
    if (!g_selfReference.compare_exchange_strong(none, module)) FreeLibrary(module);  // held already
}

void ReleaseSelfReferenceLater() {
    HMODULE held = g_selfReference.exchange(nullptr);
    if (!held) return;
    HANDLE releaser = CreateThread(nullptr, 0, &ReleaseSelfReference, held, 0, nullptr);
    if (!releaser) {
        g_selfReference = held;  // kept: a library that stays loaded is safe
        return;
    }
    CloseHandle(releaser);
}

void ReleaseModuleWhenIdle() {
    if (g_instances.GetCount() == 0) ReleaseSelfReferenceLater();
}

void RelayNotify(uint32_t hostHandle, uint32_t code, uint32_t dwParam, uint32_t cbData, const void* lpData) {
    HWND relay = g_relayWindow;
    if (!relay || cbData || lpData) return;
    for (UINT i = 0; i < kRelayedCodeCount; ++i)
        if (kRelayedCodes[i] == code) PostMessageA(relay, kRelayNotify + i, hostHandle, static_cast<LPARAM>(dwParam));
}

// A close that the owner thread has to defer (it was inside one of its modal loops) completes
// after the relayed call returns: wait for the list to empty too, as the host unloads next.
// A send that times out is not withdrawn everywhere (Windows may still deliver it once the
// owner thread pumps again), so a posted Done follows it: whichever of the two arrives first
// closes the instances, the other finds nothing to close. The owner side gives the module's
// reference back once its last instance has gone, or when the start under way fails.
void RelayDone() {
    const DWORD start = GetTickCount();
    DWORD_PTR answer = 0;
    HWND relay = g_relayWindow;
    if (!relay) return;
    HoldModule();
    if (!SendMessageTimeoutA(relay, kRelayDone, 0, 0, SMTO_NORMAL, kRelayDoneMs, &answer)) {
        // Neither reached the owner: its relay is gone with its last instance, so nothing
        // there gives the reference back.
        if (!PostMessageA(relay, kRelayDone, 0, 0)) ReleaseSelfReferenceLater();
        return;
    }
    while (g_ownerThread && GetTickCount() - start < kRelayDoneMs) Sleep(10);
}

// Without instances (the last one closed, or a start failed) the thread gives up ownership, and
// a reference that a Done relayed meanwhile took is given back: nothing else would.
void ReleaseWhenIdle() {
    ReleaseOwnerThreadIfIdle();
    ReleaseModuleWhenIdle();
}

void RemovePluginInstance(PluginInstance* instance) {
    for (uint32_t i = g_instances.GetCount(); i-- > 0;)
        if (InstanceAt(i) == instance) g_instances.Remove(i);
    ReleaseWhenIdle();
}

uint32_t callPluginProc(HWND window, uint32_t msg, uint32_t dwParam, uint32_t cbData, void* lpData) {
    for (uint32_t i = 0; i < g_instances.GetCount(); ++i) {
        PluginInstance* instance = InstanceAt(i);
        if (instance->window == window && instance->callback)
            return instance->callback(window, msg, dwParam, cbData, lpData);
    }
    return kHostNoAnswer;
}

// The first instance whose object still lives and passes the test; null when none does.
template <typename Test>
PluginInstance* FindOpenInstance(Test test) {
    for (uint32_t i = 0; i < g_instances.GetCount(); ++i) {
        PluginInstance* instance = InstanceAt(i);
        if (instance->plugin && test(instance->plugin)) return instance;
    }
    return nullptr;
}

void ClosePluginInstance(PluginInstance* instance) {
    // Notifications that arrive while the object is torn down find nothing to drive.
    CApcoPlugin* plugin = instance->plugin;
    instance->plugin = nullptr;
    if (plugin) {
        plugin->RefuseModalWindows();  // before the first call to the host, which may pump
        plugin->DemodEnd();            // silent when the close was requested from inside a call
        delete plugin;
    }
    char name[sizeof kPluginDisplayName];
    std::memcpy(name, kPluginDisplayName, sizeof name);
    callPluginProc(instance->window, PM_CLOSED, 0, static_cast<uint32_t>(std::strlen(name)), name);
    RemovePluginInstance(instance);
    std::free(instance);
}

// A close from inside one of the module's frames waits for the outermost one.
void RequestClose(PluginInstance* instance) {
    CApcoPlugin* plugin = instance->plugin;
    if (!plugin) return;  // already being closed
    if (ModuleFrame::Depth() <= 1) {
        ClosePluginInstance(instance);
    } else if (!plugin->IsCloseRequested()) {
        plugin->RequestClose();
    }
}

// The exit handler of the outermost frame. An answer that another thread awaits (the stream
// thread's sent messages) is given first: a posted message to the instance's window brings
// the host's loop back here once it has been.
void RunPendingCloses() noexcept {
    const auto requested = [](CApcoPlugin* plugin) { return plugin->IsCloseRequested(); };
    if (!FindOpenInstance(requested)) return;
    CallGuarded("pending close", [&] {
        while (PluginInstance* due = FindOpenInstance(requested)) {
            if (InSendMessage()) {
                PostMessageA(due->window, WM_NULL, 0, 0);
                return;
            }
            ClosePluginInstance(due);
        }
    });
}

void DispatchNotify(PluginInstance* instance, uint32_t code, uint32_t dwParam, uint32_t cbData, void* lpData) {
    CApcoPlugin* p = instance->plugin;
    if (!p) return;
    // A closing instance takes no more work; only a PN_CLOSE from outside every plug-in
    // call still closes it at once.
    if (code == PN_CLOSE) {
        RequestClose(instance);
        return;
    }
    if (p->IsCloseRequested()) return;
    switch (code) {
    case PN_FLAGS: p->SetHostFlags(dwParam); break;
    case PN_ENABLE: p->EnablePlugin(dwParam); break;
    case PN_FREQUENCY: p->SetReceiverFrequency(dwParam); break;
    case PN_MODE: p->OnHostMode(dwParam, cbData, lpData); break;
    case PN_SQUELCHSETTINGS: p->SetSquelchSettings(dwParam, lpData, cbData); break;
    case PN_SQUELCH: p->SetHostSquelch(dwParam); break;
    case PN_RBW:
        if (dwParam != 0 && cbData == 0 && !lpData) p->SetRBW(dwParam);
        break;
    case PN_VOLUME: p->SetVolume(dwParam); break;
    case PN_MUTE: p->SetMute(dwParam); break;
    case PN_SCANNING: p->SetScanner(dwParam); break;
    case PN_HOSTINFO: p->SetHostInfo(lpData, cbData); break;
    default: break;
    }
}

}  // namespace

extern "C" {

uint32_t VKT_STDCALL vktPluginInit(uint32_t, const char*, char* name, uint32_t length) {
    return CallGuarded("vktPluginInit", 0u, [&] {
        if (name) {
            const uint32_t n = sizeof kPluginDisplayName;  // with the terminator
            std::memcpy(name, kPluginDisplayName, length < n ? length : n);
        }
        return kCapabilities;
    });
}

// A host may unload the library next: every instance still open is closed as PN_CLOSE
// closes it (stream unhooked, window gone, PM_CLOSED sent).
void VKT_STDCALL vktPluginDone() {
    if (!OnOwnerThread()) return RelayDone();
    ModuleFrame frame;
    CallGuarded("vktPluginDone", [] {
        const bool nested = ModuleFrame::Depth() > 1;
        if (nested && FindOpenInstance([](CApcoPlugin*) { return true; })) HoldModule();
        while (PluginInstance* open =
                   FindOpenInstance([nested](CApcoPlugin* plugin) { return !(nested && plugin->IsCloseRequested()); }))
            RequestClose(open);
    });
}

void VKT_STDCALL vktPluginNotify(uint32_t hostHandle, uint32_t code, uint32_t dwParam, uint32_t cbData, void* lpData) {
    if (!OnOwnerThread()) return RelayNotify(hostHandle, code, dwParam, cbData, lpData);
    ModuleFrame frame;
    CallGuarded("vktPluginNotify", [&] {
        PluginInstance* instance = FindPluginInstance(hostHandle);
        if (instance) DispatchNotify(instance, code, dwParam, cbData, lpData);
    });
}

uint32_t VKT_STDCALL vktPluginStart(uint32_t hostHandle, void* record, PluginProc callback, uint32_t) {
    if (!ClaimOwnerThread()) return 0;  // its windows would belong to a thread the others never see
    ModuleFrame frame;
    const uint32_t started = CallGuarded("vktPluginStart", 0u, [&]() -> uint32_t {
        ModuleFrame::SetExitHandler(&RunPendingCloses);
        if (FindPluginInstance(hostHandle)) return kAlreadyStarted;
        auto* instance = static_cast<PluginInstance*>(std::calloc(1, sizeof(PluginInstance)));
        if (!instance) return 0;
        instance->plugin = new (std::nothrow) CApcoPlugin(hostHandle, ReadableHostRecord(record));
        if (!instance->plugin || !instance->plugin->GetWindowHandle()) {
            delete instance->plugin;
            std::free(instance);
            return 0;
        }
        instance->window = instance->plugin->GetWindowHandle();
        instance->callback = callback;
        instance->plugin->SetHostCallback(callback);
        instance->hostHandle = hostHandle;
        const uint32_t before = g_instances.GetCount();
        g_instances.Insert(reinterpret_cast<ItemArray::Item>(instance), 0xFFFFFFFFu);
        if (g_instances.GetCount() == before) {
            delete instance->plugin;
            std::free(instance);
            return 0;
        }
        instance->plugin->DemodStart();
        if (Application* app = GetApplication()) app->ProcessMessages();
        // Closed from inside the start: it goes as this call returns, no window to hand over.
        if (instance->plugin->IsCloseRequested()) return 0;
        PostMessageA(instance->window, WM_APCO_INIT, 0, 0);
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance->window));
    });
    ReleaseWhenIdle();  // a start that failed leaves no instance to own
    return started;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    g_module = module;
    if (reason == DLL_PROCESS_DETACH) {
        ModuleFrame::SetExitHandler(nullptr);
        // Unloaded without vktPluginDone: the relay's procedure must not outlive the code.
        if (!reserved && OnOwnerThread())
            if (HWND relay = g_relayWindow.exchange(nullptr)) DestroyWindow(relay);
    }
    return TRUE;
}

}  // extern "C"
