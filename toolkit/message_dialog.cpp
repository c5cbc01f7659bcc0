#include "toolkit/message_dialog.h"

#include "foundation/trace.h"

namespace {
constexpr DWORD kDialogStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION;
constexpr DWORD kPanelStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP;
constexpr DWORD kHelpStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                             WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD kHelpMemoStyle = WS_CHILD | WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;

// A button twice as wide as its caption and a quarter taller.
void SizeToCaption(Button* b, const char* text) {
    b->SetText(text);
    b->AutoSize();
    b->UpdateBounds();
    b->SetSize(2 * b->Width(), b->Height() * 5 / 4);
}
}  // namespace

MessageDialog::MessageDialog(HWND parent, int buttonCount, const char* title)
    : Component(title, kDialogStyle, WS_EX_NOPARENTNOTIFY | WS_EX_TOPMOST, 0, 0, 100, 100, parent), m_owner(parent) {
    m_panel = new Panel("", GetHandle(), 0, 0, 10, 10, kPanelStyle, 0);
    m_panel->SetBorderStyle(kBorderRounded);
    m_count = buttonCount < 1 ? 1 : (buttonCount > kMaxButtons ? kMaxButtons : buttonCount);
    for (int i = 0; i < m_count; ++i) {
        m_buttons[i] = new Button("", GetHandle(), 0, 0, 20, 10, kButtonStyle);
        m_buttons[i]->SetBevelDepth(2);
        m_buttons[i]->SetModalResult(i + 1);
    }
    for (int i = 0; i < m_count; ++i) SetButtonText(i, "OK");
}

void MessageDialog::SetButtonText(int index, const char* text) {
    if (index < 0 || index >= m_count) return;
    SizeToCaption(m_buttons[index], text);
    int w = 0, h = 0;
    for (int i = 0; i < m_count; ++i) {
        m_buttons[i]->UpdateBounds();
        if (m_buttons[i]->Width() > w) w = m_buttons[i]->Width();
        if (m_buttons[i]->Height() > h) h = m_buttons[i]->Height();
    }
    for (int i = 0; i < m_count; ++i) m_buttons[i]->SetSize(w, h);
}

void MessageDialog::DoOnEscape() {
    if (m_escapeResult != -1) EndModal(m_escapeResult);
}

int MessageDialog::Run(const char* text, bool centreOnScreen) {
    // A box already up keeps its text; one that nobody may answer leaves its text in the trace.
    if (!CanShowModal(m_owner)) {
        TraceLog("MessageDialog not shown: %s", text ? text : "");
        return kClosed;
    }
    m_panel->SetText(text);
    m_panel->AutoSize();
    m_panel->UpdateBounds();
    m_panel->SetSize(m_panel->Width() + 2 * GetLineHeight(), m_panel->Height() + 2 * GetLineHeight());
    return ShowDialog(centreOnScreen);
}

int MessageDialog::ShowDialog(bool centreOnScreen) {
    HWND owner = m_owner;
    while (owner && (GetWindowLongA(owner, GWL_STYLE) & WS_CHILD)) owner = ::GetParent(owner);
    RECT area = {0, 0, 0, 0};
    if (centreOnScreen)
        area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    else if (owner)
        GetWindowRect(owner, &area);

    m_panel->UpdateBounds();
    Button* first = m_buttons[0];
    first->UpdateBounds();
    const int bw = first->Width(), bh = first->Height();
    int clientWidth = m_panel->Width();
    if (clientWidth < (m_count + 1) * 10) clientWidth = (m_count + 1) * 10;
    int free;
    // The row of buttons decides the width before the dialog is placed, so that a dialog
    // widened for its buttons is still centred.
    if (clientWidth > m_count * bw) {
        free = clientWidth - m_count * bw;
    } else {
        clientWidth = (bw + 10) * m_count + 10;
        m_panel->SetAlign(kAlignTopLate);
        free = (m_count + 1) * 10;
    }
    SetClientSize(clientWidth, m_panel->Height() + 20 + bh);
    UpdateBounds();
    int x = (area.right - area.left - Width()) / 2 + area.left;
    int y = (area.bottom - area.top - Height()) / 2 + area.top;
    Move(x < 0 ? 0 : x, y < 0 ? 0 : y);

    const int gap = free / (m_count + 1);
    const int rest = free - (m_count + 1) * gap;
    m_panel->UpdateBounds();
    for (int i = 0; i < m_count; ++i)
        m_buttons[i]->Move(rest / 2 + gap + (bw + gap) * i, m_panel->Top() + 10 + m_panel->Height());
    return ShowModal(owner) - 1;
}

HelpWindow::HelpWindow() : Component("Help", kHelpStyle, 0, 0, 0, 200, 200, nullptr) {
    m_panel = new Panel("", GetHandle(), 0, 0, 200, 40, kPanelStyle, 0);
    m_close = new Button("Close", m_panel->GetHandle(), 0, 0, 30, 20, kButtonStyle);
    m_close->SetBevelDepth(2);
    m_close->OnClick.Bind(this, &HelpWindow::HandleClose);
    m_panel->OnResize.Bind(this, &HelpWindow::HandlePanelResize);
    m_panel->SetAlign(kAlignBottomLate);
    m_memo = new Memo(GetHandle(), 0, 0, 200, 160, kHelpMemoStyle);
    m_memo->SetAlign(kAlignFill);
}

void HelpWindow::HandlePanelResize(Object*) {
    m_close->UpdateBounds();
    m_close->Move((m_panel->ClientWidth() - m_close->Width()) / 2, (m_panel->ClientHeight() - m_close->Height()) / 2);
}

void HelpWindow::ShowText(const char* text) {
    m_memo->SetText(text);
    SizeToCaption(m_close, "Close");
    m_close->UpdateBounds();
    m_panel->SetSize(-1, m_close->Height() + 20);
    HandlePanelResize(m_panel);  // centred even when the panel kept its height
    Show(true);
    SetForegroundWindow(GetHandle());
}
