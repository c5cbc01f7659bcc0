// Every entry point another party calls (the exports, the receiver's IF callback, the
// window's events) runs its body through CallGuarded: nothing unwinds into the host, the
// receiver library or the system; a failure leaves a trace line and the documented value.
#pragma once

#include "foundation/trace.h"

template <typename R, typename Body>
R CallGuarded(const char* where, R failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        TraceLog("%s: exception caught, returning its failure value", where);
        return failure;
    }
}

template <typename Body>
void CallGuarded(const char* where, Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        TraceLog("%s: exception caught", where);
    }
}
