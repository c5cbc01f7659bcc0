// Settings accessors, control handlers and the squelch panel of the main window. Most
// accessors forward to a child panel and do nothing (or return their default) without it.
#include <cstdio>
#include <initializer_list>

#include "toolkit/button.h"
#include "toolkit/int_edit.h"
#include "toolkit/listbox.h"
#include "toolkit/spin_control.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/play_rec_panel.h"
#include "ui/setup_dialog.h"
#include "ui/spectrum_analyzer_panel.h"

namespace {

struct ListType {
    uint32_t bit;
    const char* name;
    uint32_t mask;
    int digits;  // decimal digits of the mask: every valid code can be typed
};

constexpr ListType kListTypes[4] = {
    {1, "NAC", 0xFFF, 4},
    {2, "TGID", 0xFFFF, 5},
    {4, "SID", 0xFFFFFF, 8},
    {8, "DID", 0xFFFFFF, 8},
};

// The list type of a squelch-type word; null unless exactly one list bit is set.
const ListType* SingleList(uint32_t word) {
    const uint32_t lists = word & ~static_cast<uint32_t>(kSquelchBER);
    for (const ListType& t : kListTypes)
        if (t.bit == lists) return &t;
    return nullptr;
}

int ListIndex(uint32_t bit) {
    for (int i = 0; i < 4; ++i)
        if (kListTypes[i].bit == bit) return i;
    return -1;
}

}  // namespace

// Spectrum-analyzer panel.

int CK927ApcoPluginWindow::GetVolume() const { return m_pSpectrumAnalyzer ? m_pSpectrumAnalyzer->GetVolume() : 0; }
void CK927ApcoPluginWindow::SetVolume(int volume) {
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetVolume(volume);
}
int CK927ApcoPluginWindow::GetMute() const { return m_pSpectrumAnalyzer ? m_pSpectrumAnalyzer->IsMuted() : 0; }
void CK927ApcoPluginWindow::SetMute(int on) {
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetMute(on);
}
int CK927ApcoPluginWindow::GetNotchEnabled() const {
    return m_pSpectrumAnalyzer ? m_pSpectrumAnalyzer->GetNotchEnabled() : 0;
}
void CK927ApcoPluginWindow::SetNotchEnabled(int on) {
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetNotchEnabled(on);
}
int CK927ApcoPluginWindow::GetNotchFrequency() const {
    return m_pSpectrumAnalyzer ? m_pSpectrumAnalyzer->GetNotchFrequency() : 0;
}
void CK927ApcoPluginWindow::SetNotchFrequency(int hz) {
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetNotchFrequency(hz);
}
int CK927ApcoPluginWindow::GetNotchWidth() const {
    return m_pSpectrumAnalyzer ? m_pSpectrumAnalyzer->GetNotchWidth() : 100;
}
void CK927ApcoPluginWindow::SetNotchWidth(int hz) {
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetNotchWidth(hz);
}
void CK927ApcoPluginWindow::SetSampleRate(uint32_t hz) {
    m_dwSampleRate = hz;
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetSampleRate(hz);
}
void CK927ApcoPluginWindow::SetSquelched(bool on) {
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetSquelched(on);
}
void CK927ApcoPluginWindow::SetAudioPlayback(bool on) {
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetAudioPlayback(on);
}
void CK927ApcoPluginWindow::SetSpectrumLinearizationCoeffs(const int8_t* coeffs, uint32_t count) {
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetSpectrumLinearizationCoeffs(coeffs, count);
}
void CK927ApcoPluginWindow::ResetSpectrum() {
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->ResetSpectrum();
}
void CK927ApcoPluginWindow::SetIFSpectrumFFTSize(int size) {
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetIFSpectrumFFTSize(size);
}

void CK927ApcoPluginWindow::SetPlayback(uint32_t state) {
    if (state == m_dwPlayback) return;
    m_dwPlayback = state;
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetPlayback(state);
    EnableSquelchControls(state == 0);
}

// Player/recorder panel.

