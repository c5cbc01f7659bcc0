// The DLL's WAV files and settings key under the stand-ins: files it cannot play are listed
// with their details and refused, files with open-ended sizes play to their end, an IF
// recording whose host process is killed mid-way still plays, and a settings key that cannot
// be opened changes nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/plugin_e2e/plugin_run.h"
#include "tests/plugin_win32/plugin_fixture.h"
#include "tests/support/p25_test_call.h"
#include "tests/support/wav_io.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "toolkit/listbox.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/play_rec_controls.h"
#include "ui/play_rec_panel.h"

namespace {

constexpr char kSettingsKey[] = "Software\\Quorvane Communications\\K927Apco\\";
constexpr char kChildFolderVariable[] = "APCO_RECORD_CHILD_FOLDER";
constexpr uint32_t kIfBytesPerSecond = 96000;

void Seed(const std::string& id, const std::map<std::string, uint32_t>& dwords, const std::string& audioDir = "") {
    const std::string path = kSettingsKey + id;
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              0);
    for (const auto& d : dwords)
        RegSetValueExA(key, d.first.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d.second), 4);
    if (!audioDir.empty())
        RegSetValueExA(key, "AudioDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(audioDir.c_str()),
                       static_cast<DWORD>(audioDir.size() + 1));
    RegCloseKey(key);
}

uint32_t StoredDword(const std::string& id, const char* name) {
    DWORD value = 0xFFFFFFFFu, size = 4;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, (kSettingsKey + id).c_str(), 0, KEY_READ, &key)) return value;
    RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return value;
}

void Click(HWND button) {
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
}

std::string TextOf(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

int64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Overwrites the 32-bit word at offset (the file's sizes).
void PatchLe32(const std::string& path, long offset, uint32_t value) {
    FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr) << path;
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    std::fseek(f, offset, SEEK_SET);
    std::fwrite(bytes, 1, 4, f);
    std::fclose(f);
}

std::string Folder(const char* name) {
    const std::string dir = e2e::TempWav(name);
    CreateDirectoryA(dir.c_str(), nullptr);
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((dir + "\\*.wav").c_str(), &found);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &found))
        DeleteFileA((dir + "\\" + found.cFileName).c_str());
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    return dir;
}

std::string Silence() {
    static const std::string path = e2e::TempWav("e2e_silence8_files.if.wav");
    static const bool written = wavtest::WriteWav16(path, std::vector<float>(48000 * 8, 0.0f), 48000);
    return written ? path : "";
}

// One run of the plug-in as receiver id; the playing position seen at every host call.
struct Session {
    Session(const char* receiverId, const std::string& wav) {
        testbed::HostRecordBuilder b;
        b.SetReceiverId(receiverId);
        record = b.Build();
        options.record = record.data();
        options.wav = wav;
        options.onCall = [this](testbed::HostCall& c, void*) {
            calls[c.msg].push_back(c.dwParam);
            CK927ApcoPluginWindow* w = Window(c.window);
            if (w && w->GetPlayRecPanel())
                maxPositionSeconds = std::max(maxPositionSeconds, w->GetPlayRecPanel()->GetFilePosTime());
        };
    }
    static CK927ApcoPluginWindow* Window(HWND h) {
        return h ? static_cast<CK927ApcoPluginWindow*>(reinterpret_cast<Object*>(GetWindowLongPtrA(h, GWLP_USERDATA)))
                 : nullptr;
    }
    CK927ApcoPluginWindow* Window() { return host.Calls().empty() ? nullptr : Window(host.Calls().back().window); }
    e2e::RunResult Run() { return e2e::Run(host, options); }
    size_t Count(uint32_t msg) const {
        auto it = calls.find(msg);
        return it == calls.end() ? 0 : it->second.size();
    }
    size_t Playing() const {  // PM_SETFLAGS with the playing bit
        auto it = calls.find(PM_SETFLAGS);
        return it == calls.end()
                   ? 0
                   : std::count_if(it->second.begin(), it->second.end(), [](uint32_t f) { return (f & 0x800) != 0; });
    }

