// Construction, layout, private messages, host hand-over and timers of the main window.
#include "ui/k927_apco_plugin_window.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "foundation/trace.h"
#include "plugin/host_call_record.h"
#include "plugin/host_protocol.h"
#include "plugin/tsb.h"
#include "toolkit/button.h"
#include "toolkit/int_edit.h"
#include "toolkit/listbox.h"
#include "toolkit/message_dialog.h"
#include "toolkit/scroll_bar.h"
#include "toolkit/spin_control.h"
#include "ui/apco_plugin_link.h"
#include "ui/play_rec_panel.h"
#include "ui/setup_dialog.h"
#include "ui/shared_looks.h"
#include "ui/spectrum_analyzer_panel.h"

namespace {

constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;                                 // 0x54000000
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP;                   // 0x54010000
constexpr DWORD kPanelStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP;  // 0x56010000
constexpr uint32_t kHostCallRecordSize = 20;
constexpr int kUnitIdFieldWidth = 56;

// Entry and exit trace of a method ("zaciatok" / "koniec"), as every method of the window has.
class MethodTrace {
public:
    explicit MethodTrace(const char* name) : m_name(name) {
        Trace(kTraceLevel, "CK927ApcoPluginWindow::%s - zaciatok (thread=%d)\n", m_name,
              static_cast<int>(GetCurrentThreadId()));
    }
    ~MethodTrace() {
        Trace(kTraceLevel, "CK927ApcoPluginWindow::%s - koniec (thread=%d)\n", m_name,
              static_cast<int>(GetCurrentThreadId()));
    }

private:
    const char* m_name;
};

Label* MakeLabel(HWND parent, const char* text, int x, int y, const char* tip = nullptr) {
    Label* label = new Label(text, parent, x, y, 0, 0, kLabelStyle);
    if (label && tip) label->SetToolTip(tip);
    return label;
}

Label* MakeValueField(HWND parent, const char* text, int x, int y, int width, int height, const char* tip = nullptr) {
    Label* field = new Label(text, parent, x, y, width, height, kLabelStyle);
    if (!field) return nullptr;
    ApplyValueLook(field);
    if (tip) field->SetToolTip(tip);
    return field;
}

Panel* MakeLed(HWND parent, int x, int y) {
    Panel* led =
        new Panel("", parent, x, y, 8, 8, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP, 0);
    ApplyLedLook(led);
    return led;
}

// A sticky button; allowAllUp lets a second click release it.
Button* MakeToggle(HWND parent, const char* text, int x, int y, int width, int group, bool allowAllUp) {
    Button* b = new Button(text, parent, x, y, width, 20, kButtonStyle);
    if (!b) return nullptr;
    ApplyButtonLook(b);
    b->SetToggle(group);
    if (allowAllUp) b->SetAllowAllUp(true);
    return b;
}

int RightOf(Component* c, int gap) { return c ? c->Right() + gap : gap; }

}  // namespace

CK927ApcoPluginWindow::CK927ApcoPluginWindow(DWORD style, DWORD exStyle, int x, int y, int width, int height,
                                             HWND parent)
    : Panel("K927 APCO plugin", parent, x, y, width, height, style, exStyle) {
    MethodTrace trace("CK927ApcoPluginWindow");
    SetCloseAction(kCloseIgnored);  // the host closes the plug-in, which keeps this window until then
    ApplyNormalFont(this);
    CreateControls();
    SetBorderStyle(0);
    // The spectrum panel was docked inside the default frame; without a frame it moves up.
    Layout();
    InitEncryptionNames();
    m_uRcvCheckTimer = SetTimer(kRcvCheckTimerId, kRcvCheckPeriodMs);
}

CK927ApcoPluginWindow::~CK927ApcoPluginWindow() {
    MethodTrace trace("~CK927ApcoPluginWindow");
    if (m_pSpectrumAnalyzer) {
        m_pSpectrumAnalyzer->CloseAnalyzer();
        delete m_pSpectrumAnalyzer;
        m_pSpectrumAnalyzer = nullptr;
    }
    delete m_pSetupDialog;
    m_pSetupDialog = nullptr;
    delete m_pErrorDialog;
    m_pErrorDialog = nullptr;
    for (CSquelchCodeList& list : m_SquelchLists) list.Clear();
}

