// The setup window under Wine: its layout, the indicator labels, the events every change
// raises, the clamping filter setters and their silent flag, the call-log word and file name,
// Help, About, OK, and the output device list with devices Wine offers plus injected ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "dsp/fir_filter.h"
#include "plugin/device_notification_client.h"
#include "tests/support/window_probe.h"
#include "toolkit/button.h"
#include "toolkit/combo_box.h"
#include "toolkit/int_edit.h"
#include "toolkit/listbox.h"
#include "toolkit/panel.h"
#include "ui/about_dialog.h"
#include "ui/audio_filter_graph.h"
#include "ui/param_edit.h"
#include "ui/setup_dialog.h"

using window_probe::FindByText;
using window_probe::Pump;
using window_probe::TextOf;

namespace {

std::vector<std::string> g_helpCalls;

HWND WINAPI FakeHtmlHelp(HWND, LPCSTR path, UINT command, DWORD_PTR data) {
    g_helpCalls.push_back(std::to_string(command) + " " + path + " " + std::to_string(data));
    return nullptr;
}

// The system's side replaced: injected devices after Wine's own, a chosen preferred device, a
// scripted save-file dialog and HTML Help, and recorded message boxes.
class TestSetup : public CSetupDialog {
public:
    static constexpr const char* kUnreadable = "<unreadable>";
    std::vector<std::string> extraDevices;
    DWORD preferred = 0;
    int preferredQueries = 0;
    std::string fileAnswer;  // empty: the dialog is cancelled
    std::string fileStart, fileExtension;
    bool helpLoads = true, helpEntry = true;
    std::vector<std::string> messages;

    TestSetup() : CSetupDialog(nullptr, 20, 20, 630, 279, 0x86C80000 | WS_VISIBLE, 0) {}
    uint32_t WineDevices() { return CSetupDialog::CountWaveOutDevices(); }

protected:
    uint32_t CountWaveOutDevices() override { return WineDevices() + static_cast<uint32_t>(extraDevices.size()); }
    bool ReadWaveOutDeviceName(uint32_t i, String* name) override {
        if (i < WineDevices()) return CSetupDialog::ReadWaveOutDeviceName(i, name);
        i -= WineDevices();
        if (i >= extraDevices.size() || extraDevices[i] == kUnreadable) return false;
        *name = extraDevices[i].c_str();
        return true;
    }
    bool QueryPreferredDevice(DWORD* device) override {
        ++preferredQueries;
        *device = preferred;
        return true;
    }
    bool AskSaveFileName(const char*, const char*, const char* extension, DWORD, char* buffer, int size) override {
        fileStart = buffer;
        fileExtension = extension ? extension : "(none)";
        if (fileAnswer.empty()) return false;
        lstrcpynA(buffer, fileAnswer.c_str(), size);
        return true;
    }
    HMODULE LoadHelpLibrary() override { return helpLoads ? LoadLibraryA("kernel32.dll") : nullptr; }
    FARPROC FindHelpEntry(HMODULE) override {
        return helpEntry ? reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FakeHtmlHelp)) : nullptr;
    }
    void ShowMessage(const char* text) override { messages.push_back(text); }
};

// One event of the window as a line of text: its name and its value.
struct EventLine {
    std::vector<std::string>* lines;
    const char* name;
    void Plain(Object*) { lines->push_back(name); }
    void Int(Object*, int v) { lines->push_back(name + (" " + std::to_string(v))); }
    void Wide(Object*, int64_t v) { Int(nullptr, static_cast<int>(v)); }
};

