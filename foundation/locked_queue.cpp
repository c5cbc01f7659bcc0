#include "foundation/locked_queue.h"

#include <cstring>

LockedQueue::LockedQueue(uint32_t initialCapacity, uint32_t maxSize) : HeapBuffer(initialCapacity, maxSize) {}

int LockedQueue::Write(const void* data, uint32_t count) {
    CriticalSectionLock lock(&m_lock);
    if (!data) return 0;
    GrowFor(static_cast<uint64_t>(GetSize()) + count);
    uint32_t n = count < GetFree() ? count : GetFree();
    std::memcpy(m_data + GetSize(), data, n);
    SetSize(GetSize() + n);
    return static_cast<int>(n);
}

int LockedQueue::Read(void* destination, uint32_t count, bool remove) {
    CriticalSectionLock lock(&m_lock);
    if (GetSize() < count) return 0;
    if (destination) std::memcpy(destination, m_data, count);
    if (remove) DropFront(count);
    return static_cast<int>(count);
}

void LockedQueue::Clear() {
    CriticalSectionLock lock(&m_lock);
    Read(nullptr, GetSize(), true);
    Resize(0);
}

uint8_t* LockedQueue::LockRead() {
    m_lock.Enter();
    return m_data;
}

void LockedQueue::UnlockRead(uint32_t consumed) {
    DropFront(consumed);
    m_lock.Leave();
}

uint8_t* LockedQueue::LockWrite(uint32_t count) {
    m_lock.Enter();
    GrowFor(static_cast<uint64_t>(GetSize()) + count);
    return m_data + GetSize();
}

void LockedQueue::UnlockWrite(uint32_t written) {
    uint32_t n = written < GetFree() ? written : GetFree();
    SetSize(GetSize() + n);
    m_lock.Leave();
}
