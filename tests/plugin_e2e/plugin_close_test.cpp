// Closing the DLL's instances the hard ways: PN_CLOSE from inside each kind of the plug-in's
// calls into the host and during the overwrite question, and vktPluginDone with an instance
// streaming before the library is unloaded. Each must end without a hang, with PM_CLOSED once
// per instance and no call after it, the stream unhooked and the window gone (the program's
// main fails every test that saw an access violation).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "tests/plugin_e2e/plugin_run.h"
#include "tests/plugin_win32/plugin_fixture.h"
#include "tests/support/widget_input.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/play_rec_panel.h"

namespace {

void CALLBACK Hang(void* what, BOOLEAN) {
    std::fprintf(stderr, "watchdog: %s hangs\n", static_cast<const char*>(what));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
}

// Ends the process when its scope is not left within a minute: a deadlocked GUI thread cannot
// time out by itself. Runs in the timer's own thread (a new pool thread could wait for a loader
// lock that a hung unload holds); outlives the host of Closing, whose end unloads the plug-in.
struct Watchdog {
    explicit Watchdog(const char* what) {
        CreateTimerQueueTimer(&timer, nullptr, &Hang, (void*)what, 60000, 0, WT_EXECUTEINTIMERTHREAD);
    }
    ~Watchdog() { DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE); }
    HANDLE timer = nullptr;
};

// The plug-in loaded by a stand-in host whose receiver streams wav (if any); notes the window
// of each PM_CLOSED and the calls after the first one.
struct Closing : Watchdog {
    explicit Closing(const char* what) : Watchdog(what) {}
    ~Closing() { host.onCall = nullptr; }
    bool Load(const std::string& wav = "", uint32_t loops = 0) {
        ReceiverConfig config{};
        config.structSize = sizeof config;
        config.blockBytes = 4096;
        config.loops = loops;
        config.volume = 8;
        std::memcpy(config.wavPath, wav.c_str(), wav.size() + 1);
        std::string name;
        if ((!wav.empty() && !host.ConfigureReceiver(config)) || !host.Load(e2e::PluginPath(), &error)) return false;
        host.Init(&name);
        host.onCall = [this](testbed::HostCall& c, void*) {
            if (!closed.empty()) ++after;
            if (c.msg == PM_CLOSED) closed.push_back(c.window);
            if (!window) window = c.window;
            if (onCall) onCall(c);
        };
        return true;
    }
    ReceiverStatus Receiver() {
        ReceiverStatus s{};
        return host.GetReceiverStatus(&s), s;
    }

    testbed::VktHost host;
    std::string error;
    std::vector<HWND> closed;
    size_t after = 0;
    HWND window = nullptr;  // of the first call
    std::function<void(testbed::HostCall&)> onCall;
};

TEST(PluginClose, FromInsideEachKindOfHostCall) {
    int frames = 0;
    const std::string call = e2e::WriteTestCall("e2e_close.if.wav", 0x80, &frames);
    // {message, which of its calls}; the first PM_HOSTINFO comes from inside vktPluginStart, the
    // second is the set-up's flag update.
    const std::pair<uint32_t, int> cases[] = {
        {PM_HOSTINFO, 1}, {PM_HOSTINFO, 2},    {PM_GETVALUE, 1}, {PM_SCANNING, 1}, {PM_SQUELCHSETTINGS, 1},
        {PM_SETFLAGS, 1}, {PMR_IFSpectrum, 1}, {PMR_Media, 1},   {PMR_Audio, 1},   {PMR_Audio, 100}};
    for (const auto& c : cases) {
        char what[64];
        std::snprintf(what, sizeof what, "PN_CLOSE inside call %d of message 0x%X", c.second, c.first);
        SCOPED_TRACE(what);
        Closing h(what);
        ASSERT_TRUE(h.Load(call, 20)) << h.error;
        int seen = 0;
        h.onCall = [&](testbed::HostCall& hc) {
            if (hc.msg != c.first || ++seen != c.second) return;
            // A second close, and a code that would answer with a call, change nothing.
            h.host.Notify(1, PN_CLOSE);
            h.host.Notify(1, PN_CLOSE);
            h.host.Notify(1, PN_VOLUME, 20);
        };
        const uint32_t started = h.host.Start(1, nullptr);
        EXPECT_EQ(started == 0, c == cases[0]) << "closed inside the start: no window";
        EXPECT_TRUE(h.host.PumpUntil([&] { return !h.closed.empty(); }, 20000));
        h.host.Pump(300);
        EXPECT_GE(seen, c.second) << "the close was sent";
        EXPECT_EQ(h.closed.size(), 1u);
        EXPECT_EQ(h.after, 0u);
        EXPECT_EQ(h.host.Count(PM_VOLUME), 0u);
        EXPECT_FALSE(IsWindow(h.window));
        EXPECT_EQ(h.Receiver().hooked, 0u) << h.host.ReceiverLog();
        // The handle is free again: a new instance starts and closes as usual.
        h.onCall = nullptr;
        EXPECT_NE(h.host.Start(1, nullptr), 0u);
        h.host.Pump(100);
        h.host.Close(1);
        EXPECT_EQ(h.closed.size(), 2u);
    }
}

