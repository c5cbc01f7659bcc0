#include "ui/play_rec_panel.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "foundation/win32/folders.h"
#include "plugin/wave_file.h"
#include "toolkit/application.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "toolkit/message_dialog.h"
#include "toolkit/scroll_bar.h"
#include "ui/play_rec_controls.h"
#include "ui/shared_looks.h"

namespace {

constexpr DWORD kChildStyle = 0x56010000;
constexpr DWORD kButtonStyle = 0x54010000;
constexpr DWORD kFileBoxStyle = 0x54410080;
constexpr DWORD kLabelStyle = 0x54000000;
constexpr int kTransportSize = 19;
constexpr int kFileListScrollWidth = 16;  // narrower than a Listbox's own 20
constexpr uint32_t kNoSize = 0xFFFFFFFFu;
constexpr char kNoTime[] = "--:--:-- / --:--:--";
constexpr char kNoSizeText[] = "--- KB";
// Probe names 0, 1, 2, ... are tried until a free one turns up; a folder that holds all of
// them is treated as not writable.
constexpr int kProbeNames = 1000;
constexpr int kProbeBytes = 10;

// Independent toggles: each in its own group, all-up allowed.
constexpr int kDropGroup = 1;
constexpr int kPauseGroup = 2;
constexpr int kIFGroup = 3;

enum Bitmap : int {
    kBitmapStop = 101,
    kBitmapForward = 103,
    kBitmapIF = 104,
    kBitmapPause = 105,
    kBitmapPlay = 106,
    kBitmapRecord = 107,
    kBitmapRewind = 108,
    kBitmapNext = 109,
    kBitmapPrevious = 110,
};

void EnableControl(Component* c, bool on) {
    if (c) c->Enable(on);
}

void EnableAll(std::initializer_list<Component*> controls, bool on) {
    for (Component* c : controls) EnableControl(c, on);
}

void SetDown(Button* b, bool down) {
    if (b) b->SetDown(down);
}

// The three number forms of one unit: two decimals below 10, one below 100, none above.
void FormatUnits(char* text, size_t size, float value, const char* unit) {
    if (value < 10)
        std::snprintf(text, size, "%.02f %s", value, unit);
    else if (value < 100)
        std::snprintf(text, size, "%.01f %s", value, unit);
    else
        std::snprintf(text, size, "%d %s", static_cast<int>(value), unit);
}

}  // namespace

CPlayRecPanel::CPlayRecPanel(HWND parent, int x, int y)
    : Panel("", parent, x, y, kWidth, kHeight, kChildStyle, 0), m_parentWindow(parent) {
    CreateControls();
}

CPlayRecPanel::~CPlayRecPanel() {
    CloseWatch();
    if (m_listCloseTimer) KillTimer(kListCloseTimer);
    if (m_pendingError.Length()) KillTimer(kErrorTimer);
    CancelHeldRedraw(m_sizeRedraw);
    CancelHeldRedraw(m_timeRedraw);
    // The list hangs on the main window, not on this panel: it goes with the panel.
    delete m_fileList;
    delete m_errorDialog;
}

Button* CPlayRecPanel::MakeTransport(int x, int bitmap) {
    Button* b = new Button("", GetHandle(), x, 29, kTransportSize, kTransportSize, kButtonStyle);
    if (!b) return nullptr;
    ApplyButtonLook(b);
    b->LoadBitmap(MAKEINTRESOURCEA(bitmap), GetApplication()->GetInstance());
    return b;
}

