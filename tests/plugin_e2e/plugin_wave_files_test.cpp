// The DLL's WAV files and settings key under the stand-ins: files it cannot play are listed
// with their details and refused, files with open-ended sizes play to their end, an IF
// recording whose host process is killed mid-way still plays, and a settings key that cannot
// be opened changes nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <process.h>

#include "tests/plugin_e2e/plugin_run.h"
#include "tests/plugin_win32/plugin_fixture.h"
#include "tests/support/p25_test_call.h"
#include "tests/support/wav_io.h"
#include "tests/support/widget_input.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/play_rec_controls.h"
#include "ui/play_rec_panel.h"

namespace {

constexpr char kSettingsKey[] = "Software\\Quorvane Communications\\K927Apco\\";
constexpr uint32_t kIfBytesPerSecond = 96000;

// The receiver's settings key with only these values.
void Seed(const std::string& id, const std::map<std::string, uint32_t>& dwords, const std::string& audioDir = "") {
    const std::string key = kSettingsKey + id;
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    for (const auto& d : dwords)
        RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), d.first.c_str(), REG_DWORD, &d.second, 4);
    if (!audioDir.empty())
        RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "AudioDir", REG_SZ, audioDir.c_str(), audioDir.size() + 1);
}

uint32_t Stored(const std::string& id, const char* name) {
    DWORD value = 0, size = 4;
    RegGetValueA(HKEY_CURRENT_USER, (kSettingsKey + id).c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

int64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A temp folder without WAV files.
std::string Folder(const char* name) {
    const std::string dir = e2e::TempWav(name);
    CreateDirectoryA(dir.c_str(), nullptr);
    WIN32_FIND_DATAA found;
    const HANDLE h = FindFirstFileA((dir + "\\*.wav").c_str(), &found);
    for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &found) || !FindClose(h))
        DeleteFileA((dir + "\\" + found.cFileName).c_str());
    return dir;
}

std::string Silence() {
    static const std::string path = e2e::TempWav("e2e_silence8_files.if.wav");
    static const bool written = wavtest::WriteWav16(path, std::vector<float>(48000 * 8, 0.0f), 48000);
    return written ? path : "";
}

// One run of the plug-in as receiver id: the furthest playing position seen at any host call
// and the number of PM_SETFLAGS calls with the playing bit.
struct Session {
    Session(const char* receiverId, const std::string& wav) {
        testbed::HostRecordBuilder b;
        b.SetReceiverId(receiverId);
        record = b.Build();
        options.record = record.data();
        options.wav = wav;
        options.onCall = [this](testbed::HostCall& c, void*) {
            playing += c.msg == PM_SETFLAGS && (c.dwParam & 0x800);
            CK927ApcoPluginWindow* w = WindowOf(c.window);
            if (w && w->GetPlayRecPanel())
                maxPositionSeconds = std::max(maxPositionSeconds, w->GetPlayRecPanel()->GetFilePosTime());
        };
    }
    static CK927ApcoPluginWindow* WindowOf(HWND h) {  // null for no window
        return static_cast<CK927ApcoPluginWindow*>(reinterpret_cast<Object*>(GetWindowLongPtrA(h, GWLP_USERDATA)));
    }
    CK927ApcoPluginWindow* Window() { return WindowOf(host.Calls().back().window); }
    // With play given, the panel opens that file (keeping the length it shows and whether it
    // takes it) and plays it.
    e2e::RunResult Run(const std::string& play = "") {
        if (!play.empty())
            options.afterStart = [this, play](testbed::VktHost&) {
                CK927ApcoPluginWindow* w = Window();
                w->OnFileNameChange.Invoke(w, play.c_str());
                supported = w->GetPlayRecPanel()->IsShownFileSupported();
                shownSeconds = w->GetPlayRecPanel()->GetTotalWaveTime();
                w->OnStartPlay.Invoke(w);
            };
        return e2e::Run(host, options);
    }

    std::vector<uint8_t> record;
    testbed::VktHost host;
    e2e::RunOptions options;
    size_t playing = 0;
    uint32_t maxPositionSeconds = 0, shownSeconds = 0;
    bool supported = false;
};

void* WINAPI ChooseEmptyFolder(void*) {  // what "..." is answered with
    const FARPROC create = GetProcAddress(GetModuleHandleA("shell32"), "ILCreateFromPathA");
    return reinterpret_cast<void*(WINAPI*)(const char*)>(reinterpret_cast<void*>(create))(Folder("apco_none").c_str());
}

