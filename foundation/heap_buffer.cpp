#include "foundation/heap_buffer.h"

#include <cstdlib>
#include <cstring>

HeapBuffer::HeapBuffer() : m_data(nullptr), m_capacity(0), m_size(0), m_maxSize(0), m_minSize(0) {}

HeapBuffer::HeapBuffer(uint32_t initialCapacity, uint32_t maxSize)
    : m_data(static_cast<uint8_t*>(std::malloc(initialCapacity ? initialCapacity : 1))),
      m_capacity(m_data ? initialCapacity : 0),
      m_size(0),
      m_maxSize(maxSize),
      m_minSize(m_capacity) {}

HeapBuffer::~HeapBuffer() { std::free(m_data); }

uint32_t HeapBuffer::Resize(uint32_t n) {
    if (n > m_maxSize) n = m_maxSize;
    if (n < m_minSize) n = m_minSize;
    if (n < m_size) n = m_size;
    if (n < 4) n = 4;
    uint8_t* p = static_cast<uint8_t*>(std::realloc(m_data, n));
    if (p) {
        m_data = p;
        m_capacity = n;
    }
    return m_capacity;
}

bool HeapBuffer::GrowFor(uint64_t needed) {
    while (GetCapacity() < needed) {
        uint32_t before = GetCapacity();
        uint64_t doubled = static_cast<uint64_t>(before) * 2;
        Resize(doubled > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(doubled));
        if (GetCapacity() <= before) return false;
    }
    return true;
}

uint32_t HeapBuffer::SetSize(uint32_t n) {
    if (n > GetMaxSize()) n = GetMaxSize();
    GrowFor(n);
    // A capacity that stopped growing below n (maxSize reached, memory exhausted) is the
    // limit: a size above it would reach past the storage.
    if (n > GetCapacity()) n = GetCapacity();
    // The halving still sees the old size, so no byte in use is lost.
    if (n < GetCapacity() / 8) Resize(GetCapacity() / 2);
    m_size = n;
    return n;
}

int HeapBuffer::Delete(uint32_t offset, uint32_t count) {
    uint32_t size = GetSize();
    if (offset > size) return 0;
    if (static_cast<uint64_t>(offset) + count < size)
        std::memmove(m_data + offset, m_data + offset + count, size - offset - count);
    else
        count = size - offset;
    SetSize(size - count);
    return 1;
}

void HeapBuffer::DropFront(uint32_t count) {
    uint32_t size = GetSize();
    if (count > size) count = size;
    if (count == 0) return;
    SetSize(size - count);
    std::memmove(m_data, m_data + count, size - count);
}
