#include "tests/support/c4fm_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "dsp/dsp_math.h"
#include "dsp/fft_window.h"
#include "dsp/fir_filter.h"

namespace c4fmtest {

namespace {
const char kSyncText[] = "111113113311333313133333";
}

C4fmModel::C4fmModel() : m_filterA(CreateFirFilter()), m_filterB(CreateFirFilter()) {
    m_table.resize(kRate);
    for (int k = 0; k < kRate; ++k) m_table[k] = std::sin(2 * kPi * k / kRate);
    for (CFirFilter* f : {m_filterA, m_filterB}) {
        f->SetTaps(16);
        f->SetSampleRate(kRate);
        f->SetType(kFilterLowPass);
        f->SetWindow(kWindowHanning);
        f->SetFrequency(6250);
    }
    // +1 for a +3 sync symbol, -1 for a -3, ten samples each, in the order sent.
    for (int k = 0; k < kWindow; ++k) m_taps.push_back(kSyncText[k / 10] == '1' ? 1.0 : -1.0);
    m_delay.assign(kWindow, 0.0);
    m_history.assign(kWindow, 0.0);
    m_ring.assign(kRing, 0.0);
}

C4fmModel::~C4fmModel() {
    delete m_filterA;
    delete m_filterB;
}

int C4fmModel::Slice(double s) {
    if (s > 0.165) return 1;
    if (s >= 0) return 0;
    if (s > -0.165) return 2;
    return 3;
}

std::string C4fmModel::Process(const float* x, int n) {
    std::vector<float> a(n), b(n);
    const unsigned step = static_cast<unsigned>(std::trunc(m_osc));
    for (int i = 0; i < n; ++i) {
        a[i] = static_cast<float>(x[i] * m_table[(m_phase + kRate / 4) % kRate]);
        b[i] = static_cast<float>(x[i] * m_table[m_phase]);
        m_phase = (m_phase + step) % kRate;
    }
    m_filterA->ProcessPrecise(a.data(), n);
    m_filterB->ProcessPrecise(b.data(), n);

    // d: the steps of this block; all: the W earlier steps, then d; y: matched-filter outputs,
    // two carried from the last block first.
    std::vector<double> d(n), all(m_history), y(n + 2);
    y[0] = m_carried[0];
    y[1] = m_carried[1];
    for (int i = 0; i < n; ++i) {
        const double power = double(a[i]) * a[i] + double(b[i]) * b[i];
        d[i] = power == 0 ? 0 : std::atan2(m_prevB * a[i] - m_prevA * b[i], power);
        m_prevA = a[i];
        m_prevB = b[i];
        m_dc1 = 0.001 * d[i] + 0.999 * m_dc1;
        m_dc2 = 0.001 * m_dc1 + 0.999 * m_dc2;
        all.push_back(d[i]);
        m_delay[m_delayPos] = d[i] - m_dc2;
        m_delayPos = (m_delayPos + 1) % kWindow;
        double match = 0;
        for (int k = 0; k < kWindow; ++k) match += m_taps[k] * m_delay[(m_delayPos + k) % kWindow];
        y[i + 2] = match;
    }

    const double start = m_osc;
    // The discriminator step of a move from the block's mixer frequency (whole Hz) to hz.
    auto stepOf = [start](double hz) { return (std::trunc(hz) - std::trunc(start)) * 2 * kPi / kRate; };
    std::vector<int> syncs;      // samples of this block before which a checked sync's window ended
    std::vector<double> shifts;  // and the step its correction takes out from there on
    for (int i = 1; i <= n; ++i) {
        if (y[i] < 0) m_negative = m_negative == 0 ? y[i] : 0.0002 * y[i] + 0.9998 * m_negative;
        if (y[i] > y[i - 1] && y[i] > y[i + 1] && y[i] > -3 * m_negative) {
            // y[i] is the match ending with step i - 2 of this block: all[kWindow + i - 2].
            double sum = 0;
            for (int k = i - 1; k <= i + kWindow - 2; ++k) sum += all[k];
            const double offset = (sum + 4.3) * 32.9;
            // Sync symbol j at its centre, sample 10 j + 4 of the window, the offset taken out.
            int total = 0, largest = 0;
            for (int j = 0; j < 24; ++j) {
                const double s = all[i - 1 + 10 * j + 4] - offset * 2 * kPi / kRate;
                const int difference = std::abs('0' + Slice(s) - kSyncText[j]);
                total += difference;
                largest = std::max(largest, difference);
            }
            if (total >= 11 || largest >= 2) continue;
            syncs.push_back(i - 1);
            m_osc = std::clamp(start + offset, kCentre - 4000.0, kCentre + 4000.0);
            shifts.push_back(stepOf(m_osc));
        }
    }
    m_carried[0] = y[n];
    m_carried[1] = y[n + 1];
    // The next block measures against the oscillator as it now stands: the history as if mixed
    // at that frequency.
    m_history.assign(all.end() - kWindow, all.end());
    for (double& h : m_history) h -= stepOf(m_osc);

    std::string text;
    double shift = 0;
    for (int i = 0; i < n; ++i) {
        for (size_t k = 0; k < syncs.size(); ++k) {
            if (syncs[k] != i) continue;
            // At a sync the clock should stand 5 samples past the last symbol's centre; 3 or
            // more away (on the circle of 10) it is put there. From here on the symbols are
            // sliced at the corrected frequency.
            if (std::fabs(std::remainder(m_clock - 5.0, kSps)) >= 3) m_clock = 5.0;
            shift = shifts[k];
        }
        const double s = d[i] - shift;
        m_ring[m_ringPos] = s;
        m_ringPos = (m_ringPos + 1) % kRing;
        if (s * m_prev < 0) {
            m_crossingPhase = m_clock;
            m_crossingClass = Slice(m_ring[(m_ringPos + kRing - 5) % kRing]);  // 4 samples before s
            m_pending = i + 5;
        }
        m_prev = s;
        if (i == m_pending) {
            m_pending = -1;
            if (Slice(s) == (m_crossingClass + 2) % 4) m_clock += (0.5 * kSps - m_crossingPhase) * 0.01;
        }
        m_clock += 1;
        if (m_clock >= kSps) {
            m_clock -= kSps;
            text += static_cast<char>('0' + Slice(s));
        }
    }
    if (m_pending > 0) m_pending -= n;
    return text;
}

}  // namespace c4fmtest
