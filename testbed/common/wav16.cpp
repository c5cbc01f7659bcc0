#include "testbed/common/wav16.h"

#include <cstdio>
#include <cstring>

namespace testbed {

namespace {
uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void Put32(unsigned char* p, uint32_t x) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(x >> (8 * i));
}
}  // namespace

bool ReadWav16(const std::string& path, std::vector<int16_t>* samples, uint32_t* sampleRateHz, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = "cannot open " + path;
        return false;
    }
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(f);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) || std::memcmp(bytes.data() + 8, "WAVE", 4)) {
        *error = "not a RIFF WAVE file: " + path;
        return false;
    }
    unsigned channels = 0, bits = 0, format = 0;
    for (size_t pos = 12; pos + 8 <= bytes.size();) {
        const uint32_t size = Le32(&bytes[pos + 4]);
        const unsigned char* body = &bytes[pos + 8];
        const size_t available = bytes.size() - pos - 8;
        if (!std::memcmp(&bytes[pos], "fmt ", 4) && size >= 16 && available >= 16) {
            format = Le16(body);
            channels = Le16(body + 2);
            *sampleRateHz = Le32(body + 4);
            bits = Le16(body + 14);
        } else if (!std::memcmp(&bytes[pos], "data", 4)) {
            if (format != 1 || channels < 1 || bits != 16 || *sampleRateHz == 0) {
                *error = "not 16-bit PCM: " + path;
                return false;
            }
            const size_t frames = (size < available ? size : available) / (2 * channels);
            samples->resize(frames);
            for (size_t i = 0; i < frames; ++i) (*samples)[i] = static_cast<int16_t>(Le16(body + 2 * channels * i));
            return true;
        }
        if (size > available) break;
        pos += 8 + size + (size & 1);
    }
    *error = "no data chunk: " + path;
    return false;
}

bool WriteWav16(const std::string& path, const int16_t* samples, size_t count, uint32_t sampleRateHz) {
    unsigned char header[44];
    const uint32_t dataBytes = static_cast<uint32_t>(count * 2);
    std::memcpy(header, "RIFF", 4);
    Put32(header + 4, 36 + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    Put32(header + 16, 16);
    Put32(header + 20, 1 | (1u << 16));  // PCM, mono
    Put32(header + 24, sampleRateHz);
    Put32(header + 28, sampleRateHz * 2);
    Put32(header + 32, 2 | (16u << 16));  // block align 2, 16 bits
    std::memcpy(header + 36, "data", 4);
    Put32(header + 40, dataBytes);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header &&
              (count == 0 || std::fwrite(samples, 2, count, f) == count);
    return std::fclose(f) == 0 && ok;
}

}  // namespace testbed
