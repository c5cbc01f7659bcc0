#include "ui/spectrum_analyzer_panel.h"

#include <cstring>

#include "plugin/boundary.h"
#include "toolkit/button.h"
#include "ui/param_edit.h"
#include "ui/shared_looks.h"

namespace {

constexpr DWORD kChildStyle = 0x56010000;  // child, visible, clip siblings, tab stop
constexpr DWORD kButtonStyle = 0x54010000;
constexpr int kFolderMax = 2000;
constexpr char kLibraryName[] = "k927apcospect.dll";

// Each toggle of the tool bar goes up and down by itself: one group each, all-up allowed.
constexpr int kNotchGroup = 1;
constexpr int kSetupGroup = 2;
constexpr int kMuteGroup = 3;

Button* MakeToggle(const char* caption, HWND parent, int x, int width, int group) {
    Button* b = new Button(caption, parent, x, 1, width, 20, kButtonStyle);
    if (!b) return nullptr;
    ApplyButtonLook(b);
    b->SetToggle(group);
    b->SetAllowAllUp(true);
    return b;
}

CParamEdit* MakeField(HWND parent, int x, int width, const char* caption, int editWidth, int minimum, int maximum) {
    CParamEdit* f = new CParamEdit(parent, x, 0, width, 20, kChildStyle, 0);
    if (!f) return nullptr;
    f->SetEditSize(editWidth, 20);
    f->SetCaption(caption, true);
    f->SetMin(minimum);
    f->SetMax(maximum);
    return f;
}

// The host's plug-in folder: the environment first, then the host's registry entry.
bool ReadPluginFolder(char* folder, DWORD size) {
    const DWORD n = GetEnvironmentVariableA("VKT_PLUGIN_PATH", folder, size);
    if (n >= 1 && n <= kFolderMax) return true;
    HKEY key;
    // Read access suffices; asking for more fails for users without administrator rights.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VKT", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, bytes = size - 1;
    const LONG r = RegQueryValueExA(key, "SearchPath", nullptr, &type, reinterpret_cast<BYTE*>(folder), &bytes);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0) return false;
    folder[bytes < size ? bytes : size - 1] = 0;
    return folder[0] != 0;
}

}  // namespace

CSpectrumAnalyzerPanel::CSpectrumAnalyzerPanel(HWND parent, int x, int y, int width, int height, DWORD style,
                                               DWORD extra)
    : Panel("Spectrum analyzer", parent, x, y, width, height, style, 0) {
    LoadAnalyzerLibrary();
    CreateToolBar();
    m_hostPanel = new Panel("Spectrum Analyzer", GetHandle(), 0, 0, 100, 100, kChildStyle, 0);
    if (m_hostPanel) {
        m_hostPanel->SetAlign(kAlignFill);
        m_hostPanel->SetBorderStyle(kBorderNone);
    }
    CreateAnalyzerObject(style, extra);
    if (m_analyzer) {
        Call(kAnalyzerSet17, 0);
        Call(kAnalyzerSet23, 0);
        auto getComponent = reinterpret_cast<AnalyzerOp0>(m_analyzer->ops[kAnalyzerGetComponent]);
        // An analyzer without a toolkit component of its own lays itself out.
        if (auto* own = reinterpret_cast<Component*>(getComponent(m_analyzer))) own->SetAlign(kAlignFill);
        Call(kAnalyzerSetSampleRate, 48000);
        Call(kAnalyzerSetSpan, 20000);
        Call(kAnalyzerSetCentre, 12000);
        Call(kAnalyzerSetCallback, reinterpret_cast<uintptr_t>(&AnalyzerCallback), reinterpret_cast<uintptr_t>(this));
        Call(kAnalyzerSet38, 10000);
        Call(kAnalyzerSet39, 12500);
        Call(kAnalyzerSet48, 1);
        Call(kAnalyzerSet47, 1024);
        Call(kAnalyzerSet34, 6);
        Call(kAnalyzerSet26, 1);
    }
    Call(kAnalyzerSet35, m_last35 = 0);
    Call(kAnalyzerSet36, m_last36 = 12500);
    if (m_freqField) m_freqField->SetValue(5000);
    if (m_widthField) m_widthField->SetValue(1000);
    Layout();
}

CSpectrumAnalyzerPanel::~CSpectrumAnalyzerPanel() {
    // The analyzer's windows run code of the library: they go before the library does.
    CloseAnalyzer();
    delete m_toolBar;
    delete m_hostPanel;
    m_toolBar = m_hostPanel = nullptr;
    if (m_library) FreeLibrary(m_library);
}

