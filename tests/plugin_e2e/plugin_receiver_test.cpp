// The DLL against what the stand-in receiver and analyzer see: the EEPROM's linearisation
// reaching the analyzer, the receiver's volume at the close, the scanning delay while the
// receiver streams on, the audio buffer a stopped file leaves, and the filter graph's curve.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <set>
#include <vector>

#include "testbed/common/screen_capture.h"
#include "testbed/common/wav16.h"
#include "tests/plugin_e2e/plugin_run.h"
#include "tests/support/wav_io.h"
#include "ui/k927_apco_plugin_window.h"

namespace {

using testbed::VktHost;

CK927ApcoPluginWindow* WindowOf(HWND h) {
    return static_cast<CK927ApcoPluginWindow*>(reinterpret_cast<Object*>(GetWindowLongPtrA(h, GWLP_USERDATA)));
}

// A host record for a receiver of its own whose stored settings are removed first, so that
// the plug-in starts from its defaults whatever earlier tests stored.
std::vector<uint8_t> FreshReceiver(const char* eightCharacters) {
    RegDeleteTreeA(HKEY_CURRENT_USER,
                   (std::string("Software\\Quorvane Communications\\K927Apco\\") + eightCharacters).c_str());
    testbed::HostRecordBuilder b;
    b.SetReceiverId(eightCharacters);
    return b.Build();
}

std::string NoiseIf(const char* name, double seconds) {
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    std::vector<float> s(static_cast<size_t>(48000 * seconds));
    for (float& v : s) v = noise(rng);
    const std::string path = e2e::TempWav(name);
    wavtest::WriteWav16(path, s, 48000);
    return path;
}

// EEPROM bytes 216..226 and the sum at 227..228 (little-endian).
std::vector<uint8_t> Eeprom(const uint8_t (&coeffs)[11], uint16_t sum) {
    std::vector<uint8_t> e(kReceiverEepromBytes, 0x5A);
    std::memcpy(&e[216], coeffs, 11);
    e[227] = static_cast<uint8_t>(sum);
    e[228] = static_cast<uint8_t>(sum >> 8);
    return e;
}

// Bytes outside 113..143 count clamped in the sum; each coefficient is the raw byte - 128.
// Clamped sum by hand: 128+120+140+113+143+113+143+128+129+127+135 = 1419.
TEST(PluginReceiver, EepromLinearisationReachesTheAnalyzerOnlyWithItsSum) {
    const uint8_t raw[11] = {128, 120, 140, 113, 143, 100, 200, 128, 129, 127, 135};
    const int32_t expected[11] = {0, -8, 12, -15, 15, -28, 72, 0, 1, -1, 7};
    const struct {
        const char* name;
        uint16_t sum;
        bool readable, passed;
    } rows[] = {
        {"valid sum", 1419, true, true},
        {"sum one off", 1420, true, false},
        {"sum of the unclamped bytes", 1463, true, false},
        {"read fails", 1419, false, false},
    };
    const std::string call = NoiseIf("e2e_eeprom.if.wav", 0.2);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        VktHost host;
        AnalyzerStats before{sizeof before}, after{sizeof after};
        ASSERT_TRUE(host.GetAnalyzerStats(&before));
        e2e::RunOptions o;
        o.wav = call;
        o.receiver = [&](ReceiverConfig& c) {
            c.eepromValid = row.readable ? 1 : 0;
            const std::vector<uint8_t> e = Eeprom(raw, row.sum);
            std::memcpy(c.eeprom, e.data(), e.size());
        };
        ASSERT_TRUE(e2e::Run(host, o).finished);
        ASSERT_TRUE(host.GetAnalyzerStats(&after));
        EXPECT_NE(host.ReceiverLog().find(row.readable ? "K9GetEEP 1 ok" : "K9GetEEP 1 fail"), std::string::npos);
        ASSERT_GT(after.created, before.created) << "the analyzer library was not found";
        EXPECT_EQ(after.slotCalls[kAnalyzerSetLinearization] - before.slotCalls[kAnalyzerSetLinearization],
                  row.passed ? 1u : 0u);
        if (!row.passed) continue;
        ASSERT_EQ(after.linearizationCount, 11u);
        for (int i = 0; i < 11; ++i) EXPECT_EQ(after.linearization[i], expected[i]) << i;
    }
}

