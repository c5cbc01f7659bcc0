#include "foundation/profiler.h"

#include <atomic>
#include <cstring>

#include "foundation/trace.h"

static std::atomic<Profiler*> g_active{nullptr};
Profiler* GetActiveProfiler() { return g_active.load(); }
void SetActiveProfiler(Profiler* profiler) { g_active.store(profiler); }

Profiler::Profiler() : m_running(0), m_runStart(0) {
    std::memset(m_entries, 0, sizeof m_entries);
    Reset();
}

Profiler::~Profiler() {
    Report();
    if (GetActiveProfiler() == this) SetActiveProfiler(nullptr);
}

void Profiler::Reset() {
    m_running = 1;
    m_runStart = Now();
    for (Entry& e : m_entries) {
        e.hits = 0;
        e.depth = 0;
        e.ticks = 0;
    }
}

void Profiler::Report() {
    if (!m_running) return;
    int64_t now = Now();
    m_running = 0;
    bool any = false;
    for (const Entry& e : m_entries) any |= e.name != nullptr;
    if (!any) return;
    int64_t run = now - m_runStart;
    TraceLog("Profiler report [running %.6lfsecs]", m_timer.ToUnits(run, 1000000) / 1e6);
    TraceLog("----------------");
    for (const Entry& e : m_entries) {
        if (!e.name) continue;
        double share = run > 0 ? static_cast<double>(e.ticks) * 100.0 / static_cast<double>(run) : 0.0;
        double seconds = m_timer.ToUnits(static_cast<int64_t>(e.ticks), 1000000) / 1e6;
        TraceLog("%s, [%s] line %d: %d hits, %.3lf%% [%.6lfsec]", e.file, e.name, e.line, e.hits, share, seconds);
    }
    TraceLog("----------------");
}

// The search starts at the line number's entry (wrapping for lines beyond the table) and moves
// forward, wrapping once, so it never leaves the table.
int Profiler::Lookup(int line, const char* file, const char* name) {
    unsigned start = static_cast<unsigned>(line) % kEntries;
    for (int step = 0; step < kEntries; ++step) {
        int i = static_cast<int>((start + static_cast<unsigned>(step)) % kEntries);
        Entry& e = m_entries[i];
        if (!e.name) {
            e.name = name;
            e.file = file;
            e.line = line;
            return i;
        }
        if (e.line == line && std::strcmp(e.name, name) == 0 && std::strcmp(e.file, file) == 0) return i;
    }
    return -1;
}

ProfilerScope::ProfilerScope(int line, const char* file, const char* name)
    : m_profiler(GetActiveProfiler()), m_entry(-1), m_start(0) {
    if (!m_profiler) return;
    m_entry = m_profiler->Lookup(line, file, name);
    m_start = m_profiler->Now();
    if (m_entry >= 0 && m_profiler->IsRunning()) {
        Profiler::Entry& e = m_profiler->At(m_entry);
        ++e.hits;
        ++e.depth;
    }
}

ProfilerScope::~ProfilerScope() {
    if (!m_profiler || m_entry < 0 || !m_profiler->IsRunning()) return;
    Profiler::Entry& e = m_profiler->At(m_entry);
    if (e.depth > 0 && --e.depth == 0) e.ticks += static_cast<uint64_t>(m_profiler->Now() - m_start);
}