void CPlayRecPanel::CreateControls() {
    const HWND own = GetHandle();
    m_fileBox = new Edit(own, 3, 3, 271, 19, kFileBoxStyle);
    if (m_fileBox) {
        SetBoxText("filename.wav");
        ApplyEditLook(m_fileBox);
        m_fileBox->OnFocus.Bind(this, &CPlayRecPanel::HandleFileBoxFocus);
        m_fileBox->OnChar.Bind(this, &CPlayRecPanel::HandleFileBoxChar);
        m_fileBox->OnChange.Bind(this, &CPlayRecPanel::HandleFileBoxChange);
    }
    m_dropButton = new Button("", own, 274, 3, 19, 19, kButtonStyle);
    if (m_dropButton) {
        ApplyButtonLook(m_dropButton);
        m_dropButton->SetGlyph(2);  // up arrow: the list opens upwards
        m_dropButton->SetGlyphSize(8);
        m_dropButton->SetToggle(kDropGroup);
        m_dropButton->SetAllowAllUp(true);
        m_dropButton->OnDownChanged.Bind(this, &CPlayRecPanel::HandleDropButtonDownChange);
    }
    m_fileList = new CPlayRecFileList(m_parentWindow, 3, 97, 290, 132, 0, true);
    if (m_fileList) {
        m_fileList->SetOwnerSlot(&m_fileList);
        m_fileList->Show(false);
        ApplyListLook(m_fileList);
        if (ScrollBar* bar = m_fileList->GetScrollBar()) {
            bar->SetSize(kFileListScrollWidth, -1);
            m_fileList->Layout();
        }
        m_fileList->OnChange.Bind(this, &CPlayRecPanel::HandleFileListSelChange);
        m_fileList->OnItemClick.Bind(this, &CPlayRecPanel::HandleFileListItemClick);
        m_fileList->OnFocusLost.Bind(this, &CPlayRecPanel::HandleFileListFocusLost);
    }
    m_browseButton = new Button("...", own, 298, 3, 19, 19, kButtonStyle);
    if (m_browseButton) {
        ApplyButtonLook(m_browseButton);
        m_browseButton->OnClick.Bind(this, &CPlayRecPanel::HandleBrowseClick);
    }
    m_seekBar = new CFilePosBar(own, 3, 24, 314, 3, kChildStyle, 0);
    if (m_seekBar) {
        m_seekBar->SetBorderStyle(kBorderNone);
        m_seekBar->SetBackColor(0);
        m_seekBar->SetFaceColor(0x006400);
        m_seekBar->SetTextColor(0x00FF00);
        m_seekBar->SetColor(0x606060);
        m_seekBar->Enable(false);
        m_seekBar->OnPosChange.Bind(this, &CPlayRecPanel::HandleSeek);
    }
    m_prevButton = MakeTransport(3, kBitmapPrevious);
    if (m_prevButton) m_prevButton->OnClick.Bind(this, &CPlayRecPanel::HandlePrevFileClick);
    m_rewindButton = MakeTransport(22, kBitmapRewind);
    if (m_rewindButton) m_rewindButton->OnRepeat.Bind(this, &CPlayRecPanel::HandleRewindClick);
    m_stopButton = MakeTransport(41, kBitmapStop);
    if (m_stopButton) m_stopButton->OnClick.Bind(this, &CPlayRecPanel::HandleStopClick);
    m_pauseButton = MakeTransport(60, kBitmapPause);
    if (m_pauseButton) {
        m_pauseButton->SetToggle(kPauseGroup);
        m_pauseButton->SetAllowAllUp(true);
        m_pauseButton->OnDownChanged.Bind(this, &CPlayRecPanel::HandlePauseDownChange);
    }
    m_playButton = MakeTransport(79, kBitmapPlay);
    if (m_playButton) m_playButton->OnClick.Bind(this, &CPlayRecPanel::HandlePlayClick);
    m_forwardButton = MakeTransport(98, kBitmapForward);
    if (m_forwardButton) {
        m_forwardButton->SetBitmapAlign(0);
        m_forwardButton->OnRepeat.Bind(this, &CPlayRecPanel::HandleForwardClick);
    }
    m_nextButton = MakeTransport(117, kBitmapNext);
    if (m_nextButton) m_nextButton->OnClick.Bind(this, &CPlayRecPanel::HandleNextFileClick);
    m_ifButton = MakeTransport(141, kBitmapIF);
    if (m_ifButton) {
        m_ifButton->SetToggle(kIFGroup);
        m_ifButton->SetAllowAllUp(true);
    }
    m_recordButton = MakeTransport(160, kBitmapRecord);
    if (m_recordButton) m_recordButton->OnClick.Bind(this, &CPlayRecPanel::HandleRecordClick);
    m_timeLabel = new Label(kNoTime, own, 184, 29, 85, 19, kLabelStyle);
    if (m_timeLabel) {
        ApplyNormalFont(m_timeLabel);
        m_timeLabel->SetCaptionAlign(1);
    }
    m_sizeLabel = new Label(kNoSizeText, own, 267, 29, 50, 19, kLabelStyle);
    if (m_sizeLabel) {
        ApplyNormalFont(m_sizeLabel);
        m_sizeLabel->SetCaptionAlign(2);
    }
    EnableAll({m_rewindButton, m_stopButton, m_pauseButton, m_playButton, m_forwardButton}, false);
}

