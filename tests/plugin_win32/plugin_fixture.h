// Helpers for the plug-in core's Windows tests: scratch files, hand-built RIFF files and a
// message pump with a deadline.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace plugintest {

inline std::string TempFile(const char* name) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + "apco_plugin_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

inline std::vector<uint8_t> ReadAll(const std::string& path) {
    std::vector<uint8_t> bytes(1 << 16);
    FILE* f = std::fopen(path.c_str(), "rb");
    bytes.resize(f ? std::fread(bytes.data(), 1, bytes.size(), f) : 0);
    if (f) std::fclose(f);
    return bytes;
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) std::fwrite(bytes.data(), 1, bytes.size(), f), std::fclose(f);
}

inline uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

inline void Put(std::vector<uint8_t>& v, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) v.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A "fmt " body: tag, channels, rate, bits (block align and byte rate follow), and the
// extra-size word when withExtra.
inline std::vector<uint8_t> Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, bool withExtra) {
    std::vector<uint8_t> f;
    const uint32_t align = channels * bits / 8;
    Put(f, tag, 2), Put(f, channels, 2), Put(f, rate, 4), Put(f, rate * align, 4), Put(f, align, 2), Put(f, bits, 2);
    if (withExtra) Put(f, 0, 2);
    return f;
}

// "RIFF" size "WAVE" and the chunks {id, body, declared size (-1: the body's)}.
struct Chunk {
    const char* id;
    std::vector<uint8_t> body;
    int64_t declared = -1;
};
inline std::vector<uint8_t> Riff(const std::vector<Chunk>& chunks) {
    std::vector<uint8_t> body;
    for (const Chunk& c : chunks) {
        body.insert(body.end(), c.id, c.id + 4);
        Put(body, c.declared < 0 ? static_cast<uint32_t>(c.body.size()) : static_cast<uint32_t>(c.declared), 4);
        body.insert(body.end(), c.body.begin(), c.body.end());
    }
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    Put(out, static_cast<uint32_t>(body.size() + 4), 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline std::vector<uint8_t> Bytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> b;
    for (int16_t s : samples) Put(b, static_cast<uint16_t>(s), 2);
    return b;
}

// Dispatches this thread's messages until done() holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    for (const DWORD start = GetTickCount();;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// A tmpfs of this size mounted for the test's lifetime by a Unix shell that Wine starts (as
// root); mounted is false where that fails. Wine gives no handle to wait on: the effect is awaited.
struct SmallDisk {
    explicit SmallDisk(uint64_t bytes) {
        for (char& c : path) c = c == '/' ? '\\' : c;
        ULARGE_INTEGER total{};
        mounted = Shell(
            "mkdir -p " + unixPath + " && mount -t tmpfs -o size=" + std::to_string(bytes) + " tmpfs " + unixPath, [&] {
                return GetDiskFreeSpaceExA((path + "\\").c_str(), nullptr, &total, nullptr) && total.QuadPart == bytes;
            });
    }
    ~SmallDisk() {
        Shell("umount -l " + unixPath + "; rmdir " + unixPath,
              [&] { return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; });
    }
    static bool Shell(std::string command, const std::function<bool()>& done) {
        command = "/bin/sh -c \"" + command + "\"";
        STARTUPINFOA si{sizeof si};
        PROCESS_INFORMATION pi{};
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            CloseHandle(pi.hProcess), CloseHandle(pi.hThread);
        return PumpUntil(done, 5000);
    }
    const std::string unixPath = "/tmp/apco_disk" + std::to_string(GetTickCount());
    std::string path = "Z:" + unixPath;
    bool mounted = false;
};

}  // namespace plugintest
