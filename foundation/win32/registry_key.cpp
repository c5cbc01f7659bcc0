#include "foundation/win32/registry_key.h"

#include "foundation/scratch_buffer.h"
#include "foundation/string_list.h"

RegistryKey::RegistryKey(HKEY root, REGSAM access) : m_key(nullptr) {
    if (RegOpenKeyExA(root, "", 0, access, &m_key) != ERROR_SUCCESS) m_key = nullptr;
}

RegistryKey::~RegistryKey() {
    if (m_key) RegCloseKey(m_key);
}

int RegistryKey::OpenSubKey(String path, int create, REGSAM access) {
    if (!m_key) return 0;
    HKEY sub = nullptr;
    LONG r = RegOpenKeyExA(m_key, path.CStr(), 0, access, &sub);
    if (r != ERROR_SUCCESS && create)
        r = RegCreateKeyExA(m_key, path.CStr(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &sub, nullptr);
    if (r != ERROR_SUCCESS) return 0;
    RegCloseKey(m_key);
    m_key = sub;
    return 1;
}

uint32_t RegistryKey::ReadDword(String name, uint32_t defaultValue) {
    DWORD value = 0, type = 0, size = sizeof value;
    if (m_key &&
        RegQueryValueExA(m_key, name.CStr(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof value)
        return value;
    return defaultValue;
}

String RegistryKey::ReadString(String name, String defaultValue) {
    if (!m_key) return defaultValue;
    String text(16);
    if (text.GetCapacity() < 17) return defaultValue;
    DWORD type = 0, size = static_cast<DWORD>(text.GetCapacity() - 1);
    LONG r = RegQueryValueExA(m_key, name.CStr(), nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &size);
    if (r == ERROR_MORE_DATA) {
        text = String(static_cast<int>(size) + 1);
        if (text.GetCapacity() < static_cast<int>(size) + 1) return defaultValue;
        size = static_cast<DWORD>(text.GetCapacity() - 1);
        r = RegQueryValueExA(m_key, name.CStr(), nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &size);
    }
    if (r != ERROR_SUCCESS) return defaultValue;
    // A value stored without its NUL (or of another type) ends at the bytes it holds; one byte
    // of the capacity is kept for this terminator.
    text[static_cast<int>(size)] = 0;
    text.UpdateLength();
    return text;
}

uint32_t RegistryKey::ReadBinary(String name, void* buffer, uint32_t size, DWORD* type) {
    DWORD n = size, t = 0;
    if (!m_key || !buffer ||
        RegQueryValueExA(m_key, name.CStr(), nullptr, &t, static_cast<BYTE*>(buffer), &n) != ERROR_SUCCESS)
        return 0;
    if (type) *type = t;
    return n;
}

int RegistryKey::WriteDword(String name, uint32_t value) {
    DWORD v = value;
    return m_key && RegSetValueExA(m_key, name.CStr(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v) ==
                        ERROR_SUCCESS;
}

int RegistryKey::WriteString(String name, String value) {
    return m_key && RegSetValueExA(m_key, name.CStr(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.CStr()),
                                   static_cast<DWORD>(value.Length() + 1)) == ERROR_SUCCESS;
}

int RegistryKey::WriteBinary(String name, const void* data, uint32_t size, DWORD type) {
    return m_key && RegSetValueExA(m_key, name.CStr(), 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

int RegistryKey::DeleteValue(String name) { return m_key && RegDeleteValueA(m_key, name.CStr()) == ERROR_SUCCESS; }

int RegistryKey::Reopen(HKEY root, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, "", 0, access, &key) != ERROR_SUCCESS) return 0;
    if (m_key) RegCloseKey(m_key);
    m_key = key;
    return 1;
}

int RegistryKey::Close() {
    if (m_key) RegCloseKey(m_key);
    m_key = nullptr;
    return 1;
}

int RegistryKey::SubKeyExists(String path) {
    HKEY probe = nullptr;
    if (!m_key || RegOpenKeyExA(m_key, path.CStr(), 0, READ_CONTROL, &probe) != ERROR_SUCCESS) return 0;
    RegCloseKey(probe);
    return 1;
}

int RegistryKey::ValueExists(String name) {
    return m_key && RegQueryValueExA(m_key, name.CStr(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

namespace {
int DeleteKeyTree(HKEY parent, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path, 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE, &key) != ERROR_SUCCESS)
        return 0;
    ScratchBuffer<char> name(16384);
    int ok = name.GetData() != nullptr;
    while (ok) {
        DWORD n = static_cast<DWORD>(name.Capacity());
        if (RegEnumKeyExA(key, 0, name.GetData(), &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        // A subkey that cannot go would be found again at index 0 for ever.
        if (!DeleteKeyTree(key, name.GetData())) {
            ok = 0;
            break;
        }
    }
    RegCloseKey(key);
    return ok && RegDeleteKeyA(parent, path) == ERROR_SUCCESS;
}
}  // namespace

int RegistryKey::DeleteTree(String path) { return m_key && path.Length() && DeleteKeyTree(m_key, path.CStr()); }

LONG RegistryKey::GetSubKeyNames(StringList* list) {
    if (!m_key) return ERROR_INVALID_HANDLE;
    char name[256];
    LONG r;
    for (DWORD i = 0;; ++i) {
        DWORD n = sizeof name;
        r = RegEnumKeyExA(m_key, i, name, &n, nullptr, nullptr, nullptr, nullptr);
        if (r != ERROR_SUCCESS) break;
        list->Add(String(name, static_cast<int>(n)));
    }
    return r;
}

LONG RegistryKey::GetValueNames(StringList* list) {
    if (!m_key) return ERROR_INVALID_HANDLE;
    ScratchBuffer<char> name(32768);
    if (!name.GetData()) return ERROR_NOT_ENOUGH_MEMORY;
    LONG r;
    for (DWORD i = 0;; ++i) {
        DWORD n = static_cast<DWORD>(name.Capacity());
        r = RegEnumValueA(m_key, i, name.GetData(), &n, nullptr, nullptr, nullptr, nullptr);
        if (r != ERROR_SUCCESS) break;
        list->Add(String(name.GetData(), static_cast<int>(n)));
    }
    return r;
}

RegistryKey* RegistryKey::Open(HKEY root, String path, int create, REGSAM access) {
    RegistryKey* key = new RegistryKey(root, READ_CONTROL);
    if (!key || !key->GetHandle()) {
        delete key;
        return nullptr;
    }
    // A key left on the root would take the caller's reads and writes elsewhere: a path that
    // cannot be opened (or created) is a failure the caller must see.
    if (!key->OpenSubKey(path, create, access)) {
        delete key;
        return nullptr;
    }
    return key;
}