// Button states ------------------------------------------------------------------------------

void CPlayRecPanel::StartPlayback() {
    SetDown(m_playButton, true);
    EnableControl(m_playButton, false);
    EnableControl(m_stopButton, true);
    EnableControl(m_pauseButton, true);
    EnableControl(m_rewindButton, true);
    EnableControl(m_forwardButton, true);
    SetDown(m_ifButton, m_isIFFile != 0);
    EnableControl(m_ifButton, false);
    EnableControl(m_recordButton, false);
    EnableControl(m_seekBar, true);
    EnableAll({m_fileBox, m_dropButton, m_browseButton, m_prevButton, m_nextButton}, false);
}

void CPlayRecPanel::StartRecording() {
    SetDown(m_playButton, false);
    EnableControl(m_playButton, false);
    EnableControl(m_stopButton, true);
    SetPaused(0, 0);
    EnableControl(m_pauseButton, true);
    EnableControl(m_rewindButton, false);
    EnableControl(m_forwardButton, false);
    EnableControl(m_ifButton, false);
    SetDown(m_recordButton, true);
    EnableControl(m_recordButton, false);
    EnableControl(m_seekBar, false);
    EnableAll({m_fileBox, m_dropButton, m_browseButton, m_prevButton, m_nextButton}, false);
}

void CPlayRecPanel::StopPlayRec() {
    // A held button would keep its mouse capture and repeat timer once disabled. Stop may be
    // the button whose click is running: its release is posted.
    if (m_pauseButton) SendMessageA(m_pauseButton->GetHandle(), WM_LBUTTONUP, 0, 0);
    if (m_forwardButton) SendMessageA(m_forwardButton->GetHandle(), WM_LBUTTONUP, 0, 0);
    if (m_stopButton) PostMessageA(m_stopButton->GetHandle(), WM_LBUTTONUP, 0, 0);
    SetDown(m_playButton, false);
    EnableControl(m_playButton, true);
    EnableControl(m_stopButton, false);
    SetPaused(0, 0);
    EnableControl(m_pauseButton, false);
    EnableControl(m_rewindButton, false);
    EnableControl(m_forwardButton, false);
    EnableControl(m_ifButton, true);
    SetDown(m_recordButton, false);
    EnableControl(m_recordButton, m_writable);
    EnableControl(m_seekBar, false);
    EnableAll({m_fileBox, m_dropButton, m_browseButton, m_prevButton, m_nextButton}, true);
    RedrawAtOnce(m_sizeRedraw);
    ShowFileSize();
    RedrawAtOnce(m_timeRedraw);
    ShowTime();
    if (m_rescannedWhileBusy) SelectAfterRescan(m_rowBeforeBusyRescan);
}

void CPlayRecPanel::SetStandbyState() {
    EnableAll({m_rewindButton, m_playButton, m_forwardButton, m_recordButton, m_fileBox, m_dropButton}, false);
    SetDown(m_stopButton, false);
    SetPaused(0, 0);
    SetDown(m_playButton, false);
    SetDown(m_recordButton, false);
    EnableControl(m_stopButton, true);
    EnableControl(m_pauseButton, true);
    EnableControl(m_seekBar, true);
}

void CPlayRecPanel::SetPaused(int pressed, int fire) {
    m_pauseEventsOn = fire;
    SetDown(m_pauseButton, pressed != 0);
    m_pauseEventsOn = 1;
}

bool CPlayRecPanel::IsBusy() const {
    return (m_playButton && m_playButton->IsDown()) || (m_recordButton && m_recordButton->IsDown());
}

int CPlayRecPanel::IsIFSelected() const { return m_ifButton && m_ifButton->IsDown() ? 1 : 0; }

// Transport ---------------------------------------------------------------------------------

void CPlayRecPanel::HandlePlayClick(Object*) { OnStartPlay.Invoke(this); }

void CPlayRecPanel::HandleStopClick(Object*) {
    m_nextFileOn = false;
    OnPlayRecStop.Invoke(this);
    m_nextFileOn = true;
}

