#include "foundation/item_array.h"

#include <cstring>

ItemArray::ItemArray(uint32_t initialCount, uint32_t maxCount)
    : HeapBuffer(initialCount * sizeof(Item), maxCount * sizeof(Item)) {}

// Clear's removals go through the virtual Remove, which no longer reaches a subclass here;
// subclasses that own their items empty themselves in their own destructors.
ItemArray::~ItemArray() { Clear(); }

void ItemArray::Insert(Item item, uint32_t index) {
    if (!GrowFor(static_cast<uint64_t>(GetSize()) + sizeof(Item))) return;
    uint32_t count = GetCount();
    if (index > count) index = count;
    SetSize(GetSize() + sizeof(Item));
    Item* items = Items();
    std::memmove(items + index + 1, items + index, (count - index) * sizeof(Item));
    items[index] = item;
}

ItemArray::Item ItemArray::Remove(uint32_t index) {
    uint32_t count = GetCount();
    if (index >= count) return 0;
    SetSize(GetSize() - sizeof(Item));  // the capacity stays above the old size meanwhile
    Item* items = Items();
    Item item = items[index];
    std::memmove(items + index, items + index + 1, (count - index - 1) * sizeof(Item));
    return item;
}

void ItemArray::Clear() {
    while (GetCount() > 0) Remove(GetCount() - 1);
    Resize(0);
}

int ItemArray::IndexOf(Item item) const {
    for (int i = static_cast<int>(GetCount()) - 1; i >= 0; --i)
        if (GetItem(static_cast<uint32_t>(i)) == item) return i;
    return -1;
}

void ItemArray::Swap(uint32_t i, uint32_t j) {
    if (i >= GetCount() || j >= GetCount()) return;
    Item* items = Items();
    Item t = items[i];
    items[i] = items[j];
    items[j] = t;
}
