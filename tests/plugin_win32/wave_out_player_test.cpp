#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "plugin/wave_out_player.h"
#include "tests/plugin_win32/plugin_fixture.h"

namespace {

// A pool of full buffers that remembers the order in which the player gave them back.
struct Pool : IAudioBufferOwner {
    explicit Pool(int n, int16_t value = 1000) {
        for (int i = 0; i < n; ++i) {
            buffers.emplace_back(new AudioBuffer(1024));
            std::fill(buffers.back()->GetData(), buffers.back()->GetData() + 1024, value);
            buffers.back()->SetCount(1024);
        }
    }
    void ReturnAudioBuffer(AudioBuffer* buffer) override { returned.push_back(buffer); }
    AudioBuffer* operator[](int i) { return buffers[i].get(); }
    bool AllBack() const { return returned.size() == buffers.size(); }

    std::vector<std::unique_ptr<AudioBuffer>> buffers;
    std::vector<AudioBuffer*> returned;
};

// The Quorvane Virtual Sound Card with a stand-in driver: its two interfaces are files of a
// scratch folder, which then cannot be opened unshared while the player holds them.
class VirtualCardPlayer : public WaveOutPlayer {
public:
    explicit VirtualCardPlayer(const std::string& folder) : WaveOutPlayer(16000), m_folder(folder) {}

protected:
    String GetDeviceName(UINT) override { return String("Quorvane Virtual Sound Card (stand-in)"); }
    bool FindVirtualCardInterface(String* devicePath) override {
        *devicePath = m_folder.c_str();
        return true;
    }

private:
    std::string m_folder;
};

bool Held(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(h);
    return false;
}

}  // namespace

