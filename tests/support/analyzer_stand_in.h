// The stand-in analyzer library k927apcospect.dll as tests of the spectrum panel see it (Windows
// only, header only): where it lies in the build tree, pointing VKT_PLUGIN_PATH at a folder, and
// the calls it has received since a mark, without their thread ids.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testbed/vkt_interfaces.h"

namespace analyzer_stand_in {

// The build tree's bin folder, where the stand-ins are built: two levels above this test
// program's folder (tests/<folder>/).
inline std::string BinFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    for (int up = 0; up < 3; ++up) s = s.substr(0, s.find_last_of('\\'));
    return s + "\\bin";
}

// Sets VKT_PLUGIN_PATH for its lifetime (null: unset) and restores the old value.
class PluginPath {
public:
    explicit PluginPath(const char* folder) {
        char old[4096];
        const DWORD n = GetEnvironmentVariableA("VKT_PLUGIN_PATH", old, sizeof old);
        m_had = n > 0 && n < sizeof old;
        if (m_had) m_old = old;
        SetEnvironmentVariableA("VKT_PLUGIN_PATH", folder);
    }
    ~PluginPath() { SetEnvironmentVariableA("VKT_PLUGIN_PATH", m_had ? m_old.c_str() : nullptr); }

private:
    bool m_had = false;
    std::string m_old;
};

// Holds the library loaded (so that its record survives the panels) and reads its record.
class Library {
public:
    Library() : m_module(LoadLibraryA((BinFolder() + "\\k927apcospect.dll").c_str())) {}
    ~Library() {
        if (m_module) FreeLibrary(m_module);
    }
    bool Loaded() const { return m_module != nullptr; }
    // Every call since the last Mark, one line a call without the thread id.
    std::vector<std::string> CallsSinceMark() {
        const std::string all = Text();
        std::vector<std::string> lines;
        size_t at = m_mark;
        while (at < all.size()) {
            size_t end = all.find('\n', at);
            if (end == std::string::npos) end = all.size();
            std::string line = all.substr(at, end - at);
            line = line.substr(0, line.rfind(" tid="));
            lines.push_back(line);
            at = end + 1;
        }
        return lines;
    }
    void Mark() { m_mark = Text().size(); }
    AnalyzerStats Stats() {
        AnalyzerStats s{};
        s.structSize = sizeof s;
        auto get = reinterpret_cast<TestAnalyzerGetStatsFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "TestAnalyzerGetStats")));
        if (get) get(&s);
        return s;
    }
    bool Fire(uint32_t code, int32_t value) {
        auto fire = reinterpret_cast<TestAnalyzerFireCallbackFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "TestAnalyzerFireCallback")));
        return fire && fire(code, value) != 0;
    }

private:
    std::string Text() {
        auto get = reinterpret_cast<TestAnalyzerGetLogFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "TestAnalyzerGetLog")));
        if (!get) return std::string();
        std::string text(get(nullptr, 0) + 1, '\0');
        get(&text[0], static_cast<uint32_t>(text.size()));
        text.resize(text.size() - 1);
        return text;
    }

    HMODULE m_module;
    size_t m_mark = 0;
};

}  // namespace analyzer_stand_in
