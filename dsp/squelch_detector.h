// Common base of the analogue squelch detectors (voice activity, CTCSS, DCS), so that the
// plug-in can own them through one pointer type.
#pragma once

class CSquelchDetector {
public:
    CSquelchDetector() = default;
    CSquelchDetector(const CSquelchDetector&) = delete;
    CSquelchDetector& operator=(const CSquelchDetector&) = delete;
    virtual ~CSquelchDetector() = default;
};
