// The toolkit's drop-down selector: a Panel showing the chosen text as its caption, an arrow
// Button docked on its right, and a popup Listbox (drop-down kind) that opens under the box.
//
// Closed (list hidden, arrow up) <-> open (list under the box, arrow down). A click on the
// arrow or the box opens a closed list and closes an open one; an item click or Enter in the
// list chooses and closes; Escape and any loss of the list's focus (a click elsewhere, another
// window activated) close without a change. A click on the arrow or the box that takes the
// focus from the open list only closes it. The arrow is not a grouped toggle: the box sets its
// state. The list is a child in the box's ring and dies with the box. GUI thread only.
//
// The choice names an item, not a position: when the list's items change (a rebuild, an
// insert or removal before it, a rename) the current index and the caption follow the item;
// when the item is gone the choice is cleared (current -1, empty caption), so a later Select
// of any index takes effect.
#pragma once

#include <windows.h>

#include "toolkit/button.h"
#include "toolkit/listbox.h"
#include "toolkit/panel.h"

class ComboBox : public Panel {
public:
    static constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP;
    static constexpr int kListHeight = 80;
    static constexpr int kArrowWidth = 20;

    ComboBox(HWND parent, int x, int y, int width, int height);
    ~ComboBox() override;

    using Panel::SetText;
    void DoOnLButtonDown(int keys, int x, int y) override;
    void DoOnLButtonUp(int keys, int x, int y) override;
    // Makes the item carrying the text current (-1 when none carries it) and shows the text.
    void SetText(const char* text) override;
    void DrawCaption(HDC hdc, const RECT& rect, const char* text, int length) override;

    virtual void DoOnDropDown(bool open);
    virtual void DoOnChange();

    void DropDown(bool open);
    bool IsDroppedDown() const { return m_open; }
    // No event. An index out of range clears the choice. Of two items with the same text the
    // first becomes current.
    void Select(int index);
    int GetCurrent() const { return m_current; }
    String GetItemText(int index) const;  // -1: the current item
    void SetButtonWidth(int width);       // the arrow's and the list's scroll bar
    int GetWidth() const { return Width(); }
    Listbox* GetList() const { return m_list; }
    Button* GetButton() const { return m_arrow; }

    Event<int> OnDropDown;  // 1 opened, 0 closed
    Event<> OnChange;       // the user chose an item

private:
    void HandleButtonClick(Object* sender);
    void HandleArrowMouseDown(Object* sender, int keys, int x, int y);
    void HandleArrowMouseUp(Object* sender, int keys, int x, int y);
    void HandleListItemClick(Object* sender);
    void HandleListMessage(Object* sender, MessageRecord* message);
    void HandleItemsChange(Object* sender);
    bool WasOpenAtPress();
    void SetCurrent(int index);

    Button* m_arrow = nullptr;
    Listbox* m_list = nullptr;
    int m_current = -1;
    // The chosen item's record: after a change of the list it tells where the choice went.
    // Null without a choice.
    const ListboxItem* m_chosen = nullptr;
    bool m_open = false;
    // A press on the box or the arrow that closed the open list by taking its focus.
    bool m_closedByPress = false;
    bool m_openAtPress = false;
    bool m_mousePress = false;
};