TEST(WaveOutPlayer, VirtualCardDriverIsHeldOnlyWhileTheDeviceIsOpen) {
    const std::string folder = plugintest::TempFile("virtual_card");
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string paths[2] = {folder + "\\b029d310-284d-4f05-9aff-d993707aedc4",
                                  folder + "\\0d13c528-a6fc-47f1-8fee-c5dd46f1fbb1"};
    for (const std::string& p : paths) plugintest::WriteAll(p, {1});
    auto player = std::make_unique<VirtualCardPlayer>(folder);
    const struct {
        const char* what;
        std::function<int()> act;
        int result;
        bool held;
    } steps[] = {
        {"open", [&] { return player->Open(); }, 0, true},
        {"close", [&] { return player->Close(); }, 0, false},
        {"open fails", [&] { return player->SetDevice(9999), player->Open(); }, MMSYSERR_BADDEVICEID, false},
        {"close after it", [&] { return player->Close(); }, WaveOutPlayer::kNoDevice, false},
        {"open again", [&] { return player->SetDevice(0), player->Open(); }, 0, true},
        {"teardown", [&] { return player.reset(), 0; }, 0, false},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(step.act(), step.result) << step.what;
        EXPECT_EQ(Held(paths[0]), step.held) << step.what;
        EXPECT_EQ(Held(paths[1]), step.held) << step.what;
    }
    for (const std::string& p : paths) DeleteFileA(p.c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST(WaveOutPlayer, PreBufferingReleasesTheThirdBufferAndAllInOrder) {
    Pool pool(3);
    WaveOutPlayer player(16000);
    player.SetOwner(&pool);
    ASSERT_TRUE(player.SetBufferCount(3));
    ASSERT_EQ(0, player.Open());
    player.Write(pool[0]);
    player.Write(pool[1]);
    EXPECT_EQ(0, player.GetQueuedCount());
    player.Write(pool[2]);
    EXPECT_EQ(3, player.GetQueuedCount());
    EXPECT_TRUE(pool.returned.empty());
    ASSERT_TRUE(plugintest::PumpUntil([&] { return pool.AllBack(); }));
    EXPECT_EQ((std::vector<AudioBuffer*>{pool[0], pool[1], pool[2]}), pool.returned);
    EXPECT_EQ(0, player.GetQueuedCount());
}

TEST(WaveOutPlayer, RefusedBuffersComeBackAtOnce) {
    Pool pool(9);
    AudioBuffer empty;  // no storage at all
    pool[8]->SetCount(0);
    WaveOutPlayer player(16000);
    player.SetOwner(&pool);
    ASSERT_TRUE(player.SetBufferCount(1));
    ASSERT_EQ(6, player.GetQueueDepth());
    player.Write(pool[7]);  // not playing
    ASSERT_EQ(0, player.Open());
    player.Write(&empty);
    player.Write(pool[8]);
    player.Write(nullptr);
    // No message is pumped in between, so no played buffer is counted off yet.
    for (int i = 0; i < 6; ++i) player.Write(pool[i]);
    EXPECT_EQ(6, player.GetQueuedCount());
    player.Write(pool[6]);
    EXPECT_EQ((std::vector<AudioBuffer*>{pool[7], &empty, pool[8], pool[6]}), pool.returned);
    EXPECT_FALSE(player.SetSampleRate(8000));  // only while closed
    ASSERT_TRUE(plugintest::PumpUntil([&] { return pool.returned.size() == 10; }));
}

TEST(WaveOutPlayer, EveryBufferComesBackAfterStopCloseAndTeardown) {
    Pool pool(8);
    auto player = std::make_unique<WaveOutPlayer>(16000);
    player->SetOwner(&pool);
    ASSERT_TRUE(player->SetBufferCount(3));
    EXPECT_EQ(WaveOutPlayer::kNotPlaying, player->Stop());
    EXPECT_EQ(WaveOutPlayer::kNoDevice, player->Close());
    ASSERT_EQ(0, player->Open());
    EXPECT_EQ(WaveOutPlayer::kAlreadyOpen, player->Open());
    EXPECT_FALSE(player->SetBufferCount(2));             // only while not playing
    for (int i = 0; i < 5; ++i) player->Write(pool[i]);  // three queued, two held back
    EXPECT_EQ(0, player->Stop());
    ASSERT_TRUE(plugintest::PumpUntil([&] { return pool.returned.size() == 5; }));
    EXPECT_EQ(WaveOutPlayer::kNotPlaying, player->Stop());
    EXPECT_EQ(0, player->Close());
    EXPECT_EQ(WaveOutPlayer::kNoDevice, player->Close());

    // Reopened, and torn down with buffers on the device and held back.
    ASSERT_EQ(0, player->Open());
    for (int i = 5; i < 8; ++i) player->Write(pool[i]);
    player->Write(pool[0]);
    player.reset();
    ASSERT_EQ(9u, pool.returned.size());
    std::vector<AudioBuffer*> last(pool.returned.end() - 4, pool.returned.end());
    std::vector<AudioBuffer*> expected{pool[5], pool[6], pool[7], pool[0]};
    std::sort(last.begin(), last.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, last);
}

TEST(WaveOutPlayer, VolumeScalesSaturatesAndMutes) {
    struct Case {
        int volume;
        bool mute;
        int16_t in, out;
    } cases[] = {
        {4, false, 1000, 500},       {4, false, -1001, -501},  // arithmetic shift rounds down
        {8, false, -32768, -32768},  {0, false, 30000, 0},     {12, false, 1000, 1500}, {16, false, 20000, 32767},
        {16, false, -20000, -32768}, {32, false, 9000, 32767}, {8, true, 12345, 0},     {32, true, -5, 0},
    };
    for (const Case& c : cases) {
        int16_t s[3] = {c.in, c.in, c.in};
        WaveOutPlayer::ScaleSamples(s, 3, c.volume, c.mute);
        EXPECT_EQ(c.out, s[2]) << c.volume << " " << c.in;
    }
    WaveOutPlayer player(16000);
    player.SetVolume(40);
    EXPECT_EQ(32, player.GetVolume());
    player.SetVolume(-1);
    EXPECT_EQ(0, player.GetVolume());

    // Through the player: what it plays (and gives back) is the scaled buffer.
    Pool pool(1, -3000);
    player.SetOwner(&pool);
    player.SetVolume(4);
    ASSERT_TRUE(player.SetBufferCount(1));
    ASSERT_EQ(0, player.Open());
    player.Write(pool[0]);
    ASSERT_TRUE(plugintest::PumpUntil([&] { return pool.AllBack(); }));
    EXPECT_EQ(-1500, pool[0]->GetData()[1023]);
    EXPECT_GT(WaveOutPlayer::GetDeviceCaps(0).Length(), 0);
    EXPECT_EQ(0, WaveOutPlayer::GetDeviceCaps(9999).Length());
}
