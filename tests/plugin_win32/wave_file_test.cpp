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

// With the RIFF and data sizes patched in (the builder writes the true ones).
std::vector<uint8_t> WithSizes(std::vector<uint8_t> bytes, uint32_t riff, uint32_t data, size_t dataSizeAt) {
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
    for (int i = 0; i < 4; ++i) bytes[dataSizeAt + i] = static_cast<uint8_t>(data >> (8 * i));
    return bytes;
}

// Any well-formed header opens with its own details; only 16-bit mono PCM up to 64000 Hz with
// a sample is supported; reading never passes the data chunk or the file.
TEST(WaveFile, WellFormedFilesOpenWithTheirDetailsAndAVerdict) {
    const std::vector<int16_t> ten = Ramp(10);
    const auto data = Bytes(ten);
    const auto pcm18 = Format(1, 1, 48000, 16, true);
    const auto pcm16 = Format(1, 1, 48000, 16, false);
    const auto plain = Riff({{"fmt ", pcm18}, {"data", data}});
    const size_t dataSizeAt = 12 + 8 + pcm18.size() + 4;
    std::vector<uint8_t> notWave = plain;
    notWave[8] = 'X';
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool opens, supported;
        uint32_t channels, bits, bytesPerSecond;
        size_t samples;  // read back
    } cases[] = {
        {"trailing chunk", Riff({{"fmt ", pcm18}, {"data", data}, {"LIST", std::vector<uint8_t>(64, 0x55)}}), true,
         true, 1, 16, 96000, 10},
        {"data beyond the end", Riff({{"fmt ", pcm18}, {"data", data, 100000}}), true, true, 1, 16, 96000, 10},
        {"16-byte fmt", Riff({{"fmt ", pcm16}, {"data", data}}), true, true, 1, 16, 96000, 10},
        {"chunk before fmt", Riff({{"JUNK", {1, 2, 3, 4}}, {"fmt ", pcm16}, {"data", data}}), true, true, 1, 16, 96000,
         10},
        {"stereo 48000", Riff({{"fmt ", Format(1, 2, 48000, 16, true)}, {"data", data}}), true, false, 2, 16, 192000,
         10},
        {"8-bit", Riff({{"fmt ", Format(1, 1, 48000, 8, true)}, {"data", data}}), true, false, 1, 8, 48000, 10},
        {"float", Riff({{"fmt ", Format(3, 1, 48000, 32, true)}, {"data", data}}), true, false, 1, 32, 192000, 10},
        {"rate 0", Riff({{"fmt ", Format(1, 1, 0, 16, true)}, {"data", data}}), true, false, 1, 16, 0, 10},
        {"rate 64001", Riff({{"fmt ", Format(1, 1, 64001, 16, true)}, {"data", data}}), true, false, 1, 16, 128002, 10},
        {"one data byte", Riff({{"fmt ", pcm18}, {"data", {7}}}), true, false, 1, 16, 96000, 0},
        // Sizes a cut recording or a streaming writer leaves: to the end of the file.
        {"data 0, RIFF 0", WithSizes(plain, 0, 0, dataSizeAt), true, true, 1, 16, 96000, 10},
        {"data 0, RIFF 4", WithSizes(plain, 4, 0, dataSizeAt), true, true, 1, 16, 96000, 10},
        {"data and RIFF ~0", WithSizes(plain, ~0u, ~0u, dataSizeAt), true, true, 1, 16, 96000, 10},
        {"data 0, RIFF ~0", WithSizes(plain, ~0u, 0, dataSizeAt), true, true, 1, 16, 96000, 10},
        // Any other size stays bounded: by itself, the RIFF size or the file.
        {"data 0 in a sized RIFF", WithSizes(plain, 58, 0, dataSizeAt), true, false, 1, 16, 96000, 0},
        {"data 8, RIFF 0", WithSizes(plain, 0, 8, dataSizeAt), true, true, 1, 16, 96000, 4},
        {"data ~0 in a sized RIFF", WithSizes(plain, 58, ~0u, dataSizeAt), true, true, 1, 16, 96000, 10},
        {"data outside the RIFF", WithSizes(plain, 30, 20, dataSizeAt), false, false, 0, 0, 0, 0},
        {"short fmt", Riff({{"fmt ", std::vector<uint8_t>(pcm16.begin(), pcm16.begin() + 12)}, {"data", data}}), false,
         false, 0, 0, 0, 0},
        {"no data", Riff({{"fmt ", pcm18}}), false, false, 0, 0, 0, 0},
        {"no fmt", Riff({{"data", data}}), false, false, 0, 0, 0, 0},
        {"data before fmt", Riff({{"data", data}, {"fmt ", pcm18}}), false, false, 0, 0, 0, 0},
        {"chunk size past the end", Riff({{"JUNK", {1, 2}, 0xFFFFFFF0}, {"fmt ", pcm18}, {"data", data}}), false, false,
         0, 0, 0, 0},
        {"not WAVE", notWave, false, false, 0, 0, 0, 0},
        {"header only", {'R', 'I', 'F', 'F'}, false, false, 0, 0, 0, 0},
    };
    const std::string path = TempFile("bad.wav");
    for (const Case& c : cases) {
        WriteAll(path, c.bytes);
        WaveFile file;
        EXPECT_EQ(c.opens ? 1 : 0, file.OpenRead(path.c_str())) << c.name;
        EXPECT_EQ(c.opens, file.IsOpen()) << c.name;
        EXPECT_EQ(c.supported, file.IsSupported()) << c.name;
        EXPECT_EQ(c.channels, file.GetChannels()) << c.name;
        EXPECT_EQ(c.bits, file.GetBitsPerSample()) << c.name;
        EXPECT_EQ(c.bytesPerSecond, file.GetBytesPerSecond()) << c.name;
        EXPECT_EQ(c.opens ? static_cast<int64_t>(c.bytes.size()) : -1, file.GetSize()) << c.name;
        EXPECT_EQ(std::vector<int16_t>(ten.begin(), ten.begin() + c.samples), ReadEverything(file)) << c.name;
    }
    WaveFile file;
    EXPECT_EQ(0, file.OpenRead(TempFile("missing.wav").c_str()));
    EXPECT_EQ(0, file.OpenRead(""));
    EXPECT_EQ(0, file.Create(nullptr, 8000));
    EXPECT_EQ(0, file.Create(path.c_str(), 0));
    EXPECT_FALSE(file.IsSupported());
    std::remove(path.c_str());
}

