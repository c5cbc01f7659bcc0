// Folder tests, creation, listing and deletion, the folder-browse and save-file dialogs and
// file versions.
// Paths use "\\" as the separator. Win32 only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/string.h"

class StringList;

// True when the path names an existing folder (a path ending in "\\" or a drive root is not
// found); the find record is copied to *found when asked for.
bool DirectoryExists(String path, WIN32_FIND_DATAA* found = nullptr);
// True when the path names an existing entry that is not a folder.
bool FileExists(String path, WIN32_FIND_DATAA* found = nullptr);
// Creates every folder along the path; true when the folder exists afterwards.
bool CreateDirectoryPath(String path);
// The folder the user picked, or an empty string when the dialog was cancelled or may not open
// (its owner is closing: MayOpenModalWindow).
String BrowseForFolder(HWND owner, String title, UINT flags, String initialFolder);
int CALLBACK BrowseForFolderCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data);
// The save-file dialog (GetSaveFileNameA): buffer holds the starting name and receives the
// chosen one (size characters with the terminator); filter is the dialog's list of
// "name\0pattern\0" pairs; flags are OFN_ flags. False when cancelled or when it may not open.
// defaultExtension: what a name typed without an extension gets after a period, as "csv"; null
// for nothing. The system copies it into the name as it stands, so one holding a period, a
// wildcard or another character no file name can have ("*.csv") is refused: false, no dialog.
bool AskSaveFileName(HWND owner, const char* title, const char* filter, const char* defaultExtension, DWORD flags,
                     char* buffer, int size);

uint64_t GetFileSizeByName(String path);
// One level: the names in folder matching pattern ("." and ".." left out).
void ListFiles(String folder, StringList* list, String pattern = String("*"));

enum ListOptions : unsigned {
    kListWithPrefix = 1,  // entries carry the folder prefix
    kListRecursive = 2,   // subfolders are searched too
};
// Subfolders and files, each list in sorted order; names beginning with "." are skipped.
void ListFilesRecursive(String folder, StringList* folders, StringList* files, unsigned options);
// Deletes every file and folder below folder and the folder itself; true when it is gone.
bool DeleteDirectoryTree(String folder);
// Calls visit for every folder and file below folder (full paths, folders first).
using DirectoryVisitor = void (*)(void* context, const String& path, bool isFolder);
void WalkDirectoryTree(String folder, DirectoryVisitor visit, void* context);

String GetCurrentDirectoryString();
// The fixed file version, most significant word in the high half; 0 when there is none.
uint64_t GetFileVersion(String path);
String GetFileVersionString(String path);  // "a.b.c.d"