// Each file of the folder, stepped through with the Next button, shows its own details; only
// the 16-bit mono one may be played, and Play on the others starts nothing. A folder without
// WAV files chosen then with "..." leaves no file shown, playable or saved as the selection.
TEST(PluginWaveFiles, UnsupportedFilesAreListedWithTheirDetailsAndNotPlayed) {
    const std::string dir = Folder("apco_formats");
    const struct File {
        const char* name;
        uint32_t tag, channels, rate, bits, supported;
    } files[] = {{"eight.wav", 1, 1, 48000, 8, 0},
                 {"float.wav", 3, 1, 48000, 32, 0},
                 {"mono.wav", 1, 1, 16000, 16, 1},
                 {"stereo.wav", 1, 2, 48000, 16, 0}};
    for (const File& f : files)
        plugintest::WriteAll(
            dir + "\\" + f.name,
            plugintest::Riff({{"fmt ", plugintest::Format(f.tag, f.channels, f.rate, f.bits, false)},
                              {"data", std::vector<uint8_t>(2 * f.rate * f.channels * f.bits / 8, 0x5A)}}));
    Seed("T28fmt", {}, dir);
    int frames = 0;
    Session s("T28fmt", e2e::WriteTestCall("e2e_formats_call.if.wav", 0x80, &frames));
    std::map<std::string, std::vector<uint32_t>> shown;  // rate, channels, bits, size, s, supported, Play on
    s.options.afterStart = [&](testbed::VktHost&) {
        CK927ApcoPluginWindow* w = s.Window();
        CPlayRecPanel* p = w->GetPlayRecPanel();
        EXPECT_EQ(p->GetFileList()->Count(), std::size(files));
        for (int guard = 0; p->GetFileList()->GetCurrent() > 0 && guard < 10; ++guard)
            Click(p->GetPrevButton()->GetHandle());
        if (p->GetFileList()->GetCurrent() < 0) Click(p->GetNextButton()->GetHandle());
        for (size_t i = 0; i < std::size(files); ++i) {
            if (i > 0) Click(p->GetNextButton()->GetHandle());
            char name[64] = {};
            GetWindowTextA(p->GetFileBox()->GetHandle(), name, sizeof name);
            shown[name] = {p->GetShownSampleRate(),
                           p->GetShownChannels(),
                           p->GetShownBitsPerSample(),
                           p->GetTotalFileSize(),
                           p->GetTotalWaveTime(),
                           p->IsShownFileSupported(),
                           IsWindowEnabled(p->GetPlayButton()->GetHandle()) != 0};
            if (std::string(name) != "mono.wav") w->OnStartPlay.Invoke(w);
        }
        w->OnFileNameChange.Invoke(w, (dir + "\\mono.wav").c_str());
        e2e::HookImport("shell32", "SHBrowseForFolderA", reinterpret_cast<void*>(&ChooseEmptyFolder));
        Click(p->GetBrowseButton()->GetHandle());
        EXPECT_TRUE(!GetWindowTextLengthA(p->GetFileBox()->GetHandle()) && p->GetTotalFileSize() == ~0u);
        w->OnStartPlay.Invoke(w);
    };
    const e2e::RunResult r = s.Run();
    ASSERT_TRUE(r.finished);
    for (const File& f : files) {
        const uint32_t size = 44 + 2 * f.rate * f.channels * f.bits / 8;
        EXPECT_EQ(shown[f.name], (std::vector<uint32_t>{f.rate, f.channels, f.bits, size, 2, f.supported, f.supported}))
            << f.name;
    }
    EXPECT_EQ(s.playing, 0u);
    DWORD bytes = 0;  // of the saved selection: an empty text's terminator
    RegGetValueA(HKEY_CURRENT_USER, (kSettingsKey + std::string("T28fmt")).c_str(), "SelectedFile", RRF_RT_REG_SZ,
                 nullptr, nullptr, &bytes);
    EXPECT_EQ(bytes, 1u);
    EXPECT_TRUE(e2e::SawValue(r, &ApcoParams::nac, 0x2A7)) << "the receiver's stream still decodes";
}

