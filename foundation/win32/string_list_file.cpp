// StringList's file operations: load through a read-only mapping, save as CR LF lines.
#include <windows.h>

#include "foundation/string_list.h"

int StringList::LoadFromFile(const String& path) {
    RemoveAll();
    HANDLE file = CreateFileA(path.CStr(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    LARGE_INTEGER size;
    int ok = 0;
    if (GetFileSizeEx(file, &size) && size.HighPart == 0) {
        if (size.LowPart == 0) {
            ok = 1;  // a mapping of nothing cannot be made; an empty file is an empty list
        } else if (HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
            if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {
                SetText(static_cast<const char*>(view), size.LowPart);
                UnmapViewOfFile(view);
                ok = 1;
            }
            CloseHandle(mapping);
        }
    }
    CloseHandle(file);
    return ok;
}

int StringList::SaveToFile(const String& path) const {
    HANDLE file = CreateFileA(path.CStr(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    int ok = 1;
    for (uint32_t i = 0; ok && i < GetCount(); ++i) {
        String line = *GetItem(i) + "\r\n";
        DWORD written = 0;
        DWORD n = static_cast<DWORD>(line.Length());
        if (!WriteFile(file, line.CStr(), n, &written, nullptr) || written != n) ok = 0;
    }
    CloseHandle(file);
    return ok;
}
