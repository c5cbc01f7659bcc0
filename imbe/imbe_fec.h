// Error correction of one IMBE frame: de-interleaving, Golay (23,12) and Hamming (15,11)
// decoding, pseudo-random demodulation and the error statistics that decide repeat and mute.
#pragma once

#include <cstdint>

struct ImbeDecoderState;

// Received bit 12*g + j goes to work position 2*g + d[j]: the work array then holds c0 .. c6
// (23, 23, 23, 23, 15, 15, 15 entries) and the 7 plain bits of u7, each most significant first.
extern const uint8_t kImbeInterleave[12];
void ImbeDeinterleave(const uint8_t* in, uint8_t* work);
// The inverse: work-array order (144 entries) back to transmission order. No decoding path
// calls it; it is the transmit side of ImbeDeinterleave. work and out must not overlap.
void ImbeInterleave(const uint8_t* work, uint8_t* out);

// Inverts entries of work whose step of the generator p = 173p + 13849 (mod 2^16), seeded with
// 16*u0, is at least 32768.
void ImbePnDemodulate(uint8_t* work, int count, uint16_t u0, int softBits);

// Cyclic Golay (23,12) with g(x) = 0xC75, information in bits 22 .. 11. Returns the corrected
// 23-bit word (at most three errors corrected; otherwise the word is returned unchanged or
// mis-corrected).
uint32_t ImbeGolayCorrect(uint32_t word);

// Hamming (15,11), information in bits 14 .. 4, parity bit i is word bit i.
uint16_t ImbeHammingCorrect(uint16_t word);

// Number of bits in which a and b differ (the errors a correction removed).
int ImbeCountBits(uint32_t a, uint32_t b);

// The 23 entries (soft values 0 .. 2^softBits - 1, first most significant) read as hard bits
// and corrected by ImbeGolayCorrect.
uint32_t ImbeGolayDecode(const uint8_t* entries, int softBits);

// Soft-decision candidates of an n-bit hard word, from its least reliable positions (entry
// indices, first entry most significant), the hard word first. Golay: every subset of the
// three positions flipped (8 words); Hamming: each of the four flipped alone (5 words).
void ImbeGolayCandidates(uint32_t hard, int n, const int* positions, uint32_t* out);
void ImbeHammingCandidates(uint32_t hard, int n, const int* positions, uint32_t* out);

// Decodes one code vector of n entries (soft values 0 .. 2^softBits - 1, first entry most
// significant). Returns the corrected word; *errors gets the number of hard bits it changed,
// *metric the soft metric of the chosen word (0 with hard bits).
uint32_t ImbeDecodeVector(const uint8_t* entries, int n, bool golay, int softBits, int* errors, int32_t* metric);

// u0 .. u3 (12 bits), u4 .. u6 (11 bits) and u7 (7 bits), most significant first, one bit per
// byte: the 88 information bits.
void ImbePackBits(const uint16_t* u, uint8_t* bits);

// Repeat (4) and mute (8) flags from this frame's error counts; updates state->errorRate.
int ImbeFrameErrorFlags(ImbeDecoderState* state, int softBits);
