// The player/recorder panel with real files in a scratch folder: button states, the shown
// file's size, time and tooltip, the file box, the popup list, the folder watch and the write
// probe.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "panel_host.h"
#include "plugin/wave_file.h"
#include "tests/foundation_win32/scratch.h"
#include "tests/plugin_win32/plugin_fixture.h"
#include "tests/support/widget_input.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "toolkit/message_dialog.h"
#include "toolkit/scroll_bar.h"
#include "ui/play_rec_controls.h"
#include "ui/play_rec_panel.h"

using window_probe::Click;

namespace {

void MakeWav(const std::string& path, uint32_t rate = 8000, uint32_t samples = 80) {
    WaveFile f;
    ASSERT_EQ(f.Create(path.c_str(), rate), 1) << path;
    std::vector<int16_t> s(samples, 100);
    f.Write(s.data(), samples);
    f.Close();
}

struct Player {
    PanelHost host;
    CPlayRecPanel* panel = new CPlayRecPanel(host.Handle(), 0, 225);
    CPlayRecFileList* list = panel->GetFileList();
    std::vector<std::string> names;
    EventLog play, pause;
    Player() {
        panel->OnFileNameChange.Bind(this, &Player::Name);
        panel->OnStartPlay.Bind(&play, &EventLog::Raised);
        panel->OnPlayRecPause.Bind(&pause, &EventLog::Value);
    }
    bool opens = false;  // answers a name as the plug-in does: opens the file and shows it
    void Name(Object*, const char* path) {
        names.push_back(path);
        if (!opens) return;
        WaveFile f(*path ? path : nullptr);
        panel->SetWaveFile(&f, f.IsOpen());
    }
    static std::string Text(Component* c) { return c->GetText().CStr(); }
    std::string Row(int i) { return list->GetItemText(i).CStr(); }
    int RowOf(const std::string& name) {
        for (int i = 0; i < list->Count(); ++i)
            if (Row(i) == name) return i;
        return -1;
    }
    // "e" enabled and "d" down for play, stop, pause, rewind, forward, IF, record, drop,
    // previous; then the seek bar and the file box enabled.
    std::string States() {
        std::string s;
        for (Button* b : {panel->GetPlayButton(), panel->GetStopButton(), panel->GetPauseButton(),
                          panel->GetRewindButton(), panel->GetForwardButton(), panel->GetIFButton(),
                          panel->GetRecordButton(), panel->GetDropButton(), panel->GetPrevButton()})
            s += std::string(b->IsEnabled() ? "e" : "") + (b->IsDown() ? "d" : "") + " ";
        return s + (panel->GetSeekBar()->IsEnabled() ? "e" : "") + " " + (panel->GetFileBox()->IsEnabled() ? "e" : "");
    }
};

}  // namespace

TEST(PlayRecPanel, ThreeButtonStatesTheirOrderAndTheNextFile) {
    ScratchFolder dir("apco_states");
    for (const char* n : {"1.wav", "call.if.wav"}) MakeWav(dir / n);
    Player p;
    p.panel->SetAudioDirPath(dir.Path().c_str());
    WaveFile file((dir / "call.if.wav").c_str());
    p.panel->SetWaveFile(&file, 1);
    for (Button* b : {p.panel->GetPlayButton(), p.panel->GetRecordButton(), p.panel->GetIFButton()})
        EXPECT_TRUE(b->HasBitmap());
    const std::string idle = "e     ed e e e  e", playing = "d e e e e d    e ", recording = " e e   d d    ";
    EXPECT_EQ(p.States(), idle);
    p.panel->StartPlayback();
    EXPECT_EQ(p.States(), playing);
    p.panel->SetPaused(1, 0);
    Click(p.panel->GetPauseButton());
    EXPECT_EQ(p.pause.values, std::vector<int>{0}) << "only the user's pause is reported";
    p.panel->SetPaused(1, 0);
    p.panel->StopPlayRec();
    EXPECT_EQ(p.States(), idle) << "pause released, IF shows the last file, record writable";
    p.panel->StartRecording();
    EXPECT_EQ(p.States(), recording);
    p.panel->StopPlayRec();
    EXPECT_EQ(p.States(), idle);
    p.panel->SetPaused(1, 0);
    Click(p.panel->GetDropButton());
    EXPECT_TRUE(p.panel->GetPauseButton()->IsDown()) << "the drop button and Pause do not release each other";
    Click(p.panel->GetDropButton());
    p.panel->SetPaused(0, 0);
    // An end of playback reported while Stop runs starts nothing; later it plays the next file.
    struct StopRunsNext {
        CPlayRecPanel* panel;
        void Stop(Object*) { panel->StartNextFilePlayback(); }
    } during{p.panel};
    p.panel->OnPlayRecStop.Bind(&during, &StopRunsNext::Stop);
    p.panel->StartPlayback();
    p.list->Select(0, true);
    Click(p.panel->GetStopButton());
    EXPECT_EQ(p.list->GetCurrent(), 0);
    for (int i = 0; i < 2; ++i) p.panel->StartNextFilePlayback();
    EXPECT_EQ(p.list->GetCurrent(), 1);
    EXPECT_EQ(p.play.count, 1u) << "nothing after the last file";
    p.panel->StopPlayRec();
    Click(p.panel->GetNextButton());
    EXPECT_EQ(p.list->GetCurrent(), 1);
    for (int i = 0; i < 3; ++i) Click(p.panel->GetPrevButton());
    EXPECT_EQ(p.list->GetCurrent(), 0);
}