// A WAV file that appears in the audio folder while recording or playing is listed, and the
// folder watch's re-selection leaves Play disabled until the stop makes the panel idle.
TEST(PluginWaveFiles, FileAppearingWhileBusyLeavesPlayDisabled) {
    const std::string dir = Folder("apco_busy"), played = dir + "\\played.if.wav";
    const std::string stream = e2e::TempWav("e2e_silence1_busy.if.wav");
    // The played file is three times the stream: still playing when the stream ends.
    ASSERT_TRUE(wavtest::WriteWav16(stream, std::vector<float>(48000, 0.0f), 48000) &&
                wavtest::WriteWav16(played, std::vector<float>(3 * 48000, 0.0f), 48000));
    for (const bool record : {true, false}) {
        SCOPED_TRACE(record ? "recording" : "playing");
        DeleteFileA((dir + "\\added.wav").c_str());
        Seed("T36busy", {}, dir);
        Session s("T36busy", stream);
        s.options.afterStart = [&](testbed::VktHost&) {
            CPlayRecPanel* p = s.Window()->GetPlayRecPanel();
            if (record)
                SetWindowTextA(p->GetFileBox()->GetHandle(), "take");
            else
                s.Window()->OnFileNameChange.Invoke(s.Window(), played.c_str());
            Click((record ? p->GetRecordButton() : p->GetPlayButton())->GetHandle());
        };
        s.options.beforeClose = [&](testbed::VktHost& h) {
            CPlayRecPanel* p = s.Window()->GetPlayRecPanel();
            const HWND play = p->GetPlayButton()->GetHandle();
            Button* pressed = record ? p->GetRecordButton() : p->GetPlayButton();
            ASSERT_TRUE(pressed->IsDown() && !IsWindowEnabled(play));
            ASSERT_TRUE(wavtest::WriteWav16(dir + "\\added.wav", std::vector<float>(800, 0.0f), 8000));
            // Listed with the played file and the recording.
            EXPECT_TRUE(h.PumpUntil([&] { return p->GetFileList()->Count() == 3; }, 10000));
            EXPECT_TRUE(pressed->IsDown() && !IsWindowEnabled(play));
            Click(p->GetStopButton()->GetHandle());
            EXPECT_TRUE(IsWindowEnabled(play) && !pressed->IsDown()) << "idle again";
        };
        ASSERT_TRUE(s.Run().finished);
    }
}

// The only file of the audio folder, selected, deleted from outside: within the watch's period
// the box names no file, shows no size or length and Play is disabled, and Play then starts
// nothing; a file added later is listed, selected and plays, and deleted while playing it is
// no longer shown once the playback stops.
TEST(PluginWaveFiles, SelectedFileDeletedFromOutsideIsNoLongerShown) {
    const std::string dir = Folder("apco_gone"), gone = dir + "\\gone.wav";
    ASSERT_TRUE(wavtest::WriteWav16(gone, std::vector<float>(8000, 0.0f), 8000));
    Seed("T41gone", {}, dir);
    Session s("T41gone", Silence());
    s.options.beforeClose = [&](testbed::VktHost& h) {
        CK927ApcoPluginWindow* w = s.Window();
        CPlayRecPanel* p = w->GetPlayRecPanel();
        const HWND box = p->GetFileBox()->GetHandle(), play = p->GetPlayButton()->GetHandle();
        auto named = [&] {
            char text[64] = {};
            GetWindowTextA(box, text, sizeof text);
            return std::string(text);
        };
        if (p->GetFileList()->GetCurrent() < 0) Click(p->GetNextButton()->GetHandle());
        ASSERT_TRUE(named() == "gone.wav" && IsWindowEnabled(play));
        ASSERT_TRUE(DeleteFileA(gone.c_str()));
        EXPECT_TRUE(h.PumpUntil([&] { return named().empty(); }, CPlayRecPanel::kFolderWatchMs + 1000));
        EXPECT_EQ(p->GetFileList()->Count(), 0);
        EXPECT_FALSE(IsWindowEnabled(play));
        EXPECT_EQ(p->GetTotalFileSize(), ~0u);
        EXPECT_EQ(p->GetTotalWaveTime(), 0u);
        w->OnStartPlay.Invoke(w);
        EXPECT_TRUE(named().empty() && !p->GetPlayButton()->IsDown()) << "nothing plays or shows";
        ASSERT_TRUE(wavtest::WriteWav16(dir + "\\later.wav", std::vector<float>(8000, 0.0f), 8000));
        EXPECT_TRUE(h.PumpUntil([&] { return named() == "later.wav"; }, 2 * CPlayRecPanel::kFolderWatchMs + 1000));
        ASSERT_TRUE(IsWindowEnabled(play));
        Click(play);
        EXPECT_TRUE(p->GetPlayButton()->IsDown());
        // Deleted while it plays, by its Unix name (the player's handle refuses a delete here):
        // once playback stops it is no longer shown.
        const auto unixName = reinterpret_cast<char*(CDECL*)(const wchar_t*)>(
            GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name"));
        const std::wstring later = std::wstring(dir.begin(), dir.end()) + L"\\later.wav";
        ASSERT_TRUE(unixName && plugintest::SmallDisk::Shell(std::string("rm ") + unixName(later.c_str()),
                                                             [&] { return p->GetFileList()->Count() == 0; }));
        Click(p->GetStopButton()->GetHandle());
        EXPECT_TRUE(named().empty() && !IsWindowEnabled(play));
    };
    ASSERT_TRUE(s.Run().finished);
    EXPECT_EQ(s.playing, 1u) << "the later file only";
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
        FILE* f = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, 4, SEEK_SET), std::fwrite(&row.riff, 4, 1, f);
        std::fseek(f, 40, SEEK_SET), std::fwrite(&row.data, 4, 1, f), std::fclose(f);
        Session s("T29open", Silence());
        const e2e::RunResult r = s.Run(path);
        ASSERT_TRUE(r.finished);
        EXPECT_TRUE(s.supported);
        EXPECT_EQ(s.shownSeconds, 5u);
        EXPECT_EQ(s.maxPositionSeconds, 5u);
        EXPECT_TRUE(e2e::SawValue(r, &ApcoParams::nac, 0x2A7));
    }
}

