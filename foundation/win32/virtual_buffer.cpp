#include "foundation/win32/virtual_buffer.h"

#include <windows.h>

uint32_t VirtualBuffer::RoundUp(uint64_t n) const {
    uint64_t r = (n + m_pageSize - 1) / m_pageSize * m_pageSize;
    return r > 0xFFFFF000u ? 0xFFFFF000u / m_pageSize * m_pageSize : static_cast<uint32_t>(r);
}

VirtualBuffer::VirtualBuffer(uint32_t minSize, uint32_t maxSize) : HeapBuffer() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    m_pageSize = info.dwPageSize ? info.dwPageSize : 4096;
    if (maxSize < minSize) maxSize = minSize;
    minSize = RoundUp(minSize ? minSize : 1);
    maxSize = RoundUp(maxSize ? maxSize : 1);
    void* base = nullptr;
    for (uint32_t size = maxSize; size >= m_pageSize; size -= m_pageSize) {
        base = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_TOP_DOWN, PAGE_NOACCESS);
        if (base) {
            maxSize = size;
            break;
        }
    }
    if (minSize > maxSize) minSize = maxSize;
    if (!base || !VirtualAlloc(base, minSize, MEM_COMMIT, PAGE_READWRITE)) {
        if (base) VirtualFree(base, 0, MEM_RELEASE);
        throw "No memory";
    }
    m_data = static_cast<uint8_t*>(base);
    m_maxSize = maxSize;
    m_capacity = m_minSize = minSize;
}

VirtualBuffer::~VirtualBuffer() {
    VirtualFree(m_data, 0, MEM_RELEASE);
    m_data = nullptr;  // not the C heap's: the base destructor must not free it
}

uint32_t VirtualBuffer::Resize(uint32_t n) {
    if (n < m_minSize) n = m_minSize;
    if (n > m_maxSize) n = m_maxSize;
    if (n < m_size) n = m_size;
    n = RoundUp(n);
    if (n > m_maxSize) n = m_maxSize;
    if (n <= m_capacity) {
        if (n == m_capacity || VirtualFree(m_data + n, m_capacity - n, MEM_DECOMMIT)) m_capacity = n;
    } else if (VirtualAlloc(m_data + m_capacity, n - m_capacity, MEM_COMMIT, PAGE_READWRITE)) {
        m_capacity = n;
    }
    return m_capacity;
}
