// The plug-in's top-level window: the window whose handle the host gets. It shows the decoded
// P25 fields and the signal and transmission LEDs, offers the demodulation-mode buttons, the
// squelch panel with its four code lists, "Log" and "Audio Filter", and hosts three children:
// the spectrum-analyzer panel, the player/recorder panel and (after Initialize) the setup
// window.
//
// Every user action leaves the window as one invocation of an Event member below, which the
// plug-in object binds; the plug-in object drives the window back through the private
// messages WM_APCO_INIT..WM_APCO_SENDEVENTS and through the getters and setters. Every call
// into the host goes through OnCallPluginProc with a HostCallRecord built on the window's
// stack (record, 20, 1); the window clears the record's data pointer after the call, so the
// record never frees what it does not own.
//
// Records from the stream thread: WM_APCO_MEDIA and WM_APCO_PLAYPOSITION carry a pointer in
// wParam. The sender must SEND them (not post), so the record stays valid and unchanged while
// the window reads it; the window copies the record once before it uses any field.
//
// GUI thread only, except DisplaySpectrum, SetFilePos and SetFilePosTime, which the stream
// thread may call and which only pass the values on to the child panels.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/string.h"
#include "toolkit/event.h"
#include "toolkit/panel.h"
#include "ui/squelch_code_list.h"

class Button;
class CApcoPlugin;
class CFirFilter;
class CPlayRecPanel;
class CSetupDialog;
class CSpectrumAnalyzerPanel;
class IntEdit;
class Label;
class Listbox;
class MessageDialog;
class SpinControl;
class WaveFile;
struct ApcoParams;
struct HostCallRecord;

// Squelch-type word: one list bit (the type buttons form one group) and the error-rate bit.
enum SquelchTypeBit : uint32_t {
    kSquelchNAC = 1,
    kSquelchTGID = 2,
    kSquelchSID = 4,
    kSquelchDID = 8,
    kSquelchBER = 0x10,
};

// Signal state shown by the two signal LEDs and demodulation modes.
enum SignalState : uint32_t { kSignalNone = 0, kSignalP25 = 1, kSignalFM = 2 };
enum DemodMode : uint32_t { kDemodAuto = 0, kDemodApco = 1, kDemodFM = 2 };

class CK927ApcoPluginWindow : public Panel {
public:
    static constexpr int kWidth = 480;
    static constexpr int kHeight = 280;
    static constexpr UINT_PTR kLoggingTimerId = 2;
    static constexpr UINT_PTR kScanningDelayTimerId = 3;
    static constexpr UINT_PTR kRcvCheckTimerId = 4;
    static constexpr UINT kRcvCheckPeriodMs = 1000;
    static constexpr UINT kScanningDelayMs = 2000;
    // Decimal digits of the largest code of a list: NAC 4095, TGID 65535, SID/DID 16777215.
    static constexpr int kMaxCodeDigits = 8;

    // The plug-in object creates it once: style 0x86000000, extended style 0x10000, 480 x 280.
    CK927ApcoPluginWindow(DWORD style, DWORD exStyle, int x, int y, int width, int height, HWND parent);
    ~CK927ApcoPluginWindow() override;

    // Overridable handlers.
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void DoOnTimer(UINT_PTR id) override;
    // Left and right arrow step the volume down and up by one.
    void DoOnKeyPreview(Component* sender, int* key, LPARAM flags) override;

    // Second-stage set-up once the host has started the plug-in: creates the setup window
    // (once) and binds its events.
    void Initialize();
    void SetPlugin(CApcoPlugin* plugin) { m_pPlugin = plugin; }
    // Runs the error dialog modally; returns the pressed button's index, -1 when not shown.
    int DisplayError(const char* text, int centreOnScreen);

    // Host hand-over.
    void SendMediaInfo(const ApcoParams* params);
    void SendDecoderEvents();
    // Passes one block of samples to the spectrum-analyzer panel; stores 0 through result.
    void DisplaySpectrum(const float* bins, int count, int flag, int* result);

