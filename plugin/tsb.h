// A small pool that hands float blocks from a producer thread to the GUI thread. The producer
// copies a block into a free record and queues it as ready; the GUI thread checks out the
// oldest ready record, uses it and releases it. With no free record the producer overwrites
// the oldest ready one, so a slow consumer sees only the latest blocks. One record at most is
// checked out at a time; its array is never touched by the producer meanwhile.
//
// Every operation runs under the pool's lock; any thread may call any of them.
#pragma once

#include <cstdint>

#include "foundation/critical_section.h"

struct TsbRecord {
    float* data;
    uint32_t capacity;  // floats
    uint32_t count;     // valid floats
    uint32_t param;     // the producer's word
};

class TSB {
public:
    // recordCount < 2 (or a failed allocation) makes a pool without records: Put then fails.
    explicit TSB(int recordCount);
    ~TSB();
    TSB(const TSB&) = delete;
    TSB& operator=(const TSB&) = delete;

    // 1 when the block was queued; 0 for a null or empty block, no records, or a failed
    // allocation (the record taken is then left empty on the free list).
    int Put(const float* data, uint32_t count, uint32_t param);
    // The oldest ready record, checked out; null when none is ready or one is checked out.
    TsbRecord* Get();
    // Gives the checked-out record back; any other pointer changes nothing.
    void Release(TsbRecord* record);
    // Every ready record becomes free; a checked-out record stays checked out.
    void Reset();

    int GetRecordCount() const { return m_count; }

private:
    // FIFO of record pointers with room for every record.
    struct List {
        TsbRecord** items;
        int head;
        int size;
    };
    void PushBack(List* list, TsbRecord* record);
    TsbRecord* PopFront(List* list);

    int m_count = 0;
    TsbRecord* m_records = nullptr;
    TsbRecord** m_listStorage = nullptr;
    CriticalSection m_lock;
    TsbRecord* m_checkedOut = nullptr;
    List m_free{};
    List m_ready{};
};
