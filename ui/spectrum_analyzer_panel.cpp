#include "ui/spectrum_analyzer_panel.h"

#include "toolkit/button.h"
#include "ui/shared_looks.h"

CSpectrumAnalyzerPanel::CSpectrumAnalyzerPanel(HWND parent, int x, int y, int width, int height, DWORD style, DWORD extra)
    : Panel("Spectrum analyzer", parent, x, y, width, height, style, 0) {
    m_setupButton = new Button("Setup", GetHandle(), 179, 1, 40, 20, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP);
    if (m_setupButton) {
        ApplyButtonLook(m_setupButton);
        m_setupButton->SetToggle(1);
        m_setupButton->SetAllowAllUp(true);
        m_setupButton->OnClick.Bind(this, &CSpectrumAnalyzerPanel::HandleSetupClick);
    }
}

CSpectrumAnalyzerPanel::~CSpectrumAnalyzerPanel() = default;

void CSpectrumAnalyzerPanel::DisplaySpectrum(const float* samples, int count, int flag) {
    if (!samples || count <= 0) return;
    ++m_spectrumCount;
    m_lastLength = count;
}

void CSpectrumAnalyzerPanel::SetVolume(int volume) { m_volume = volume < 0 ? 0 : volume > 31 ? 31 : volume; }

bool CSpectrumAnalyzerPanel::IsSetupDown() const { return m_setupButton && m_setupButton->IsDown(); }

void CSpectrumAnalyzerPanel::SetSetupDown(bool down) {
    if (!m_setupButton || m_setupButton->IsDown() == down) return;
    m_setupButton->SetDown(down);
    OnSetup.Invoke(this);
}
