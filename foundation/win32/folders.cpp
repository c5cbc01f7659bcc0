#include "foundation/win32/folders.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstring>

#include "foundation/guard.h"
#include "foundation/scratch_buffer.h"
#include "foundation/string_list.h"
#include "foundation/trace.h"
#include "foundation/win32/modal_refusal.h"

namespace {
// The find record of the path's entry; false when nothing is found.
bool FindEntry(const String& path, WIN32_FIND_DATAA* data) {
    HANDLE h = FindFirstFileA(path.CStr(), data);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    return true;
}
}  // namespace

bool DirectoryExists(String path, WIN32_FIND_DATAA* found) {
    WIN32_FIND_DATAA data;
    if (!FindEntry(path, &data)) return false;
    if (found) *found = data;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(String path, WIN32_FIND_DATAA* found) {
    WIN32_FIND_DATAA data;
    if (!FindEntry(path, &data)) return false;
    if (found) *found = data;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CreateDirectoryPath(String path) {
    // A trailing separator names the same folder; without it the final test can find it.
    while (path.Length() > 1 && path.CStr()[path.Length() - 1] == '\\') path = path.Mid(0, path.Length() - 1);
    int from = path.Find(":\\", 2);
    from = from < 0 ? 0 : from + 2;
    for (int p = path.FindChar('\\', from); p >= 0; p = path.FindChar('\\', p + 1))
        if (p > 0) CreateDirectoryA(path.Mid(0, p).CStr(), nullptr);
    CreateDirectoryA(path.CStr(), nullptr);
    return DirectoryExists(path);
}

int CALLBACK BrowseForFolderCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    Guarded("BrowseForFolderCallback", [&] {
        if (message == BFFM_INITIALIZED) SendMessageA(dialog, BFFM_SETSELECTIONA, 1, data);
    });
    return 0;
}

String BrowseForFolder(HWND owner, String title, UINT flags, String initialFolder) {
    if (!MayOpenModalWindow(owner, title.CStr())) return String(0);
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.lpszTitle = title.Length() ? title.CStr() : nullptr;
    info.ulFlags = flags | BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseForFolderCallback;
    info.lParam = reinterpret_cast<LPARAM>(initialFolder.CStr());
    LPITEMIDLIST item = SHBrowseForFolderA(&info);
    if (!item) return String(0);
    char path[MAX_PATH] = {};
    bool ok = SHGetPathFromIDListA(item, path) != 0;
    IMalloc* shellMalloc = nullptr;
    if (SUCCEEDED(SHGetMalloc(&shellMalloc)) && shellMalloc) {
        shellMalloc->Free(item);
        shellMalloc->Release();
    }
    return ok ? String(path) : String(0);
}

bool AskSaveFileName(HWND owner, const char* title, const char* filter, const char* defaultExtension, DWORD flags,
                     char* buffer, int size) {
    if (!buffer || size < 1) return false;
    if (defaultExtension && std::strpbrk(defaultExtension, ".*?\\/:\"<>|")) {
        TraceLog("save-file dialog not shown: \"%s\" is no extension", defaultExtension);
        return false;
    }
    if (!MayOpenModalWindow(owner, title)) return false;
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = static_cast<DWORD>(size);
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = defaultExtension;
    ofn.Flags = flags;
    return GetSaveFileNameA(&ofn) != 0;
}

uint64_t GetFileSizeByName(String path) {
    WIN32_FIND_DATAA data;
    if (!FileExists(path, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void ListFiles(String folder, StringList* list, String pattern) {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((folder + "\\" + pattern).CStr(), &data);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (std::strcmp(data.cFileName, ".") && std::strcmp(data.cFileName, "..")) list->Add(String(data.cFileName));
    } while (FindNextFileA(h, &data));
    FindClose(h);
}

void ListFilesRecursive(String folder, StringList* folders, StringList* files, unsigned options) {
    if (folder.Length() == 0 || folder.CStr()[folder.Length() - 1] != '\\') folder += "\\";
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((folder + "*").CStr(), &data);
    if (h == INVALID_HANDLE_VALUE) return;
    StringList found;  // subfolders of this level, searched after the listing is closed
    do {
        if (data.cFileName[0] == '.') continue;
        String name = (options & kListWithPrefix) ? folder + data.cFileName : String(data.cFileName);
        bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder) {
            if (folders) folders->InsertSorted(name);
            found.Add(folder + data.cFileName);
        } else if (files) {
            files->InsertSorted(name);
        }
    } while (FindNextFileA(h, &data));
    FindClose(h);
    if (options & kListRecursive)
        for (uint32_t i = 0; i < found.GetCount(); ++i) ListFilesRecursive(*found.GetItem(i), folders, files, options);
}

bool DeleteDirectoryTree(String folder) {
    StringList folders, files;
    ListFilesRecursive(folder, &folders, &files, kListWithPrefix | kListRecursive);
    for (uint32_t i = 0; i < files.GetCount(); ++i) DeleteFileA(files.GetItem(i)->CStr());
    // In sorted order a folder comes before everything inside it: remove from the end.
    for (uint32_t i = folders.GetCount(); i-- > 0;) RemoveDirectoryA(folders.GetItem(i)->CStr());
    RemoveDirectoryA(folder.CStr());
    return !DirectoryExists(folder);
}

void WalkDirectoryTree(String folder, DirectoryVisitor visit, void* context) {
    StringList folders, files;
    ListFilesRecursive(folder, &folders, &files, kListWithPrefix | kListRecursive);
    for (uint32_t i = 0; i < folders.GetCount(); ++i) visit(context, *folders.GetItem(i), true);
    for (uint32_t i = 0; i < files.GetCount(); ++i) visit(context, *files.GetItem(i), false);
}

String GetCurrentDirectoryString() {
    DWORD n = GetCurrentDirectoryA(0, nullptr);
    if (n == 0) return String(0);
    String r(static_cast<int>(n));
    if (r.GetCapacity() <= static_cast<int>(n) || GetCurrentDirectoryA(n, &r[0]) == 0) return String(0);
    r.UpdateLength();
    return r;
}

uint64_t GetFileVersion(String path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.CStr(), &ignored);
    if (size == 0) return 0;
    ScratchBuffer<uint8_t> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!block.GetData() || !GetFileVersionInfoA(path.CStr(), 0, size, block.GetData()) ||
        !VerQueryValueA(block.GetData(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof *info)
        return 0;
    return (static_cast<uint64_t>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

String GetFileVersionString(String path) {
    uint64_t v = GetFileVersion(path);
    return String::FromInt64(static_cast<int64_t>(v >> 48)) + "." +
           String::FromInt64(static_cast<int64_t>((v >> 32) & 0xFFFF)) + "." +
           String::FromInt64(static_cast<int64_t>((v >> 16) & 0xFFFF)) + "." +
           String::FromInt64(static_cast<int64_t>(v & 0xFFFF));
}