// A header refreshed at every write, between writes of awkward sizes, leaves exactly the file
// that one final header would: no sample lands on the header or is lost.
TEST(WaveFile, HeaderRefreshesKeepTheRecordingIntact) {
    const std::string path = TempFile("refresh.wav");
    const std::vector<int16_t> samples = Ramp(5000);
    WaveFile file;
    file.SetHeaderRefreshMs(0);
    ASSERT_EQ(1, file.Create(path.c_str(), 16000));
    EXPECT_FALSE(file.IsSupported()) << "a recording is not played";
    size_t done = 0;
    for (size_t piece : {1, 7, 64, 333, 4096, 499}) {
        ASSERT_EQ(1, file.Write(samples.data() + done, static_cast<uint32_t>(piece))) << piece;
        done += piece;
    }
    ASSERT_EQ(done, samples.size());
    file.Close();
    const std::vector<uint8_t> bytes = ReadAll(path);
    ASSERT_EQ(46u + 10000u, bytes.size());
    EXPECT_EQ(Le32(&bytes[4]), 46u + 10000u - 8u);
    EXPECT_EQ(Le32(&bytes[42]), 10000u);
    ASSERT_EQ(1, file.OpenRead(path.c_str()));
    EXPECT_TRUE(file.IsSupported());
    EXPECT_EQ(samples, ReadEverything(file));
    file.Close();
    std::remove(path.c_str());
}
