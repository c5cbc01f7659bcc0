// The DLL's four exports, the instance list (one record per host handle) and DllMain. All of
// it runs on the host's GUI thread, so the list needs no lock. Every export catches
// everything and returns its documented failure value.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "foundation/item_array.h"
#include "plugin/apco_plugin.h"
#include "plugin/boundary.h"
#include "plugin/host_protocol.h"
#include "toolkit/application.h"

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

void RemovePluginInstance(PluginInstance* instance) {
    for (uint32_t i = g_instances.GetCount(); i-- > 0;)
        if (InstanceAt(i) == instance) g_instances.Remove(i);
}

uint32_t callPluginProc(HWND window, uint32_t msg, uint32_t dwParam, uint32_t cbData, void* lpData) {
    for (uint32_t i = 0; i < g_instances.GetCount(); ++i) {
        PluginInstance* instance = InstanceAt(i);
        if (instance->window == window && instance->callback)
            return instance->callback(window, msg, dwParam, cbData, lpData);
    }
    return kHostNoAnswer;
}

void ClosePluginInstance(PluginInstance* instance) {
    if (instance->plugin) {
        instance->plugin->DemodEnd();
        delete instance->plugin;
        instance->plugin = nullptr;
    }
    char name[sizeof kPluginDisplayName];
    std::memcpy(name, kPluginDisplayName, sizeof name);
    callPluginProc(instance->window, PM_CLOSED, 0, static_cast<uint32_t>(std::strlen(name)), name);
    RemovePluginInstance(instance);
    std::free(instance);
}

void DispatchNotify(PluginInstance* instance, uint32_t code, uint32_t dwParam, uint32_t cbData, void* lpData) {
    CApcoPlugin* p = instance->plugin;
    if (!p) return;
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
    case PN_CLOSE: ClosePluginInstance(instance); break;
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

void VKT_STDCALL vktPluginDone() {}

void VKT_STDCALL vktPluginNotify(uint32_t hostHandle, uint32_t code, uint32_t dwParam, uint32_t cbData, void* lpData) {
    CallGuarded("vktPluginNotify", [&] {
        PluginInstance* instance = FindPluginInstance(hostHandle);
        if (instance) DispatchNotify(instance, code, dwParam, cbData, lpData);
    });
}

uint32_t VKT_STDCALL vktPluginStart(uint32_t hostHandle, void* record, PluginProc callback, uint32_t) {
    return CallGuarded("vktPluginStart", 0u, [&]() -> uint32_t {
        if (FindPluginInstance(hostHandle)) return kAlreadyStarted;
        auto* instance = static_cast<PluginInstance*>(std::calloc(1, sizeof(PluginInstance)));
        if (!instance) return 0;
        instance->plugin = new (std::nothrow) CApcoPlugin(hostHandle, record);
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
        PostMessageA(instance->window, WM_APCO_INIT, 0, 0);
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance->window));
    });
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD, LPVOID) {
    g_module = module;
    return TRUE;
}

}  // extern "C"
