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

// A file system of the given size mounted for the test's lifetime (a tmpfs under /tmp, through
// Wine's start of Unix programs; mounting needs root) and its Windows path. Mounted() is false
// where it cannot be done: the caller skips.
class SmallDisk {
public:
    SmallDisk(const char* name, uint32_t bytes)
        : m_unix("/tmp/apco_" + std::string(name) + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                 std::to_string(GetTickCount())),
          m_path("Z:" + m_unix) {
        for (char& c : m_path) c = c == '/' ? '\\' : c;
        Shell("mkdir -p " + m_unix + " && mount -t tmpfs -o size=" + std::to_string(bytes) + " tmpfs " + m_unix);
        m_mounted = Wait([&] { return Total() == bytes; });
    }
    ~SmallDisk() {
        Shell("umount -l " + m_unix + " 2>/dev/null; rmdir " + m_unix);
        Wait([&] { return GetFileAttributesA(m_path.c_str()) == INVALID_FILE_ATTRIBUTES; });
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return m_mounted; }
    const std::string& Path() const { return m_path; }

private:
    // Wine gives a Unix program no process handle: its effect is awaited instead.
    static void Shell(const std::string& command) {
        std::string line = "/bin/sh -c \"" + command + "\"";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
        if (pi.hProcess) CloseHandle(pi.hProcess);
        if (pi.hThread) CloseHandle(pi.hThread);
    }
    static bool Wait(const std::function<bool()>& done) {
        for (int i = 0; i < 100; ++i, Sleep(50))
            if (done()) return true;
        return false;
    }
    uint64_t Total() const {
        ULARGE_INTEGER free, total, totalFree;
        return GetDiskFreeSpaceExA((m_path + "\\").c_str(), &free, &total, &totalFree) ? total.QuadPart : 0;
    }
    std::string m_unix, m_path;
    bool m_mounted = false;
};

}  // namespace plugintest