void CK927ApcoPluginWindow::CreateControls() {
    HWND own = GetHandle();

    m_pSpectrumAnalyzer = new CSpectrumAnalyzerPanel(own, 0, 0, 100, 100, kPanelStyle, 0);
    if (m_pSpectrumAnalyzer) {
        m_pSpectrumAnalyzer->SetAlign(kAlignTopLate);
        m_pSpectrumAnalyzer->OnVolumeChange.Bind(this, &CK927ApcoPluginWindow::HandleSAVolumeChange);
        m_pSpectrumAnalyzer->OnSetup.Bind(this, &CK927ApcoPluginWindow::HandleSetupDownChange);
        m_pSpectrumAnalyzer->OnMuteChange.Bind(this, &CK927ApcoPluginWindow::HandleSAMuteChange);
    }

    m_pPlayRecPanel = new CPlayRecPanel(own, 0, 225);
    if (m_pPlayRecPanel) {
        m_pPlayRecPanel->OnFileNameChange.Bind(this, &CK927ApcoPluginWindow::HandlePRFileNameChange);
        m_pPlayRecPanel->OnStartPlay.Bind(this, &CK927ApcoPluginWindow::HandlePRStartPlay);
        m_pPlayRecPanel->OnFilePosChange.Bind(this, &CK927ApcoPluginWindow::HandlePRFilePosChange);
        m_pPlayRecPanel->OnPlayRecStop.Bind(this, &CK927ApcoPluginWindow::HandlePRPlayRecStop);
        m_pPlayRecPanel->OnPlayRecPause.Bind(this, &CK927ApcoPluginWindow::HandlePRPlayRecPause);
        m_pPlayRecPanel->OnFileTimePosChange.Bind(this, &CK927ApcoPluginWindow::HandlePRFileTimePosChange);
        m_pPlayRecPanel->OnRecordStart.Bind(this, &CK927ApcoPluginWindow::HandlePRRecordStart);
    }

    CreateDecodedFieldPanel();

    m_pButtonLog = MakeToggle(own, "Log", 320, 100, 78, 5, true);
    if (m_pButtonLog) m_pButtonLog->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleLogClick);
    m_pButtonAudioFilter = MakeToggle(own, "Audio Filter", 398, 100, 78, 6, true);
    if (m_pButtonAudioFilter) m_pButtonAudioFilter->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleAudioFilterClick);

    CreateSquelchPanel();

    m_pErrorDialog = new MessageDialog(own, 1, "K927APCO - Error");
    ApplyDialogLook(m_pErrorDialog);
}

