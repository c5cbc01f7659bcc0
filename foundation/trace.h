// Tracing.
//
// Trace is the call that methods make on entry and exit ("... - zaciatok (thread=%d)\n",
// "... - koniec (thread=%d)\n"); it deliberately produces no output.
//
// TraceLog writes a line to the application's trace log. The foundation knows no log of its
// own: the toolkit's Application installs a sink; until then lines are dropped.
#pragma once

#include <cstdint>

constexpr uint32_t kTraceLevel = 0x80000000u;

void Trace(uint32_t level, const char* format, ...);

using TraceSink = void (*)(const char* line);
void SetTraceSink(TraceSink sink);  // null removes the sink
void TraceLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