void CPlayRecPanel::HandlePauseDownChange(Object*) {
    if (m_pauseEventsOn && m_pauseButton) OnPlayRecPause.Invoke(this, m_pauseButton->IsDown() ? 1 : 0);
}

void CPlayRecPanel::HandleRewindClick(Object*) { OnFileTimePosChange.Invoke(this, -1); }
void CPlayRecPanel::HandleForwardClick(Object*) { OnFileTimePosChange.Invoke(this, 1); }
void CPlayRecPanel::HandleRecordClick(Object*) { OnRecordStart.Invoke(this); }
void CPlayRecPanel::HandleSeek(Object*, uint32_t position) { OnFilePosChange.Invoke(this, position); }

void CPlayRecPanel::HandlePrevFileClick(Object*) {
    if (m_fileList && m_fileList->GetCurrent() >= 1) m_fileList->Select(m_fileList->GetCurrent() - 1, true);
}

void CPlayRecPanel::HandleNextFileClick(Object*) {
    if (m_fileList) m_fileList->Select(m_fileList->GetCurrent() + 1, true);
}

void CPlayRecPanel::StartNextFilePlayback() {
    if (!m_nextFileOn || !m_fileList) return;
    const int row = m_fileList->GetCurrent();
    m_fileList->Select(row + 1, true);
    if (m_fileList->GetCurrent() != row) HandlePlayClick(this);
}

void CPlayRecPanel::SetFilePos(uint32_t bytes) {
    if (m_seekBar) m_seekBar->SetPos(bytes);
}

uint32_t CPlayRecPanel::GetFilePos() const { return m_seekBar ? m_seekBar->GetPos() : 0; }

void CPlayRecPanel::SetFilePosTime(uint32_t seconds) {
    if (seconds == m_positionSeconds) return;
    m_positionSeconds = seconds;
    RedrawAtOnce(m_timeRedraw);
    ShowTime();
}

void CPlayRecPanel::SetTotalFileSize(uint32_t bytes) {
    if (bytes == m_size) return;
    m_size = bytes;
    ShowFileSize();
}

void CPlayRecPanel::SetTotalWaveTime(uint32_t seconds) {
    if (seconds == m_totalSeconds) return;
    m_totalSeconds = seconds;
    m_totalH = seconds / 3600;
    m_totalM = seconds % 3600 / 60;
    m_totalS = seconds % 3600 % 60;
    ShowTime();
}

void CPlayRecPanel::SetFileRange(uint32_t end) {
    if (m_seekBar) m_seekBar->SetRange(end);
}

void CPlayRecPanel::ShowPosBar(bool show) {
    if (m_seekBar) m_seekBar->Show(show);
}

// Shown file --------------------------------------------------------------------------------

// A name the panel writes (the file the list, Next, Previous, the folder watch or a browse
// chose) replaces whatever the user typed: the folder watch treats it as untyped.
void CPlayRecPanel::SetBoxText(const char* text) {
    if (!m_fileBox) return;
    m_typed = false;
    m_programmaticText = true;
    m_fileBox->SetText(text);
    m_programmaticText = false;
}

void CPlayRecPanel::SetWaveFile(WaveFile* file, int supported) {
    m_supported = supported;
    if (!file || !file->IsOpen()) {
        ResetFileInfo();
        return;
    }
    bool named = true;
    if (!m_typedSelection) {
        String name = file->GetShortName();
        named = name.Length() > 0;
        if (!named) name = "unnamed";
        SetBoxText(name.CStr());
        m_committedName = name;
    }
    m_isIFFile = file->IsIFFile() ? 1 : 0;
    // While playing or recording the button states belong to that state: a file re-shown then
    // (the folder watch re-selects after every change of the folder) must not make Play live.
    if (!IsBusy()) {
        SetDown(m_ifButton, m_isIFFile != 0);
        EnableControl(m_playButton, named && supported);
    }
    m_sampleRate = file->GetSampleRate();
    m_channels = file->GetChannels() & 0xFFFF;
    m_bits = file->GetBitsPerSample() & 0xFFFF;
    const int64_t size = file->GetSize();
    m_size = size < 0 || size >= kNoSize ? kNoSize : static_cast<uint32_t>(size);
    // Another file's size and length show at once, whatever was drawn just before (quick
    // steps through the list draw each file inside the interval of the one before).
    RedrawAtOnce(m_sizeRedraw);
    ShowFileSize();
    RedrawAtOnce(m_timeRedraw);
    const uint32_t seconds = file->GetLengthSeconds();
    if (seconds == m_totalSeconds)
        ShowTime();
    else
        SetTotalWaveTime(seconds);
    if (m_seekBar) m_seekBar->SetRange(file->GetDataLength());
    UpdateFileTooltip();
}

