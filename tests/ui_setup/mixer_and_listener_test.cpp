// The mixer wrapper on Wine's real mixers and on a fake device, the source selector's silencing
// and restoring, and the device-change listener's COM rules and posting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/device_notification_client.h"
#include "plugin/mixer_source_selector.h"
#include "tests/support/audio_device_fakes.h"
#include "tests/support/window_probe.h"
#include "toolkit/component.h"
#include "ui/setup_dialog.h"

using audio_fakes::FakeLine;
using audio_fakes::FakeMixer;
using audio_fakes::MakeControl;

TEST(Mixer, WineMixersAreReadWithoutACrash) {
    Mixer probe;
    const int count = probe.GetNumDevices();
    ASSERT_GE(count, 0);
    for (int i = 0; i < count; ++i) {
        Mixer m;
        if (!m.Open(static_cast<UINT>(i), true, false)) continue;
        EXPECT_GT(std::string(m.GetName()).size(), 0u) << i;
        for (DWORD d = 0; d < m.GetDestinationCount(); ++d) {
            const MIXERLINEA* line = m.GetLine(d);
            if (!line) continue;
            EXPECT_EQ(line->dwDestination, d);
            for (DWORD c = 0; c < m.GetControlCount(d, -1); ++c) ASSERT_NE(m.GetControl(d, -1, c), nullptr);
            for (DWORD s = 0; s < m.GetSourceCount(d); ++s) m.GetVolume(d, static_cast<int>(s));
        }
        EXPECT_EQ(m.GetLine(m.GetDestinationCount()), nullptr) << "beyond the destinations";
        m.Close();
        EXPECT_FALSE(m.IsOpen());
    }
    // Wave-out device 0 (Wine's null sink) through the selector: scanning needs no mixer to succeed.
    MixerSourceSelector selector;
    EXPECT_FALSE(selector.SelectMixer(selector.GetNumDevices()));
    if (selector.GetNumDevices() > 0) {
        EXPECT_TRUE(selector.SelectMixer(0));
        EXPECT_NE(selector.GetDeviceName(0), nullptr);
        for (int i = 0; i < selector.GetItemCount(); ++i) EXPECT_NE(selector.GetItemName(i), nullptr);
    }
    EXPECT_EQ(selector.GetDeviceName(selector.GetNumDevices()), nullptr);
}

TEST(Mixer, PermilleConversion) {
    const struct {
        int permille;
        DWORD minimum, maximum, raw;
    } cases[] = {
        {500, 0, 65535, 32767}, {1000, 0, 65535, 65535}, {1500, 0, 65535, 65535}, {-5, 0, 65535, 0},
        {250, 100, 500, 200},   {0, 100, 500, 100},      {999, 0, 0xFFFFFFFFu, 4290672327u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Mixer::FromPermille(c.permille, c.minimum, c.maximum), c.raw) << c.permille;
        const int back = c.permille < 0 ? 0 : c.permille > 1000 ? 1000 : c.permille;
        EXPECT_NEAR(Mixer::ToPermille(c.raw, c.minimum, c.maximum), back, 1) << c.permille;
    }
}

namespace {

// Wave-out destination 1 (destination 0 is a recording one) with three sources: 0 and 1 with
// mute, 2 with only a volume (0..65535).
FakeMixer* MakeDevice(bool withMux) {
    FakeMixer* m = new FakeMixer;
    m->destinations.push_back(FakeLine{"Recording", MIXERLINE_TARGETTYPE_WAVEIN, {}, {}});
    FakeLine out{"Playback", MIXERLINE_TARGETTYPE_WAVEOUT, {MakeControl(10, Mixer::kVolumeControl, 0, 65535)}, {}};
    if (withMux) {
        out.controls.push_back(MakeControl(11, MixerSourceSelector::kMuxControl, 0, 1, 3));
        m->listTexts[11] = {"Line In", "CD", "Aux"};
    }
    out.sources.push_back(FakeLine{"Line", 0, {MakeControl(20, Mixer::kMuteControl)}, {}});
    out.sources.push_back(FakeLine{"CD", 0, {MakeControl(30, Mixer::kMuteControl)}, {}});
    out.sources.push_back(FakeLine{"Aux", 0, {MakeControl(40, Mixer::kVolumeControl, 0, 65535)}, {}});
    m->destinations.push_back(out);
    m->values = {{10, 40000}, {20, 0}, {30, 1}, {40, 65535}};
    return m;
}

}  // namespace

