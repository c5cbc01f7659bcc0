// A HeapBuffer over reserved address space: maxSize bytes are reserved once and committed page
// by page as the capacity changes, so the data pointer never moves. Win32 only.
#pragma once

#include <cstdint>

#include "foundation/heap_buffer.h"

class VirtualBuffer : public HeapBuffer {
public:
    // minSize and maxSize are brought up to whole pages; when maxSize cannot be reserved, one
    // page less is tried, down to one page. Throws the text "No memory" when the first minSize
    // bytes cannot be committed.
    VirtualBuffer(uint32_t minSize, uint32_t maxSize);
    ~VirtualBuffer() override;

    uint32_t Resize(uint32_t n) override;
    uint32_t GetPageSize() const { return m_pageSize; }

private:
    uint32_t RoundUp(uint64_t n) const;
    uint32_t m_pageSize;
};