void CPlayRecPanel::ResetFileInfo() {
    // The dashes are drawn here; a redraw held back for the file before must not replace them.
    CancelHeldRedraw(m_sizeRedraw);
    CancelHeldRedraw(m_timeRedraw);
    m_totalSeconds = m_totalH = m_totalM = m_totalS = 0;
    if (m_timeLabel) m_timeLabel->SetCaption(kNoTime, false);
    if (m_sizeLabel) m_sizeLabel->SetCaption(kNoSizeText, false);
    m_size = kNoSize;
    if (m_seekBar) {
        m_seekBar->SetRangeStart(0);
        m_seekBar->SetRange(100);
        m_seekBar->SetPos(0);
    }
    m_positionSeconds = 0;
    if (m_fileBox) m_fileBox->SetToolTip("");
}

void CPlayRecPanel::UpdateFileTooltip() {
    if (!m_fileBox) return;
    String name =
        m_tooltipFromList && m_fileList ? m_fileList->GetItemText(m_fileList->GetCurrent()) : m_fileBox->GetText();
    const char* form;
    if (m_isIFFile) {
        form = m_channels == 1   ? "%s\n%uHz, %d bits, mono\nIF recording"
               : m_channels == 2 ? "%s\n%uHz, %d bits, stereo\nIF recording"
                                 : "%s\n%uHz, %d bits\nInvalid IF recording";
    } else {
        form = m_channels == 1   ? "%s\n%uHz, %d bits, mono\nAudio recording"
               : m_channels == 2 ? "%s\n%uHz, %d bits, stereo\nAudioRecording"
                                 : "%s\n%uHz, %d bits\nInvalid Audio recording";
    }
    char text[1200];
    int n = std::snprintf(text, sizeof text, form, name.CStr(), m_sampleRate, static_cast<int>(m_bits));
    if (n < 0) return;
    if (!m_supported && static_cast<size_t>(n) < sizeof text) {
        std::snprintf(text + n, sizeof text - n, "\nUNSUPPORTED");
    }
    m_fileBox->SetToolTip(text);
}

// The stream thread comes here through SetFilePosTime while an audio file plays, always to
// draw at once; a held timer it cannot kill from there only redraws the same values later.
bool CPlayRecPanel::RedrawDue(RedrawThrottle& t) {
    const DWORD now = timeGetTime();
    const DWORD since = now - t.shownAt;  // unsigned: right across the counter's wrap
    if (t.shownAt && since < t.intervalMs) {
        if (!t.held) t.held = SetTimer(t.timerId, t.intervalMs - since) != 0;
        // Without a timer nothing would make the redraw later: it is made now.
        if (t.held) return false;
    }
    CancelHeldRedraw(t);
    t.shownAt = now ? now : 1;
    return true;
}

void CPlayRecPanel::CancelHeldRedraw(RedrawThrottle& t) {
    if (t.held) KillTimer(t.timerId);
    t.held = false;
}

void CPlayRecPanel::RedrawAtOnce(RedrawThrottle& t) {
    CancelHeldRedraw(t);
    t.shownAt = 0;
}

void CPlayRecPanel::ShowFileSize() {
    if (!RedrawDue(m_sizeRedraw)) return;
    char text[32];
    if (m_size == kNoSize)
        std::snprintf(text, sizeof text, "%s", kNoSizeText);
    else if (m_size < 1024)
        std::snprintf(text, sizeof text, "%d B", static_cast<int>(m_size));
    else if (m_size < 1048756)
        FormatUnits(text, sizeof text, m_size / 1024.0f, "KB");
    else if (m_size < 0x40000000)
        FormatUnits(text, sizeof text, static_cast<float>(m_size / 1048576.0), "MB");
    else
        std::snprintf(text, sizeof text, "%.02f GB", m_size / 1073741824.0);
    if (m_sizeLabel) m_sizeLabel->SetCaption(text, false);
}

