// The DLL under the stand-ins with stored settings: the registry round trip and bad stored
// values, the digital squelch seeded from the registry, the host squelches on generated FM,
// the call log, recording and playback driven through the main window's events, and the
// volume and mute answers.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "tests/plugin_e2e/plugin_run.h"
#include "tests/support/speech_bursts.h"
#include "tests/support/squelch_tones.h"
#include "tests/support/wav_io.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/play_rec_panel.h"

namespace {

using Bytes = std::vector<uint8_t>;
struct Value {
    DWORD type;
    Bytes bytes;
};
using Values = std::map<std::string, Value>;

std::string KeyPath(const char* id) { return std::string("Software\\Quorvane Communications\\K927Apco\\") + id; }
Value Dword(uint32_t v) { return {REG_DWORD, Bytes(reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4)}; }
Value Text(const std::string& s) { return {REG_SZ, Bytes(s.begin(), s.end() + 0)}; }  // no terminator
Value Codes(std::vector<uint32_t> c) { return {REG_BINARY, Bytes(reinterpret_cast<uint8_t*>(c.data()), reinterpret_cast<uint8_t*>(c.data() + c.size()))}; }

void Seed(const char* id, const Values& values) {
    RegDeleteKeyA(HKEY_CURRENT_USER, KeyPath(id).c_str());
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(id).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    for (const auto& v : values) RegSetValueExA(key, v.first.c_str(), 0, v.second.type, v.second.bytes.data(), v.second.bytes.size());
    RegCloseKey(key);
}

Values Stored(const char* id) {
    Values out;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath(id).c_str(), 0, KEY_READ, &key)) return out;
    char name[256];
    static uint8_t data[1 << 17];
    for (DWORD i = 0;; ++i) {
        DWORD n = sizeof name, size = sizeof data, type;
        if (RegEnumValueA(key, i, name, &n, nullptr, &type, data, &size)) break;
        if (type == REG_SZ && size && !data[size - 1]) --size;  // compare texts without their NUL
        out[name] = {type, Bytes(data, data + size)};
    }
    RegCloseKey(key);
    return out;
}

// One run of the plug-in as receiver id, streaming wav (none: start and close only).
struct Session {
    explicit Session(const char* receiverId) {
        testbed::HostRecordBuilder b;
        b.SetReceiverId(receiverId);
        record = b.Build();
        options.record = record.data();
        options.onCall = [this](testbed::HostCall& c, void* data) {
            if (c.msg == PMR_Media && c.cbData == kMediaParamsPacketBytes)
                std::memcpy(&lastParams, static_cast<uint8_t*>(data) + kMediaHeaderBytes, sizeof lastParams);
            if (c.msg == PMR_Audio && c.cbData == 2067) voice.push_back({lastParams.bitErrorRatePercent, Mean(c, data)});
            if (c.msg == PMR_Audio) {
                const auto* s = reinterpret_cast<const int16_t*>(static_cast<uint8_t*>(data) + sizeof(AudioBlockHeader));
                audio.insert(audio.end(), s, s + (c.cbData - 19) / 2);
            }
            if (c.msg == PM_SQUELCH && c.cbData == 28) {
                SquelchParams p;
                std::memcpy(&p, data, sizeof p);
                squelch.push_back({c.dwParam, p});
            }
            if (c.msg == PMR_Audio && onAudio) onAudio(Window(), ++audioCalls);
        };
    }
    static double Mean(const testbed::HostCall& c, void* data) {
        double sum = 0;
        const auto* s = reinterpret_cast<const int16_t*>(static_cast<uint8_t*>(data) + sizeof(AudioBlockHeader));
        for (uint32_t i = 0; i < (c.cbData - 19) / 2; ++i) sum += std::fabs(s[i]);
        return sum;
    }
    // The plug-in's main window, reached through its handle as the toolkit does.
    CK927ApcoPluginWindow* Window() {
        HWND h = host.Calls().empty() ? nullptr : host.Calls().back().window;
        return static_cast<CK927ApcoPluginWindow*>(reinterpret_cast<Object*>(GetWindowLongPtrA(h, GWLP_USERDATA)));
    }
    // Runs with a hook on the thread's posted messages, which keeps every WM_APCO_SQUELCH.
    e2e::RunResult Run() {
        squelchPosts().clear();
        HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, &Posted, nullptr, GetCurrentThreadId());
        e2e::RunResult r = e2e::Run(host, options);
        UnhookWindowsHookEx(hook);
        return r;
    }
    static std::vector<WPARAM>& squelchPosts() {
        static std::vector<WPARAM> posts;
        return posts;
    }
    static LRESULT CALLBACK Posted(int code, WPARAM remove, LPARAM lParam) {
        const MSG* m = reinterpret_cast<const MSG*>(lParam);
        if (code == HC_ACTION && remove == PM_REMOVE && m->message == WM_APCO_SQUELCH) squelchPosts().push_back(m->wParam);
        return CallNextHookEx(nullptr, code, remove, lParam);
    }
    bool ShownSquelched() const {
        for (WPARAM w : squelchPosts())
            if (w & 2) return true;
        return false;
    }
    size_t Loud() const {
        size_t n = 0;
        for (const auto& v : voice) n += v.level > 0;
        return n;
    }

    Bytes record;
    testbed::VktHost host;
    e2e::RunOptions options;
    ApcoParams lastParams{};
    struct Voice {
        float ber;
        double level;
    };
    std::vector<Voice> voice;
    std::vector<int16_t> audio;
    std::vector<std::pair<uint32_t, SquelchParams>> squelch;
    std::function<void(CK927ApcoPluginWindow*, int)> onAudio;
    int audioCalls = 0;
};