    // Timers: logging (id 2, the call-log interval), scanning delay (id 3, 2000 ms, fires
    // once and restarts on every call; false when it could not be started), receiver check
    // (id 4, 1000 ms, from construction on).
    void CreateLoggingTimer(UINT periodMs);
    void DestroyLoggingTimer();
    bool CreateScanningDelayTimer();
    void DestroyScanningDelayTimer();

    // Decoded-field display.
    void UpdateApcoParams(const ApcoParams* params);
    void SetApcoErrorRate(float percent);
    void SetNAC(int32_t nac);
    void SetTGUID(int32_t tgid);
    void SetSourceID(int32_t sid);
    void SetDestID(int32_t did);
    void SetTransmissionType(int32_t type);
    void SetEncryptionType(int32_t algid);
    void EnableEncryptionIndication(bool on);
    void SetManufacturerID(int32_t mfid);
    void SetEmergency(int32_t flag);
    void SetCurDemod(uint32_t state);
    uint32_t GetCurDemod() const { return m_dwCurDemod; }
    void ResetApcoControls();
    void EnableApcoControls(bool on);
    // Zero-fills the record and writes the shown NAC, TGID, SID, DID into words 1..4.
    bool GetApcoParams(ApcoParams* params) const;
    // The manufacturer's name, or null when the identifier has none.
    static const char* GetManufacturer(int32_t mfid);
    // The algorithm's name (30 characters at most); "Unknown" for unnamed identifiers.
    const char* GetEncryptionName(uint32_t algid) const;

    // Spectrum-analyzer panel.
    int GetVolume() const;
    void SetVolume(int volume);
    int GetMute() const;
    void SetMute(int on);
    int GetNotchEnabled() const;
    void SetNotchEnabled(int on);
    int GetNotchFrequency() const;
    void SetNotchFrequency(int hz);
    int GetNotchWidth() const;
    void SetNotchWidth(int hz);
    void SetSampleRate(uint32_t hz);
    uint32_t GetSampleRate() const { return m_dwSampleRate; }
    void SetSquelched(bool on);
    void SetAudioPlayback(bool on);
    // The receiver's spectrum linearisation: count signed coefficients (copied).
    void SetSpectrumLinearizationCoeffs(const int8_t* coeffs, uint32_t count);
    void ResetSpectrum();
    void SetIFSpectrumFFTSize(int size);
    void SetPlayback(uint32_t state);

    // Player/recorder panel.
    String GetAudioDirPath() const;
    void SetAudioDirPath(const char* folder);
    void SetDefaultAudioDir();
    String GetSelectedAudioFile() const;
    void SelectAudioFile(const char* name);
    int IsIFSelected() const;
    void SetWaveFile(WaveFile* file, int supported);
    void SetFilePos(uint32_t bytes);
    void SetFilePosTime(uint32_t seconds);
    void SetTotalFileSize(uint32_t bytes);
    void SetTotalWaveTime(uint32_t seconds);
    void SetPaused(int paused, int fire);
    void StartPlayback();
    void StartRecording();
    void StopPlayRec();
    void StartNextFilePlayback();

    // Setup window.
    void UpdateAudioFilterParams(CFirFilter* filter);
    void ReadAudioFilterParams(CFirFilter* filter);
    void SetAudioFilterFreqLow(int hz);
    void SetPauseNoApco(int on);
    void SetPauseUnderSquelch(int on);
    String GetWaveOutDeviceName() const;
    void SetWaveOutDeviceName(const char* name);
    // The stored name (saved as such); with useDefault, the default path when none is stored.
    String GetLogFileName(int useDefault = 0) const;
    void SetLogFileName(const char* name);
    uint32_t GetLoggingParams() const;
    void SetLoggingParams(uint32_t word);

    // Decisions.
    void SetDemodMode(uint32_t mode);
    void EnableAudioFilter(bool on);
    void SetLoggingEnabled(bool on);

