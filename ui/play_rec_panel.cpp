#include "ui/play_rec_panel.h"

CPlayRecPanel::CPlayRecPanel(HWND parent, int x, int y)
    : Panel("", parent, x, y, kWidth, kHeight, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP, 0) {}

void CPlayRecPanel::SetPaused(int pressed, int fire) {
    m_paused = pressed ? 1 : 0;
    if (fire) OnPlayRecPause.Invoke(this, m_paused);
}
