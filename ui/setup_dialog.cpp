#include "ui/setup_dialog.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <new>

#include "dsp/fir_filter.h"
#include "foundation/win32/folders.h"
#include "foundation/win32/modal_refusal.h"
#include "foundation/win32/registry_key.h"
#include "toolkit/button.h"
#include "toolkit/combo_box.h"
#include "toolkit/edit.h"
#include "toolkit/int_edit.h"
#include "toolkit/menu.h"
#include "toolkit/panel.h"
#include "toolkit/spin_control.h"
#include "ui/about_dialog.h"
#include "ui/audio_filter_graph.h"
#include "ui/param_edit.h"
#include "ui/shared_looks.h"

// The shell headers name a function of their own like the setup window's accessor.
#undef IsLoggingEnabled

namespace {

constexpr int kMargin = 5;
constexpr DWORD kGroupStyle = 0x56010000;
constexpr DWORD kLabelStyle = 0x54000000;
constexpr DWORD kButtonStyle = 0x54010000;
constexpr DWORD kLogEditStyle = 0x54410080;
constexpr int kHelpInitialize = 0x1C;  // HH_INITIALIZE
constexpr int kHelpDisplayToc = 1;     // HH_DISPLAY_TOC
constexpr int kLogFileBuffer = 260;

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

}  // namespace

// Construction ------------------------------------------------------------------------------

CSetupDialog::CSetupDialog(HWND parent, int x, int y, int width, int height, DWORD style, DWORD exStyle)
    : Component("K927 APCO P25 Decoder Setup", style, exStyle, x, y, width, height, parent) {
    SetClientSize(width, height);
    ApplyNormalFont(this);
    SetTextColor(look::kYellow);
    CreateControls();
    m_deviceNotify.SetWindow(GetHandle());
    m_logFileName = "ApcoLog.csv";
    ShowLogFileName();
}

CSetupDialog::~CSetupDialog() {
    // First of all: the audio service stops calling the listener, which posts to this window.
    m_deviceNotify.Release();
    delete m_about;
    delete m_popupMenu;
    if (m_helpModule) FreeLibrary(m_helpModule);
}

Panel* CSetupDialog::MakeGroup(const char* caption, int x, int y, int height, bool dark, int* rowY) {
    const int width = (ClientWidth() - 3 * kMargin) / 2;
    Panel* group = new Panel("", GetHandle(), x, y, width, height, kGroupStyle, 0);
    if (!group) return nullptr;
    group->SetBorderStyle(kBorderRaised);
    group->SetBevelDepth(1);
    if (dark) group->SetBackColor(look::kDarkGrey);
    RECT inner;
    group->GetClientRect(&inner);
    Label* title =
        new Label(caption, group->GetHandle(), inner.left + kMargin, inner.top + kMargin, 100, 20, kLabelStyle);
    *rowY = inner.top + kMargin;
    if (title) {
        title->AutoSize();
        *rowY = title->Bottom() + kMargin;
    }
    return group;
}

Button* CSetupDialog::MakeIndicator(Panel* parent, const char* caption, int x, int* y,
                                    void (CSetupDialog::*handler)(Object*)) {
    Button* indicator = new Button("", parent->GetHandle(), x, *y, 10, 10, kButtonStyle);
    if (!indicator) return nullptr;
    ApplyIndicatorLook(indicator);
    indicator->OnClick.Bind(this, handler);
    ShowIndicator(indicator, false);
    int bottom = indicator->Bottom();
    Label* label = new Label(caption, parent->GetHandle(), x + 10 + kMargin, *y, 100, 20, kLabelStyle);
    if (label) {
        label->AutoSize();
        label->OnMouseUp.Bind(this, &CSetupDialog::HandleIndicatorLabelMouseUp);
        if (label->Bottom() > bottom) bottom = label->Bottom();
        if (m_indicatorLabelCount < kIndicatorCount) {
            m_indicatorLabels[m_indicatorLabelCount] = label;
            m_indicatorsOfLabels[m_indicatorLabelCount++] = indicator;
        }
    }
    *y = bottom + kMargin;
    return indicator;
}

