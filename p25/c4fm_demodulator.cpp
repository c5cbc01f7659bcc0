#include "p25/c4fm_demodulator.h"

#include <cstring>
#include <initializer_list>

#include "dsp/dsp_math.h"
#include "dsp/fft_window.h"

namespace {

constexpr int kBranchTaps = 16;
constexpr float kBranchCutoffHz = 6250.0f;
// Between the +1 and +3 deviations (600 and 1800 Hz are 0.0785 and 0.2356 rad per sample at
// 48 kHz).
constexpr float kSlicerThreshold = 0.165f;
// DC trackers of the discriminator output, and the negative-level tracker of the sync match.
constexpr float kDcRate = 0.001f;
constexpr float kNegativeRate = 0.0002f;
// A sync peak stands above three times the mean negative level of the match; the symbol
// pattern check behind it is what keeps noise and data out.
constexpr float kPeakFactor = -3.0f;
// The frame decoder's own sync search tolerance: summed code differences below 11, none of 2.
constexpr int kSyncMaxSum = 11;
constexpr int kSyncMaxSingle = 2;
// At a checked sync a clock this many samples or more from where the sync puts it is moved
// there; nearer, the loop alone steers it.
constexpr float kClockPlaceDistance = 3.0f;
// The sync pattern sums to about -4.3 rad with the carrier centred; each Hz of offset adds
// W * 2 pi / rate rad (0.0314 at 48 kHz). 32.9 Hz per rad, which turns that back into Hz, is
// the design's own figure, kept as it stands (the exact inverse would be 31.8 at 48 kHz).
constexpr double kSyncSumAtCentre = 4.3;
constexpr double kHzPerRadian = 32.9;
constexpr double kAfcRangeHz = 4000.0;
// Clock loop gain per verified symmetric crossing.
constexpr float kClockGain = 0.01f;

}  // namespace

// ---- CC4fmDemodulator ------------------------------------------------------------------------

CC4fmDemodulator::CC4fmDemodulator() : m_filterA(CreateFirFilter()), m_filterB(CreateFirFilter()) { Reset(); }

bool CC4fmDemodulator::AcceptsRates(uint32_t sampleRate, float symbolRate) const {
    return sampleRate > 0 && sampleRate <= kMaxSampleRate && symbolRate > 0.0f &&
           static_cast<float>(sampleRate) / symbolRate <= kMaxSamplesPerSymbol;
}

void CC4fmDemodulator::SetSampleRate(uint32_t hz) {
    if (hz == m_sampleRate || !AcceptsRates(hz, m_symbolRate)) return;
    m_sampleRate = hz;
    m_tableReady = false;
    m_filtersConfigured = false;
    m_syncFilterReady = false;
    m_historyReady = false;
    m_samplesPerSymbol = static_cast<float>(hz) / m_symbolRate;
}

void CC4fmDemodulator::SetCenterFrequency(uint32_t hz) {
    if (static_cast<int32_t>(hz) == m_centerHz) return;
    m_centerHz = static_cast<int32_t>(hz);
    m_oscillatorHz = m_centerHz;
}

void CC4fmDemodulator::SetSymbolRate(float symbolsPerSecond) {
    if (symbolsPerSecond == m_symbolRate || !AcceptsRates(m_sampleRate, symbolsPerSecond)) return;
    m_symbolRate = symbolsPerSecond;
    m_samplesPerSymbol = static_cast<float>(m_sampleRate) / m_symbolRate;
    m_syncFilterReady = false;
    m_historyReady = false;
}

void CC4fmDemodulator::Reset() {
    m_oscillator.Restart();
    m_discriminator.Reset();
    m_clockPhase = 0.0f;
    if (m_filterA) m_filterA->Reset();
    if (m_filterB) m_filterB->Reset();
    m_oscillatorHz = m_centerHz;
}