TEST(MixerSourceSelector, ItemsComeFromTheMuxOrTheSourceLines) {
    for (bool mux : {false, true}) {
        FakeMixer* m = MakeDevice(mux);
        MixerSourceSelector s(m, 1);
        EXPECT_EQ(s.GetItemCount(), 0) << "nothing before a mixer is chosen";
        ASSERT_TRUE(s.SelectMixer(0));
        ASSERT_EQ(s.GetItemCount(), 3);
        EXPECT_STREQ(s.GetItemName(0), mux ? "Line In" : "Line");
        EXPECT_EQ(s.GetItemName(3), nullptr);
        EXPECT_EQ(s.GetDestinationCount(), 2u);
        EXPECT_TRUE(s.SelectMixer(0)) << "the same mixer again";
        EXPECT_EQ(m->opens, 1) << "is not scanned again";
        EXPECT_FALSE(s.SelectMixer(1)) << "beyond the devices";
    }
}

TEST(MixerSourceSelector, ChoosingAnItemRestoresThePreviousOne) {
    using Writes = std::vector<std::pair<DWORD, DWORD>>;
    Writes all;
    {
        FakeMixer* m = MakeDevice(false);
        m->mirror = &all;
        MixerSourceSelector s(m, 1);
        ASSERT_TRUE(s.SelectMixer(0));
        const struct {
            int item;
            Writes expected;   // writes caused by this choice
        } steps[] = {
            {1, {{30, 1}}},                // CD was muted already: saved 1, muted
            {0, {{30, 1}, {20, 1}}},       // CD back to its own 1, Line muted
            {2, {{20, 0}, {40, 0}}},       // Line unmuted; Aux has no mute: volume to 0
            {1, {{40, 65535}, {30, 1}}},   // Aux volume back (1000 per mille of 0..65535)
            {2, {{30, 1}, {40, 0}}},
        };
        for (const auto& step : steps) {
            m->writes.clear();
            s.SelectItem(step.item);
            EXPECT_EQ(m->writes, step.expected) << "item " << step.item;
        }
        // The mixer reports a change: the current item is silenced again, nothing saved anew.
        m->values[40] = 30000;
        m->writes.clear();
        m->HandleMixerMessage(MM_MIXM_CONTROL_CHANGE, m->GetHandle(), 40);
        EXPECT_EQ(m->writes, (Writes{{40, 0}}));
        m->HandleMixerMessage(MM_MIXM_CONTROL_CHANGE, reinterpret_cast<HMIXER>(0x999), 40);
        EXPECT_EQ(m->writes.size(), 1u) << "another mixer's report";
    }
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), std::make_pair(DWORD{40}, DWORD{65535})) << "the selector's end restores the last item";
}

TEST(MixerSourceSelector, SwitchingMixersRestoresTheSilencedItem) {
    FakeMixer* m = MakeDevice(false);
    MixerSourceSelector s(m, 2);
    ASSERT_TRUE(s.SelectMixer(0));
    s.SelectItem(0);
    m->writes.clear();
    ASSERT_TRUE(s.SelectMixer(1));
    ASSERT_FALSE(m->writes.empty());
    EXPECT_EQ(m->writes.front(), std::make_pair(DWORD{20}, DWORD{0}));
    EXPECT_EQ(s.GetCurrentItem(), -1);
}

// The listener ------------------------------------------------------------------------------

