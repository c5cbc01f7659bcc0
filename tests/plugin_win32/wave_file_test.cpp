#include <gtest/gtest.h>

#include <cstring>

#include "plugin/wave_file.h"
#include "tests/plugin_win32/plugin_fixture.h"

using plugintest::RiffBuilder;

namespace {

std::vector<int16_t> Ramp(int n) {
    std::vector<int16_t> s(n);
    for (int i = 0; i < n; ++i) s[i] = static_cast<int16_t>(i * 37 - 16000);
    return s;
}

std::vector<int16_t> ReadEverything(WaveFile& file) {
    std::vector<int16_t> out;
    int16_t buffer[333];
    while (uint32_t n = file.Read(buffer, 333)) out.insert(out.end(), buffer, buffer + n);
    return out;
}

}  // namespace

TEST(WaveFile, RecordingHasTheFixedHeaderAndReadsBack) {
    const std::string path = plugintest::TempFile("rec.if.wav");
    const std::vector<int16_t> samples = Ramp(1000);
    {
        WaveFile file;
        ASSERT_EQ(1, file.Create(path.c_str(), 16000));
        EXPECT_EQ(46, file.GetSize());
        EXPECT_TRUE(file.IsIFFile());
        ASSERT_EQ(1, file.Write(samples.data(), 600));
        ASSERT_EQ(1, file.Write(samples.data() + 600, 400));
        EXPECT_EQ(0u, file.Read(nullptr, 0));
        EXPECT_EQ(2000u, file.GetDataLength());
        EXPECT_EQ(0u, file.GetLengthSeconds());   // 2000 / 32000, whole seconds
        file.Close();
        EXPECT_EQ(-1, file.GetSize());
    }
    const std::vector<uint8_t> bytes = plugintest::ReadAll(path);
    ASSERT_EQ(2046u, bytes.size());
    const uint8_t header[46] = {'R', 'I', 'F', 'F', 0xF6, 0x07, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                18, 0, 0, 0, 1, 0, 1, 0, 0x80, 0x3E, 0, 0, 0x00, 0x7D, 0, 0,
                                2, 0, 16, 0, 0, 0, 'd', 'a', 't', 'a', 0xD0, 0x07, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes.data(), header, 46));   // RIFF size 2038, data size 2000

    WaveFile file(path.c_str());
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(2046, file.GetSize());
    EXPECT_EQ(16000u, file.GetSampleRate());
    EXPECT_EQ(32000u, file.GetBytesPerSecond());
    EXPECT_EQ(0, file.Write(samples.data(), 1));   // not a recording
    EXPECT_EQ(samples, ReadEverything(file));
    std::remove(path.c_str());
}

TEST(WaveFile, SeeksStayOnSamplesInsideTheData) {
    const std::string path = plugintest::TempFile("seek.wav");
    const std::vector<int16_t> samples = Ramp(100);
    WaveFile writer;
    ASSERT_EQ(1, writer.Create(path.c_str(), 8000));
    writer.Write(samples.data(), 100);
    writer.Close();
    WaveFile file(path.c_str());
    EXPECT_FALSE(file.IsIFFile());
    struct Case {
        uint32_t bytes;
        int changed;
        uint32_t position;
    } cases[] = {{51, 1, 50}, {1000, 1, 200}, {199, 1, 198}, {0, 1, 0}, {1, 1, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.changed, file.SeekBytes(c.bytes)) << c.bytes;
        EXPECT_EQ(c.position, file.GetPosition()) << c.bytes;
        EXPECT_EQ(0, file.SeekBytes(c.position)) << c.bytes;   // already there
        int16_t s;
        if (c.position < 200) {
            ASSERT_EQ(1u, file.Read(&s, 1));
            EXPECT_EQ(samples[c.position / 2], s);
        } else {
            EXPECT_EQ(0u, file.Read(&s, 1));
        }
    }
    file.Rewind();
    EXPECT_EQ(samples, ReadEverything(file));
    file.Close();
    std::remove(path.c_str());
}