    std::vector<uint8_t> record;
    testbed::VktHost host;
    e2e::RunOptions options;
    std::map<uint32_t, std::vector<uint32_t>> calls;
    uint32_t maxPositionSeconds = 0;
};

// Each file of the folder, stepped through with the panel's Next button, is shown with its
// own rate, channels, bits, size and length; only the 16-bit mono one may be played, and Play
// on the others starts nothing (the player stays idle: the next file still gets its verdict).
TEST(PluginWaveFiles, UnsupportedFilesAreListedWithTheirDetailsAndNotPlayed) {
    const std::string dir = Folder("apco_formats");
    struct File {
        const char* name;
        uint16_t tag, channels;
        uint32_t rate;
        uint16_t bits;
        bool supported;
    } files[] = {
        {"eight.wav", 1, 1, 48000, 8, false},
        {"float.wav", 3, 1, 48000, 32, false},
        {"mono.wav", 1, 1, 16000, 16, true},
        {"stereo.wav", 1, 2, 48000, 16, false},
    };
    std::map<std::string, const File*> byName;
    for (const File& f : files) {
        const std::vector<uint8_t> twoSeconds(2 * f.rate * f.channels * f.bits / 8, 0x5A);
        plugintest::WriteAll(dir + "\\" + f.name,
                             plugintest::Riff({{"fmt ", plugintest::Format(f.tag, f.channels, f.rate, f.bits, false)},
                                               {"data", twoSeconds}}));
        byName[f.name] = &f;
    }
    Seed("T28fmt", {}, dir);
    int frames = 0;
    Session s("T28fmt", e2e::WriteTestCall("e2e_formats_call.if.wav", 0x80, &frames));
    struct Shown {
        uint32_t rate, channels, bits, size, seconds;
        bool supported, playEnabled;
    };
    std::map<std::string, Shown> shown;
    size_t listed = 0, playingAfterPlay = 0;
    s.options.afterStart = [&](testbed::VktHost&) {
        CK927ApcoPluginWindow* w = s.Window();
        CPlayRecPanel* p = w->GetPlayRecPanel();
        CPlayRecFileList* list = p->GetFileList();
        listed = list->Count();
        auto look = [&] {
            const std::string name = TextOf(p->GetFileBox()->GetHandle());
            shown[name] = {p->GetShownSampleRate(),
                           p->GetShownChannels(),
                           p->GetShownBitsPerSample(),
                           p->GetTotalFileSize(),
                           p->GetTotalWaveTime(),
                           p->IsShownFileSupported(),
                           IsWindowEnabled(p->GetPlayButton()->GetHandle()) != 0};
            if (byName.count(name) && !byName[name]->supported) {
                w->OnStartPlay.Invoke(w);
                playingAfterPlay += s.Playing();
            }
        };
        for (int guard = 0; list->GetCurrent() > 0 && guard < 10; ++guard) Click(p->GetPrevButton()->GetHandle());
        if (list->GetCurrent() < 0) Click(p->GetNextButton()->GetHandle());
        look();
        for (size_t i = 1; i < listed; ++i) {
            Click(p->GetNextButton()->GetHandle());
            look();
        }
    };
    const e2e::RunResult r = s.Run();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(listed, std::size(files));
    for (const File& f : files) {
        SCOPED_TRACE(f.name);
        ASSERT_EQ(shown.count(f.name), 1u);
        const Shown& got = shown[f.name];
        EXPECT_EQ(got.rate, f.rate);
        EXPECT_EQ(got.channels, f.channels);
        EXPECT_EQ(got.bits, f.bits);
        EXPECT_EQ(got.size, 44 + 2 * f.rate * f.channels * f.bits / 8);
        EXPECT_EQ(got.seconds, 2u);
        EXPECT_EQ(got.supported, f.supported);
        EXPECT_EQ(got.playEnabled, f.supported);
    }
    EXPECT_EQ(playingAfterPlay, 0u);
    EXPECT_EQ(s.Playing(), 0u);
    EXPECT_TRUE(e2e::SawValue(r, &ApcoParams::nac, 0x2A7)) << "the receiver's stream still decodes";
}