String CK927ApcoPluginWindow::GetAudioDirPath() const {
    return m_pPlayRecPanel ? m_pPlayRecPanel->GetAudioDirPath() : String("");
}
void CK927ApcoPluginWindow::SetAudioDirPath(const char* folder) {
    if (m_pPlayRecPanel) m_pPlayRecPanel->SetAudioDirPath(folder);
}
void CK927ApcoPluginWindow::SetDefaultAudioDir() {
    if (m_pPlayRecPanel) m_pPlayRecPanel->SetDefaultAudioDir();
}
String CK927ApcoPluginWindow::GetSelectedAudioFile() const {
    return m_pPlayRecPanel ? m_pPlayRecPanel->GetSelectedFile() : String("");
}
void CK927ApcoPluginWindow::SelectAudioFile(const char* name) {
    if (m_pPlayRecPanel) m_pPlayRecPanel->SelectFile(name);
}
int CK927ApcoPluginWindow::IsIFSelected() const { return m_pPlayRecPanel ? m_pPlayRecPanel->IsIFSelected() : 0; }
void CK927ApcoPluginWindow::SetWaveFile(WaveFile* file, int supported) {
    if (m_pPlayRecPanel) m_pPlayRecPanel->SetWaveFile(file, supported);
}
void CK927ApcoPluginWindow::SetFilePos(uint32_t bytes) {
    if (m_pPlayRecPanel) m_pPlayRecPanel->SetFilePos(bytes);
}
void CK927ApcoPluginWindow::SetFilePosTime(uint32_t seconds) {
    if (m_pPlayRecPanel) m_pPlayRecPanel->SetFilePosTime(seconds);
}
void CK927ApcoPluginWindow::SetTotalFileSize(uint32_t bytes) {
    if (m_pPlayRecPanel) m_pPlayRecPanel->SetTotalFileSize(bytes);
}
void CK927ApcoPluginWindow::SetTotalWaveTime(uint32_t seconds) {
    if (m_pPlayRecPanel) m_pPlayRecPanel->SetTotalWaveTime(seconds);
}
void CK927ApcoPluginWindow::SetPaused(int paused, int fire) {
    if (m_pPlayRecPanel) m_pPlayRecPanel->SetPaused(paused, fire);
}
void CK927ApcoPluginWindow::StartPlayback() {
    if (m_pPlayRecPanel) m_pPlayRecPanel->StartPlayback();
}
void CK927ApcoPluginWindow::StartRecording() {
    if (m_pPlayRecPanel) m_pPlayRecPanel->StartRecording();
}
void CK927ApcoPluginWindow::StopPlayRec() {
    if (m_pPlayRecPanel) m_pPlayRecPanel->StopPlayRec();
}
void CK927ApcoPluginWindow::StartNextFilePlayback() {
    if (m_pPlayRecPanel) m_pPlayRecPanel->StartNextFilePlayback();
}

// Setup window.

void CK927ApcoPluginWindow::UpdateAudioFilterParams(CFirFilter* filter) {
    if (m_pSetupDialog) m_pSetupDialog->SetAudioFilter(filter);
}
void CK927ApcoPluginWindow::ReadAudioFilterParams(CFirFilter* filter) {
    if (m_pSetupDialog) m_pSetupDialog->ReadAudioFilterParams(filter);
}
void CK927ApcoPluginWindow::SetAudioFilterFreqLow(int hz) {
    if (m_pSetupDialog) m_pSetupDialog->SetAFFreqLow(hz);
}
void CK927ApcoPluginWindow::SetPauseNoApco(int on) {
    if (m_pSetupDialog) m_pSetupDialog->SetPauseNoApco(on);
}
void CK927ApcoPluginWindow::SetPauseUnderSquelch(int on) {
    if (m_pSetupDialog) m_pSetupDialog->SetPauseUnderSquelch(on);
}
String CK927ApcoPluginWindow::GetWaveOutDeviceName() const {
    return m_pSetupDialog ? m_pSetupDialog->GetWaveOutDeviceName() : String("");
}
void CK927ApcoPluginWindow::SetWaveOutDeviceName(const char* name) {
    if (m_pSetupDialog) m_pSetupDialog->SetWaveOutDeviceName(name);
}
String CK927ApcoPluginWindow::GetLogFileName(int useDefault) const {
    return m_pSetupDialog ? m_pSetupDialog->GetLogFileName(useDefault) : String("");
}
void CK927ApcoPluginWindow::SetLogFileName(const char* name) {
    if (m_pSetupDialog) m_pSetupDialog->SetLogFileName(name);
}
uint32_t CK927ApcoPluginWindow::GetLoggingParams() const {
    return m_pSetupDialog ? m_pSetupDialog->GetLoggingParams() : 0;
}
void CK927ApcoPluginWindow::SetLoggingParams(uint32_t word) {
    if (m_pSetupDialog) m_pSetupDialog->SetLoggingParams(word);
}

