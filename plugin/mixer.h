// Mixer: the Windows multimedia mixer of one device read into records: its destination lines,
// each destination's source lines, and every line's controls, with typed getters and setters
// over them. A line is addressed by (destination d, source s), s = -1 meaning the destination
// itself; a control by its index c within that line. Getters return 0 (or null, or -1 where
// said) for a record that was not read or an index out of range.
//
// Change notifications of the open mixer arrive at a hidden toolkit window (MixerNotifyWindow)
// on the GUI thread and leave as OnLineChange / OnControlChange (mixer handle, line or control
// id). GUI thread only.
//
// Every system call goes through the protected Query... primitives, which a test replaces to
// run the whole logic over a fake device.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

#include "foundation/object.h"
#include "toolkit/event.h"

class MixerNotifyWindow;

struct MixerLineRecord {
    bool valid = false;
    MIXERLINEA line = {};
    MIXERCONTROLA* controls = nullptr;   // line.cControls entries
    DWORD* saved = nullptr;              // one saved value per control
    MixerLineRecord* sources = nullptr;  // line.cConnections entries (destinations only)
};

class Mixer : public Object {
public:
    static constexpr DWORD kVolumeControl = MIXERCONTROL_CONTROLTYPE_VOLUME;  // 0x50030001
    static constexpr DWORD kMuteControl = MIXERCONTROL_CONTROLTYPE_MUTE;      // 0x20010002

    Mixer();
    ~Mixer() override;

    // Device: the number of mixers (asked once), and the caps of the device, read on first use.
    int GetNumDevices();
    WORD GetManufacturerId();
    WORD GetProductId();
    DWORD GetDriverVersion();
    const char* GetName();  // empty when the caps cannot be read
    DWORD GetSupport();
    DWORD GetDestinationCount();

    // Open and close. Any open closes the previous mixer first. saveState reads every control
    // value so that Close writes them back. The wave-out open always notifies.
    bool Open(UINT mixerIndex, bool notify, bool saveState);
    bool OpenWaveIn(UINT waveInId, bool notify, bool saveState);
    bool OpenWaveOut(UINT waveOutId, bool saveState = false);
    void Close();
    bool IsOpen() const { return m_open; }
    HMIXER GetHandle() const { return m_handle; }

    // Lines: the line's MIXERLINE, null when not read. Sources: count and record.
    const MIXERLINEA* GetLine(DWORD d, int s = -1) const;
    DWORD GetSourceCount(DWORD d) const;

    // Controls of a line.
    DWORD GetControlCount(DWORD d, int s) const;
    const MIXERCONTROLA* GetControl(DWORD d, int s, DWORD c) const;
    // The first control of that type, -1 when there is none.
    int FindControl(DWORD d, int s, DWORD type) const;
    // One uniform 32-bit value; -1 on failure.
    int64_t GetControlValue(DWORD d, int s, DWORD c);
    bool SetControlValue(DWORD d, int s, DWORD c, DWORD value);
    // One value per item; only for multiple-item controls.
    bool SetControlValues(DWORD d, int s, DWORD c, const DWORD* values, DWORD count);
    // Up to count list texts of a multiple-item control; the number read (0 on failure).
    DWORD GetControlListTexts(DWORD d, int s, DWORD c, MIXERCONTROLDETAILS_LISTTEXTA* texts, DWORD count);

    // Convenience over volume and mute. For a source line the destination's control serves
    // when the destination has just one source and such a control, else the source's own, else
    // the destination's.
    bool HasVolume(DWORD d, int s) const;
    bool HasMute(DWORD d, int s) const;
    int GetMute(DWORD d, int s);  // -1 without a mute control
    bool SetMute(DWORD d, int s, int on);
    int GetVolume(DWORD d, int s);                 // per mille of the range, -1 without a control
    bool SetVolume(DWORD d, int s, int permille);  // permille 0..1000 (more is 1000)

    // Saved state: every control value of every line, and back.
    void SaveState();
    void RestoreState();

    Event<HMIXER, DWORD> OnLineChange;
    Event<HMIXER, DWORD> OnControlChange;

    // From the notification window.
    void HandleMixerMessage(UINT msg, HMIXER mixer, DWORD id);

    // Per-mille conversions over a control's range.
    static int ToPermille(DWORD value, DWORD minimum, DWORD maximum);
    static DWORD FromPermille(int permille, DWORD minimum, DWORD maximum);

protected:
    // System primitives.
    virtual UINT QueryDeviceCount();
    virtual bool QueryCaps(MIXERCAPSA* caps);
    // id is a mixer index or a wave device id as the flags say; window receives notifications.
    virtual bool QueryOpen(UINT id, DWORD flags, HWND window);
    virtual void QueryClose();
    // Fills line (cbStruct and the index fields set by the caller); flags as mixerGetLineInfo.
    virtual bool QueryLine(MIXERLINEA* line, DWORD flags);
    virtual bool QueryControls(const MIXERLINEA& line, MIXERCONTROLA* controls);
    virtual bool QueryValue(const MIXERCONTROLA& control, DWORD* value);
    virtual bool WriteValues(const MIXERCONTROLA& control, const DWORD* values, DWORD count);
    virtual bool QueryListTexts(const MIXERCONTROLA& control, MIXERCONTROLDETAILS_LISTTEXTA* texts);

    HMIXER m_handle = nullptr;

private:
    bool OpenWith(UINT id, DWORD flags, bool notify, bool saveState);
    bool ReadCaps();
    bool ReadLine(MixerLineRecord* record, DWORD flags, DWORD d, DWORD s);
    void FreeRecords();
    static void FreeRecord(MixerLineRecord* record);
    MixerLineRecord* Record(DWORD d, int s) const;
    // The line whose volume or mute control serves (d, s); -2 when none.
    int ServingLine(DWORD d, int s, DWORD type) const;
    MixerLineRecord* FindLineById(DWORD id);

    int m_deviceCount = -1;
    MIXERCAPSA m_caps = {};
    bool m_capsRead = false;
    bool m_open = false;
    MixerLineRecord* m_destinations = nullptr;
    DWORD m_destinationCount = 0;
    MixerNotifyWindow* m_window = nullptr;
    bool m_stateSaved = false;
};