TEST(PlayRecPanel, SizeTimeAndTooltipTexts) {
    ScratchFolder dir("apco_texts");
    MakeWav(dir / "call.if.wav", 48000, 4800);
    MakeWav(dir / "voice.wav", 8000, 800);
    Player p;
    const struct {
        uint32_t bytes;
        const char* text;
    } sizes[] = {
        {0xFFFFFFFFu, "--- KB"}, {1023, "1023 B"},        {1024, "1.00 KB"},    {10240, "10.0 KB"},
        {102400, "100 KB"},      {1048600, "1024 KB"},    {1048756, "1.00 MB"}, {10485760, "10.0 MB"},
        {209715200, "200 MB"},   {0x40000000, "1.00 GB"},
    };
    for (const auto& r : sizes) {
        p.panel->SetTotalFileSize(r.bytes);
        p.panel->StopPlayRec();  // redraws at once
        EXPECT_EQ(p.Text(p.panel->GetSizeLabel()), r.text) << r.bytes;
    }
    p.panel->SetTotalWaveTime(3723);
    p.panel->SetFilePosTime(36061);
    EXPECT_EQ(p.Text(p.panel->GetTimeLabel()), "10:01:01 / 1:02:03");
    const struct {
        const char* name;
        int supported;
        const char* tip;
    } files[] = {
        {"call.if.wav", 1, "call.if.wav\n48000Hz, 16 bits, mono\nIF recording"},
        {"voice.wav", 0, "voice.wav\n8000Hz, 16 bits, mono\nAudio recording\nUNSUPPORTED"},
    };
    for (const auto& r : files) {
        WaveFile file((dir / r.name).c_str());
        p.panel->SetWaveFile(&file, r.supported);
        char tip[512] = {};
        p.panel->GetFileBox()->GetToolTip(tip);
        EXPECT_STREQ(tip, r.tip);
        EXPECT_EQ(p.Text(p.panel->GetFileBox()), r.name);
        EXPECT_EQ(p.panel->GetPlayButton()->IsEnabled(), r.supported == 1) << r.name;
    }
    // Files the plug-in cannot play open with their own details and the verdict.
    const struct {
        const char* name;
        std::vector<uint8_t> format;
        const char* tip;
    } unsupported[] = {
        {"stereo.wav", plugintest::Format(1, 2, 48000, 16, true),
         "stereo.wav\n48000Hz, 16 bits, stereo\nAudioRecording\nUNSUPPORTED"},
        {"eight.wav", plugintest::Format(1, 1, 48000, 8, true),
         "eight.wav\n48000Hz, 8 bits, mono\nAudio recording\nUNSUPPORTED"},
        {"float.if.wav", plugintest::Format(3, 1, 48000, 32, false),
         "float.if.wav\n48000Hz, 32 bits, mono\nIF recording\nUNSUPPORTED"},
    };
    for (const auto& r : unsupported) {
        const std::vector<uint8_t> bytes = plugintest::Riff({{"fmt ", r.format}, {"data", std::vector<uint8_t>(4000)}});
        plugintest::WriteAll(dir / r.name, bytes);
        WaveFile file((dir / r.name).c_str());
        ASSERT_TRUE(file.IsOpen()) << r.name;
        p.panel->SetWaveFile(&file, file.IsSupported());
        char tip[512] = {};
        p.panel->GetFileBox()->GetToolTip(tip);
        EXPECT_STREQ(tip, r.tip);
        EXPECT_EQ(p.Text(p.panel->GetFileBox()), r.name);
        EXPECT_EQ(p.panel->GetTotalFileSize(), bytes.size()) << r.name;
        EXPECT_FALSE(p.panel->GetPlayButton()->IsEnabled()) << r.name;
    }
    WaveFile closed;
    p.panel->SetWaveFile(&closed, 1);
    EXPECT_EQ(p.Text(p.panel->GetSizeLabel()) + p.Text(p.panel->GetTimeLabel()), "--- KB--:--:-- / --:--:--");
}

