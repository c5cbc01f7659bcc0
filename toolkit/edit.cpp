#include "toolkit/edit.h"

#include <cstring>

#include "toolkit/application.h"
#include "toolkit/drawing.h"

Edit::Edit(HWND parent, int x, int y, int width, int height, DWORD style)
    : Component("", WS_CHILD, 0, 0, 0, 0, 0, parent), m_suffix(1) {
    SetType(kTagEdit);
    SetKeyPreview(false);
    HWND native = CreateWindowExA(0, "EDIT", "", style, x, y, width, height, parent, nullptr,
                                  GetApplication()->GetInstance(), nullptr);
    if (!native) return;
    Attach(native);
    UpdateBounds();
    SetDisabledTextColor(GetSysColor(COLOR_GRAYTEXT));
    SetBevelDepth((Height() - ClientHeight()) / 2);
    HFONT font = GetFont();
    SendMessageA(native, WM_SETFONT, reinterpret_cast<WPARAM>(font == InheritFont() ? nullptr : font), TRUE);
    SendMessageA(native, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(1, 1));
}

Edit::~Edit() = default;

void Edit::FrameChanged() {
    SetWindowPos(GetHandle(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

void Edit::Invalidate() {
    Component::Invalidate();
    FrameChanged();
}

LRESULT Edit::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCCALCSIZE: {
        LRESULT result = Component::WndProc(msg, wParam, lParam);
        if (wParam) reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0].right -= m_suffixWidth;
        return result;
    }
    case WM_NCPAINT: {
        // The system's own border is never painted: the toolkit's frame takes its place.
        HDC dc = GetWindowDC(GetHandle());
        RECT window;
        GetWindowRect(GetHandle(), &window);
        RECT r = {0, 0, window.right - window.left, window.bottom - window.top};
        if (dc) {
            DrawNonClient(dc, r);
            ReleaseDC(GetHandle(), dc);
        }
        return 0;
    }
    default: return Component::WndProc(msg, wParam, lParam);
    }
}

LRESULT Edit::DoOnCommand(WPARAM wParam) {
    if (HIWORD(wParam) == EN_CHANGE) DoOnChange();
    return 0;
}

void Edit::GetClientRect(RECT* rect) {
    Component::GetClientRect(rect);
    rect->right += m_suffixWidth;
}

void Edit::DrawNonClient(HDC hdc, const RECT& rect) {
    RECT r = rect;
    int count = 0;
    const ShadePair* pairs = GetShadePairs(&count);
    int depth = GetBevelDepth();
    if (depth > count) depth = count;
    Draw3DFrame(hdc, &r, kBorderSunken, depth, pairs);
    DrawSuffix(hdc);
}

void Edit::SetSuffixWidth(int width) {
    m_suffixWidth = width;
    FrameChanged();
    UpdateBounds();
}

void Edit::DrawSuffix(HDC hdc) {
    HFONT font = GetFont();
    HGDIOBJ oldFont = SelectObject(hdc, font && font != InheritFont() ? font : GetStockObject(SYSTEM_FONT));
    COLORREF oldText = ::SetTextColor(hdc, IsEnabled() ? GetTextColor() : GetDisabledTextColor());
    COLORREF oldBack = SetBkColor(hdc, GetBackColor());
    auto restore = [&] {
        SelectObject(hdc, oldFont);
        ::SetTextColor(hdc, oldText);
        SetBkColor(hdc, oldBack);
    };

    int width = GetSuffixWidth();
    SIZE text = {0, 0};
    if (m_hasSuffix) GetTextExtentPointA(hdc, m_suffix.CStr(), m_suffix.Length(), &text);
    if (text.cx != width) {
        // The frame change repaints the non-client area with the new width.
        restore();
        SetSuffixWidth(text.cx);
        return;
    }
    RECT window;
    GetWindowRect(GetHandle(), &window);
    RECT r = window;
    DeflateRectBy(&r, -GetBevelDepth());
    OffsetRectBy(&r, -window.left, -window.top);
    r.left = r.right - width;
    FillRect(hdc, &r, GetBackBrush());
    if (ClientHeight() >= GetLineHeight()) {
        // On the text's base line.
        RECT format = {};
        SendMessageA(GetHandle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        r.top += format.top;
    }
    if (m_hasSuffix) DrawTextA(hdc, m_suffix.CStr(), m_suffix.Length(), &r, DT_EDITCONTROL);
    restore();
}

void Edit::DoOnChange() {
    Invalidate();
    OnChange.Invoke(this);
}

void Edit::SetSuffix(const char* text) {
    m_hasSuffix = false;
    m_suffix = "";
    if (!text || !text[0]) return;
    int length = static_cast<int>(strnlen(text, kMaxSuffixLength));
    m_suffix = String(text, length);
    m_hasSuffix = m_suffix.Length() == length;  // a copy that could not be made is no suffix
    FrameChanged();
}

void Edit::SetReadOnly(bool on) { SendMessageA(GetHandle(), EM_SETREADONLY, on, 0); }
bool Edit::IsReadOnly() const { return (GetStyle() & ES_READONLY) != 0; }
void Edit::SetLimitText(int characters) { SendMessageA(GetHandle(), EM_LIMITTEXT, characters, 0); }
void Edit::ResetLimitText() { SendMessageA(GetHandle(), EM_LIMITTEXT, 0, 0); }
void Edit::SetPasswordChar(char c) { SendMessageA(GetHandle(), EM_SETPASSWORDCHAR, static_cast<BYTE>(c), 0); }
char Edit::GetPasswordChar() const { return static_cast<char>(SendMessageA(GetHandle(), EM_GETPASSWORDCHAR, 0, 0)); }
