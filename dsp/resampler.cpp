#include "dsp/resampler.h"

#include <cmath>
#include <cstring>
#include <mutex>

#include "dsp/dsp_math.h"

namespace {

int16_t g_resamplerTable[CResampler::kPhaseRows][CResampler::kTaps];
std::once_flag g_resamplerTableOnce;

void BuildTable() {
    for (int r = 0; r < CResampler::kPhaseRows; ++r) {
        const double x = (r - 1024) / 2048.0;
        double v[CResampler::kTaps];
        double sum = 0.0;
        for (int k = 0; k < CResampler::kTaps; ++k) {
            v[k] = CResampler::Kernel(k, x, 0.9, CResampler::kTaps, 2);
            sum += v[k];
        }
        for (int k = 0; k < CResampler::kTaps; ++k) {
            double q = std::floor(32768.0 * v[k] / sum + 0.5);
            // +1.0 does not fit a Q15 tap; no row of this design comes near it.
            if (q > 32767.0) q = 32767.0;
            if (q < -32768.0) q = -32768.0;
            g_resamplerTable[r][k] = static_cast<int16_t>(q);
        }
    }
}

}  // namespace

CResampler::CResampler() {
    std::call_once(g_resamplerTableOnce, BuildTable);
    SetRates(48000.0f, 16000.0f, 2048);
}

const int16_t* CResampler::TableRow(int r) {
    std::call_once(g_resamplerTableOnce, BuildTable);
    if (r < 0) r = 0;
    if (r >= kPhaseRows) r = kPhaseRows - 1;
    return g_resamplerTable[r];
}

double CResampler::Kernel(int k, double x, double cut, int n, int window) {
    const double t = k - x - (n - 1) / 2.0;
    if (std::fabs(t) < 1e-8) return cut;
    const double a = 2.0 * kPi * (k - x) / (n - 1);
    double w;
    switch (window) {
    case 0: w = 0.5 - 0.5 * std::cos(a); break;
    case 1: w = 0.54 - 0.46 * std::cos(a); break;
    case 2: w = BlackmanAt(a); break;
    case 3: w = 0.44959 - 0.49364 * std::cos(a) + 0.05677 * std::cos(2 * a); break;
    case 4: w = 0.42323 - 0.49755 * std::cos(a) + 0.07922 * std::cos(2 * a); break;
    case 5: w = 0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2 * a) - 0.01168 * std::cos(3 * a); break;
    case 6: w = 0.40217 - 0.49703 * std::cos(a) + 0.09392 * std::cos(2 * a) - 0.00183 * std::cos(3 * a); break;
    case 7: w = 0.40243 - 0.49804 * std::cos(a) + 0.09831 * std::cos(2 * a) - 0.00122 * std::cos(3 * a); break;
    default: w = 1.0; break;
    }
    return w * std::sin(cut * kPi * t) / (kPi * t);
}

int CResampler::SetRates(float inRate, float outRate, uint32_t block) {
    if (!(inRate > 0.0f) || !(outRate > 0.0f) || !std::isfinite(inRate) || !std::isfinite(outRate)) return 0;
    const double ratio = static_cast<double>(inRate) / outRate;
    // Below 1/256 the 16.16 step loses its precision; above 16384 the phase of one chunk
    // would overflow 32 bits.
    if (ratio < 1.0 / 256.0 || ratio > 16384.0) return 0;
    if (block == 0 || block > (1u << 20)) return 0;
    m_inRate = inRate;
    m_outRate = outRate;
    m_blockSize = block;
    m_step = static_cast<uint32_t>(ratio * 65536.0);
    m_input.Release();
    m_output.Release();
    EnsureBuffers(block);
    Reset();
    return 1;
}

void CResampler::Reset() {
    if (m_input.GetData()) std::memset(m_input.GetData(), 0, kHistory * sizeof(int16_t));
    m_phase = kStartPhase;
}

uint64_t CResampler::MaxOutput(uint32_t count) const {
    // Each chunk of c inputs gives at most ceil(c * 65536 / step) outputs.
    return (static_cast<uint64_t>(count) << 16) / m_step + count / kMaxChunk + 2;
}

bool CResampler::EnsureBuffers(uint32_t count) {
    const uint32_t chunk = count < kMaxChunk ? count : kMaxChunk;
    const bool hadInput = m_input.GetData() != nullptr;
    // Grow keeps the history at the front.
    if (!m_input.Grow(kHistory + chunk)) return false;
    if (!hadInput) std::memset(m_input.GetData(), 0, kHistory * sizeof(int16_t));
    const uint64_t outMax = MaxOutput(count);
    if (outMax * sizeof(int16_t) > 0x7FFFFFFFu) return false;
    return m_output.Reserve(static_cast<size_t>(outMax)) != nullptr;
}

const int16_t* CResampler::Process(const int16_t* block, uint32_t count, uint32_t* outCount) {
    if (outCount) *outCount = 0;
    if (!block && count) return nullptr;
    if (count != m_blockSize || !m_input.GetData() || !m_output.GetData()) {
        if (!EnsureBuffers(count)) return nullptr;
        m_blockSize = count;
    }
    int16_t* buf = m_input.GetData();
    int16_t* out = m_output.GetData();
    uint32_t produced = 0;
    while (count) {
        const uint32_t c = count < kMaxChunk ? count : kMaxChunk;
        std::memcpy(buf + kHistory, block, c * sizeof(int16_t));
        // Stop 8 positions before the end: the taps reach from i - 3 to i + 4.
        const uint32_t limit = (c + 8) << 16;
        while (m_phase < limit) {
            const uint32_t i = m_phase >> 16;
            const int16_t* row = g_resamplerTable[((m_phase & 0xFFFF) + 16) >> 5];
            const int16_t* x = buf + i - 3;
            const int32_t a = row[0] * x[0] + row[1] * x[1] + row[2] * x[2] + row[3] * x[3];
            const int32_t b = row[4] * x[4] + row[5] * x[5] + row[6] * x[6] + row[7] * x[7];
            // Halving each sum first keeps A + B inside 32 bits.
            out[produced++] = Saturate16(((a >> 1) + (b >> 1)) >> 14);
            m_phase += m_step;
        }
        std::memmove(buf, buf + c, kHistory * sizeof(int16_t));
        m_phase -= c << 16;
        block += c;
        count -= c;
    }
    if (outCount) *outCount = produced;
    return out;
}
