// Test harness under Wine in Xvfb: there is no window manager, and Wine waits up to two
// seconds for one to confirm every hidden or destroyed top-level window. Telling Wine's X11
// driver not to hand windows to a manager removes that wait. Runs before the first window
// exists (the driver reads the setting when it starts); on Windows it does nothing.
#include <windows.h>

namespace {

struct UnmanagedWindowsUnderWine {
    UnmanagedWindowsUnderWine() {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return;
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
        RegCloseKey(key);
    }
} g_unmanaged;

}  // namespace