void CPlayRecPanel::ShowTime() {
    if (!RedrawDue(m_timeRedraw)) return;
    const uint32_t s = m_positionSeconds;
    char text[64];
    std::snprintf(text, sizeof text, "%d:%02d:%02d / %d:%02d:%02d", static_cast<int>(s / 3600),
                  static_cast<int>(s % 3600 / 60), static_cast<int>(s % 60), static_cast<int>(m_totalH),
                  static_cast<int>(m_totalM), static_cast<int>(m_totalS));
    if (m_timeLabel) m_timeLabel->SetCaption(text, false);
}

// File list and file box ----------------------------------------------------------------------

String CPlayRecPanel::GetSelectedFile() const {
    if (!m_fileBox) return String("");
    char text[1024];
    m_fileBox->GetText(text, sizeof text);
    return String(text);
}

void CPlayRecPanel::FireFileName(const String& name) {
    String path = m_folder + "\\" + name;
    OnFileNameChange.Invoke(this, path.CStr());
}

bool CPlayRecPanel::SelectFile(const char* name) {
    if (!m_fileList || !name) return false;
    const String wanted = String(name).ToLower();
    const int count = m_fileList->Count();
    for (int i = 0; i < count; ++i) {
        const String row = m_fileList->GetItemText(i).ToLower();
        const String once = row.RemoveExtension();
        if (std::strcmp(wanted.CStr(), row.CStr()) == 0 || std::strcmp(wanted.CStr(), once.CStr()) == 0 ||
            std::strcmp(wanted.CStr(), once.RemoveExtension().CStr()) == 0) {
            m_fileList->Select(i, true);
            return true;
        }
    }
    return false;
}

void CPlayRecPanel::SelectListIndex(int index) {
    if (m_fileList) m_fileList->Select(index, true);
}

void CPlayRecPanel::ClearFileList() {
    if (m_fileList) m_fileList->Clear();
}

int CPlayRecPanel::AddFile(const char* name) {
    if (!m_fileList) return -1;
    m_fileList->Add(String(name));
    return m_fileList->Count() - 1;
}

void CPlayRecPanel::HandleFileListSelChange(Object*) {
    if (m_suppressList || !m_fileList) return;
    FireFileName(m_fileList->GetItemText(m_fileList->GetCurrent()));
}

void CPlayRecPanel::ShowFileList(bool show) {
    if (!m_fileList) return;
    if (show && m_fileBox) {
        // The list opens upwards: its lower edge on the top of the file box.
        RECT box;
        GetWindowRect(m_fileBox->GetHandle(), &box);
        SetWindowPos(m_fileList->GetHandle(), HWND_TOP, box.left, box.top - m_fileList->Height(), 0, 0,
                     SWP_NOSIZE | SWP_NOACTIVATE);
    }
    m_fileList->Show(show);
    if (show) ::SetFocus(m_fileList->GetHandle());
    if (m_dropButton && m_dropButton->IsDown() != show) m_dropButton->SetDown(show);
}

void CPlayRecPanel::HandleDropButtonDownChange(Object*) {
    if (!m_dropButton) return;
    const bool down = m_dropButton->IsDown();
    if (down && m_listJustClosed) {
        m_listJustClosed = false;
        KillTimer(kListCloseTimer);
        m_listCloseTimer = 0;
        m_dropButton->SetDown(false);
        return;
    }
    if (m_fileList && m_fileList->IsVisible() == down) return;
    ShowFileList(down);
}

void CPlayRecPanel::HandleFileListItemClick(Object*) { ShowFileList(false); }

void CPlayRecPanel::HandleFileListFocusLost(Object*) {
    ShowFileList(false);
    m_listJustClosed = true;
    m_listCloseTimer = SetTimer(kListCloseTimer, kListCloseMs) ? kListCloseTimer : 0;
}

void CPlayRecPanel::HandleFileBoxFocus(Object*, int gained) {
    if (!gained && m_fileBox) m_committedName = m_fileBox->GetText();
}

