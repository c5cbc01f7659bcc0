#include "p25/trellis_decoder.h"

#include <cstring>

#include "foundation/bit_codes.h"

namespace {

// The nibble (two dibits) sent for each state (the previous input dibit) and input dibit.
const unsigned char kExpected[4][4] = {
    {2, 12, 1, 15},
    {14, 0, 13, 3},
    {9, 7, 10, 4},
    {5, 11, 6, 8},
};

constexpr uint32_t kNoPath = 0xFFFFFFFFu;

}  // namespace

void CTrellisDecoder::Reset() {
    for (int p = 0; p < 4; ++p) {
        std::memset(m_paths[0][p].history, 0, kDelay);
        m_paths[0][p].metric = 0;
        std::memset(m_paths[1][p].history, 0, kDelay);
        m_paths[1][p].metric = kNoPath;
    }
    m_current = 0;
    m_errorTotal = 0;
    m_outputCount = 0;
}

unsigned CTrellisDecoder::Decode(const unsigned char* symbols, unsigned count) {
    Reset();
    if (!symbols) return 0;
    if (count > kMaxSymbols) count = kMaxSymbols;
    for (unsigned n = 0; n < count; ++n) {
        const unsigned r = symbols[n] & 15u;
        Path* cur = m_paths[m_current];
        Path* next = m_paths[1 - m_current];
        uint32_t best = kNoPath;
        int bestPath = 0;
        for (int p = 0; p < 4; ++p) {
            if (cur[p].metric == kNoPath) continue;
            const int state = cur[p].history[kDelay - 1];
            for (int j = 0; j < 4; ++j) {
                const uint32_t metric = cur[p].metric + BitCount(kExpected[state][j] ^ r);
                if (metric < next[j].metric) {
                    std::memcpy(next[j].history, cur[p].history + 1, kDelay - 1);
                    next[j].history[kDelay - 1] = static_cast<unsigned char>(j);
                    next[j].metric = metric;
                }
                if (metric < best) {
                    best = metric;
                    bestPath = p;
                }
            }
        }
        m_errorTotal += best;
        for (int j = 0; j < 4; ++j)
            if (next[j].metric != kNoPath) next[j].metric -= best;
        // The decision made kDelay symbols ago on the best path.
        if (n >= static_cast<unsigned>(kDelay)) m_output[m_outputCount++] = cur[bestPath].history[0];
        m_current = 1 - m_current;
        for (int j = 0; j < 4; ++j) m_paths[1 - m_current][j].metric = kNoPath;
    }
    // Flush: the newest decisions of the best surviving path, as many as are still owed.
    const Path* cur = m_paths[m_current];
    int best = 0;
    for (int p = 1; p < 4; ++p)
        if (cur[p].metric < cur[best].metric) best = p;
    const unsigned owed = count < static_cast<unsigned>(kDelay) ? count : static_cast<unsigned>(kDelay);
    for (unsigned i = kDelay - owed; i < static_cast<unsigned>(kDelay); ++i)
        m_output[m_outputCount++] = cur[best].history[i];
    return m_outputCount;
}

const unsigned char* CTrellisDecoder::GetOutput(unsigned* errors) const {
    if (errors) *errors = m_errorTotal;
    return m_output;
}
