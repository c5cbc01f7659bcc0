// The main window as built, its private messages and what each hands to the host, its timers
// and the arrow-key volume.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "main_window_fixture.h"
#include "plugin/host_protocol.h"
#include "plugin/tsb.h"
#include "ui/apco_plugin_link.h"
#include "ui/play_rec_panel.h"
#include "ui/spectrum_analyzer_panel.h"

using window_probe::HostCall;

// The plug-in object's side of WM_APCO_SENDEVENTS, linked with the DLL; here it counts.
namespace {
CApcoPlugin* g_eventsAskedOf = nullptr;
int g_eventsAsked = 0;
}  // namespace
void SendPluginDecoderEvents(CApcoPlugin* plugin) {
    g_eventsAskedOf = plugin;
    ++g_eventsAsked;
}

namespace {

constexpr COLORREF kDark = 0x004000;

ApcoParams Record(float ber, int32_t nac, int32_t tgid, int32_t sid, int32_t did, int32_t type, int32_t algid,
                  int32_t mfid, int32_t emergency) {
    return ApcoParams{ber, nac, tgid, sid, did, type, algid, mfid, emergency};
}

}  // namespace

TEST(MainWindow, ConstructionStateAndLayout) {
    MainWindow m;
    EXPECT_TRUE(m.ButtonNamed("Auto")->IsDown());
    EXPECT_FALSE(m.ButtonNamed("APCO")->IsDown());
    const char* texts[] = {"0.0 %", "---", "----", "------", "------"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(m.Field(i), texts[i]) << i;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(m.Led(i), kDark) << "LED " << i;
    EXPECT_EQ(m.Led(6), 0x000040u);
    // Squelch panel: only the type buttons, "BER" and "Inv" can be used.
    for (Component* c : {static_cast<Component*>(m.Edit(0)), static_cast<Component*>(m.Edit(1)),
                         static_cast<Component*>(m.Codes()), static_cast<Component*>(m.ButtonNamed("Add")),
                         static_cast<Component*>(m.ButtonNamed("Remove")), m.LabelNamed("Codes to monitor:")})
        EXPECT_FALSE(c->IsEnabled()) << window_probe::TextOf(c);
    // Places the layout fixes; the spectrum panel docks to the top of the frameless window.
    EXPECT_EQ(m.ButtonNamed("Audio Filter")->GetLeft(), 398);
    EXPECT_EQ(m.ButtonNamed("DID")->GetLeft(), 114);
    EXPECT_EQ(m.w->GetPlayRecPanel()->Top(), 225);
    EXPECT_EQ(m.w->GetSpectrumAnalyzer()->Top(), 0);
    EXPECT_EQ(m.w->GetSpectrumAnalyzer()->Width(), 480);
}

TEST(MainWindow, MessagesHandTheirDataToTheHost) {
    MainWindow m;
    float bins[512] = {1.5f};
    uint8_t audio[1043] = {7};
    ApcoParams params = Record(2.5f, 0x293, 1, 2, 3, 4, 0x80, 0x90, 0);
    struct Row {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        bool calls;
        uint32_t hostMsg, dwParam, cbData, scan;
    } rows[] = {
        {WM_APCO_SENDIFSPECTRUM, reinterpret_cast<WPARAM>(bins), 512, true, PMR_IFSpectrum, 24000, 2048, 0},
        {WM_APCO_SENDSCANIFSPECTRUM, reinterpret_cast<WPARAM>(bins), 512, true, PMR_IFSpectrum, 24000, 2048, 1},
        {WM_APCO_SENDIFSPECTRUM, 0, 512, false, 0, 0, 0, 0},
        {WM_APCO_SENDIFSPECTRUM, reinterpret_cast<WPARAM>(bins), 0, false, 0, 0, 0, 0},
        {WM_APCO_SENDAUDIO, reinterpret_cast<WPARAM>(audio), 1043, true, PMR_Audio, 3, 1043, 0},
        {WM_APCO_SENDMEDIA, reinterpret_cast<WPARAM>(&params), 36, true, PMR_Media, 0, 172, 0},
        {WM_APCO_SENDMEDIA, reinterpret_cast<WPARAM>(&params), 35, false, 0, 0, 0, 0},
        {WM_APCO_SENDMEDIA, 0, 36, false, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        m.host.calls.clear();
        m.Send(r.msg, r.wParam, r.lParam);
        ASSERT_EQ(m.host.calls.size(), r.calls ? 1u : 0u) << std::hex << r.msg << " " << r.lParam;
        if (!r.calls) continue;
        const HostCall& c = m.host.calls[0];
        EXPECT_EQ(std::make_tuple(c.msg, c.dwParam, c.cbData, c.scan, c.size, c.direct),
                  std::make_tuple(r.hostMsg, r.dwParam, r.cbData, r.scan, 20u, 1));
        ASSERT_EQ(c.data.size(), r.cbData);
        if (r.hostMsg == PMR_Media) {
            // Name with its terminator, then zeros up to the type; the record unchanged.
            EXPECT_STREQ(reinterpret_cast<const char*>(c.data.data()), "K927 APCO");
            for (int i = 9; i < 128; ++i) ASSERT_EQ(c.data[i], 0) << i;
            uint32_t typeAndSize[2];
            std::memcpy(typeAndSize, &c.data[128], 8);
            EXPECT_EQ(std::make_tuple(typeAndSize[0], typeAndSize[1]), std::make_tuple(1u, 36u));
            EXPECT_EQ(std::memcmp(&c.data[136], &params, 36), 0);
        } else {
            EXPECT_EQ(c.data[0], reinterpret_cast<const uint8_t*>(r.wParam)[0]);
        }
    }
    // The IF rate the window was told halves into the spectrum's parameter.
    m.host.calls.clear();
    m.Send(WM_APCO_SAMPLERATE, 32000, 0);
    m.Send(WM_APCO_SENDIFSPECTRUM, reinterpret_cast<WPARAM>(bins), 16);
    ASSERT_EQ(m.host.calls.size(), 1u);
    EXPECT_EQ(m.host.calls[0].dwParam, 16000u);
    EXPECT_EQ(m.w->GetSpectrumAnalyzer()->GetSampleRate(), 32000u);
    // The queued road: no record, direct flag 0.
    m.host.calls.clear();
    m.Send(WM_APCO_CALLPLUGINPROC, 1, 20);
    ASSERT_EQ(m.host.calls.size(), 1u);
    EXPECT_FALSE(m.host.calls[0].hasRecord);
    EXPECT_EQ(m.host.calls[0].direct, 0);
    // Trunking events are the plug-in object's to send, once it is known.
    g_eventsAsked = 0;
    m.Send(WM_APCO_SENDEVENTS, 0, 0);
    EXPECT_EQ(g_eventsAsked, 0);
    CApcoPlugin* plugin = reinterpret_cast<CApcoPlugin*>(&m);
    m.w->SetPlugin(plugin);
    m.Send(WM_APCO_SENDEVENTS, 0, 0);
    EXPECT_EQ(g_eventsAsked, 1);
    EXPECT_EQ(g_eventsAskedOf, plugin);
}

TEST(MainWindow, MessagesReachTheDisplayAndThePanels) {
    MainWindow m;
    ApcoParams params = Record(0.0f, 0x1293, 4660, 0x123456, -1, 0, -1, 0x42, 0);
    m.Send(WM_APCO_MEDIA, reinterpret_cast<WPARAM>(&params), 35);
    EXPECT_EQ(m.Field(1), "---");
    m.Send(WM_APCO_MEDIA, reinterpret_cast<WPARAM>(&params), 36);
    EXPECT_EQ(m.Field(1), "659");

    CPlayRecPanel* player = m.w->GetPlayRecPanel();
    player->SetFileRange(100000);  // a shown file's data length
    uint32_t position[2] = {1000, 5};
    m.Send(WM_APCO_PLAYPOSITION, reinterpret_cast<WPARAM>(position), 8);
    position[0] = 0xFFFFFFFFu, position[1] = 12;
    m.Send(WM_APCO_PLAYPOSITION, reinterpret_cast<WPARAM>(position), 8);
    EXPECT_EQ(player->GetFilePos(), 1000u);
    EXPECT_EQ(player->GetFilePosTime(), 12u);
    position[1] = 99;
    m.Send(WM_APCO_PLAYPOSITION, reinterpret_cast<WPARAM>(position), 7);
    EXPECT_EQ(player->GetFilePosTime(), 12u);
    m.Send(WM_APCO_RECSECONDS, 61, 0);
    EXPECT_EQ(player->GetTotalWaveTime(), 61u);

    CSpectrumAnalyzerPanel* spectrum = m.w->GetSpectrumAnalyzer();
    m.Send(WM_APCO_SQUELCH, 1, 0);
    EXPECT_TRUE(spectrum->IsSquelched());
    // A spectrum queued in the block pool reaches the panel; the result word is cleared.
    TSB pool(2);
    float block[300] = {};
    ASSERT_EQ(pool.Put(block, 300, 1), 1);
    int result = 5;
    m.Send(WM_APCO_DISPLAYSPECTRUM, reinterpret_cast<WPARAM>(&pool), reinterpret_cast<LPARAM>(&result));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(spectrum->GetLastSpectrumLength(), 300);
    // The record went back: the next one can be checked out.
    ASSERT_EQ(pool.Put(block, 200, 1), 1);
    m.Send(WM_APCO_DISPLAYSPECTRUM, reinterpret_cast<WPARAM>(&pool), 0);
    EXPECT_EQ(spectrum->GetLastSpectrumLength(), 200);
}

TEST(MainWindow, TimersFireTheirEvents) {
    MainWindow m;
    // Dispatch by identifier; the scanning delay fires once.
    m.w->CreateLoggingTimer(60000);
    m.w->CreateScanningDelayTimer();
    const UINT_PTR ids[] = {4, 2, 3, 3};
    for (UINT_PTR id : ids) m.Send(WM_TIMER, id, 0);
    EXPECT_EQ(m.events.lines, (std::vector<std::string>{"rcv", "logtimer", "scan"}));

    // Real periods: the scanning delay restarted after 1500 ms fires once, 2000 ms after the
    // second start; the receiver check ticks every second meanwhile.
    m.events.lines.clear();
    m.w->CreateScanningDelayTimer();
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 1500) window_probe::Pump(), Sleep(10);
    EXPECT_EQ(m.events.Count("scan"), 0);
    m.w->CreateScanningDelayTimer();
    DWORD second = GetTickCount(), fired = 0;
    while (GetTickCount() - second < 3000) {
        window_probe::Pump();
        if (!fired && m.events.Count("scan")) fired = GetTickCount();
        Sleep(10);
    }
    EXPECT_EQ(m.events.Count("scan"), 1);
    EXPECT_GE(fired - second, 1900u);
    EXPECT_GE(m.events.Count("rcv"), 3);
    EXPECT_LE(m.events.Count("rcv"), 6);
}

TEST(MainWindow, ArrowKeysStepTheVolume) {
    MainWindow m;
    m.w->SetVolume(8);
    HWND any = m.ButtonNamed("Log")->GetHandle();
    const struct {
        int key;
        int volume;
    } steps[] = {{VK_LEFT, 7}, {VK_LEFT, 6}, {VK_RIGHT, 7}, {VK_UP, 7}};
    for (const auto& s : steps) {
        SendMessageA(any, WM_KEYDOWN, s.key, 1);
        EXPECT_EQ(m.w->GetVolume(), s.volume) << s.key;
    }
}
