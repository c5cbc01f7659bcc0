#include "toolkit/listbox.h"

#include "toolkit/scroll_bar.h"

ListboxItemArray::~ListboxItemArray() {
    for (uint32_t i = GetCount(); i > 0; --i) Remove(i - 1);
}

ItemArray::Item ListboxItemArray::Remove(uint32_t index) {
    delete Detach(index);
    return 0;
}

ListboxItem* ListboxItemArray::Detach(uint32_t index) {
    return reinterpret_cast<ListboxItem*>(ItemArray::Remove(index));
}

bool ListboxItemArray::Put(ListboxItem* item, uint32_t index) {
    uint32_t before = GetCount();
    Insert(reinterpret_cast<Item>(item), index);
    return GetCount() > before;
}

DWORD Listbox::GetStyleForKind(int kind) {
    return kind == kDropDown ? WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS
                             : WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP;
}

Listbox::Listbox(HWND parent, int x, int y, int width, int height, int kind, bool withItems)
    : Panel("", parent, x, y, width, height, GetStyleForKind(kind), 0),
      m_mode(kind == kDropDown ? kFollowMouse : kind),
      m_hasItems(withItems) {
    SetType(kTagListbox);
    SetBorderStyle(kBorderSunken);
    m_selectionBack = GetFaceColor();
    m_selectionText = GetTextColor();
    m_scroll = new ScrollBar(GetHandle(), ScrollBar::kVertical, 0, 0, 20, 0, kAlignRightDock);
    if (m_scroll) {
        m_scroll->SetTabStop(false);
        m_scroll->SetSunkenUsesBackColor(false);
        m_scroll->SetParams(0, 0, 0, 0);
        m_scroll->OnScroll.Bind(this, &Listbox::HandleScroll);
    }
    SetFocusable(true);
    if (withItems) m_items = new ListboxItemArray();
    UpdateBounds();
}

Listbox::~Listbox() {
    OnItemsChange.Unbind();
    Clear();
    delete m_items;
    m_items = nullptr;
}

void Listbox::ResetScrollBar(int rows) {
    if (m_scroll) m_scroll->SetParams(0, rows, GetVisibleRows(), m_scroll->GetPos());
}

int Listbox::GetVisibleRows() const {
    int inner = ClientHeight() - 2 * GetBevelDepth();
    return inner > 0 ? inner / LineHeight() : 0;
}

int Listbox::GetTopIndex() const { return m_scroll ? static_cast<int>(m_scroll->GetPos()) : 0; }
void Listbox::SetTopIndex(int row) {
    if (m_scroll) m_scroll->SetPos(row);
}

int Listbox::RowAt(int y) const {
    int line = LineHeight();
    int row = (y >= 0 ? y / line : -((-y + line - 1) / line)) + GetTopIndex();
    return row < 0 || row >= RowTotal() ? -1 : row;
}

bool Listbox::InsideBevel(int x, int y) const {
    int b = GetBevelDepth();
    return x >= b && y >= b && y < ClientHeight() - b;
}

String Listbox::GetItemText(int index) const {
    ListboxItem* item = GetItem(index);
    return item ? item->text : String("");
}

ListboxItem* Listbox::GetItem(int index) const { return m_items ? m_items->At(static_cast<uint32_t>(index)) : nullptr; }

bool Listbox::IsSelected(int index) const {
    ListboxItem* item = GetItem(index);
    return item && (item->flags & ListboxItem::kMarked);
}

void Listbox::SetMark(int index, bool on) {
    if (ListboxItem* item = GetItem(index))
        item->flags = on ? item->flags | ListboxItem::kMarked : item->flags & ~ListboxItem::kMarked;
}

void Listbox::Add(const String& text) {
    if (!m_items) return;
    ListboxItem* item = new ListboxItem;
    if (!item) return;
    item->text = text;
    if (!m_items->Put(item, m_items->GetCount())) {
        delete item;  // the store is full: the item is dropped
        return;
    }
    ResetScrollBar(Count());
    Invalidate();
    OnItemsChange.Invoke(this);
}

void Listbox::Insert(const String& text, int index) {
    if (!m_items) return;
    if (index < 0 || index > Count()) index = Count();
    ListboxItem* item = new ListboxItem;
    if (!item) return;
    item->text = text;
    if (!m_items->Put(item, static_cast<uint32_t>(index))) {
        delete item;
        return;
    }
    // The current item (or mode 2's anchor) keeps naming the same record.
    if (m_current != -1 && index <= m_current) ++m_current;
    ResetScrollBar(Count());
    Invalidate();
    OnItemsChange.Invoke(this);
}