struct SetupWindow {
    TestSetup* w = new TestSetup;
    std::vector<std::string> lines;
    EventLine on[13] = {{&lines, "close"},       {&lines, "low"},    {&lines, "high"},    {&lines, "type"},
                        {&lines, "deemph"},      {&lines, "len"},    {&lines, "enable"},  {&lines, "pauseSq"},
                        {&lines, "pauseNoApco"}, {&lines, "device"}, {&lines, "logging"}, {&lines, "logfile"},
                        {&lines, "params"}};
    SetupWindow() {
        w->OnClose.Bind(&on[0], &EventLine::Plain);
        w->OnAFFreqLowChange.Bind(&on[1], &EventLine::Wide);
        w->OnAFFreqHighChange.Bind(&on[2], &EventLine::Wide);
        Event<int>* ints[] = {&w->OnAFFilterTypeChange, &w->OnAFFilterDeempChange,     &w->OnAFLenChange,
                              &w->OnAFEnable,           &w->OnPauseUnderSquelchChange, &w->OnPauseNoApcoChange,
                              &w->OnWaveOutDeviceChange};
        for (int i = 0; i < 7; ++i) ints[i]->Bind(&on[3 + i], &EventLine::Int);
        Event<>* plain[] = {&w->OnLoggingEnable, &w->OnLogFileNameChange, &w->OnLoggingParamsChange};
        for (int i = 0; i < 3; ++i) plain[i]->Bind(&on[10 + i], &EventLine::Plain);
        Pump();
    }
    ~SetupWindow() { delete w; }
    std::vector<std::string> Take() {
        std::vector<std::string> out;
        out.swap(lines);
        return out;
    }

