// The mixer wrapper on Wine's real mixers and on a fake device, the source selector's silencing
// and restoring, and the device-change listener's COM rules and posting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/device_notification_client.h"
#include "plugin/mixer_source_selector.h"
#include "tests/support/audio_device_fakes.h"
#include "toolkit/component.h"
#include "ui/setup_dialog.h"

using namespace audio_fakes;

TEST(Mixer, WineMixersAreReadWithoutACrash) {
    const int count = Mixer().GetNumDevices();
    for (int i = 0; i < count; ++i) {
        Mixer m;
        if (!m.Open(static_cast<UINT>(i), true, true)) continue;
        EXPECT_GT(std::string(m.GetName()).size(), 0u) << i;
        for (DWORD d = 0; d < m.GetDestinationCount(); ++d) {
            for (DWORD c = 0; c < m.GetControlCount(d, -1); ++c) EXPECT_NE(m.GetControl(d, -1, c), nullptr);
            for (DWORD s = 0; s < m.GetSourceCount(d); ++s) EXPECT_NE(m.GetLine(d, static_cast<int>(s)), nullptr);
        }
        EXPECT_EQ(m.GetLine(m.GetDestinationCount()), nullptr) << "beyond the destinations";
    }
    MixerSourceSelector selector;
    const UINT devices = selector.GetNumDevices();
    EXPECT_FALSE(selector.SelectMixer(devices));
    EXPECT_EQ(selector.GetDeviceName(devices), nullptr);
    if (devices > 0) {
        EXPECT_TRUE(selector.SelectMixer(0)) << "a device without a mixer is no failure";
    }
}

TEST(Mixer, PermilleConversion) {
    const struct {
        int permille;
        DWORD maximum, raw;
    } cases[] = {
        {500, 65535, 32767},
        {1000, 65535, 65535},
        {1500, 65535, 65535},
        {-5, 65535, 0},
        {999, 0xFFFFFFFFu, 4290672327u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Mixer::FromPermille(c.permille, 0, c.maximum), c.raw) << c.permille;
        EXPECT_NEAR(Mixer::ToPermille(c.raw, 0, c.maximum), std::min(1000, std::max(0, c.permille)), 1) << c.permille;
    }
    EXPECT_EQ(Mixer::FromPermille(250, 100, 500), 200u);
}

namespace {

// Wave-out destination 1 (destination 0 records) with three sources: Line and CD with a mute,
// Aux with only a volume (0..65535).
FakeMixer* MakeDevice(bool withMux) {
    FakeMixer* m = new FakeMixer;
    m->destinations.push_back(FakeLine{"Recording", MIXERLINE_TARGETTYPE_WAVEIN, {}, {}});
    FakeLine out{"Playback", MIXERLINE_TARGETTYPE_WAVEOUT, {MakeControl(10, Mixer::kVolumeControl, 65535)}, {}};
    if (withMux) out.controls.push_back(MakeControl(11, MixerSourceSelector::kMuxControl, 1, 3));
    m->listTexts[11] = {"Line In", "CD", "Aux"};
    out.sources = {FakeLine{"Line", 0, {MakeControl(20, Mixer::kMuteControl)}, {}},
                   FakeLine{"CD", 0, {MakeControl(30, Mixer::kMuteControl)}, {}},
                   FakeLine{"Aux", 0, {MakeControl(40, Mixer::kVolumeControl, 65535)}, {}}};
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
        EXPECT_TRUE(s.SelectMixer(0));
        EXPECT_EQ(m->opens, 1) << "the same mixer is not scanned again";
        EXPECT_FALSE(s.SelectMixer(1)) << "beyond the devices";
    }
}