// Handlers that only report.

void CK927ApcoPluginWindow::HandleSAVolumeChange(Object*, int volume) { OnVolumeChange.Invoke(this, volume); }
void CK927ApcoPluginWindow::HandleSAMuteChange(Object*, int mute) { OnMuteChange.Invoke(this, mute); }
void CK927ApcoPluginWindow::HandlePRFileNameChange(Object*, const char* path) { OnFileNameChange.Invoke(this, path); }
void CK927ApcoPluginWindow::HandlePRStartPlay(Object*) { OnStartPlay.Invoke(this); }
void CK927ApcoPluginWindow::HandlePRFilePosChange(Object*, uint32_t position) {
    OnFilePosChange.Invoke(this, position);
}
void CK927ApcoPluginWindow::HandlePRPlayRecStop(Object*) { OnPlayRecStop.Invoke(this); }
void CK927ApcoPluginWindow::HandlePRPlayRecPause(Object*, int pressed) { OnPlayRecPause.Invoke(this, pressed); }
void CK927ApcoPluginWindow::HandlePRFileTimePosChange(Object*, int direction) {
    OnFileTimePosChange.Invoke(this, direction);
}
void CK927ApcoPluginWindow::HandlePRRecordStart(Object*) { OnRecordStart.Invoke(this); }
void CK927ApcoPluginWindow::HandleSetupAFFreqLowChange(Object*, int64_t hz) {
    OnAFFreqLowChange.Invoke(this, static_cast<int>(hz));
}
void CK927ApcoPluginWindow::HandleSetupAFFreqHighChange(Object*, int64_t hz) {
    OnAFFreqHighChange.Invoke(this, static_cast<int>(hz));
}
void CK927ApcoPluginWindow::HandleSetupAFFilterTypeChange(Object*, int lowpass) {
    OnAFFilterTypeChange.Invoke(this, lowpass);
}
void CK927ApcoPluginWindow::HandleSetupAFFilterDeempChange(Object*, int tenths) {
    OnAFFilterDeempChange.Invoke(this, tenths);
}
void CK927ApcoPluginWindow::HandleSetupAFLenChange(Object*, int taps) { OnAFLenChange.Invoke(this, taps); }
void CK927ApcoPluginWindow::HandleSetupPauseUndeSquelchChange(Object*, int on) {
    OnPauseUnderSquelchChange.Invoke(this, on);
}
void CK927ApcoPluginWindow::HandleSetupPauseNoApcoChange(Object*, int on) { OnPauseNoApcoChange.Invoke(this, on); }
void CK927ApcoPluginWindow::HandleSetupWaveOutDeviceChange(Object*, int device) {
    OnWaveOutDeviceChange.Invoke(this, device);
}
void CK927ApcoPluginWindow::HandleSetupLoggingEnable(Object*) { OnLoggingEnable.Invoke(this); }
void CK927ApcoPluginWindow::HandleLogFileNameChanged(Object*) { OnLogFileNameChange.Invoke(this); }
void CK927ApcoPluginWindow::HandleLoggingParamsChanged(Object*) { OnLoggingParamsChange.Invoke(this); }
void CK927ApcoPluginWindow::HandleLogClick(Object*) { OnLoggingEnable.Invoke(this); }

// Decisions.

void CK927ApcoPluginWindow::HandleApcoModeClick(Object*) {
    if (m_dwDemodMode != kDemodApco) OnDemodModeChange.Invoke(this, kDemodApco);
}
void CK927ApcoPluginWindow::HandleFMModeClick(Object*) {
    if (m_dwDemodMode != kDemodFM) OnDemodModeChange.Invoke(this, kDemodFM);
}
void CK927ApcoPluginWindow::HandleAutoModeClick(Object*) {
    if (m_dwDemodMode != kDemodAuto) OnDemodModeChange.Invoke(this, kDemodAuto);
}

