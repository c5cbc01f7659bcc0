// A HeapBuffer of pointer-sized items (32-bit words in the DLL), used by the list widgets and
// StringList. Indices are unsigned: -1 passed as an index means "at the end".
#pragma once

#include <cstdint>

#include "foundation/heap_buffer.h"

class ItemArray : public HeapBuffer {
public:
    using Item = uintptr_t;

    ItemArray(uint32_t initialCount, uint32_t maxCount);
    ~ItemArray() override;

    // Inserts at index (clipped to the count); nothing when the array is full at maxCount.
    virtual void Insert(Item item, uint32_t index);
    // The item at index, removed; 0 and nothing removed when index >= count.
    virtual Item Remove(uint32_t index);

    void Clear();  // every item through the virtual Remove, then the minimum capacity
    uint32_t GetCount() const { return GetSize() / sizeof(Item); }
    Item GetItem(uint32_t index) const { return reinterpret_cast<const Item*>(GetData())[index]; }
    int IndexOf(Item item) const;  // last index holding item, -1 when absent
    void Swap(uint32_t i, uint32_t j);

protected:
    Item* Items() const { return reinterpret_cast<Item*>(GetData()); }
};
