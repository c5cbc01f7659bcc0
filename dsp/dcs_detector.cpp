#include "dsp/dcs_detector.h"

#include <cstring>
#include <mutex>

#include "dsp/bit_clock.h"
#include "dsp/rational_resampler.h"
#include "dsp/sinc_fir_filter.h"
#include "foundation/bit_codes.h"

const uint16_t DcsCodeTable[112] = {
    0006, 0007, 0015, 0017, 0021, 0023, 0025, 0026, 0031, 0032, 0036, 0043, 0047, 0050, 0051, 0053, 0054, 0065, 0071,
    0072, 0073, 0074, 0114, 0115, 0116, 0122, 0125, 0131, 0132, 0134, 0141, 0143, 0145, 0152, 0155, 0156, 0162, 0165,
    0172, 0174, 0205, 0212, 0214, 0223, 0225, 0226, 0243, 0244, 0245, 0246, 0251, 0252, 0255, 0261, 0263, 0265, 0266,
    0271, 0274, 0306, 0311, 0315, 0325, 0331, 0332, 0343, 0346, 0351, 0356, 0364, 0365, 0371, 0411, 0412, 0413, 0423,
    0431, 0432, 0445, 0446, 0452, 0454, 0455, 0462, 0464, 0465, 0466, 0503, 0506, 0516, 0523, 0526, 0532, 0546, 0565,
    0606, 0612, 0624, 0627, 0631, 0632, 0654, 0662, 0664, 0703, 0712, 0723, 0731, 0732, 0734, 0743, 0754,
};

namespace {

const float kAnalysisRateHz = 2688.0f;  // 20 samples per bit at 134.4 baud
const double kBaud = 134.4;
const int kResamplerTaps = 127;
const float kRateTolerance = 0.01f;
const uint32_t kWordMask = 0x7FFFFF;

uint32_t g_codewords[112];
std::once_flag g_codewordsOnce;

void BuildCodewords() {
    for (int i = 0; i < 112; ++i) {
        // A DCS word is a Golay (23,12) code word sent data first: the 9-bit code and the fixed
        // "100" in bits 11..0, the check bits in 22..12.
        const uint32_t d = DcsCodeTable[i] | 0x800u;
        g_codewords[i] = d | (Golay23Syndrome(d << 11) << 12);
    }
}

}  // namespace

const uint32_t* DcsCodewordTable() {
    std::call_once(g_codewordsOnce, BuildCodewords);
    return g_codewords;
}

CDcsDetector::CDcsDetector() {
    DcsCodewordTable();
    m_filter.reset(SincFirCreate(nullptr));
    if (m_filter &&
        (!SincFirSetUpperFrequency(m_filter.get(), 300.0f) ||
         !SincFirSetMode(m_filter.get(), SincFirFilter::kLowPass) || !SincFirSetLength(m_filter.get(), 255))) {
        m_filter.reset();
    }
    m_clock.reset(BitClockCreate(nullptr));
    if (m_clock.get()) {
        m_clock->callback = &CDcsDetector::BitThunk;
        m_clock->context = this;
        m_clock->baudRate = kBaud;
        m_clock->gain = 0.1;
        m_clock->secondGain = 0.0002;
    }
    m_resampler.reset(RationalResamplerCreate(nullptr));
    Reset();
    SetSampleRate(1000.0f);
}

void CDcsDetector::Reset() {
    RationalResamplerReset(m_resampler.get());
    SincFirReset(m_filter.get());
    BitClockReset(m_clock.get());
    m_foundCount = 0;
    m_register = 0;
}

int CDcsDetector::SetSampleRate(float rateHz) {
    if (!(rateHz >= 1000.0f) || !(rateHz <= 1e6f)) return 0;
    if (rateHz == m_inputRate) return 1;
    if (!m_resampler || !m_filter || !m_clock ||
        !RationalResamplerConfigure(m_resampler.get(), kResamplerTaps, rateHz, kAnalysisRateHz, kRateTolerance))
        return 0;
    if (!m_filtered.Reserve(RationalResamplerMaxOutput(m_resampler.get(), m_resampler->blockSize))) return 0;
    m_inputRate = rateHz;
    m_effectiveRate = static_cast<float>(static_cast<double>(rateHz) * m_resampler->L / m_resampler->M);
    SincFirSetSampleRate(m_filter.get(), m_effectiveRate);
    m_clock->sampleRate = m_effectiveRate;
    return 1;
}

void CDcsDetector::Process(const int16_t* samples, uint32_t count, uint32_t stride) {
    if (!samples || stride == 0 || !IsReady() || !m_effectiveRate) return;
    // One resampler block at a time: its output block then holds all of the block's outputs,
    // and m_filtered has room for them.
    const uint64_t piece = static_cast<uint64_t>(m_resampler->blockSize) * stride;
    for (uint64_t start = 0; start < count; start += piece) {
        const uint32_t n = static_cast<uint32_t>(count - start < piece ? count - start : piece);
        const uint32_t produced = RationalResamplerRun(m_resampler.get(), nullptr, samples + start, n, stride);
        const uint32_t filtered =
            SincFirRun(m_filter.get(), m_filtered.GetData(), m_resampler->output.GetData(), produced, 1, 1);
        BitClockRun(m_clock.get(), m_filtered.GetData(), filtered, 1);
    }
}

void CDcsDetector::BitThunk(void* context, BitClock*, int bitCount, int bit) {
    static_cast<CDcsDetector*>(context)->OnBit(bitCount, bit);
}

void CDcsDetector::OnBit(int bitCount, int bit) {
    const uint32_t* words = DcsCodewordTable();
    for (int b = 0; b < bitCount; ++b) {
        m_register = (m_register >> 1) | (static_cast<uint32_t>(bit & 1) << 22);
        bool matched = false;
        uint32_t w = m_register;
        for (int rotation = 0; rotation < 23; ++rotation) {
            const uint32_t inverted = w ^ kWordMask;
            for (int i = 0; i < kCodeCount; ++i) {
                int value;
                if (words[i] == w)
                    value = DcsCodeTable[i];
                else if (words[i] == inverted)
                    value = DcsCodeTable[i] + kInverted;
                else
                    continue;
                if (!matched) {
                    m_foundCount = 0;
                    matched = true;
                }
                bool known = false;
                for (int k = 0; k < m_foundCount; ++k) known = known || m_found[k] == value;
                if (!known && m_foundCount < kMaxFound) m_found[m_foundCount++] = value;
                break;
            }
            // Move bit 0 to bit 22; after 23 rotations the register is as before.
            w = (w >> 1) | ((w & 1u) << 22);
        }
    }
}
