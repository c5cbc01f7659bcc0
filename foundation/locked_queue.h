// A byte FIFO for two threads: bytes are appended at the end and taken from the front, every
// operation under the queue's own lock. LockRead/LockWrite hold the lock until the matching
// Unlock call, so a caller can work on the queued bytes or the free space in place.
#pragma once

#include <cstdint>

#include "foundation/critical_section.h"
#include "foundation/heap_buffer.h"

class LockedQueue : public HeapBuffer {
public:
    LockedQueue(uint32_t initialCapacity, uint32_t maxSize);
    ~LockedQueue() override = default;

    // Appends what fits (the capacity doubles up to maxSize); returns the bytes appended.
    virtual int Write(const void* data, uint32_t count);
    // When at least count bytes are queued: copies them to destination (when not null) and,
    // when remove is set, drops them. Returns count, or 0 and does nothing.
    virtual int Read(void* destination, uint32_t count, bool remove);
    virtual void Clear();
    // Enters the lock and returns the queued bytes (GetSize() of them).
    virtual uint8_t* LockRead();
    // Drops consumed bytes (clipped to the size) from the front and leaves the lock.
    virtual void UnlockRead(uint32_t consumed);
    // Enters the lock, grows for count more bytes where it can, returns the free space
    // (GetFree() bytes, which may be less than count).
    virtual uint8_t* LockWrite(uint32_t count);
    // Commits written bytes (clipped to the free space) and leaves the lock.
    virtual void UnlockWrite(uint32_t written);

protected:
    CriticalSection m_lock;
};