void CK927ApcoPluginWindow::SetDemodMode(uint32_t mode) {
    // A mode outside the three (a damaged stored setting) would leave the buttons and LEDs
    // showing none of them.
    if (mode == m_dwDemodMode || mode > kDemodFM) return;
    m_dwDemodMode = mode;
    Button* down = mode == kDemodApco ? m_pButtonApco : mode == kDemodFM ? m_pButtonFM : m_pButtonAuto;
    if (down) down->SetDown(true);
    const bool apco = mode != kDemodFM;
    const bool fm = mode != kDemodApco;
    for (Component* c : {static_cast<Component*>(m_pPanelApcoLed), static_cast<Component*>(m_pLabelApco)})
        if (c) c->Enable(apco);
    for (Component* c : {static_cast<Component*>(m_pPanelFMLed), static_cast<Component*>(m_pLabelFM)})
        if (c) c->Enable(fm);
    if (m_pButtonAudioFilter) {
        m_pButtonAudioFilter->SetDown(fm && m_dwAudioFilter != 0);
        m_pButtonAudioFilter->Enable(fm);
    }
    if (m_pSetupDialog) m_pSetupDialog->EnableControlsForDemodMode(fm ? 1 : 0);
    OnDemodModeChange.Invoke(this, mode);
    ReportReceiverMode(mode == kDemodAuto);
}

void CK927ApcoPluginWindow::EnableAudioFilter(bool on) {
    const uint32_t state = on ? 1 : 0;
    if (state == m_dwAudioFilter) return;
    m_dwAudioFilter = state;
    if (m_pSetupDialog) m_pSetupDialog->SetAFEnabled(state);
    if (m_pButtonAudioFilter) m_pButtonAudioFilter->SetDown(on);
    OnAFEnable.Invoke(this, static_cast<int>(state));
}

void CK927ApcoPluginWindow::HandleAudioFilterClick(Object*) { EnableAudioFilter(m_dwAudioFilter == 0); }
void CK927ApcoPluginWindow::HandleSetupAFEnable(Object*, int on) { EnableAudioFilter(on != 0); }

void CK927ApcoPluginWindow::SetLoggingEnabled(bool on) {
    if (m_pSetupDialog) m_pSetupDialog->SetLoggingEnabled(on ? 1 : 0);
    if (m_pButtonLog) m_pButtonLog->SetDown(on);
}

void CK927ApcoPluginWindow::HandleSetupDownChange(Object*) {
    if (!m_pSpectrumAnalyzer) return;
    const bool down = m_pSpectrumAnalyzer->IsSetupDown();
    if (!m_hIconProvider) GetIconProvider();
    if (!m_pSetupDialog) return;
    if (down && m_bSetupFirstShow) {
        SetSetupDlgPosition();
        m_bSetupFirstShow = false;
    }
    m_pSetupDialog->CopyParentIcon(m_hIconProvider);
    m_pSetupDialog->Show(down);
}

void CK927ApcoPluginWindow::HandleSetupDialogClose(Object*) {
    if (m_pSpectrumAnalyzer) m_pSpectrumAnalyzer->SetSetupDown(false);
}

namespace {
HWND TopLevelOf(HWND window) {
    HWND top = window;
    for (HWND up = GetParent(top); up; up = GetParent(up)) top = up;
    return top;
}
}  // namespace

void CK927ApcoPluginWindow::GetIconProvider() { m_hIconProvider = TopLevelOf(GetHandle()); }

void CK927ApcoPluginWindow::SetSetupDlgPosition() {
    if (!m_pSetupDialog) return;
    POINT origin = {0, 0};
    ClientToScreen(TopLevelOf(GetHandle()), &origin);
    int x = 7 + (Width() - m_pSetupDialog->Width()) / 2 + origin.x;
    int y = 134 + (Height() - m_pSetupDialog->Height()) / 2 + origin.y;
    m_pSetupDialog->Move(x < 1 ? 1 : x, y < 1 ? 1 : y);
}

// Squelch panel.

uint32_t CK927ApcoPluginWindow::CodeMask(uint32_t bit) {
    const int i = ListIndex(bit);
    return i < 0 ? 0 : kListTypes[i].mask;
}

