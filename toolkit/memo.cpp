#include "toolkit/memo.h"

#include "toolkit/application.h"
#include "toolkit/scroll_bar.h"

Memo::Memo(HWND parent, int x, int y, int width, int height, DWORD style)
    : Component("", WS_CHILD, 0, 0, 0, 0, 0, parent) {
    SetType(kTagMemo);
    SetKeyPreview(false);
    HWND native = CreateWindowExA(0, "EDIT", "", style & ~static_cast<DWORD>(WS_VISIBLE), x, y, width, height, parent,
                                  nullptr, GetApplication()->GetInstance(), nullptr);
    if (!native) return;
    Attach(native);
    UpdateBounds();
    SetBevelDepth((Height() - ClientHeight()) / 2);
    SetWindowPos(native, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    ShowWindow(native, SW_SHOW);
    SetFont(OwnFont());
}

Memo::~Memo() {
    delete m_scroll;
    m_scroll = nullptr;
}

void Memo::SetFont(HFONT font) {
    Component::SetFont(font);
    if (m_scroll) SetRightMargin(m_scroll->Width());
}

LRESULT Memo::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SIZE: {
        LRESULT result = Component::WndProc(msg, wParam, lParam);
        DoOnCommand(MAKEWPARAM(0, EN_VSCROLL));
        return result;
    }
    case WM_NCPAINT:
        DrawFrame();  // the system's border is never painted
        return 0;
    case WM_MOUSEWHEEL: {
        int lines = -(static_cast<int16_t>(HIWORD(wParam)) / WHEEL_DELTA);
        SendMessageA(GetHandle(), EM_LINESCROLL, 0, lines);
        // The edit control reports no scrolling of its own asked for by a message.
        SyncScrollBar();
        return Component::WndProc(msg, wParam, lParam);
    }
    default: return Component::WndProc(msg, wParam, lParam);
    }
}

LRESULT Memo::DoOnCommand(WPARAM wParam) {
    switch (HIWORD(wParam)) {
    case EN_CHANGE:
        DoOnChange();
        SyncScrollBar();
        break;
    case EN_VSCROLL: SyncScrollBar(); break;
    default: break;
    }
    return 0;
}

