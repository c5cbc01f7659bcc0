// Closing the DLL's instances the hard ways: a host that sends PN_CLOSE from inside one of the
// plug-in's own calls (while it handles an audio block, a packet, a spectrum, a set-up
// question, the start's announcement or the overwrite question), and a host that calls
// vktPluginDone with an instance streaming and then unloads the library. Each must end without
// a hang (a watchdog ends the process), without an access violation (the test program's main
// fails every test that saw one), with PM_CLOSED once and nothing after it, the stream
// unhooked and the window gone.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/plugin_e2e/plugin_run.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/play_rec_panel.h"

namespace {

using testbed::HostCall;
using testbed::VktHost;

// Ends the process when the scope is not left within the time: a deadlocked GUI thread
// cannot time out by itself.
class Watchdog {
public:
    Watchdog(const char* what, DWORD ms) : m_what(what), m_ms(ms) {
        m_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_thread = CreateThread(nullptr, 0, &Watchdog::Watch, this, 0, nullptr);
    }
    ~Watchdog() {
        SetEvent(m_done);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        CloseHandle(m_done);
    }

private:
    static DWORD WINAPI Watch(void* p) {
        auto* w = static_cast<Watchdog*>(p);
        if (WaitForSingleObject(w->m_done, w->m_ms) == WAIT_TIMEOUT) {
            std::fprintf(stderr, "watchdog: %s hangs\n", w->m_what);
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        return 0;
    }
    const char* m_what;
    DWORD m_ms;
    HANDLE m_done, m_thread;
};

// What the host saw around the close.
struct CloseWatch {
    size_t closed = 0, after = 0;
    HWND window = nullptr;
    void See(const HostCall& call) {
        if (closed) ++after;
        if (call.msg == PM_CLOSED) ++closed;
        if (!window) window = call.window;
    }
};

ReceiverStatus Receiver(VktHost& host) {
    ReceiverStatus status{};
    host.GetReceiverStatus(&status);
    return status;
}

ReceiverConfig Stream(const std::string& wav, uint32_t loops) {
    ReceiverConfig config{};
    config.structSize = sizeof config;
    config.blockBytes = 4096;
    config.loops = loops;
    config.volume = 8;
    std::memcpy(config.wavPath, wav.c_str(), wav.size() + 1);
    return config;
}

// PN_CLOSE sent from inside the first call of each kind (the second PM_HOSTINFO is the set-up's
// flag update; the first one comes from inside vktPluginStart).
TEST(PluginClose, FromInsideEachKindOfHostCall) {
    int frames = 0;
    const std::string call = e2e::WriteTestCall("e2e_close.if.wav", 0x80, &frames);
    const struct Case {
        const char* name;
        uint32_t msg;
        int occurrence;  // 1: the first call of the kind
    } cases[] = {
        {"PM_HOSTINFO at start", PM_HOSTINFO, 1},
        {"PM_HOSTINFO later", PM_HOSTINFO, 2},
        {"PM_GETVALUE", PM_GETVALUE, 1},
        {"PM_SCANNING", PM_SCANNING, 1},
        {"PM_SQUELCHSETTINGS", PM_SQUELCHSETTINGS, 1},
        {"PM_SETFLAGS", PM_SETFLAGS, 1},
        {"PMR_IFSpectrum", PMR_IFSpectrum, 1},
        {"PMR_Media", PMR_Media, 1},
        {"PMR_Audio", PMR_Audio, 1},
        {"PMR_Audio, a hundred blocks in", PMR_Audio, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Watchdog watchdog(c.name, 60000);
        VktHost host;
        std::string error, name;
        ASSERT_TRUE(host.ConfigureReceiver(Stream(call, 20)));
        ASSERT_TRUE(host.Load(e2e::PluginPath(), &error)) << error;
        host.Init(&name);
        CloseWatch watch;
        int seen = 0;
        bool sent = false;
        host.onCall = [&](HostCall& hc, void*) {
            watch.See(hc);
            if (sent || hc.msg != c.msg || ++seen != c.occurrence) return;
            sent = true;
            // A second close, and a code that would answer with a call, change nothing.
            host.Notify(1, PN_CLOSE);
            host.Notify(1, PN_CLOSE);
            host.Notify(1, PN_VOLUME, 20);
        };
        const uint32_t started = host.Start(1, nullptr);
        EXPECT_EQ(started == 0, c.msg == PM_HOSTINFO && c.occurrence == 1) << "closed inside the start: no window";
        EXPECT_TRUE(host.PumpUntil([&] { return watch.closed > 0; }, 20000));
        host.Pump(300);
        EXPECT_TRUE(sent);
        EXPECT_EQ(watch.closed, 1u);
        EXPECT_EQ(watch.after, 0u);
        EXPECT_EQ(host.Count(PM_VOLUME), 0u);
        EXPECT_FALSE(IsWindow(watch.window));
        EXPECT_EQ(Receiver(host).hooked, 0u) << host.ReceiverLog();
        // The handle is free again: a new instance starts and closes as usual.
        host.onCall = [&](HostCall& hc, void*) { watch.See(hc); };
        EXPECT_NE(host.Start(1, nullptr), 0u);
        host.Pump(100);
        host.Close(1);
        EXPECT_EQ(watch.closed, 2u);
        host.onCall = nullptr;
    }
}

VktHost* g_questionHost = nullptr;
void CALLBACK CloseDuringQuestion(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (g_questionHost) g_questionHost->Close(1);
}

// The host closes while the overwrite question waits for the user: the question is answered
// "no" (the file stays) and the instance goes once the Record button's click has returned.
TEST(PluginClose, WhileTheOverwriteQuestionIsOpen) {
    const std::string dir = e2e::TempWav("apco_close_question"), path = dir + "\\take.wav";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string kept = "not a recording";
    std::ofstream(path, std::ios::binary) << kept;
    HKEY key;
    const char* keyPath = "Software\\Quorvane Communications\\K927Apco\\T29close";
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    RegSetValueExA(key, "AudioDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()), dir.size() + 1);
    RegCloseKey(key);

    Watchdog watchdog("close during the overwrite question", 60000);
    VktHost host;
    std::string error, name;
    ASSERT_TRUE(host.Load(e2e::PluginPath(), &error)) << error;
    host.Init(&name);
    testbed::HostRecordBuilder b;
    b.SetReceiverId("T29close");
    std::vector<uint8_t> record = b.Build();
    CloseWatch watch;
    host.onCall = [&](HostCall& hc, void*) { watch.See(hc); };
    ASSERT_NE(host.Start(1, record.data()), 0u);
    ASSERT_TRUE(host.PumpUntil([&] { return host.Count(PM_SETFLAGS) > 0; }, 10000));
    auto* w =
        static_cast<CK927ApcoPluginWindow*>(reinterpret_cast<Object*>(GetWindowLongPtrA(watch.window, GWLP_USERDATA)));
    ASSERT_NE(w, nullptr);
    SetWindowTextA(w->GetPlayRecPanel()->GetFileBox()->GetHandle(), "take.wav");
    const HWND recordButton = w->GetPlayRecPanel()->GetRecordButton()->GetHandle();
    ASSERT_TRUE(IsWindowEnabled(recordButton));
    g_questionHost = &host;
    SetTimer(nullptr, 0, 300, &CloseDuringQuestion);
    // The click runs the question's modal loop, in which the timer closes the instance.
    SendMessageA(recordButton, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(recordButton, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    g_questionHost = nullptr;
    host.Pump(300);
    EXPECT_EQ(watch.closed, 1u);
    EXPECT_EQ(watch.after, 0u);
    EXPECT_FALSE(IsWindow(watch.window));
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), kept);
    host.onCall = nullptr;
}

// vktPluginDone closes every instance still open, the streaming one too, so that the host can
// unload the library at once.
TEST(PluginClose, DoneClosesOpenInstancesBeforeTheLibraryGoes) {
    Watchdog watchdog("vktPluginDone", 60000);
    VktHost host;
    std::string error, name;
    ASSERT_TRUE(host.ConfigureReceiver(Stream(e2e::Recording("voice-nac293-tg1.if.wav"), 50)));
    ASSERT_TRUE(host.Load(e2e::PluginPath(), &error)) << error;
    host.Init(&name);
    std::vector<HWND> closedWindows;
    size_t afterDone = 0;
    bool done = false;
    host.onCall = [&](HostCall& hc, void*) {
        if (hc.msg == PM_CLOSED) closedWindows.push_back(hc.window);
        if (done) ++afterDone;
    };
    const HWND idle = reinterpret_cast<HWND>(static_cast<uintptr_t>(host.Start(2, nullptr)));
    const HWND streaming = reinterpret_cast<HWND>(static_cast<uintptr_t>(host.Start(1, nullptr)));
    ASSERT_TRUE(idle && streaming);
    ASSERT_TRUE(host.PumpUntil([&] { return host.Count(PMR_Audio) > 20; }, 20000));
    ASSERT_TRUE(Receiver(host).streaming);
    host.Done();
    done = true;
    EXPECT_EQ(Receiver(host).hooked, 0u);
    ASSERT_EQ(closedWindows.size(), 2u);
    EXPECT_TRUE((closedWindows[0] == idle && closedWindows[1] == streaming) ||
                (closedWindows[0] == streaming && closedWindows[1] == idle));
    EXPECT_FALSE(IsWindow(idle) || IsWindow(streaming));
    host.Unload();
    host.Pump(1000);  // timers, device callbacks or the stream thread would land in freed code
    EXPECT_EQ(afterDone, 0u);
    const ReceiverStatus status = Receiver(host);
    host.Pump(200);
    EXPECT_EQ(Receiver(host).blocksDelivered, status.blocksDelivered) << "the stream stopped";
    host.onCall = nullptr;
}

}  // namespace
