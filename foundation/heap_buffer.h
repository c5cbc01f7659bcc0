// A byte buffer whose capacity follows its size up (doubling) and down (halving once when the
// size falls below an eighth of the capacity), between minSize and maxSize.
//
// Every operation reaches sizes and capacities through the virtual operations, so a subclass
// that overrides Resize (the page-reserving buffer) changes the growth of all of them.
// Storage comes from malloc; a failed reallocation keeps the old storage and capacity.
// Not thread-safe (LockedQueue adds a lock).
#pragma once

#include <cstdint>

#include "foundation/object.h"

class HeapBuffer : public Object {
public:
    HeapBuffer(uint32_t initialCapacity, uint32_t maxSize);
    ~HeapBuffer() override;

    // Capacity n, clamped to maxSize, then raised to minSize, the size and 4 bytes.
    // Returns the capacity reached.
    virtual uint32_t Resize(uint32_t n);
    // Size n (clamped to maxSize and to the capacity the buffer could reach); returns it.
    virtual uint32_t SetSize(uint32_t n);
    // Removes count bytes at offset (clipped to the end); nothing and 0 when offset > size.
    virtual int Delete(uint32_t offset, uint32_t count);
    virtual uint32_t GetSize() const { return m_size; }
    virtual uint32_t GetMaxSize() const { return m_maxSize; }
    virtual uint32_t GetCapacity() const { return m_capacity; }
    virtual uint32_t GetFree() const { return GetCapacity() - GetSize(); }

    uint32_t GetMinSize() const { return m_minSize; }
    uint8_t* GetData(uint32_t offset = 0) const { return m_data + offset; }

protected:
    HeapBuffer();  // empty: no storage, all fields 0 (for buffers that bring their own)
    // Doubles the capacity until `needed` bytes fit or it stops growing; true when they fit.
    bool GrowFor(uint64_t needed);
    // Drops count bytes (at most the size) from the front.
    void DropFront(uint32_t count);

    uint8_t* m_data;
    uint32_t m_capacity;
    uint32_t m_size;
    uint32_t m_maxSize;
    uint32_t m_minSize;
};
