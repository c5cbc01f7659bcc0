#include "ui/squelch_code_list.h"

#include <algorithm>

#include "foundation/scratch_buffer.h"

bool CSquelchCodeList::AddSorted(uint32_t code) {
    const uint32_t count = Count();
    uint32_t index = 0;
    for (; index < count; ++index) {
        const uint32_t present = At(index);
        if (present == code) return false;
        if (present > code) break;
    }
    m_items.Insert(code, index);
    return Count() == count + 1;
}

bool CSquelchCodeList::RemoveAt(uint32_t index) {
    if (index >= Count()) return false;
    m_items.Remove(index);
    return true;
}

uint32_t CSquelchCodeList::CopyTo(uint32_t* out, uint32_t max) const {
    if (!out) return 0;
    const uint32_t n = Count() < max ? Count() : max;
    for (uint32_t i = 0; i < n; ++i) out[i] = At(i);
    return n;
}

void CSquelchCodeList::Assign(const uint32_t* codes, uint32_t count, uint32_t mask) {
    Clear();
    if (!codes || count == 0) return;
    // Sorting a copy first keeps a long stored list from costing one walk per code.
    ScratchBuffer<uint32_t> sorted;
    uint32_t* work = sorted.Reserve(count);
    if (!work) {
        for (uint32_t i = 0; i < count; ++i) AddSorted(codes[i] & mask);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) work[i] = codes[i] & mask;
    std::sort(work, work + count);
    for (uint32_t i = 0; i < count; ++i)
        if (i == 0 || work[i] != work[i - 1]) m_items.Insert(work[i], Count());
}