void CSetupDialog::CreateControls() {
    const int width = (ClientWidth() - 3 * kMargin) / 2;
    const int leftX = kMargin;
    const int rightX = width + 2 * kMargin;
    int y = 0;

    // Output.
    m_groupOutput = MakeGroup("Output", leftX, kMargin, 46, true, &y);
    if (m_groupOutput) {
        const int x = kMargin + 1;
        Label* label = new Label("Wave Device", m_groupOutput->GetHandle(), x, y, 70, 20, kLabelStyle);
        if (label) label->SetCaptionAlign(kAlignLeft | kAlignVCenter);
        m_deviceCombo = new ComboBox(m_groupOutput->GetHandle(), x + 70 + kMargin, y, 220, 20);
        if (m_deviceCombo) {
            ApplyComboLook(m_deviceCombo);
            m_deviceCombo->OnChange.Bind(this, &CSetupDialog::HandleWaveDeviceSelChange);
        }
    }

    // Recording.
    const int recordingY = kMargin + 46 + kMargin;
    m_groupRecording = MakeGroup("Recording", leftX, recordingY, 63, true, &y);
    if (m_groupRecording) {
        const int x = kMargin + 1;
        m_pauseSquelchIndicator =
            MakeIndicator(m_groupRecording, "Pause if Squelched", x, &y, &CSetupDialog::TogglePauseUnderSquelch);
        m_pauseNoApcoIndicator =
            MakeIndicator(m_groupRecording, "Pause if no APCO Signal", x, &y, &CSetupDialog::TogglePauseNoApco);
    }

    // Logging.
    const int loggingY = recordingY + 63 + kMargin;
    m_groupLogging = MakeGroup("Logging", leftX, loggingY, 125, false, &y);
    if (m_groupLogging) {
        HWND g = m_groupLogging->GetHandle();
        int x = kMargin + 1;
        Label* fileLabel = new Label("Log File", g, x, y, 100, 20, kLabelStyle);
        if (fileLabel) {
            fileLabel->AutoSize();
            fileLabel->SetSize(-1, 20);
            fileLabel->SetCaptionAlign(kAlignLeft | kAlignVCenter);
            x = fileLabel->Right() + kMargin;
        }
        m_logFileEdit = new Edit(g, x, y, 228, 20, kLogEditStyle);
        if (m_logFileEdit) {
            ApplyEditLook(m_logFileEdit);
            m_logFileEdit->SetReadOnly(true);
            x = m_logFileEdit->Right() + kMargin;
        }
        Button* browse = new Button("...", g, x, y, 20, 20, kButtonStyle);
        if (browse) {
            ApplyButtonLook(browse);
            browse->OnClick.Bind(this, &CSetupDialog::HandleLogFileClick);
        }
        y += 20 + kMargin;
        x = kMargin + 1;
        m_useSquelchIndicator = MakeIndicator(m_groupLogging, "Use squelch settings to filter logs", x, &y,
                                              &CSetupDialog::ToggleUseSquelchFilter);
        Panel* sub = new Panel("", g, x, y, 180, 50, kGroupStyle, 0);
        if (sub) {
            sub->SetBorderStyle(kBorderSunken);
            sub->SetBevelDepth(1);
            sub->SetBackColor(sub->GetFaceColor());
            RECT inner;
            sub->GetClientRect(&inner);
            const int sx = inner.left + kMargin;
            int sy = inner.top + 4;
            m_everyChangeIndicator = MakeIndicator(sub, "Log Every Change", sx, &sy, &CSetupDialog::SetLogEveryChange);
            // The interval row is as high as its field; the indicator and label sit in its middle.
            const int rowY = sy;
            sy += 4;
            m_intervalIndicator = MakeIndicator(sub, "Interval", sx, &sy, &CSetupDialog::SetLogInterval);
            Label* last = m_indicatorLabels[m_indicatorLabelCount - 1];
            const int fx = last ? last->Right() + kMargin : sx + 60;
            m_intervalField = new CParamEdit(sub->GetHandle(), fx, rowY, 70, 20, kGroupStyle, 0);
            if (m_intervalField) {
                m_intervalField->SetBorderStyle(kBorderNone);
                m_intervalField->SetCaption("", false);
                m_intervalField->SetCaptionWidth(0);
                m_intervalField->SetEditSize(40, 20);
                m_intervalField->SetUnit("s", false);
                m_intervalField->SetMin(1);
                m_intervalField->SetMax(3600);
                m_intervalField->SetStep(1);
                m_intervalField->LayoutRow();
                m_intervalField->OnValueChanged.Bind(this, &CSetupDialog::HandleIntervalChange);
            }
            m_loggingEnableButton =
                new Button("Enable", g, width - 2 - kMargin - 60, sub->Bottom() - 20, 60, 20, kButtonStyle);
            if (m_loggingEnableButton) {
                ApplyButtonLook(m_loggingEnableButton);
                m_loggingEnableButton->OnClick.Bind(this, &CSetupDialog::HandleLoggingEnableClick);
            }
        }
        SetLoggingParams(m_loggingParams);
    }

    // Audio filter.
    m_groupFilter = MakeGroup("Audio Filter", rightX, kMargin, 244, false, &y);
    if (m_groupFilter) {
        HWND g = m_groupFilter->GetHandle();
        RECT inner;
        m_groupFilter->GetClientRect(&inner);
        const int x0 = inner.left + kMargin;
        m_graph = new CAudioFilterGraph(g, x0, y, inner.right - inner.left - 10, 138, kGroupStyle, 0);
        if (m_graph) {
            m_graph->SetBevelDepth(1);
            m_graph->SetBorderStyle(kBorderSunken);
            m_graph->OnFreqLowChanged.Bind(this, &CSetupDialog::HandleGraphFreqLowChange);
            m_graph->OnFreqHighChanged.Bind(this, &CSetupDialog::HandleGraphFreqHighChange);
            y = m_graph->Bottom() + kMargin;
        }
        m_onButton = new Button("On", g, x0, y, 50, 20, kButtonStyle);
        if (m_onButton) {
            ApplyButtonLook(m_onButton);
            m_onButton->SetToggle(1);
            m_onButton->SetAllowAllUp(true);
            m_onButton->OnClick.Bind(this, &CSetupDialog::HandleAFOnClick);
        }
        m_lowpassButton = new Button("Lowpass", g, x0 + 50 + kMargin, y, 60, 20, kButtonStyle);
        m_bandpassButton = new Button("Bandpass", g, x0 + 50 + kMargin + 60, y, 60, 20, kButtonStyle);
        for (Button* b : {m_lowpassButton, m_bandpassButton}) {
            if (!b) continue;
            ApplyButtonLook(b);
            b->SetToggle(2);
        }
        if (m_lowpassButton) m_lowpassButton->OnClick.Bind(this, &CSetupDialog::HandleLowpassClick);
        if (m_bandpassButton) {
            m_bandpassButton->OnClick.Bind(this, &CSetupDialog::HandleBandpassClick);
            m_bandpassButton->SetDown(true);
        }
        y += 20 + kMargin;

        const struct {
            CParamEdit** field;
            const char* caption;
            int x, captionWidth;
            int64_t minimum, maximum, step, value;
            void (CSetupDialog::*handler)(Object*, int64_t);
        } fields[] = {
            {&m_freqLowField, "Cut-off Low", x0, 63, 0, kMaxCutoffHz, 1, 0, &CSetupDialog::HandleAFFreqLowChange},
            {&m_freqHighField, "Cut-off High", 170, 60, 0, kMaxCutoffHz, 1, 4000,
             &CSetupDialog::HandleAFFreqHighChange},
            {&m_filterLenField, "Filter Length", 170, 60, kMinFilterTaps, kMaxFilterTaps, 16, m_filterLen,
             &CSetupDialog::HandleAFLenChange},
        };
        for (const auto& f : fields) {
            const int fy = f.field == &m_filterLenField ? y + 20 + kMargin : y;
            CParamEdit* e = new CParamEdit(g, f.x, fy, 70, 20, kGroupStyle, 0);
            *f.field = e;
            if (!e) continue;
            e->SetBorderStyle(kBorderNone);
            e->SetCaption(f.caption, false);
            e->SetCaptionWidth(f.captionWidth);
            e->SetEditSize(40, 20);
            e->SetUnit(f.field == &m_filterLenField ? "" : "Hz", false);
            e->SetMin(f.minimum);
            e->SetMax(f.maximum);
            e->SetStep(static_cast<int32_t>(f.step));
            e->SetValue(f.value);
            e->LayoutRow();
            e->OnValueChanged.Bind(this, f.handler);
        }
        y += 20 + kMargin;
        int x = x0;
        // 60 pixels wide, or wider when the font needs it: the caption must not be cut.
        Label* label = new Label("Deemphasis", g, x, y, 60, 20, kLabelStyle);
        if (label) {
            label->SetCaptionAlign(kAlignLeft | kAlignVCenter);
            label->AutoSize();
            label->SetSize(label->Width() < 60 ? 60 : label->Width(), 20);
            x = label->Right() + kMargin;
        }
        m_deemphasisField = new FixedPointEdit(g, x, y, 40, 20, 1, 0, kMinDeemphasisTenths, kMaxDeemphasisTenths);
        if (m_deemphasisField) {
            m_deemphasisField->SetLimitText(5);
            ApplyEditLook(m_deemphasisField);
            m_deemphasisField->OnValueChanged.Bind(this, &CSetupDialog::HandleAFDeempChange);
            x = m_deemphasisField->Right();
        }
        m_deemphasisSpin = new SpinControl(g, x, y, 10, 20, 0, true);
        if (m_deemphasisSpin) {
            m_deemphasisSpin->SetTabStop(false);
            ApplySpinLook(m_deemphasisSpin);
            if (m_deemphasisField) m_deemphasisSpin->SetTarget(m_deemphasisField->GetHandle());
            x = m_deemphasisSpin->Right();
        }
        Label* unit = new Label("dB/oct", g, x + 2, y, 0, 0, kLabelStyle);
        if (unit) {
            unit->SetSize(-1, 20);
            unit->SetCaptionAlign(kAlignLeft | kAlignVCenter);
        }
    }

    // The button row under the left column.
    const int buttonsY = kMargin + 46 + kMargin + 63 + kMargin + 125 + kMargin;
    const struct {
        const char* caption;
        int x;
        void (CSetupDialog::*handler)(Object*);
    } buttons[] = {
        {"Help", kMargin, &CSetupDialog::HandleHelpClick},
        {"About", kMargin + 60 + kMargin, &CSetupDialog::HandleAboutClick},
        {"OK", ClientWidth() - 65, &CSetupDialog::HandleOKClick},
    };
    for (const auto& b : buttons) {
        Button* button = new Button(b.caption, GetHandle(), b.x, buttonsY, 60, 20, kButtonStyle);
        if (!button) continue;
        ApplyButtonLook(button);
        button->OnClick.Bind(this, b.handler);
    }

    m_about = new CAboutDialog(nullptr, 0, 0, 500, 340, 0x86C00000, 0);

    // Logging options of a later version; never shown.
    m_popupMenu = new (std::nothrow) PopupMenu(GetHandle());
    if (m_popupMenu) {
        for (const char* item :
             {"Squelch type", "Date (YYYY-MM-DD)", "Time - UTC (HH-MM)", "Frequency (in Hz)", "Unique Number", "'#'"})
            m_popupMenu->GetMenu().GetMenu().Insert(item, -1, false, nullptr);
    }
}

