// Mode and audio-filter switching, the setup window's hand-over, the labelled parameter field,
// the shared fonts, and a screenshot of a decoded call for people to look at.
#include <gtest/gtest.h>

#include "main_window_fixture.h"
#include "plugin/host_protocol.h"
#include "toolkit/spin_control.h"
#include "ui/param_edit.h"
#include "ui/setup_dialog.h"
#include "ui/shared_looks.h"
#include "ui/spectrum_analyzer_panel.h"

TEST(Modes, ButtonsReportAndTheSetterShows) {
    MainWindow m;
    m.w->Initialize();
    CSetupDialog* setup = m.w->GetSetupDialog();
    ASSERT_NE(setup, nullptr);
    m.w->EnableAudioFilter(true);
    // The receiver-check timer may fire while a click pumps: its "rcv" is no mode event.
    const auto reported = [&] {
        std::vector<std::string> lines;
        for (const std::string& l : m.events.lines)
            if (l != "rcv") lines.push_back(l);
        return lines;
    };
    const struct {
        uint32_t mode;
        const char* down;
        bool apco, fm, filterDown, filterEnabled;
        uint32_t cbData;
    } rows[] = {
        {1, "APCO", true, false, false, false, 0},
        {2, "FM", false, true, true, true, 0},
        {0, "Auto", true, true, true, true, 8},
    };
    for (const auto& r : rows) {
        m.host.calls.clear();
        m.events.lines.clear();
        m.w->SetDemodMode(r.mode);
        EXPECT_TRUE(m.ButtonNamed(r.down)->IsDown()) << r.mode;
        EXPECT_EQ(m.LabelNamed("APCO")->IsEnabled(), r.apco) << r.mode;
        EXPECT_EQ(m.LabelNamed("FM")->IsEnabled(), r.fm) << r.mode;
        EXPECT_EQ(m.ButtonNamed("Audio Filter")->IsDown(), r.filterDown) << r.mode;
        EXPECT_EQ(m.ButtonNamed("Audio Filter")->IsEnabled(), r.filterEnabled) << r.mode;
        EXPECT_EQ(setup->IsFilterGroupEnabled(), r.fm) << r.mode;
        EXPECT_EQ(reported(), std::vector<std::string>{"mode " + std::to_string(r.mode)});
        ASSERT_EQ(m.host.calls.size(), 1u);
        EXPECT_EQ(m.host.calls[0].msg, PM_MODE);
        EXPECT_EQ(m.host.calls[0].dwParam, 2u);
        EXPECT_EQ(m.host.calls[0].cbData, r.cbData);
    }
    // A click reports the wish and leaves the mode to the plug-in; the current mode's button
    // reports nothing.
    m.events.lines.clear();
    m.w->SetDemodMode(2);
    m.events.lines.clear();
    m.Click("FM");
    EXPECT_TRUE(reported().empty());
    m.Click("APCO");
    EXPECT_EQ(reported(), std::vector<std::string>{"mode 1"});
    m.w->SetDemodMode(7);
    EXPECT_TRUE(m.ButtonNamed("APCO")->IsDown()) << "an unknown mode changes nothing";
}

TEST(Modes, AudioFilterLogAndSetupWindow) {
    MainWindow m;
    m.w->Initialize();
    m.w->Initialize();
    CSetupDialog* setup = m.w->GetSetupDialog();
    EXPECT_EQ(setup->GetDeviceFills(), 1) << "the setup window is made once";
    m.Click("Audio Filter");
    EXPECT_EQ(m.events.lines, std::vector<std::string>{"filter 1"});
    EXPECT_EQ(setup->IsAFEnabled(), 1);
    EXPECT_TRUE(m.ButtonNamed("Audio Filter")->IsDown());
    setup->OnAFEnable.Invoke(setup, 0);
    EXPECT_FALSE(m.ButtonNamed("Audio Filter")->IsDown());
    EXPECT_EQ(m.events.lines.back(), "filter 0");
    // "Log" only reports; the plug-in's answer shows.
    m.Click("Log");
    EXPECT_EQ(m.events.Count("logging"), 1);
    m.w->SetLoggingEnabled(false);
    EXPECT_FALSE(m.ButtonNamed("Log")->IsDown());
    m.w->SetLoggingEnabled(true);
    EXPECT_EQ(setup->IsLoggingEnabled(), 1);
    // The spectrum panel's Setup button shows the setup window; closing it releases the button.
    CSpectrumAnalyzerPanel* spectrum = m.w->GetSpectrumAnalyzer();
    m.Click(spectrum->GetSetupButton());
    EXPECT_TRUE(setup->IsVisible());
    EXPECT_NE(setup->GetIconSource(), nullptr);
    setup->OnClose.Invoke(setup);
    EXPECT_FALSE(spectrum->IsSetupDown());
    EXPECT_FALSE(setup->IsVisible());
}