CSquelchCodeList* CK927ApcoPluginWindow::GetSquelchList(uint32_t bit) {
    const int i = ListIndex(bit);
    return i < 0 ? nullptr : &m_SquelchLists[i];
}

int CK927ApcoPluginWindow::AddSorted2List(CSquelchCodeList* list, uint32_t code) {
    return list && list->AddSorted(code) ? 1 : 0;
}

int CK927ApcoPluginWindow::RemoveIndexFromList(CSquelchCodeList* list, uint32_t index) {
    return list && list->RemoveAt(index) ? 1 : 0;
}

void CK927ApcoPluginWindow::SetTypeButtonDown(uint32_t listBit) {
    Button* buttons[4] = {m_pButtonSqNAC, m_pButtonSqTGID, m_pButtonSqSID, m_pButtonSqDID};
    for (int i = 0; i < 4; ++i)
        if (buttons[i]) buttons[i]->SetDown(kListTypes[i].bit == listBit);
}

void CK927ApcoPluginWindow::UpdateSquelchTitle() {
    if (!m_pLabelSqTitle) return;
    const ListType* type = SingleList(m_dwSquelchType);
    const bool inverted = GetInvertSquelch();
    char title[64];
    if (type)
        std::snprintf(title, sizeof title, inverted ? "%s codes to squelch:" : "%s codes to monitor:", type->name);
    else
        std::snprintf(title, sizeof title, "%s", inverted ? "Codes to squelch:" : "Codes to monitor:");
    m_pLabelSqTitle->SetCaption(title, true);
}

void CK927ApcoPluginWindow::SetSquelchType(uint32_t word) {
    if (word == m_dwSquelchType) return;
    m_dwSquelchType = word;
    const bool ber = (word & kSquelchBER) != 0;
    if (m_pButtonSqBER) m_pButtonSqBER->SetDown(ber);
    if (m_pEditSqBER) m_pEditSqBER->Enable(ber);
    if (m_pSpinSqBER) m_pSpinSqBER->Enable(ber);
    const ListType* type = SingleList(word);
    // Without a single list no type button stays down, so the buttons always say which list
    // is shown.
    SetTypeButtonDown(type ? type->bit : 0);
    for (Component* c : {static_cast<Component*>(m_pLabelSqTitle), static_cast<Component*>(m_pEditSqVal),
                         static_cast<Component*>(m_pButtonSqAdd), static_cast<Component*>(m_pButtonSqRemove),
                         static_cast<Component*>(m_pListSquelches)})
        if (c) c->Enable(type != nullptr);
    if (m_pEditSqVal) m_pEditSqVal->SetLimitText(type ? type->digits : kMaxCodeDigits);
    UpdateSquelchTitle();
    UpdateSquelchList();
    OnSquelchTypeChange.Invoke(this, word);
}

void CK927ApcoPluginWindow::UpdateSquelchList() {
    if (!m_pListSquelches) return;
    m_pListSquelches->Clear();
    if ((m_dwSquelchType & ~static_cast<uint32_t>(kSquelchBER)) == 0) return;
    if (const ListType* type = SingleList(m_dwSquelchType)) {
        const CSquelchCodeList& list = m_SquelchLists[type - kListTypes];
        for (uint32_t i = 0; i < list.Count(); ++i) {
            char text[16];
            std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(list.At(i)));
            m_pListSquelches->Add(text);
        }
    }
    if (m_pButtonSqRemove) m_pButtonSqRemove->Enable(m_pListSquelches->GetCurrent() != -1);
}

void CK927ApcoPluginWindow::HandleTypeButton(Button* button, uint32_t bit) {
    if (!button) return;
    if (button->IsDown())
        SetSquelchType((m_dwSquelchType & kSquelchBER) | bit);
    else
        SetSquelchType(m_dwSquelchType & ~bit);
}

void CK927ApcoPluginWindow::HandleSqNACClick(Object*) { HandleTypeButton(m_pButtonSqNAC, kSquelchNAC); }
void CK927ApcoPluginWindow::HandleSqTGIDClick(Object*) { HandleTypeButton(m_pButtonSqTGID, kSquelchTGID); }
void CK927ApcoPluginWindow::HandleSqSIDClick(Object*) { HandleTypeButton(m_pButtonSqSID, kSquelchSID); }
void CK927ApcoPluginWindow::HandleSqDIDClick(Object*) { HandleTypeButton(m_pButtonSqDID, kSquelchDID); }

