// Two small controls of the player/recorder panel: the seek bar, a thin bar that shows the
// playing position within the file's audio data and lets the user drag it, and the popup file
// list that drops out of the panel's file box and reports when it loses the focus.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/event.h"
#include "toolkit/listbox.h"
#include "toolkit/panel.h"

class CFilePosBar : public Panel {
public:
    CFilePosBar(HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle);
    ~CFilePosBar() override = default;

    void DoOnLButtonDown(int keys, int x, int y) override;
    void DoOnLButtonUp(int keys, int x, int y) override;
    void DoOnMouseMove(int keys, int x, int y) override;
    LRESULT DoOnPaint(HDC hdc) override;

    // Neither clamps the position nor repaints; the next position change does.
    void SetRangeStart(uint32_t value) { m_start = value; }
    void SetRange(uint32_t value) { m_end = value; }
    // Clamped to the range; raises OnPosChange when the stored position changes.
    void SetPos(uint32_t value);
    void SetColor(COLORREF colour) { m_barColour = colour; }
    void SetVertical(bool on);

    uint32_t GetRangeStart() const { return m_start; }
    uint32_t GetRange() const { return m_end; }
    uint32_t GetPos() const { return m_position; }
    int GetFill() const { return m_fill; }

    Event<uint32_t> OnPosChange;

private:
    void UpdateFill();
    void OnMouseDrag(int p);
    int Length();

    uint32_t m_start = 0;
    uint32_t m_end = 100;
    uint32_t m_position = 0;
    bool m_vertical = false;
    int m_fill = 0;
    bool m_captured = false;
    COLORREF m_barColour = 0xFFFFFF;
};

// A Listbox turned into a popup window of its parent, so that it can hang over the rest of
// the main window.
class CPlayRecFileList : public Listbox {
public:
    CPlayRecFileList(HWND parent, int x, int y, int width, int height, int kind, bool withItems);
    ~CPlayRecFileList() override;

    void DoOnFocus(bool gained) override;
    // The owner's pointer to this list, cleared when the list goes (the list hangs on the
    // main window, which may delete it first).
    void SetOwnerSlot(CPlayRecFileList** slot) { m_ownerSlot = slot; }

    Event<> OnFocusLost;

private:
    CPlayRecFileList** m_ownerSlot = nullptr;
};