// A receiver library without K9GetEEP is refused as a whole: the error box, no linearisation.
TEST(PluginReceiver, LibraryWithoutEepromCallIsRefusedAndPassesNoLinearisation) {
    unsigned long code = 0;
    const std::string text = e2e::RunHostInFolder("no_eeprom", "apco_no_eeprom", &code);
    EXPECT_EQ(code, 0u) << text;
    EXPECT_NE(text.find("message box \"K927APCO - Error\": Failed to load K927API."), std::string::npos) << text;
    EXPECT_NE(text.find("analyzer: 1 created, 0 linearisation calls"), std::string::npos) << text;
}

// The receiver's volume is given back at the close only when it was read at the connection.
TEST(PluginReceiver, VolumeRestoredOnlyWhenItWasRead) {
    const std::string call = NoiseIf("e2e_volume.if.wav", 0.2);
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "advanced mode refused" : "connected");
        VktHost host;
        e2e::RunOptions o;
        o.wav = call;
        o.timeoutMs = refused ? 1500 : o.timeoutMs;  // nothing streams
        o.receiver = [&](ReceiverConfig& c) {
            c.volume = 20;
            c.refuseAdvancedMode = refused ? 1 : 0;
        };
        e2e::Run(host, o);
        ReceiverStatus status{sizeof status};
        ASSERT_TRUE(host.GetReceiverStatus(&status));
        EXPECT_EQ(status.volume, 20u);
        const std::string log = host.ReceiverLog();
        EXPECT_EQ(log.find("GetVolume") == std::string::npos, refused) << log;
        EXPECT_EQ(log.find("SetVolume 1 20") == std::string::npos, refused) << log;
        EXPECT_EQ(log.find("SetVolume 1 0"), std::string::npos) << log;
    }
}

// What the window hands to the plug-in as scanning spectra (the stream thread waits meanwhile).
std::vector<std::vector<float>> g_scanSpectra;
LRESULT CALLBACK SeeSent(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->message == WM_APCO_SENDSCANIFSPECTRUM && m->wParam && m->lParam > 0) {
        const auto* bins = reinterpret_cast<const float*>(m->wParam);
        g_scanSpectra.emplace_back(bins, bins + m->lParam);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

double Seconds(const LARGE_INTEGER& from) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - from.QuadPart) / frequency.QuadPart;
}

// The receiver streams on at its real pace: the held-back first spectrum of the frequency
// leaves once, 2 s after it was held back (plus the first spectrum's own 0.1 s), with the
// newest data the stream gave meanwhile, and no second spectrum follows for that frequency.
TEST(PluginScanning, HeldBackSpectrumLeavesAfterTheDelayWhileTheReceiverStreams) {
    VktHost host;
    e2e::RunOptions o;
    o.wav = NoiseIf("e2e_scan_stream.if.wav", 3.5);
    o.realtime = true;
    LARGE_INTEGER start{};
    o.afterStart = [&](VktHost& h) {
        h.SetValue(PN_SCANNING, 1);
        h.Notify(1, PN_SCANNING, 1);
        h.Notify(1, PN_FREQUENCY, 851000000);
        QueryPerformanceCounter(&start);
    };
    std::vector<double> sentAt;
    std::vector<float> sent;
    size_t heldBefore = 0;
    bool streaming = false;
    o.onCall = [&](testbed::HostCall& c, void* data) {
        if (c.msg != PMR_IFSpectrum) return;
        sentAt.push_back(Seconds(start));
        heldBefore = g_scanSpectra.size();
        ReceiverStatus status{sizeof status};
        streaming = host.GetReceiverStatus(&status) && status.streaming;
        if (data) sent.assign(static_cast<float*>(data), static_cast<float*>(data) + c.cbData / 4);
    };
    g_scanSpectra.clear();
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &SeeSent, nullptr, GetCurrentThreadId());
    const e2e::RunResult r = e2e::Run(host, o);
    UnhookWindowsHookEx(hook);
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(sentAt.size(), 1u) << "one scanning spectrum for the frequency";
    EXPECT_GE(sentAt[0], 2.0);
    EXPECT_LE(sentAt[0], 2.5);
    EXPECT_TRUE(streaming);
    ASSERT_GE(heldBefore, 2u) << "later spectra replace the held-back one";
    EXPECT_EQ(sent, g_scanSpectra[heldBefore - 1]) << "the newest data";
    EXPECT_NE(sent, g_scanSpectra[0]);
}

