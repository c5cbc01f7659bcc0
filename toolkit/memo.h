// The toolkit's multi-line text field: a system "EDIT" window attached to a Component, the
// toolkit's sunken bevel in its non-client border, and optionally a toolkit ScrollBar docked
// on its right that follows the edit control's lines (its position is the first visible
// line, its page the number of lines that fit) and scrolls them.
//
// Lines are numbered from 0; character positions count from the start of the text, a line
// break being two characters ("\r\n"). GUI thread only.
#pragma once

#include <windows.h>

#include "foundation/string.h"
#include "toolkit/component.h"

class ScrollBar;

constexpr uint32_t kTagMemo = kTypeTagBase + 6;

class Memo : public Component {
public:
    // style: the edit control's (ES_MULTILINE and its kin, a border); the window is shown once
    // its frame is set up, whatever WS_VISIBLE says.
    Memo(HWND parent, int x, int y, int width, int height, DWORD style);
    ~Memo() override;

    using Component::SetText;
    void SetFont(HFONT font) override;
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    LRESULT DoOnCommand(WPARAM wParam) override;
    void SetText(const char* text) override;  // and the scroll bar follows

    virtual void DrawFrame();
    virtual void DoOnChange();
    virtual void SetScrollBar(bool on, COLORREF colour);
    virtual ScrollBar* GetScrollBar() const { return m_scroll; }
    virtual int GetLineCount();
    virtual int GetLineLength(int line);  // 0 for a line that does not exist
    virtual String GetLine(int line);
    // Copies at most size - 1 characters of the line and terminates them; returns the number
    // copied. Nothing for a size below 2.
    virtual int GetLineBuffer(int line, char* buffer, int size);
    virtual void NewLine();                 // "\r\n" after the last character
    virtual void Append(const char* text);  // after the last character, no line break
    virtual void InsertAt(int position, const String& text);
    virtual void InsertTextAt(int position, const char* text);
    virtual void ReplaceLine(int line, const String& text);
    virtual void ReplaceLineText(int line, const char* text);
    virtual void SetReadOnly(bool on);
    virtual void SetRightMargin(int pixels);
    virtual void GetSel(int* start, int* length);
    virtual void SetSel(int start, int length);
    virtual void ReplaceSel(const String& text);  // without undo
    virtual void ReplaceSelText(const char* text);

    int LineIndex(int line);  // first character of the line, -1 when it does not exist
    void LineFromChar(int index, int* column, int* line);
    void PosFromChar(int index, int* x, int* y);
    int CharFromPos(int x, int y);
    void SetLimit(int characters);
    void GetCaretLineCol(int* column, int* line);
    void SetCaretLineCol(int column, int line);
    void Clear() { SetText(""); }
    // The shade pair's light (0) or dark (1) pen, own or inherited; null beyond the pairs.
    HPEN GetShadePen(int index, int dark) const;

    Event<> OnChange;

private:
    void SyncScrollBar();
    void HandleScroll(Object* sender);

    ScrollBar* m_scroll = nullptr;
};