// Indicators --------------------------------------------------------------------------------

void CSetupDialog::ShowIndicator(Button* indicator, bool on) {
    if (!indicator) return;
    indicator->SetFaceColor(on ? kIndicatorOn : kIndicatorOff);
    indicator->SetBackColor(on ? kIndicatorOff : kIndicatorOn);
}

void CSetupDialog::HandleIndicatorLabelMouseUp(Object* sender, int, int x, int y) {
    for (int i = 0; i < m_indicatorLabelCount; ++i) {
        Label* label = m_indicatorLabels[i];
        if (sender != label) continue;
        if (x >= 0 && x <= label->Width() && y >= 0 && y <= label->Height() && m_indicatorsOfLabels[i])
            m_indicatorsOfLabels[i]->DoOnClick();
        return;
    }
}

// Recording pauses --------------------------------------------------------------------------

void CSetupDialog::TogglePauseUnderSquelch(Object*) {
    m_pauseUnderSquelch = !m_pauseUnderSquelch;
    ShowIndicator(m_pauseSquelchIndicator, m_pauseUnderSquelch != 0);
    OnPauseUnderSquelchChange.Invoke(this, m_pauseUnderSquelch);
}

void CSetupDialog::TogglePauseNoApco(Object*) {
    m_pauseNoApco = !m_pauseNoApco;
    ShowIndicator(m_pauseNoApcoIndicator, m_pauseNoApco != 0);
    OnPauseNoApcoChange.Invoke(this, m_pauseNoApco);
}