    // Squelch panel and code lists.
    void SetSquelchType(uint32_t word);
    uint32_t GetSquelchType() const { return m_dwSquelchType; }
    void UpdateSquelchList();
    // The list of bit 1, 2, 4 or 8; null for any other value.
    CSquelchCodeList* GetSquelchList(uint32_t bit);
    // Replaces the list of that bit with the given codes, masked, ascending, without
    // duplicates (stored lists may come from anywhere); no codes or count 0 empties it.
    void SetSquelchValues(uint32_t bit, const uint32_t* codes, uint32_t count);
    void SetSquelchValue(uint32_t type, int64_t value);
    bool GetInvertSquelch() const;
    void SetInvertSquelch(bool on);
    void EnableSquelchControls(bool on);
    static int AddSorted2List(CSquelchCodeList* list, uint32_t code);
    // The mask of a list bit's codes (0 for anything but 1, 2, 4, 8).
    static uint32_t CodeMask(uint32_t bit);
    static int RemoveIndexFromList(CSquelchCodeList* list, uint32_t index);

    // Control handlers (bound to the children's events).
    void HandleApcoModeClick(Object* sender);
    void HandleFMModeClick(Object* sender);
    void HandleAutoModeClick(Object* sender);
    void HandleLogClick(Object* sender);
    void HandleAudioFilterClick(Object* sender);
    void HandleSqNACClick(Object* sender);
    void HandleSqTGIDClick(Object* sender);
    void HandleSqSIDClick(Object* sender);
    void HandleSqDIDClick(Object* sender);
    void HandleSqBERClick(Object* sender);
    void HandleSqInvertClick(Object* sender);
    void HandleSqAddClick(Object* sender);
    void HandleSqRemoveClick(Object* sender);
    // Bound to the code field's OnChar: the field has committed the typed text by then.
    void HandleSqValKey(Object* sender, int* key, LPARAM flags);
    void HandleSqValFocus(Object* sender, int gained);
    void HandleListSquelchesKeyDown(Object* sender, int key, LPARAM flags);
    void HandleSquelchSelChange(Object* sender);
    void HandleSqBERValChange(Object* sender);
    void HandleSAVolumeChange(Object* sender, int volume);
    void HandleSAMuteChange(Object* sender, int mute);
    void HandleSetupDownChange(Object* sender);
    void HandlePRFileNameChange(Object* sender, const char* path);
    void HandlePRStartPlay(Object* sender);
    void HandlePRFilePosChange(Object* sender, uint32_t position);
    void HandlePRPlayRecStop(Object* sender);
    void HandlePRPlayRecPause(Object* sender, int pressed);
    void HandlePRFileTimePosChange(Object* sender, int direction);
    void HandlePRRecordStart(Object* sender);
    void HandleSetupDialogClose(Object* sender);
    void HandleSetupAFFreqLowChange(Object* sender, int64_t hz);
    void HandleSetupAFFreqHighChange(Object* sender, int64_t hz);
    void HandleSetupAFFilterTypeChange(Object* sender, int lowpass);
    void HandleSetupAFFilterDeempChange(Object* sender, int tenths);
    void HandleSetupAFLenChange(Object* sender, int taps);
    void HandleSetupAFEnable(Object* sender, int on);
    void HandleSetupPauseUndeSquelchChange(Object* sender, int on);
    void HandleSetupPauseNoApcoChange(Object* sender, int on);
    void HandleSetupWaveOutDeviceChange(Object* sender, int device);
    void HandleSetupLoggingEnable(Object* sender);
    void HandleLogFileNameChanged(Object* sender);
    void HandleLoggingParamsChanged(Object* sender);

    // The child panels (null when their creation failed or, for the setup window, before
    // Initialize).
    CSpectrumAnalyzerPanel* GetSpectrumAnalyzer() const { return m_pSpectrumAnalyzer; }
    CPlayRecPanel* GetPlayRecPanel() const { return m_pPlayRecPanel; }
    CSetupDialog* GetSetupDialog() const { return m_pSetupDialog; }

