// The player/recorder panel with real files in a scratch folder: button states, the shown
// file's size, time and tooltip, the file box, the popup list, the folder watch and the write
// probe.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel_host.h"
#include "plugin/wave_file.h"
#include "tests/foundation_win32/scratch.h"
#include "tests/support/widget_input.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "toolkit/message_dialog.h"
#include "ui/play_rec_controls.h"
#include "ui/play_rec_panel.h"

using window_probe::Pump;

namespace {

void MakeWav(const std::string& path, uint32_t rate, uint32_t samples) {
    WaveFile f;
    ASSERT_EQ(f.Create(path.c_str(), rate), 1) << path;
    std::vector<int16_t> s(samples, 100);
    f.Write(s.data(), samples);
    f.Close();
}

struct Player {
    PanelHost host;
    CPlayRecPanel* panel = new CPlayRecPanel(host.Handle(), 0, 225);
    std::vector<std::string> names;
    EventLog play, stop, pause, step, record;
    Player() {
        panel->OnFileNameChange.Bind(this, &Player::Name);
        panel->OnStartPlay.Bind(&play, &EventLog::Raised);
        panel->OnPlayRecStop.Bind(&stop, &EventLog::Raised);
        panel->OnPlayRecPause.Bind(&pause, &EventLog::Value);
        panel->OnFileTimePosChange.Bind(&step, &EventLog::Value);
        panel->OnRecordStart.Bind(&record, &EventLog::Raised);
    }
    void Name(Object*, const char* path) { names.push_back(path); }
    std::string Text(Component* c) { return c->GetText().CStr(); }
    std::string Row(int i) { return panel->GetFileList()->GetItemText(i).CStr(); }
    int RowOf(const char* name) {
        for (int i = 0; i < panel->GetFileList()->Count(); ++i)
            if (Row(i) == name) return i;
        return -1;
    }
    // Enabled and down flags of every transport control, as "ed" letters ("-" for neither).
    std::string States() {
        std::string s;
        Button* buttons[] = {panel->GetPlayButton(), panel->GetStopButton(), panel->GetPauseButton(),
                             panel->GetRewindButton(), panel->GetForwardButton(), panel->GetIFButton(),
                             panel->GetRecordButton(), panel->GetDropButton(), panel->GetPrevButton()};
        for (Button* b : buttons) s += std::string(b->IsEnabled() ? "e" : "") + (b->IsDown() ? "d" : "") + " ";
        return s + (panel->GetSeekBar()->IsEnabled() ? "e" : "") + " " + (panel->GetFileBox()->IsEnabled() ? "e" : "");
    }
};

}  // namespace

TEST(PlayRecPanel, ThreeButtonStatesAndTheirOrder) {
    ScratchFolder dir("apco_states");
    MakeWav(dir / "call.if.wav", 48000, 48000);
    Player p;
    p.panel->SetAudioDirPath(dir.Path().c_str());
    WaveFile file((dir / "call.if.wav").c_str());
    p.panel->SetWaveFile(&file, 1);
    for (Button* b : {p.panel->GetPlayButton(), p.panel->GetRecordButton(), p.panel->GetIFButton()})
        EXPECT_TRUE(b->HasBitmap());
    //                               play stop pause rew ff IF rec drop prev seek box
    EXPECT_EQ(p.States(), "e     ed e e e  e");
    p.panel->StartPlayback();
    EXPECT_EQ(p.States(), "d e e e e d   " " e ");
    p.panel->SetPaused(1, 0);
    EXPECT_TRUE(p.pause.values.empty()) << "pauses set by the plug-in raise nothing";
    window_probe::Click(p.panel->GetPauseButton());
    EXPECT_EQ(p.pause.values, std::vector<int>{0});
    p.panel->SetPaused(1, 0);
    p.panel->StopPlayRec();
    EXPECT_EQ(p.States(), "e     ed e e e  e") << "pause released, IF shows the last file, record writable";
    p.panel->StartRecording();
    EXPECT_EQ(p.States(), " e e   d d    ");
    p.panel->StopPlayRec();
    EXPECT_EQ(p.States(), "e     ed e e e  e");
    // The drop button and Pause are independent toggles.
    p.panel->StartPlayback();
    p.panel->SetPaused(1, 0);
    p.panel->StopPlayRec();
    window_probe::Click(p.panel->GetDropButton());
    EXPECT_TRUE(p.panel->GetFileList()->IsVisible());
}

