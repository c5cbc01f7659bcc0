#include "testbed/common/call_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace testbed {

void CallLog::Add(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) return;
    char tail[32];
    std::snprintf(tail, sizeof tail, " tid=%lu\n", GetCurrentThreadId());
    EnterCriticalSection(&m_lock);
    m_text += line;
    m_text += tail;
    LeaveCriticalSection(&m_lock);
}

void CallLog::Clear() {
    EnterCriticalSection(&m_lock);
    m_text.clear();
    LeaveCriticalSection(&m_lock);
}

uint32_t CallLog::CopyTo(char* buffer, uint32_t size) {
    EnterCriticalSection(&m_lock);
    const uint32_t length = static_cast<uint32_t>(m_text.size());
    if (buffer && size) {
        const uint32_t n = length < size - 1 ? length : size - 1;
        std::memcpy(buffer, m_text.data(), n);
        buffer[n] = 0;
    }
    LeaveCriticalSection(&m_lock);
    return length;
}

}  // namespace testbed
