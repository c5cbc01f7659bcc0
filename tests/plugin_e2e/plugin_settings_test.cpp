// The DLL under the stand-ins with stored settings: the registry round trip and bad stored
// values, the digital squelch seeded from the registry, the host squelches on generated FM,
// the call log, recording and playback driven through the main window's events and the
// player panel's own controls, and the volume and mute answers.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "testbed/common/screen_capture.h"
#include "tests/plugin_e2e/plugin_run.h"
#include "tests/support/speech_bursts.h"
#include "tests/support/squelch_tones.h"
#include "tests/support/wav_io.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "ui/audio_filter_graph.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/play_rec_panel.h"
#include "ui/setup_dialog.h"

namespace {

using Bytes = std::vector<uint8_t>;
struct Value {
    DWORD type;
    Bytes bytes;
};
using Values = std::map<std::string, Value>;

std::string KeyPath(const char* id) { return std::string("Software\\Quorvane Communications\\K927Apco\\") + id; }
Value Dword(uint32_t v) {
    return {REG_DWORD, Bytes(reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4)};
}
Value Text(const std::string& s) { return {REG_SZ, Bytes(s.begin(), s.end())}; }  // no terminator
Value Codes(std::vector<uint32_t> c) {
    return {REG_BINARY, Bytes(reinterpret_cast<uint8_t*>(c.data()), reinterpret_cast<uint8_t*>(c.data() + c.size()))};
}

void Seed(const char* id, const Values& values) {
    RegDeleteKeyA(HKEY_CURRENT_USER, KeyPath(id).c_str());
    HKEY key;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(id).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        0);
    for (const auto& v : values)
        RegSetValueExA(key, v.first.c_str(), 0, v.second.type, v.second.bytes.data(), v.second.bytes.size());
    RegCloseKey(key);
}

// The stored values; texts without their NUL, a missing value as an empty REG_NONE.
Values Stored(const char* id) {
    Values out;
    HKEY key;
    static uint8_t data[1 << 17];
    char name[256];
    DWORD n = sizeof name, size = sizeof data, type;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath(id).c_str(), 0, KEY_READ, &key)) return out;
    for (DWORD i = 0; !RegEnumValueA(key, i, name, &n, nullptr, &type, data, &size);
         ++i, n = sizeof name, size = sizeof data)
        out[name] = {type, Bytes(data, data + size - (type == REG_SZ && size && !data[size - 1]))};
    RegCloseKey(key);
    return out;
}
Bytes At(const Values& v, const char* name) { return v.count(name) ? v.at(name).bytes : Bytes(); }

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every WM_APCO_SQUELCH the thread takes from its queue while a session runs.
std::vector<WPARAM> g_squelchPosts;
LRESULT CALLBACK Posted(int code, WPARAM remove, LPARAM lParam) {
    const MSG* m = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && remove == PM_REMOVE && m->message == WM_APCO_SQUELCH) g_squelchPosts.push_back(m->wParam);
    return CallNextHookEx(nullptr, code, remove, lParam);
}

// The plug-in's imports of user32!SetTimer and winmm!waveOutOpen point here: the periods of
// its timers and the devices it opens. Its device names too: a second output device, 1, which
// plays on device 0 (the test machine has one).
std::vector<UINT> g_timerPeriods, g_openedDevices;
UINT_PTR WINAPI RecordTimer(HWND h, UINT_PTR id, UINT ms, TIMERPROC f) {
    return g_timerPeriods.push_back(ms), SetTimer(h, id, ms, f);
}
MMRESULT WINAPI RecordOpen(HWAVEOUT* out, UINT device, const WAVEFORMATEX* format, DWORD_PTR cb, DWORD_PTR user,
                           DWORD flags) {
    static const auto real =
        reinterpret_cast<decltype(&waveOutOpen)>(GetProcAddress(GetModuleHandleA("winmm"), "waveOutOpen"));
    return g_openedDevices.push_back(device), real(out, device == 1 ? 0 : device, format, cb, user, flags);
}
MMRESULT WINAPI SecondDevice(UINT_PTR device, WAVEOUTCAPSA* caps, UINT size) {
    static const auto real = reinterpret_cast<decltype(&waveOutGetDevCapsA)>(
        GetProcAddress(GetModuleHandleA("winmm"), "waveOutGetDevCapsA"));
    const MMRESULT r = real(device == 1 ? 0 : device, caps, size);
    if (device == 1 && r == MMSYSERR_NOERROR) std::strcpy(caps->szPname, "Second output");
    return r;
}
using e2e::HookImport;