void CSetupDialog::SetPauseUnderSquelch(int on) {
    on = on ? 1 : 0;
    if (on == m_pauseUnderSquelch) return;
    m_pauseUnderSquelch = on;
    ShowIndicator(m_pauseSquelchIndicator, on != 0);
}

void CSetupDialog::SetPauseNoApco(int on) {
    on = on ? 1 : 0;
    if (on == m_pauseNoApco) return;
    m_pauseNoApco = on;
    ShowIndicator(m_pauseNoApcoIndicator, on != 0);
}

// Audio filter ------------------------------------------------------------------------------

void CSetupDialog::SetAFEnabled(int on) {
    on = on ? 1 : 0;
    if (on == m_filterEnabled) return;
    m_filterEnabled = on;
    if (m_onButton) m_onButton->SetDown(on != 0);
    OnAFEnable.Invoke(this, on);
}

void CSetupDialog::HandleAFOnClick(Object*) { SetAFEnabled(!m_filterEnabled); }

void CSetupDialog::SetAFLowpass(int lowpass, int silent) {
    lowpass = lowpass ? 1 : 0;
    if (lowpass == m_lowpass) return;
    m_lowpass = lowpass;
    if (!lowpass) {
        // The low cut-off may have been left above a high cut-off lowered in low-pass mode.
        SetAFFreqLow(m_freqLow, silent);
        if (m_graph) m_graph->SetLowpass(false);
        if (m_bandpassButton) m_bandpassButton->SetDown(true);
        if (m_freqLowField) m_freqLowField->Enable(true);
    } else {
        if (m_graph) m_graph->SetLowpass(true);
        if (m_lowpassButton) m_lowpassButton->SetDown(true);
        if (m_freqLowField) m_freqLowField->Enable(false);
    }
    if (!silent) OnAFFilterTypeChange.Invoke(this, lowpass);
}

