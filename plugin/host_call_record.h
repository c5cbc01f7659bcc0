// One pending call to the host. The record owns lpData: the data is allocated with
// AllocateData (new[] of bytes, so from the private heap) and freed by the destructor. A
// record that borrows data (the window's records for direct calls) must clear lpData before
// it is destroyed.
#pragma once

#include <cstdint>

struct HostCallRecord {
    HostCallRecord(uint32_t message = 0, uint32_t param = 0) : msg(message), dwParam(param) {}
    ~HostCallRecord() { FreeData(); }
    HostCallRecord(const HostCallRecord&) = delete;
    HostCallRecord& operator=(const HostCallRecord&) = delete;

    // Replaces the data by a zeroed block of bytes; false (and no data) when it cannot be had.
    bool AllocateData(uint32_t bytes);
    // Replaces the data by a copy of bytes; false (and no data) on failure.
    bool CopyData(const void* source, uint32_t bytes);
    void FreeData();

    uint32_t msg;
    uint32_t dwParam;
    uint32_t cbData = 0;
    void* lpData = nullptr;
    uint32_t scanFlag = 0;  // 1: a scanning IF spectrum
};