TEST(PlayRecPanel, NextFileAfterTheEndButNotDuringStopAndNothingPastEitherEnd) {
    ScratchFolder dir("apco_next");
    for (const char* n : {"1.wav", "2.wav"}) MakeWav(dir / n, 8000, 80);
    Player p;
    p.panel->SetAudioDirPath(dir.Path().c_str());
    CPlayRecFileList* list = p.panel->GetFileList();
    struct StopRunsNext {
        CPlayRecPanel* panel;
        void Stop(Object*) { panel->StartNextFilePlayback(); }
    } during{p.panel};
    p.panel->OnPlayRecStop.Bind(&during, &StopRunsNext::Stop);
    p.panel->StartPlayback();
    list->Select(0, true);
    window_probe::Click(p.panel->GetStopButton());
    EXPECT_EQ(list->GetCurrent(), 0);
    EXPECT_EQ(p.play.count, 0u) << "an end reported during Stop starts nothing";
    p.panel->StartNextFilePlayback();
    EXPECT_EQ(list->GetCurrent(), 1);
    p.panel->StartNextFilePlayback();
    EXPECT_EQ(p.play.count, 1u) << "nothing after the last file";
    p.panel->StopPlayRec();
    window_probe::Click(p.panel->GetNextButton());
    EXPECT_EQ(list->GetCurrent(), 1);
    for (int clicks = 0; clicks < 3; ++clicks) window_probe::Click(p.panel->GetPrevButton());
    EXPECT_EQ(list->GetCurrent(), 0);
}

TEST(PlayRecPanel, SizeAndTimeTexts) {
    Player p;
    const struct {
        uint32_t bytes;
        const char* text;
    } sizes[] = {
        {0xFFFFFFFFu, "--- KB"}, {1023, "1023 B"},         {1024, "1.00 KB"},        {10240, "10.0 KB"},
        {102400, "100 KB"},      {1048600, "1024 KB"},     {1048756, "1.00 MB"},     {10485760, "10.0 MB"},
        {209715200, "200 MB"},   {0x40000000, "1.00 GB"},
    };
    for (const auto& r : sizes) {
        p.panel->SetTotalFileSize(r.bytes);
        p.panel->StopPlayRec();   // redraws at once
        EXPECT_EQ(p.Text(p.panel->GetSizeLabel()), r.text) << r.bytes;
    }
    p.panel->SetTotalWaveTime(3723);
    p.panel->SetFilePosTime(61);
    EXPECT_EQ(p.Text(p.panel->GetTimeLabel()), "0:01:01 / 1:02:03");
    p.panel->SetFilePosTime(36000);
    EXPECT_EQ(p.Text(p.panel->GetTimeLabel()), "10:00:00 / 1:02:03");
}

TEST(PlayRecPanel, ShownFileTooltipAndPlayability) {
    ScratchFolder dir("apco_tooltip");
    MakeWav(dir / "call.if.wav", 48000, 4800);
    MakeWav(dir / "voice.wav", 8000, 800);
    Player p;
    const struct {
        const char* name;
        int supported;
        const char* tip;
        bool playable;
    } rows[] = {
        {"call.if.wav", 1, "call.if.wav\n48000Hz, 16 bits, mono\nIF recording", true},
        {"voice.wav", 0, "voice.wav\n8000Hz, 16 bits, mono\nAudio recording\nUNSUPPORTED", false},
    };
    for (const auto& r : rows) {
        WaveFile file((dir / r.name).c_str());
        p.panel->SetWaveFile(&file, r.supported);
        char tip[512] = {};
        p.panel->GetFileBox()->GetToolTip(tip);
        EXPECT_STREQ(tip, r.tip);
        EXPECT_EQ(p.Text(p.panel->GetFileBox()), r.name);
        EXPECT_EQ(p.panel->GetPlayButton()->IsEnabled(), r.playable) << r.name;
    }
    WaveFile closed;
    p.panel->SetWaveFile(&closed, 1);
    EXPECT_EQ(p.Text(p.panel->GetSizeLabel()), "--- KB");
    EXPECT_EQ(p.Text(p.panel->GetTimeLabel()), "--:--:-- / --:--:--");
}

TEST(PlayRecPanel, NamesMatchWithOneOrTwoExtensionsAndTypingAndEscape) {
    ScratchFolder dir("apco_names");
    for (const char* n : {"b.wav", "x.if.wav", "a.WAV"}) MakeWav(dir / n, 8000, 80);
    Player p;
    p.panel->SetAudioDirPath(dir.Path().c_str());
    ASSERT_EQ(p.panel->GetFileList()->Count(), 3);
    const struct {
        const char* typed;
        const char* row;
    } rows[] = {{"x.if.wav", "x.if.wav"}, {"X.IF", "x.if.wav"}, {"x", "x.if.wav"}, {"a", "a.WAV"},
                {"b.wav", "b.wav"},       {"x.if.wav.wav", nullptr}, {"b.if", nullptr}};
    for (const auto& r : rows) {
        p.panel->GetFileList()->Select(-1, true);
        EXPECT_EQ(p.panel->SelectFile(r.typed), r.row != nullptr) << r.typed;
        if (r.row) EXPECT_EQ(p.panel->GetFileList()->GetCurrent(), p.RowOf(r.row)) << r.typed;
    }
    // Choosing from the list names the file; the plug-in answers with SetWaveFile.
    p.names.clear();
    p.panel->GetFileList()->Select(p.RowOf("a.WAV"), true);
    p.panel->GetFileList()->Select(p.RowOf("b.wav"), true);
    WaveFile b((dir / "b.wav").c_str());
    p.panel->SetWaveFile(&b, 1);
    const HWND box = p.panel->GetFileBox()->GetHandle();
    SetFocus(box);
    SetWindowTextA(box, "");   // the box empties: nothing matches
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
    window_probe::Click(drop);
    CPlayRecFileList* list = p.panel->GetFileList();
    ASSERT_TRUE(list->IsVisible());
    RECT l, box;
    GetWindowRect(list->GetHandle(), &l);
    GetWindowRect(p.panel->GetFileBox()->GetHandle(), &box);
    EXPECT_EQ(l.bottom, box.top);
    EXPECT_EQ(l.left, box.left);
    EXPECT_EQ(GetFocus(), list->GetHandle());
    SetFocus(p.panel->GetFileBox()->GetHandle());   // as the press on the drop button does
    Pump();
    EXPECT_FALSE(list->IsVisible());
    EXPECT_FALSE(drop->IsDown());
    window_probe::Click(drop);
    EXPECT_FALSE(list->IsVisible()) << "the press that took the focus closes the list";
    EXPECT_FALSE(drop->IsDown());
    SendMessageA(p.panel->GetHandle(), WM_TIMER, CPlayRecPanel::kListCloseTimer, 0);
    window_probe::Click(drop);
    EXPECT_TRUE(list->IsVisible());
    window_probe::Click(drop);
    EXPECT_FALSE(list->IsVisible());
}