void CSetupDialog::HandleLowpassClick(Object*) { SetAFLowpass(1, 0); }
void CSetupDialog::HandleBandpassClick(Object*) { SetAFLowpass(0, 0); }

void CSetupDialog::SetAFFreqLow(int hz, int silent) {
    int v = hz < m_freqHigh - 1 ? hz : m_freqHigh - 1;
    if (v < 0) v = 0;
    const bool changed = v != m_freqLow;
    // Stored before the field and the graph are told: their own reports find nothing new.
    m_freqLow = v;
    if (m_freqLowField && m_freqLowField->GetValue() != v) m_freqLowField->SetValue(v);
    if (m_graph) m_graph->SetFreqLow(v);
    if (changed && !silent) OnAFFreqLowChange.Invoke(this, v);
}

void CSetupDialog::SetAFFreqHigh(int hz, int silent) {
    const int lower = m_lowpass ? 0 : m_freqLow;
    int v = hz > lower ? hz : lower + 1;
    if (v > kMaxCutoffHz) v = kMaxCutoffHz;
    const bool changed = v != m_freqHigh;
    m_freqHigh = v;
    if (m_freqHighField && m_freqHighField->GetValue() != v) m_freqHighField->SetValue(v);
    if (m_graph) m_graph->SetFreqHigh(v);
    if (changed && !silent) OnAFFreqHighChange.Invoke(this, v);
}

