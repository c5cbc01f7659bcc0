#include "toolkit/combo_box.h"

#include "toolkit/scroll_bar.h"

ComboBox::ComboBox(HWND parent, int x, int y, int width, int height)
    : Panel("", parent, x, y, width, height, kStyle, 0) {
    SetType(kTagComboBox);
    m_list = new Listbox(GetHandle(), 0, 0, Width(), kListHeight, Listbox::kDropDown, true);
    if (m_list) {
        m_list->Show(false);
        m_list->OnItemClick.Bind(this, &ComboBox::HandleListItemClick);
        m_list->OnMessage.Bind(this, &ComboBox::HandleListMessage);
        m_list->OnItemsChange.Bind(this, &ComboBox::HandleItemsChange);
    }
    m_arrow =
        new Button("", GetHandle(), 0, 0, kArrowWidth, height, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP);
    if (m_arrow) {
        m_arrow->SetAlign(kAlignRightDock);
        m_arrow->SetGlyph(kGlyphDown);
        m_arrow->OnClick.Bind(this, &ComboBox::HandleButtonClick);
        m_arrow->OnMouseDown.Bind(this, &ComboBox::HandleArrowMouseDown);
        m_arrow->OnMouseUp.Bind(this, &ComboBox::HandleArrowMouseUp);
    }
    SetBorderStyle(kBorderSunken);
    SetCaptionAlign(1);
}

// The list's last messages must not reach a box that is half gone.
ComboBox::~ComboBox() {
    if (m_list) {
        m_list->OnMessage.Unbind();
        m_list->OnItemsChange.Unbind();
    }
    m_open = false;
}

void ComboBox::DropDown(bool open) {
    m_open = open;
    if (m_arrow) m_arrow->SetDown(open);
    if (m_list) {
        if (open) {
            POINT p = GetScreenPos();
            SetWindowPos(m_list->GetHandle(), HWND_TOP, p.x, p.y + Height(), Width(), m_list->Height(), SWP_NOACTIVATE);
        }
        m_list->Show(open);
        if (open) ::SetFocus(m_list->GetHandle());
    }
    DoOnDropDown(open);
}

void ComboBox::DoOnDropDown(bool open) { OnDropDown.Invoke(this, open ? 1 : 0); }
void ComboBox::DoOnChange() { OnChange.Invoke(this); }

bool ComboBox::WasOpenAtPress() {
    bool open = m_open || m_closedByPress;
    m_closedByPress = false;
    return open;
}

void ComboBox::DoOnLButtonDown(int keys, int x, int y) {
    m_openAtPress = WasOpenAtPress();
    Panel::DoOnLButtonDown(keys, x, y);
}

void ComboBox::DoOnLButtonUp(int keys, int x, int y) {
    Panel::DoOnLButtonUp(keys, x, y);
    m_closedByPress = false;
    if (m_open == m_openAtPress) DropDown(!m_openAtPress);  // a focus loss may have closed it already
}

void ComboBox::HandleArrowMouseDown(Object*, int, int, int) {
    m_openAtPress = WasOpenAtPress();
    m_mousePress = true;
}

// A release outside the arrow gives no click: the press is over.
void ComboBox::HandleArrowMouseUp(Object*, int, int x, int y) {
    m_closedByPress = false;
    RECT r;
    ::GetClientRect(m_arrow->GetHandle(), &r);
    POINT p = {x, y};
    if (!PtInRect(&r, p)) m_mousePress = false;
}

void ComboBox::HandleButtonClick(Object*) {
    bool open = m_mousePress ? !m_openAtPress : !m_open;
    m_mousePress = false;
    if (open != m_open)
        DropDown(open);
    else if (m_arrow)
        m_arrow->SetDown(open);
}

void ComboBox::HandleListItemClick(Object*) {
    SetCurrent(m_list->GetCurrent());
    SetText(m_current == -1 ? String("") : m_list->GetItemText(m_current));
    DropDown(false);
    DoOnChange();
}

// The open list closes whenever it loses the focus or stops being the active window; when
// that happens through a press on the box or its arrow, the press must not reopen it.
void ComboBox::HandleListMessage(Object*, MessageRecord* m) {
    if (!m_open) return;
    if (m->msg != WM_KILLFOCUS && !(m->msg == WM_ACTIVATE && LOWORD(m->wParam) == WA_INACTIVE)) return;
    if (GetKeyState(VK_LBUTTON) < 0) {
        POINT p;
        RECT box;
        GetCursorPos(&p);
        GetWindowRect(GetHandle(), &box);
        if (PtInRect(&box, p)) m_closedByPress = true;
    }
    DropDown(false);
}

void ComboBox::SetCurrent(int index) {
    m_current = index;
    m_chosen = m_list ? m_list->GetItem(index) : nullptr;
}

// The list tells of every change of its items at once, before a record can be made again at
// a freed address: a record no longer found in the list is gone, and is never read.
void ComboBox::HandleItemsChange(Object*) {
    if (!m_chosen) return;
    int found = m_list->GetItem(m_current) == m_chosen ? m_current : -1;
    for (int i = 0; found == -1 && i < m_list->Count(); ++i)
        if (m_list->GetItem(i) == m_chosen) found = i;
    SetCurrent(found);
    const String shown = m_chosen ? m_chosen->text : String("");
    if (!(GetText() == shown)) Panel::SetText(shown.CStr());
}

void ComboBox::Select(int index) {
    if (index == m_current) return;
    if (m_list && static_cast<unsigned>(index) < static_cast<unsigned>(m_list->Count())) {
        SetCurrent(index);
        SetText(m_list->GetItemText(index));
    } else {
        SetCurrent(-1);
        SetText("");
    }
    if (m_list) m_list->Select(m_current, true);
}

void ComboBox::SetText(const char* text) {
    if (m_list) Select(m_list->IndexOf(String(text)));
    Panel::SetText(text);
}

String ComboBox::GetItemText(int index) const {
    if (!m_list) return String("");
    return m_list->GetItemText(index == -1 ? m_current : index);
}

void ComboBox::DrawCaption(HDC hdc, const RECT& rect, const char* text, int length) {
    RECT r = rect;
    r.left += 1;
    if (m_arrow) r.right -= m_arrow->Width();
    Panel::DrawCaption(hdc, r, text, length);
}

void ComboBox::SetButtonWidth(int width) {
    if (m_arrow) m_arrow->SetSize(width, 0);
    if (m_list && m_list->GetScrollBar()) m_list->GetScrollBar()->SetSize(width, 0);
}