void CC4fmDemodulator::EnsureFilterSettings() {
    if (m_filtersConfigured) return;
    for (CFirFilter* f : {m_filterA.get(), m_filterB.get()}) {
        f->SetTaps(kBranchTaps);
        f->SetSampleRate(static_cast<float>(m_sampleRate));
        f->SetType(kFilterLowPass);
        f->SetWindow(kWindowHanning);
        f->SetFrequency(kBranchCutoffHz);
    }
    m_filtersConfigured = true;
}

void CC4fmDemodulator::EnsureFilters() {
    if (m_filtersConfigured || !m_filterA || !m_filterB) return;
    EnsureFilterSettings();
    float zero = 0.0f;
    m_filterA->ProcessPrecise(&zero, 1);
    zero = 0.0f;
    m_filterB->ProcessPrecise(&zero, 1);
}

bool CC4fmDemodulator::EnsureSyncFilter() {
    if (m_syncFilterReady) return true;
    const int w = static_cast<int>(kFrameSyncSymbols * m_samplesPerSymbol);
    if (w <= 0) return false;
    ScratchBuffer<float> taps;
    float* t = taps.Reserve(w);
    if (!t) return false;
    float c = 0.0f;
    int j = 0;
    for (int k = 0; k < w; ++k) {
        t[k] = kFrameSyncPattern[j] == '1' ? 1.0f : -1.0f;
        c += 1.0f;
        if (c >= m_samplesPerSymbol) {
            c -= m_samplesPerSymbol;
            // Float rounding can carry the count one step past the last symbol.
            if (j < kFrameSyncSymbols - 1) ++j;
        }
    }
    if (m_syncFilter.SetTaps(t, w) != 0) return false;
    m_syncLength = w;
    for (int k = 0; k < kFrameSyncSymbols; ++k) {
        // The middle of the symbol's samples (4 of 0..9 at 10 samples per symbol).
        const int centre = static_cast<int>(k * m_samplesPerSymbol + 0.5f * (m_samplesPerSymbol - 1.0f));
        m_syncCentres[k] = centre < 0 ? 0 : centre < w ? centre : w - 1;
    }
    // A locked clock emits at a symbol's centre sample, its phase wrapping to about 0 there, so
    // after the window's last sample it stands that many samples past the last centre.
    m_syncClockPhase = static_cast<float>(w - 1 - m_syncCentres[kFrameSyncSymbols - 1]);
    if (m_syncClockPhase >= m_samplesPerSymbol) m_syncClockPhase = 0.5f * m_samplesPerSymbol;
    if (!m_syncHistory.Reserve(w)) return false;
    std::memset(m_syncHistory.GetData(), 0, sizeof(float) * w);
    m_syncFilterReady = true;
    return true;
}

bool CC4fmDemodulator::EnsureOscillatorTable() {
    if (!m_tableReady) m_tableReady = m_oscillator.Build(m_sampleRate);
    return m_tableReady;
}

bool CC4fmDemodulator::EnsureTiming() {
    if (m_historyReady) return true;
    const int length = static_cast<int>(m_samplesPerSymbol + 1.0f);
    float* ring = m_ring.Reserve(length);
    if (!ring) return false;
    std::memset(ring, 0, sizeof(float) * length);
    m_ringLength = length;
    m_ringIndex = 0;
    m_historyReady = true;
    return true;
}

int CC4fmDemodulator::Slice(float s) {
    if (s > kSlicerThreshold) return 1;
    if (s >= 0.0f) return 0;
    if (s > -kSlicerThreshold) return 2;
    return 3;
}

bool CC4fmDemodulator::IsFrameSync(const float* window, double offset) const {
    int sum = 0;
    for (int k = 0; k < kFrameSyncSymbols; ++k) {
        const int symbolClass = Slice(static_cast<float>(window[m_syncCentres[k]] - offset));
        int difference = '0' + symbolClass - kFrameSyncPattern[k];
        if (difference < 0) difference = -difference;
        if (difference >= kSyncMaxSingle) return false;
        sum += difference;
    }
    return sum < kSyncMaxSum;
}

