// The DLL against what the stand-in receiver and analyzer see: the EEPROM's linearisation
// reaching the analyzer, the receiver's volume at the close, the scanning delay while the
// receiver streams on, the audio buffer a stopped file leaves, and the filter graph's curve.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <random>
#include <set>

#include "testbed/common/screen_capture.h"
#include "testbed/common/wav16.h"
#include "tests/plugin_e2e/plugin_run.h"
#include "tests/support/wav_io.h"
#include "tests/support/widget_input.h"
#include "ui/about_dialog.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/setup_dialog.h"

namespace {

using testbed::VktHost;

CK927ApcoPluginWindow* WindowOf(HWND h) {
    return static_cast<CK927ApcoPluginWindow*>(reinterpret_cast<Object*>(GetWindowLongPtrA(h, GWLP_USERDATA)));
}

std::string IfFile(const char* name, double seconds, float level = 0.1f, double toneHz = 0) {
    std::mt19937 rng(7);
    std::normal_distribution<float> noise;
    std::vector<float> s(static_cast<size_t>(48000 * seconds));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = level * noise(rng) + 0.3f * static_cast<float>(std::sin(6.283185307 * toneHz * i / 48000));
    const std::string path = e2e::TempWav(name);
    wavtest::WriteWav16(path, s, 48000);
    return path;
}

// One session per row: the EEPROM's linearisation reaches the analyzer only with its sum, and
// the receiver's volume is given back at the close only when it was read at the connection.
// EEPROM bytes 216..226 are the coefficients + 128; 227..228 their sum (little-endian) with
// each byte clamped to 113..143 first: 128+120+140+113+143+113+143+128+129+127+135 = 1419.
TEST(PluginReceiver, EepromLinearisationOnlyWithItsSumAndVolumeRestoredOnlyWhenRead) {
    const uint8_t raw[11] = {128, 120, 140, 113, 143, 100, 200, 128, 129, 127, 135};
    const int32_t expected[11] = {0, -8, 12, -15, 15, -28, 72, 0, 1, -1, 7};
    const struct {
        const char* name;
        uint16_t sum;
        bool readable, refused, passed;  // EEPROM read, advanced mode refused, linearisation passed
    } rows[] = {{"valid sum", 1419, true, false, true},
                {"sum one off", 1420, true, false, false},
                {"sum of the unclamped bytes", 1463, true, false, false},
                {"read fails", 1419, false, false, false},
                {"advanced mode refused", 1419, true, true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        VktHost host;
        AnalyzerStats before{sizeof before}, after{sizeof after};
        ASSERT_TRUE(host.GetAnalyzerStats(&before));
        e2e::RunOptions o;
        o.wav = IfFile("e2e_noise.if.wav", 0.2);
        o.timeoutMs = row.refused ? 1500 : o.timeoutMs;  // nothing streams
        o.receiver = [&](ReceiverConfig& c) {
            c.volume = 20;
            c.refuseAdvancedMode = row.refused;
            c.eepromValid = row.readable;
            std::memset(c.eeprom, 0x5A, kReceiverEepromBytes);
            std::memcpy(&c.eeprom[216], raw, 11);
            c.eeprom[227] = static_cast<uint8_t>(row.sum);
            c.eeprom[228] = static_cast<uint8_t>(row.sum >> 8);
        };
        EXPECT_EQ(e2e::Run(host, o).finished, !row.refused);
        ReceiverStatus status{sizeof status};
        ASSERT_TRUE(host.GetReceiverStatus(&status));
        EXPECT_EQ(status.volume, 20u);
        const std::string log = host.ReceiverLog();
        EXPECT_NE(log.find(row.readable ? "K9GetEEP 1 ok" : "K9GetEEP 1 fail"), std::string::npos) << log;
        EXPECT_EQ(log.find("GetVolume") == std::string::npos, row.refused) << log;
        EXPECT_EQ(log.find("SetVolume 1 20") == std::string::npos, row.refused) << log;
        EXPECT_EQ(log.find("SetVolume 1 0"), std::string::npos) << log;
        ASSERT_TRUE(host.GetAnalyzerStats(&after));
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

// What the window hands to the plug-in as scanning spectra (the stream thread waits meanwhile).
// g_inDelay runs g_inDelayMs after the first one, or with 0 before the plug-in gets it.
std::vector<std::vector<float>> g_scanSpectra;
std::function<void()> g_inDelay;
UINT g_inDelayMs = 0;
bool g_refuseDelayTimer = false;
void CALLBACK RunInDelay(HWND, UINT, UINT_PTR id, DWORD) { KillTimer(nullptr, id), g_inDelay(); }
LRESULT CALLBACK SeeSent(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->message == WM_APCO_SENDSCANIFSPECTRUM && m->wParam && m->lParam > 0) {
        const auto* bins = reinterpret_cast<const float*>(m->wParam);
        g_scanSpectra.emplace_back(bins, bins + m->lParam);
        if (g_scanSpectra.size() == 1 && g_inDelay)
            g_inDelayMs ? void(SetTimer(nullptr, 0, g_inDelayMs, &RunInDelay)) : RunInDelay(nullptr, 0, 0, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
UINT_PTR WINAPI RefuseDelayTimer(HWND window, UINT_PTR id, UINT ms, TIMERPROC proc) {
    return g_refuseDelayTimer && id == CK927ApcoPluginWindow::kScanningDelayTimerId ? 0
                                                                                    : SetTimer(window, id, ms, proc);
}

// The receiver streams on at its real pace: a frequency's held-back first spectrum leaves once,
// 2 s after it was held back (plus its own 0.1 s), with the newest data meanwhile. With the
// longest spectrum (0.68 s of IF) a retune 1.5 s into the delay drops the held one (3 kHz tone)
// and the new frequency's (9 kHz) leaves a delay after it; switched off, none leaves. Without a
// delay timer nothing is held back, and one on its way at a retune is not the new frequency's.
TEST(PluginScanning, HeldBackSpectrumLeavesAfterTheDelayWhileTheReceiverStreams) {
    using Clock = std::chrono::steady_clock;
    constexpr uint32_t kSecond = 852000000;
    const std::string first = IfFile("e2e_scan_3k.if.wav", 5.0, 0.01f, 3000);
    const std::string second = IfFile("e2e_scan_9k.if.wav", 5.0, 0.01f, 9000);
    enum { kStay, kRetune, kOff };
    const struct {
        const char* name;
        int rbw, act, afterFirstMs, spectra;  // rbw 0: the default
        bool refuseTimer;
        double earliest, latest;  // seconds after the act or the frequency
    } rows[] = {{"streaming on", 0, kStay, 0, 1, false, 2.0, 2.5},
                {"retune in the delay", 2, kRetune, 1500, 1, false, 1.95, 2.5},
                {"scanning off in the delay", 2, kOff, 1500, 0, false, 0, 0},
                {"no delay timer, retune while the first is on its way", 2, kRetune, 0, 1, true, 0.6, 1.5}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        VktHost host;
        e2e::RunOptions o;
        o.wav = row.act == kStay ? second : first;
        o.realtime = true;
        o.receiver = [&](ReceiverConfig& c) {
            std::memcpy(c.tunedWavPath, second.c_str(), second.size() + 1);
            c.tunedHz = kSecond;
        };
        Clock::time_point acted;
        o.afterStart = [&](VktHost& h) {
            e2e::HookImport("user32", "SetTimer", reinterpret_cast<void*>(&RefuseDelayTimer));
            h.SetValue(PN_SCANNING, 1);
            h.Notify(1, PN_SCANNING, 1);
            h.Notify(1, PN_RBW, row.rbw);  // 2: 32768 points
            h.Notify(1, PN_FREQUENCY, 851000000);
            acted = Clock::now();
        };
        g_inDelay = [&] {
            if (row.act == kStay) return;
            acted = Clock::now();
            if (row.act == kOff) return host.Notify(1, PN_SCANNING, 0);
            host.TuneReceiver(kSecond);
            host.Notify(1, PN_FREQUENCY, kSecond);
        };
        g_inDelayMs = row.afterFirstMs;
        g_refuseDelayTimer = row.refuseTimer;
        int sent = 0;
        o.onCall = [&](testbed::HostCall& c, void* data) {
            if (c.msg != PMR_IFSpectrum || !data || (row.rbw && c.cbData != 16385 * 4)) return;  // not scanning
            const std::vector<float> bins(static_cast<float*>(data), static_cast<float*>(data) + c.cbData / 4);
            const double seconds = std::chrono::duration<double>(Clock::now() - acted).count();
            ReceiverStatus status{sizeof status};
            ++sent;
            EXPECT_TRUE(seconds >= row.earliest && seconds <= row.latest) << seconds;
            const auto peak = std::max_element(bins.begin(), bins.end()) - bins.begin();
            EXPECT_NEAR(peak, 0.375 * (bins.size() - 1), 2) << "not the 9 kHz tone";
            EXPECT_TRUE(host.GetReceiverStatus(&status) && status.streaming);
            ASSERT_GE(g_scanSpectra.size(), 2u) << "later spectra replace the held-back one";
            EXPECT_TRUE(bins == g_scanSpectra.back() && bins != g_scanSpectra.front()) << "not the newest data";
        };
        g_scanSpectra.clear();
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &SeeSent, nullptr, GetCurrentThreadId());
        const bool finished = e2e::Run(host, o).finished;
        UnhookWindowsHookEx(hook);
        g_refuseDelayTimer = false;
        ASSERT_TRUE(finished);
        EXPECT_EQ(sent, row.spectra);
    }
}

// Per buffer the plug-in gives the wave-out device: file samples and others.
constexpr int16_t kFileValue = 1000;
std::mutex g_writtenLock;
std::vector<std::pair<size_t, size_t>> g_written;
MMRESULT WINAPI RecordWrite(HWAVEOUT device, WAVEHDR* header, UINT size) {
    const auto* s = reinterpret_cast<const int16_t*>(header->lpData);
    const size_t n = header->dwBufferLength / 2, file = std::count(s, s + n, kFileValue);
    {
        std::lock_guard<std::mutex> lock(g_writtenLock);
        g_written.push_back({file, n - file});
    }
    static const auto real =
        reinterpret_cast<decltype(&waveOutWrite)>(GetProcAddress(GetModuleHandleA("winmm"), "waveOutWrite"));
    return real(device, header, size);
}

// A file of 3.5 output buffers plays to its end while the receiver streams silence: the half
// buffer it leaves is dropped, never topped up with the receiver's audio.
TEST(PluginRecorder, StoppedFileLeavesNoHalfFilledBufferBehind) {
    const std::string file = e2e::TempWav("e2e_fill_tone.wav");
    const std::vector<int16_t> tone(3 * 1024 + 512, kFileValue);
    ASSERT_TRUE(testbed::WriteWav16(file, tone.data(), tone.size(), 16000));
    std::vector<uint8_t> record = e2e::FreshRecord("T28fill0");  // unit volume, not muted
    VktHost host;
    e2e::RunOptions o;
    o.record = record.data();
    o.wav = IfFile("e2e_fill_silence.if.wav", 1.0, 0.0f);
    o.realtime = true;
    o.afterStart = [&](VktHost& h) {
        e2e::HookImport("winmm", "waveOutWrite", reinterpret_cast<void*>(&RecordWrite));
        CK927ApcoPluginWindow* w = WindowOf(h.Calls().back().window);
        w->OnFileNameChange.Invoke(w, file.c_str());
        w->OnStartPlay.Invoke(w);
    };
    g_written.clear();
    ASSERT_TRUE(e2e::Run(host, o).finished);
    std::lock_guard<std::mutex> lock(g_writtenLock);
    size_t fileSamples = 0, afterFile = 0;
    for (const auto& [fromFile, other] : g_written) {
        EXPECT_TRUE(fromFile == 0 || other == 0) << fromFile << " file samples beside " << other << " others";
        fileSamples += fromFile;
        afterFile += fileSamples && !fromFile;
    }
    EXPECT_EQ(fileSamples, 3 * 1024u);
    EXPECT_GT(afterFile, 0u) << "the receiver's audio played after the file";
}

HWND FindChild(HWND parent, const char* text) {
    for (HWND h = nullptr; (h = FindWindowExA(parent, h, nullptr, nullptr));) {
        char t[128] = {};
        GetWindowTextA(h, t, sizeof t);
        if (!std::strcmp(t, text)) return h;
        if (HWND below = FindChild(h, text)) return below;
    }
    return nullptr;
}

// The pixels of the graph's response pen (light cyan), taken from the screen that other
// programs' windows may share: ours goes on top first.
std::set<std::pair<int, int>> CurvePixels(HWND graph) {
    SetWindowPos(GetAncestor(graph, GA_ROOT), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const testbed::Picture p = testbed::CaptureWindow(graph);
    std::set<std::pair<int, int>> cyan;
    for (int i = 0; i < p.width * p.height; ++i)
        if (p.rgb[3 * i] == 128 && p.rgb[3 * i + 1] == 255 && p.rgb[3 * i + 2] == 255)
            cyan.insert({i % p.width, i / p.width});
    return cyan;
}

// The graph shows the filter's measured response from the start, and each filter setting the
// plug-in takes (each a change from the defaults and the step before) redraws it.
TEST(PluginHandlers, FilterGraphFollowsEveryFilterSetting) {
    std::vector<uint8_t> record = e2e::FreshRecord("T28graph");
    VktHost host;
    e2e::RunOptions o;
    o.wav = IfFile("e2e_noise.if.wav", 0.2);
    o.record = record.data();
    o.beforeClose = [&](VktHost& h) {
        HWND main = h.Calls().back().window;
        CK927ApcoPluginWindow* w = WindowOf(main);
        ShowWindow(main, SW_SHOWNA);  // the stand-in host keeps it hidden
        HWND setup = FindChild(main, "Setup");
        ASSERT_TRUE(setup);
        auto clickSetup = [&] {
            for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP}) SendMessageA(setup, m, m == WM_LBUTTONDOWN, MAKELPARAM(3, 3));
        };
        clickSetup();
        h.Pump(200);
        HWND graph = nullptr;  // in the visible top-level window of this thread that holds it
        for (HWND t = nullptr; !graph && (t = FindWindowExA(nullptr, t, nullptr, nullptr));)
            if (t != main && IsWindowVisible(t) && GetWindowThreadProcessId(t, nullptr) == GetCurrentThreadId())
                graph = FindChild(t, "Audio Filter Settings");
        ASSERT_TRUE(graph);
        auto last = CurvePixels(graph);
        EXPECT_GT(last.size(), 100u) << "no response curve at the start";
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
            const auto now = CurvePixels(graph);
            EXPECT_GT(now.size(), 100u) << step.name << ": no response curve";
            EXPECT_TRUE(now != last) << step.name << " left the curve as it was";
            last = now;
        }
        // Alt+F4 on About hides it and on the main window does nothing: About opens again.
        const HWND about = w->GetSetupDialog()->GetAboutDialog()->GetHandle();
        for (int round = 0; round < 2; ++round) {
            Click(FindChild(w->GetSetupDialog()->GetHandle(), "About"), 3, 3);
            EXPECT_TRUE(IsWindowVisible(about)) << round;
            for (HWND closed : {about, main}) SendMessageA(closed, WM_CLOSE, 0, 0);
            ASSERT_TRUE(IsWindow(about) && !IsWindowVisible(about) && IsWindow(main)) << round;
        }
        clickSetup();
    };
    const e2e::RunResult r = e2e::Run(host, o);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.offGuiThread, 0u);
}

}  // namespace
