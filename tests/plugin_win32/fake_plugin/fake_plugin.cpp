// A small plug-in for the stand-ins' self-check. It exports the four entries by name and
// ordinal, reports to the host from its window's thread, hooks the stand-in receiver and
// hands every IF block to its window with SendMessage (as the real plug-in does), which then
// passes the block to the host. Test codes: 0x7777 shows an error box; PN_CLOSE unhooks.
#include <windows.h>

#include <cstring>

#include "plugin/vkt_interfaces.h"

namespace {

constexpr UINT kBlockMessage = WM_APP + 0x100;
constexpr uint32_t kHostInfo = 0x4006, kGetValue = 0x4002, kClosed = 0x4000, kAudio = 0x110A;
constexpr uint32_t kEchoValue = 0x7001, kEchoBox = 0x7002, kShowBox = 0x7777, kClose = 0x4000;

struct Block {
    const int16_t* samples;
    uint32_t bytes;
};

uint32_t g_handle = 0;
bool g_started = false;
HWND g_window = nullptr;
PluginProc g_callback = nullptr;
HMODULE g_receiver = nullptr;
SetupStreamsFn g_setupStreams = nullptr;
volatile LONG g_entered = 0;
volatile LONG g_late = 0;
volatile LONG g_unhooked = 0;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kBlockMessage && g_callback) {
        auto* block = reinterpret_cast<Block*>(wParam);
        g_callback(hwnd, kAudio, 3, block->bytes, const_cast<int16_t*>(block->samples));
        return 1;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void VKT_STDCALL OnIFBlock(void* context, const int16_t* samples, uint32_t byteCount, uint32_t) {
    InterlockedIncrement(&g_entered);
    if (InterlockedCompareExchange(&g_unhooked, 0, 0)) InterlockedIncrement(&g_late);
    Block block{samples, byteCount};
    SendMessageA(static_cast<HWND>(context), kBlockMessage, reinterpret_cast<WPARAM>(&block), 0);
}

}  // namespace

extern "C" uint32_t __stdcall vktPluginInit(uint32_t, const char*, char* name, uint32_t length) {
    if (name && length) std::strncpy(name, "Fake", length);
    return 0x481;
}

extern "C" void __stdcall vktPluginDone() {}

extern "C" uint32_t __stdcall vktPluginStart(uint32_t handle, void* record, PluginProc callback, uint32_t) {
    if (g_started && handle == g_handle) return 0xFFFFFFFFu;
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA("fake_plugin.vkt");
    wc.lpszClassName = "FakePluginWindow";
    RegisterClassA(&wc);
    g_window =
        CreateWindowExA(0, "FakePluginWindow", "fake", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    g_handle = handle;
    g_started = true;
    g_callback = callback;
    const uint32_t size = record ? *static_cast<uint32_t*>(record) : 0;
    callback(g_window, kHostInfo, 0, size, record);
    callback(g_window, kEchoValue, callback(g_window, kGetValue, 0x0800, 0, nullptr), 0, nullptr);
    g_receiver = LoadLibraryA("QVK927API.dll");
    g_setupStreams =
        g_receiver
            ? reinterpret_cast<SetupStreamsFn>(reinterpret_cast<void*>(GetProcAddress(g_receiver, "SetupStreams")))
            : nullptr;
    InterlockedExchange(&g_unhooked, 0);
    if (g_setupStreams) g_setupStreams(handle, OnIFBlock, g_window, 0, 0);
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(g_window));
}

extern "C" void __stdcall vktPluginNotify(uint32_t handle, uint32_t code, uint32_t dwParam, uint32_t, void*) {
    if (!g_started || handle != g_handle) return;
    if (code == kShowBox) {
        int answer = MessageBoxA(g_window, "Failed to load K927API.", "K927APCO - Error", MB_OK | MB_ICONERROR);
        g_callback(g_window, kEchoBox, static_cast<uint32_t>(answer), 0, nullptr);
    } else if (code == kClose) {
        if (g_setupStreams) g_setupStreams(handle, nullptr, nullptr, 0, 0);
        InterlockedExchange(&g_unhooked, 1);
        g_callback(g_window, kClosed, 0, 4, const_cast<char*>("Fake"));
        DestroyWindow(g_window);
        g_window = nullptr;
        g_started = false;
        if (g_receiver) FreeLibrary(g_receiver);
        g_receiver = nullptr;
        g_setupStreams = nullptr;
    }
}

extern "C" void __stdcall FakePluginStats(uint32_t* entered, uint32_t* late) {
    *entered = static_cast<uint32_t>(g_entered);
    *late = static_cast<uint32_t>(g_late);
}
