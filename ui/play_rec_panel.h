// The player/recorder strip at the bottom of the main window: the file box with its popup
// list of the audio folder's WAV files, the seek bar, the transport buttons, the IF toggle,
// Record, and the time and size labels. It owns no audio: every user action leaves as one of
// its Events, and the plug-in object drives it back through the main window. It also owns
// the audio folder: it lists it, watches it for changes (a 2 s timer), lets the user browse
// for another one and tests whether recordings can be written there. GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/string.h"
#include "toolkit/event.h"
#include "toolkit/panel.h"

class Button;
class CFilePosBar;
class CPlayRecFileList;
class Edit;
class Label;
class MessageDialog;
class WaveFile;

class CPlayRecPanel : public Panel {
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 51;
    static constexpr UINT_PTR kListCloseTimer = 1;
    static constexpr UINT_PTR kFolderWatchTimer = 2;
    static constexpr UINT_PTR kErrorTimer = 3;
    static constexpr UINT_PTR kSizeRedrawTimer = 4;
    static constexpr UINT_PTR kTimeRedrawTimer = 5;
    static constexpr UINT kListCloseMs = 100;
    static constexpr UINT kFolderWatchMs = 2000;
    static constexpr DWORD kSizeRedrawMs = 250;
    static constexpr DWORD kTimeRedrawMs = 500;

    CPlayRecPanel(HWND parent, int x, int y);
    ~CPlayRecPanel() override;

    void DoOnTimer(UINT_PTR id) override;

    void SetWaveFile(WaveFile* file, int supported);
    void StartPlayback();
    void StartRecording();
    void StopPlayRec();
    void StartNextFilePlayback();
    void SetPaused(int pressed, int fire);
    void SetFilePos(uint32_t bytes);
    void SetFilePosTime(uint32_t seconds);
    void SetTotalFileSize(uint32_t bytes);
    void SetTotalWaveTime(uint32_t seconds);
    String GetAudioDirPath() const { return m_folder; }
    void SetAudioDirPath(const char* path);
    void SetDefaultAudioDir() { SetAudioDirPath(""); }
    String GetSelectedFile() const;
    bool SelectFile(const char* name);
    int IsIFSelected() const;
    static String GetDefaultAudioDir();
    // Shows the text in the panel's error box once the current message is handled: a report
    // made inside a message sent by another thread must not keep that thread waiting.
    void ShowErrorLater(const char* text);

    void SetFileRange(uint32_t end);
    void ClearFileList();
    int AddFile(const char* name);
    void SelectFileIndex(int index) { SelectListIndex(index); }
    void ShowPosBar(bool show);
    void FireSpareEvent() { OnSpareEvent.Invoke(this); }
    void SetStandbyState();

    // What the shown file and the position are (read by the main window's tests).
    uint32_t GetFilePos() const;
    uint32_t GetFilePosTime() const { return m_positionSeconds; }
    uint32_t GetTotalFileSize() const { return m_size; }
    uint32_t GetTotalWaveTime() const { return m_totalSeconds; }
    uint32_t GetShownSampleRate() const { return m_sampleRate; }
    uint32_t GetShownChannels() const { return m_channels; }
    uint32_t GetShownBitsPerSample() const { return m_bits; }
    bool IsShownFileSupported() const { return m_supported != 0; }
    bool IsWritable() const { return m_writable; }

    // The controls, for the main window's layout and for tests.
    Edit* GetFileBox() const { return m_fileBox; }
    Button* GetDropButton() const { return m_dropButton; }
    CPlayRecFileList* GetFileList() const { return m_fileList; }
    Button* GetBrowseButton() const { return m_browseButton; }
    CFilePosBar* GetSeekBar() const { return m_seekBar; }
    Button* GetPrevButton() const { return m_prevButton; }
    Button* GetRewindButton() const { return m_rewindButton; }
    Button* GetStopButton() const { return m_stopButton; }
    Button* GetPauseButton() const { return m_pauseButton; }
    Button* GetPlayButton() const { return m_playButton; }
    Button* GetForwardButton() const { return m_forwardButton; }
    Button* GetNextButton() const { return m_nextButton; }
    Button* GetIFButton() const { return m_ifButton; }
    Button* GetRecordButton() const { return m_recordButton; }
    Label* GetTimeLabel() const { return m_timeLabel; }
    Label* GetSizeLabel() const { return m_sizeLabel; }
    MessageDialog* GetErrorDialog() const { return m_errorDialog; }