void CK927ApcoPluginWindow::CreateDecodedFieldPanel() {
    m_pPanelDecoded = new Panel("", GetHandle(), 0, 100, 320, 125, kPanelStyle, 0);
    if (!m_pPanelDecoded) return;
    HWND p = m_pPanelDecoded->GetHandle();

    // Row 1: mode buttons, signal LEDs, bit-error rate.
    int y = 5;
    m_pButtonApco = MakeToggle(p, "APCO", 5, y, 40, 1, false);
    m_pButtonFM = MakeToggle(p, "FM", 45, y, 40, 1, false);
    m_pButtonAuto = MakeToggle(p, "Auto", 85, y, 40, 1, false);
    if (m_pButtonAuto) m_pButtonAuto->SetDown(true);
    if (m_pButtonApco) m_pButtonApco->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleApcoModeClick);
    if (m_pButtonFM) m_pButtonFM->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleFMModeClick);
    if (m_pButtonAuto) m_pButtonAuto->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleAutoModeClick);
    m_pPanelApcoLed = MakeLed(p, 145, y + 6);
    m_pLabelApco = MakeLabel(p, "APCO", 157, y + 3);
    m_pPanelFMLed = MakeLed(p, RightOf(m_pLabelApco, 10), y + 6);
    m_pLabelFM = MakeLabel(p, "FM", m_pPanelFMLed ? m_pPanelFMLed->GetLeft() + 12 : 0, y + 3);
    m_pLabelBER = MakeLabel(p, "BER", 235, y + 3, "Bit Error Rate");
    m_pFieldBER = MakeValueField(p, "0.0 %", RightOf(m_pLabelBER, 4), y, 50, 20, "Bit Error Rate");

    // Row 2: the four identifiers.
    y += 20 + 4;
    // SID and DID take eight digits (16777215): their fields are wide enough for them.
    m_pLabelNAC = MakeLabel(p, "NAC", 6, y + 3, "Network Access Code");
    m_pFieldNAC = MakeValueField(p, "---", RightOf(m_pLabelNAC, 3), y, 30, 20, "Network Access Code");
    m_pLabelTGID = MakeLabel(p, "TGID", RightOf(m_pFieldNAC, 5), y + 3, "Talk-group ID");
    m_pFieldTGID = MakeValueField(p, "----", RightOf(m_pLabelTGID, 3), y, 40, 20, "Talk-group ID");
    m_pLabelSID = MakeLabel(p, "SID", RightOf(m_pFieldTGID, 5), y + 3, "Source ID");
    m_pFieldSID = MakeValueField(p, "------", RightOf(m_pLabelSID, 3), y, kUnitIdFieldWidth, 20, "Source ID");
    m_pLabelDID = MakeLabel(p, "DID", RightOf(m_pFieldSID, 5), y + 3, "Destination ID");
    m_pFieldDID = MakeValueField(p, "------", RightOf(m_pLabelDID, 3), y, kUnitIdFieldWidth, 20, "Destination ID");

    // Row 3: transmission LEDs.
    y += 20 + 4;
    m_pLabelTransmission = MakeLabel(p, "Transmission", 6, y);
    const int ledX[4] = {77, 130, 182, 245};
    Panel** leds[4] = {&m_pPanelVoiceLed, &m_pPanelDataLed, &m_pPanelTrunkingLed, &m_pPanelUnknownLed};
    Label** labels[4] = {&m_pLabelVoice, &m_pLabelData, &m_pLabelTrunking, &m_pLabelUnknown};
    const char* names[4] = {"Voice", "Data", "Trunking", "Unknown"};
    for (int i = 0; i < 4; ++i) {
        *leds[i] = MakeLed(p, ledX[i], y + 3);
        *labels[i] = MakeLabel(p, names[i], ledX[i] + 13, y);
    }
    const int rowHeight = m_pLabelTransmission ? m_pLabelTransmission->Height() : 14;

    // Row 4: encryption.
    y += rowHeight + 5;
    m_pLabelEncryption = MakeLabel(p, "Encryption", 6, y + 3);
    m_pFieldAlgid = MakeValueField(p, "", 77, y, 30, 20);
    m_pLabelAlgName = new Label("", p, RightOf(m_pFieldAlgid, 5), y + 3, 125, 17, kLabelStyle);

    // Row 5: manufacturer and emergency.
    y += 20 + 4;
    m_pLabelManufacturer = MakeLabel(p, "Manufacturer", 5, y + 3);
    m_pFieldMfid = MakeValueField(p, "", 77, y, 30, 20);
    m_pLabelMfName = new Label("", p, RightOf(m_pFieldMfid, 5), y + 3, 125, 17, kLabelStyle);
    m_pPanelEmergencyLed = MakeLed(p, 245, y + 6);
    SetLedColour(m_pPanelEmergencyLed, 0x000040);
    m_pLabelEmergency = MakeLabel(p, "Emergency", 258, y + 3);

    // The encryption indication starts off.
    for (Component* c : {static_cast<Component*>(m_pLabelEncryption), static_cast<Component*>(m_pFieldAlgid),
                         static_cast<Component*>(m_pLabelAlgName)})
        if (c) c->Enable(false);
}

