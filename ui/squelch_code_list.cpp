#include "ui/squelch_code_list.h"

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