void CSpectrumAnalyzerPanel::LoadAnalyzerLibrary() {
    char folder[2048] = {};
    if (!ReadPluginFolder(folder, sizeof folder)) return;
    char path[2048 + sizeof kLibraryName + 1];
    const size_t n = std::strlen(folder);
    const char* separator = n && folder[n - 1] == '\\' ? "" : "\\";
    if (wsprintfA(path, "%s%s%s", folder, separator, kLibraryName) <= 0) return;
    m_library = LoadLibraryA(path);
    if (m_library)
        m_createAnalyzer =
            reinterpret_cast<CreateAnalyzerFn>(reinterpret_cast<void*>(GetProcAddress(m_library, "CreateAnalyzer")));
}

void CSpectrumAnalyzerPanel::CreateToolBar() {
    m_toolBar = new Panel("", GetHandle(), 0, 0, 50, 21, kChildStyle, 0);
    if (!m_toolBar) return;
    m_toolBar->SetAlign(kAlignBottomLate);
    m_toolBar->SetBorderStyle(kBorderNone);
    const HWND bar = m_toolBar->GetHandle();

    m_notchButton = MakeToggle("Notch", bar, 2, 50, kNotchGroup);
    if (m_notchButton) m_notchButton->OnClick.Bind(this, &CSpectrumAnalyzerPanel::HandleNotchClick);
    m_freqField = MakeField(bar, 55, 50, "Freq", 43, -9999, 9999);
    if (m_freqField) {
        m_freqField->SetUnit("Hz", true);
        m_freqField->SetStep(10);
        m_freqField->SetLimitText(5);
        m_freqField->SetStepDigits(1);
        m_freqField->SetSnapToStep(true);
        m_freqField->OnValueChanged.Bind(this, &CSpectrumAnalyzerPanel::HandleNotchFreqChange);
    }
    const int widthX = m_freqField ? 55 + 5 + m_freqField->Width() : 110;
    m_widthField = MakeField(bar, widthX, 50, " Width", 40, 4, 9999);
    if (m_widthField) {
        m_widthField->SetUnit("Hz", true);
        m_widthField->SetStep(10);
        m_widthField->SetSnapToStep(true);
        m_widthField->OnValueChanged.Bind(this, &CSpectrumAnalyzerPanel::HandleNotchWidthChange);
    }
    const int widthEnd = widthX + (m_widthField ? m_widthField->Width() : 50);
    m_setupButton = MakeToggle("Setup", bar, widthEnd + 19, 40, kSetupGroup);
    if (m_setupButton) m_setupButton->OnDownChanged.Bind(this, &CSpectrumAnalyzerPanel::HandleSetupDownChange);
    const int volumeX = widthEnd + 54 + 40;
    m_volumeField = MakeField(bar, volumeX, 70, " Volume", 28, 0, 31);
    if (m_volumeField) {
        m_volumeField->SetValue(m_volume);
        m_volumeField->SetLimitText(2);
        m_volumeField->OnValueChanged.Bind(this, &CSpectrumAnalyzerPanel::HandleVolumeChange);
    }
    m_muteButton = MakeToggle("Mute", bar, volumeX + (m_volumeField ? m_volumeField->Width() : 70), 34, kMuteGroup);
    if (m_muteButton) m_muteButton->OnClick.Bind(this, &CSpectrumAnalyzerPanel::HandleMuteClick);
    EnableNotchFields();
}

void CSpectrumAnalyzerPanel::CreateAnalyzerObject(DWORD style, DWORD extra) {
    if (!m_createAnalyzer || !m_hostPanel) return;
    m_created = m_createAnalyzer(m_hostPanel->GetHandle(), 0, 0, 100, 100, style, extra);
    m_analyzer = m_created;
}

void CSpectrumAnalyzerPanel::Call(int slot) {
    if (m_analyzer) reinterpret_cast<AnalyzerOp0>(m_analyzer->ops[slot])(m_analyzer);
}

void CSpectrumAnalyzerPanel::Call(int slot, uintptr_t a) {
    if (m_analyzer) reinterpret_cast<AnalyzerOp1>(m_analyzer->ops[slot])(m_analyzer, a);
}