// One run of the plug-in as receiver id, keeping the voice blocks with the error rate of the
// parameters before them, all audio and the squelch reports.
struct Session {
    explicit Session(const char* receiverId, std::string wav = "") {
        testbed::HostRecordBuilder b;
        b.SetReceiverId(receiverId);
        record = b.Build();
        options.record = record.data();
        options.wav = wav;
        options.onCall = [this](testbed::HostCall& c, void* data) {
            if (c.sequence == 0) {  // the first call, before the set-up
                HookImport("user32", "SetTimer", reinterpret_cast<void*>(&RecordTimer));
                HookImport("winmm", "waveOutOpen", reinterpret_cast<void*>(&RecordOpen));
                HookImport("winmm", "waveOutGetDevCapsA", reinterpret_cast<void*>(&SecondDevice));
            }
            const auto* bytes = static_cast<const uint8_t*>(data);
            if (c.msg == PMR_Media && c.cbData == kMediaParamsPacketBytes)
                std::memcpy(&params, bytes + kMediaHeaderBytes, 36);
            if (c.msg == PM_SQUELCH && c.cbData == 28)
                squelch.push_back({c.dwParam, *reinterpret_cast<const SquelchParams*>(data)});
            if (c.msg != PMR_Audio) return;
            const auto* s = reinterpret_cast<const int16_t*>(bytes + sizeof(AudioBlockHeader));
            const size_t before = audio.size();
            audio.insert(audio.end(), s, s + (c.cbData - 19) / 2);
            const bool loud = std::any_of(audio.begin() + before, audio.end(), [](int16_t v) { return v != 0; });
            if (c.cbData == 2067) voice.push_back({params.bitErrorRatePercent, loud});
            if (onAudio) onAudio(Window(), ++audioCalls);
        };
    }
    // The plug-in's main window, reached through its handle as the toolkit does.
    CK927ApcoPluginWindow* Window() {
        HWND h = host.Calls().empty() ? nullptr : host.Calls().back().window;
        return static_cast<CK927ApcoPluginWindow*>(reinterpret_cast<Object*>(GetWindowLongPtrA(h, GWLP_USERDATA)));
    }
    e2e::RunResult Run() {
        g_squelchPosts.clear(), g_timerPeriods.clear(), g_openedDevices.clear();
        HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, &Posted, nullptr, GetCurrentThreadId());
        e2e::RunResult r = e2e::Run(host, options);
        UnhookWindowsHookEx(hook);
        return r;
    }
    size_t Loud() const {
        return std::count_if(voice.begin(), voice.end(), [](const Voice& v) { return v.loud; });
    }

    Bytes record;
    testbed::VktHost host;
    e2e::RunOptions options;
    ApcoParams params{};
    struct Voice {
        float ber;
        bool loud;
    };
    std::vector<Voice> voice;
    std::vector<int16_t> audio;
    std::vector<std::pair<uint32_t, SquelchParams>> squelch;
    std::function<void(CK927ApcoPluginWindow*, int)> onAudio;
    int audioCalls = 0;
};

std::string GeneratedCall() {  // NAC 0x2A7, TGID 0x1234, SID 0xABCDE
    static std::string path;
    int frames = 0;
    if (path.empty()) path = e2e::WriteTestCall("e2e_settings_call.if.wav", 0x80, &frames);
    return path;
}

TEST(PluginSettings, FreshCloseWritesDefaultsAndStoredValuesComeBack) {
    RegDeleteKeyA(HKEY_CURRENT_USER, KeyPath("T18fresh").c_str());
    Session("T18fresh").Run();
    const Values saved = Stored("T18fresh");
    const std::map<std::string, uint32_t> defaults = {{"DemodulationMode", 0},
                                                      {"NotchEnabled", 0},
                                                      {"NotchFrequency", 0},
                                                      {"NotchWidth", 100},
                                                      {"Volume", 8},
                                                      {"Mute", 0},
                                                      {"SquelchBER", 0},
                                                      {"SquelchFlag", 0},
                                                      {"LevelSqVal", 0},
                                                      {"NoiseSqVal", 0},
                                                      {"VoiceSqVal", 0},
                                                      {"CTCSSSqVal", 0},
                                                      {"DCSSqVal", 0},
                                                      {"AFFreqLow", 300},
                                                      {"AFFreqHigh", 3000},
                                                      {"AFLowppas", 0},
                                                      {"AFDeemphasis", 0xFFFFFFC4u},
                                                      {"AFFilterLen", 512},
                                                      {"AFEnabled", 1},
                                                      {"SquelchType", 0},
                                                      {"InvertSquelch", 0},
                                                      {"PauseUnderSquelch", 0},
                                                      {"PauseNoApco", 0},
                                                      {"LoggingParams", 0x80000001u},
                                                      {"LoggingEnabled", 0}};
    for (const auto& d : defaults) EXPECT_EQ(At(saved, d.first.c_str()), Dword(d.second).bytes) << d.first;
    for (const char* text : {"SelectedFile", "WaveOutDevice", "LogFileName"})
        EXPECT_TRUE(saved.count(text) && saved.at(text).type == REG_SZ) << text;
    EXPECT_EQ(saved.size(), defaults.size() + 3 + saved.count("AudioDir"));  // empty lists are not stored

    const std::string folder = e2e::TempWav("apco_round");  // holds the selected file
    CreateDirectoryA(folder.c_str(), nullptr);
    wavtest::WriteWav16(folder + "\\x.wav", std::vector<float>(800, 0.0f), 8000);
    const Values stored = {{"DemodulationMode", Dword(1)},
                           {"AudioDir", Text(folder)},
                           {"NotchEnabled", Dword(1)},
                           {"NotchFrequency", Dword(-500)},
                           {"NotchWidth", Dword(250)},
                           {"SelectedFile", Text("x.wav")},
                           {"Volume", Dword(12)},
                           {"Mute", Dword(1)},
                           {"SquelchNAC", Codes({0x100, 0x2A7})},
                           {"SquelchTGID", Codes({7})},
                           {"SquelchSID", Codes({1, 2, 3})},
                           {"SquelchDID", Codes({0xFFFFFF})},
                           {"SquelchBER", Dword(7)},
                           {"SquelchFlag", Dword(0x204)},
                           {"LevelSqVal", Dword(3)},
                           {"NoiseSqVal", Dword(40)},
                           {"VoiceSqVal", Dword(55)},
                           {"CTCSSSqVal", Dword(100000)},
                           {"DCSSqVal", Dword(-35)},
                           {"AFFreqLow", Dword(400)},
                           {"AFFreqHigh", Dword(2500)},
                           {"AFLowppas", Dword(1)},
                           {"AFDeemphasis", Dword(-30)},
                           {"AFFilterLen", Dword(256)},
                           {"AFEnabled", Dword(0)},
                           {"SquelchType", Dword(0x11)},
                           {"InvertSquelch", Dword(1)},
                           {"PauseUnderSquelch", Dword(1)},
                           {"PauseNoApco", Dword(1)},
                           {"LoggingParams", Dword(0x8000000A)},
                           {"LoggingEnabled", Dword(0)}};
    Seed("T18round", stored);
    Session("T18round").Run();
    const Values back = Stored("T18round");
    for (const auto& v : stored) EXPECT_EQ(At(back, v.first.c_str()), v.second.bytes) << v.first;
    // A close inside the start, before the stored values are read, leaves them as they are.
    Session early("T18round");
    early.options.onCall = [&](testbed::HostCall& c, void*) {
        if (c.sequence == 0) early.host.Notify(1, PN_CLOSE);
    };
    early.Run();
    EXPECT_EQ(early.host.Count(PM_CLOSED), 1u);
    const Values kept = Stored("T18round");
    for (const auto& v : stored) EXPECT_EQ(At(kept, v.first.c_str()), v.second.bytes) << "after an early close: " << v.first;

    RegDeleteKeyA(HKEY_CURRENT_USER, KeyPath("unknown").c_str());
    testbed::VktHost host;
    e2e::Run(host, e2e::RunOptions());  // no host record
    EXPECT_EQ(Stored("unknown").count("AFFilterLen"), 1u);
}