std::string GeneratedCall() {
    static std::string path;
    int frames = 0;
    if (path.empty()) path = e2e::WriteTestCall("e2e_settings_call.if.wav", 0x80, &frames);
    return path;
}

const Values kNonDefault = {
    {"DemodulationMode", Dword(1)},  {"NotchEnabled", Dword(1)},     {"NotchFrequency", Dword(-500)},
    {"NotchWidth", Dword(250)},      {"SelectedFile", Text("x.wav")}, {"Volume", Dword(12)},
    {"Mute", Dword(1)},              {"SquelchNAC", Codes({0x100, 0x2A7})}, {"SquelchTGID", Codes({7})},
    {"SquelchSID", Codes({1, 2, 3})}, {"SquelchDID", Codes({0xFFFFFF})}, {"SquelchBER", Dword(7)},
    {"SquelchFlag", Dword(0x204)},   {"LevelSqVal", Dword(3)},       {"NoiseSqVal", Dword(40)},
    {"VoiceSqVal", Dword(55)},       {"CTCSSSqVal", Dword(100000)},  {"DCSSqVal", Dword(-35)},
    {"AFFreqLow", Dword(400)},       {"AFFreqHigh", Dword(2500)},    {"AFLowppas", Dword(1)},
    {"AFDeemphasis", Dword(-30)},    {"AFFilterLen", Dword(256)},    {"AFEnabled", Dword(0)},
    {"SquelchType", Dword(0x11)},    {"InvertSquelch", Dword(1)},    {"PauseUnderSquelch", Dword(1)},
    {"PauseNoApco", Dword(1)},       {"LoggingParams", Dword(0x8000000A)}, {"LoggingEnabled", Dword(0)},
};