    // Events, bound by the plug-in object; the window is always the sender.
    Event<> OnInitialize;
    Event<> OnReserved;                            // WM_APCO_RESERVED; nothing binds it
    Event<uint32_t> OnSquelchTypeChange;           // the new squelch-type word
    Event<uint32_t, int32_t> OnSquelchListChange;  // (0, 0) list changed; (0x10, threshold %)
    Event<int> OnVolumeChange;
    Event<int> OnMuteChange;
    Event<uint32_t> OnDemodModeChange;  // 0 Auto, 1 APCO, 2 FM
    // (record, 20, direct): direct 1 = make this call now; direct 0 (WM_APCO_CALLPLUGINPROC)
    // = take one record from the plug-in object's queue; the record pointer is then null.
    Event<HostCallRecord*, uint32_t, int> OnCallPluginProc;
    Event<> OnPlayRecEnd;
    Event<> OnInvertSquelchChange;
    Event<> OnLoggingTimer;
    Event<> OnApcoParamsChange;
    Event<const char*> OnFileNameChange;  // full path of the chosen file
    Event<> OnStartPlay;
    Event<uint32_t> OnFilePosChange;  // byte position
    Event<> OnPlayRecStop;
    Event<int> OnPlayRecPause;       // pressed
    Event<int> OnFileTimePosChange;  // -1 or +1
    Event<> OnRecordStart;
    Event<int> OnAFFreqLowChange;      // Hz
    Event<int> OnAFFreqHighChange;     // Hz
    Event<int> OnAFFilterTypeChange;   // lowpass flag
    Event<int> OnAFFilterDeempChange;  // tenths of dB/oct
    Event<int> OnAFLenChange;          // taps
    Event<int> OnAFEnable;
    Event<int> OnPauseUnderSquelchChange;
    Event<int> OnPauseNoApcoChange;
    Event<int> OnWaveOutDeviceChange;  // device index
    Event<> OnLoggingEnable;
    Event<> OnLogFileNameChange;
    Event<> OnLoggingParamsChange;
    Event<> OnScanningDelayTimer;
    Event<> OnRcvCheckTimer;

private:
    struct ApcoLeds;

    void CreateControls();
    void CreateDecodedFieldPanel();
    void CreateSquelchPanel();
    void InitEncryptionNames();
    // Every host call of the window: a record on the stack, invoked directly, data cleared.
    void CallHost(uint32_t msg, uint32_t dwParam, uint32_t cbData, void* lpData, uint32_t scan);
    void ReportReceiverMode(bool autoMode);
    void SetFieldText(Label* field, const char* text);
    bool UpdateIdentifier(int32_t* cache, int32_t value, uint32_t mask, Label* field, const char* noneText);
    void SetLedColour(Panel* led, COLORREF colour);
    Panel* TransmissionLed(int32_t type) const;
    bool IsEncrypted() const;
    void UpdateSquelchTitle();
    void SetTypeButtonDown(uint32_t listBit);
    void PutDecodedCode(uint32_t listBit, int32_t value);
    void HandleTypeButton(Button* button, uint32_t bit);
    void GetIconProvider();
    void SetSetupDlgPosition();

    // Children.
    CSpectrumAnalyzerPanel* m_pSpectrumAnalyzer = nullptr;
    CPlayRecPanel* m_pPlayRecPanel = nullptr;
    CSetupDialog* m_pSetupDialog = nullptr;
    MessageDialog* m_pErrorDialog = nullptr;