void CPlayRecPanel::HandleFileBoxChange(Object*) {
    if (m_programmaticText || !m_fileBox) return;
    m_typed = true;
    m_suppressList = true;
    if (SelectFile(m_fileBox->GetText().CStr())) {
        m_typedSelection = m_tooltipFromList = true;
        if (m_fileList) FireFileName(m_fileList->GetItemText(m_fileList->GetCurrent()));
        m_typedSelection = m_tooltipFromList = false;
    } else {
        ShowNoFile();
    }
    m_suppressList = false;
}

void CPlayRecPanel::HandleFileBoxChar(Object*, int* key, LPARAM) {
    if (!key || *key != VK_ESCAPE) return;
    m_suppressList = true;
    if (SelectFile(m_committedName.CStr()) && m_fileList)
        FireFileName(m_fileList->GetItemText(m_fileList->GetCurrent()));
    else
        FireFileName(m_committedName);
    m_suppressList = false;
    m_typed = false;
    *key = 0;
}

// Folder ------------------------------------------------------------------------------------

String CPlayRecPanel::GetDefaultAudioDir() {
    char folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PERSONAL, TRUE)) return String("");
    const size_t n = std::strlen(folder);
    return String(folder) + (n && folder[n - 1] == '\\' ? "Quorvane\\Apco" : "\\Quorvane\\Apco");
}

void CPlayRecPanel::CloseWatch() {
    if (m_changeHandle) FindCloseChangeNotification(m_changeHandle);
    m_changeHandle = nullptr;
    if (m_folderWatchTimer) KillTimer(kFolderWatchTimer);
    m_folderWatchTimer = 0;
}

