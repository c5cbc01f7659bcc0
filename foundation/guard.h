// The boundary rule: nothing unwinds into the host or the system. Every function that another
// party calls (the DLL's exports, window and thread procedures, the receiver's callbacks) runs
// its body through Guarded, which catches everything, writes one trace line naming the entry
// point and returns the entry point's documented failure value.
//
//   return Guarded("ApcoInit", 0, [&] { return plugin->Init(); });
//   return GuardedOr("WindowProc", [&] { ... }, [&] { return DefWindowProcA(h, m, w, l); });
#pragma once

#include <exception>

// Writes "<where>: exception caught (<what>)" to the trace log.
void TraceEscapedException(const char* where, const char* what) noexcept;

// Runs body; on an exception traces it and returns fallback()'s result instead.
template <typename Body, typename Fallback>
auto GuardedOr(const char* where, Body&& body, Fallback&& fallback) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (const std::exception& e) {
        TraceEscapedException(where, e.what());
    } catch (...) {
        TraceEscapedException(where, "unknown");
    }
    return fallback();
}

// Runs body; on an exception traces it and returns failure (nothing for a void body).
template <typename Body, typename Result>
auto Guarded(const char* where, Result failure, Body&& body) noexcept -> decltype(body()) {
    return GuardedOr(where, static_cast<Body&&>(body),
                     [&]() -> decltype(body()) { return static_cast<decltype(body())>(failure); });
}

template <typename Body>
void Guarded(const char* where, Body&& body) noexcept {
    GuardedOr(where, static_cast<Body&&>(body), [] {});
}
