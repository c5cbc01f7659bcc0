#include "ui/shared_looks.h"

#include <cstring>

#include "toolkit/button.h"
#include "toolkit/combo_box.h"
#include "toolkit/listbox.h"
#include "toolkit/message_dialog.h"
#include "toolkit/panel.h"
#include "toolkit/scroll_bar.h"
#include "toolkit/spin_control.h"

namespace {

using namespace look;
constexpr int kSunken = 3;

HFONT g_normalFont = nullptr;
HFONT g_boldFont = nullptr;
HFONT g_linkFont = nullptr;

HFONT MakeArial(LONG height, LONG weight, bool underline) {
    LOGFONTA font;
    std::memset(&font, 0, sizeof font);
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfUnderline = underline ? 1 : 0;
    font.lfCharSet = DEFAULT_CHARSET;
    std::strcpy(font.lfFaceName, "Arial");
    return CreateFontIndirectA(&font);
}

}  // namespace

HFONT GetNormalFont() {
    if (!g_normalFont) g_normalFont = MakeArial(-11, FW_NORMAL, false);
    return g_normalFont;
}

HFONT GetBoldFont() {
    if (!g_boldFont) g_boldFont = MakeArial(-11, FW_HEAVY, false);
    return g_boldFont;
}

HFONT GetLinkFont() {
    if (!g_linkFont) g_linkFont = MakeArial(-12, FW_NORMAL, true);
    return g_linkFont;
}

void DeleteSharedFonts() {
    if (g_normalFont) DeleteObject(g_normalFont);
    if (g_boldFont) DeleteObject(g_boldFont);
    g_normalFont = nullptr;
    g_boldFont = nullptr;
}

void ApplyNormalFont(Component* c) {
    if (c) c->SetFont(GetNormalFont());
}

void ApplyDarkPanelLook(Component* c) {
    if (!c) return;
    c->SetFont(GetNormalFont());
    c->SetTextColor(kYellow);
    c->SetBackColor(kDarkGrey);
    c->SetBevelDepth(2);
}

void ApplyLedLook(Component* c) {
    if (!c) return;
    c->SetBevelDepth(2);
    c->SetFaceColor(kLedDark);
}

void ApplyButtonLook(Button* b) {
    if (!b) return;
    b->SetFaceColor(kFaceGrey);
    b->SetBackColor(kBackGrey);
    b->SetTextColor(kGreen);
    b->SetShowFocus(false);
    b->SetGlyphColor(kGreen);
    b->SetBevelDepth(2);
}

void ApplyEditLook(Component* c) {
    if (!c) return;
    c->SetTextColor(kGreen);
    c->SetBackColor(kBlack);
}

void ApplyScrollBarLook(ScrollBar* s) {
    if (!s) return;
    s->SetFaceColor(kDarkGrey);
    s->SetBackColor(kFaceGrey);
    s->SetMinThumbSize(0);
    s->SetBevelDepth(2);
    s->SetContrast(75);
    s->SetTextColor(kGreen);
}

void ApplyListLook(Listbox* l) {
    if (!l) return;
    l->SetBackColor(kBlack);
    l->SetTextColor(kGreen);
    l->SetSelectionTextColor(kGreen);
    l->SetSelectionBackColor(0x800000);
    ApplyScrollBarLook(l->GetScrollBar());
}

void ApplyValueLook(Panel* p) {
    if (!p) return;
    p->SetBorderStyle(kSunken);
    p->SetTextColor(kGreen);
    p->SetBackColor(kBlack);
    p->SetCaptionAlign(2);
}

void ApplyComboLook(ComboBox* c) {
    if (!c) return;
    c->SetBackColor(kBlack);
    c->SetTextColor(kGreen);
    c->SetButtonWidth(14);
    ApplyListLook(c->GetList());
    Button* arrow = c->GetButton();
    if (!arrow) return;
    ApplyButtonLook(arrow);
    arrow->SetBevelDepth(2);
    arrow->SetSize(c->Height(), c->Height());
    arrow->SetGlyphSize(6);
}

void ApplyIndicatorLook(Button* b) {
    if (!b) return;
    b->SetShowFocus(false);
    b->SetBackColor(kGreen);
    b->SetFaceColor(kLedDark);
    b->SetBevelDepth(2);
}

void ApplySpinLook(SpinControl* s) {
    if (!s) return;
    s->SetBevelDepth(2);
    s->SetGlyphColor(kGreen);
    s->SetFaceColor(kFaceGrey);
    s->SetBackColor(kBackGrey);
}

void ApplyLinkLook(Component* c) {
    if (!c) return;
    c->SetFont(GetLinkFont());
    c->SetTextColor(0xFF8080);
}

void ApplyBoldLabelLook(Panel* p) {
    if (!p) return;
    p->SetFont(GetBoldFont());
    p->SetTextColor(0x006000);
    p->SetBorderStyle(kSunken);
    p->SetBackColor(kDarkGrey);
}

void ApplyDialogLook(MessageDialog* d) {
    if (!d) return;
    d->SetTextColor(kYellow);
    if (Panel* message = d->GetMessagePanel()) {
        message->SetFont(GetNormalFont());
        message->SetBorderStyle(0);
    }
    for (int i = 0; i < d->GetButtonCount(); ++i) {
        Button* b = d->GetButton(i);
        if (!b) continue;
        b->SetFont(GetNormalFont());
        ApplyButtonLook(b);
    }
}