// A typed value goes through the clamping setter, so the owner hears the value that stands.
void CSetupDialog::HandleAFFreqLowChange(Object*, int64_t value) {
    const int64_t hz = value < 0 ? 0 : value > kMaxCutoffHz ? kMaxCutoffHz : value;
    SetAFFreqLow(static_cast<int>(hz), 0);
}

void CSetupDialog::HandleAFFreqHighChange(Object*, int64_t value) {
    const int64_t hz = value < 0 ? 0 : value > kMaxCutoffHz ? kMaxCutoffHz : value;
    SetAFFreqHigh(static_cast<int>(hz), 0);
}

void CSetupDialog::HandleGraphFreqLowChange(Object*, int hz) { SetAFFreqLow(hz, 0); }
void CSetupDialog::HandleGraphFreqHighChange(Object*, int hz) { SetAFFreqHigh(hz, 0); }

void CSetupDialog::SetAFDeemphasis(int tenths, int silent) {
    const int v = std::clamp(tenths, kMinDeemphasisTenths, kMaxDeemphasisTenths);
    if (v == m_deemphasis && v == tenths) return;
    const bool changed = v != m_deemphasis;
    m_deemphasis = v;
    if (m_deemphasisField) m_deemphasisField->SetValue(v);
    if (m_graph) m_graph->SetDeemphasis(static_cast<float>(v) * 0.1f);
    if ((changed && !silent) || v != tenths) OnAFFilterDeempChange.Invoke(this, v);
}

void CSetupDialog::HandleAFDeempChange(Object*) {
    if (m_deemphasisField) SetAFDeemphasis(static_cast<int>(m_deemphasisField->GetValue()), 0);
}

void CSetupDialog::SetAFFilterLen(int taps, int silent) {
    const int v = std::clamp(taps, kMinFilterTaps, kMaxFilterTaps);
    if (v == m_filterLen && v == taps) return;
    const bool changed = v != m_filterLen;
    m_filterLen = v;
    if (m_filterLenField) m_filterLenField->SetValue(v);
    if ((changed && !silent) || v != taps) OnAFLenChange.Invoke(this, v);
}

void CSetupDialog::HandleAFLenChange(Object*, int64_t value) { SetAFFilterLen(static_cast<int>(value), 0); }

void CSetupDialog::SetAudioFilter(CFirFilter* filter) {
    if (m_graph) m_graph->SetFilter(filter);
}

void CSetupDialog::ReadAudioFilterParams(CFirFilter* filter) {
    if (!filter) return;
    const int centre = static_cast<int>(filter->GetFrequency());
    if (filter->GetType() == kFilterLowPass) {
        SetAFLowpass(1, 1);
        SetAFFreqHigh(centre, 1);
    } else {
        SetAFLowpass(0, 1);
        const int half = static_cast<int>(filter->GetBandwidth()) >> 1;
        // The high edge first when the band moves up, so the low one is not held under the
        // old high edge (and the other way round).
        if (centre - half >= m_freqHigh) {
            SetAFFreqHigh(centre + half, 1);
            SetAFFreqLow(centre - half, 1);
        } else {
            SetAFFreqLow(centre - half, 1);
            SetAFFreqHigh(centre + half, 1);
        }
    }
    SetAFDeemphasis(static_cast<int>(filter->GetDeemphasis() * 10.0f), 1);
    SetAFFilterLen(filter->GetTaps(), 0);
}