void CK927ApcoPluginWindow::CreateSquelchPanel() {
    m_pPanelSquelch = new Panel("", GetHandle(), 320, 121, 156, 155, kPanelStyle, 0);
    if (!m_pPanelSquelch) return;
    HWND p = m_pPanelSquelch->GetHandle();

    m_pLabelSquelch = MakeLabel(p, "Squelch", 6, 3);
    int y = 3 + (m_pLabelSquelch ? m_pLabelSquelch->Height() : 14) + 3;

    m_pButtonSqBER = MakeToggle(p, "BER", 6, y, 36, 4, true);
    if (m_pButtonSqBER) m_pButtonSqBER->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleSqBERClick);
    m_pEditSqBER = new IntEdit(p, 6 + 36 + 11, y, 40, 20, 0, 0, 0, 100, true, false);
    if (m_pEditSqBER) {
        m_pEditSqBER->SetLimitText(4);
        m_pEditSqBER->SetSuffix("%");
        ApplyEditLook(m_pEditSqBER);
        m_pEditSqBER->Enable(false);
        m_pEditSqBER->OnValueChanged.Bind(this, &CK927ApcoPluginWindow::HandleSqBERValChange);
    }
    m_pSpinSqBER = new SpinControl(p, RightOf(m_pEditSqBER, 0), y, 10, 20, 0, true);
    if (m_pSpinSqBER) {
        if (m_pEditSqBER) m_pSpinSqBER->SetTarget(m_pEditSqBER->GetHandle());
        m_pSpinSqBER->SetGlyphColor(look::kGreen);
        m_pSpinSqBER->SetFaceColor(look::kFaceGrey);
        m_pSpinSqBER->SetBevelDepth(2);
        m_pSpinSqBER->SetPixelsPerStep(5);
        m_pSpinSqBER->SetTabStop(false);
        m_pSpinSqBER->Enable(false);
    }
    m_pButtonSqInv = MakeToggle(p, "Inv", 113, y, 36, 3, true);
    if (m_pButtonSqInv) m_pButtonSqInv->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleSqInvertClick);

    y += 20 + 3;
    m_pButtonSqNAC = MakeToggle(p, "NAC", 6, y, 36, 1, true);
    m_pButtonSqTGID = MakeToggle(p, "TGID", 42, y, 36, 1, true);
    m_pButtonSqSID = MakeToggle(p, "SID", 78, y, 36, 1, true);
    m_pButtonSqDID = MakeToggle(p, "DID", 114, y, 36, 1, true);
    if (m_pButtonSqNAC) m_pButtonSqNAC->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleSqNACClick);
    if (m_pButtonSqTGID) m_pButtonSqTGID->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleSqTGIDClick);
    if (m_pButtonSqSID) m_pButtonSqSID->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleSqSIDClick);
    if (m_pButtonSqDID) m_pButtonSqDID->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleSqDIDClick);

    y += 20 + 3;
    m_pLabelSqTitle = MakeLabel(p, "Codes to monitor:", 6, y);
    if (m_pLabelSqTitle) m_pLabelSqTitle->Enable(false);

    y += (m_pLabelSqTitle ? m_pLabelSqTitle->Height() : 14) + 3;
    m_pEditSqVal = new IntEdit(p, 6, y, 60, 20, 0, 0, 0, 0, true, false);
    if (m_pEditSqVal) {
        m_pEditSqVal->SetLimitText(kMaxCodeDigits);
        m_pEditSqVal->SetSuffix("");
        ApplyEditLook(m_pEditSqVal);
        m_pEditSqVal->Enable(false);
        m_pEditSqVal->OnChar.Bind(this, &CK927ApcoPluginWindow::HandleSqValKey);
        m_pEditSqVal->OnFocus.Bind(this, &CK927ApcoPluginWindow::HandleSqValFocus);
    }
    m_pListSquelches = new Listbox(p, 6 + 60 + 11, y, 79, 66, 0, true);
    if (m_pListSquelches) {
        if (ScrollBar* bar = m_pListSquelches->GetScrollBar()) bar->SetSize(16, 16);
        ApplyListLook(m_pListSquelches);
        m_pListSquelches->Enable(false);
        m_pListSquelches->OnChange.Bind(this, &CK927ApcoPluginWindow::HandleSquelchSelChange);
        m_pListSquelches->OnKeyDown.Bind(this, &CK927ApcoPluginWindow::HandleListSquelchesKeyDown);
    }
    m_pButtonSqAdd = new Button("Add", p, 5, y + 20 + 3, 60, 20, kButtonStyle);
    m_pButtonSqRemove = new Button("Remove", p, 5, y + 2 * (20 + 3), 60, 20, kButtonStyle);
    for (Button* b : {m_pButtonSqAdd, m_pButtonSqRemove}) {
        if (!b) continue;
        ApplyButtonLook(b);
        b->Enable(false);
    }
    if (m_pButtonSqAdd) m_pButtonSqAdd->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleSqAddClick);
    if (m_pButtonSqRemove) m_pButtonSqRemove->OnClick.Bind(this, &CK927ApcoPluginWindow::HandleSqRemoveClick);
}