    Event<uint32_t> OnFilePosChange;
    Event<> OnStartPlay;
    Event<> OnPlayRecStop;
    Event<> OnSpareEvent;
    Event<const char*> OnFileNameChange;
    Event<int> OnPlayRecPause;
    Event<int> OnFileTimePosChange;
    Event<> OnRecordStart;

private:
    // A label redrawn at most once per interval. A redraw asked for inside the interval is
    // held back, not dropped: a timer makes it when the interval ends, with the value standing
    // then, so a label never stays stale once the updates stop.
    struct RedrawThrottle {
        UINT_PTR timerId;
        DWORD intervalMs;
        DWORD shownAt;  // timeGetTime of the last redraw; 0: the next one is made at once
        bool held;      // the timer runs for a held-back redraw
    };
    bool RedrawDue(RedrawThrottle& t);
    void CancelHeldRedraw(RedrawThrottle& t);
    void RedrawAtOnce(RedrawThrottle& t);

    void CreateControls();
    bool IsBusy() const;  // playing or recording: Play or Record pressed
    Button* MakeTransport(int x, int bitmap);
    void ShowFileList(bool show);
    void ScanDirectory();
    void SelectAfterRescan(int row);
    void CheckDirWritable();
    void ShowError(const char* text);
    void UpdateBrowseTooltip();
    void UpdateFileTooltip();
    void ResetFileInfo();
    void ShowFileSize();
    void ShowTime();
    void SelectListIndex(int index);
    void FireFileName(const String& name);
    void SetBoxText(const char* text);
    void CloseWatch();
    void ClearShownFile();
    void ShowNoFile();

    void HandleFileBoxFocus(Object* sender, int gained);
    void HandleFileBoxChar(Object* sender, int* key, LPARAM flags);
    void HandleFileBoxChange(Object* sender);
    void HandleDropButtonDownChange(Object* sender);
    void HandleFileListSelChange(Object* sender);
    void HandleFileListItemClick(Object* sender);
    void HandleFileListFocusLost(Object* sender);
    void HandleBrowseClick(Object* sender);
    void HandleSeek(Object* sender, uint32_t position);
    void HandlePrevFileClick(Object* sender);
    void HandleRewindClick(Object* sender);
    void HandleStopClick(Object* sender);
    void HandlePauseDownChange(Object* sender);
    void HandlePlayClick(Object* sender);
    void HandleForwardClick(Object* sender);
    void HandleNextFileClick(Object* sender);
    void HandleRecordClick(Object* sender);

    Edit* m_fileBox = nullptr;
    Button* m_dropButton = nullptr;
    CPlayRecFileList* m_fileList = nullptr;
    Button* m_browseButton = nullptr;
    CFilePosBar* m_seekBar = nullptr;
    Button* m_prevButton = nullptr;
    Button* m_rewindButton = nullptr;
    Button* m_stopButton = nullptr;
    Button* m_pauseButton = nullptr;
    Button* m_playButton = nullptr;
    Button* m_forwardButton = nullptr;
    Button* m_nextButton = nullptr;
    Button* m_ifButton = nullptr;
    Button* m_recordButton = nullptr;
    Label* m_timeLabel = nullptr;
    Label* m_sizeLabel = nullptr;
    MessageDialog* m_errorDialog = nullptr;

    bool m_nextFileOn = true;
    bool m_typed = false;
    bool m_typedSelection = false;
    bool m_programmaticText = false;
    bool m_listJustClosed = false;
    bool m_suppressList = false;
    bool m_tooltipFromList = false;
    bool m_writable = true;
    int m_isIFFile = 0;
    int m_supported = 0;
    int m_pauseEventsOn = 1;
    UINT_PTR m_listCloseTimer = 0;
    uint32_t m_totalH = 0, m_totalM = 0, m_totalS = 0;
    uint32_t m_positionSeconds = 0;
    uint32_t m_size = 0xFFFFFFFFu;
    uint32_t m_totalSeconds = 0;
    UINT_PTR m_folderWatchTimer = 0;
    // The folder changed while playing or recording: the watch's choice waits for the end.
    bool m_rescannedWhileBusy = false;
    int m_rowBeforeBusyRescan = -1;
    RedrawThrottle m_sizeRedraw{kSizeRedrawTimer, kSizeRedrawMs, 0, false};
    RedrawThrottle m_timeRedraw{kTimeRedrawTimer, kTimeRedrawMs, 0, false};
    uint32_t m_sampleRate = 0, m_channels = 0, m_bits = 0;
    HANDLE m_changeHandle = nullptr;
    HWND m_parentWindow = nullptr;
    String m_committedName;
    String m_folder;
    String m_pendingError;
};