void CSetupDialog::EnableControlsForDemodMode(int flag) {
    if (m_groupFilter) m_groupFilter->Enable((flag & 0xFF) != 0);
}

bool CSetupDialog::IsFilterGroupEnabled() const { return m_groupFilter && m_groupFilter->IsEnabled(); }

// Call log ----------------------------------------------------------------------------------

void CSetupDialog::SetLoggingParams(uint32_t word) {
    m_loggingParams = word;
    if (m_useSquelchIndicator)
        m_useSquelchIndicator->SetFaceColor(word & kLogUseSquelch ? kIndicatorOn : kIndicatorOff);
    const bool every = (word & kLogEveryChange) != 0;
    ShowIndicator(m_everyChangeIndicator, every);
    ShowIndicator(m_intervalIndicator, !every);
    if (m_intervalField) {
        m_intervalField->Enable(!every);
        // Shown without a report: the field's own report would come back as a change.
        m_intervalField->OnValueChanged.Unbind();
        m_intervalField->SetValue(word & kLogIntervalMask);
        m_intervalField->OnValueChanged.Bind(this, &CSetupDialog::HandleIntervalChange);
    }
}

void CSetupDialog::SetLogEveryChange(Object*) {
    m_loggingParams |= kLogEveryChange;
    OnLoggingParamsChange.Invoke(this);
}

void CSetupDialog::SetLogInterval(Object*) {
    m_loggingParams &= ~kLogEveryChange;
    OnLoggingParamsChange.Invoke(this);
}

void CSetupDialog::ToggleUseSquelchFilter(Object*) {
    m_loggingParams ^= kLogUseSquelch;
    OnLoggingParamsChange.Invoke(this);
}

void CSetupDialog::HandleIntervalChange(Object*, int64_t value) {
    const int64_t seconds = value < 1 ? 1 : value > 3600 ? 3600 : value;
    const uint32_t word = (m_loggingParams & ~kLogIntervalMask) | static_cast<uint32_t>(seconds);
    // The field reports a committed value more than once; the owner hears each change once.
    if (word == m_loggingParams) return;
    m_loggingParams = word;
    OnLoggingParamsChange.Invoke(this);
}

void CSetupDialog::HandleLoggingEnableClick(Object*) {
    // The owner decides and shows the state with SetLoggingEnabled.
    OnLoggingEnable.Invoke(this);
}

void CSetupDialog::SetLoggingEnabled(int on) {
    if (m_loggingEnableButton) m_loggingEnableButton->SetDown(on != 0);
}

int CSetupDialog::IsLoggingEnabled() const { return m_loggingEnableButton && m_loggingEnableButton->IsDown() ? 1 : 0; }

String CSetupDialog::GetDefaultLogFileName() {
    char folder[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PERSONAL, FALSE) || !folder[0]) return String("");
    String path(folder);
    path += path[path.Length() - 1] == '\\' ? "Quorvane\\APCO\\ApcoLog.csv" : "\\Quorvane\\APCO\\ApcoLog.csv";
    return path;
}

String CSetupDialog::GetLogFileName(int useDefault) const {
    if (useDefault && m_logFileName.Length() == 0) return GetDefaultLogFileName();
    return m_logFileName;
}

void CSetupDialog::ShowLogFileName() {
    if (!m_logFileEdit) return;
    m_logFileEdit->SetText(GetLogFileName(1));
}

void CSetupDialog::SetLogFileName(const char* name) {
    if (!name) name = "";
    if (m_logFileName == name) return;
    m_logFileName = name;
    ShowLogFileName();
    OnLogFileNameChange.Invoke(this);
}

