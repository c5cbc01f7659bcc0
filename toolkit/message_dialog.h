// MessageDialog: the toolkit's own message box. A captioned popup with one message panel and
// one to four buttons, sized to its text, centred over its owner's top-level window (or the
// screen) and run modally; Run returns the index of the pressed button. HelpWindow: a
// resizable text window of the same family, hidden rather than destroyed when closed.
#pragma once

#include <windows.h>

#include "toolkit/button.h"
#include "toolkit/memo.h"
#include "toolkit/panel.h"

class MessageDialog : public Component {
public:
    static constexpr int kMaxButtons = 4;
    static constexpr int kClosed = -2;  // Run's answer when the caption's close ended it

    // buttonCount is limited to 1..4; every button reads "OK" until told otherwise.
    MessageDialog(HWND parent, int buttonCount, const char* title);

    void DoOnEscape() override;

    Panel* GetMessagePanel() const { return m_panel; }
    Button* GetButton(int index) const { return index >= 0 && index < m_count ? m_buttons[index] : nullptr; }
    int GetButtonCount() const { return m_count; }
    // The caption, and the button's size from it; then all buttons take the largest size.
    void SetButtonText(int index, const char* text);
    // Escape answers as if button index had been pressed.
    void SetEscapeResult(int index) { m_escapeResult = index + 1; }
    // The 0-based index of the pressed button, Escape's index, or kClosed; kClosed at once,
    // the text going to the trace log, while the dialog runs already or its owner is closing.
    int Run(const char* text, bool centreOnScreen);

private:
    int ShowDialog(bool centreOnScreen);

    Panel* m_panel;
    Button* m_buttons[kMaxButtons] = {};
    int m_count;
    int m_escapeResult = -1;
    HWND m_owner;
};

// A popup "Help" window without owner: a multi-line read-only memo filling it above a bottom
// panel with a centred "Close" button. Close, Escape and the caption's close only hide it, so
// one window serves every ShowText.
class HelpWindow : public Component {
public:
    HelpWindow();

    void DoOnEscape() override { Show(false); }

    // Fills the memo (lines end in "\r\n"), shows the window and brings it to the foreground.
    void ShowText(const char* text);

private:
    void HandleClose(Object*) { Show(false); }
    void HandlePanelResize(Object*);

    Panel* m_panel;
    Button* m_close;
    Memo* m_memo;
};