void CK927ApcoPluginWindow::Initialize() {
    MethodTrace trace("Initialize");
    Update();
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->Initialize();
    if (m_pSetupDialog) return;
    m_pSetupDialog = new CSetupDialog(GetHandle(), 0, 0, 630, 279, 0x86C80000, 0);
    if (!m_pSetupDialog) return;
    m_bSetupFirstShow = true;
    CSetupDialog* s = m_pSetupDialog;
    s->OnClose.Bind(this, &CK927ApcoPluginWindow::HandleSetupDialogClose);
    s->OnAFFreqLowChange.Bind(this, &CK927ApcoPluginWindow::HandleSetupAFFreqLowChange);
    s->OnAFFreqHighChange.Bind(this, &CK927ApcoPluginWindow::HandleSetupAFFreqHighChange);
    s->OnAFFilterTypeChange.Bind(this, &CK927ApcoPluginWindow::HandleSetupAFFilterTypeChange);
    s->OnAFFilterDeempChange.Bind(this, &CK927ApcoPluginWindow::HandleSetupAFFilterDeempChange);
    s->OnAFLenChange.Bind(this, &CK927ApcoPluginWindow::HandleSetupAFLenChange);
    s->OnAFEnable.Bind(this, &CK927ApcoPluginWindow::HandleSetupAFEnable);
    s->OnPauseUnderSquelchChange.Bind(this, &CK927ApcoPluginWindow::HandleSetupPauseUndeSquelchChange);
    s->OnPauseNoApcoChange.Bind(this, &CK927ApcoPluginWindow::HandleSetupPauseNoApcoChange);
    s->OnWaveOutDeviceChange.Bind(this, &CK927ApcoPluginWindow::HandleSetupWaveOutDeviceChange);
    s->OnLoggingEnable.Bind(this, &CK927ApcoPluginWindow::HandleSetupLoggingEnable);
    s->OnLogFileNameChange.Bind(this, &CK927ApcoPluginWindow::HandleLogFileNameChanged);
    s->OnLoggingParamsChange.Bind(this, &CK927ApcoPluginWindow::HandleLoggingParamsChanged);
    s->FillWaveOutDevices();
}

int CK927ApcoPluginWindow::DisplayError(const char* text, int centreOnScreen) {
    MethodTrace trace("DisplayError");
    if (!m_pErrorDialog || !text) return -1;
    return m_pErrorDialog->Run(text, centreOnScreen != 0);
}

LRESULT CK927ApcoPluginWindow::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_APCO_INIT: {
        MethodTrace trace("WM_APCO_INIT");
        OnInitialize.Invoke(this);
        break;
    }
    case WM_APCO_RESERVED: OnReserved.Invoke(this); break;
    case WM_APCO_MEDIA:
        if (lParam == sizeof(ApcoParams)) UpdateApcoParams(reinterpret_cast<const ApcoParams*>(wParam));
        break;
    case WM_APCO_RECBYTES: SetTotalFileSize(static_cast<uint32_t>(wParam)); break;
    case WM_APCO_RECSECONDS: SetTotalWaveTime(static_cast<uint32_t>(wParam)); break;
    case WM_APCO_PLAYPOSITION:
        if (wParam && lParam == 8) {
            uint32_t position[2];
            std::memcpy(position, reinterpret_cast<const void*>(wParam), sizeof position);
            if (position[0] != 0xFFFFFFFFu) SetFilePos(position[0]);
            if (position[1] != 0xFFFFFFFFu) SetFilePosTime(position[1]);
        }
        break;
    case WM_APCO_DISPLAYSPECTRUM:
        if (wParam) {
            TSB* pool = reinterpret_cast<TSB*>(wParam);
            if (TsbRecord* record = pool->Get()) {
                DisplaySpectrum(record->data, static_cast<int>(record->count), static_cast<int>(record->param),
                                reinterpret_cast<int*>(lParam));
                pool->Release(record);
            }
        }
        break;
    case WM_APCO_SQUELCH: SetSquelched(wParam != 0); break;
    case WM_APCO_PAUSE: SetPaused(static_cast<int>(wParam), static_cast<int>(lParam)); break;
    case WM_APCO_CALLPLUGINPROC: OnCallPluginProc.Invoke(this, nullptr, static_cast<uint32_t>(lParam), 0); break;
    case WM_APCO_STATUS: SetCurDemod(static_cast<uint32_t>(wParam)); break;
    case WM_APCO_PLAYRECEND: OnPlayRecEnd.Invoke(this); break;
    case WM_APCO_SAMPLERATE: SetSampleRate(static_cast<uint32_t>(wParam)); break;
    case WM_APCO_PLAYBACK: SetPlayback(static_cast<uint32_t>(wParam)); break;
    case WM_APCO_RESETIFSPECTRUMCALC:
        if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->ResetIFSpectrumCalc();
        break;
    case WM_APCO_SENDIFSPECTRUM:
    case WM_APCO_SENDSCANIFSPECTRUM:
        // A bin count whose byte size wraps 32 bits is no spectrum.
        if (wParam && lParam > 0 && static_cast<uint32_t>(lParam) <= 0x3FFFFFFFu)
            CallHost(PMR_IFSpectrum, m_dwSampleRate >> 1, static_cast<uint32_t>(lParam) * 4,
                     reinterpret_cast<void*>(wParam), msg == WM_APCO_SENDSCANIFSPECTRUM ? 1 : 0);
        break;
    case WM_APCO_AUDIOPLAYBACK: SetAudioPlayback(wParam != 0); break;
    case WM_APCO_SENDMEDIA:
        if (lParam == sizeof(ApcoParams)) SendMediaInfo(reinterpret_cast<const ApcoParams*>(wParam));
        break;
    case WM_APCO_SENDAUDIO:
        if (wParam)
            CallHost(PMR_Audio, kAudioBlockDwParam, static_cast<uint32_t>(lParam), reinterpret_cast<void*>(wParam), 0);
        break;
    case WM_APCO_SENDEVENTS: SendDecoderEvents(); break;
    default: break;
    }
    return Panel::WndProc(msg, wParam, lParam);
}