    Button* ButtonNamed(const char* text) { return FindByText<Button>(w, kTagButton, text); }
    Component* LabelNamed(const char* text) { return FindByText<Component>(w, kTagLabel, text); }
    // The parameter field whose caption is text.
    CParamEdit* Field(const char* text) {
        Component* caption = LabelNamed(text);
        return caption ? static_cast<CParamEdit*>(caption->GetParent()) : nullptr;
    }
    // Typed into the field and committed with Enter.
    void TypeInto(Component* edit, const char* text) {
        SetWindowTextA(edit->GetHandle(), "");
        window_probe::Type(edit->GetHandle(), text);
        window_probe::Type(edit->GetHandle(), "\r");
    }
    void TypeInto(const char* field, const char* text) { TypeInto(Field(field)->GetEdit(), text); }
    // The numeric field with these limits.
    IntEdit* EditWithLimits(int64_t minimum, int64_t maximum) {
        auto all = window_probe::Find(w, [&](Component* c) {
            return c->GetType() == kTagIntEdit && static_cast<IntEdit*>(c)->GetMin() == minimum &&
                   static_cast<IntEdit*>(c)->GetMax() == maximum;
        });
        return all.empty() ? nullptr : static_cast<IntEdit*>(all[0]);
    }
    Component* DeemphasisField() { return EditWithLimits(-100, 0); }
    CParamEdit* IntervalField() { return static_cast<CParamEdit*>(EditWithLimits(1, 3600)->GetParent()); }
    // The five indicators in reading order (arrows of spin controls and scroll bars are as small).
    std::vector<Button*> Indicators() {
        std::vector<Button*> out;
        for (Component* c : window_probe::FindBySize(w, kTagButton, 10, 10))
            if (c->GetParent()->GetType() == kTagPanel) out.push_back(static_cast<Button*>(c));
        return out;
    }
    void MouseUp(Component* c, int x, int y) {
        SendMessageA(c->GetHandle(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        Pump();
    }
};

void MakeFilter(CFirFilter* f, int type, float centreHz, float widthHz, int taps) {
    f->SetSampleRate(16000);
    f->SetType(type);
    f->SetFrequency(centreHz);
    f->SetBandwidth(widthHz);
    f->SetTaps(taps);
}

}  // namespace

TEST(CSetupDialog, Layout) {
    SetupWindow s;
    ASSERT_EQ(s.w->ClientWidth(), 630);
    // Groups by their captions, and the button row below the left column.
    const struct {
        const char* caption;
        int left, top, width, height;
    } places[] = {
        {"Output", 5, 5, 307, 46},          {"Recording", 5, 56, 307, 63}, {"Logging", 5, 124, 307, 125},
        {"Audio Filter", 317, 5, 307, 244}, {"Help", 5, 254, 60, 20},      {"About", 70, 254, 60, 20},
        {"OK", 565, 254, 60, 20},
    };
    for (const auto& p : places) {
        Component* c = s.LabelNamed(p.caption) ? s.LabelNamed(p.caption)->GetParent() : s.ButtonNamed(p.caption);
        ASSERT_NE(c, nullptr) << p.caption;
        EXPECT_EQ(c->GetParent(), s.w) << p.caption;
        EXPECT_EQ((std::vector<int>{c->GetLeft(), c->Top(), c->Width(), c->Height()}),
                  (std::vector<int>{p.left, p.top, p.width, p.height}))
            << p.caption;
        // Every control of a group lies inside it.
        for (Component* inside : window_probe::Find(c, [](Component* x) { return x->IsVisible(); }))
            EXPECT_LE(inside->GetScreenPos().y - c->GetScreenPos().y + inside->Height(), c->Height()) << p.caption;
    }
    EXPECT_EQ(s.w->GetGraph()->Height(), 138);
    EXPECT_TRUE(s.ButtonNamed("Bandpass")->IsDown());
    EXPECT_FALSE(s.w->GetAboutDialog()->IsVisible()) << "made hidden";
    EXPECT_EQ(TextOf(s.Field("Filter Length")->GetEdit()), "512");
}

TEST(CSetupDialog, IndicatorLabelsActOnlyOnAReleaseInside) {
    SetupWindow s;
    const struct {
        const char* label;
        std::vector<std::string> first, second;
    } rows[] = {
        {"Pause if Squelched", {"pauseSq 1"}, {"pauseSq 0"}},
        {"Pause if no APCO Signal", {"pauseNoApco 1"}, {"pauseNoApco 0"}},
        {"Use squelch settings to filter logs", {"params"}, {"params"}},
        {"Log Every Change", {"params"}, {"params"}},
        {"Interval", {"params"}, {"params"}},
    };
    for (const auto& r : rows) {
        Component* label = s.LabelNamed(r.label);
        ASSERT_NE(label, nullptr) << r.label;
        s.MouseUp(label, label->Width() + 3, 2);
        s.MouseUp(label, 2, label->Height() + 3);
        EXPECT_TRUE(s.Take().empty()) << r.label << ": released outside";
        s.MouseUp(label, 1, 1);
        EXPECT_EQ(s.Take(), r.first) << r.label;
        s.MouseUp(label, label->Width(), label->Height());
        EXPECT_EQ(s.Take(), r.second) << r.label;
    }
    EXPECT_EQ(s.w->GetPauseUnderSquelch(), 0);
    EXPECT_EQ(s.w->GetLoggingParams() & CSetupDialog::kLogUseSquelch, 0u) << "flipped twice";
}

TEST(CSetupDialog, EveryChangeIsReportedAtOnce) {
    SetupWindow s;
    s.w->extraDevices = {"Injected"};
    s.w->FillWaveOutDevices();
    s.Take();
    const struct {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> expected;
    } steps[] = {
        {"On", [&] { window_probe::Click(s.ButtonNamed("On")); }, {"enable 1"}},
        {"Lowpass", [&] { window_probe::Click(s.ButtonNamed("Lowpass")); }, {"type 1"}},
        {"Bandpass", [&] { window_probe::Click(s.ButtonNamed("Bandpass")); }, {"type 0"}},
        {"Cut-off Low", [&] { s.TypeInto("Cut-off Low", "300"); }, {"low 300"}},
        {"Cut-off High", [&] { s.TypeInto("Cut-off High", "3000"); }, {"high 3000"}},
        {"Deemphasis", [&] { s.TypeInto(s.DeemphasisField(), "-2.5"); }, {"deemph -25"}},
        {"Filter Length", [&] { s.TypeInto("Filter Length", "1024"); }, {"len 1024"}},
        {"Interval", [&] { s.TypeInto(s.IntervalField()->GetEdit(), "30"); }, {"params"}},
        {"Enable", [&] { window_probe::Click(s.ButtonNamed("Enable")); }, {"logging"}},
        {"device",
         [&] {
             s.w->GetDeviceCombo()->Select(0);
             s.w->GetDeviceCombo()->DoOnChange();
         },
         {"device 0"}},
        {"OK", [&] { window_probe::Click(s.ButtonNamed("OK")); }, {"close"}},
        {"WM_CLOSE", [&] { SendMessageA(s.w->GetHandle(), WM_CLOSE, 0, 0); }, {"close"}},
        {"owner's SetAFEnabled", [&] { s.w->SetAFEnabled(0); }, {"enable 0"}},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(s.Take(), step.expected) << step.what;
    }
    EXPECT_TRUE(IsWindow(s.w->GetHandle())) << "OK and closing keep the window";
    EXPECT_FALSE(s.ButtonNamed("On")->IsDown());
    EXPECT_EQ(s.w->GetLoggingParams() & CSetupDialog::kLogIntervalMask, 30u);
    EXPECT_EQ(s.w->GetGraph()->GetFreqHigh(), 3000) << "the graph follows the fields";
}

TEST(CSetupDialog, CutOffsAreClampedAndReportedOnceAsTheyStand) {
    SetupWindow s;
    CAudioFilterGraph* graph = s.w->GetGraph();
    const struct {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> expected;
        int low, high;
    } steps[] = {
        {"low above high", [&] { s.w->SetAFFreqLow(5000, 0); }, {"low 3999"}, 3999, 4000},
        {"silent", [&] { s.w->SetAFFreqLow(100, 1); }, {}, 100, 4000},
        {"typed above high", [&] { s.TypeInto("Cut-off Low", "5000"); }, {"low 3999"}, 3999, 4000},
        {"typed again", [&] { s.TypeInto("Cut-off Low", "6000"); }, {}, 3999, 4000},
        {"high below low", [&] { s.w->SetAFFreqHigh(100, 0); }, {}, 3999, 4000},
        {"lowpass", [&] { s.w->SetAFLowpass(1, 0); }, {"type 1"}, 3999, 4000},
        {"lowpass high to 0", [&] { s.w->SetAFFreqHigh(0, 0); }, {"high 1"}, 3999, 1},
        {"bandpass again", [&] { s.w->SetAFLowpass(0, 0); }, {"low 0", "type 0"}, 0, 1},
        {"high above 8000", [&] { s.TypeInto("Cut-off High", "9000"); }, {"high 8000"}, 0, 8000},
        {"graph dragged", [&] { graph->SetFreqLow(8500); }, {"low 7999"}, 7999, 8000},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(s.Take(), step.expected) << step.what;
        // Stored, shown in the fields and in the graph alike.
        const std::vector<int64_t> shown = {s.w->GetAFFreqLow(),
                                            s.w->GetAFFreqHigh(),
                                            s.Field("Cut-off Low")->GetValue(),
                                            s.Field("Cut-off High")->GetValue(),
                                            graph->GetFreqLow(),
                                            graph->GetFreqHigh()};
        EXPECT_EQ(shown, (std::vector<int64_t>{step.low, step.high, step.low, step.high, step.low, step.high}))
            << step.what;
    }
    EXPECT_TRUE(s.Field("Cut-off Low")->IsEnabled()) << "enabled again in band-pass mode";
}

TEST(CSetupDialog, FilterParametersAreReadSilently) {
    SetupWindow s;
    CFirFilter filter;
    const struct {
        int type;
        float centre, width;
        int taps, lowpass, low, high;
        std::vector<std::string> expected;
        float deemphasisDb = -3.0f;
        int shownTaps = 0, shownTenths = -30;  // 0: the filter's taps
    } cases[] = {
        {kFilterBandPass, 1650, 2700, 256, 0, 300, 3000, {"len 256"}},
        {kFilterBandPass, 5500, 1000, 256, 0, 5000, 6000, {}},  // the band above the old high edge
        {kFilterLowPass, 3000, 1000, 512, 1, 5000, 3000, {"len 512"}},
        // Beyond the fields' limits: the clamped values stand, and are reported although silent.
        {kFilterLowPass, 3000, 1000, 8192, 1, 5000, 3000, {"deemph -100", "len 4096"}, -15.0f, 4096, -100},
        {kFilterLowPass, 3000, 1000, 8, 1, 5000, 3000, {"deemph -100", "len 16"}, -100.0f, 16, -100},
    };
    for (const auto& c : cases) {
        MakeFilter(&filter, c.type, c.centre, c.width, c.taps);
        filter.SetDeemphasis(c.deemphasisDb);
        s.w->ReadAudioFilterParams(&filter);
        EXPECT_EQ(s.Take(), c.expected) << c.centre;
        const int taps = c.shownTaps ? c.shownTaps : c.taps;
        const std::vector<int> shown = {s.w->GetAFLowpass(),
                                        s.w->GetAFFreqLow(),
                                        s.w->GetAFFreqHigh(),
                                        s.w->GetAFDeemphasis(),
                                        static_cast<int>(static_cast<IntEdit*>(s.DeemphasisField())->GetValue()),
                                        s.w->GetAFFilterLen(),
                                        static_cast<int>(s.Field("Filter Length")->GetValue()),
                                        s.ButtonNamed("Lowpass")->IsDown(),
                                        !s.Field("Cut-off Low")->IsEnabled()};
        EXPECT_EQ(shown, (std::vector<int>{c.lowpass, c.low, c.high, c.shownTenths, c.shownTenths, taps, taps,
                                           c.lowpass, c.lowpass}))
            << c.taps;
        // The graph's ideal curve: the slope over the octave above its low edge.
        CAudioFilterGraph* graph = s.w->GetGraph();
        const float octave = graph->DeemphasisAt(2.0f * graph->GetFreqLow()) - graph->DeemphasisAt(graph->GetFreqLow());
        EXPECT_NEAR(octave, c.shownTenths * 0.1f, 0.01f) << c.taps;
    }
    EXPECT_EQ(s.w->GetGraph()->IsLowpass(), true);
    s.w->ReadAudioFilterParams(nullptr);
    EXPECT_TRUE(s.Take().empty());
    s.w->EnableControlsForDemodMode(0x100);
    EXPECT_FALSE(s.w->IsFilterGroupEnabled()) << "only the low byte counts";
    s.w->EnableControlsForDemodMode(1);
    EXPECT_TRUE(s.w->IsFilterGroupEnabled());
}

TEST(CSetupDialog, LoggingWordAndLogFileName) {
    SetupWindow s;
    std::vector<Button*> lit = s.Indicators();  // squelch filter, every change, interval: 2, 3, 4
    ASSERT_EQ(lit.size(), 5u);
    auto shown = [&] {
        return std::vector<bool>{lit[2]->OwnFaceColor() == CSetupDialog::kIndicatorOn,
                                 lit[3]->OwnFaceColor() == CSetupDialog::kIndicatorOn,
                                 lit[4]->OwnFaceColor() == CSetupDialog::kIndicatorOn};
    };
    CParamEdit* field = s.IntervalField();
    s.w->SetLoggingParams(CSetupDialog::kLogUseSquelch | 30);
    EXPECT_TRUE(s.Take().empty()) << "the owner's word is only shown";
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(field->IsEnabled());
    EXPECT_EQ(field->GetValue(), 30);
    const struct {
        const char* typed;
        uint32_t word;
    } intervals[] = {{"0", 1}, {"5000", 3600}, {"120", 120}};
    for (const auto& i : intervals) {
        s.TypeInto(field->GetEdit(), i.typed);
        EXPECT_EQ(s.w->GetLoggingParams(), CSetupDialog::kLogUseSquelch | i.word) << i.typed;
        EXPECT_EQ(s.Take(), std::vector<std::string>{"params"}) << i.typed;
    }
    s.MouseUp(s.LabelNamed("Log Every Change"), 1, 1);
    EXPECT_EQ(s.w->GetLoggingParams(), CSetupDialog::kLogEveryChange | CSetupDialog::kLogUseSquelch | 120);
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, true})) << "recoloured only by the owner's answer";
    s.w->SetLoggingParams(s.w->GetLoggingParams());
    EXPECT_EQ(shown(), (std::vector<bool>{true, true, false}));
    EXPECT_FALSE(field->IsEnabled());

    // The file name: empty means the default path, which the field shows.
    const String defaultPath = CSetupDialog::GetDefaultLogFileName();
    const std::string text = defaultPath.CStr();
    EXPECT_EQ(text.find("\\Quorvane\\APCO\\ApcoLog.csv") + 26, text.size()) << text;
    EXPECT_EQ(text.find("\\\\"), std::string::npos) << text;
    s.Take();
    Component* edit = window_probe::Find(s.w, [](Component* c) { return c->Width() == 228; }).at(0);
    EXPECT_EQ(TextOf(edit), "ApcoLog.csv");
    s.w->SetLogFileName("");
    s.w->SetLogFileName("");
    EXPECT_EQ(s.Take(), std::vector<std::string>{"logfile"});
    EXPECT_EQ(TextOf(edit), text);
    EXPECT_EQ(s.w->GetLogFileName(0), "");
    EXPECT_EQ(s.w->GetLogFileName(1), defaultPath);
    const struct {
        std::string answer;
        std::vector<std::string> expected;
    } dialogs[] = {{"", {}}, {"D:\\logs\\calls.csv", {"logfile"}}, {"D:\\logs\\calls.csv", {}}};
    for (const auto& d : dialogs) {
        s.w->fileAnswer = d.answer;
        window_probe::Click(s.ButtonNamed("..."));
        EXPECT_EQ(s.Take(), d.expected) << d.answer;
    }
    EXPECT_EQ(s.w->fileStart, "D:\\logs\\calls.csv") << "the dialog starts at the stored name";
    EXPECT_EQ(s.w->fileExtension, "csv") << "what a name typed without an extension gets";
    EXPECT_EQ(TextOf(edit), "D:\\logs\\calls.csv");
}

