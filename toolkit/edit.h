// The toolkit's single-line text field: a system "EDIT" control attached to a Component, with
// a sunken toolkit frame in its non-client border and a suffix area (a unit such as "Hz") cut
// from the right of the client area, outside the editable text.
//
// The suffix area is kept as wide as the suffix text in the current font: the non-client
// painter measures the text and, when the width differs, resizes the area (a frame change)
// and paints on the next pass. OnChange fires once per EN_CHANGE, for typed and programmatic
// changes alike. GUI thread only.
#pragma once

#include <windows.h>

#include "foundation/string.h"
#include "toolkit/component.h"

constexpr uint32_t kTagEdit = kTypeTagBase + 5;

class Edit : public Component {
public:
    static constexpr int kMaxSuffixLength = 1000;

    // style is the caller's whole window style; a border style (WS_BORDER, WS_DLGFRAME) sets the
    // bevel depth of the toolkit's frame to the border's width.
    Edit(HWND parent, int x, int y, int width, int height, DWORD style);
    ~Edit() override;

    void Invalidate() override;
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    LRESULT DoOnCommand(WPARAM wParam) override;
    // The text area plus the suffix area.
    void GetClientRect(RECT* rect) override;

    // rect: the whole window in window coordinates.
    virtual void DrawNonClient(HDC hdc, const RECT& rect);
    virtual void SetSuffixWidth(int width);
    virtual int GetSuffixWidth() const { return m_suffixWidth; }
    virtual void DrawSuffix(HDC hdc);
    virtual void DoOnChange();
    // Null or empty clears the suffix; its area shrinks at the next non-client paint. Longer
    // texts keep their first kMaxSuffixLength characters.
    virtual void SetSuffix(const char* text);
    virtual void SetReadOnly(bool on);
    virtual bool IsReadOnly() const;

    const char* GetSuffix() const { return m_hasSuffix ? m_suffix.CStr() : nullptr; }
    void SetLimitText(int characters);
    void ResetLimitText();  // the system maximum
    void SetPasswordChar(char c);
    char GetPasswordChar() const;

    Event<> OnChange;

protected:
    void FrameChanged();

private:
    String m_suffix;
    bool m_hasSuffix = false;
    int m_suffixWidth = 0;
};
