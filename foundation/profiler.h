// A table of named code scopes with hit counts and accumulated time. The application creates
// one and makes it active; it reports to the trace log when destroyed (nothing when no scope
// was ever opened).
#pragma once

#include <cstdint>

#include "foundation/high_res_timer.h"

class Profiler {
public:
    static constexpr int kEntries = 5000;

    struct Entry {
        const char* name;  // null while the entry is free
        const char* file;
        int line;
        int hits;
        int depth;
        uint64_t ticks;
    };

    Profiler();
    ~Profiler();
    Profiler(const Profiler&) = delete;
    Profiler& operator=(const Profiler&) = delete;

    void Reset();   // running again; counts and times cleared, names kept
    void Report();  // to the trace log; stops the run
    int64_t Now() const { return m_timer.Now(); }
    bool IsRunning() const { return m_running != 0; }

    // The entry for a scope, claimed on first use; -1 when the table is full.
    int Lookup(int line, const char* file, const char* name);
    Entry& At(int index) { return m_entries[index]; }

private:
    Entry m_entries[kEntries];
    int m_running;
    int64_t m_runStart;
    HighResTimer m_timer;
};

// The profiler that ProfilerScope reports to; null when none is active.
Profiler* GetActiveProfiler();
void SetActiveProfiler(Profiler* profiler);

class ProfilerScope {
public:
    ProfilerScope(int line, const char* file, const char* name);
    ~ProfilerScope();
    ProfilerScope(const ProfilerScope&) = delete;
    ProfilerScope& operator=(const ProfilerScope&) = delete;

private:
    Profiler* m_profiler;
    int m_entry;
    int64_t m_start;
};
