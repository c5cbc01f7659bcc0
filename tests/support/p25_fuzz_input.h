// One fuzz input through the P25 frame decoder: shared by the libFuzzer target and the corpus
// run of the normal tests. The input picks a stream (random dibits, raw bytes, or built frames
// with mutations), how it is split into Process calls and how the audio blocks are taken.
#pragma once

#include <cstddef>
#include <cstdint>

// False when the decoder broke one of its promises (ready count, field ranges).
bool P25FuzzOneInput(const uint8_t* data, size_t size);
