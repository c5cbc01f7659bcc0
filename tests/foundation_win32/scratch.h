// A scratch folder under the temporary folder, removed with everything in it at the end.
#pragma once

#include <windows.h>

#include <string>

#include "foundation/string.h"
#include "foundation/win32/folders.h"

class ScratchFolder {
public:
    explicit ScratchFolder(const char* name) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_path = std::string(temp) + name + "_" + std::to_string(GetCurrentProcessId());
        DeleteDirectoryTree(String(m_path.c_str()));
        CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ~ScratchFolder() { DeleteDirectoryTree(String(m_path.c_str())); }
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