// Each stored value of the wrong type, range or length loads as its default or its sound part.
TEST(PluginSettings, MalformedStoredValuesLoadSafely) {
    std::vector<uint32_t> many(5000);
    for (uint32_t i = 0; i < many.size(); ++i) many[i] = i;
    Value nine = Codes({0x12345, 0x2A7});
    nine.bytes.push_back(0xEE);  // a partial word
    const struct {
        const char* name;
        Value stored, expected;
    } rows[] = {
        {"DemodulationMode", Dword(7), Dword(0)},
        {"Volume", Dword(99), Dword(8)},
        {"Volume", Text("12"), Dword(8)},
        {"SquelchBER", Dword(1000), Dword(0)},
        {"AFFilterLen", Dword(0), Dword(512)},
        {"AFFilterLen", Dword(8192), Dword(4096)},  // beyond the window's field: its limit
        {"AFDeemphasis", Dword(50), Dword(-60)},
        {"AFDeemphasis", Dword(-150), Dword(-100)},
        {"AFFreqHigh", Dword(100000), Dword(3000)},
        {"AFFreqHigh", Dword(12000), Dword(8000)},  // beyond the window's cut-off field: its limit
        {"VoiceSqVal", Dword(500), Dword(0)},
        {"SquelchNAC", nine, Codes({0x2A7, 0x345})},  // masked to 12 bits, ordered
        {"SquelchTGID", Codes(many), Codes(std::vector<uint32_t>(many.begin(), many.begin() + 4096))},
        {"SquelchSID", Text("abc"), {0, {}}},
        {"LogFileName", {REG_BINARY, Bytes(300, 'A')}, Text("")},
        {"SelectedFile", {REG_SZ, Bytes(5000, 'B')}, Text("filename.wav")},  // the box's text: no file selected
    };
    auto number = [](const Bytes& b) {
        int32_t v = 0;
        std::memcpy(&v, b.data(), std::min<size_t>(b.size(), 4));
        return v;
    };
    for (const auto& r : rows) {
        Seed("T18bad", {{r.name, r.stored}});
        Session s("T18bad");
        // Filter length, de-emphasis (tenths of dB/oct) and high cut-off as the setup window and
        // its graph hold them.
        std::vector<int32_t> shown;
        s.options.beforeClose = [&](testbed::VktHost&) {
            CSetupDialog* setup = s.Window()->GetSetupDialog();
            const float graph = setup->GetGraph()->GetDeemphasis();
            shown = {setup->GetAFFilterLen(), setup->GetAFDeemphasis(), static_cast<int32_t>(std::lround(graph * 10)),
                     setup->GetAFFreqHigh()};
        };
        s.Run();
        const Values saved = Stored("T18bad");
        EXPECT_EQ(At(saved, r.name), r.expected.bytes) << r.name;
        // The plug-in saves what it filters with: the window and the graph show the same.
        const int32_t deemphasis = number(At(saved, "AFDeemphasis"));
        EXPECT_EQ(shown, (std::vector<int32_t>{number(At(saved, "AFFilterLen")), deemphasis, deemphasis,
                                               number(At(saved, "AFFreqHigh"))}))
            << r.name;
    }
}