// Buffers the plug-in gives the wave-out device: file samples and others per buffer.
constexpr int16_t kFileValue = 1000;
struct Written {
    size_t file, other;
};
std::mutex g_writtenLock;
std::vector<Written> g_written;
MMRESULT WINAPI RecordWrite(HWAVEOUT device, WAVEHDR* header, UINT size) {
    Written w{0, 0};
    const auto* s = reinterpret_cast<const int16_t*>(header->lpData);
    for (DWORD i = 0; i < header->dwBufferLength / 2; ++i) (s[i] == kFileValue ? w.file : w.other) += 1;
    {
        std::lock_guard<std::mutex> lock(g_writtenLock);
        g_written.push_back(w);
    }
    static const auto real =
        reinterpret_cast<decltype(&waveOutWrite)>(GetProcAddress(GetModuleHandleA("winmm"), "waveOutWrite"));
    return real(device, header, size);
}

// An audio file of 3.5 output buffers plays to its end while the receiver streams silence:
// the half buffer it leaves is dropped, never topped up with the receiver's audio.
TEST(PluginRecorder, StoppedFileLeavesNoHalfFilledBufferBehind) {
    const std::string dir = e2e::TempWav("apco_fill");
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string file = dir + "\\tone.wav";
    const std::vector<int16_t> tone(3 * 1024 + 512, kFileValue);
    ASSERT_TRUE(testbed::WriteWav16(file, tone.data(), tone.size(), 16000));
    std::vector<uint8_t> record = FreshReceiver("T28fill0");  // unit volume, not muted
    VktHost host;
    e2e::RunOptions o;
    o.record = record.data();
    o.wav = e2e::TempWav("e2e_fill_silence.if.wav");
    wavtest::WriteWav16(o.wav, std::vector<float>(48000, 0.0f), 48000);
    o.realtime = true;
    bool hooked = false;
    o.onCall = [&](testbed::HostCall&, void*) {
        if (hooked) return;  // the first call, before the set-up
        hooked = true;
        e2e::HookImport("winmm", "waveOutWrite", reinterpret_cast<void*>(&RecordWrite));
    };
    o.afterStart = [&](VktHost& h) {
        CK927ApcoPluginWindow* w = WindowOf(h.Calls().back().window);
        w->OnFileNameChange.Invoke(w, file.c_str());
        w->OnStartPlay.Invoke(w);
    };
    g_written.clear();
    ASSERT_TRUE(e2e::Run(host, o).finished);
    std::lock_guard<std::mutex> lock(g_writtenLock);
    size_t fileSamples = 0, afterFile = 0;
    for (const Written& w : g_written) {
        EXPECT_TRUE(w.file == 0 || w.other == 0) << w.file << " file samples beside " << w.other << " others";
        fileSamples += w.file;
        afterFile += fileSamples && !w.file;
    }
    EXPECT_EQ(fileSamples, 3 * 1024u);
    EXPECT_GT(afterFile, 0u) << "the receiver's audio played after the file";
}

