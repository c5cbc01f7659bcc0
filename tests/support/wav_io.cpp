#include "tests/support/wav_io.h"

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <cstring>

namespace wavtest {

namespace {
uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void Put32(std::vector<unsigned char>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<unsigned char>(x >> (8 * i)));
}
void Put16(std::vector<unsigned char>& v, uint16_t x) {
    v.push_back(static_cast<unsigned char>(x));
    v.push_back(static_cast<unsigned char>(x >> 8));
}
}  // namespace

bool ReadWav16(const std::string& path, std::vector<int16_t>* samples, int* sampleRate) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(f);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) || std::memcmp(bytes.data() + 8, "WAVE", 4))
        return false;
    int channels = 0, bits = 0;
    for (size_t pos = 12; pos + 8 <= bytes.size();) {
        uint32_t size = Le32(&bytes[pos + 4]);
        const unsigned char* body = &bytes[pos + 8];
        size_t available = bytes.size() - pos - 8;
        if (!std::memcmp(&bytes[pos], "fmt ", 4) && size >= 16 && available >= 16) {
            if (Le16(body) != 1) return false;
            channels = Le16(body + 2);
            *sampleRate = static_cast<int>(Le32(body + 4));
            bits = Le16(body + 14);
        } else if (!std::memcmp(&bytes[pos], "data", 4)) {
            if (channels < 1 || bits != 16) return false;
            size_t frames = std::min<size_t>(size, available) / (2 * channels);
            samples->resize(frames);
            for (size_t i = 0; i < frames; ++i) (*samples)[i] = static_cast<int16_t>(Le16(body + 2 * channels * i));
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    return false;
}

bool WriteWav16(const std::string& path, const std::vector<float>& samples, int sampleRate) {
    std::vector<unsigned char> v;
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    v.insert(v.end(), {'R', 'I', 'F', 'F'});
    Put32(v, 36 + dataBytes);
    v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(v, 16);
    Put16(v, 1);
    Put16(v, 1);
    Put32(v, static_cast<uint32_t>(sampleRate));
    Put32(v, static_cast<uint32_t>(sampleRate) * 2);
    Put16(v, 2);
    Put16(v, 16);
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    Put32(v, dataBytes);
    for (float x : samples) {
        double s = std::nearbyint(x * 32767.0);
        s = s > 32767 ? 32767 : (s < -32768 ? -32768 : s);
        Put16(v, static_cast<uint16_t>(static_cast<int16_t>(s)));
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(v.data(), 1, v.size(), f) == v.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<float> ToFloat(const std::vector<int16_t>& samples) {
    std::vector<float> v(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) v[i] = samples[i] / 32768.0f;
    return v;
}

}  // namespace wavtest