void CPlayRecPanel::SetAudioDirPath(const char* path) {
    if (!path) return;
    if (path[0] && std::strcmp(path, m_folder.CStr()) == 0) return;
    m_folder = path;
    if (m_folder.Length() == 0) {
        m_folder = GetDefaultAudioDir();
        if (m_folder.Length() == 0) return;
        CreateDirectoryPath(m_folder);
    }
    CheckDirWritable();
    UpdateBrowseTooltip();
    ScanDirectory();
    CloseWatch();
    HANDLE h = FindFirstChangeNotificationA(m_folder.CStr(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    if (h == INVALID_HANDLE_VALUE || !h) return;
    m_changeHandle = h;
    m_folderWatchTimer = SetTimer(kFolderWatchTimer, kFolderWatchMs) ? kFolderWatchTimer : 0;
}

void CPlayRecPanel::ScanDirectory() {
    if (m_folder.Length() == 0 || !m_fileList) return;
    m_fileList->Clear();
    const String pattern = m_folder + "\\*.wav";
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(pattern.CStr(), &found);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        m_fileList->Add(String(found.cFileName));
    } while (FindNextFileA(h, &found));
    FindClose(h);
}

void CPlayRecPanel::DoOnTimer(UINT_PTR id) {
    Panel::DoOnTimer(id);
    if (id == kListCloseTimer) {
        KillTimer(kListCloseTimer);
        m_listCloseTimer = 0;
        m_listJustClosed = false;
    } else if (id == kErrorTimer) {
        KillTimer(kErrorTimer);
        const String text = m_pendingError;
        m_pendingError = "";
        if (text.Length()) ShowError(text.CStr());
    } else if (id == kSizeRedrawTimer || id == kTimeRedrawTimer) {
        // One shot, killed here whatever the held flag says: the stream thread may have cleared
        // it without reaching this window's timer, which would otherwise fire for ever.
        KillTimer(id);
        if (id == kSizeRedrawTimer) {
            m_sizeRedraw.held = false;
            ShowFileSize();
        } else {
            m_timeRedraw.held = false;
            ShowTime();
        }
    } else if (id == kFolderWatchTimer) {
        if (!m_changeHandle) {
            KillTimer(kFolderWatchTimer);
            m_folderWatchTimer = 0;
            return;
        }
        if (WaitForSingleObject(m_changeHandle, 0) != WAIT_OBJECT_0) return;
        const int row = m_fileList ? m_fileList->GetCurrent() : -1;
        ScanDirectory();
        if (!FindNextChangeNotification(m_changeHandle)) CloseWatch();
        SelectAfterRescan(row);
    }
}

// The shown file is found again in the new list; when it is gone, the row after its old one
// (or the last) is chosen, unless the user has typed the name. While playing or recording the
// shown file is in use: what to show instead is decided when that ends (StopPlayRec), from
// the name shown then (a recording shows its own name only at its end).
void CPlayRecPanel::SelectAfterRescan(int row) {
    const bool found = SelectFile(GetSelectedFile().CStr());
    if (IsBusy()) {
        if (!m_rescannedWhileBusy) m_rowBeforeBusyRescan = row;
        m_rescannedWhileBusy = true;
        return;
    }
    m_rescannedWhileBusy = false;
    if (!found && !m_typed && m_fileList) {
        const int last = m_fileList->Count() - 1;
        SelectListIndex(row + 1 > last ? last : row + 1);
    }
    // No row left to select (the folder emptied, or the typed name's file went): the shown
    // file is gone and must not stay named and playable. The user's typing stays.
    if (m_fileList && m_fileList->GetCurrent() < 0) {
        if (m_typed)
            ShowNoFile();
        else
            ClearShownFile();
    }
}

void CPlayRecPanel::HandleBrowseClick(Object*) {
    const String chosen =
        BrowseForFolder(GetHandle(), String("Select directory for the APCO plugin Audio data"), 0x40, m_folder);
    if (chosen.Length() == 0) return;
    SetAudioDirPath(chosen.CStr());
    if (SelectFile(GetSelectedFile().CStr())) return;
    if (m_fileList && m_fileList->Count() > 0)
        SelectListIndex(0);
    else
        ClearShownFile();
}

// A folder without WAV files shows none (after a browse, or once the folder watch finds the
// last one gone): the previous file must not stay in the box, playable, and be saved as the
// selection. The empty name tells the plug-in object to forget the file it would play.
void CPlayRecPanel::ClearShownFile() {
    SetBoxText("");
    m_committedName = "";
    ShowNoFile();
    OnFileNameChange.Invoke(this, "");
}

void CPlayRecPanel::ShowNoFile() {
    ResetFileInfo();
    EnableControl(m_playButton, false);
}

void CPlayRecPanel::UpdateBrowseTooltip() {
    if (!m_browseButton) return;
    char text[2400];
    std::snprintf(text, sizeof text, "Browse for another audio folder.\nCurrent: %s", m_folder.CStr());
    m_browseButton->SetToolTip(text);
}

void CPlayRecPanel::CheckDirWritable() {
    // A free name first; a file that cannot be created is never written or read back.
    String probe;
    bool free = false;
    for (int n = 0; n < kProbeNames && !free; ++n) {
        probe = m_folder + "\\" + String::FromInt64(n);
        FILE* f = std::fopen(probe.CStr(), "rb");
        if (f)
            std::fclose(f);
        else
            free = true;
    }
    bool ok = false;
    if (free) {
        const unsigned char written[kProbeBytes] = {'A', 'p', 'c', 'o', 0, 1, 2, 0xFD, 0xFE, 0xFF};
        unsigned char read[kProbeBytes] = {};
        if (FILE* f = std::fopen(probe.CStr(), "wb")) {
            const bool wrote = std::fwrite(written, 1, kProbeBytes, f) == kProbeBytes;
            const bool closed = std::fclose(f) == 0;
            if (FILE* g = std::fopen(probe.CStr(), "rb")) {
                ok = wrote && closed && std::fread(read, 1, kProbeBytes, g) == kProbeBytes &&
                     std::memcmp(read, written, kProbeBytes) == 0;
                std::fclose(g);
            }
            DeleteFileA(probe.CStr());
        }
    }
    m_writable = ok;
    if (ok) {
        if (!IsBusy()) EnableControl(m_recordButton, true);
        return;
    }
    EnableControl(m_recordButton, false);
    ShowError("Can not write to the selected directory. Recording will be disabled.");
}

void CPlayRecPanel::ShowErrorLater(const char* text) {
    if (!text || !*text) return;
    m_pendingError = text;
    if (!SetTimer(kErrorTimer, 1)) {
        m_pendingError = "";
        ShowError(text);
    }
}

void CPlayRecPanel::ShowError(const char* text) {
    if (!m_errorDialog) {
        m_errorDialog = new MessageDialog(GetHandle(), 1, "Apco Plugin Error");
        if (!m_errorDialog) return;
        ApplyDialogLook(m_errorDialog);
        ApplyNormalFont(m_errorDialog);
    }
    m_errorDialog->Run(text, false);
}
