// Rate-1/2 trellis (4-state Viterbi) decoder of the P25 trunking signalling blocks, with a
// decision delay of 10 symbols.
#pragma once

#include <cstdint>

class CTrellisDecoder {
public:
    static constexpr unsigned kMaxSymbols = 64;  // a trunking block has 49
    static constexpr int kDelay = 10;

    CTrellisDecoder() { Reset(); }

    void Reset();
    // symbols: received nibbles (first dibit * 4 + second), count of them. Decodes at most
    // kMaxSymbols; returns the number of dibits decided, one per nibble.
    unsigned Decode(const unsigned char* symbols, unsigned count);
    // The decided dibits of the last Decode and its error total (sum of the branch distances
    // along the chosen path).
    const unsigned char* GetOutput(unsigned* errors) const;

private:
    struct Path {
        unsigned char history[kDelay];  // decided dibits, newest last; the last is the state
        uint32_t metric;                // 0xFFFFFFFF: no path yet
    };
    Path m_paths[2][4];
    int m_current = 0;
    uint32_t m_errorTotal = 0;
    unsigned char m_output[kMaxSymbols];
    unsigned m_outputCount = 0;
};
