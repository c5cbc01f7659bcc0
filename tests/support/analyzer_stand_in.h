// The stand-in analyzer library k927apcospect.dll as tests of the spectrum panel see it (Windows
// only, header only): where it lies in the build tree, VKT_PLUGIN_PATH for a scope, and the
// calls it has received since a mark, without their thread ids.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "plugin/vkt_interfaces.h"

namespace analyzer_stand_in {

// The build tree's bin folder: two levels above this test program's folder (tests/<folder>/).
inline std::string BinFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    for (int up = 0; up < 3; ++up) s = s.substr(0, s.find_last_of('\\'));
    return s + "\\bin";
}

// VKT_PLUGIN_PATH set for a scope (null: unset); unset again afterwards.
struct PluginPath {
    explicit PluginPath(const char* folder) { SetEnvironmentVariableA("VKT_PLUGIN_PATH", folder); }
    ~PluginPath() { SetEnvironmentVariableA("VKT_PLUGIN_PATH", nullptr); }
};

// Holds the library loaded (so that its record outlives the panels) and reads the record.
class Library {
public:
    Library() : m_module(LoadLibraryA((BinFolder() + "\\k927apcospect.dll").c_str())) {}
    ~Library() { FreeLibrary(m_module); }
    bool Loaded() const { return m_module != nullptr; }
    void Mark() { m_mark = Text().size(); }
    std::vector<std::string> CallsSinceMark() {
        const std::string all = Text();
        std::vector<std::string> lines;
        for (size_t at = m_mark, end; at < all.size(); at = end + 1) {
            end = all.find('\n', at);
            lines.push_back(all.substr(at, all.rfind(" tid=", end) - at));
        }
        return lines;
    }
    AnalyzerStats Stats() {
        AnalyzerStats s{sizeof s};
        Entry<TestAnalyzerGetStatsFn>("TestAnalyzerGetStats")(&s);
        return s;
    }
    bool Fire(uint32_t code, int32_t value) {
        return Entry<TestAnalyzerFireCallbackFn>("TestAnalyzerFireCallback")(code, value);
    }

private:
    template <typename F>
    F Entry(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    }
    std::string Text() {
        auto get = Entry<TestAnalyzerGetLogFn>("TestAnalyzerGetLog");
        std::string text(get(nullptr, 0) + 1, '\0');
        text.resize(get(&text[0], static_cast<uint32_t>(text.size())));
        return text;
    }

    HMODULE m_module;
    size_t m_mark = 0;
};

}  // namespace analyzer_stand_in
