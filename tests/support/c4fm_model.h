// Test-side model of the C4FM symbol demodulator, written from its description in double
// precision and plain per-sample loops: table oscillator, the two branch low-pass filters
// (the system's FIR filter objects), phase-step discriminator, DC trackers, sync matched filter
// with the AFC (every peak in a block whose window slices to the frame sync corrects the
// block-start frequency; the latest wins, the mixer takes it from the next block, the slicer
// and clock from the sync's end, and the history is carried as if mixed at it), zero-crossing
// symbol clock placed by such a sync when 3 samples or more off, and the 0.165 rad slicer.
// Tests compare the demodulator's text with this model's.
#pragma once

#include <string>
#include <vector>

class CFirFilter;

namespace c4fmtest {

class C4fmModel {
public:
    C4fmModel();
    ~C4fmModel();
    C4fmModel(const C4fmModel&) = delete;
    C4fmModel& operator=(const C4fmModel&) = delete;

    // The symbols of one block as DibitString text.
    std::string Process(const float* x, int n);
    double Oscillator() const { return m_osc; }

private:
    static int Slice(double s);

    static constexpr int kRate = 48000, kCentre = 12000, kWindow = 240, kRing = 11;
    static constexpr double kSps = 10.0;
    std::vector<double> m_table, m_taps, m_delay, m_history, m_ring;
    CFirFilter* m_filterA;
    CFirFilter* m_filterB;
    double m_osc = kCentre;
    unsigned m_phase = 0;
    double m_prevA = 0, m_prevB = 0, m_dc1 = 0, m_dc2 = 0, m_negative = 0, m_carried[2] = {0, 0};
    int m_delayPos = 0, m_ringPos = 0, m_pending = -1, m_crossingClass = 0;
    double m_crossingPhase = 0, m_prev = 0, m_clock = 0;
};

}  // namespace c4fmtest