testbed::VktHost* g_questionHost = nullptr;
void CALLBACK CloseDuringQuestion(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (g_questionHost) g_questionHost->Close(1);
}

// The question is answered "no" (the file stays) and the instance goes once the Record
// button's click has returned.
TEST(PluginClose, WhileTheOverwriteQuestionIsOpen) {
    const std::string dir = e2e::TempWav("apco_close_question"), path = dir + "\\take.wav";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::vector<uint8_t> kept = {'k', 'e', 'p', 't'};
    plugintest::WriteAll(path, kept);
    RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Quorvane Communications\\K927Apco\\T29close", "AudioDir", REG_SZ,
                    dir.c_str(), dir.size() + 1);
    Closing h("close during the overwrite question");
    ASSERT_TRUE(h.Load()) << h.error;
    testbed::HostRecordBuilder b;
    b.SetReceiverId("T29close");
    std::vector<uint8_t> record = b.Build();
    ASSERT_NE(h.host.Start(1, record.data()), 0u);
    ASSERT_TRUE(h.host.PumpUntil([&] { return h.host.Count(PM_SETFLAGS) > 0; }, 10000));
    auto* w =
        static_cast<CK927ApcoPluginWindow*>(reinterpret_cast<Object*>(GetWindowLongPtrA(h.window, GWLP_USERDATA)));
    ASSERT_NE(w, nullptr);
    SetWindowTextA(w->GetPlayRecPanel()->GetFileBox()->GetHandle(), "take.wav");
    const HWND recordButton = w->GetPlayRecPanel()->GetRecordButton()->GetHandle();
    ASSERT_TRUE(IsWindowEnabled(recordButton));
    g_questionHost = &h.host;
    SetTimer(nullptr, 0, 300, &CloseDuringQuestion);
    Click(recordButton, 3, 3);  // runs the question's modal loop, in which the timer closes the instance
    g_questionHost = nullptr;
    h.host.Pump(300);
    EXPECT_EQ(h.closed.size(), 1u);
    EXPECT_EQ(h.after, 0u);
    EXPECT_FALSE(IsWindow(h.window));
    EXPECT_EQ(plugintest::ReadAll(path), kept);
}

// vktPluginDone closes every instance still open, the streaming one too, so that the host can
// unload the library at once.
TEST(PluginClose, DoneClosesOpenInstancesBeforeTheLibraryGoes) {
    Closing h("vktPluginDone");
    ASSERT_TRUE(h.Load(e2e::Recording("voice-nac293-tg1.if.wav"), 50)) << h.error;
    const auto idle = reinterpret_cast<HWND>(static_cast<uintptr_t>(h.host.Start(2, nullptr)));
    const auto streaming = reinterpret_cast<HWND>(static_cast<uintptr_t>(h.host.Start(1, nullptr)));
    ASSERT_TRUE(idle && streaming);
    ASSERT_TRUE(h.host.PumpUntil([&] { return h.host.Count(PMR_Audio) > 20; }, 20000));
    ASSERT_TRUE(h.Receiver().streaming);
    h.host.Done();
    const size_t callsAtDone = h.host.Calls().size();
    EXPECT_EQ(h.Receiver().hooked, 0u);
    EXPECT_EQ(h.closed.size(), 2u);
    EXPECT_EQ(std::set<HWND>(h.closed.begin(), h.closed.end()), (std::set<HWND>{idle, streaming}));
    EXPECT_FALSE(IsWindow(idle) || IsWindow(streaming));
    h.host.Unload();
    h.host.Pump(1000);  // timers, device callbacks or the stream thread would land in freed code
    EXPECT_EQ(h.host.Calls().size(), callsAtDone);
    const auto blocks = h.Receiver().blocksDelivered;
    h.host.Pump(200);
    EXPECT_EQ(h.Receiver().blocksDelivered, blocks) << "the stream stopped";
}

}  // namespace