// A host process killed 3 s into an IF recording leaves a file whose header covers all but
// the last half second, and the plug-in plays it back from its start to the header's end.
TEST(PluginRecorder, RecordingOfAKilledHostPlays) {
    if (std::getenv("APCO_RECORD_CHILD")) {  // the child: records the IF, paced in real time, until it is killed
        int frames = 0;
        Session s("T29crash", e2e::WriteTestCall("e2e_crash_call.if.wav", 0x80, &frames));
        s.options.realtime = true;
        s.options.loops = 1000;
        s.options.timeoutMs = 60000;
        s.options.afterStart = [&](testbed::VktHost&) {
            CPlayRecPanel* p = s.Window()->GetPlayRecPanel();
            SetWindowTextA(p->GetFileBox()->GetHandle(), "crash.if.wav");
            if (!p->GetIFButton()->IsDown()) Click(p->GetIFButton()->GetHandle());
            s.Window()->OnRecordStart.Invoke(s.Window());
        };
        s.Run();
        return;
    }
    const std::string dir = Folder("apco_crash"), path = dir + "\\crash.if.wav";
    Seed("T29crash", {}, dir);
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    _putenv("APCO_RECORD_CHILD=1");
    const auto child = reinterpret_cast<HANDLE>(
        _spawnl(_P_NOWAIT, exe, exe, "--gtest_filter=PluginRecorder.RecordingOfAKilledHostPlays", nullptr));
    _putenv("APCO_RECORD_CHILD=");
    ASSERT_NE(child, INVALID_HANDLE_VALUE);
    // The first samples reach the file once mmio's buffer fills (within a tenth of a second).
    for (const DWORD t0 = GetTickCount();
         FileSize(path) <= 46 && GetTickCount() - t0 < 60000 && WaitForSingleObject(child, 20) == WAIT_TIMEOUT;) {}
    const bool recording = FileSize(path) > 46;
    Sleep(3000);
    TerminateProcess(child, 9);
    WaitForSingleObject(child, 10000);
    CloseHandle(child);
    ASSERT_TRUE(recording) << "the child never recorded";

    const std::vector<uint8_t> head = plugintest::ReadAll(path);
    ASSERT_GE(head.size(), 46u);
    const uint32_t data = plugintest::Le32(&head[42]);
    EXPECT_GE(data, 2 * kIfBytesPerSecond) << "at most half a second lost of about 3 s";
    EXPECT_LE(data, 6 * kIfBytesPerSecond) << "paced in real time";
    EXPECT_EQ(plugintest::Le32(&head[4]), data + 38);
    EXPECT_GE(FileSize(path), 46 + static_cast<int64_t>(data));
    Session s("T29crash", Silence());
    const e2e::RunResult r = s.Run(path);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(s.shownSeconds, data / kIfBytesPerSecond);
    EXPECT_EQ(s.maxPositionSeconds, data / kIfBytesPerSecond) << "played to the header's end";
    EXPECT_TRUE(e2e::SawValue(r, &ApcoParams::nac, 0x2A7)) << "the recorded call decodes";
}