TEST(Modes, GettersWithoutTheSetupWindowGiveTheirDefaults) {
    MainWindow m;
    m.w->SetLogFileName("x.csv");
    m.w->SetLoggingParams(5);
    EXPECT_STREQ(m.w->GetLogFileName().CStr(), "");
    EXPECT_STREQ(m.w->GetWaveOutDeviceName().CStr(), "");
    EXPECT_EQ(m.w->GetLoggingParams(), 0u);
    m.w->Initialize();
    m.w->SetLoggingParams(5);
    EXPECT_EQ(m.w->GetLoggingParams(), 5u);
    // The log opens the shown file, the default one when no name is stored; saved is the name.
    m.w->SetLogFileName("");
    EXPECT_EQ(m.w->GetLogFileName() + "|" + m.w->GetLogFileName(1), "|" + CSetupDialog::GetDefaultLogFileName());
}

TEST(ParamEdit, LayoutAndClamping) {
    Component* root = new Component("test", WS_POPUP | WS_VISIBLE, 0, 40, 40, 400, 100, nullptr);
    CParamEdit* field = new CParamEdit(root->GetHandle(), 5, 5, 300, 20, WS_CHILD | WS_VISIBLE, 0);
    std::vector<int64_t> seen;
    struct Sink {
        std::vector<int64_t>* seen;
        void Changed(Object*, int64_t v) { seen->push_back(v); }
    } sink{&seen};
    field->OnValueChanged.Bind(&sink, &Sink::Changed);
    auto parts = window_probe::Find(field, [](Component*) { return true; });
    auto width = [&](uint32_t tag) {
        for (Component* c : parts)
            if (c->GetType() == tag) return c->Width();
        return -1;
    };
    field->SetCaption("Freq", false);
    field->SetUnit("Hz", true);
    Component* caption = window_probe::FindByText<Component>(field, kTagLabel, "Freq");
    Component* unit = window_probe::FindByText<Component>(field, kTagLabel, "Hz");
    ASSERT_TRUE(caption && unit);
    EXPECT_EQ(field->Width(),
              2 + caption->Width() + 2 + width(kTagIntEdit) + width(kTagSpinControl) + 2 + unit->Width() + 2);
    field->SetUnit("", true);
    EXPECT_EQ(field->Width(), 2 + caption->Width() + 2 + width(kTagIntEdit) + width(kTagSpinControl) + 4);
    // Lowering the maximum below the value clamps the edit, which reports the new value.
    field->SetMax(1000);
    field->SetValue(900);
    field->SetMax(500);
    EXPECT_EQ(field->GetValue(), 500);
    EXPECT_EQ(seen.back(), 500);
    // A wheel notch over the edit steps it once by the step.
    field->SetStep(10);
    SendMessageA(field->GetEdit()->GetHandle(), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    window_probe::Pump();
    EXPECT_EQ(field->GetValue(), 490);
    delete root;
}

TEST(SharedLooks, FontsAreSharedAndNullControlsIgnored) {
    HFONT normal = GetNormalFont();
    ASSERT_NE(normal, nullptr);
    MainWindow a, b;
    EXPECT_EQ(a.w->GetFont(), b.w->GetFont());
    EXPECT_EQ(a.w->GetFont(), normal);
    LOGFONTA bold = {};
    GetObjectA(GetBoldFont(), sizeof bold, &bold);
    EXPECT_EQ(bold.lfWeight, 900);
    EXPECT_EQ(bold.lfHeight, -11);
    ApplyListLook(nullptr);
    ApplyDialogLook(nullptr);
}

TEST(MainWindow, ScreenshotOfADecodedCall) {
    MainWindow m;
    m.Send(WM_APCO_STATUS, 1, 0);
    ApcoParams p{1.5f, 0x293, 1, 1234567, 16777215, 4, 0x84, 0x90, 1};
    for (int i = 0; i < 3; ++i) m.Send(WM_APCO_MEDIA, reinterpret_cast<WPARAM>(&p), 36);
    m.Click("NAC");
    const uint32_t codes[] = {0x293, 0x1F5};
    m.w->SetSquelchValues(kSquelchNAC, codes, 2);
    RedrawWindow(m.w->GetHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    window_probe::Pump();
    DibBitmap shot(CK927ApcoPluginWindow::kWidth, CK927ApcoPluginWindow::kHeight);
    HDC screen = GetDC(m.w->GetHandle());
    BitBlt(shot.GetDC(), 0, 0, CK927ApcoPluginWindow::kWidth, CK927ApcoPluginWindow::kHeight, screen, 0, 0, SRCCOPY);
    ReleaseDC(m.w->GetHandle(), screen);
    // Written beside the test program, in the build tree.
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    std::string file(path, n);
    file = file.substr(0, file.find_last_of("\\/") + 1) + "main_window_decoded_call.bmp";
    EXPECT_EQ(shot.SaveToFile(file.c_str()), 1);
    EXPECT_GT(window_probe::CountColour(shot, 0x00FFFF, RECT{0, 100, 320, 225}), 12) << "the yellow Voice LED";
}
