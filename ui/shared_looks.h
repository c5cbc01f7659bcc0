// The plug-in's one dark style: green text on black or dark grey, grey raised buttons with
// green glyphs, small Arial fonts. One look function per kind of control; each does nothing
// for a null control. The three fonts are made on first use (GUI thread only, so without a
// lock) and shared by every window for the life of the process.
#pragma once

#include <windows.h>

class Button;
class ComboBox;
class Component;
class Label;
class Listbox;
class MessageDialog;
class Panel;
class ScrollBar;
class SpinControl;

// The palette of the style (0x00BBGGRR).
namespace look {
constexpr COLORREF kGreen = 0x00FF00;  // text, glyphs, a lit LED
constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kYellow = 0x00FFFF;  // captions of dialogs, an encrypted call's LED
constexpr COLORREF kDarkGrey = 0x404040;
constexpr COLORREF kFaceGrey = 0x606060;  // button faces
constexpr COLORREF kBackGrey = 0x898989;
constexpr COLORREF kLedDark = 0x004000;
}  // namespace look

HFONT GetNormalFont();  // Arial, height -11, weight 400
HFONT GetBoldFont();    // Arial, height -11, weight 900
HFONT GetLinkFont();    // Arial, height -12, weight 400, underlined
// Deletes the normal and the bold font; nothing in the plug-in calls it.
void DeleteSharedFonts();

void ApplyNormalFont(Component* c);
void ApplyDarkPanelLook(Component* c);
void ApplyLedLook(Component* c);
void ApplyButtonLook(Button* b);
void ApplyEditLook(Component* c);
void ApplyListLook(Listbox* l);
void ApplyScrollBarLook(ScrollBar* s);
void ApplyValueLook(Panel* p);
void ApplyComboLook(ComboBox* c);
void ApplyIndicatorLook(Button* b);
void ApplySpinLook(SpinControl* s);
void ApplyLinkLook(Component* c);
void ApplyBoldLabelLook(Panel* p);
void ApplyDialogLook(MessageDialog* d);