// An IF recording of exactly 5 s whose sizes say "unknown" plays to its last byte (the panel
// shows 5 s only there), as the same file with its true sizes does.
TEST(PluginWaveFiles, OpenEndedSizesPlayToTheEnd) {
    const std::string dir = Folder("apco_open");
    std::vector<float> call = p25test::MakeTestCallIf(p25test::TestCall());
    call.resize(5 * 48000);
    const struct {
        const char* name;
        uint32_t riff, data;
    } rows[] = {{"sized.if.wav", 36 + 480000, 480000}, {"zero.if.wav", 0, 0}, {"ones.if.wav", ~0u, ~0u}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir + "\\" + row.name;
        ASSERT_TRUE(wavtest::WriteWav16(path, call, 48000));
        PatchLe32(path, 4, row.riff);
        PatchLe32(path, 40, row.data);
        Session s("T29open", Silence());
        bool supported = false;
        uint32_t seconds = 0;
        s.options.afterStart = [&](testbed::VktHost&) {
            CK927ApcoPluginWindow* w = s.Window();
            w->OnFileNameChange.Invoke(w, path.c_str());
            supported = w->GetPlayRecPanel()->IsShownFileSupported();
            seconds = w->GetPlayRecPanel()->GetTotalWaveTime();
            w->OnStartPlay.Invoke(w);
        };
        const e2e::RunResult r = s.Run();
        ASSERT_TRUE(r.finished);
        EXPECT_TRUE(supported);
        EXPECT_EQ(seconds, 5u);
        EXPECT_EQ(s.maxPositionSeconds, 5u);
        EXPECT_TRUE(e2e::SawValue(r, &ApcoParams::nac, 0x2A7));
    }
}

// The child's part of the next test (run only as its child): records the IF of the streaming
// receiver, paced in real time, until the parent kills the process.
TEST(PluginRecorderChild, DISABLED_RecordIFUntilKilled) {
    const char* dir = std::getenv(kChildFolderVariable);
    if (!dir || !*dir) GTEST_SKIP() << "started by PluginRecorder.RecordingOfAKilledHostPlays only";
    int frames = 0;
    Session s("T29crash", e2e::WriteTestCall("e2e_crash_call.if.wav", 0x80, &frames));
    s.options.realtime = true;
    s.options.loops = 1000;
    s.options.timeoutMs = 60000;
    s.options.afterStart = [&](testbed::VktHost&) {
        CK927ApcoPluginWindow* w = s.Window();
        SetWindowTextA(w->GetPlayRecPanel()->GetFileBox()->GetHandle(), "crash.if.wav");
        if (!w->GetPlayRecPanel()->GetIFButton()->IsDown()) Click(w->GetPlayRecPanel()->GetIFButton()->GetHandle());
        w->OnRecordStart.Invoke(w);
    };
    s.Run();
}