TEST(CSetupDialog, HelpPathAndHtmlHelpCalls) {
    // The folder from a value "SearchPath", else the installation default.
    const char* scratch = "Software\\ApcoTests\\SetupHelp";
    RegDeleteKeyA(HKEY_CURRENT_USER, scratch);
    EXPECT_EQ(CSetupDialog::GetHelpFilePath(HKEY_CURRENT_USER, scratch),
              "C:\\Program Files\\Quorvane\\Plugins\\K927Apco.chm");
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, scratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    EXPECT_EQ(CSetupDialog::GetHelpFilePath(HKEY_CURRENT_USER, scratch),
              "C:\\Program Files\\Quorvane\\Plugins\\K927Apco.chm")
        << "a key without the value";
    RegSetValueExA(key, "SearchPath", 0, REG_SZ, reinterpret_cast<const BYTE*>("D:\\VKT"), 7);
    RegCloseKey(key);
    EXPECT_EQ(CSetupDialog::GetHelpFilePath(HKEY_CURRENT_USER, scratch), "D:\\VKT\\K927Apco.chm");
    RegDeleteKeyA(HKEY_CURRENT_USER, scratch);

    const std::string path = CSetupDialog::GetHelpFilePath().CStr();
    const struct {
        bool loads, entry;
        std::vector<std::string> calls, messages;
    } cases[] = {
        {false, true, {}, {"Unable to load HTML Help component required to view help."}},
        {true, false, {}, {"Unable to initialize HTML Help component required to view help."}},
        {true, true, {"28 " + path + " 0", "1 " + path + " 0"}, {}},
    };
    for (const auto& c : cases) {
        SetupWindow s;
        s.w->helpLoads = c.loads;
        s.w->helpEntry = c.entry;
        g_helpCalls.clear();
        window_probe::Click(s.ButtonNamed("Help"));
        EXPECT_EQ(g_helpCalls, c.calls);
        EXPECT_EQ(s.w->messages, c.messages);
    }
}

