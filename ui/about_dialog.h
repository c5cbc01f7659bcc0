// CAboutDialog: the small top-level window "About" with the product line and the module's
// version (from its own version resource: "Version major.minor" followed by the third part
// without a separator) and an "OK" button that hides it. The setup window makes it once,
// hidden, and shows it on request; it is destroyed with the setup window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/component.h"

class Button;
class Label;
class Panel;

class CAboutDialog : public Component {
public:
    CAboutDialog(HWND parent, int x, int y, int clientWidth, int clientHeight, DWORD style, DWORD exStyle);
    ~CAboutDialog() override;

    // Reads the version of the file into the three parts; all 0 when it has none.
    static void ReadFileVersion(const char* fileName, uint32_t* major, uint32_t* minor, uint32_t* third);
    // "Version %u.%u%u".
    static String FormatVersion(uint32_t major, uint32_t minor, uint32_t third);

    String GetVersionText() const;
    Button* GetOkButton() const { return m_ok; }

private:
    void GetModuleVersion();
    void CreateFonts();
    void CreateControls();
    void HandleOKClick(Object* sender);

    Panel* m_frame = nullptr;
    Panel* m_inner = nullptr;
    Label* m_title = nullptr;
    Label* m_version = nullptr;
    Button* m_ok = nullptr;
    HFONT m_titleFont = nullptr;
    HFONT m_versionFont = nullptr;
    uint32_t m_major = 0;
    uint32_t m_minor = 0;
    uint32_t m_third = 0;
};