TEST(PluginSettings, FreshCloseWritesDefaultsAndStoredValuesComeBack) {
    RegDeleteKeyA(HKEY_CURRENT_USER, KeyPath("T18fresh").c_str());
    Session fresh("T18fresh");
    fresh.Run();
    const Values saved = Stored("T18fresh");
    const std::map<std::string, uint32_t> defaults = {
        {"DemodulationMode", 0}, {"NotchEnabled", 0}, {"NotchFrequency", 0}, {"NotchWidth", 100}, {"Volume", 8},
        {"Mute", 0}, {"SquelchBER", 0}, {"SquelchFlag", 0}, {"LevelSqVal", 0}, {"NoiseSqVal", 0}, {"VoiceSqVal", 0},
        {"CTCSSSqVal", 0}, {"DCSSqVal", 0}, {"AFFreqLow", 300}, {"AFFreqHigh", 3000}, {"AFLowppas", 0},
        {"AFDeemphasis", 0xFFFFFFC4u}, {"AFFilterLen", 512}, {"AFEnabled", 1}, {"SquelchType", 0}, {"InvertSquelch", 0},
        {"PauseUnderSquelch", 0}, {"PauseNoApco", 0}, {"LoggingParams", 0x80000001u}, {"LoggingEnabled", 0}};
    for (const auto& d : defaults) EXPECT_EQ(saved.count(d.first) ? saved.at(d.first).bytes : Bytes(), Dword(d.second).bytes) << d.first;
    for (const char* text : {"SelectedFile", "WaveOutDevice", "LogFileName"}) EXPECT_EQ(saved.count(text) ? saved.at(text).type : 0u, DWORD(REG_SZ)) << text;
    EXPECT_EQ(saved.size(), defaults.size() + 3 + saved.count("AudioDir"));  // empty lists are not stored

    Seed("T18round", kNonDefault);
    Session round("T18round");
    round.Run();
    const Values back = Stored("T18round");
    for (const auto& v : kNonDefault) EXPECT_TRUE(back.count(v.first) && back.at(v.first).bytes == v.second.bytes) << v.first;

    // Without a host record the settings live under "unknown".
    RegDeleteKeyA(HKEY_CURRENT_USER, KeyPath("unknown").c_str());
    testbed::VktHost host;
    e2e::Run(host, e2e::RunOptions());
    EXPECT_EQ(Stored("unknown").count("AFFilterLen"), 1u);
}

// Each stored value of the wrong type, range or length loads as its default or its sound part.
TEST(PluginSettings, MalformedStoredValuesLoadSafely) {
    std::vector<uint32_t> many(5000, 0x12345);
    for (uint32_t i = 0; i < many.size(); ++i) many[i] = i;
    Value nine = Codes({0x12345, 0x2A7});
    nine.bytes.push_back(0xEE);  // a partial word
    const struct {
        const char* name;
        Value stored, expected;
    } rows[] = {
        {"DemodulationMode", Dword(7), Dword(0)},     {"Volume", Dword(99), Dword(8)},
        {"Volume", Text("12"), Dword(8)},             {"SquelchBER", Dword(1000), Dword(0)},
        {"AFFilterLen", Dword(0), Dword(512)},        {"AFDeemphasis", Dword(50), Dword(-60)},
        {"AFFreqHigh", Dword(100000), Dword(3000)},   {"VoiceSqVal", Dword(500), Dword(0)},
        {"SquelchNAC", nine, Codes({0x2A7, 0x345})},  {"SquelchTGID", Codes(many), Codes(std::vector<uint32_t>(many.begin(), many.begin() + 4096))},
        {"SquelchSID", Text("abc"), {0, {}}},         {"LogFileName", {REG_BINARY, Bytes(300, 'A')}, Text("")},
        {"SelectedFile", {REG_SZ, Bytes(5000, 'B')}, Text("")},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Seed("T18bad", {{r.name, r.stored}});
        Session s("T18bad");
        s.Run();
        const Values back = Stored("T18bad");
        EXPECT_EQ(back.count(r.name) ? back.at(r.name).bytes : Bytes(), r.expected.bytes);
    }
}