TEST(CSetupDialog, AboutWindowIsCentredShowsTheVersionAndClosingOnlyHidesIt) {
    EXPECT_EQ(CAboutDialog::FormatVersion(1, 2, 3), "Version 1.23");
    SetupWindow s;
    CAboutDialog* about = s.w->GetAboutDialog();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->GetVersionText(), "Version 2.105") << "from the program's own version resource";
    EXPECT_EQ(TextOf(about), "About");
    Button* ok = about->GetOkButton();
    const HWND aboutWindow = about->GetHandle();
    for (int round = 0; round < 3; ++round) {
        window_probe::Click(s.ButtonNamed("About"));
        ASSERT_TRUE(about->IsVisible()) << round;
        RECT own, shown;
        GetWindowRect(s.w->GetHandle(), &own);
        GetWindowRect(about->GetHandle(), &shown);
        const LONG width = shown.right - shown.left, height = shown.bottom - shown.top;
        EXPECT_EQ(shown.left, own.left + (own.right - own.left - width) / 2) << round;
        EXPECT_EQ(shown.top, std::max<LONG>(0, own.top + (own.bottom - own.top - height) / 2)) << round;
        EXPECT_EQ(about->GetOkButton(), ok) << "the same controls, not rebuilt";
        if (round == 1)
            SendMessageA(aboutWindow, WM_CLOSE, 0, 0);  // Alt+F4
        else
            window_probe::Click(ok);
        ASSERT_TRUE(IsWindow(aboutWindow)) << round;
        EXPECT_FALSE(about->IsVisible()) << round;
    }
    const HWND graph = s.w->GetGraph()->GetHandle();
    SendMessageA(graph, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(graph)) << "a child ignores a close of its own";
    window_probe::Click(s.ButtonNamed("About"));
    SendMessageA(s.w->GetHandle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(about->IsVisible()) << "closing the setup window hides it";
}

