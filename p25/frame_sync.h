// The P25 frame sync: 24 symbols that open every frame, the same for the demodulator's AFC and
// clock placement and for the frame decoder's search.
#pragma once

// In DibitString text ("0" +1, "1" +3, "2" -1, "3" -3): the 48 sync bits 0x5575F5FF77FF as
// symbols, all +3 or -3.
constexpr int kFrameSyncSymbols = 24;
constexpr char kFrameSyncPattern[kFrameSyncSymbols + 1] = "111113113311333313133333";