int CC4fmDemodulator::Process(const float* samples, int count) {
    if (!samples || count < 1 || !m_filterA || !m_filterB) return -1;
    EnsureFilterSettings();
    if (!EnsureSyncFilter()) return -1;
    if (!EnsureOscillatorTable() || !EnsureTiming()) return -1;
    // Room for the block's whole text before any input is consumed (the clock emits at most one
    // symbol per sample, then the NUL): a symbol that found no room would be lost unreported.
    const bool firstText = !m_symbols.GetData();
    if (!m_symbols.Grow(static_cast<size_t>(count) + 1)) return -1;
    if (firstText) m_symbols.GetData()[0] = '\0';
    const int n = count, w = m_syncLength;
    float* a = m_branchA.Reserve(n);
    float* b = m_branchB.Reserve(n);
    float* e = m_steps.Reserve(static_cast<size_t>(w) + n);
    float* y = m_matched.Reserve(static_cast<size_t>(n) + 2);
    int* syncs = m_syncMarks.Reserve(n);
    float* shifts = m_syncShifts.Reserve(n);
    if (!a || !b || !e || !y || !syncs || !shifts) return -1;
    // A branch filter without its design or delay line would pass its branch unfiltered.
    if (!m_filterA->EnsureReady(n) || !m_filterB->EnsureReady(n)) return -1;
    float* d = e + w;

    // 1. Mixing; the step is the oscillator frequency truncated to whole Hz.
    m_oscillator.Mix(samples, a, b, n, static_cast<int64_t>(m_oscillatorHz));

    // 2. Branch filters.
    m_filterA->ProcessPrecise(a, n);
    m_filterB->ProcessPrecise(b, n);

    // 3.-4. Discriminator (phase step per sample) and two cascaded DC trackers.
    std::memcpy(e, m_syncHistory.GetData(), sizeof(float) * w);
    float m1 = m_dc1, m2 = m_dc2;
    y[0] = m_carriedMatched[0];
    y[1] = m_carriedMatched[1];
    for (int i = 0; i < n; ++i) {
        d[i] = m_discriminator.Step(a[i], b[i]);
        m1 = kDcRate * d[i] + (1.0f - kDcRate) * m1;
        m2 = kDcRate * m1 + (1.0f - kDcRate) * m2;
        y[i + 2] = d[i] - m2;
    }
    m_dc1 = m1;
    m_dc2 = m2;

    // 5. Sync matched filter.
    if (m_syncFilter.Process(y + 2, n) != 0) return -1;

    // 6. AFC.
    const double blockStartHz = m_oscillatorHz;
    const int syncCount = TrackFrequency(e, y, n, syncs, shifts);

    // 7. Carry the last two matched outputs and the last W discriminator outputs. The next
    // block's peaks are measured against the oscillator as it now stands, so the history is
    // carried as if it had been mixed at that frequency: a sync that straddles the block
    // boundary is then measured as one whole.
    m_carriedMatched[0] = y[n];
    m_carriedMatched[1] = y[n + 1];
    float* history = m_syncHistory.GetData();
    const float moved = StepOf(m_oscillatorHz, blockStartHz);
    for (int k = 0; k < w; ++k) history[k] = e[n + k] - moved;

    // 8. Symbol timing and slicing.
    return RecoverSymbols(d, n, syncs, shifts, syncCount);
}

float CC4fmDemodulator::StepOf(double hz, double blockStartHz) const {
    const double wholeHz = static_cast<double>(static_cast<int64_t>(hz) - static_cast<int64_t>(blockStartHz));
    return static_cast<float>(wholeHz * 2.0 * kPi / m_sampleRate);
}

