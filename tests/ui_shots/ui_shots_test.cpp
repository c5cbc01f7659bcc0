// The whole plug-in window while the stand-in receiver streams a real recording through the
// DLL, and the windows it opens, captured from the screen as PNG into the build tree's
// artefacts folder. The windows are reached only as a user would: by clicking their buttons.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../plugin_e2e/plugin_run.h"
#include "tests/support/screen_capture.h"

namespace {

std::string ArtefactFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    s = s.substr(0, s.find_last_of('\\'));   // bin
    s = s.substr(0, s.find_last_of('\\')) + "\\artefacts";
    CreateDirectoryA(s.c_str(), nullptr);
    return s;
}

std::string TextOf(HWND h) {
    char text[256] = {};
    GetWindowTextA(h, text, sizeof text);
    return text;
}

struct Search {
    std::function<bool(HWND)> match;
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    if (!s->match(h)) return TRUE;
    s->found = h;
    return FALSE;
}

HWND FindChild(HWND parent, const std::function<bool(HWND)>& match) {
    Search s{match};
    EnumChildWindows(parent, Visit, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND ChildNamed(HWND parent, const char* text) {
    return FindChild(parent, [&](HWND h) { return TextOf(h) == text && IsWindowVisible(h); });
}

// A visible top-level window of this thread, other than the ones given.
HWND OtherTopLevel(const std::vector<HWND>& known) {
    Search s{[&](HWND h) {
        for (HWND k : known)
            if (k == h) return false;
        return IsWindowVisible(h) && !TextOf(h).empty();
    }};
    EnumThreadWindows(GetCurrentThreadId(), Visit, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// Lets the windows finish painting (labels and fields update through posted messages).
void Settle() {
    const DWORD start = GetTickCount();
    MSG m;
    while (GetTickCount() - start < 150) {
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        Sleep(5);
    }
}

void Press(HWND button) {
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    Settle();
}

// The part of a picture of `whole` that `part` covers.
screen_capture::Picture Crop(const screen_capture::Picture& p, HWND whole, HWND part) {
    RECT w, r;
    GetWindowRect(whole, &w);
    GetWindowRect(part, &r);
    screen_capture::Picture c;
    c.width = r.right - r.left;
    c.height = r.bottom - r.top;
    for (int y = 0; y < c.height; ++y) {
        const size_t from = (static_cast<size_t>(y + r.top - w.top) * p.width + (r.left - w.left)) * 3;
        c.rgb.insert(c.rgb.end(), p.rgb.begin() + from, p.rgb.begin() + from + c.width * 3);
    }
    return c;
}

bool Save(const char* name, const screen_capture::Picture& p) {
    return screen_capture::WritePng(ArtefactFolder() + "\\" + name, p) && screen_capture::Colours(p) > 3;
}

HWND g_main = nullptr;
std::vector<std::string>* g_saved = nullptr;

// Runs from the host's message loop once the call is on the screen.
void CALLBACK TakePictures(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HWND main = g_main;
    std::vector<std::string>& saved = *g_saved;
    Settle();
    const screen_capture::Picture whole = screen_capture::Capture(main);
    if (Save("main_window.png", whole)) saved.push_back("main");
    HWND spectrum = ChildNamed(main, "Spectrum analyzer");
    if (spectrum && Save("spectrum_panel.png", Crop(whole, main, spectrum))) saved.push_back("spectrum");
    HWND player = FindChild(main, [&](HWND h) {
        RECT r;
        GetWindowRect(h, &r);
        return GetParent(h) == main && r.right - r.left == 320 && r.bottom - r.top == 51;
    });
    if (player && Save("player_panel.png", Crop(whole, main, player))) saved.push_back("player");
    HWND setupButton = ChildNamed(main, "Setup");
    if (!setupButton) return;
    Press(setupButton);
    HWND setup = OtherTopLevel({main});
    if (!setup) return;
    const screen_capture::Picture setupShot = screen_capture::Capture(setup);
    if (Save("setup_window.png", setupShot)) saved.push_back("setup");
    HWND graph = ChildNamed(setup, "Audio Filter Settings");
    if (graph && Save("audio_filter_graph.png", Crop(setupShot, setup, graph))) saved.push_back("graph");
    if (HWND aboutButton = ChildNamed(setup, "About")) {
        Press(aboutButton);
        HWND about = OtherTopLevel({main, setup});
        if (about && Save("about_window.png", screen_capture::Capture(about))) saved.push_back("about");
        if (HWND ok = about ? ChildNamed(about, "OK") : nullptr) Press(ok);
    }
    Press(setupButton);
}

}  // namespace

TEST(Screenshots, PluginWindowDuringARealCallAndTheWindowsItOpens) {
    testbed::VktHost host;
    e2e::RunOptions o;
    o.wav = e2e::Recording("voice-nac293-tg1.if.wav");
    o.loops = 3;   // the call stays on the screen while the pictures are taken
    // The analyzer library lies beside the DLL, where the host's installation puts it.
    char bin[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, bin, MAX_PATH);
    *std::strrchr(bin, '\\') = 0;
    SetEnvironmentVariableA("VKT_PLUGIN_PATH", bin);
    int decoded = 0;
    std::vector<std::string> saved;
    o.onCall = [&](testbed::HostCall& call, void* data) {
        if (call.msg != PMR_Media || !data || call.cbData != kMediaParamsPacketBytes) return;
        ApcoParams p;
        std::memcpy(&p, static_cast<const uint8_t*>(data) + kMediaHeaderBytes, sizeof p);
        if (p.nac != 0x293 || p.transmissionType != 4 || ++decoded != 20) return;
        g_main = call.window;
        g_saved = &saved;
        ShowWindow(g_main, SW_SHOWNA);
        SetTimer(nullptr, 0, 10, TakePictures);
    };
    const e2e::RunResult r = e2e::Run(host, o);
    EXPECT_TRUE(r.finished);
    EXPECT_TRUE(e2e::SawValue(r, &ApcoParams::nac, 0x293));
    EXPECT_EQ(saved, (std::vector<std::string>{"main", "spectrum", "player", "setup", "graph", "about"}));
}
