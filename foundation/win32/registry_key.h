// One open registry key: walks down to subkeys and reads values with caller-supplied
// defaults. The object owns its handle. Win32 only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/string.h"

class StringList;

class RegistryKey {
public:
    // A new handle on the root key itself with the given rights (0 when that fails).
    RegistryKey(HKEY root, REGSAM access);
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Moves to the subkey at path (created when asked and missing); 1 on success. On failure
    // the key stays where it was and 0 is returned.
    int OpenSubKey(String path, int create, REGSAM access);
    uint32_t ReadDword(String name, uint32_t defaultValue);
    // Any stored type; the text ends at the bytes the value holds (or its first NUL).
    String ReadString(String name, String defaultValue);
    // The bytes read into buffer, 0 on any failure (also when the value does not fit).
    uint32_t ReadBinary(String name, void* buffer, uint32_t size, DWORD* type);
    int WriteDword(String name, uint32_t value);
    int WriteString(String name, String value);  // REG_SZ, the NUL included
    int WriteBinary(String name, const void* data, uint32_t size, DWORD type);
    int DeleteValue(String name);

    int Reopen(HKEY root, REGSAM access);
    int Close();
    int SubKeyExists(String path);
    int ValueExists(String name);
    // Deletes the subkey at path with everything below it; 0 as soon as a part cannot go.
    int DeleteTree(String path);
    LONG GetSubKeyNames(StringList* list);
    LONG GetValueNames(StringList* list);
    // A new key on root, moved to path; null when the root or the path cannot be opened
    // (or, with create, created). Read-only
    // look-ups pass KEY_READ: full access is refused to ordinary users on protected keys.
    static RegistryKey* Open(HKEY root, String path, int create, REGSAM access);

    HKEY GetHandle() const { return m_key; }

private:
    HKEY m_key;
};
