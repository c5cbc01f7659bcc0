#include "foundation/win32/file.h"

#include "foundation/trace.h"

File::File(String name) : m_handle(nullptr), m_name(name) {}

File::File(String name, DWORD access, DWORD share, DWORD disposition, DWORD flags) : m_handle(nullptr), m_name(name) {
    if (!(access & GENERIC_WRITE) && disposition == OPEN_ALWAYS) disposition = OPEN_EXISTING;
    HANDLE h = CreateFileA(name.CStr(), access, share, nullptr, disposition, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        TraceLog("File not opened, err=%d", static_cast<int>(GetLastError()));
        return;
    }
    m_handle = h;
}

File::~File() {
    if (m_handle) CloseHandle(m_handle);
}

int64_t File::GetSize() {
    LARGE_INTEGER size;
    if (!m_handle || !GetFileSizeEx(m_handle, &size)) return 0;
    return size.QuadPart;
}

int64_t File::GetPosition() {
    LARGE_INTEGER zero, position;
    zero.QuadPart = 0;
    if (!m_handle || !SetFilePointerEx(m_handle, zero, &position, FILE_CURRENT)) return 0;
    return position.QuadPart;
}

bool File::Seek(int64_t position) {
    LARGE_INTEGER to;
    to.QuadPart = position;
    return m_handle && SetFilePointerEx(m_handle, to, nullptr, FILE_BEGIN);
}

uint32_t File::Write(const void* data, uint32_t count) {
    DWORD n = 0;
    if (!m_handle || !WriteFile(m_handle, data, count, &n, nullptr)) return 0;
    return n;
}

uint32_t File::Read(void* buffer, uint32_t count) {
    DWORD n = 0;
    if (!m_handle || !ReadFile(m_handle, buffer, count, &n, nullptr)) return 0;
    return n;
}