void CSpectrumAnalyzerPanel::Call(int slot, uintptr_t a, uintptr_t b) {
    if (m_analyzer) reinterpret_cast<AnalyzerOp2>(m_analyzer->ops[slot])(m_analyzer, a, b);
}

void VKT_STDCALL CSpectrumAnalyzerPanel::AnalyzerCallback(uint32_t code, int32_t value, void* context) {
    CallGuarded("CSpectrumAnalyzerPanel::AnalyzerCallback", [&] {
        if (context) static_cast<CSpectrumAnalyzerPanel*>(context)->SetNotchFields(code, value);
    });
}

void CSpectrumAnalyzerPanel::SetNotchFields(uint32_t code, int32_t value) {
    if (code == 3 && m_freqField) m_freqField->SetValue(value);
    if (code == 4 && m_widthField) m_widthField->SetValue(value);
}

// Forwards ----------------------------------------------------------------------------------

void CSpectrumAnalyzerPanel::CloseAnalyzer() {
    ISpectrumAnalyzer* analyzer;
    {
        CriticalSectionLock lock(&m_analyzerLock);
        analyzer = m_analyzer;
        m_analyzer = nullptr;
    }
    if (!analyzer) return;
    // A spectrum call on the stream thread may be waiting for this thread (its window sends
    // messages here): let sent messages through until it has returned.
    for (;;) {
        {
            CriticalSectionLock lock(&m_analyzerLock);
            if (m_displaysRunning == 0) break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_SENDMESSAGE);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    reinterpret_cast<AnalyzerOp0>(analyzer->ops[kAnalyzerClose])(analyzer);
}

void CSpectrumAnalyzerPanel::DisplaySpectrum(const float* samples, int count, int flag) {
    ISpectrumAnalyzer* analyzer;
    {
        CriticalSectionLock lock(&m_analyzerLock);
        m_lastLength = count;
        analyzer = m_analyzer;
        if (!analyzer) return;
        ++m_displaysRunning;
    }
    reinterpret_cast<AnalyzerDisplayOp>(analyzer->ops[kAnalyzerDisplaySpectrum])(
        analyzer, samples, static_cast<uintptr_t>(count), 0, 0, static_cast<uintptr_t>(flag));
    CriticalSectionLock lock(&m_analyzerLock);
    --m_displaysRunning;
}

void CSpectrumAnalyzerPanel::DoOnEnable() {
    Panel::DoOnEnable();
    Call(kAnalyzerSetEnabled, IsEnabled() ? 1 : 0);
}

void CSpectrumAnalyzerPanel::SetSampleRate(uint32_t hz) {
    m_sampleRate = hz;
    Call(kAnalyzerSetSampleRate, hz);
    Call(kAnalyzerSetSpan, 20000);
    Call(kAnalyzerSetCentre, 12000);
}

void CSpectrumAnalyzerPanel::SetPlayback(uint32_t mode) {
    Call(kAnalyzerSetPlayback, mode);
    if (m_notchButton) {
        if (mode == 0) {
            m_notchButton->Enable(m_allowNotch != 0);
            if (m_playback == 2) m_notchButton->SetDown(m_notchSaved);
        } else {
            // A second audio playback must not save the state it released itself.
            if (m_playback != 2) m_notchSaved = m_notchButton->IsDown();
            if (mode == 2) {
                m_notchButton->SetDown(false);
                m_notchButton->Enable(false);
            }
        }
    }
    m_playback = mode;
}

void CSpectrumAnalyzerPanel::SetSquelched(bool on) {
    m_squelched = on;
    Call(kAnalyzerSetSquelched, on ? 1 : 0);
}

void CSpectrumAnalyzerPanel::SetAudioPlayback(bool on) { Call(kAnalyzerSetAudioPlayback, on ? 2 : 0); }

void CSpectrumAnalyzerPanel::SetSpectrumLinearizationCoeffs(const int8_t* coeffs, uint32_t count) {
    if (!coeffs || count == 0 || count > kAnalyzerMaxLinearization || !m_analyzer) return;
    std::memcpy(m_linearization, coeffs, count);
    Call(kAnalyzerSetLinearization, reinterpret_cast<uintptr_t>(m_linearization), count);
}

void CSpectrumAnalyzerPanel::ResetSpectrum() { Call(kAnalyzerResetSpectrum); }
void CSpectrumAnalyzerPanel::ResetIFSpectrumCalc() { Call(kAnalyzerResetIFCalc); }
void CSpectrumAnalyzerPanel::SetIFSpectrumFFTSize(int size) { Call(kAnalyzerSetFftSize, static_cast<uintptr_t>(size)); }

int CSpectrumAnalyzerPanel::GetAnalyzerValue(void* pointer) {
    if (!m_analyzer) return 0;
    return static_cast<int>(reinterpret_cast<AnalyzerOp1>(m_analyzer->ops[kAnalyzerGet27])(
        m_analyzer, reinterpret_cast<uintptr_t>(pointer)));
}

void CSpectrumAnalyzerPanel::SetAnalyzerCentre(int value) { Call(kAnalyzerSetCentre, static_cast<uintptr_t>(value)); }

// Notch, volume, mute, Setup -----------------------------------------------------------------

void CSpectrumAnalyzerPanel::EnableNotchFields() {
    const bool on = m_notchEnabled && m_allowNotch;
    if (m_freqField) m_freqField->Enable(on);
    if (m_widthField) m_widthField->Enable(on);
}

void CSpectrumAnalyzerPanel::HandleNotchClick(Object*) {
    if (!m_notchButton) return;
    const int down = m_notchButton->IsDown() ? 1 : 0;
    if (down != m_notchEnabled) Call(kAnalyzerSetNotch, down);
    m_notchEnabled = down;
    EnableNotchFields();
}

// Settings restore the notch as a click would: the analyzer and the stored state follow.
void CSpectrumAnalyzerPanel::SetNotchEnabled(int on) {
    if (!m_notchButton) return;
    m_notchButton->SetDown(on != 0);
    HandleNotchClick(m_notchButton);
}

void CSpectrumAnalyzerPanel::SetNotchFrequency(int hz) {
    if (hz != m_notchFrequency && m_freqField) m_freqField->SetValue(hz);
}

void CSpectrumAnalyzerPanel::SetNotchWidth(int hz) {
    if (hz != m_notchWidth && m_widthField) m_widthField->SetValue(hz);
}

void CSpectrumAnalyzerPanel::HandleNotchFreqChange(Object*, int64_t value) {
    int v = static_cast<int>(value);
    if (v == m_notchFrequency) return;
    const int h = m_notchWidth / 2;
    if (v + h > kNotchLimit) v = kNotchLimit - h;
    if (v - h < -kNotchLimit) v = h - kNotchLimit;
    m_notchFrequency = v;
    if (m_freqField) m_freqField->SetValue(v);
    Call(kAnalyzerSetNotchFrequency, static_cast<uintptr_t>(v));
}

void CSpectrumAnalyzerPanel::HandleNotchWidthChange(Object*, int64_t value) {
    int w = static_cast<int>(value);
    if (w == m_notchWidth) return;
    const int h = w / 2;
    const int f = m_notchFrequency;
    if (f + h > kNotchLimit) w = (kNotchLimit - f) * 2;
    if (f - h < -kNotchLimit) w = 2 * (f + kNotchLimit);
    m_notchWidth = w;
    if (m_widthField) m_widthField->SetValue(m_notchWidth);
    Call(kAnalyzerSetNotchWidth, static_cast<uintptr_t>(w));
}

void CSpectrumAnalyzerPanel::HandleSetupDownChange(Object*) { OnSetup.Invoke(this); }

bool CSpectrumAnalyzerPanel::IsSetupDown() const { return m_setupButton && m_setupButton->IsDown(); }

void CSpectrumAnalyzerPanel::SetSetupDown(bool down) {
    if (m_setupButton) m_setupButton->SetDown(down);
}

void CSpectrumAnalyzerPanel::HandleVolumeChange(Object*, int64_t value) {
    m_volume = static_cast<int>(value);
    OnVolumeChange.Invoke(this, m_volume);
}

void CSpectrumAnalyzerPanel::SetVolume(int volume) {
    m_volume = volume < 0 ? 0 : volume > 31 ? 31 : volume;
    if (m_volumeField) m_volumeField->SetValue(m_volume);
}

void CSpectrumAnalyzerPanel::HandleMuteClick(Object*) {
    m_mute = m_mute ? 0 : 1;
    if (m_muteButton) m_muteButton->SetDown(m_mute != 0);
    OnMuteChange.Invoke(this, m_mute);
}

void CSpectrumAnalyzerPanel::SetMute(int on) {
    m_mute = on ? 1 : 0;
    if (m_muteButton) m_muteButton->SetDown(m_mute != 0);
}