// The generated call with the digital squelch seeded from the registry.
TEST(PluginSquelch, DigitalSquelchPassesListedCodesOnly) {
    const struct {
        const char* name;
        uint32_t type, invert, mode;
        std::vector<uint32_t> nacs;
        bool loud;
    } rows[] = {
        {"listed NAC passes", 1, 0, 0, {0x100, 0x2A7}, true},
        {"unlisted NAC silenced", 1, 0, 0, {0x100}, false},
        {"invert: listed NAC silenced", 1, 1, 0, {0x2A7}, false},
        {"invert: unlisted NAC passes", 1, 1, 0, {0x100}, true},
        {"TGID decides after NAC", 3, 0, 0, {0x2A7}, false},
        {"FM only: no digital bit", 1, 0, 2, {0x100}, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Seed("T18sq", {{"SquelchType", Dword(r.type)},
                       {"InvertSquelch", Dword(r.invert)},
                       {"DemodulationMode", Dword(r.mode)},
                       {"SquelchNAC", Codes(r.nacs)},
                       {"SquelchTGID", Codes({0x999})}});
        Session s("T18sq", GeneratedCall());
        ASSERT_TRUE(s.Run().finished);
        const bool shown = std::any_of(g_squelchPosts.begin(), g_squelchPosts.end(), [](WPARAM w) { return w & 2; });
        // Before the call no NAC is decoded: an unlisted value, squelched unless inverted.
        EXPECT_EQ(shown, r.mode != 2 && !(r.invert && r.loud));
        if (r.mode == 2) continue;
        ASSERT_GT(s.voice.size(), 20u);
        EXPECT_EQ(s.Loud(), r.loud ? s.voice.size() : 0u);
    }
}

// The error-rate limit closes at the first rate word above limit x 10.
TEST(PluginSquelch, ErrorRateLimitClosesAboveTheLimit) {
    Seed("T18ber", {{"SquelchType", Dword(16)}, {"SquelchBER", Dword(0)}});  // the recording peaks at 0.4 %
    Session s("T18ber", e2e::Recording("voice-nac293-tg1.if.wav"));
    ASSERT_TRUE(s.Run().finished);
    size_t above = 0;
    for (const auto& v : s.voice) {
        above += std::lround(v.ber * 10) > 0;
        EXPECT_EQ(v.loud, std::lround(v.ber * 10) == 0) << v.ber;
    }
    EXPECT_GT(above, 0u);
    EXPECT_GT(s.Loud(), 10u);
}

// The user switches lists and adds codes while the stream thread evaluates the squelch on
// every block.
TEST(PluginSquelch, ListEditsDuringStreaming) {
    Seed("T18edit", {});
    Session s("T18edit", GeneratedCall());
    s.options.loops = 3;
    s.onAudio = [](CK927ApcoPluginWindow* w, int n) {
        const char* press = n % 4 == 0 ? "NAC" : n % 4 == 2 ? "TGID" : "Add";
        for (HWND panel = GetWindow(w->GetHandle(), GW_CHILD); panel; panel = GetWindow(panel, GW_HWNDNEXT))
            for (HWND b = GetWindow(panel, GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT)) {
                char text[16] = {};
                GetWindowTextA(b, text, sizeof text);
                if (!std::strcmp(text, press))
                    SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, 0), SendMessageA(b, WM_LBUTTONUP, 0, 0);
            }
    };
    const e2e::RunResult r = s.Run();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.lastMessage, PM_CLOSED);
    EXPECT_FALSE(At(Stored("T18edit"), "SquelchNAC").empty() || At(Stored("T18edit"), "SquelchTGID").empty());
}

// FM-modulated IF at 48000 samples per second, carrier 12000 Hz; audio in the demodulator's
// 16-bit units (32767 = pi radians per sample).
std::string FmIf(const char* name, const std::vector<int16_t>& audio) {
    constexpr double kPi = 3.14159265358979323846;
    std::vector<float> iff(audio.size());
    double phase = 0;
    for (size_t n = 0; n < audio.size(); ++n)
        iff[n] = static_cast<float>(0.5 * std::cos(phase += kPi / 2 + audio[n] * kPi / 32767));
    const std::string path = e2e::TempWav(name);
    wavtest::WriteWav16(path, iff, 48000);
    return path;
}