// The generated call (NAC 0x2A7) with the digital squelch seeded from the registry.
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
        Seed("T18sq", {{"SquelchType", Dword(r.type)}, {"InvertSquelch", Dword(r.invert)}, {"DemodulationMode", Dword(r.mode)},
                       {"SquelchNAC", Codes(r.nacs)}, {"SquelchTGID", Codes({0x999})}});
        Session s("T18sq");
        s.options.wav = GeneratedCall();
        const e2e::RunResult result = s.Run();
        ASSERT_TRUE(result.finished);
        if (r.mode == 2) {
            EXPECT_FALSE(s.ShownSquelched());
            EXPECT_GT(s.audio.size(), 0u);
            continue;
        }
        ASSERT_GT(s.voice.size(), 20u);
        EXPECT_EQ(s.Loud() > s.voice.size() / 2, r.loud) << s.Loud() << " of " << s.voice.size();
        if (!r.loud) EXPECT_EQ(s.Loud(), 0u);
        if (!r.loud) EXPECT_TRUE(s.ShownSquelched());
    }
}

// The bit-error limit closes at the first rate word above limit x 10.
TEST(PluginSquelch, ErrorRateLimitClosesAboveTheLimit) {
    Seed("T18ber", {{"SquelchType", Dword(16)}, {"SquelchBER", Dword(0)}});  // the recording peaks at 0.4 %
    Session s("T18ber");
    s.options.wav = e2e::Recording("voice-nac293-tg1.if.wav");
    ASSERT_TRUE(s.Run().finished);
    size_t above = 0, below = 0;
    for (const auto& v : s.voice) {
        if (std::lround(v.ber * 10) == 0) {
            below += v.level > 0;
            continue;
        }
        ++above;
        EXPECT_EQ(v.level, 0.0) << v.ber;
    }
    EXPECT_GT(below, 10u);
    EXPECT_GT(above, 0u);
}

// The user switches lists and adds the decoded codes (the code field takes them) while the
// stream thread evaluates the squelch on every block.
TEST(PluginSquelch, ListEditsDuringStreaming) {
    Seed("T18edit", {});
    Session s("T18edit");
    s.options.wav = GeneratedCall();
    s.options.loops = 3;
    s.onAudio = [](CK927ApcoPluginWindow* w, int n) {
        const char* press = n % 4 == 0 ? "NAC" : n % 4 == 2 ? "TGID" : "Add";
        for (HWND panel = GetWindow(w->GetHandle(), GW_CHILD); panel; panel = GetWindow(panel, GW_HWNDNEXT)) {
            for (HWND b = GetWindow(panel, GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT)) {
                char text[16] = {};
                GetWindowTextA(b, text, sizeof text);
                if (!std::strcmp(text, press)) SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, 0), SendMessageA(b, WM_LBUTTONUP, 0, 0);
            }
        }
    };
    const e2e::RunResult r = s.Run();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.lastMessage, PM_CLOSED);
    const Values saved = Stored("T18edit");
    EXPECT_TRUE(saved.count("SquelchNAC") && saved.count("SquelchTGID")) << "both lists were edited";
    const Bytes nac = saved.count("SquelchNAC") ? saved.at("SquelchNAC").bytes : Bytes();
    const Bytes decoded = Codes({0x2A7}).bytes;
    EXPECT_NE(std::search(nac.begin(), nac.end(), decoded.begin(), decoded.end()), nac.end()) << "the decoded NAC added";
}

constexpr double kPi = 3.14159265358979323846;

// FM-modulated IF at 48000 samples per second, carrier 12000 Hz; audio in the demodulator's
// 16-bit units (32767 = pi radians per sample).
std::string FmIf(const char* name, const std::vector<int16_t>& audio) {
    std::vector<float> iff(audio.size());
    double phase = 0;
    for (size_t n = 0; n < audio.size(); ++n) {
        phase += 2 * kPi * 12000 / 48000 + audio[n] * kPi / 32767;
        iff[n] = static_cast<float>(0.5 * std::cos(phase));
    }
    const std::string path = e2e::TempWav(name);
    wavtest::WriteWav16(path, iff, 48000);
    return path;
}

