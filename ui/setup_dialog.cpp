#include "ui/setup_dialog.h"

#include "ui/shared_looks.h"

CSetupDialog::CSetupDialog(HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle)
    : Component("K927 APCO P25 Decoder Setup", style, exStyle, x, y, width, height, parent) {
    SetClientSize(width, height);
    ApplyNormalFont(this);
    SetTextColor(look::kYellow);
}
