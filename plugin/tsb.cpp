#include "plugin/tsb.h"

#include <cstdint>
#include <cstring>
#include <new>

TSB::TSB(int recordCount) {
    if (recordCount < 2) return;
    m_records = new (std::nothrow) TsbRecord[recordCount];
    m_listStorage = new (std::nothrow) TsbRecord*[2 * recordCount];
    if (!m_records || !m_listStorage) {
        delete[] m_records;
        delete[] m_listStorage;
        m_records = nullptr;
        m_listStorage = nullptr;
        return;
    }
    m_count = recordCount;
    std::memset(m_records, 0, sizeof(TsbRecord) * recordCount);
    m_free = List{m_listStorage, 0, 0};
    m_ready = List{m_listStorage + recordCount, 0, 0};
    for (int i = 0; i < recordCount; ++i) PushBack(&m_free, &m_records[i]);
}

TSB::~TSB() {
    for (int i = 0; i < m_count; ++i) delete[] m_records[i].data;
    delete[] m_records;
    delete[] m_listStorage;
}

void TSB::PushBack(List* list, TsbRecord* record) {
    list->items[(list->head + list->size) % m_count] = record;
    ++list->size;
}

TsbRecord* TSB::PopFront(List* list) {
    if (!list->size) return nullptr;
    TsbRecord* record = list->items[list->head];
    list->head = (list->head + 1) % m_count;
    --list->size;
    return record;
}

int TSB::Put(const float* data, uint32_t count, uint32_t param) {
    if (!data || !count || count > SIZE_MAX / sizeof(float)) return 0;
    CriticalSectionLock lock(&m_lock);
    if (!m_count) return 0;
    TsbRecord* record = PopFront(&m_free);
    if (!record) record = PopFront(&m_ready);
    if (!record) return 0;  // the only record is checked out
    if (record->capacity < count) {
        delete[] record->data;
        record->data = new (std::nothrow) float[count];
        if (!record->data) {
            std::memset(record, 0, sizeof *record);
            PushBack(&m_free, record);
            return 0;
        }
        record->capacity = count;
    }
    std::memcpy(record->data, data, count * sizeof(float));
    record->count = count;
    record->param = param;
    PushBack(&m_ready, record);
    return 1;
}

TsbRecord* TSB::Get() {
    CriticalSectionLock lock(&m_lock);
    if (m_checkedOut || !m_count) return nullptr;
    m_checkedOut = PopFront(&m_ready);
    return m_checkedOut;
}

void TSB::Release(TsbRecord* record) {
    CriticalSectionLock lock(&m_lock);
    if (!record || record != m_checkedOut) return;
    PushBack(&m_free, record);
    m_checkedOut = nullptr;
}

void TSB::Reset() {
    CriticalSectionLock lock(&m_lock);
    if (!m_count) return;
    while (TsbRecord* record = PopFront(&m_ready)) PushBack(&m_free, record);
}
