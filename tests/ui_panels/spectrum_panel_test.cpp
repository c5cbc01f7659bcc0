// The spectrum panel over the stand-in analyzer library: where the library is found, the
// calls the analyzer receives, the notch limits, the stream thread, and the library's unload.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "panel_host.h"
#include "tests/foundation_win32/scratch.h"
#include "tests/support/analyzer_stand_in.h"
#include "tests/support/widget_input.h"
#include "toolkit/button.h"
#include "ui/param_edit.h"
#include "ui/spectrum_analyzer_panel.h"

using analyzer_stand_in::BinFolder;
using analyzer_stand_in::Library;
using analyzer_stand_in::PluginPath;
using Lines = std::vector<std::string>;

namespace {

struct Spectrum {
    PanelHost host;
    CSpectrumAnalyzerPanel* panel = new CSpectrumAnalyzerPanel(host.Handle(), 0, 0, 480, 220, 0x56010000, 0);
    EventLog setup, volume, mute, spare;
    Spectrum() {
        panel->OnSetup.Bind(&setup, &EventLog::Raised);
        panel->OnVolumeChange.Bind(&volume, &EventLog::Value);
        panel->OnMuteChange.Bind(&mute, &EventLog::Value);
        panel->OnSpare1.Bind(&spare, &EventLog::Raised);
        panel->OnSpare2.Bind(&spare, &EventLog::Raised);
    }
};

}  // namespace

TEST(SpectrumPanel, BuildsTheAnalyzerThenForwardsEveryOperationUntilClosed) {
    PluginPath path(BinFolder().c_str());
    Library lib;
    ASSERT_TRUE(lib.Loaded());
    lib.Mark();
    Spectrum s;
    EXPECT_EQ(lib.CallsSinceMark(),
              (Lines{"CreateAnalyzer 0 0 100 100 0x56010000 0x0", "slot 17 0", "slot 23 0", "slot 0", "slot 33 48000",
                     "slot 4 20000", "slot 3 12000", "slot 2 callback set", "slot 38 10000", "slot 39 12500",
                     "slot 48 1", "slot 47 1024", "slot 34 6", "slot 26 1", "slot 35 0", "slot 36 12500",
                     "slot 44 5000", "slot 45 1000"}));
    CSpectrumAnalyzerPanel* p = s.panel;
    float block[256] = {};
    const int8_t coeffs[17] = {-128, -1, 0, 1, 127, -15, 15, 3, -3, 0, 7};
    const struct {
        std::function<void()> call;
        Lines calls;
    } rows[] = {
        {[&] { p->SetSampleRate(32000); }, {"slot 33 32000", "slot 4 20000", "slot 3 12000"}},
        {[&] { p->SetPlayback(1); }, {"slot 8 1"}},
        {[&] { p->SetSquelched(true); }, {"slot 9 1"}},
        {[&] { p->SetAudioPlayback(true), p->SetAudioPlayback(false); }, {"slot 18 2", "slot 18 0"}},
        {[&] { p->SetSpectrumLinearizationCoeffs(coeffs, 11); }, {"slot 24 11: -128 -1 0 1 127 -15 15 3 -3 0 7"}},
        {[&] { p->SetSpectrumLinearizationCoeffs(coeffs, 0), p->SetSpectrumLinearizationCoeffs(coeffs, 17); }, {}},
        {[&] { p->SetSpectrumLinearizationCoeffs(nullptr, 11); }, {}},
        {[&] { p->ResetSpectrum(), p->ResetIFSpectrumCalc(); }, {"slot 25", "slot 28"}},
        {[&] { p->SetIFSpectrumFFTSize(2048); }, {"slot 29 2048"}},
        {[&] { p->Enable(false), p->Enable(true); }, {"slot 1 0", "slot 1 1"}},
        {[&] { window_probe::Click(p->GetNotchButton()); }, {"slot 43 1"}},
        {[&] { p->SetNotchEnabled(0); }, {"slot 43 0"}},
        {[&] { p->CloseAnalyzer(); }, {"slot 14"}},
        {[&] { p->SetSampleRate(8000), p->ResetSpectrum(), p->DisplaySpectrum(block, 256, 1), p->CloseAnalyzer(); },
         {}},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        lib.Mark();
        rows[i].call();
        EXPECT_EQ(lib.CallsSinceMark(), rows[i].calls) << "row " << i;
    }
    EXPECT_EQ(lib.Stats().alive, 0u);
    EXPECT_EQ(lib.Stats().linearizationCount, 11u);
    EXPECT_EQ(lib.Stats().linearization[4], 127);
}

