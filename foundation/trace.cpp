#include "foundation/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

void Trace(uint32_t, const char*, ...) {}

static std::atomic<TraceSink> g_sink{nullptr};

void SetTraceSink(TraceSink sink) { g_sink.store(sink); }

void TraceLog(const char* format, ...) {
    TraceSink sink = g_sink.load();
    if (!sink) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    sink(line);
}