TEST(PluginSquelch, HostSquelchesOnGeneratedFm) {
    const std::string tone = FmIf("e2e_ctcss.if.wav", MakeCtcssAudio(48000, 100.0, 3, 2000, 300, 1));
    const std::string speech = FmIf("e2e_speech.if.wav", MakeSpeechBursts(48000, 4, 4000, 4));
    const struct {
        const char* name;
        std::string wav;
        uint32_t flag;
        SquelchParams set;
        uint32_t status;  // expected in some report
        int word;         // the measured word, with its value there (-1: any)
        int32_t value;
    } rows[] = {
        {"CTCSS equal", tone, 0x4, {0, 0, 100000}, 4, 2, 100000},
        {"CTCSS other", tone, 0x4, {0, 0, 67000}, 0, 2, 100000},
        {"DCS 023 inverted",
         FmIf("e2e_dcs.if.wav", MakeDcsAudio(48000, 023, true, 3, 2000, 300, 2)),
         0x200,
         {0, 0, 0, 0, 0, 0, -023},
         0x200,
         6,
         -023},
        {"noise below threshold", FmIf("e2e_noise.if.wav", MakeNoiseAudio(48000, 3, 3000, 3)), 0x2, {0, 100}, 2, 1, -1},
        {"voice", speech, 0x100, {0, 0, 0, 0, 0, 20}, 0x100, 5, -1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Seed("T18fm", {{"DemodulationMode", Dword(2)},
                       {"SquelchFlag", Dword(r.flag)},
                       {"NoiseSqVal", Dword(r.set.noiseLevel)},
                       {"CTCSSSqVal", Dword(r.set.ctcssMilliHz)},
                       {"VoiceSqVal", Dword(r.set.voicePercent)},
                       {"DCSSqVal", Dword(r.set.dcsCode)}});
        Session s("T18fm", r.wav);
        ASSERT_TRUE(s.Run().finished);
        const auto match = [&](const std::pair<uint32_t, SquelchParams>& q) {
            const int32_t measured = reinterpret_cast<const int32_t*>(&q.second)[r.word];
            return q.first == r.status && (r.value == -1 || measured == r.value) && (r.flag != 2 || measured <= 99);
        };
        EXPECT_TRUE(std::any_of(s.squelch.begin(), s.squelch.end(), match)) << s.squelch.size() << " reports";
    }
    // Every tone of the table, set as the host sends it, opens the CTCSS squelch: the tones one
    // after another, 1.2 s each (the 0.74 s window then holds the tone alone for a while), the
    // host's setting following the stream to the tone the block in hand carries.
    constexpr double kToneSeconds = 1.2;
    std::vector<int16_t> tones;
    for (int t = 0; t < 52; ++t) {
        const std::vector<int16_t> a = MakeCtcssAudio(48000, kCtcssHostMilliHz[t] / 1000.0, kToneSeconds, 2000, 300, t);
        tones.insert(tones.end(), a.begin(), a.end());
    }
    Seed("T18fm", {{"DemodulationMode", Dword(2)}, {"SquelchFlag", Dword(0x4)}, {"CTCSSSqVal", Dword(0)}});
    Session every("T18fm", FmIf("e2e_ctcss_all.if.wav", tones));
    int inForce = -1;  // the tone whose setting the plug-in holds
    std::vector<int> opened(52);
    every.options.onCall = [&, record = every.options.onCall](testbed::HostCall& c, void* data) {
        record(c, data);
        if (c.msg != PM_SQUELCH || c.cbData != 28) return;
        const SquelchParams& p = *static_cast<const SquelchParams*>(data);
        if (inForce >= 0 && c.dwParam == 4 && p.ctcssMilliHz == kCtcssHostMilliHz[inForce]) ++opened[inForce];
        ReceiverStatus status{sizeof status};
        if (!every.host.GetReceiverStatus(&status)) return;  // the block in hand starts where the last ended
        const int t = static_cast<int>(std::min<uint64_t>(51, status.bytesDelivered / (kToneSeconds * 96000)));
        if (t == inForce) return;
        inForce = t;
        SquelchParams set{};
        set.ctcssMilliHz = kCtcssHostMilliHz[t];
        every.host.Notify(1, PN_SQUELCHSETTINGS, 0x4, sizeof set, &set);
    };
    ASSERT_TRUE(every.Run().finished);
    for (int t = 0; t < 52; ++t) EXPECT_GT(opened[t], 0) << "never opened at " << kCtcssHostMilliHz[t] << " mHz";

    Session muted("T18fm", speech);  // the host's squelch closes the output
    muted.options.afterStart = [](testbed::VktHost& h) { h.Notify(1, PN_SQUELCH, 1); };
    ASSERT_TRUE(muted.Run().finished);
    ASSERT_GT(muted.audio.size(), 16000u);
    EXPECT_TRUE(std::all_of(muted.audio.begin(), muted.audio.end(), [](int16_t v) { return v == 0; }));
}

TEST(PluginCallLog, EventAndPeriodicLogsFilterAndErrors) {
    const std::string log = e2e::TempWav("apco_calls.csv"),
                      header = "\r\nDate, Time (UTC), Frequency (Hz), Mode, NAC, TGID, SID, DID\r\n";
    DeleteFileA(log.c_str());
    const struct {
        const char* name;
        std::string file;
        uint32_t params;
        std::vector<uint32_t> nacs;  // with bit 30: the NAC list
        const char* expected;        // error text, or text in the new block ("": none written)
        int lines;                   // at least so many entries in the new block
    } rows[] = {
        {"event logging", log, 0x80000001u, {}, ", 679, 4660, 703710, ------\r\n", 3},
        {"reopened: appends, filtered out by the list", log, 0xC0000001u, {0x100}, "DID\r\n", 0},
        {"filter passes the listed NAC", log, 0xC0000001u, {0x2A7}, ", 679, ", 1},
        {"periodic, 3600 s at most: nothing before the first tick", log, 0x0000FFFFu, {}, "", 0},
        {"periodic, 10 s", log, 0x0000000Au, {}, "", 0},
        {"interval 0", log, 0x00000000u, {}, "Invalid time interval for logging.", 0},
        {"unopenable path",
         e2e::TempWav("no\\such\\folder\\x.csv"),
         0x80000001u,
         {},
         "Failed to open the log file.",
         0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Seed("T18log", {{"LoggingEnabled", Dword(1)},
                        {"LogFileName", Text(r.file)},
                        {"LoggingParams", Dword(r.params)},
                        {"SquelchNAC", Codes(r.nacs)},
                        {"SquelchType", Dword(r.nacs.empty() ? 0 : 1)}});
        const size_t before = ReadText(log).size();
        Session s("T18log", GeneratedCall());
        s.host.DismissCaption("K927APCO - Error");
        bool alone = false;  // the file can be opened without sharing while the plug-in runs
        s.options.beforeClose = [&](testbed::VktHost&) {
            HANDLE h = CreateFileA(log.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            alone = h != INVALID_HANDLE_VALUE && CloseHandle(h);
        };
        ASSERT_TRUE(s.Run().finished);
        const std::string added = ReadText(log).substr(before);
        const std::string boxes = s.host.Dismissed().empty() ? "" : s.host.Dismissed().back().text;
        const bool error = std::strncmp(r.expected, "Failed", 6) == 0 || std::strncmp(r.expected, "Invalid", 7) == 0;
        EXPECT_TRUE(error ? boxes.find(r.expected) != std::string::npos : boxes.empty()) << boxes;
        EXPECT_EQ(alone, error);
        const UINT period = r.params & 0x80000000u ? 0 : std::min(r.params & 0xFFFF, 3600u) * 1000;
        EXPECT_EQ(std::count(g_timerPeriods.begin(), g_timerPeriods.end(), period), period ? 1 : 0);
        if (error || !*r.expected) {
            EXPECT_EQ(added, "");
            continue;
        }
        ASSERT_EQ(added.compare(0, header.size(), header), 0) << added;
        EXPECT_NE(added.find(r.expected), std::string::npos) << added;
        EXPECT_GE(std::count(added.begin(), added.end(), '\n') - 2, r.lines) << added;
        if (r.params & 0x40000000u && r.nacs[0] != 0x2A7) EXPECT_EQ(added.find(", 679, "), std::string::npos) << added;
    }
}

// The panel's IF toggle, clicked as a user would (the panel's code lives in the DLL; this
// program reaches the window only through its handles and inline accessors).
void Click(HWND button) {
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
}
void SelectIF(CK927ApcoPluginWindow* w, bool on) {
    Button* ifButton = w->GetPlayRecPanel()->GetIFButton();
    if (ifButton->IsDown() != on) Click(ifButton->GetHandle());
}

// A name typed into the panel's file box, which recordings take.
void TypeName(CK927ApcoPluginWindow* w, const char* name) {
    SetWindowTextA(w->GetPlayRecPanel()->GetFileBox()->GetHandle(), name);
}

// The DLL's SHGetSpecialFolderPathA: a documents folder of the test's own.
std::string g_documents;
BOOL WINAPI TestDocuments(HWND, LPSTR path, int, BOOL) {
    std::strcpy(path, g_documents.c_str());
    return TRUE;
}

// No log file name stored, the default log folder missing and the recordings elsewhere:
// logging on at start, or Log pressed, writes the default file (its folder made) without an
// error box, and the stored name stays empty.
TEST(PluginCallLog, DefaultFileOnFirstUse) {
    g_documents = e2e::TempWav("apco_documents");
    const std::string audio = e2e::TempWav("apco_log_audio"), folder = g_documents + "\\Quorvane\\APCO",
                      file = folder + "\\ApcoLog.csv",
                      header = "\r\nDate, Time (UTC), Frequency (Hz), Mode, NAC, TGID, SID, DID\r\n";
    CreateDirectoryA(g_documents.c_str(), nullptr);
    CreateDirectoryA(audio.c_str(), nullptr);
    const struct {
        const char* name;
        bool pressLog;
        uint32_t params;
        long entries;  // at least
    } rows[] = {{"every second from the start", false, 0x00000001u, 4}, {"Log pressed", true, 0x80000001u, 1}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        DeleteFileA(file.c_str());
        RemoveDirectoryA(folder.c_str());
        RemoveDirectoryA((g_documents + "\\Quorvane").c_str());
        Seed("T41log",
             {{"LoggingEnabled", Dword(!r.pressLog)}, {"LoggingParams", Dword(r.params)}, {"AudioDir", Text(audio)}});
        Session s("T41log", GeneratedCall());
        s.host.DismissCaption("K927APCO - Error");
        const auto record = s.options.onCall;
        s.options.onCall = [&](testbed::HostCall& c, void* data) {
            if (c.sequence == 0)
                HookImport("shell32", "SHGetSpecialFolderPathA", reinterpret_cast<void*>(&TestDocuments));
            record(c, data);
        };
        if (r.pressLog)
            s.options.afterStart = [&](testbed::VktHost&) {
                const HWND log = FindWindowExA(s.Window()->GetHandle(), nullptr, nullptr, "Log");
                ASSERT_NE(log, nullptr);
                Click(log);
            };
        auto entries = [&] {
            const std::string text = ReadText(file);
            return std::count(text.begin(), text.end(), '\n') - 2;
        };
        s.options.beforeClose = [&](testbed::VktHost& h) {
            h.PumpUntil([&] { return entries() >= r.entries; }, 10000);
        };
        ASSERT_TRUE(s.Run().finished);
        const std::string text = ReadText(file);
        EXPECT_EQ(text.compare(0, header.size(), header), 0) << text;
        EXPECT_GE(entries(), r.entries) << text;
        EXPECT_TRUE(s.host.Dismissed().empty()) << s.host.Dismissed()[0].text;
        const Values saved = Stored("T41log");
        ASSERT_TRUE(saved.count("LogFileName"));
        EXPECT_EQ(saved.at("LogFileName").type, static_cast<DWORD>(REG_SZ));
        EXPECT_TRUE(saved.at("LogFileName").bytes.empty());
    }
}

// Recording and playback through the window's events, as the player panel raises them.
TEST(PluginRecorder, RecordingsPlaybackAndOverwrite) {
    const std::string dir = e2e::TempWav("apco_rec"), ifPath = dir + "\\take.if.wav", audioPath = dir + "\\take.wav";
    CreateDirectoryA(dir.c_str(), nullptr);
    DeleteFileA(ifPath.c_str());
    DeleteFileA(audioPath.c_str());
    std::vector<int16_t> source, recorded;
    int rate = 0;
    ASSERT_TRUE(wavtest::ReadWav16(GeneratedCall(), &source, &rate));
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    for (int ifRecording : {1, 0}) {
        SCOPED_TRACE(ifRecording ? "IF" : "audio");
        Seed("T18rec", {{"AudioDir", Text(dir)}, {"SelectedFile", Text("take.if.wav")}});
        Session s("T18rec", GeneratedCall());
        s.options.afterStart = [&](testbed::VktHost&) {
            TypeName(s.Window(), "take.if.wav");
            SelectIF(s.Window(), ifRecording != 0);
            s.Window()->OnRecordStart.Invoke(s.Window());
        };
        // Stopped while the stream still runs: the file stays a complete WAV.
        s.onAudio = [](CK927ApcoPluginWindow* w, int n) { n == 40 ? w->OnPlayRecStop.Invoke(w) : void(); };
        ASSERT_TRUE(s.Run().finished);
        EXPECT_EQ(std::count_if(s.host.Calls().begin(), s.host.Calls().end(),
                                [](const testbed::HostCall& c) { return c.msg == PM_SETFLAGS && c.dwParam == 0; }),
                  1)
            << "the host's flags stay after a recording; only the close clears them";
        ASSERT_TRUE(wavtest::ReadWav16(ifRecording ? ifPath : audioPath, &recorded, &rate));
        const std::vector<int16_t>& expected = ifRecording ? source : s.audio;
        EXPECT_EQ(rate, ifRecording ? 48000 : 16000);
        ASSERT_GT(recorded.size(), rate / 2u);
        ASSERT_LT(recorded.size(), expected.size());
        EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), expected.begin()));
    }

    EXPECT_EQ(SetErrorMode(0), UINT(SEM_NOGPFAULTERRORBOX)) << "the audio folder's check restores the error mode";

    // Played back in place of the receiver (which streams silence meanwhile); then a second
    // IF recording to the same name asks first, and the dismissed question keeps the file.
    const size_t ifBytes = ReadText(ifPath).size();
    const std::string silence = e2e::TempWav("e2e_silence.if.wav"), stereo = dir + "\\stereo.wav";
    wavtest::WriteWav16(silence, std::vector<float>(48000 * 8, 0.0f), 48000);
    const uint32_t stereoHeader[] = {0x46464952, 44,         0x45564157, 0x20746d66, 16, 0x00020001, 48000,
                                     192000,     0x00100004, 0x61746164, 8,          0,  0};
    std::ofstream(stereo, std::ios::binary).write(reinterpret_cast<const char*>(stereoHeader), sizeof stereoHeader);
    for (const std::string& file : {ifPath, stereo}) {
        const bool plays = file == ifPath;
        SCOPED_TRACE(file);
        Seed("T18rec", {{"AudioDir", Text(dir)}, {"SelectedFile", Text("take.if.wav")}});
        Session s("T18rec", silence);
        s.host.DismissCaption("Overwrite existing file?");
        s.options.afterStart = [&](testbed::VktHost&) {
            CK927ApcoPluginWindow* w = s.Window();
            w->OnFileNameChange.Invoke(w, file.c_str());
            w->OnStartPlay.Invoke(w);
            if (!plays) return;
            w->OnPlayRecPause.Invoke(w, 1);  // skipping while paused shows the new place
            w->OnFileTimePosChange.Invoke(w, 1);
            EXPECT_EQ(w->GetPlayRecPanel()->GetFilePosTime(), 1u);
            w->OnFileTimePosChange.Invoke(w, -10);
            EXPECT_EQ(w->GetPlayRecPanel()->GetFilePosTime(), 0u);
            w->OnPlayRecPause.Invoke(w, 0);
        };
        s.options.beforeClose = [&](testbed::VktHost&) {
            TypeName(s.Window(), "take.if.wav");
            SelectIF(s.Window(), true);
            s.Window()->OnRecordStart.Invoke(s.Window());
        };
        const e2e::RunResult r = s.Run();
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(e2e::SawValue(r, &ApcoParams::nac, 0x2A7), plays);
        EXPECT_EQ(s.host.Count(PM_SETFLAGS) > 2, plays) << "0x800 while playing, the kept flags after";
        ASSERT_FALSE(s.host.Dismissed().empty());
        EXPECT_NE(s.host.Dismissed().back().text.find(ifPath), std::string::npos);
    }
    EXPECT_EQ(ReadText(ifPath).size(), ifBytes);
}