// Recordings into a 3 MB file system filled up to `left` bytes just before Record: one that
// fills it stops by itself with a message, its header counts the bytes on disk and it plays to
// that end; on a full disk, or with a folder of the file's name, a message and no recording.
TEST(PluginRecorder, RecordingThatCannotBeWrittenStopsWithAMessage) {
    plugintest::SmallDisk disk(3 << 20);
    if (!disk.mounted) GTEST_SKIP() << "no small file system could be mounted (root under Wine is needed)";
    // "full" comes last: a disk full at a session's start is refused as the folder.
    const struct {
        const char* name;
        bool ifRecording;
        int64_t left, fileSize;  // fileSize 1: a recording; 0: the folder; -1: no file
    } rows[] = {
        {"IF", true, 200000, 1}, {"audio", false, 200000, 1}, {"taken", true, 200000, 0}, {"full", false, 0, -1}};
    int frames = 0;
    const std::string call = e2e::WriteTestCall("e2e_full_call.if.wav", 0x80, &frames), filler = disk.path + "\\fill";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = disk.path + (row.ifRecording ? "\\take.if.wav" : "\\take.wav");
        if (!row.fileSize) CreateDirectoryA(path.c_str(), nullptr);
        Seed("T33full", {}, disk.path);
        Session s("T33full", call);
        s.options.loops = 8;
        s.host.DismissCaption("Apco Plugin Error");
        s.options.afterStart = [&](testbed::VktHost&) {
            ULARGE_INTEGER free{};
            DeleteFileA(filler.c_str());
            GetDiskFreeSpaceExA((disk.path + "\\").c_str(), &free, nullptr, nullptr);
            plugintest::WriteAll(filler, std::vector<uint8_t>(free.QuadPart - row.left));
            CPlayRecPanel* p = s.Window()->GetPlayRecPanel();
            SetWindowTextA(p->GetFileBox()->GetHandle(), "take");
            if (p->GetIFButton()->IsDown() != row.ifRecording) Click(p->GetIFButton()->GetHandle());
            Click(p->GetRecordButton()->GetHandle());
        };
        s.options.beforeClose = [&](testbed::VktHost&) {
            EXPECT_FALSE(s.Window()->GetPlayRecPanel()->GetRecordButton()->IsDown()) << "stopped by itself";
        };
        ASSERT_TRUE(s.Run().finished);
        ASSERT_EQ(s.host.Dismissed().size(), 1u);
        EXPECT_NE(s.host.Dismissed()[0].text.find(path), std::string::npos) << s.host.Dismissed()[0].text;
        const int64_t size = FileSize(path);
        EXPECT_EQ(std::min<int64_t>(size, 1), row.fileSize);
        if (row.fileSize < 1) continue;
        const std::vector<uint8_t> head = plugintest::ReadAll(path);
        ASSERT_GT(size, 100000);
        EXPECT_EQ(plugintest::Le32(&head[4]) + 8, size);
        EXPECT_EQ(plugintest::Le32(&head[42]) + 46, size);
        Seed("T33play", {});  // not the full disk as the audio folder
        Session play("T33play", Silence());
        ASSERT_TRUE(play.Run(path).finished);
        EXPECT_TRUE(play.supported && play.playing == 1);
        EXPECT_TRUE(!row.ifRecording || play.maxPositionSeconds == play.shownSeconds);  // audio makes no host calls
        EXPECT_EQ(play.shownSeconds, (size - 46) / (row.ifRecording ? kIfBytesPerSecond : 32000));
        DeleteFileA(path.c_str());
    }
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
        ASSERT_TRUE(!locked || RegOverridePredefKey(HKEY_CURRENT_USER, root) == 0);
        const e2e::RunResult r = s.Run();
        if (locked) RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(s.host.Count(PM_MUTE) > 0, !locked);
        EXPECT_EQ(s.host.Count(PM_VOLUME) > 0, !locked);
        EXPECT_NE(folder.find("Quorvane\\Apco"), std::string::npos) << folder;
        EXPECT_TRUE(e2e::SawValue(r, &ApcoParams::nac, 0x2A7));
    }
    char name[64];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumKeyA(root, 0, name, size), ERROR_NO_MORE_ITEMS) << "nothing saved in the locked run";
    EXPECT_EQ(RegEnumValueA(root, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(Stored("T28lock", "Volume"), 12u);
    EXPECT_EQ(Stored("T28lock", "NotchWidth"), 250u);
    RegCloseKey(root);
    RegDeleteKeyA(HKEY_CURRENT_USER, volatilePath.c_str());
}

}  // namespace