TEST(PlayRecPanel, NamesMatchWithOneOrTwoExtensionsAndTypingAndEscape) {
    ScratchFolder dir("apco_names");
    for (const char* n : {"b.wav", "x.if.wav", "a.WAV"}) MakeWav(dir / n);
    Player p;
    p.panel->SetAudioDirPath(dir.Path().c_str());
    ASSERT_EQ(p.list->Count(), 3);
    const struct {
        const char* typed;
        const char* row;
    } rows[] = {{"x.if.wav", "x.if.wav"}, {"X.IF", "x.if.wav"},      {"x", "x.if.wav"}, {"a", "a.WAV"},
                {"b.wav", "b.wav"},       {"x.if.wav.wav", nullptr}, {"b.if", nullptr}};
    for (const auto& r : rows) {
        EXPECT_EQ(p.panel->SelectFile(r.typed), r.row != nullptr) << r.typed;
        if (r.row) EXPECT_EQ(p.list->GetCurrent(), p.RowOf(r.row)) << r.typed;
    }
    // Choosing from the list names the file; the plug-in answers with SetWaveFile.
    p.names.clear();
    p.list->Select(p.RowOf("a.WAV"), true);
    p.list->Select(p.RowOf("b.wav"), true);
    WaveFile b((dir / "b.wav").c_str());
    p.panel->SetWaveFile(&b, 1);
    const HWND box = p.panel->GetFileBox()->GetHandle();
    SetWindowTextA(box, "");  // nothing matches
    window_probe::Type(box, "x");
    EXPECT_EQ(p.Text(p.panel->GetFileBox()), "x") << "a typed selection keeps the typed text";
    window_probe::Type(box, "q");
    EXPECT_FALSE(p.panel->GetPlayButton()->IsEnabled());
    EXPECT_EQ(p.Text(p.panel->GetSizeLabel()), "--- KB");
    window_probe::Type(box, "\x1b");
    EXPECT_EQ(p.names, (std::vector<std::string>{dir / "a.WAV", dir / "b.wav", dir / "x.if.wav", dir / "b.wav"}));
}

