#include "foundation/trace.h"

#include "foundation/guard.h"

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

void TraceEscapedException(const char* where, const char* what) noexcept {
    try {
        TraceLog("%s: exception caught (%s)", where ? where : "?", what ? what : "?");
    } catch (...) {
        // A sink that throws loses this line; the caller still returns its failure value.
    }
}
