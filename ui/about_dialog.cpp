#include "ui/about_dialog.h"

#include <cstdio>
#include <cstring>

#include "foundation/scratch_buffer.h"
#include "toolkit/button.h"
#include "toolkit/panel.h"
#include "ui/shared_looks.h"

namespace {

constexpr COLORREF kTitleColour = 0x2040FF;
constexpr COLORREF kVersionColour = 0xFFFF00;

HFONT MakeFont(LONG height, LONG weight) {
    LOGFONTA font;
    std::memset(&font, 0, sizeof font);
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfCharSet = DEFAULT_CHARSET;
    std::strcpy(font.lfFaceName, "Arial");
    return CreateFontIndirectA(&font);
}

// The module this code lives in: the plug-in DLL in the product, the program in a test.
HMODULE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnModule), &module);
    return module;
}

}  // namespace

CAboutDialog::CAboutDialog(HWND parent, int x, int y, int clientWidth, int clientHeight, DWORD style, DWORD exStyle)
    : Component("About", style, exStyle, x, y, clientWidth, clientHeight, parent) {
    GetModuleVersion();
    CreateFonts();
    SetClientSize(clientWidth, clientHeight);
    CreateControls();
}

CAboutDialog::~CAboutDialog() {
    // The labels use the fonts: they go first.
    delete m_frame;
    delete m_ok;
    if (m_titleFont) DeleteObject(m_titleFont);
    if (m_versionFont) DeleteObject(m_versionFont);
}

void CAboutDialog::ReadFileVersion(const char* fileName, uint32_t* major, uint32_t* minor, uint32_t* third) {
    *major = *minor = *third = 0;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(fileName, &handle);
    if (!size) return;
    ScratchBuffer<uint8_t> block(size);
    if (!block.GetData() || !GetFileVersionInfoA(fileName, 0, size, block.GetData())) return;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.GetData(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof *info)
        return;
    *major = HIWORD(info->dwFileVersionMS);
    *minor = LOWORD(info->dwFileVersionMS);
    *third = HIWORD(info->dwFileVersionLS);
}

String CAboutDialog::FormatVersion(uint32_t major, uint32_t minor, uint32_t third) {
    char text[64];
    std::snprintf(text, sizeof text, "Version %u.%u%u", major, minor, third);
    return String(text);
}

void CAboutDialog::GetModuleVersion() {
    char path[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(OwnModule(), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    path[n] = 0;
    ReadFileVersion(path, &m_major, &m_minor, &m_third);
}

String CAboutDialog::GetVersionText() const { return m_version ? m_version->GetText() : String(""); }

void CAboutDialog::CreateFonts() {
    if (!m_titleFont) m_titleFont = MakeFont(-18, 500);
    if (!m_versionFont) m_versionFont = MakeFont(-14, 400);
}

void CAboutDialog::CreateControls() {
    RECT client;
    ::GetClientRect(GetHandle(), &client);
    m_frame = new Panel("", GetHandle(), 5, 5, client.right - 10, client.bottom - 35, 0x56010000, 0);
    if (!m_frame) return;
    m_inner = new Panel("", m_frame->GetHandle(), 0, 0, 10, 10, 0x56010000, 0);
    if (m_inner) {
        m_inner->SetAlign(kAlignFill);
        m_inner->SetBorderStyle(kBorderSunken);
        m_inner->SetBackColor(look::kDarkGrey);
        m_frame->Layout();
        RECT inner;
        m_inner->GetClientRect(&inner);
        const int centre = (inner.left + inner.right) / 2;
        int y = 5;
        m_title = new Label("K927 APCO Demodulator", m_inner->GetHandle(), 0, y, 0, 0, 0x54000000);
        if (m_title) {
            m_title->SetFont(m_titleFont);
            m_title->SetTextColor(kTitleColour);
            m_title->AutoSize();
            m_title->Move(centre - m_title->Width() / 2, y);
            y = m_title->Bottom() + 5;
        }
        m_version =
            new Label(FormatVersion(m_major, m_minor, m_third).CStr(), m_inner->GetHandle(), 0, y, 0, 0, 0x54000000);
        if (m_version) {
            m_version->SetFont(m_versionFont);
            m_version->SetTextColor(kVersionColour);
            m_version->AutoSize();
            m_version->Move(centre - m_version->Width() / 2, y);
        }
    }
    m_ok = new Button("OK", GetHandle(), (client.right - 50) / 2, client.bottom - 25, 50, 20, 0x54010000);
    if (m_ok) {
        ApplyButtonLook(m_ok);
        m_ok->OnClick.Bind(this, &CAboutDialog::HandleOKClick);
    }
}

void CAboutDialog::HandleOKClick(Object*) { Show(false); }
