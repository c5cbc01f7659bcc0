// The String members that need Win32: code-page conversions and long/short path names.
#include <windows.h>

#include "foundation/scratch_buffer.h"
#include "foundation/string.h"

namespace {
// Windows refuses conversion flags and a replacement character for these code pages (the
// call fails with ERROR_INVALID_FLAGS or ERROR_INVALID_PARAMETER), so they get none.
bool TakesNoFlags(unsigned codePage) {
    return codePage == CP_UTF7 || codePage == CP_UTF8 || codePage == 42 || codePage == 54936 ||
           (codePage >= 50220 && codePage <= 50229) || (codePage >= 57002 && codePage <= 57011);
}
}  // namespace

String::String(const wchar_t* text, unsigned codePage) : String(0) {
    if (!text) return;
    const char* replacement = TakesNoFlags(codePage) ? nullptr : " ";
    int needed = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, replacement, nullptr);
    if (needed <= 0) return;
    String converted(needed);
    if (converted.GetCapacity() < needed) return;
    WideCharToMultiByte(codePage, 0, text, -1, &converted[0], needed, replacement, nullptr);
    converted.UpdateLength();
    *this = converted;
}

int String::ToWide(wchar_t* destination, int destinationLength, unsigned codePage) const {
    if (!destination || destinationLength <= 0) return 0;
    return MultiByteToWideChar(codePage, 0, CStr(), Length() + 1, destination, destinationLength);
}

String String::ConvertCodePage(unsigned from, unsigned to) const {
    DWORD fromFlags = TakesNoFlags(from) ? 0 : MB_PRECOMPOSED;
    DWORD toFlags = TakesNoFlags(to) ? 0 : WC_COMPOSITECHECK;
    int wide = MultiByteToWideChar(from, fromFlags, CStr(), Length() + 1, nullptr, 0);
    if (wide <= 0) return String(0);
    ScratchBuffer<wchar_t> wideText(static_cast<size_t>(wide));
    wchar_t* buffer = wideText.GetData();
    if (!buffer) return String(0);
    MultiByteToWideChar(from, fromFlags, CStr(), Length() + 1, buffer, wide);
    int bytes = WideCharToMultiByte(to, toFlags, buffer, wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return String(0);
    String r(bytes);
    if (r.GetCapacity() < bytes) return String(0);
    WideCharToMultiByte(to, toFlags, buffer, wide, &r[0], bytes, nullptr, nullptr);
    r.UpdateLength();
    return r;
}

namespace {
// A path function that reports the length it needs when given no buffer.
String PathQuery(const String& path, DWORD(WINAPI* query)(LPCSTR, LPSTR, DWORD)) {
    DWORD n = query(path.CStr(), nullptr, 0);
    if (n == 0) return String(0);
    String r(static_cast<int>(n));
    if (r.GetCapacity() <= static_cast<int>(n) || query(path.CStr(), &r[0], n) == 0) return String(0);
    r.UpdateLength();
    return r;
}
}  // namespace

String String::GetLongPath() const { return PathQuery(*this, GetLongPathNameA); }
String String::GetShortPath() const { return PathQuery(*this, GetShortPathNameA); }
