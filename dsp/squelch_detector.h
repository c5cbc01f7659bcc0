// Common base of the analogue squelch detectors (voice activity, CTCSS, DCS), so that the
// plug-in can own them through one pointer type.
//
// Threads: a detector holds no lock; it belongs to the stream thread that feeds it, and a
// setter called from another thread (the GUI) must be serialised by the owner. Shared tables
// (the DCS code words) are built once under std::call_once and only read afterwards.
#pragma once

class CSquelchDetector {
public:
    CSquelchDetector() = default;
    CSquelchDetector(const CSquelchDetector&) = delete;
    CSquelchDetector& operator=(const CSquelchDetector&) = delete;
    virtual ~CSquelchDetector() = default;
};