void Listbox::Remove(int index) {
    if (!m_items || static_cast<unsigned>(index) >= m_items->GetCount()) return;
    m_items->Remove(static_cast<uint32_t>(index));
    if (index == m_current)
        m_current = -1;
    else if (index < m_current)
        --m_current;
    ResetScrollBar(Count());
    Invalidate();
    OnItemsChange.Invoke(this);
}

void Listbox::Clear() {
    if (m_items) m_items->Clear();
    if (m_scroll) m_scroll->SetParams(0, 0, 0, 0);
    m_current = -1;
    Invalidate();
    OnItemsChange.Invoke(this);
}

void Listbox::SetItemText(int index, const String& text) {
    ListboxItem* item = GetItem(index);
    if (!item) return;
    item->text = text;
    item->flags &= ~ListboxItem::kMarked;
    Invalidate();
    OnItemsChange.Invoke(this);
}

int Listbox::IndexOf(const String& text) const {
    for (int i = 0; i < Count(); ++i)
        if (GetItem(i)->text == text) return i;
    return -1;
}

void Listbox::Swap(int i, int j) {
    if (!m_items || static_cast<unsigned>(i) >= m_items->GetCount() || static_cast<unsigned>(j) >= m_items->GetCount())
        return;
    m_items->Swap(static_cast<uint32_t>(i), static_cast<uint32_t>(j));
    if (m_current == i)
        m_current = j;
    else if (m_current == j)
        m_current = i;
    Invalidate();
    OnItemsChange.Invoke(this);
}

void Listbox::SetItemCount(int rows) {
    if (m_items) return;
    m_rowCount = rows < 0 ? 0 : rows;
    if (m_current >= m_rowCount) m_current = -1;
    ResetScrollBar(m_rowCount);
    Invalidate();
}

void Listbox::Select(int index, bool on) {
    if (!m_items || static_cast<unsigned>(index) >= m_items->GetCount()) return;
    if (m_mode == kMultiple) {
        SetMark(index, on);
        Invalidate();
        return;
    }
    if (on && index != m_current) {
        SetMark(m_current, false);
        SetMark(index, true);
        m_current = index;
        int top = GetTopIndex(), rows = GetVisibleRows();
        if (index < top)
            SetTopIndex(index);
        else if (index >= top + rows)
            SetTopIndex(index - rows + 1);
        Invalidate();
        DoOnChange();
    } else if (!on && index == m_current) {
        SetMark(index, false);
        m_current = -1;
        Invalidate();
        DoOnChange();
    }
}

void Listbox::SetSelectionBackColor(COLORREF colour) {
    m_selectionBack = colour;
    Invalidate();
}

void Listbox::SetSelectionTextColor(COLORREF colour) {
    m_selectionText = colour;
    Invalidate();
}

void Listbox::DoOnScroll() { OnScroll.Invoke(this); }
void Listbox::DoOnChange() { OnChange.Invoke(this); }
void Listbox::DoOnItemClick() { OnItemClick.Invoke(this); }
void Listbox::DoOnDblClick() { OnDblClick.Invoke(this); }

void Listbox::HandleScroll(Object*) {
    Invalidate();
    DoOnScroll();
}

void Listbox::DoOnLButtonDown(int keys, int x, int y) {
    ::SetFocus(GetHandle());
    if (!InsideBevel(x, y)) return;
    int row = RowAt(y - GetBevelDepth());
    if (m_items && m_mode == kSingle && (keys & MK_LBUTTON)) {
        if (row != -1) Select(row, true);
    } else if (m_items && m_mode == kMultiple && row != -1) {
        if (keys & MK_CONTROL) {
            Select(row, !IsSelected(row));
        } else if (keys & MK_SHIFT) {
            // Without an anchor the range is the row alone.
            int anchor = m_current == -1 ? row : m_current;
            int lo = row < anchor ? row : anchor, hi = row < anchor ? anchor : row;
            for (int i = lo; i <= hi && i < Count(); ++i) SetMark(i, true);
            Invalidate();
            DoOnChange();
        } else {
            for (int i = 0; i < Count(); ++i) SetMark(i, false);
            SetMark(row, true);
            m_current = row;
            Invalidate();
        }
    }
    Panel::DoOnLButtonDown(keys, x, y);
}

// Measured like the press, from the top of the rows, so that press and release name the
// same row.
void Listbox::DoOnLButtonUp(int keys, int x, int y) {
    int row = RowAt(y - GetBevelDepth());
    DWORD now = GetTickCount();
    RECT client;
    ::GetClientRect(GetHandle(), &client);
    POINT p = {x, y};
    if (row == m_lastClickIndex && now - m_lastClickTick < GetDoubleClickTime()) {
        DoOnDblClick();
    } else if (PtInRect(&client, p)) {
        DoOnItemClick();
        m_lastClickTick = now;
        m_lastClickIndex = row;
    }
    Panel::DoOnLButtonUp(keys, x, y);
}