    // Decoded-field panel.
    Panel* m_pPanelDecoded = nullptr;
    Button* m_pButtonApco = nullptr;
    Button* m_pButtonFM = nullptr;
    Button* m_pButtonAuto = nullptr;
    Panel* m_pPanelApcoLed = nullptr;
    Label* m_pLabelApco = nullptr;
    Panel* m_pPanelFMLed = nullptr;
    Label* m_pLabelFM = nullptr;
    Label* m_pLabelBER = nullptr;
    Label* m_pFieldBER = nullptr;
    Label* m_pLabelNAC = nullptr;
    Label* m_pFieldNAC = nullptr;
    Label* m_pLabelTGID = nullptr;
    Label* m_pFieldTGID = nullptr;
    Label* m_pLabelSID = nullptr;
    Label* m_pFieldSID = nullptr;
    Label* m_pLabelDID = nullptr;
    Label* m_pFieldDID = nullptr;
    Label* m_pLabelTransmission = nullptr;
    Panel* m_pPanelVoiceLed = nullptr;
    Panel* m_pPanelDataLed = nullptr;
    Panel* m_pPanelTrunkingLed = nullptr;
    Panel* m_pPanelUnknownLed = nullptr;
    Label* m_pLabelVoice = nullptr;
    Label* m_pLabelData = nullptr;
    Label* m_pLabelTrunking = nullptr;
    Label* m_pLabelUnknown = nullptr;
    Label* m_pLabelEncryption = nullptr;
    Label* m_pFieldAlgid = nullptr;
    Label* m_pLabelAlgName = nullptr;
    Label* m_pLabelManufacturer = nullptr;
    Label* m_pFieldMfid = nullptr;
    Label* m_pLabelMfName = nullptr;
    Panel* m_pPanelEmergencyLed = nullptr;
    Label* m_pLabelEmergency = nullptr;

    // Main window buttons.
    Button* m_pButtonLog = nullptr;
    Button* m_pButtonAudioFilter = nullptr;

    // Squelch panel.
    Panel* m_pPanelSquelch = nullptr;
    Label* m_pLabelSquelch = nullptr;
    Button* m_pButtonSqBER = nullptr;
    IntEdit* m_pEditSqBER = nullptr;
    SpinControl* m_pSpinSqBER = nullptr;
    Button* m_pButtonSqInv = nullptr;
    Button* m_pButtonSqNAC = nullptr;
    Button* m_pButtonSqTGID = nullptr;
    Button* m_pButtonSqSID = nullptr;
    Button* m_pButtonSqDID = nullptr;
    Label* m_pLabelSqTitle = nullptr;
    IntEdit* m_pEditSqVal = nullptr;
    Listbox* m_pListSquelches = nullptr;
    Button* m_pButtonSqAdd = nullptr;
    Button* m_pButtonSqRemove = nullptr;

    // Flags.
    bool m_bEncryptionIndication = false;
    bool m_bSetupFirstShow = true;
    bool m_bApcoParamsChanged = false;
    bool m_bApcoControlsEnabled = true;

    uint32_t m_dwSquelchType = 0;
    uint32_t m_dwCurDemod = kSignalNone;
    uint32_t m_dwCurDemodTime = 0;
    uint32_t m_dwPlayback = 0;
    uint32_t m_dwDemodMode = kDemodAuto;
    uint32_t m_dwAudioFilter = 0;

    // Shown-field caches (-1 = not decoded).
    int32_t m_iDestID = -1;
    int32_t m_iNAC = -1;
    int32_t m_iSourceID = -1;
    int32_t m_iTGID = -1;
    int32_t m_iMfid = -1;
    int32_t m_iEmergency = 0;
    int32_t m_iTransmissionType = 0;
    int32_t m_iAlgid = -1;
    int32_t m_iEncryptionCountdown = 0;
    int32_t m_iTransmissionCountdown = 0;
    float m_fErrorRate = 0.0f;
    uint32_t m_dwErrorRateTime = 0;

    uint32_t m_dwSampleRate = 48000;
    UINT_PTR m_uLoggingTimer = 0;
    UINT_PTR m_uScanningDelayTimer = 0;
    UINT_PTR m_uRcvCheckTimer = 0;
    HWND m_hIconProvider = nullptr;

    static constexpr int kEncryptionNameLength = 30;
    char m_EncryptionNameTable[256][kEncryptionNameLength];
    CSquelchCodeList m_SquelchLists[4];  // NAC, TGID, SID, DID

    CApcoPlugin* m_pPlugin = nullptr;
};
