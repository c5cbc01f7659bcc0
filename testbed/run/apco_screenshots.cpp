// apco_screenshots.exe: pictures of the plug-in's windows during a real call.
//   apco_screenshots.exe --out FOLDER FILE.if.wav
// Runs the plug-in as apco_run does, with the analyzer library beside it and the receiver at
// the file's real pace (the window holds each signal state for half a second, so a faster
// stream would leave it on the state of the first blocks), under a receiver identifier of its
// own whose stored settings are removed first (the pictures show the defaults). Well into the
// call it captures the main window, its spectrum and player panels, then opens the setup
// window and the about window by their buttons (as a user does) and captures them and the
// audio-filter graph. Writes FOLDER\<name>.png for each and exits 0 only when all six exist;
// the main window is not written while its APCO LED is dark.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "plugin/host_protocol.h"
#include "testbed/common/screen_capture.h"
#include "testbed/host/vkt_host.h"

namespace {

constexpr int kVoiceRecordsBeforePictures = 40;  // one a 4096-byte block: about 1.7 s of voice
constexpr int kLedAttempts = 10;                 // 150 ms apart

std::string g_out;
HWND g_main = nullptr;
std::vector<std::string> g_saved;

struct Search {
    std::function<bool(HWND)> match;
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    if (!IsWindowVisible(h) || !s->match(h)) return TRUE;
    s->found = h;
    return FALSE;
}

std::string TextOf(HWND h) {
    char text[256] = {};
    GetWindowTextA(h, text, sizeof text);
    return text;
}

// A visible child with this text, or (no parent) a visible top-level window of this thread
// with this text, or with any text when text is null, other than `besides`.
HWND Find(HWND parent, const char* text, HWND besides = nullptr) {
    Search s{[&](HWND h) { return text ? TextOf(h) == text : h != besides && !TextOf(h).empty(); }};
    if (parent)
        EnumChildWindows(parent, Visit, reinterpret_cast<LPARAM>(&s));
    else
        EnumThreadWindows(GetCurrentThreadId(), Visit, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// Lets the windows finish painting (fields update through posted messages).
void Settle() {
    const DWORD start = GetTickCount();
    for (MSG m; GetTickCount() - start < 150; Sleep(5))
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

void Press(HWND button) {
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    Settle();
}

struct LedSearch {
    const char* label;
    HWND found;
};

BOOL CALLBACK VisitLabel(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<LedSearch*>(p);
    if (TextOf(h) != s->label) return TRUE;
    RECT text;
    GetWindowRect(h, &text);
    for (HWND led = GetWindow(GetParent(h), GW_CHILD); led; led = GetWindow(led, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(led, &r);
        if (r.right - r.left == 8 && r.bottom - r.top == 8 && r.right <= text.left && r.right >= text.left - 12 &&
            r.top < text.bottom && r.bottom > text.top) {
            s->found = led;
            return FALSE;
        }
    }
    return TRUE;
}

// The colour at the centre of the signal LED left of the label with this text (the LED is
// an 8 x 8 child just before its label), in a picture of main; false when there is none.
bool LedColour(const testbed::Picture& whole, HWND main, const char* label, COLORREF* colour) {
    LedSearch s{label, nullptr};
    EnumChildWindows(main, VisitLabel, reinterpret_cast<LPARAM>(&s));
    if (!s.found) return false;
    RECT m, r;
    GetWindowRect(main, &m);
    GetWindowRect(s.found, &r);
    const int x = (r.left + r.right) / 2 - m.left, y = (r.top + r.bottom) / 2 - m.top;
    if (x < 0 || y < 0 || x >= whole.width || y >= whole.height) return false;
    const uint8_t* px = &whole.rgb[3 * (static_cast<size_t>(y) * whole.width + x)];
    *colour = RGB(px[0], px[1], px[2]);
    return true;
}

void Save(const char* name, const testbed::Picture& p) {
    if (p.HasContent() && testbed::WritePng(g_out + "\\" + name + ".png", p)) g_saved.push_back(name);
}

// Runs from the host's message loop while the call is on the screen.
void CALLBACK TakePictures(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    // The pictures come from the screen: in a display shared with other programs a window of
    // theirs may cover ours for a moment, so the LED is looked at in a few pictures.
    testbed::Picture whole;
    COLORREF apco = 0;
    bool lit = false;
    for (int attempt = 0; attempt < kLedAttempts && !lit; ++attempt) {
        SetWindowPos(g_main, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        Settle();
        whole = testbed::CaptureWindow(g_main);
        lit = LedColour(whole, g_main, "APCO", &apco) && apco == RGB(0, 255, 0);
    }
    if (lit)
        Save("main_window", whole);
    else
        std::fprintf(stderr, "apco_screenshots: the APCO LED is not lit (0x%06lx): no main window picture\n",
                     static_cast<unsigned long>(apco));
    if (HWND spectrum = Find(g_main, "Spectrum analyzer")) Save("spectrum_panel", whole.Crop(g_main, spectrum));
    if (HWND box = Find(g_main, "filename.wav")) Save("player_panel", whole.Crop(g_main, GetParent(box)));
    HWND setupButton = Find(g_main, "Setup");
    if (!setupButton) return;
    Press(setupButton);
    if (HWND setup = Find(nullptr, nullptr, g_main)) {
        const testbed::Picture shot = testbed::CaptureWindow(setup);
        Save("setup_window", shot);
        if (HWND graph = Find(setup, "Audio Filter Settings")) Save("audio_filter_graph", shot.Crop(setup, graph));
        if (HWND about = Find(setup, "About")) {
            Press(about);
            if (HWND dialog = Find(nullptr, "About")) {
                Save("about_window", testbed::CaptureWindow(dialog));
                if (HWND ok = Find(dialog, "OK")) Press(ok);
            }
        }
    }
    Press(setupButton);
}

}  // namespace

int main(int argc, char** argv) {
    std::string file;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc)
            g_out = argv[++i];
        else
            file = argv[i];
    }
    if (file.empty() || g_out.empty() || file.size() >= sizeof ReceiverConfig{}.wavPath) {
        std::fprintf(stderr, "usage: apco_screenshots --out FOLDER FILE.if.wav\n");
        return 2;
    }
    CreateDirectoryA(g_out.c_str(), nullptr);
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    *std::strrchr(exe, '\\') = 0;
    // The analyzer library lies beside the DLL, where the host's installation puts it.
    SetEnvironmentVariableA("VKT_PLUGIN_PATH", exe);
    ReceiverConfig config{};
    config.structSize = sizeof config;
    config.volume = 8;
    config.realtime = 1;
    config.loops = 1;
    std::memcpy(config.wavPath, file.c_str(), file.size() + 1);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quorvane Communications\\K927Apco\\PICTURES");
    std::vector<uint8_t> record = [] {
        testbed::HostRecordBuilder b;
        b.SetReceiverId("PICTURES");
        return b.Build();
    }();
    testbed::VktHost host;
    std::string error, name;
    if (!host.Load(std::string(exe) + "\\Apco_K927_VKT_Plugin.vkt", &error) || !host.ConfigureReceiver(config)) {
        std::fprintf(stderr, "apco_screenshots: cannot run %s: %s\n", file.c_str(), error.c_str());
        return 1;
    }
    int decoded = 0;
    host.SetDataLimit(0);
    host.onCall = [&](testbed::HostCall& call, void* data) {
        if (call.msg != PMR_Media || !data || call.cbData != kMediaParamsPacketBytes) return;
        ApcoParams p;
        std::memcpy(&p, static_cast<const uint8_t*>(data) + kMediaHeaderBytes, sizeof p);
        // Well into the call at the real pace: the window's holds (500 ms for the signal
        // state, a few records for the transmission type and algorithm) have passed.
        if (p.transmissionType != 4 || ++decoded != kVoiceRecordsBeforePictures) return;
        g_main = call.window;
        ShowWindow(g_main, SW_SHOWNA);
        SetTimer(nullptr, 0, 10, TakePictures);
    };
    host.Init(&name);
    host.Start(1, record.data());
    ReceiverStatus status{};
    host.PumpUntil([&] { return host.GetReceiverStatus(&status) && status.finished; }, 120000);
    host.Close(1);
    host.onCall = nullptr;
    host.Done();
    for (const std::string& s : g_saved) std::printf("%s\\%s.png\n", g_out.c_str(), s.c_str());
    return g_saved.size() == 6 ? 0 : 1;
}