// Every peak in this block is measured against the block-start oscillator, so the latest peak's
// correction replaces an earlier one instead of adding to it. A peak counts only when its window
// slices to the frame sync once the offset it measures is taken out: peaks of noise and of data
// would walk the oscillator off.
int CC4fmDemodulator::TrackFrequency(const float* e, const float* y, int n, int* syncs, float* shifts) {
    const int w = m_syncLength;
    const double blockStartHz = m_oscillatorHz;
    const double radiansPerHz = 2.0 * kPi / m_sampleRate;
    float v = m_negativeLevel;
    int syncCount = 0;
    for (int i = 1; i <= n; ++i) {
        if (y[i] < 0.0f) v = v == 0.0f ? y[i] : kNegativeRate * y[i] + (1.0f - kNegativeRate) * v;
        if (y[i] > y[i - 1] && y[i] > y[i + 1] && y[i] > kPeakFactor * v) {
            // The W discriminator outputs ending with d[i - 2] are e[i - 1 .. i + w - 2].
            double sum = 0.0;
            for (int k = i - 1; k < i - 1 + w; ++k) sum += e[k];
            const double offsetHz = (sum + kSyncSumAtCentre) * kHzPerRadian;
            if (!IsFrameSync(e + i - 1, offsetHz * radiansPerHz)) continue;
            double hz = blockStartHz + offsetHz;
            if (hz < m_centerHz - kAfcRangeHz) hz = m_centerHz - kAfcRangeHz;
            if (hz > m_centerHz + kAfcRangeHz) hz = m_centerHz + kAfcRangeHz;
            m_oscillatorHz = hz;
            // The clock is checked, and the correction starts, before sample i - 1, right after
            // the window's last one.
            syncs[syncCount] = i - 1;
            shifts[syncCount++] = StepOf(hz, blockStartHz);
        }
    }
    m_negativeLevel = v;
    return syncCount;
}

// A clock far from where a checked sync puts it (say locked half a symbol off, where its
// corrections cancel) is placed there; a nearby one is left to the loop.
void CC4fmDemodulator::PlaceClockAtSync() {
    const float sps = m_samplesPerSymbol;
    float off = m_clockPhase - m_syncClockPhase;
    if (off >= 0.5f * sps) off -= sps;
    if (off < -0.5f * sps) off += sps;
    if (off >= kClockPlaceDistance || off <= -kClockPlaceDistance) m_clockPhase = m_syncClockPhase;
}

int CC4fmDemodulator::RecoverSymbols(const float* d, int n, const int* syncs, const float* shifts, int syncCount) {
    float* ring = m_ring.GetData();
    const int length = m_ringLength;
    const float sps = m_samplesPerSymbol;
    char* text = m_symbols.GetData();
    int written = 0;
    int nextSync = 0;
    float shift = 0.0f;  // what the oscillator's move since the block start takes out
    for (int i = 0; i < n; ++i) {
        for (; nextSync < syncCount && syncs[nextSync] == i; ++nextSync) {
            PlaceClockAtSync();
            shift = shifts[nextSync];
        }
        const float s = d[i] - shift;
        ring[m_ringIndex] = s;
        m_ringIndex = (m_ringIndex + 1) % length;
        if (s * m_prevSample < 0.0f) {
            m_crossingPhase = m_clockPhase;
            int index = static_cast<int>((m_ringIndex + length) - 0.5f * sps) % length;
            m_crossingClass = Slice(ring[index]);
            m_pendingCheck = static_cast<int>(i + 0.5f * sps);
        }
        m_prevSample = s;
        if (i == m_pendingCheck) {
            m_pendingCheck = -1;
            // A symmetric transition (+1 to -1, +3 to -3 or back) crosses zero mid-symbol.
            if (Slice(s) == (m_crossingClass + 2) % 4) m_clockPhase += (0.5f * sps - m_crossingPhase) * kClockGain;
        }
        m_clockPhase += 1.0f;
        if (m_clockPhase >= sps) {
            m_clockPhase -= sps;
            text[written++] = static_cast<char>('0' + Slice(s));
            text[written] = '\0';
        }
    }
    if (m_pendingCheck > 0) m_pendingCheck -= n;
    return written;
}