void Memo::SyncScrollBar() {
    if (!m_scroll) return;
    int lines = GetLineCount();
    int first = static_cast<int>(SendMessageA(GetHandle(), EM_GETFIRSTVISIBLELINE, 0, 0));
    RECT format = {};
    SendMessageA(GetHandle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    int line = GetLineHeight() > 0 ? GetLineHeight() : 1;
    int visible = format.bottom > format.top ? (format.bottom - format.top) / line : 0;
    if (visible > lines) visible = lines;
    m_scroll->SetParams(0, lines, visible, first);
}

void Memo::HandleScroll(Object*) {
    int first = static_cast<int>(SendMessageA(GetHandle(), EM_GETFIRSTVISIBLELINE, 0, 0));
    SendMessageA(GetHandle(), EM_LINESCROLL, 0, static_cast<LPARAM>(m_scroll->GetPos() - first));
}

void Memo::DoOnChange() { OnChange.Invoke(this); }

void Memo::SetScrollBar(bool on, COLORREF colour) {
    if (on && m_scroll) {
        m_scroll->SetTextColor(colour);
    } else if (on) {
        m_scroll = new ScrollBar(GetHandle(), ScrollBar::kVertical, 0, 0, 16, 40, kAlignRightDock);
        if (!m_scroll) return;
        m_scroll->SetSunkenUsesBackColor(false);
        m_scroll->SetStyle(m_scroll->GetStyle() & ~static_cast<DWORD>(WS_TABSTOP));
        SetRightMargin(m_scroll->Width());  // the text stays clear of the bar
        m_scroll->SetTabStop(false);
        m_scroll->SetTextColor(colour);
        m_scroll->OnScroll.Bind(this, &Memo::HandleScroll);
        DoOnCommand(MAKEWPARAM(0, EN_CHANGE));
        SetFocusable(true);
    } else if (m_scroll) {
        delete m_scroll;
        m_scroll = nullptr;
        SetRightMargin(0);
        SetFocusable(false);
    }
}

void Memo::SetText(const char* text) {
    Component::SetText(text);
    SendMessageA(GetHandle(), WM_COMMAND, MAKEWPARAM(0, EN_VSCROLL), reinterpret_cast<LPARAM>(GetHandle()));
}

void Memo::DrawFrame() {
    HDC dc = GetWindowDC(GetHandle());
    if (!dc) return;
    RECT window;
    GetWindowRect(GetHandle(), &window);
    RECT r = {0, 0, window.right - window.left - 1, window.bottom - window.top - 1};
    HGDIOBJ oldPen = GetCurrentObject(dc, OBJ_PEN);
    for (int i = 0; i < GetBevelDepth(); ++i) {
        HPEN light = GetShadePen(i, 0), dark = GetShadePen(i, 1);
        if (light && dark) {
            SelectObject(dc, dark);
            MoveToEx(dc, r.left, r.bottom, nullptr);
            LineTo(dc, r.left, r.top);
            LineTo(dc, r.right, r.top);
            SelectObject(dc, light);
            LineTo(dc, r.right, r.bottom);
            LineTo(dc, r.left, r.bottom);
        }
        InflateRect(&r, -1, -1);
    }
    SelectObject(dc, oldPen);
    ReleaseDC(GetHandle(), dc);
}

HPEN Memo::GetShadePen(int index, int dark) const {
    int count = 0;
    const ShadePair* pairs = GetShadePairs(&count);
    if (!pairs || index < 0 || index >= count) return nullptr;
    return dark ? pairs[index].dark : pairs[index].light;
}

int Memo::GetLineCount() { return static_cast<int>(SendMessageA(GetHandle(), EM_GETLINECOUNT, 0, 0)); }
int Memo::LineIndex(int line) { return static_cast<int>(SendMessageA(GetHandle(), EM_LINEINDEX, line, 0)); }

int Memo::GetLineLength(int line) {
    int first = LineIndex(line);
    return first < 0 ? 0 : static_cast<int>(SendMessageA(GetHandle(), EM_LINELENGTH, first, 0));
}

String Memo::GetLine(int line) {
    int length = GetLineLength(line);
    int size = (length > 2 ? length : 2) + 1;
    String text(size);
    if (text.GetCapacity() < size) return String("");
    int copied = GetLineBuffer(line, &text[0], size);
    text.UpdateLength();
    return copied > 0 ? text : String("");
}

int Memo::GetLineBuffer(int line, char* buffer, int size) {
    if (size < 2 || !buffer) return 0;
    // The count word asks for one character less than the buffer holds: the terminator fits.
    int room = size - 1 > 0xFFFF ? 0xFFFF : size - 1;
    *reinterpret_cast<WORD*>(buffer) = static_cast<WORD>(room);
    int copied = static_cast<int>(SendMessageA(GetHandle(), EM_GETLINE, line, reinterpret_cast<LPARAM>(buffer)));
    if (copied < 0) copied = 0;
    if (copied > room) copied = room;
    buffer[copied] = 0;
    return copied;
}

void Memo::NewLine() {
    int last = GetLineCount() - 1;
    InsertAt(LineIndex(last) + GetLineLength(last), String("\r\n"));
}

void Memo::Append(const char* text) {
    int last = GetLineCount() - 1;
    InsertTextAt(LineIndex(last) + GetLineLength(last), text);
}

void Memo::InsertAt(int position, const String& text) {
    SendMessageA(GetHandle(), EM_SETSEL, position, position);
    ReplaceSel(text);
}

void Memo::InsertTextAt(int position, const char* text) {
    SendMessageA(GetHandle(), EM_SETSEL, position, position);
    ReplaceSelText(text);
}

void Memo::ReplaceLine(int line, const String& text) { ReplaceLineText(line, text.CStr()); }

void Memo::ReplaceLineText(int line, const char* text) {
    int first = LineIndex(line);
    if (first < 0) return;
    SendMessageA(GetHandle(), EM_SETSEL, first, first + GetLineLength(line));
    ReplaceSelText(text);
}

void Memo::SetReadOnly(bool on) { SendMessageA(GetHandle(), EM_SETREADONLY, on, 0); }

void Memo::SetRightMargin(int pixels) {
    SendMessageA(GetHandle(), EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, pixels));
}

void Memo::GetSel(int* start, int* length) {
    DWORD s = 0, e = 0;
    SendMessageA(GetHandle(), EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    *start = static_cast<int>(s);
    *length = static_cast<int>(e - s);
}

void Memo::SetSel(int start, int length) { SendMessageA(GetHandle(), EM_SETSEL, start, start + length); }
void Memo::ReplaceSel(const String& text) { ReplaceSelText(text.CStr()); }
void Memo::ReplaceSelText(const char* text) {
    SendMessageA(GetHandle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text ? text : ""));
}

void Memo::LineFromChar(int index, int* column, int* line) {
    *line = static_cast<int>(SendMessageA(GetHandle(), EM_LINEFROMCHAR, index, 0));
    *column = index - LineIndex(*line);
}

void Memo::PosFromChar(int index, int* x, int* y) {
    LRESULT r = SendMessageA(GetHandle(), EM_POSFROMCHAR, index, 0);
    *x = static_cast<int16_t>(LOWORD(r));
    *y = static_cast<int16_t>(HIWORD(r));
}

int Memo::CharFromPos(int x, int y) { return LOWORD(SendMessageA(GetHandle(), EM_CHARFROMPOS, 0, MAKELPARAM(x, y))); }

void Memo::SetLimit(int characters) { SendMessageA(GetHandle(), EM_LIMITTEXT, characters, 0); }

void Memo::GetCaretLineCol(int* column, int* line) {
    int start, length;
    GetSel(&start, &length);
    LineFromChar(start, column, line);
}

void Memo::SetCaretLineCol(int column, int line) {
    int p = LineIndex(line) + column;
    SendMessageA(GetHandle(), EM_SETSEL, p, p);
}
