// A plain file over a Win32 handle (0 when the file could not be opened). Win32 only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/object.h"
#include "foundation/string.h"

class File : public Object {
public:
    // A read-only open never creates the file: OPEN_ALWAYS becomes OPEN_EXISTING. A failure
    // writes "File not opened, err=%d" to the trace log and leaves the handle 0.
    File(String name, DWORD access, DWORD share, DWORD disposition, DWORD flags);
    ~File() override;

    virtual int64_t GetSize();
    virtual int64_t GetPosition();
    // From the start; true when the pointer moved there.
    virtual bool Seek(int64_t position);
    virtual uint32_t Write(const void* data, uint32_t count);  // bytes written, 0 on failure
    virtual uint32_t Read(void* buffer, uint32_t count);       // bytes read, 0 on failure

    HANDLE GetHandle() const { return m_handle; }
    const String& GetName() const { return m_name; }

protected:
    File(String name);  // for subclasses that open the file themselves
    HANDLE m_handle;
    String m_name;
};