TEST(PluginSquelch, HostSquelchesOnGeneratedFm) {
    const std::string tone = FmIf("e2e_ctcss.if.wav", MakeCtcssAudio(48000, 100.0, 3, 2000, 300, 1));
    const std::string dcs = FmIf("e2e_dcs.if.wav", MakeDcsAudio(48000, 023, true, 3, 2000, 300, 2));
    const std::string noise = FmIf("e2e_noise.if.wav", MakeNoiseAudio(48000, 3, 3000, 3));
    const std::string speech = FmIf("e2e_speech.if.wav", MakeSpeechBursts(48000, 4, 4000, 4));
    const struct {
        const char* name;
        std::string wav;
        uint32_t flag;
        SquelchParams set;
        uint32_t status;           // expected in some report
        int word;                  // the measured word
        int32_t value;             // its value in that report (-1: any)
    } rows[] = {
        {"CTCSS equal", tone, 0x4, {0, 0, 100000}, 4, 2, 100000},
        {"CTCSS other", tone, 0x4, {0, 0, 67000}, 0, 2, 100000},
        {"DCS inverted 023", dcs, 0x200, {0, 0, 0, 0, 0, 0, -023}, 0x200, 6, -023},
        {"noise below threshold", noise, 0x2, {0, 100}, 2, 1, -1},
        {"voice", speech, 0x100, {0, 0, 0, 0, 0, 20}, 0x100, 5, -1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Seed("T18fm", {{"DemodulationMode", Dword(2)}, {"SquelchFlag", Dword(r.flag)}, {"NoiseSqVal", Dword(r.set.noiseLevel)},
                       {"CTCSSSqVal", Dword(r.set.ctcssMilliHz)}, {"VoiceSqVal", Dword(r.set.voicePercent)},
                       {"DCSSqVal", Dword(r.set.dcsCode)}});
        Session s("T18fm");
        s.options.wav = r.wav;
        ASSERT_TRUE(s.Run().finished);
        bool seen = false;
        for (const auto& q : s.squelch) {
            const int32_t measured = reinterpret_cast<const int32_t*>(&q.second)[r.word];
            seen |= q.first == r.status && (r.value == -1 || measured == r.value);
            if (r.flag == 0x2) EXPECT_LE(measured, 99);
        }
        EXPECT_TRUE(seen) << s.squelch.size() << " reports";
    }
    // The host's squelch closes the output: every block after it is silent.
    Session muted("T18fm");
    muted.options.wav = speech;
    muted.options.afterStart = [](testbed::VktHost& h) { h.Notify(1, PN_MODE, 2), h.Notify(1, PN_SQUELCH, 1); };
    ASSERT_TRUE(muted.Run().finished);
    ASSERT_GT(muted.audio.size(), 16000u);
    for (int16_t v : muted.audio) ASSERT_EQ(v, 0);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(PluginCallLog, EventAndPeriodicLogsFilterAndErrors) {
    const std::string log = e2e::TempWav("apco_calls.csv");
    DeleteFileA(log.c_str());
    const char* header = "\r\nDate, Time (UTC), Frequency (Hz), Mode, NAC, TGID, SID, DID\r\n";
    const struct {
        const char* name;
        std::string file;
        uint32_t params;
        std::vector<uint32_t> nacs;  // with bit 30: the NAC list
        const char* box;             // expected error text, or null
        const char* line;            // a line that must appear, or null
        int minLines;                // entries after the header
    } rows[] = {
        {"event logging", log, 0x80000001u, {}, nullptr, ", 679, 4660, 703710, ------\r\n", 3},
        {"reopened: appends, filtered out by the list", log, 0xC0000001u, {0x100}, nullptr, nullptr, 0},
        {"filter passes the listed NAC", log, 0xC0000001u, {0x2A7}, nullptr, ", 679, ", 1},
        {"periodic: nothing before the first tick", log, 0x0000FFFFu, {}, nullptr, nullptr, -1},
        {"interval 0", log, 0x00000000u, {}, "Invalid time interval for logging.", nullptr, -1},
        {"unopenable path", e2e::TempWav("no\\such\\folder\\x.csv"), 0x80000001u, {}, "Failed to open the log file.", nullptr, -1},
    };
    size_t blocks = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Seed("T18log", {{"LoggingEnabled", Dword(1)}, {"LogFileName", Text(r.file)}, {"LoggingParams", Dword(r.params)},
                        {"SquelchNAC", Codes(r.nacs)}, {"SquelchType", Dword(r.nacs.empty() ? 0 : 1)}});
        const std::string before = ReadText(log);
        Session s("T18log");
        s.host.DismissCaption("K927APCO - Error");
        s.options.wav = GeneratedCall();
        ASSERT_TRUE(s.Run().finished);
        const std::string added = ReadText(log).substr(before.size());
        std::string boxes;
        for (const auto& d : s.host.Dismissed()) boxes += d.text;
        if (r.box) {
            EXPECT_NE(boxes.find(r.box), std::string::npos) << boxes;
            EXPECT_EQ(added, "");
            // Closed on the error path: the file can be opened alone.
            HANDLE h = CreateFileA(r.file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            EXPECT_TRUE(h != INVALID_HANDLE_VALUE || r.file != log);
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
            continue;
        }
        EXPECT_EQ(boxes, "");
        if (r.minLines < 0) {
            EXPECT_EQ(added, "");
            continue;
        }
        ASSERT_EQ(added.compare(0, std::strlen(header), header), 0) << added;
        ++blocks;
        int lines = 0;
        for (size_t i = std::strlen(header); (i = added.find("\r\n", i)) != std::string::npos; i += 2) ++lines;
        EXPECT_GE(lines, r.minLines);
        if (!r.minLines && r.params & 0x80000000u) EXPECT_EQ(added.find(", 679, "), std::string::npos) << added;
        if (r.line) EXPECT_NE(added.find(r.line), std::string::npos) << added;
    }
    EXPECT_EQ(blocks, 3u);
}

// Recording and playback through the window's events, as the player panel raises them.
TEST(PluginRecorder, RecordingsPlaybackAndOverwrite) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string dir = std::string(folder) + "apco_rec";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string ifPath = dir + "\\take.if.wav", audioPath = dir + "\\take.wav";
    DeleteFileA(ifPath.c_str());
    DeleteFileA(audioPath.c_str());
    std::vector<int16_t> source, recorded;
    int rate = 0;
    ASSERT_TRUE(wavtest::ReadWav16(GeneratedCall(), &source, &rate));

    for (int ifRecording : {1, 0}) {
        SCOPED_TRACE(ifRecording ? "IF" : "audio");
        Seed("T18rec", {{"AudioDir", Text(dir)}, {"SelectedFile", Text("take.if.wav")}});
        Session s("T18rec");
        s.options.wav = GeneratedCall();
        s.options.afterStart = [&](testbed::VktHost&) {
            CK927ApcoPluginWindow* w = s.Window();
            w->GetPlayRecPanel()->SetIFSelected(ifRecording);
            w->OnRecordStart.Invoke(w);
        };
        // Stopped while the stream still runs: the file stays a complete WAV.
        s.onAudio = [](CK927ApcoPluginWindow* w, int n) {
            if (n == 40) w->OnPlayRecStop.Invoke(w);
        };
        ASSERT_TRUE(s.Run().finished);
        ASSERT_TRUE(wavtest::ReadWav16(ifRecording ? ifPath : audioPath, &recorded, &rate));
        if (ifRecording) {
            EXPECT_EQ(rate, 48000);
            ASSERT_GT(recorded.size(), 48000u);
            ASSERT_LT(recorded.size(), source.size());
            EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), source.begin()));
        } else {
            EXPECT_EQ(rate, 16000);
            ASSERT_GT(recorded.size(), 16000u);
            ASSERT_LE(recorded.size(), s.audio.size());
            EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), s.audio.begin()));
        }
    }

    // The IF recording played in place of the receiver (which streams silence meanwhile).
    const size_t ifBytes = ReadText(ifPath).size();
    const std::string silence = e2e::TempWav("e2e_silence.if.wav");
    wavtest::WriteWav16(silence, std::vector<float>(48000 * 8, 0.0f), 48000);
    const std::string stereo = dir + "\\stereo.wav";
    {
        std::ofstream out(stereo, std::ios::binary);
        const uint32_t h[] = {0x46464952, 44, 0x45564157, 0x20746d66, 16, 0x00020001, 48000, 192000, 0x00100004, 0x61746164, 8, 0, 0};
        out.write(reinterpret_cast<const char*>(h), sizeof h);
    }
    const struct {
        const char* name;
        std::string file;
        bool plays;
    } plays[] = {{"IF recording", ifPath, true}, {"stereo refused", stereo, false}};
    for (const auto& p : plays) {
        SCOPED_TRACE(p.name);
        Seed("T18rec", {{"AudioDir", Text(dir)}, {"SelectedFile", Text("take.if.wav")}});
        Session s("T18rec");
        s.options.wav = silence;
        s.host.DismissCaption("Overwrite existing file?");
        s.options.afterStart = [&](testbed::VktHost&) {
            CK927ApcoPluginWindow* w = s.Window();
            w->OnFileNameChange.Invoke(w, p.file.c_str());
            w->OnStartPlay.Invoke(w);
            if (!p.plays) return;
            // Skipping while paused shows the new place: 1 s on, then back past the start.
            w->OnPlayRecPause.Invoke(w, 1);
            w->OnFileTimePosChange.Invoke(w, 1);
            EXPECT_EQ(w->GetPlayRecPanel()->GetFilePos(), 96000u);
            w->OnFileTimePosChange.Invoke(w, -10);
            EXPECT_EQ(w->GetPlayRecPanel()->GetFilePos(), 0u);
            w->OnPlayRecPause.Invoke(w, 0);
        };
        // A second IF recording to the same name asks first; the dismissed question keeps the file.
        s.options.beforeClose = [&](testbed::VktHost&) {
            s.Window()->GetPlayRecPanel()->SetIFSelected(1);
            s.Window()->OnRecordStart.Invoke(s.Window());
        };
        const e2e::RunResult r = s.Run();
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(e2e::SawValue(r, &ApcoParams::nac, 0x2A7), p.plays);
        EXPECT_EQ(s.host.Count(PM_SETFLAGS) > 2, p.plays) << "0x800 while playing, the kept flags after";
        ASSERT_FALSE(s.host.Dismissed().empty());
        EXPECT_NE(s.host.Dismissed().back().text.find("take.if.wav"), std::string::npos);
    }
    EXPECT_EQ(ReadText(ifPath).size(), ifBytes) << "the refused overwrite keeps the recording";
}

TEST(PluginHandlers, VolumeAnswersOnlyOnChangeMuteAlways) {
    Seed("T18vol", {});
    Session s("T18vol");
    std::vector<uint32_t> volumes, mutes;
    s.options.afterStart = [&](testbed::VktHost& h) {
        volumes.clear(), mutes.clear();
        for (uint32_t v : {8u, 8u, 20u, 20u, 99u}) h.Notify(1, PN_VOLUME, v);
        for (uint32_t m : {1u, 1u, 0u}) h.Notify(1, PN_MUTE, m);
    };
    s.options.onCall = [&](testbed::HostCall& c, void*) {
        if (c.msg == PM_VOLUME) volumes.push_back(c.dwParam);
        if (c.msg == PM_MUTE) mutes.push_back(c.dwParam);
    };
    s.Run();
    EXPECT_EQ(volumes, (std::vector<uint32_t>{20, 32}));
    EXPECT_EQ(mutes, (std::vector<uint32_t>{1, 1, 0}));
}

}  // namespace