bool CSetupDialog::AskSaveFileName(const char* title, const char* filter, const char* defaultExtension, DWORD flags,
                                   char* buffer, int size) {
    return ::AskSaveFileName(GetHandle(), title, filter, defaultExtension, flags, buffer, size);
}

void CSetupDialog::HandleLogFileClick(Object*) {
    char buffer[kLogFileBuffer];
    const String start = GetLogFileName(1);
    std::strncpy(buffer, start.CStr(), kLogFileBuffer - 1);
    buffer[kLogFileBuffer - 1] = 0;
    // A name typed without an extension gets ".csv". OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
    // OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN.
    if (!AskSaveFileName("Select Log File", "CSV files (*.csv)\0*.csv\0", "csv", 0x880C, buffer, kLogFileBuffer))
        return;
    buffer[kLogFileBuffer - 1] = 0;
    if (m_logFileName == buffer) return;
    m_logFileName = buffer;
    ShowLogFileName();
    OnLogFileNameChange.Invoke(this);
}

// Help, About, OK and the icon --------------------------------------------------------------

String CSetupDialog::GetHelpFilePath(HKEY root, const char* path) {
    String folder("C:\\Program Files\\Quorvane\\Plugins");
    // Read access only: an ordinary user may not open a machine-wide key for writing.
    RegistryKey key(root, KEY_READ);
    if (key.OpenSubKey(path, 0, KEY_READ)) folder = key.ReadString("SearchPath", folder);
    return folder + "\\K927Apco.chm";
}

HMODULE CSetupDialog::LoadHelpLibrary() { return LoadLibraryA("hhctrl.ocx"); }

FARPROC CSetupDialog::FindHelpEntry(HMODULE module) { return GetProcAddress(module, "HtmlHelpA"); }

void CSetupDialog::ShowMessage(const char* text) { MessageBox(text, MB_OK | MB_ICONERROR, "K927 APCO P25 Decoder"); }

void CSetupDialog::HandleHelpClick(Object*) {
    // The help window would outlive a closing instance.
    if (!MayOpenModalWindow(GetHandle(), "help")) return;
    if (!m_helpModule) m_helpModule = LoadHelpLibrary();
    if (!m_helpModule) {
        ShowMessage("Unable to load HTML Help component required to view help.");
        return;
    }
    const String path = GetHelpFilePath();
    HtmlHelpFunction help = reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(FindHelpEntry(m_helpModule)));
    if (!help) {
        ShowMessage("Unable to initialize HTML Help component required to view help.");
        return;
    }
    help(GetHandle(), path.CStr(), kHelpInitialize, 0);
    help(GetHandle(), path.CStr(), kHelpDisplayToc, 0);
}

void CSetupDialog::HandleAboutClick(Object*) {
    if (!m_about || m_about->IsVisible()) return;
    RECT own, about;
    GetWindowRect(GetHandle(), &own);
    GetWindowRect(m_about->GetHandle(), &about);
    const int aboutWidth = about.right - about.left, aboutHeight = about.bottom - about.top;
    const int x = own.left + ((own.right - own.left) - aboutWidth) / 2;
    int y = own.top + ((own.bottom - own.top) - aboutHeight) / 2;
    if (y < 0) y = 0;
    m_about->Move(x, y);
    m_about->Show(true);
}

void CSetupDialog::HandleOKClick(Object*) { OnClose.Invoke(this); }

void CSetupDialog::CopyParentIcon(HWND window) {
    m_iconSource = window;
    if (m_iconCopied || !window) return;
    HICON icon = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_BIG, 0));
    if (!icon) return;
    PostMessageA(GetHandle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    m_iconCopied = true;
}

LRESULT CSetupDialog::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) {
        if (m_about) m_about->Show(false);
        OnClose.Invoke(this);
        return 0;
    }
    if (msg == WM_USER && (wParam == 2 || wParam == 3 || wParam == 4)) RefreshWaveOutDevices();
    return Component::WndProc(msg, wParam, lParam);
}