// Light cyan, the graph's response pen.
std::set<std::pair<int, int>> CurvePixels(HWND graph) {
    // Taken from the screen, which other programs' windows may share: ours goes on top first.
    SetWindowPos(GetAncestor(graph, GA_ROOT), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const testbed::Picture p = testbed::CaptureWindow(graph);
    std::set<std::pair<int, int>> cyan;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* px = &p.rgb[3 * (y * p.width + x)];
            if (px[0] == 128 && px[1] == 255 && px[2] == 255) cyan.insert({x, y});
        }
    return cyan;
}

struct ChildSearch {
    const char* text;
    HWND found;
};
BOOL CALLBACK VisitChild(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<ChildSearch*>(p);
    char t[128] = {};
    GetWindowTextA(h, t, sizeof t);
    if (std::strcmp(t, s->text)) return TRUE;
    s->found = h;
    return FALSE;
}
HWND FindChild(HWND parent, const char* text) {
    ChildSearch s{text, nullptr};
    EnumChildWindows(parent, VisitChild, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

struct SetupSearch {
    HWND main, found;
};
BOOL CALLBACK VisitTopLevel(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<SetupSearch*>(p);
    if (h == s->main || !IsWindowVisible(h) || !FindChild(h, "Audio Filter Settings")) return TRUE;
    s->found = h;
    return FALSE;
}
// The setup window: the visible top-level window of this thread that holds the graph.
HWND FindSetupWindow(HWND main) {
    SetupSearch s{main, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), VisitTopLevel, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// The graph shows the filter's measured response from the start, and each filter setting
// the plug-in takes redraws it.
TEST(PluginHandlers, FilterGraphFollowsEveryFilterSetting) {
    // Defaults: each step below changes the filter.
    std::vector<uint8_t> record = FreshReceiver("T28graph");
    VktHost host;
    e2e::RunOptions o;
    o.wav = NoiseIf("e2e_graph.if.wav", 0.2);
    o.record = record.data();
    std::vector<std::pair<const char*, size_t>> curves;  // setting, cyan pixels
    std::vector<const char*> unchanged;
    o.beforeClose = [&](VktHost& h) {
        HWND main = h.Calls().back().window;
        CK927ApcoPluginWindow* w = WindowOf(main);
        ShowWindow(main, SW_SHOWNA);  // the stand-in host keeps it hidden
        HWND setup = FindChild(main, "Setup");
        ASSERT_TRUE(setup);
        SendMessageA(setup, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        SendMessageA(setup, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
        h.Pump(200);
        HWND window = FindSetupWindow(main);
        ASSERT_TRUE(window);
        HWND graph = FindChild(window, "Audio Filter Settings");
        auto last = CurvePixels(graph);
        curves.push_back({"start", last.size()});
        const struct {
            const char* name;
            Event<int>* event;
            int value;
        } steps[] = {
            {"low-pass", &w->OnAFFilterTypeChange, 1},  {"de-emphasis", &w->OnAFFilterDeempChange, -200},
            {"length", &w->OnAFLenChange, 32},          {"high cut-off", &w->OnAFFreqHighChange, 2000},
            {"band-pass", &w->OnAFFilterTypeChange, 0}, {"low cut-off", &w->OnAFFreqLowChange, 1000},
        };
        for (const auto& step : steps) {
            step.event->Invoke(w, step.value);
            h.Pump(200);  // the graph recomputes 50 ms after the filter is handed over
            auto now = CurvePixels(graph);
            curves.push_back({step.name, now.size()});
            if (now == last) unchanged.push_back(step.name);
            last = now;
        }
        SendMessageA(setup, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        SendMessageA(setup, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    };
    const e2e::RunResult r = e2e::Run(host, o);
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(curves.size(), 7u);
    for (const auto& c : curves) EXPECT_GT(c.second, 100u) << c.first << ": no response curve";
    EXPECT_TRUE(unchanged.empty()) << unchanged.front() << " left the curve as it was";
    EXPECT_EQ(r.offGuiThread, 0u);
}

}  // namespace
