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
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return bytes;
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// A RIFF file built chunk by chunk; sizes may lie on purpose.
class RiffBuilder {
public:
    RiffBuilder& Chunk(const char* id, const std::vector<uint8_t>& body, int64_t declaredSize = -1) {
        m_body.insert(m_body.end(), id, id + 4);
        Put32(declaredSize < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(declaredSize));
        m_body.insert(m_body.end(), body.begin(), body.end());
        if (body.size() & 1) m_body.push_back(0);
        return *this;
    }
    static std::vector<uint8_t> Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, bool withExtra) {
        std::vector<uint8_t> f;
        auto p16 = [&](uint32_t v) { f.push_back(v & 0xFF), f.push_back((v >> 8) & 0xFF); };
        p16(tag);
        p16(channels);
        p16(rate & 0xFFFF), p16(rate >> 16);
        const uint32_t align = channels * bits / 8, rateBytes = rate * align;
        p16(rateBytes & 0xFFFF), p16(rateBytes >> 16);
        p16(align);
        p16(bits);
        if (withExtra) p16(0);
        return f;
    }
    static std::vector<uint8_t> Samples(const std::vector<int16_t>& s) {
        std::vector<uint8_t> b;
        for (int16_t v : s) b.push_back(v & 0xFF), b.push_back((v >> 8) & 0xFF);
        return b;
    }
    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
        const uint32_t size = static_cast<uint32_t>(m_body.size() + 4);
        for (int i = 0; i < 4; ++i) out.push_back((size >> (8 * i)) & 0xFF);
        out.insert(out.end(), {'W', 'A', 'V', 'E'});
        out.insert(out.end(), m_body.begin(), m_body.end());
        return out;
    }

private:
    void Put32(uint32_t v) {
        for (int i = 0; i < 4; ++i) m_body.push_back((v >> (8 * i)) & 0xFF);
    }
    std::vector<uint8_t> m_body;
};

// Dispatches this thread's messages until done() holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

}  // namespace plugintest
