// Block codes of the P25 frame decoder: the BCH (63,16,23) code of the network identifier, the
// Golay (23,12) code of the header's hexbits and the Hamming (10,6,3) code of the link-control
// and encryption-sync hexbits. The Reed-Solomon codec is in reed_solomon.h.
#pragma once

#include "foundation/bit_codes.h"

// Decodes the 32-character NID text (DibitString characters, the first holding the most
// significant bits of the network access code). The first 63 bits form the BCH code word; the
// final parity bit (low bit of character 31) is not used. A character outside "0".."3" counts
// as two zero bits.
// Returns true when the word was clean or corrected: characters 0..30 are then rewritten
// corrected (as "0".."3") and character 31 becomes NUL; *errors (optional) gets the number of
// corrected bits. Returns false for a null text or an uncorrectable word, which stays as it was;
// *errors then holds the degree of the error locator found (above 11 when it grew too large).
bool DecodeNidBch(char* nid, unsigned* errors);

// Golay (23,12) decoding (the code, its encoder and syndrome are in foundation/bit_codes.h).
// The error table is process-wide, built once on first use by whichever thread comes first.
void EnsureGolay23Table();           // builds the table when not yet built
unsigned Golay23Decode(unsigned w);  // corrected code word of the low 23 bits; up to 3 errors

// Hamming (10,6,3): bit 9 of word is the first received bit, bits 9..4 the hexbit, 3..0 the
// check bits. Returns the (corrected) hexbit. *syndrome (optional) gets the 4-bit syndrome, or
// 255 when it names no single bit (the received hexbit is returned as it stands).
int DecodeHamming10(int word, unsigned* syndrome);