void CK927ApcoPluginWindow::HandleSqBERClick(Object*) {
    if (!m_pButtonSqBER) return;
    if (m_pButtonSqBER->IsDown())
        SetSquelchType(m_dwSquelchType | kSquelchBER);
    else
        SetSquelchType(m_dwSquelchType & ~static_cast<uint32_t>(kSquelchBER));
}

void CK927ApcoPluginWindow::HandleSqInvertClick(Object*) {
    UpdateSquelchTitle();
    OnInvertSquelchChange.Invoke(this);
}

void CK927ApcoPluginWindow::HandleSqAddClick(Object*) {
    if (const ListType* type = SingleList(m_dwSquelchType)) {
        const int64_t value = m_pEditSqVal ? m_pEditSqVal->GetValue() : -1;
        // A code outside the list's range is refused rather than masked into another code.
        if (value >= 0 && value <= static_cast<int64_t>(type->mask) &&
            AddSorted2List(&m_SquelchLists[type - kListTypes], static_cast<uint32_t>(value))) {
            UpdateSquelchList();
            OnSquelchListChange.Invoke(this, 0, 0);
        }
    }
    if (m_pEditSqVal) m_pEditSqVal->SetFocus(false);
}

void CK927ApcoPluginWindow::HandleSqRemoveClick(Object*) {
    if (!m_pListSquelches) return;
    const int index = m_pListSquelches->GetCurrent();
    if (index < 0) return;
    const ListType* type = SingleList(m_dwSquelchType);
    if (type && RemoveIndexFromList(&m_SquelchLists[type - kListTypes], static_cast<uint32_t>(index))) {
        UpdateSquelchList();
        OnSquelchListChange.Invoke(this, 0, 0);
    }
    const int count = m_pListSquelches->Count();
    if (count > 0) m_pListSquelches->Select(index < count ? index : count - 1, true);
}

void CK927ApcoPluginWindow::HandleSqValKey(Object*, int* key, LPARAM) {
    if (key && *key == VK_RETURN) HandleSqAddClick(this);
}

void CK927ApcoPluginWindow::HandleSqValFocus(Object*, int gained) {
    if (gained && m_pEditSqVal) PostMessageA(m_pEditSqVal->GetHandle(), EM_SETSEL, 0, -1);
}

void CK927ApcoPluginWindow::HandleListSquelchesKeyDown(Object*, int key, LPARAM) {
    if (key == VK_DELETE) HandleSqRemoveClick(this);
}

void CK927ApcoPluginWindow::HandleSquelchSelChange(Object*) {
    if (m_pButtonSqRemove && m_pListSquelches) m_pButtonSqRemove->Enable(m_pListSquelches->GetCurrent() != -1);
}

void CK927ApcoPluginWindow::HandleSqBERValChange(Object*) {
    if (m_pEditSqBER) OnSquelchListChange.Invoke(this, kSquelchBER, static_cast<int32_t>(m_pEditSqBER->GetValue()));
}

void CK927ApcoPluginWindow::SetSquelchValues(uint32_t bit, const uint32_t* codes, uint32_t count) {
    CSquelchCodeList* list = GetSquelchList(bit);
    if (!list) return;
    list->Assign(codes, count, CodeMask(bit));
    if (m_dwSquelchType == bit) UpdateSquelchList();
}

void CK927ApcoPluginWindow::SetSquelchValue(uint32_t type, int64_t value) {
    if (type == kSquelchBER && m_pEditSqBER) m_pEditSqBER->SetValue(value);
}

bool CK927ApcoPluginWindow::GetInvertSquelch() const { return m_pButtonSqInv && m_pButtonSqInv->IsDown(); }

void CK927ApcoPluginWindow::SetInvertSquelch(bool on) {
    if (m_pButtonSqInv) m_pButtonSqInv->SetDown(on);
}

void CK927ApcoPluginWindow::EnableSquelchControls(bool on) {
    if (m_pPanelSquelch) m_pPanelSquelch->Enable(on);
}