void CK927ApcoPluginWindow::CallHost(uint32_t msg, uint32_t dwParam, uint32_t cbData, void* lpData, uint32_t scan) {
    HostCallRecord record(msg, dwParam);
    record.cbData = cbData;
    record.lpData = lpData;
    record.scanFlag = scan;
    OnCallPluginProc.Invoke(this, &record, kHostCallRecordSize, 1);
    // The data belongs to the sender or to this stack frame, never to the record.
    record.lpData = nullptr;
}

void CK927ApcoPluginWindow::SendMediaInfo(const ApcoParams* params) {
    MethodTrace trace("SendMediaInfo");
    if (!params) return;
    // The whole packet is zeroed first: nothing of the stack goes to the host after the name.
    unsigned char packet[kMediaParamsPacketBytes];
    std::memset(packet, 0, sizeof packet);
    WriteMediaPacketHeader(packet, kMediaTypeParams, sizeof(ApcoParams));
    std::memcpy(packet + kMediaHeaderBytes, params, sizeof(ApcoParams));
    CallHost(PMR_Media, 0, sizeof packet, packet, 0);
}

void CK927ApcoPluginWindow::SendDecoderEvents() {
    if (m_pPlugin) SendPluginDecoderEvents(m_pPlugin);
}

void CK927ApcoPluginWindow::DisplaySpectrum(const float* bins, int count, int flag, int* result) {
    if (result) *result = 0;
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->DisplaySpectrum(bins, count, flag);
}

void CK927ApcoPluginWindow::DoOnTimer(UINT_PTR id) {
    if (id == m_uRcvCheckTimer) {
        OnRcvCheckTimer.Invoke(this);
    } else if (id == m_uLoggingTimer) {
        OnLoggingTimer.Invoke(this);
    } else if (id == m_uScanningDelayTimer) {
        // Stopped first: the handler may start the next delay.
        DestroyScanningDelayTimer();
        OnScanningDelayTimer.Invoke(this);
    }
}

void CK927ApcoPluginWindow::CreateLoggingTimer(UINT periodMs) {
    MethodTrace trace("CreateLoggingTimer");
    DestroyLoggingTimer();
    m_uLoggingTimer = SetTimer(kLoggingTimerId, periodMs);
}

void CK927ApcoPluginWindow::DestroyLoggingTimer() {
    if (!m_uLoggingTimer) return;
    KillTimer(m_uLoggingTimer);
    m_uLoggingTimer = 0;
}

bool CK927ApcoPluginWindow::CreateScanningDelayTimer() {
    DestroyScanningDelayTimer();
    m_uScanningDelayTimer = SetTimer(kScanningDelayTimerId, kScanningDelayMs);
    return m_uScanningDelayTimer != 0;
}

void CK927ApcoPluginWindow::DestroyScanningDelayTimer() {
    if (!m_uScanningDelayTimer) return;
    KillTimer(m_uScanningDelayTimer);
    m_uScanningDelayTimer = 0;
}

void CK927ApcoPluginWindow::DoOnKeyPreview(Component* sender, int* key, LPARAM flags) {
    if (m_pSpectrumAnalyzer && key) {
        if (*key == VK_LEFT) {
            m_pSpectrumAnalyzer->SetVolume(m_pSpectrumAnalyzer->GetVolume() - 1);
            return;
        }
        if (*key == VK_RIGHT) {
            m_pSpectrumAnalyzer->SetVolume(m_pSpectrumAnalyzer->GetVolume() + 1);
            return;
        }
    }
    Panel::DoOnKeyPreview(sender, key, flags);
}
