// The measured kernel: an allocator holding `live` blocks, each step frees a random one and
// allocates a new one of random size. Indexes and sizes are drawn beforehand so the loop times
// the allocator only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

struct PairWorkload {
    std::vector<uint32_t> slots;
    std::vector<uint32_t> sizes;
    size_t live;

    PairWorkload(size_t liveBlocks, size_t maxBytes, size_t steps, uint32_t seed = 1) : live(liveBlocks) {
        std::mt19937 rng(seed);
        slots.resize(steps);
        sizes.resize(steps + liveBlocks);
        for (auto& s : slots) s = static_cast<uint32_t>(rng() % liveBlocks);
        for (auto& s : sizes) s = 1 + static_cast<uint32_t>(rng() % maxBytes);
    }
};

// Runs the workload with the allocator pair; returns a checksum so nothing is optimised away.
template <typename Alloc, typename Free>
uintptr_t RunPairs(const PairWorkload& w, Alloc alloc, Free release) {
    std::vector<void*> blocks(w.live);
    for (size_t i = 0; i < w.live; ++i) blocks[i] = alloc(w.sizes[i]);
    uintptr_t sum = 0;
    for (size_t i = 0; i < w.slots.size(); ++i) {
        uint32_t k = w.slots[i];
        release(blocks[k]);
        void* p = alloc(w.sizes[w.live + i]);
        *static_cast<unsigned char*>(p) = 1;  // touch it, as a real user would
        blocks[k] = p;
        sum += reinterpret_cast<uintptr_t>(p);
    }
    for (void* p : blocks) release(p);
    return sum;
}
