#include <gtest/gtest.h>

#include <cstring>

#include "plugin/wave_file.h"
#include "tests/plugin_win32/plugin_fixture.h"

using namespace plugintest;

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

TEST(WaveFile, RecordingHasTheFixedHeaderReadsBackAndSeeks) {
    const std::string path = TempFile("rec.if.wav");
    const std::vector<int16_t> samples = Ramp(1000);
    WaveFile file;
    ASSERT_EQ(1, file.Create(path.c_str(), 16000));
    EXPECT_EQ(46, file.GetSize());
    EXPECT_TRUE(file.IsIFFile());
    ASSERT_EQ(1, file.Write(samples.data(), 600));
    ASSERT_EQ(1, file.Write(samples.data() + 600, 400));
    EXPECT_EQ(0u, file.GetLengthSeconds());  // 2000 / 32000, whole seconds
    file.Close();
    EXPECT_EQ(-1, file.GetSize());
    const std::vector<uint8_t> bytes = ReadAll(path);
    ASSERT_EQ(2046u, bytes.size());
    const uint8_t header[46] = {'R', 'I', 'F', 'F', 0xF6, 0x07, 0,   0,   'W',  'A',  'V',  'E',  'f',  'm',  't', ' ',
                                18,  0,   0,   0,   1,    0,    1,   0,   0x80, 0x3E, 0,    0,    0x00, 0x7D, 0,   0,
                                2,   0,   16,  0,   0,    0,    'd', 'a', 't',  'a',  0xD0, 0x07, 0,    0};
    EXPECT_EQ(0, std::memcmp(bytes.data(), header, 46));  // RIFF size 2038, data size 2000

    ASSERT_EQ(1, file.OpenRead(nullptr));  // the kept name
    EXPECT_EQ(2046, file.GetSize());
    EXPECT_EQ(2000u, file.GetDataLength());
    EXPECT_EQ(32000u, file.GetBytesPerSecond());
    EXPECT_EQ(0, file.Write(samples.data(), 1));  // not a recording
    EXPECT_EQ(samples, ReadEverything(file));
    // Seeks land on the even byte at or below, never beyond the data.
    struct Case {
        uint32_t bytes, position;
    } cases[] = {{51, 50}, {5000, 2000}, {1999, 1998}, {0, 0}, {1, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(1, file.SeekBytes(c.bytes)) << c.bytes;
        EXPECT_EQ(c.position, file.GetPosition()) << c.bytes;
        EXPECT_EQ(0, file.SeekBytes(c.position)) << c.bytes;  // already there
        int16_t s = 0;
        EXPECT_EQ(c.position < 2000 ? 1u : 0u, file.Read(&s, 1)) << c.bytes;
        EXPECT_EQ(c.position < 2000 ? samples[c.position / 2] : 0, s) << c.bytes;
    }
    file.Close();
    std::remove(path.c_str());
}

TEST(WaveFile, ByteLimitIsCheckedBeforeEachWrite) {
    const std::string path = TempFile("limit.wav");
    const std::vector<int16_t> samples = Ramp(20);
    WaveFile file;
    EXPECT_EQ(2000000000u, file.GetByteLimit());
    file.SetByteLimit(100);
    ASSERT_EQ(1, file.Create(path.c_str(), 8000));
    EXPECT_FALSE(file.IsIFFile());
    EXPECT_EQ(1, file.Write(samples.data(), 20));  // 86 bytes
    EXPECT_EQ(1, file.Write(samples.data(), 20));  // 86 < 100: accepted, now 126
    EXPECT_EQ(0, file.Write(samples.data(), 1));
    file.Close();
    EXPECT_EQ(126u, ReadAll(path).size());
    std::remove(path.c_str());
}

TEST(WaveFile, MalformedFilesAreRefusedOrBounded) {
    const std::vector<int16_t> ten = Ramp(10);
    const auto data = Bytes(ten);
    const auto pcm18 = Format(1, 1, 48000, 16, true);
    const auto pcm16 = Format(1, 1, 48000, 16, false);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        size_t samples;  // read back; 0: refused
    } cases[] = {
        {"trailing chunk", Riff({{"fmt ", pcm18}, {"data", data}, {"LIST", std::vector<uint8_t>(64, 0x55)}}), 10},
        {"data beyond the end", Riff({{"fmt ", pcm18}, {"data", data, 100000}}), 10},
        {"16-byte fmt", Riff({{"fmt ", pcm16}, {"data", data}}), 10},
        {"rate 0", Riff({{"fmt ", Format(1, 1, 0, 16, true)}, {"data", data}}), 0},
        {"stereo", Riff({{"fmt ", Format(1, 2, 48000, 16, true)}, {"data", data}}), 0},
        {"8-bit", Riff({{"fmt ", Format(1, 1, 48000, 8, true)}, {"data", data}}), 0},
        {"float", Riff({{"fmt ", Format(3, 1, 48000, 16, true)}, {"data", data}}), 0},
        {"short fmt", Riff({{"fmt ", std::vector<uint8_t>(pcm16.begin(), pcm16.begin() + 12)}, {"data", data}}), 0},
        {"no data", Riff({{"fmt ", pcm18}}), 0},
        {"no fmt", Riff({{"data", data}}), 0},
        {"header only", {'R', 'I', 'F', 'F'}, 0},
    };
    const std::string path = TempFile("bad.wav");
    for (const Case& c : cases) {
        WriteAll(path, c.bytes);
        WaveFile file;
        EXPECT_EQ(c.samples ? 1 : 0, file.OpenRead(path.c_str())) << c.name;
        EXPECT_EQ(c.samples > 0, file.IsOpen()) << c.name;
        EXPECT_EQ(std::vector<int16_t>(ten.begin(), ten.begin() + c.samples), ReadEverything(file)) << c.name;
    }
    WaveFile file;
    EXPECT_EQ(0, file.OpenRead(TempFile("missing.wav").c_str()));
    EXPECT_EQ(0, file.OpenRead(""));
    EXPECT_EQ(0, file.Create(nullptr, 8000));
    EXPECT_EQ(0, file.Create(path.c_str(), 0));
    std::remove(path.c_str());
}
