// The toolkit's owner-painted list of text items: a Panel with a vertical ScrollBar docked on
// its right (its position is the first visible row), an item store of its own, and single
// (mode 0), follow-the-mouse (mode 1, the drop-down) or multiple (mode 2) selection.
//
// In the single modes at most the current item carries the mark, and the current index stays
// valid (an existing item or -1) through every insert, remove, swap and count change; no
// operation touches a record at or beyond the count. Out-of-range indexes are ignored. A list
// without item store (has items 0) only paints rows through OnDrawItem. GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/item_array.h"
#include "foundation/string.h"
#include "toolkit/panel.h"

class ScrollBar;

constexpr uint32_t kTagListbox = kTypeTagBase + 7;
constexpr uint32_t kTagComboBox = kTypeTagBase + 8;

struct ListboxItem {
    static constexpr uint32_t kMarked = 1;
    String text;
    uint32_t flags = 0;
};

// Owns its records: Remove (and so Clear) destroys them, Detach hands one out.
class ListboxItemArray : public ItemArray {
public:
    static constexpr uint32_t kInitialCount = 1024;
    static constexpr uint32_t kMaxCount = 0x400000;

    ListboxItemArray() : ItemArray(kInitialCount, kMaxCount) {}
    ~ListboxItemArray() override;

    Item Remove(uint32_t index) override;  // destroys the record; returns 0
    ListboxItem* Detach(uint32_t index);   // null when index >= count
    // False (and the record not taken) when the store is full.
    bool Put(ListboxItem* item, uint32_t index);
    ListboxItem* At(uint32_t index) const {
        return index < GetCount() ? reinterpret_cast<ListboxItem*>(GetItem(index)) : nullptr;
    }
};

class Listbox : public Panel {
public:
    enum Mode : int { kSingle = 0, kFollowMouse = 1, kMultiple = 2 };
    static constexpr int kDropDown = 3;  // the kind of a combo box's popup list: mode 1

    static DWORD GetStyleForKind(int kind);

    Listbox(HWND parent, int x, int y, int width, int height, int kind, bool withItems);
    ~Listbox() override;

    using Component::DoOnDblClick;
    void DoOnLButtonDown(int keys, int x, int y) override;
    void DoOnLButtonUp(int keys, int x, int y) override;
    void DoOnRButtonDown(int keys, int x, int y) override;
    void DoOnMouseMove(int keys, int x, int y) override;
    void SetFont(HFONT font) override;
    LRESULT DoOnPaint(HDC hdc) override;
    void DoOnKeyDown(int key, LPARAM flags) override;
    void DoOnResize() override;
    void DoOnMouseWheel(WPARAM packed, Component* sender) override;  // scrolls; never passed on

    virtual void DoOnScroll();
    virtual void DoOnChange();
    virtual void DoOnItemClick();
    virtual void DoOnDblClick();

    void Add(const String& text);
    void Insert(const String& text, int index);  // index clamped to the count
    void Remove(int index);
    void Clear();
    int Count() const { return m_items ? static_cast<int>(m_items->GetCount()) : 0; }
    int GetCurrent() const { return m_current; }
    int GetMode() const { return m_mode; }
    String GetItemText(int index) const;  // empty when out of range
    ListboxItem* GetItem(int index) const;
    bool IsSelected(int index) const;
    void SetItemText(int index, const String& text);  // clears the item's mark
    int IndexOf(const String& text) const;            // exact, first; -1 when none
    void Swap(int i, int j);
    void Select(int index, bool on);
    void SetItemCount(int rows);  // lists without item store only
    void SetTopIndex(int row);
    int GetTopIndex() const;
    // Whole rows between the bevels; 0 when the list is shorter than its bevels.
    int GetVisibleRows() const;
    void SetSelectionBackColor(COLORREF colour);
    void SetSelectionTextColor(COLORREF colour);
    // y from the top of the rows (the bevel already subtracted); -1 below the last row.
    int RowAt(int y) const;
    ScrollBar* GetScrollBar() const { return m_scroll; }

    Event<> OnScroll;
    Event<> OnItemClick;
    Event<> OnDblClick;
    Event<> OnChange;
    // After every change of the items (added, inserted, removed, moved, renamed, cleared), so
    // that an owner holding one of them (a combo box's choice) can follow it. Not raised while
    // the list goes.
    Event<> OnItemsChange;
    // (device context, row rectangle, index, 1), before each visible row's default drawing.
    Event<HDC, RECT*, int, int> OnDrawItem;

private:
    int RowTotal() const { return m_items ? Count() : m_rowCount; }
    int LineHeight() const { return GetLineHeight() > 0 ? GetLineHeight() : 1; }
    bool InsideBevel(int x, int y) const;
    void ResetScrollBar(int rows);
    void SetMark(int index, bool on);
    void HandleScroll(Object* sender);

    int m_mode;
    ScrollBar* m_scroll = nullptr;
    bool m_hasItems;
    int m_current = -1;
    ListboxItemArray* m_items = nullptr;
    int m_rowCount = 0;
    COLORREF m_selectionBack;
    COLORREF m_selectionText;
    DWORD m_lastClickTick = 0;
    int m_lastClickIndex = -2;
};