void Listbox::DoOnRButtonDown(int keys, int x, int y) {
    ::SetFocus(GetHandle());
    if (m_mode == kSingle && (keys & MK_RBUTTON) && InsideBevel(x, y)) {
        int row = RowAt(y - GetBevelDepth());
        if (row != -1) Select(row, true);
    }
}

void Listbox::DoOnMouseMove(int keys, int x, int y) {
    if (m_items && !InsideBevel(x, y)) return;
    if (m_mode == kFollowMouse) {
        int row = RowAt(y - GetBevelDepth());
        if (row != -1) Select(row, true);
    }
    Panel::DoOnMouseMove(keys, x, y);
}

void Listbox::DoOnKeyDown(int key, LPARAM flags) {
    if (m_mode != kMultiple) {
        int rows = GetVisibleRows();
        switch (key) {
        case VK_UP:
            if (m_current != -1) Select(m_current - 1, true);
            break;
        case VK_DOWN: Select(m_current + 1, true); break;
        case VK_NEXT: {
            int i = m_current + rows;
            Select(i > Count() - 1 ? Count() - 1 : i, true);
            break;
        }
        case VK_PRIOR: {
            int i = m_current - rows;
            Select(i < 0 ? 0 : i, true);
            break;
        }
        case VK_RETURN: DoOnItemClick(); break;
        case VK_ESCAPE:
            if (GetParent() && GetParent()->GetType() == kTagComboBox) {
                Show(false);
                ::SetFocus(GetParent()->GetHandle());
            }
            break;
        default: break;
        }
    }
    Panel::DoOnKeyDown(key, flags);
}

void Listbox::DoOnResize() {
    ResetScrollBar(RowTotal());
    Panel::DoOnResize();
}

void Listbox::SetFont(HFONT font) {
    Panel::SetFont(font);
    ResetScrollBar(RowTotal());
}

void Listbox::DoOnMouseWheel(WPARAM packed, Component*) {
    if (m_scroll) m_scroll->SetPos(GetTopIndex() - static_cast<int16_t>(HIWORD(packed)));
}

LRESULT Listbox::DoOnPaint(HDC hdc) {
    RECT r;
    GetClientRect(&r);
    if (m_scroll && m_scroll->IsVisible()) r.right -= m_scroll->Width();
    HFONT font = GetFont();
    HGDIOBJ oldFont = SelectObject(hdc, font && font != InheritFont() ? font : GetStockObject(SYSTEM_FONT));
    int oldMode = SetBkMode(hdc, TRANSPARENT);
    COLORREF oldBack = GetBkColor(hdc), oldText = ::GetTextColor(hdc);
    const int line = LineHeight(), top = GetTopIndex(), last = top + GetVisibleRows() + 1;
    int bottom = r.top;
    for (int i = top; i < last && i < RowTotal(); ++i) {
        RECT row = {r.left, r.top + line * (i - top), r.right, 0};
        if (row.top >= r.bottom) break;
        row.bottom = row.top + line < r.bottom ? row.top + line : r.bottom;
        OnDrawItem.Invoke(this, hdc, &row, i, 1);
        if (ListboxItem* item = GetItem(i)) {
            bool marked = (item->flags & ListboxItem::kMarked) != 0;
            SetBkColor(hdc, marked ? m_selectionBack : GetBackColor());
            ExtTextOutA(hdc, 0, 0, ETO_OPAQUE, &row, "", 0, nullptr);
            ::SetTextColor(hdc, !IsEnabled() ? GetDisabledTextColor() : (marked ? m_selectionText : GetTextColor()));
            DRAWTEXTPARAMS margins = {sizeof margins, 0, 2, 0, 0};
            RECT textRect = row;
            DrawTextExA(hdc, const_cast<char*>(item->text.CStr()), item->text.Length(), &textRect,
                        DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS, &margins);
        }
        bottom = row.bottom;
    }
    RECT rest = {r.left, bottom, r.right, r.bottom};
    if (rest.bottom > rest.top) FillRect(hdc, &rest, GetBackBrush());
    SelectObject(hdc, oldFont);
    SetBkMode(hdc, oldMode);
    SetBkColor(hdc, oldBack);
    ::SetTextColor(hdc, oldText);
    RECT full;
    ::GetClientRect(GetHandle(), &full);
    DrawFrame(hdc, full);
    return Component::DoOnPaint(hdc);
}