TEST(PlayRecPanel, PopupListSitsOnTheFileBoxAndClosesOnFocusLossWithoutReopening) {
    Player p;
    Button* drop = p.panel->GetDropButton();
    Click(drop);
    ASSERT_TRUE(p.list->IsVisible());
    RECT l, box;
    GetWindowRect(p.list->GetHandle(), &l);
    GetWindowRect(p.panel->GetFileBox()->GetHandle(), &box);
    EXPECT_EQ(l.bottom, box.top);
    EXPECT_EQ(l.left, box.left);
    // Its scroll bar, 16 wide, docked along the list's right edge inside the frame.
    RECT bar, client;
    GetWindowRect(p.list->GetScrollBar()->GetHandle(), &bar);
    p.list->GetClientRect(&client);
    MapWindowPoints(p.list->GetHandle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    EXPECT_EQ(bar.right - bar.left, 16);
    EXPECT_EQ(bar.right, client.right);
    EXPECT_EQ(bar.bottom - bar.top, client.bottom - client.top);
    SetFocus(p.panel->GetFileBox()->GetHandle());  // as the press on the drop button does
    window_probe::Pump();
    Click(drop);
    EXPECT_FALSE(p.list->IsVisible() || drop->IsDown()) << "the press that took the focus closes the list";
    SendMessageA(p.panel->GetHandle(), WM_TIMER, CPlayRecPanel::kListCloseTimer, 0);
    Click(drop);
    EXPECT_TRUE(p.list->IsVisible());
    Click(drop);
    EXPECT_FALSE(p.list->IsVisible());
    // Alt+F4 on the open list only hides it, and it opens again.
    for (int round = 0; round < 2; ++round) {
        SendMessageA(p.panel->GetHandle(), WM_TIMER, CPlayRecPanel::kListCloseTimer, 0);
        Click(drop);
        ASSERT_TRUE(p.list->IsVisible()) << round;
        const HWND list = p.list->GetHandle();
        SendMessageA(list, WM_CLOSE, 0, 0);
        ASSERT_TRUE(IsWindow(list)) << round;
        EXPECT_FALSE(p.list->IsVisible() || drop->IsDown()) << round;
    }
}

TEST(PlayRecPanel, FolderWatchFollowsFilesAppearingAndDisappearing) {
    ScratchFolder dir("apco_watch");
    for (const char* n : {"one.wav", "two.wav", "three.wav"}) MakeWav(dir / n);
    Player p;
    p.panel->SetAudioDirPath(dir.Path().c_str());
    WaveFile shown((dir / "two.wav").c_str());
    p.panel->SetWaveFile(&shown, 1);
    shown.Close();
    ASSERT_TRUE(p.panel->SelectFile("two"));
    MakeWav(dir / "four.if.wav");
    MakeWav(dir / "notes.txt");
    ASSERT_TRUE(PumpUntil([&] { return p.list->Count() == 4; }));
    EXPECT_EQ(p.list->GetCurrent(), p.RowOf("two.wav")) << "the box still names it";
    // The shown file disappears: the row after it (or the last) is chosen and named.
    const int row = p.list->GetCurrent();
    const std::string next = p.Row(row + 1 < 4 ? row + 1 : 3);
    ASSERT_TRUE(DeleteFileA((dir / "two.wav").c_str()));
    ASSERT_TRUE(PumpUntil([&] { return p.list->Count() == 3; }));
    EXPECT_EQ(p.Row(p.list->GetCurrent()), next == "two.wav" ? p.Row(2) : next);
    EXPECT_EQ(p.names.back(), dir / p.Row(p.list->GetCurrent()));
    // A typed name whose file goes: no row is selected, the typing stays, nothing is playable.
    p.opens = true;
    const HWND box = p.panel->GetFileBox()->GetHandle();
    SetWindowTextA(box, "");
    window_probe::Type(box, "three");
    ASSERT_TRUE(p.panel->GetPlayButton()->IsEnabled());
    ASSERT_TRUE(DeleteFileA((dir / "three.wav").c_str()));
    ASSERT_TRUE(PumpUntil([&] { return p.list->Count() == 2; }));
    EXPECT_EQ(p.Text(p.panel->GetFileBox()) + p.Text(p.panel->GetSizeLabel()), "three--- KB");
    EXPECT_FALSE(p.panel->GetPlayButton()->IsEnabled());
    // Typed, then Next: the name shown is the panel's own, so when its file goes a remaining
    // file is shown and playable, or none once the folder is empty.
    MakeWav(dir / "five.wav");
    for (const int left : {2, 0}) {
        ASSERT_TRUE(PumpUntil([&] { return p.list->Count() == (left ? 3 : 2); }));
        SetWindowTextA(box, p.Row(0).c_str());  // typed
        Click(p.panel->GetNextButton());
        const std::string next = p.Text(p.panel->GetFileBox());
        for (const std::string& n : {next, left ? next : p.Row(0)}) DeleteFileA((dir / n).c_str());
        EXPECT_TRUE(PumpUntil([&] { return p.Text(p.panel->GetFileBox()) != next; })) << left;
        EXPECT_EQ(p.RowOf(p.Text(p.panel->GetFileBox())) >= 0 && p.panel->GetPlayButton()->IsEnabled(), left > 0);
    }
}

// Quick steps through files of 1, 7 and 20 s each show their own size and length at once; a
// value set inside a label's redraw interval shows when the interval ends, in every state.
TEST(PlayRecPanel, SizeAndTimeFollowQuickChangesAndHeldRedraws) {
    ScratchFolder dir("apco_quick");
    const std::map<std::string, std::string> shown = {{"a.wav", "15.7 KB 0:00:00 / 0:00:01"},
                                                      {"b.wav", "109 KB 0:00:00 / 0:00:07"},
                                                      {"c.wav", "312 KB 0:00:00 / 0:00:20"}};
    MakeWav(dir / "a.wav", 8000, 8000);
    MakeWav(dir / "b.wav", 8000, 7 * 8000);
    MakeWav(dir / "c.wav", 8000, 20 * 8000);
    Player p;
    p.opens = true;
    p.panel->SetAudioDirPath(dir.Path().c_str());
    auto labels = [&] { return p.Text(p.panel->GetSizeLabel()) + " " + p.Text(p.panel->GetTimeLabel()); };
    auto current = [&] { return shown.at(p.Row(p.list->GetCurrent())); };
    p.list->Select(0, true);
    for (Button* step : {p.panel->GetNextButton(), p.panel->GetPrevButton()}) {
        PumpUntil([] { return false; }, 600);  // each direction starts outside the intervals
        for (int i = 0; i < 2; ++i) Click(step);
        EXPECT_EQ(labels(), current()) << "no pumping: drawn at once";
    }
    const HWND box = p.panel->GetFileBox()->GetHandle();
    SetWindowTextA(box, "");
    window_probe::Type(box, "z");
    ASSERT_EQ(p.Text(p.panel->GetSizeLabel()), "--- KB");
    p.list->Select(1, true);
    EXPECT_EQ(labels(), current());
    for (bool record : {false, true}) {
        record ? p.panel->StartRecording() : p.panel->StartPlayback();
        for (uint32_t n = 1; n <= 3; ++n) {
            p.panel->SetTotalFileSize(n * 2048);
            p.panel->SetTotalWaveTime(n * 60);
        }
        EXPECT_TRUE(PumpUntil([&] { return labels() == "6.00 KB 0:00:00 / 0:03:00"; }, 1000)) << labels();
        p.panel->StopPlayRec();
    }
}

namespace {

CPlayRecPanel* g_probePanel = nullptr;
int g_dialogsClosed = 0;
bool g_clickedThisShowing = false;

void CALLBACK CloseErrorDialog(HWND, UINT, UINT_PTR, DWORD) {
    MessageDialog* d = g_probePanel ? g_probePanel->GetErrorDialog() : nullptr;
    if (!d || !d->IsVisible()) {
        g_clickedThisShowing = false;
        return;
    }
    // A loaded machine can tick again before the modal loop has seen the click and hidden
    // the dialog: one showing is one close.
    if (g_clickedThisShowing) return;
    g_clickedThisShowing = true;
    ++g_dialogsClosed;
    Click(d->GetButton(0));
}

}  // namespace

TEST(PlayRecPanel, WriteProbeDisablesRecordingWithAMessageAndWritesNothingItCannot) {
    ScratchFolder full("apco_full");
    for (int n = 0; n < 1000; ++n)
        CloseHandle(CreateFileA((full / std::to_string(n)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ScratchFolder good("apco_good");
    const struct {
        std::string folder;
        bool writable;
    } rows[] = {{good.Path(), true}, {good / "missing\\deeper", false}, {full.Path(), false}, {good.Path(), true}};
    Player p;
    g_probePanel = p.panel;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseErrorDialog);
    for (const auto& r : rows) {
        g_dialogsClosed = 0;
        g_clickedThisShowing = false;
        p.panel->SetAudioDirPath(r.folder.c_str());
        EXPECT_EQ(p.panel->IsWritable(), r.writable) << r.folder;
        EXPECT_EQ(p.panel->GetRecordButton()->IsEnabled(), r.writable) << r.folder;
        EXPECT_EQ(g_dialogsClosed, r.writable ? 0 : 1) << r.folder;
        // A close that reaches the dialog between its showings leaves it for the next one.
        const HWND dialog = p.panel->GetErrorDialog() ? p.panel->GetErrorDialog()->GetHandle() : nullptr;
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        ASSERT_TRUE(!dialog || IsWindow(dialog)) << r.folder;
    }
    KillTimer(nullptr, timer);
    g_probePanel = nullptr;
    for (const std::string& never : {good / "missing", full / "1000", good / "0"})
        EXPECT_EQ(GetFileAttributesA(never.c_str()), INVALID_FILE_ATTRIBUTES) << never;
}
