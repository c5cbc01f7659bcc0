// The player/recorder strip of the main window, as far as the main window reaches it: the
// transport and file operations and the events the main window binds. This thin panel keeps
// the values it is given and has no controls; the full panel with its file list, seek bar
// and transport buttons replaces it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/string.h"
#include "toolkit/event.h"
#include "toolkit/panel.h"

class WaveFile;

class CPlayRecPanel : public Panel {
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 51;

    CPlayRecPanel(HWND parent, int x, int y);
    ~CPlayRecPanel() override = default;

    String GetAudioDirPath() const { return m_folder; }
    void SetAudioDirPath(const char* folder) { m_folder = folder; }
    void SetDefaultAudioDir() { m_folder = ""; }
    String GetSelectedFile() const { return m_selected; }
    bool SelectFile(const char* name) { m_selected = name; return true; }
    int IsIFSelected() const { return m_ifSelected; }
    void SetIFSelected(int on) { m_ifSelected = on; }
    void SetWaveFile(WaveFile* file, int supported) { m_file = file; }
    void SetFilePos(uint32_t bytes) { m_position = bytes; }
    void SetFilePosTime(uint32_t seconds) { m_positionSeconds = seconds; }
    void SetTotalFileSize(uint32_t bytes) { m_size = bytes; }
    void SetTotalWaveTime(uint32_t seconds) { m_totalSeconds = seconds; }
    void SetPaused(int pressed, int fire);
    void StartPlayback() { m_state = 1; }
    void StartRecording() { m_state = 2; }
    void StopPlayRec() { m_state = 0; }
    void StartNextFilePlayback() { OnStartPlay.Invoke(this); }

    uint32_t GetFilePos() const { return m_position; }
    uint32_t GetFilePosTime() const { return m_positionSeconds; }
    uint32_t GetTotalFileSize() const { return m_size; }
    uint32_t GetTotalWaveTime() const { return m_totalSeconds; }
    int GetTransportState() const { return m_state; }
    int IsPaused() const { return m_paused; }

    Event<uint32_t> OnFilePosChange;
    Event<> OnStartPlay;
    Event<> OnPlayRecStop;
    Event<> OnSpareEvent;
    Event<const char*> OnFileNameChange;
    Event<int> OnPlayRecPause;
    Event<int> OnFileTimePosChange;
    Event<> OnRecordStart;

private:
    String m_folder;
    String m_selected;
    WaveFile* m_file = nullptr;
    int m_ifSelected = 0;
    uint32_t m_position = 0;
    uint32_t m_positionSeconds = 0;
    uint32_t m_size = 0xFFFFFFFFu;
    uint32_t m_totalSeconds = 0;
    int m_state = 0;
    int m_paused = 0;
};