TEST(PlayRecPanel, FolderWatchFollowsFilesAppearingAndDisappearing) {
    ScratchFolder dir("apco_watch");
    for (const char* n : {"one.wav", "two.wav", "three.wav"}) MakeWav(dir / n, 8000, 80);
    Player p;
    p.panel->SetAudioDirPath(dir.Path().c_str());
    CPlayRecFileList* list = p.panel->GetFileList();
    ASSERT_EQ(list->Count(), 3);
    ASSERT_TRUE(p.panel->SelectFile("two"));
    const int second = list->GetCurrent();
    const std::string after = p.Row(second + 1 < 3 ? second + 1 : 2);
    MakeWav(dir / "four.if.wav", 8000, 80);
    MakeWav(dir / "not-a-recording.txt", 8000, 80);
    ASSERT_TRUE(PumpUntil([&] { return list->Count() == 4; }));
    EXPECT_EQ(p.RowOf("two.wav"), list->GetCurrent()) << "the box still names it";
    // The shown file disappears: the row after it is chosen.
    WaveFile shown((dir / "two.wav").c_str());
    p.panel->SetWaveFile(&shown, 1);
    shown.Close();
    const int row = list->GetCurrent();
    const std::string next = row + 1 < list->Count() ? p.Row(row + 1) : p.Row(list->Count() - 1);
    ASSERT_TRUE(DeleteFileA((dir / "two.wav").c_str()));
    ASSERT_TRUE(PumpUntil([&] { return list->Count() == 3; }));
    EXPECT_EQ(p.Row(list->GetCurrent()), next == "two.wav" ? p.Row(list->Count() - 1) : next);
    EXPECT_EQ(p.names.back(), dir / p.Row(list->GetCurrent()));
}

namespace {

CPlayRecPanel* g_probePanel = nullptr;
int g_dialogsClosed = 0;

void CALLBACK CloseErrorDialog(HWND, UINT, UINT_PTR id, DWORD) {
    MessageDialog* d = g_probePanel ? g_probePanel->GetErrorDialog() : nullptr;
    if (!d || !d->IsVisible()) return;
    ++g_dialogsClosed;
    window_probe::Click(d->GetButton(0));
}

}  // namespace

TEST(PlayRecPanel, WriteProbeDisablesRecordingWithAMessageAndWritesNothingItCannot) {
    ScratchFolder full("apco_full");
    for (int n = 0; n < 1000; ++n) CloseHandle(CreateFileA((full / std::to_string(n)).c_str(), GENERIC_WRITE, 0, nullptr,
                                                           CREATE_NEW, 0, nullptr));
    ScratchFolder good("apco_good");
    const struct {
        std::string folder;
        bool writable;
    } rows[] = {{good.Path(), true}, {good / "missing\\deeper", false}, {full.Path(), false}, {good.Path(), true}};
    Player p;
    g_probePanel = p.panel;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseErrorDialog);
    int dialogs = 0;
    for (const auto& r : rows) {
        g_dialogsClosed = 0;
        p.panel->SetAudioDirPath(r.folder.c_str());
        EXPECT_EQ(p.panel->IsWritable(), r.writable) << r.folder;
        EXPECT_EQ(p.panel->GetRecordButton()->IsEnabled(), r.writable) << r.folder;
        EXPECT_EQ(g_dialogsClosed, r.writable ? 0 : 1) << r.folder;
        dialogs += g_dialogsClosed;
    }
    KillTimer(nullptr, timer);
    g_probePanel = nullptr;
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(GetFileAttributesA((good / "missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((full / "1000").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((good / "0").c_str()), INVALID_FILE_ATTRIBUTES) << "the probe file is deleted";
}
