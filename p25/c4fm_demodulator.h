// C4FM symbol demodulator: the receiver's real IF stream (48000 samples/s, P25 signal at
// 12000 Hz) to P25 symbols at 4800/s, written as DibitString text: "0" +1, "1" +3, "2" -1,
// "3" -3, NUL-terminated.
//
// Mixing with a table oscillator, two low-pass branch filters, a phase-difference
// discriminator, frequency tracking from the frame-sync pattern (AFC), symbol timing from
// zero crossings and a fixed-threshold slicer. Only a matched-filter peak whose window slices
// to the frame sync moves the oscillator, and such a sync places a clock that stands far off.
// The oscillator moves at the next block; the symbols after the sync's end are sliced with
// the correction taken out of the discriminator output already, so a frame right after a sync
// (the header's NID) and, at large blocks, the frames behind it are not lost while the block
// runs on at the old frequency.
// The slicer threshold is in radians per sample, so the demodulator is made for 48000 samples/s. Blocks of any size form one continuous
// stream. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/fir_filter.h"
#include "dsp/table_oscillator.h"
#include "foundation/scratch_buffer.h"
#include "p25/fir_tap_filter.h"
#include "p25/frame_sync.h"

class CC4fmDemodulator {
public:
    CC4fmDemodulator();
    CC4fmDemodulator(const CC4fmDemodulator&) = delete;
    CC4fmDemodulator& operator=(const CC4fmDemodulator&) = delete;

    // Rates that would build tables beyond reason are refused: at most kMaxSampleRate samples
    // per second (the oscillator table holds one entry per Hz) and kMaxSamplesPerSymbol samples
    // per symbol (the sync window holds 24 symbols of samples).
    static constexpr uint32_t kMaxSampleRate = 1000000;
    static constexpr float kMaxSamplesPerSymbol = 1000.0f;

    // Input rate in Hz; 0 and refused rates are ignored (the old one stays). A rate too low to
    // hold a sync window (below 200 Hz) or an oscillator table makes Process fail with -1.
    void SetSampleRate(uint32_t hz);
    uint32_t GetSampleRate() const { return m_sampleRate; }
    // IF centre in Hz; also recentres the oscillator.
    void SetCenterFrequency(uint32_t hz);
    uint32_t GetCenterFrequency() const { return static_cast<uint32_t>(m_centerHz); }
    // Symbols per second; values <= 0, NaN and refused rates are ignored.
    void SetSymbolRate(float symbolsPerSecond);
    float GetSymbolRate() const { return m_symbolRate; }
    // Restarts the oscillator and the symbol clock, recentres the AFC, clears the filters.
    void Reset();
    // Designs the branch filters before streaming starts (Process does it otherwise).
    void EnsureFilters();

    // Number of symbols produced (>= 0; then in GetSymbols), or -1 for null input, count < 1
    // or no memory. A call that produces nothing leaves the previous text in place.
    int Process(const float* samples, int count);
    const char* GetSymbols() const { return m_symbols.GetData(); }
    // The sync window's history: the last 24 symbols of discriminator outputs (radians per
    // sample, 240 values at 48000 samples/s), oldest first, as measured against the oscillator
    // as it now stands. Null before the first block.
    const float* GetSyncHistory() const { return m_syncHistory.GetData(); }
    // The oscillator frequency the AFC has settled on, Hz.
    double GetOscillatorFrequency() const { return m_oscillatorHz; }

    static int Slice(float s);  // symbol class 0..3 of a discriminator output

private:
    bool AcceptsRates(uint32_t sampleRate, float symbolRate) const;
    void EnsureFilterSettings();
    bool EnsureSyncFilter();
    bool EnsureOscillatorTable();
    bool EnsureTiming();
    // The AFC over the block's matched-filter outputs y[0 .. n+1] and the discriminator outputs
    // e[0 .. W+n-1] (history first): moves the oscillator and marks in `syncs` the samples before
    // which a checked sync ended, with in `shifts` the discriminator step (radians per sample)
    // that the oscillator's move from the block-start frequency takes out. Returns the number of
    // marks.
    int TrackFrequency(const float* e, const float* y, int n, int* syncs, float* shifts);
    // Symbol clock and slicer over the block's discriminator outputs d[0 .. n-1], each mark's
    // shift taken out from the mark on; returns the number of symbols written.
    int RecoverSymbols(const float* d, int n, const int* syncs, const float* shifts, int syncCount);
    // The discriminator step of `hz` against the block's mixer at `blockStartHz` (both as the
    // mixer uses them: whole Hz).
    float StepOf(double hz, double blockStartHz) const;
    void PlaceClockAtSync();
    // The sync window's symbols, each at its centre with `offset` (radians per sample) taken
    // out, match the frame sync within the frame decoder's search tolerance.
    bool IsFrameSync(const float* window, double offset) const;

    // configuration
    bool m_syncFilterReady = false;
    bool m_tableReady = false;
    bool m_filtersConfigured = false;
    uint32_t m_sampleRate = 48000;
    int32_t m_centerHz = 12000;
    float m_symbolRate = 4800.0f;
    float m_samplesPerSymbol = 10.0f;
    int m_syncLength = 240;                     // W: 24 symbols of samples
    int m_syncCentres[kFrameSyncSymbols] = {};  // each sync symbol's centre sample in the window
    float m_syncClockPhase = 5.0f;              // the clock phase a sync implies after its window's end

    // running state carried between calls
    double m_oscillatorHz = 12000.0;
    TableOscillator m_oscillator;
    PhaseDiscriminator m_discriminator;
    float m_negativeLevel = 0.0f;
    float m_dc1 = 0.0f, m_dc2 = 0.0f;
    float m_carriedMatched[2] = {0.0f, 0.0f};
    bool m_historyReady = false;
    int m_ringIndex = 0;
    int m_ringLength = 0;
    float m_crossingPhase = 0.0f;
    float m_prevSample = 0.0f;
    int m_pendingCheck = -1;
    int m_crossingClass = 0;
    float m_clockPhase = 0.0f;

    ScratchBuffer<char> m_symbols;
    FirTapFilter m_syncFilter;
    ScratchBuffer<float> m_branchA, m_branchB;
    ScratchBuffer<float> m_steps;    // discriminator outputs: the W history values, then the block
    ScratchBuffer<float> m_matched;  // two carried values, then the block
    ScratchBuffer<float> m_syncHistory;
    ScratchBuffer<float> m_ring;
    ScratchBuffer<int> m_syncMarks;     // samples of this block before which a checked sync ended
    ScratchBuffer<float> m_syncShifts;  // and the step each one's correction takes out
    std::unique_ptr<CFirFilter> m_filterA;
    std::unique_ptr<CFirFilter> m_filterB;
};