TEST(SpectrumPanel, NotchStaysInsideTenKilohertzAndFollowsTheAnalyzersCallback) {
    PluginPath path(BinFolder().c_str());
    Library lib;
    Spectrum s;
    const struct {
        int widthBefore, freq, widthAfter, keptFreq, keptWidth;
    } rows[] = {
        {1000, 9800, 1000, 9500, 1000}, {1000, -9800, 1000, -9500, 1000}, {1000, 0, 1000, 0, 1000},
        {100, 9000, 4000, 9000, 2000},  {100, -9000, 4000, -9000, 2000},
    };
    for (const auto& r : rows) {
        s.panel->SetNotchFrequency(0);
        s.panel->SetNotchWidth(r.widthBefore);
        s.panel->SetNotchFrequency(r.freq);
        s.panel->SetNotchWidth(r.widthAfter);
        EXPECT_EQ(s.panel->GetNotchFrequency(), r.keptFreq) << r.freq << " " << r.widthAfter;
        EXPECT_EQ(s.panel->GetNotchWidth(), r.keptWidth) << r.freq << " " << r.widthAfter;
        EXPECT_EQ(s.panel->GetFreqField()->GetValue(), r.keptFreq);
    }
    s.panel->SetNotchWidth(1000);
    s.panel->SetNotchFrequency(0);
    lib.Mark();
    for (int code : {3, 4, 7}) ASSERT_TRUE(lib.Fire(code, code == 3 ? 1230 : 300));
    EXPECT_EQ(lib.CallsSinceMark(),
              (Lines{"callback 3 1230", "slot 44 1230", "callback 4 300", "slot 45 300", "callback 7 300"}));
    EXPECT_EQ(s.panel->GetWidthField()->GetValue(), 300);
}

TEST(SpectrumPanel, NotchSetupAndMuteAreIndependentToggles) {
    Spectrum s;  // no library needed
    Button* buttons[] = {s.panel->GetNotchButton(), s.panel->GetSetupButton(), s.panel->GetMuteButton()};
    for (Button* b : buttons) window_probe::Click(b);
    for (Button* b : buttons) EXPECT_TRUE(b->IsDown());
    window_probe::Click(s.panel->GetMuteButton());
    EXPECT_EQ(s.mute.values, (std::vector<int>{1, 0}));
    EXPECT_EQ(s.setup.count, 1u);
    s.panel->SetVolume(40);
    EXPECT_EQ(s.volume.values, (std::vector<int>{31}));
    // Audio playback releases and locks the notch; its end, even after a second one, restores it.
    for (uint32_t mode : {2, 2, 0}) s.panel->SetPlayback(mode);
    EXPECT_TRUE(s.panel->GetNotchButton()->IsDown() && s.panel->GetNotchButton()->IsEnabled());
    EXPECT_EQ(s.spare.count, 0u);  // only Setup, volume and mute are fired
}

TEST(SpectrumPanel, FindsTheLibraryWithOrWithoutATrailingBackslashAndWorksWithoutOne) {
    ScratchFolder empty("apco_no_analyzer");
    const struct {
        std::string folder;
        bool found;
    } rows[] = {{BinFolder(), true}, {BinFolder() + "\\", true}, {empty.Path(), false}};
    for (const auto& r : rows) {
        PluginPath path(r.folder.c_str());
        Spectrum s;
        EXPECT_EQ(s.panel->HasAnalyzer(), r.found) << r.folder;
        float block[64] = {};
        s.panel->DisplaySpectrum(block, 64, 0);
        s.panel->SetPlayback(1);
    }
}

TEST(SpectrumPanel, ThreadTakesSpectraFromTheStreamThreadWhileTheWindowRunsAndCloses) {
    PluginPath path(BinFolder().c_str());
    Library lib;
    Spectrum s;
    const AnalyzerStats before = lib.Stats();
    std::atomic<int> shown{0};
    std::atomic<bool> stop{false};
    std::thread stream([&] {
        std::vector<float> block(1024);
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<float>((i * 37) % 200) - 100;
        for (; !stop; ++shown) s.panel->DisplaySpectrum(block.data(), 1024, 1);
    });
    ASSERT_TRUE(PumpUntil([&] { return shown > 50; }));
    s.panel->CloseAnalyzer();  // while blocks keep coming
    const int atClose = shown;
    ASSERT_TRUE(PumpUntil([&] { return shown > atClose + 50; }));
    stop = true;
    stream.join();
    const AnalyzerStats after = lib.Stats();
    EXPECT_GE(after.offThreadCalls - before.offThreadCalls, 50u);
    EXPECT_EQ(after.alive, 0u);
    EXPECT_LE(after.slotCalls[kAnalyzerDisplaySpectrum] - before.slotCalls[kAnalyzerDisplaySpectrum],
              static_cast<uint32_t>(atClose + 1));
}

TEST(SpectrumPanel, DestructionClosesTheAnalyzerAndThenUnloadsTheLibrary) {
    PluginPath path(BinFolder().c_str());
    PanelHost host;
    {
        Library lib;  // keeps the record readable after the panel is gone
        lib.Mark();
        delete new CSpectrumAnalyzerPanel(host.Handle(), 0, 0, 480, 220, 0x56010000, 0);  // never closed
        EXPECT_EQ(lib.CallsSinceMark().back(), "slot 14");
        EXPECT_EQ(lib.Stats().alive, 0u);
    }
    // The analyzer's windows run the library's code: the library goes only after them.
    auto* panel = new CSpectrumAnalyzerPanel(host.Handle(), 0, 0, 480, 220, 0x56010000, 0);
    ASSERT_TRUE(panel->HasAnalyzer());
    delete panel;
    window_probe::Pump();
    EXPECT_EQ(GetModuleHandleA("k927apcospect.dll"), nullptr);
}