TEST(CSetupDialog, OutputDevicesFollowTheirNames) {
    SetupWindow s;
    TestSetup* w = s.w;
    ASSERT_EQ(w->WineDevices(), 1u) << "scripts/wine-run gives Wine one wave-out device";
    w->extraDevices = {"X", "Injected A", TestSetup::kUnreadable, "Injected B"};
    w->preferred = 4;
    auto device = [](int i) { return std::vector<std::string>{"device " + std::to_string(i)}; };
    w->FillWaveOutDevices();
    Listbox* list = w->GetDeviceCombo()->GetList();
    std::vector<std::string> listed;
    for (int i = 1; i < list->Count(); ++i) listed.push_back(list->GetItemText(i).CStr());
    EXPECT_EQ(listed, (std::vector<std::string>{"X", "Injected A", "", "Injected B"})) << "after Wine's device";
    EXPECT_EQ(s.Take(), device(4)) << "the preferred device";

    // Posted by the listener from the audio service: 2, 3 and 4 rebuild the list.
    DeviceNotificationClient* listener = w->GetDeviceNotifyHolder().GetListener();
    ASSERT_NE(listener, nullptr);
    ASSERT_EQ(listener->GetWindow(), w->GetHandle()) << "registered with the system's device enumerator";
    auto notify = [&](int code) {
        const PROPERTYKEY key = {};
        if (code == 1) listener->OnDefaultDeviceChanged(eRender, eConsole, L"x");
        if (code == 2) listener->OnDeviceAdded(L"x");
        if (code == 3) listener->OnDeviceRemoved(L"x");
        if (code == 4) listener->OnDeviceStateChanged(L"x", 1);
        if (code == 5) listener->OnPropertyValueChanged(L"x", key);
    };
    const struct {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> expected;
        const char* chosen;
    } steps[] = {
        {"stored name", [&] { w->SetWaveOutDeviceName("Injected A"); }, device(2), "Injected A"},
        {"unknown name", [&] { w->SetWaveOutDeviceName("Gone"); }, device(4), "Injected B"},
        {"unreadable entry",
         [&] {
             w->GetDeviceCombo()->Select(3);
             w->GetDeviceCombo()->DoOnChange();
         },
         device(3), ""},
        {"back to A", [&] { w->SelectWaveOutDevice(2); }, device(2), "Injected A"},
        {"X removed",
         [&] {
             w->extraDevices.erase(w->extraDevices.begin());
             notify(3);
         },
         device(1), "Injected A"},
        {"default changed", [&] { notify(1); }, {}, "Injected A"},
        {"property changed", [&] { notify(5); }, {}, "Injected A"},
        {"Y added",
         [&] {
             w->extraDevices.push_back("Y");
             notify(2);
         },
         device(1), "Injected A"},
        {"state changed", [&] { notify(4); }, device(1), "Injected A"},
        {"A removed",
         [&] {
             w->extraDevices.erase(w->extraDevices.begin());
             w->preferred = 2;
             notify(3);
         },
         device(2), "Injected B"},
        {"B removed, Y at its place",
         [&] {
             w->extraDevices.erase(w->extraDevices.begin() + 1);
             notify(3);
         },
         device(2), "Y"},
        {"beyond the list", [&] { w->SelectWaveOutDevice(10); }, {}, "Y"},
    };
    for (const auto& step : steps) {
        step.act();
        Pump();
        EXPECT_EQ(s.Take(), step.expected) << step.what;
        EXPECT_EQ(std::string(w->GetWaveOutDeviceName().CStr()), step.chosen) << step.what;
        // The box names the chosen device and its list marks that row, after a rebuild too.
        const int chosen = w->GetSelectedWaveOutDevice();
        EXPECT_EQ(std::string(w->GetDeviceCombo()->GetText().CStr()), step.chosen) << step.what;
        EXPECT_EQ(w->GetDeviceCombo()->GetCurrent(), chosen) << step.what;
        EXPECT_EQ(list->GetCurrent(), chosen) << step.what;
        EXPECT_TRUE(list->IsSelected(chosen)) << step.what;
    }
    // A single device is chosen without asking the mapper.
    SetupWindow one;
    one.w->FillWaveOutDevices();
    EXPECT_EQ(one.Take(), device(0));
    EXPECT_EQ(one.w->preferredQueries, 0);
}