TEST(WaveFile, ByteLimitIsCheckedBeforeEachWrite) {
    const std::string path = plugintest::TempFile("limit.wav");
    const std::vector<int16_t> samples = Ramp(20);
    WaveFile file;
    EXPECT_EQ(2000000000u, file.GetByteLimit());
    file.SetByteLimit(100);
    ASSERT_EQ(1, file.Create(path.c_str(), 8000));
    EXPECT_EQ(1, file.Write(samples.data(), 20));   // 86 bytes
    EXPECT_EQ(1, file.Write(samples.data(), 20));   // 86 < 100: accepted, now 126
    EXPECT_EQ(0, file.Write(samples.data(), 1));
    EXPECT_EQ(126, file.GetSize());
    file.Close();
    EXPECT_EQ(126u, plugintest::ReadAll(path).size());
    std::remove(path.c_str());
}

TEST(WaveFile, MalformedFilesAreRefusedOrBounded) {
    const std::vector<int16_t> ten = Ramp(10);
    const auto pcm18 = RiffBuilder::Format(1, 1, 48000, 16, true);
    const auto pcm16 = RiffBuilder::Format(1, 1, 48000, 16, false);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool opens;
        size_t samples;   // read back when it opens (always the first ones of ten)
    } cases[] = {
        {"trailing chunk", RiffBuilder().Chunk("fmt ", pcm18).Chunk("data", RiffBuilder::Samples(ten)).Chunk("LIST", std::vector<uint8_t>(64, 0x55)).Build(), true, 10},
        {"data beyond the end", RiffBuilder().Chunk("fmt ", pcm18).Chunk("data", RiffBuilder::Samples(ten), 100000).Build(), true, 10},
        {"16-byte fmt", RiffBuilder().Chunk("fmt ", pcm16).Chunk("data", RiffBuilder::Samples(ten)).Build(), true, 10},
        {"rate 0", RiffBuilder().Chunk("fmt ", RiffBuilder::Format(1, 1, 0, 16, true)).Chunk("data", RiffBuilder::Samples(ten)).Build(), false, 0},
        {"stereo", RiffBuilder().Chunk("fmt ", RiffBuilder::Format(1, 2, 48000, 16, true)).Chunk("data", RiffBuilder::Samples(ten)).Build(), false, 0},
        {"8-bit", RiffBuilder().Chunk("fmt ", RiffBuilder::Format(1, 1, 48000, 8, true)).Chunk("data", RiffBuilder::Samples(ten)).Build(), false, 0},
        {"float", RiffBuilder().Chunk("fmt ", RiffBuilder::Format(3, 1, 48000, 16, true)).Chunk("data", RiffBuilder::Samples(ten)).Build(), false, 0},
        {"short fmt", RiffBuilder().Chunk("fmt ", std::vector<uint8_t>(pcm16.begin(), pcm16.begin() + 12)).Chunk("data", RiffBuilder::Samples(ten)).Build(), false, 0},
        {"no data", RiffBuilder().Chunk("fmt ", pcm18).Build(), false, 0},
        {"no fmt", RiffBuilder().Chunk("data", RiffBuilder::Samples(ten)).Build(), false, 0},
        {"header only", {'R', 'I', 'F', 'F'}, false, 0},
        {"empty", {}, false, 0},
    };
    const std::string path = plugintest::TempFile("bad.wav");
    for (const Case& c : cases) {
        plugintest::WriteAll(path, c.bytes);
        WaveFile file;
        EXPECT_EQ(c.opens ? 1 : 0, file.OpenRead(path.c_str())) << c.name;
        EXPECT_EQ(c.opens, file.IsOpen()) << c.name;
        const std::vector<int16_t> got = ReadEverything(file);
        EXPECT_EQ(std::vector<int16_t>(ten.begin(), ten.begin() + c.samples), got) << c.name;
        EXPECT_EQ(2 * c.samples, file.GetDataLength()) << c.name;
    }
    WaveFile missing;
    EXPECT_EQ(0, missing.OpenRead(plugintest::TempFile("missing.wav").c_str()));
    EXPECT_EQ(0, missing.OpenRead(""));
    EXPECT_EQ(0, missing.Create(nullptr, 8000));
    EXPECT_EQ(0, missing.Create(path.c_str(), 0));
    std::remove(path.c_str());
}
