// The whole plug-in window while the stand-in receiver streams a real recording through the
// DLL, and the windows it opens, captured from the screen as PNG into the build tree's
// artefacts folder. The windows are reached only as a user reaches them: by their buttons.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../plugin_e2e/plugin_run.h"
#include "tests/support/screen_capture.h"

namespace {

using screen_capture::Picture;

std::string BinFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    *std::strrchr(path, '\\') = 0;
    return path;
}

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

// A visible child with this text, or (null parent) a visible top-level window of this thread
// with any text other than the main window's.
HWND Find(HWND parent, const char* text, HWND besides = nullptr) {
    Search s{[&](HWND h) { return text ? TextOf(h) == text : h != besides && !TextOf(h).empty(); }};
    if (parent) EnumChildWindows(parent, Visit, reinterpret_cast<LPARAM>(&s));
    else EnumThreadWindows(GetCurrentThreadId(), Visit, reinterpret_cast<LPARAM>(&s));
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

// The part of a picture of `whole` that `part` covers.
Picture Crop(const Picture& p, HWND whole, HWND part) {
    RECT w, r;
    GetWindowRect(whole, &w);
    GetWindowRect(part, &r);
    Picture c;
    c.width = r.right - r.left;
    c.height = r.bottom - r.top;
    for (int y = 0; y < c.height; ++y) {
        const size_t from = (static_cast<size_t>(y + r.top - w.top) * p.width + (r.left - w.left)) * 3;
        c.rgb.insert(c.rgb.end(), p.rgb.begin() + from, p.rgb.begin() + from + c.width * 3);
    }
    return c;
}

HWND g_main = nullptr;
std::vector<std::string> g_saved;

void Save(const char* name, const Picture& p) {
    if (screen_capture::HasContent(p) && screen_capture::WritePng(BinFolder() + "\\..\\artefacts\\" + name + ".png", p))
        g_saved.push_back(name);
}

// Runs from the host's message loop while the call is on the screen.
void CALLBACK TakePictures(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    Settle();
    const Picture whole = screen_capture::Capture(g_main);
    Save("main_window", whole);
    if (HWND spectrum = Find(g_main, "Spectrum analyzer")) Save("spectrum_panel", Crop(whole, g_main, spectrum));
    if (HWND box = Find(g_main, "filename.wav")) Save("player_panel", Crop(whole, g_main, GetParent(box)));
    HWND setupButton = Find(g_main, "Setup");
    if (!setupButton) return;
    Press(setupButton);
    if (HWND setup = Find(nullptr, nullptr, g_main)) {
        const Picture shot = screen_capture::Capture(setup);
        Save("setup_window", shot);
        if (HWND graph = Find(setup, "Audio Filter Settings")) Save("audio_filter_graph", Crop(shot, setup, graph));
        if (HWND about = Find(setup, "About")) {
            Press(about);
            if (HWND dialog = Find(nullptr, "About")) {
                Save("about_window", screen_capture::Capture(dialog));
                if (HWND ok = Find(dialog, "OK")) Press(ok);
            }
        }
    }
    Press(setupButton);
}

}  // namespace

TEST(Screenshots, PluginWindowDuringARealCallAndTheWindowsItOpens) {
    CreateDirectoryA((BinFolder() + "\\..\\artefacts").c_str(), nullptr);
    // The analyzer library lies beside the DLL, where the host's installation puts it.
    SetEnvironmentVariableA("VKT_PLUGIN_PATH", BinFolder().c_str());
    testbed::VktHost host;
    e2e::RunOptions o;
    o.wav = e2e::Recording("voice-nac293-tg1.if.wav");
    o.loops = 3;   // the call stays on the screen while the pictures are taken
    int decoded = 0;
    o.onCall = [&](testbed::HostCall& call, void* data) {
        if (call.msg != PMR_Media || !data || call.cbData != kMediaParamsPacketBytes) return;
        ApcoParams p;
        std::memcpy(&p, static_cast<const uint8_t*>(data) + kMediaHeaderBytes, sizeof p);
        if (p.nac != 0x293 || p.transmissionType != 4 || ++decoded != 20) return;
        g_main = call.window;
        ShowWindow(g_main, SW_SHOWNA);
        SetTimer(nullptr, 0, 10, TakePictures);
    };
    const e2e::RunResult r = e2e::Run(host, o);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(g_saved, (std::vector<std::string>{"main_window", "spectrum_panel", "player_panel", "setup_window",
                                                 "audio_filter_graph", "about_window"}));
}
