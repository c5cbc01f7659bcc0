// Closing the DLL's instances the hard ways: PN_CLOSE from inside each kind of the plug-in's
// calls into the host, in its modal loops and from a thread, and vktPluginDone with an instance
// streaming before the library is unloaded. Each must end without a hang, with PM_CLOSED once
// per instance and no call after it, the stream unhooked and the window gone (the program's
// main fails every test that saw an access violation).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <thread>

#include "tests/plugin_e2e/plugin_run.h"
#include "tests/plugin_win32/plugin_fixture.h"
#include "tests/support/wav_io.h"
#include "tests/support/widget_input.h"
#include "toolkit/button.h"
#include "toolkit/combo_box.h"
#include "toolkit/edit.h"
#include "ui/about_dialog.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/play_rec_panel.h"
#include "ui/setup_dialog.h"

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
    bool Load(const std::string& wav = "", uint32_t loops = 0, bool refuseStreams = false) {
        ReceiverConfig config{};
        config.structSize = sizeof config;
        config.blockBytes = 4096;
        config.loops = loops;
        config.volume = 8;
        config.refuseSetupStreams = refuseStreams;
        std::memcpy(config.wavPath, wav.c_str(), wav.size() + 1);
        std::string name;
        if (!host.ConfigureReceiver(config) || !host.Load(e2e::PluginPath(), &error)) return false;
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

// Run once by a thread timer, also inside the plug-in's modal loops.
std::function<void()> g_timed;
void CALLBACK RunTimed(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    g_timed();
}

std::set<HWND> ShownWindows() {  // of this thread: boxes, dialogs, menus
    std::set<HWND> found;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
        if (IsWindowVisible(w) && GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) found.insert(w);
    return found;
}

// The disk's folder, with every free byte taken by one file.
std::string FillUp(const plugintest::SmallDisk& disk) {
    ULARGE_INTEGER free{};
    DeleteFileA((disk.path + "\\fill").c_str());
    GetDiskFreeSpaceExA((disk.path + "\\").c_str(), &free, nullptr, nullptr);
    plugintest::WriteAll(disk.path + "\\fill", std::vector<uint8_t>(free.QuadPart));
    return disk.path;
}

// Closes the main window's error box once it has been up for 1.5 s, as a user would (a box run
// again inside itself stays up and takes another answer); counts the answers, keeps the texts.
int g_answers = 0;
std::string g_answered;
void CALLBACK AnswerSlowly(HWND, UINT, UINT_PTR, DWORD) {
    static DWORD since = 0;
    HWND box = nullptr;  // this thread's: every main window of another test program has a hidden one
    for (HWND w : ShownWindows()) {
        char caption[32] = {};
        if (GetWindowTextA(w, caption, sizeof caption), std::strcmp(caption, "K927APCO - Error") == 0) box = w;
    }
    if (!box) since = 0;
    if (!box || GetTickCount() - (since ? since : since = GetTickCount()) < 1500) return;
    since = 0, ++g_answers;
    char text[256];
    for (HWND c = FindWindowExA(box, nullptr, nullptr, nullptr); c; c = FindWindowExA(box, c, nullptr, nullptr))
        g_answered += (GetWindowTextA(c, text, sizeof text), text);
    PostMessageA(box, WM_CLOSE, 0, 0);
}

// Runs f on a thread of its own while this one waits for it up to waitMs (INFINITE: to its end),
// then pumps; a hang is the watchdog's.
void OnThread(testbed::VktHost& host, DWORD waitMs, const std::function<void()>& f) {
    std::atomic<bool> returned{false};
    std::thread t([&] { f(), returned = true; });
    for (const DWORD start = GetTickCount(); waitMs != INFINITE && !returned && GetTickCount() - start < waitMs;)
        Sleep(10);
    if (waitMs != INFINITE) host.PumpUntil([&] { return returned.load(); }, INFINITE);
    t.join();
}

// Windows of this thread shown while watching (from a close to its PM_CLOSED).
std::vector<HWND> g_shownInClose;
bool g_watchShows = false;
LRESULT CALLBACK WatchShows(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && g_watchShows && m->message == WM_WINDOWPOSCHANGING &&
        (reinterpret_cast<const WINDOWPOS*>(m->lParam)->flags & SWP_SHOWWINDOW))
        g_shownInClose.push_back(m->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

HWND ChildWithText(HWND parent, const char* text) {  // depth first
    for (HWND c = nullptr; (c = FindWindowExA(parent, c, nullptr, nullptr));) {
        char t[64] = {};
        GetWindowTextA(c, t, sizeof t);
        if (HWND found = std::strcmp(t, text) ? ChildWithText(c, text) : c) return found;
    }
    return nullptr;
}

// The setup window (by its button), About and the device list shown: true when all three are.
bool OpenSetupAboutAndDeviceList(testbed::VktHost& host, HWND main) {
    auto* w = static_cast<CK927ApcoPluginWindow*>(reinterpret_cast<Object*>(GetWindowLongPtrA(main, GWLP_USERDATA)));
    CSetupDialog* setup = w->GetSetupDialog();
    Click(ChildWithText(main, "Setup"), 3, 3);
    Click(ChildWithText(setup->GetHandle(), "About"), 3, 3);
    Click(setup->GetDeviceCombo()->GetButton()->GetHandle(), 3, 3);
    // Read at once: the list closes when it loses the focus, to another test program's window say.
    const bool dropped = IsWindowVisible(setup->GetDeviceCombo()->GetList()->GetHandle());
    host.Pump(100);
    return IsWindowVisible(setup->GetHandle()) && IsWindowVisible(setup->GetAboutDialog()->GetHandle()) && dropped;
}

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

// The plug-in's windows cannot be made: its first one is refused, after a vktPluginDone from
// another thread has reached the start (the owner thread takes sent messages meanwhile, as it
// does while it waits). The Done finds nothing open; the module reference it took must not
// keep the library loaded once the host has freed it.
testbed::VktHost* g_failingHost = nullptr;  // while set, the windows are refused
std::thread g_doneThread;
bool g_doneRelayedInside = false;  // the other thread's Done reached a window of the plug-in here
LRESULT CALLBACK SeeRelayedDone(int code, WPARAM sentByThisThread, LPARAM lParam) {
    const HWND window = reinterpret_cast<const CWPSTRUCT*>(lParam)->hwnd;
    if (code == HC_ACTION && !sentByThisThread &&
        reinterpret_cast<HMODULE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)) ==
            GetModuleHandleA("Apco_K927_VKT_Plugin.vkt"))
        g_doneRelayedInside = true;
    return CallNextHookEx(nullptr, code, sentByThisThread, lParam);
}
HWND WINAPI DoneThenRefuse(DWORD ex, LPCSTR name, LPCSTR title, DWORD style, int x, int y, int width, int height,
                           HWND parent, HMENU menu, HINSTANCE instance, void* data) {
    if (!g_failingHost || HIWORD(name) == 0 || std::strcmp(name, "myComponent") != 0)
        return CreateWindowExA(ex, name, title, style, x, y, width, height, parent, menu, instance, data);
    if (!g_doneThread.joinable()) {
        // However late the thread, its Done is answered inside the start: it holds the module then.
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &SeeRelayedDone, nullptr, GetCurrentThreadId());
        g_doneThread = std::thread([host = g_failingHost] { host->Done(); });
        for (const DWORD start = GetTickCount(); !g_doneRelayedInside && GetTickCount() - start < 10000; Sleep(5)) {
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        UnhookWindowsHookEx(hook);
    }
    return nullptr;
}

