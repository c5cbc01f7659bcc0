// One squelch code list of the main window (NAC, TGID, SID or DID codes): an ordered sequence
// of 32-bit codes. The window keeps each list ascending (unsigned) without duplicates; the
// plug-in object reads the lists for the squelch and to save them.
#pragma once

#include <cstdint>

#include "foundation/item_array.h"

class CSquelchCodeList {
public:
    CSquelchCodeList() : m_items(16, 0x100000) {}

    uint32_t Count() const { return m_items.GetCount(); }
    // The code at index; 0 for an index at or beyond the count.
    uint32_t At(uint32_t index) const { return index < Count() ? static_cast<uint32_t>(m_items.GetItem(index)) : 0; }
    // Inserts keeping the ascending order; false for a code already present or no memory.
    bool AddSorted(uint32_t code);
    // False for an index at or beyond the count.
    bool RemoveAt(uint32_t index);
    void Clear() { m_items.Clear(); }
    // Replaces the contents with codes & mask, ascending, without duplicates (codes that find
    // no memory are dropped).
    void Assign(const uint32_t* codes, uint32_t count, uint32_t mask);
    // Copies at most max codes into out; returns how many were copied.
    uint32_t CopyTo(uint32_t* out, uint32_t max) const;

private:
    ItemArray m_items;
};