// A host process killed 3 s into an IF recording leaves a file whose header covers all but
// the last half second, and the plug-in plays it back from its start to the header's end.
TEST(PluginRecorder, RecordingOfAKilledHostPlays) {
    const std::string dir = Folder("apco_crash"), path = dir + "\\crash.if.wav";
    Seed("T29crash", {}, dir);
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string command = std::string("\"") + exe +
                          "\" --gtest_filter=PluginRecorderChild.DISABLED_RecordIFUntilKilled "
                          "--gtest_also_run_disabled_tests";
    SetEnvironmentVariableA(kChildFolderVariable, dir.c_str());
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child = {};
    const bool started =
        CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &child) != 0;
    SetEnvironmentVariableA(kChildFolderVariable, nullptr);
    ASSERT_TRUE(started);
    // The first samples reach the file once mmio's buffer fills (within a tenth of a second).
    const DWORD deadline = GetTickCount() + 60000;
    while (FileSize(path) <= 46 && GetTickCount() < deadline &&
           WaitForSingleObject(child.hProcess, 20) == WAIT_TIMEOUT) {}
    const bool recording = FileSize(path) > 46;
    Sleep(3000);
    TerminateProcess(child.hProcess, 9);
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    ASSERT_TRUE(recording) << "the child never recorded";

    const std::vector<uint8_t> bytes = plugintest::ReadAll(path);  // its first 64 KB
    ASSERT_GE(bytes.size(), 46u);
    const uint32_t riff = plugintest::Le32(&bytes[4]), data = plugintest::Le32(&bytes[42]);
    EXPECT_GE(data, 2 * kIfBytesPerSecond) << "at most half a second lost of about 3 s";
    EXPECT_LE(data, 6 * kIfBytesPerSecond) << "paced in real time";
    EXPECT_EQ(riff, data + 38);
    EXPECT_GE(FileSize(path), 46 + static_cast<int64_t>(data));

    Session s("T29crash", Silence());
    uint32_t seconds = 0;
    s.options.afterStart = [&](testbed::VktHost&) {
        CK927ApcoPluginWindow* w = s.Window();
        w->OnFileNameChange.Invoke(w, path.c_str());
        seconds = w->GetPlayRecPanel()->GetTotalWaveTime();
        w->OnStartPlay.Invoke(w);
    };
    const e2e::RunResult r = s.Run();
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(seconds, data / kIfBytesPerSecond);
    EXPECT_GE(s.maxPositionSeconds, 2u);
    EXPECT_EQ(s.maxPositionSeconds, data / kIfBytesPerSecond) << "played to the header's end";
    EXPECT_TRUE(e2e::SawValue(r, &ApcoParams::nac, 0x2A7)) << "the recorded call decodes";
}

// A settings key that can be neither opened nor created (the current user's root taken over by
// a volatile key, under which no lasting key can be made): nothing is loaded, so the mute is
// not reported as loading does, the recordings still get the default folder, and nothing is
// saved. The same run with the key readable loads it.
TEST(PluginSettings, KeyThatCannotBeOpenedChangesNothing) {
    Seed("T28lock", {{"Volume", 12}, {"Mute", 1}, {"NotchWidth", 250}});
    const std::string volatilePath = "Software\\ApcoVolatile_" + std::to_string(GetCurrentProcessId());
    HKEY root = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, volatilePath.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &root, nullptr),
              0);
    int frames = 0;
    const std::string call = e2e::WriteTestCall("e2e_lock_call.if.wav", 0x80, &frames);
    for (bool locked : {true, false}) {
        SCOPED_TRACE(locked ? "locked" : "readable");
        Session s("T28lock", call);
        std::string folder;
        s.options.afterStart = [&](testbed::VktHost&) {
            folder = s.Window()->GetPlayRecPanel()->GetAudioDirPath().CStr();
        };
        if (locked) {
            ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, root), 0);
        }
        const e2e::RunResult r = s.Run();
        if (locked) RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(s.Count(PM_MUTE) > 0, !locked);
        EXPECT_EQ(s.Count(PM_VOLUME) > 0, !locked);
        EXPECT_NE(folder.find("Quorvane\\Apco"), std::string::npos) << folder;
        EXPECT_TRUE(e2e::SawValue(r, &ApcoParams::nac, 0x2A7));
    }
    DWORD subKeys = 1, values = 1;
    EXPECT_EQ(RegQueryInfoKeyA(root, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              0);
    EXPECT_EQ(subKeys + values, 0u) << "nothing saved in the locked run";
    EXPECT_EQ(StoredDword("T28lock", "Volume"), 12u);
    EXPECT_EQ(StoredDword("T28lock", "NotchWidth"), 250u);
    RegCloseKey(root);
    RegDeleteKeyA(HKEY_CURRENT_USER, volatilePath.c_str());
}

}  // namespace