TEST(PluginClose, AFailedStartGivesBackTheModuleThatADoneRelayedDuringItHeld) {
    Closing h("a start that fails");
    ASSERT_TRUE(h.Load()) << h.error;
    g_failingHost = &h.host;
    g_doneRelayedInside = false;
    e2e::HookImport("user32", "CreateWindowExA", reinterpret_cast<void*>(&DoneThenRefuse));
    EXPECT_EQ(h.host.Start(1, nullptr), 0u);
    g_failingHost = nullptr;
    ASSERT_TRUE(g_doneThread.joinable());
    EXPECT_TRUE(g_doneRelayedInside) << "the Done was handled during the start";
    g_doneThread.join();
    h.host.Unload();
    h.host.Pump(500);
    EXPECT_EQ(GetModuleHandleA("Apco_K927_VKT_Plugin.vkt"), nullptr) << "unloaded";
    EXPECT_TRUE(h.closed.empty());
}

// A close while one of the plug-in's modal loops waits for an answer that never comes ends the
// loop at once (vktPluginDone too); an export from a thread other than the host's GUI thread,
// while that one pumps or waits for it, is carried out on the GUI thread (a start is refused).
// Input still queued for the plug-in's windows opens nothing inside the close, and the host's
// quit survives the plug-in's pumps. Either way: PM_CLOSED within a second, no window shown in
// the close and none left, the stream unhooked.
TEST(PluginClose, InsideAModalLoopOrFromAnotherThread) {
    // The boxes open by themselves from kPanelBox on.
    enum Open { kNone, kSetupMenu, kBrowse, kSetupAboutList, kPanelBox, kStreamsBox, kLogBox };
    // kDone: vktPluginDone and FreeLibrary, kCloseDone: PN_CLOSE first, kDoneOnThread: the two
    // on a thread while the GUI thread waits 7 s; kCloseEachWindow: WM_CLOSE to every window the
    // plug-in made, the windows opened again and a file played before the close. kClickBrowse,
    // kClickDrop: a click on the browse or the file list's drop button posted, then PN_CLOSE at
    // once; kClickBrowseHostPumps: the same, the host dispatching its queue inside the close's
    // first call to it (PM_HOSTINFO). kQuit, kQuitPlay: PostQuitMessage(7) (and an audio file played and stopped), then
    // PN_CLOSE: the host's loop still finds WM_QUIT.
    enum How {
        kClose,
        kDone,
        kCloseDone,
        kDoneOnThread,
        kCloseEachWindow,
        kClickBrowse,
        kClickDrop,
        kClickBrowseHostPumps,
        kQuit,
        kQuitPlay,
        kThreadPumping,
        kThreadWaiting
    };
    enum Log { kNoLog, kLogUnopenable, kLogOnFullDisk };  // logging every second to that file
    const struct {
        const char* what;
        Open open;
        How how;
        bool streaming;
        Log log = kNoLog;
        UINT closeMs = 500;
        bool answered = false;  // each box closed after 1.5 s, as a user would
    } rows[] = {
        // The interrupted start-up goes no further: no log box after the panel's, no window left.
        {"panel's box at start, log unopenable: PN_CLOSE, vktPluginDone", kPanelBox, kCloseDone, false, kLogUnopenable},
        // A failed write stops the log first: no write again inside its box, so one box, and
        // logging off (saved so); the box left open ends with the close.
        {"call log on a full disk: its box", kLogBox, kClose, false, kLogOnFullDisk, 3000},
        {"call log on a full disk, answered: one box in 10 s", kLogBox, kClose, false, kLogOnFullDisk, 10000, true},
        {"\"Failed to setup streams.\" box", kStreamsBox, kClose, false},
        {"\"Failed to setup streams.\" box, vktPluginDone", kStreamsBox, kDone, false},
        {"panel's error box: folder not writable", kPanelBox, kClose, false},
        {"setup window's system menu, streaming", kSetupMenu, kClose, true},
        {"folder browser", kBrowse, kClose, false},
        {"thread, idle", kNone, kThreadPumping, false},
        {"thread, streaming", kNone, kThreadPumping, true},
        {"thread, idle, GUI thread waits", kNone, kThreadWaiting, false},
        {"thread, streaming, GUI thread waits", kNone, kThreadWaiting, true},
        {"vktPluginDone and FreeLibrary on a thread, GUI thread waits 7 s", kNone, kDoneOnThread, true},
        {"WM_CLOSE to each window, streaming", kSetupAboutList, kCloseEachWindow, true},
        {"a click on the browse button still queued", kNone, kClickBrowse, false},
        {"a click on the file list's drop button still queued", kNone, kClickDrop, true},
        {"a click on the browse button still queued, the host pumping in the close", kNone, kClickBrowseHostPumps, false},
        {"the host's quit posted", kNone, kQuit, true},
        {"the host's quit posted, an audio file played and stopped", kNone, kQuitPlay, false}};
    plugintest::SmallDisk disk(1 << 20);
    const std::string played = e2e::TempWav("apco_close_quit.wav");
    ASSERT_TRUE(wavtest::WriteWav16(played, std::vector<float>(8000, 0.1f), 8000));  // played at 16000: reopened
    const std::unique_ptr<HHOOK__, decltype(&UnhookWindowsHookEx)> watch(
        SetWindowsHookExA(WH_CALLWNDPROC, &WatchShows, nullptr, GetCurrentThreadId()), &UnhookWindowsHookEx);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.log == kLogOnFullDisk && !disk.mounted) {
            std::printf("skipped \"%s\": no small file system could be mounted (root under Wine is needed)\n",
                        row.what);
            continue;
        }
        std::vector<uint8_t> record = e2e::FreshRecord("T33modal");
        const char* key = "Software\\Quorvane Communications\\K927Apco\\T33modal";
        if (row.open == kPanelBox) RegSetKeyValueA(HKEY_CURRENT_USER, key, "AudioDir", REG_SZ, "Q:", 3);
        if (row.log != kNoLog) {
            const std::string file = row.log == kLogOnFullDisk ? FillUp(disk) + "\\calls.csv" : "Q:\\no\\calls.csv";
            const DWORD on = 1;
            RegSetKeyValueA(HKEY_CURRENT_USER, key, "LogFileName", REG_SZ, file.c_str(), file.size() + 1);
            RegSetKeyValueA(HKEY_CURRENT_USER, key, "LoggingParams", REG_DWORD, &on, 4);
            RegSetKeyValueA(HKEY_CURRENT_USER, key, "LoggingEnabled", REG_DWORD, &on, 4);
        }
        const std::set<HWND> before = ShownWindows();
        Closing h(row.what);
        h.host.KeepCaption("K927APCO - Error");
        ASSERT_TRUE(h.Load(row.streaming ? e2e::Recording("voice-nac293-tg1.if.wav") : "", 50, row.open == kStreamsBox))
            << h.error;
        const HWND main = reinterpret_cast<HWND>(static_cast<uintptr_t>(h.host.Start(1, record.data())));
        auto set = [&] { return h.host.Count(PM_SETFLAGS) > 0 && (!row.streaming || h.host.Count(PMR_Audio) > 20); };
        ASSERT_TRUE(main && (row.open >= kPanelBox || h.host.PumpUntil(set, 20000)));
        auto* w = static_cast<CK927ApcoPluginWindow*>(reinterpret_cast<Object*>(GetWindowLongPtrA(main, GWLP_USERDATA)));
        if (row.open == kSetupAboutList) {
            ASSERT_TRUE(OpenSetupAboutAndDeviceList(h.host, main));
        }
        if (row.open == kSetupMenu || row.open == kBrowse) {
            const HWND setup = w->GetSetupDialog()->GetHandle();
            if (row.open == kSetupMenu) ShowWindow(setup, SW_SHOWNOACTIVATE);
            if (row.open == kSetupMenu) PostMessageA(setup, WM_SYSCOMMAND, SC_KEYMENU, ' ');
            if (row.open == kBrowse) PostClick(w->GetPlayRecPanel()->GetBrowseButton()->GetHandle(), 3, 3);
        }
        std::set<HWND> shown;
        DWORD closeTick = 0;
        bool loadedAfterFree = false;
        int quitCode = -1;
        g_shownInClose.clear();
        h.onCall = [&](testbed::HostCall& c) {
            if (g_watchShows && row.how == kClickBrowseHostPumps && c.msg == PM_HOSTINFO) {
                MSG msg;
                while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&msg);
                    DispatchMessageA(&msg);
                }
            }
            g_watchShows = g_watchShows && c.msg != PM_CLOSED;
        };
        g_timed = [&] {
            shown = ShownWindows();
            closeTick = GetTickCount();
            g_watchShows = row.how != kCloseEachWindow;
            if (row.how == kClickBrowse || row.how == kClickDrop || row.how == kClickBrowseHostPumps) {
                CPlayRecPanel* panel = w->GetPlayRecPanel();
                PostClick((row.how == kClickDrop ? panel->GetDropButton() : panel->GetBrowseButton())->GetHandle(), 3, 3);
                h.host.Close(1);
            }
            if (row.how == kQuit || row.how == kQuitPlay) {
                const size_t flagged = h.host.Count(PM_SETFLAGS);
                PostQuitMessage(7);
                if (row.how == kQuitPlay) {
                    w->OnFileNameChange.Invoke(w, played.c_str());
                    w->OnStartPlay.Invoke(w);
                    w->OnPlayRecStop.Invoke(w);
                    EXPECT_EQ(h.host.Count(PM_SETFLAGS), flagged + 2) << "played and stopped";
                }
                h.host.Close(1);
                MSG msg;
                if (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) quitCode = static_cast<int>(msg.wParam);
            }
            if (row.how == kClose || row.how == kCloseDone) h.host.Close(1);
            if (row.how == kDone || row.how == kCloseDone) h.host.Unload();
            if (row.how == kDoneOnThread) {
                OnThread(h.host, INFINITE, [&] {
                    h.host.Unload();
                    loadedAfterFree = GetModuleHandleA("Apco_K927_VKT_Plugin.vkt") != nullptr;
                });
                const DWORD waited = GetTickCount() - closeTick;
                if (waited < 7000) Sleep(7000 - waited);
                closeTick = GetTickCount();
            }
            if (row.how == kCloseEachWindow) {
                const HINSTANCE plugin = GetModuleHandleA("Apco_K927_VKT_Plugin.vkt");
                std::vector<HWND> made;
                for (HWND top : {HWND(nullptr), HWND_MESSAGE})
                    for (HWND t = nullptr; (t = FindWindowExA(top, t, nullptr, nullptr));)
                        if (GetWindowThreadProcessId(t, nullptr) == GetCurrentThreadId() &&
                            reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(t, GWLP_HINSTANCE)) == plugin)
                            made.push_back(t), PostMessageA(t, WM_CLOSE, 0, 0);
                h.host.Pump(300);
                EXPECT_GT(made.size(), 5u) << "main, setup, About, list, tooltip, helpers";
                for (HWND t : made) EXPECT_TRUE(IsWindow(t)) << "kept";
                EXPECT_TRUE(OpenSetupAboutAndDeviceList(h.host, main)) << "opened again";
                const size_t audio = h.host.Count(PMR_Audio);
                w->OnFileNameChange.Invoke(w, e2e::Recording("voice-nac293-tg1.if.wav").c_str());
                w->OnStartPlay.Invoke(w);
                EXPECT_TRUE(h.host.PumpUntil(
                    [&] { return w->GetPlayRecPanel()->GetFilePosTime() >= 1 && h.host.Count(PMR_Audio) > audio + 20; },
                    20000))
                    << "the file plays and its audio reaches the host";
                closeTick = GetTickCount();
                g_watchShows = true;
                h.host.Close(1);
            }
            if (row.how >= kThreadPumping)
                OnThread(h.host, row.how == kThreadPumping ? 0 : INFINITE,
                         [&] { h.host.Notify(1, PN_VOLUME, 13), h.host.Close(1); });
        };
        SetTimer(nullptr, 0, row.closeMs, &RunTimed);
        const UINT_PTR answering = row.answered ? SetTimer(nullptr, 0, 50, &AnswerSlowly) : 0;
        g_answers = 0, g_answered.clear();
        ASSERT_TRUE(h.host.PumpUntil([&] { return !h.closed.empty(); }, 20000));
        EXPECT_LT(GetTickCount() - closeTick, 1000u);
        h.host.Pump(200);
        if (answering) KillTimer(nullptr, answering);
        if (row.answered) {
            DWORD logging = 1, size = 4;
            RegGetValueA(HKEY_CURRENT_USER, key, "LoggingEnabled", RRF_RT_DWORD, nullptr, &logging, &size);
            EXPECT_EQ(g_answers, 1) << g_answered;
            EXPECT_NE(g_answered.find("Failed to write to log file. Logging will now stop."), std::string::npos);
            EXPECT_EQ(logging, 0u);
        }
        // The setup window and its menu; the setup window and About (the list too, unless the
        // focus went to another program's window); an answered box is gone before the close.
        const size_t opened = row.open == kSetupMenu || row.open == kSetupAboutList ? 2
                                                                                    : row.open != kNone && !row.answered;
        const size_t listShown = row.open == kSetupAboutList && shown.size() == before.size() + 3;
        EXPECT_EQ(shown.size(), before.size() + opened + listShown) << "the loop's windows were shown";
        EXPECT_EQ(h.closed.size(), 1u);
        EXPECT_EQ(h.after, 0u);
        EXPECT_TRUE(g_shownInClose.empty()) << g_shownInClose.size() << " windows shown inside the close";
        EXPECT_EQ(quitCode, row.how == kQuit || row.how == kQuitPlay ? 7 : -1) << "WM_QUIT kept with its code";
        for (HWND w : shown) EXPECT_TRUE(before.count(w) || !IsWindow(w)) << "no window left";
        for (HWND w : ShownWindows()) EXPECT_TRUE(before.count(w)) << "no box after the close";
        EXPECT_FALSE(IsWindow(main));
        EXPECT_EQ(h.Receiver().hooked, 0u);
        EXPECT_EQ(h.host.CallsOffGuiThread(), 0u);
        const bool unloaded = !GetModuleHandleA("Apco_K927_VKT_Plugin.vkt");
        EXPECT_TRUE((row.how != kDone && row.how != kCloseDone && row.how != kDoneOnThread) || unloaded)
            << "unloaded once it could";
        EXPECT_EQ(loadedAfterFree, row.how == kDoneOnThread) << "loaded until the instance was closed";
        if (row.how < kThreadPumping) continue;
        EXPECT_EQ(h.host.Count(PM_VOLUME), 1u) << "the thread's code carried out";
        // The handle starts again here; not on another thread while this one owns instances.
        ASSERT_NE(h.host.Start(1, nullptr), 0u);
        uint32_t other = 1;
        OnThread(h.host, INFINITE, [&] { other = h.host.Start(2, nullptr); });
        EXPECT_EQ(other, 0u);
        OnThread(h.host, 0, [&] { h.host.Done(); });
        EXPECT_EQ(h.closed.size(), 2u);
        EXPECT_EQ(h.Receiver().hooked, 0u);
        // Started and closed here, then started on another thread while this one waits: at once.
        ASSERT_NE(h.host.Start(3, nullptr), 0u);
        h.host.Close(3);
        DWORD startMs = 0;
        OnThread(h.host, 3000, [&] {
            const DWORD t0 = GetTickCount();
            other = h.host.Start(4, nullptr);
            startMs = GetTickCount() - t0;
            h.host.Close(4);
        });
        EXPECT_NE(other, 0u);
        EXPECT_LT(startMs, 1000u);
        EXPECT_EQ(h.closed.size(), 4u);
    }
}

}  // namespace