// A real recording named in the panel's file box and started by its Play button, while the
// receiver streams silence, decodes as the receiver's own stream of it does. The whole window
// is pictured mid-call (into the build tree's artefacts folder).
TEST(PluginRecorder, PanelPlaybackDecodesLikeTheReceiverStream) {
    const char* name = "voice-nac293-tg1.if.wav";
    const std::string dir = e2e::TempWav("apco_panel"), copy = dir + "\\" + name,
                      silence = e2e::TempWav("e2e_silence12.if.wav");
    CreateDirectoryA(dir.c_str(), nullptr);
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);  // the shared data is read-only
    ASSERT_TRUE(CopyFileA(e2e::Recording(name).c_str(), copy.c_str(), FALSE));
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    wavtest::WriteWav16(silence, std::vector<float>(48000 * 12, 0.0f), 48000);

    Seed("T20panel", {});
    Session stream("T20panel", e2e::Recording(name));
    const e2e::RunResult expected = stream.Run();
    Seed("T20panel", {{"AudioDir", Text(dir)}});
    Session panel("T20panel", silence);
    bool playEnabled = false;
    panel.options.afterStart = [&](testbed::VktHost&) {
        TypeName(panel.Window(), name);
        const HWND play = panel.Window()->GetPlayRecPanel()->GetPlayButton()->GetHandle();
        playEnabled = IsWindowEnabled(play);
        Click(play);
    };
    const std::string shot = e2e::PluginPath().substr(0, e2e::PluginPath().find_last_of("\\/")) + "\\..\\artefacts";
    bool pictured = false;
    panel.onAudio = [&](CK927ApcoPluginWindow* w, int) {
        if (pictured || panel.voice.size() < 40) return;
        pictured = true;
        CreateDirectoryA(shot.c_str(), nullptr);
        ShowWindow(w->GetHandle(), SW_SHOWNA);  // the stand-in host keeps it hidden
        const testbed::Picture p = testbed::CaptureWindow(w->GetHandle());
        EXPECT_TRUE(p.HasContent() && testbed::WritePng(shot + "\\panel_playback_window.png", p));
    };
    const e2e::RunResult played = panel.Run();
    ASSERT_TRUE(expected.finished && played.finished);
    EXPECT_TRUE(playEnabled);
    EXPECT_TRUE(pictured);
    for (const e2e::RunResult* r : {&expected, &played}) {
        SCOPED_TRACE(r == &played ? "panel" : "stream");
        EXPECT_TRUE(e2e::SawValue(*r, &ApcoParams::nac, 0x293));
        EXPECT_TRUE(e2e::SawValue(*r, &ApcoParams::tgid, 1));
        EXPECT_TRUE(e2e::SawValue(*r, &ApcoParams::sourceId, 1));
        EXPECT_TRUE(e2e::SawValue(*r, &ApcoParams::algorithmId, 0x80));
    }
    ASSERT_GT(stream.voice.size(), 40u);
    EXPECT_EQ(panel.voice.size(), stream.voice.size());
    EXPECT_EQ(panel.Loud(), stream.Loud());
}