TEST(MixerSourceSelector, ChoosingAnItemRestoresThePreviousOne) {
    Writes all;
    {
        FakeMixer* m = MakeDevice(false);
        m->mirror = &all;
        MixerSourceSelector s(m, 1);
        ASSERT_TRUE(s.SelectMixer(0));
        const struct {
            int item;
            Writes expected;
        } steps[] = {
            {1, {{30, 1}}},               // CD was muted already: saved 1, muted
            {0, {{30, 1}, {20, 1}}},      // CD back to its own 1, Line muted
            {2, {{20, 0}, {40, 0}}},      // Line unmuted; Aux has no mute: volume to 0
            {1, {{40, 65535}, {30, 1}}},  // Aux volume back (1000 per mille)
            {2, {{30, 1}, {40, 0}}},
        };
        for (const auto& step : steps) {
            m->writes.clear();
            s.SelectItem(step.item);
            EXPECT_EQ(m->writes, step.expected) << "item " << step.item;
        }
        // A change reported by this mixer silences the item again; another mixer's does not.
        m->writes.clear();
        m->HandleMixerMessage(MM_MIXM_CONTROL_CHANGE, m->GetHandle(), 40);
        m->HandleMixerMessage(MM_MIXM_CONTROL_CHANGE, reinterpret_cast<HMIXER>(0x999), 40);
        EXPECT_EQ(m->writes, (Writes{{40, 0}}));
    }
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), std::make_pair(DWORD{40}, DWORD{65535})) << "the selector's end restores the item";
}

TEST(MixerSourceSelector, SwitchingMixersRestoresTheSilencedItem) {
    FakeMixer* m = MakeDevice(false);
    MixerSourceSelector s(m, 2);
    ASSERT_TRUE(s.SelectMixer(0));
    s.SelectItem(0);
    m->writes.clear();
    ASSERT_TRUE(s.SelectMixer(1));
    EXPECT_EQ(m->writes, (Writes{{20, 0}}));
    EXPECT_EQ(s.GetCurrentItem(), -1);
}

namespace {

class RecordingListener : public DeviceNotificationClient {
public:
    explicit RecordingListener(std::vector<std::string>* log) : m_log(log), enumerator(log) {}
    ~RecordingListener() override { m_log->push_back("deleted"); }
    std::vector<std::string>* m_log;
    FakeDeviceEnumerator enumerator;

protected:
    IMMDeviceEnumerator* CreateEnumerator() override { return &enumerator; }
};

class RecordingHolder : public CDeviceNotifyHolder {
public:
    explicit RecordingHolder(std::vector<std::string>* log) : m_log(log) {}
    ~RecordingHolder() override { Release(); }
    std::vector<std::string>* m_log;

protected:
    DeviceNotificationClient* Create() override { return new RecordingListener(m_log); }
};

}  // namespace

TEST(DeviceNotificationClient, InterfaceRulesAndPostingOnlyToItsWindow) {
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
    for (int i = 0; i < 3; ++i) client.Release();
    EXPECT_EQ(client.Release(), 0u) << "never below 0, and the object stays";

    Component* window = new Component("target", WS_POPUP, 0, 0, 0, 10, 10, nullptr);
    const HWND h = window->GetHandle();
    auto notifyAll = [&] {
        const PROPERTYKEY key = {};
        client.OnDefaultDeviceChanged(eRender, eConsole, L"x");
        client.OnDeviceAdded(L"x");
        client.OnDeviceRemoved(L"x");
        client.OnDeviceStateChanged(L"x", 1);
        client.OnPropertyValueChanged(L"x", key);
        std::vector<WPARAM> codes;
        for (MSG msg; PeekMessageA(&msg, h, WM_USER, WM_USER, PM_REMOVE);)
            codes.push_back(msg.wParam + 10 * msg.lParam);
        return codes;
    };
    EXPECT_TRUE(notifyAll().empty()) << "no window yet";
    EXPECT_EQ(client.Register(h), 1);
    EXPECT_EQ(client.Register(h), 1);
    EXPECT_EQ(notifyAll(), (std::vector<WPARAM>{1, 2, 3, 4, 5}));
    client.Unregister();
    EXPECT_TRUE(notifyAll().empty()) << "after unregistering";
    EXPECT_EQ(log, (std::vector<std::string>{"register", "unregister"})) << "registered once";
    client.enumerator.refuse = true;
    EXPECT_EQ(client.Register(h), 0);
    EXPECT_EQ(client.GetWindow(), nullptr) << "a failed registration forgets the window";
    delete window;
}

TEST(CDeviceNotifyHolder, UnregistersTheListenerBeforeItGoes) {
    std::vector<std::string> log;
    {
        RecordingHolder holder(&log);
        EXPECT_EQ(holder.SetWindow(reinterpret_cast<HWND>(0x10)), 1);
        EXPECT_EQ(holder.SetWindow(reinterpret_cast<HWND>(0x10)), 1);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"register", "unregister", "deleted"}));
}