namespace {

class RecordingListener : public DeviceNotificationClient {
public:
    explicit RecordingListener(std::vector<std::string>* log, bool refuse = false)
        : m_log(log), m_enumerator(log) {
        m_enumerator.refuse = refuse;
    }
    ~RecordingListener() override { m_log->push_back("deleted"); }

protected:
    IMMDeviceEnumerator* CreateEnumerator() override { return &m_enumerator; }

private:
    std::vector<std::string>* m_log;
    audio_fakes::FakeDeviceEnumerator m_enumerator;
};

class RecordingHolder : public CDeviceNotifyHolder {
public:
    explicit RecordingHolder(std::vector<std::string>* log) : m_log(log) {}
    ~RecordingHolder() override { Release(); }

protected:
    DeviceNotificationClient* Create() override { return new RecordingListener(m_log); }

private:
    std::vector<std::string>* m_log;
};

std::vector<WPARAM> TakeUserMessages(HWND window) {
    std::vector<WPARAM> codes;
    MSG msg;
    while (PeekMessageA(&msg, window, WM_USER, WM_USER, PM_REMOVE)) {
        EXPECT_EQ(msg.lParam, 0);
        codes.push_back(msg.wParam);
    }
    return codes;
}

}  // namespace

TEST(DeviceNotificationClient, InterfaceRules) {
    std::vector<std::string> log;
    RecordingListener client(&log);
    const IID unknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    const IID notification = {0x7991EEC9, 0x7E89, 0x4D85, {0x83, 0x90, 0x6C, 0x70, 0x3C, 0xEC, 0x60, 0xC0}};
    const IID other = {0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
    void* out = &log;
    EXPECT_EQ(client.QueryInterface(unknown, nullptr), E_POINTER);
    EXPECT_EQ(client.QueryInterface(other, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(client.QueryInterface(unknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<IMMNotificationClient*>(&client));
    EXPECT_EQ(client.QueryInterface(notification, &out), S_OK);
    EXPECT_EQ(client.AddRef(), 3u);
    EXPECT_EQ(client.Release(), 2u);
    client.Release();
    client.Release();
    EXPECT_EQ(client.Release(), 0u) << "never below 0, and the object stays";
}

TEST(DeviceNotificationClient, PostsOnlyToAWindowItWasGiven) {
    Component* window = new Component("target", WS_POPUP, 0, 0, 0, 10, 10, nullptr);
    HWND h = window->GetHandle();
    std::vector<std::string> log;
    RecordingListener client(&log);
    const PROPERTYKEY key = {};
    auto notifyAll = [&] {
        client.OnDefaultDeviceChanged(eRender, eConsole, L"x");
        client.OnDeviceAdded(L"x");
        client.OnDeviceRemoved(L"x");
        client.OnDeviceStateChanged(L"x", 1);
        client.OnPropertyValueChanged(L"x", key);
    };
    notifyAll();
    EXPECT_TRUE(TakeUserMessages(h).empty()) << "no window yet";
    EXPECT_EQ(client.Register(h), 1);
    EXPECT_EQ(client.Register(h), 1);
    EXPECT_EQ(log, std::vector<std::string>{"register"}) << "registered once";
    notifyAll();
    EXPECT_EQ(TakeUserMessages(h), (std::vector<WPARAM>{1, 2, 3, 4, 5}));
    client.Unregister();
    notifyAll();
    EXPECT_TRUE(TakeUserMessages(h).empty()) << "after unregistering";
    RecordingListener refused(&log, true);
    EXPECT_EQ(refused.Register(h), 0);
    EXPECT_EQ(refused.GetWindow(), nullptr) << "a failed registration forgets the window";
    delete window;
}

TEST(CDeviceNotifyHolder, UnregistersTheListenerBeforeItGoes) {
    std::vector<std::string> log;
    {
        RecordingHolder holder(&log);
        EXPECT_EQ(holder.SetWindow(reinterpret_cast<HWND>(0x10)), 1);
        EXPECT_EQ(holder.SetWindow(reinterpret_cast<HWND>(0x10)), 1);
        EXPECT_EQ(holder.GetWindow(), reinterpret_cast<HWND>(0x10));
    }
    EXPECT_EQ(log, (std::vector<std::string>{"register", "unregister", "deleted"}));
}