TEST(PluginHandlers, VolumeAnswersOnlyOnChangeMuteAlways) {
    Seed("T18vol", {});
    Session s("T18vol", GeneratedCall());
    std::vector<uint32_t> volumes, mutes;
    s.options.afterStart = [&](testbed::VktHost& h) {
        volumes.clear(), mutes.clear();
        for (uint32_t v : {8u, 8u, 20u, 20u, 99u, 40u, 0xFFFFFFFFu, 0x80000000u}) h.Notify(1, PN_VOLUME, v);
        for (uint32_t m : {1u, 1u, 0u}) h.Notify(1, PN_MUTE, m);
    };
    s.options.onCall = [&, session = s.options.onCall](testbed::HostCall& c, void* data) {
        session(c, data);
        if (c.msg == PM_VOLUME || c.msg == PM_MUTE) (c.msg == PM_VOLUME ? volumes : mutes).push_back(c.dwParam);
    };
    // Loading chose device 0 (no stored name); choosing it again changes nothing, another
    // device reopens the running output on it, once.
    size_t opened = 0;
    s.options.beforeClose = [&](testbed::VktHost&) {
        opened = g_openedDevices.size();
        for (int device : {0, 1, 1}) s.Window()->OnWaveOutDeviceChange.Invoke(s.Window(), device);
    };
    s.Run();
    ASSERT_GT(opened, 0u);
    EXPECT_EQ(g_openedDevices.size(), opened + 1);
    EXPECT_EQ(g_openedDevices.back(), 1u);
    // Words that clamp to the volume already set (40 at 32, a second negative one at 0) change nothing.
    EXPECT_EQ(volumes, (std::vector<uint32_t>{20, 32, 0}));
    EXPECT_EQ(At(Stored("T18vol"), "Volume"), Dword(0).bytes);
    EXPECT_EQ(mutes, (std::vector<uint32_t>{1, 1, 0}));
}

}  // namespace
