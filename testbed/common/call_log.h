// The stand-ins' record of the calls they received: one line a call, each ending in the
// calling thread's id, added from any thread and read back by tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace testbed {

class CallLog {
public:
    CallLog() { InitializeCriticalSection(&m_lock); }
    ~CallLog() { DeleteCriticalSection(&m_lock); }
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;

    void Add(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Clear();
    // Copies at most size - 1 characters and a NUL; returns the length of the whole log.
    uint32_t CopyTo(char* buffer, uint32_t size);

private:
    CRITICAL_SECTION m_lock;
    std::string m_text;
};

}  // namespace testbed
