#include "plugin/mixer.h"

#include <cstring>
#include <new>

#include "foundation/trace.h"
#include "toolkit/component.h"

// The hidden window that receives the open mixer's change messages on the GUI thread.
class MixerNotifyWindow : public Component {
public:
    explicit MixerNotifyWindow(Mixer* mixer) : Component("", WS_POPUP, 0, 0, 0, 1, 1, nullptr), m_mixer(mixer) {}

    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == MM_MIXM_LINE_CHANGE || msg == MM_MIXM_CONTROL_CHANGE) {
            try {
                m_mixer->HandleMixerMessage(msg, reinterpret_cast<HMIXER>(wParam), static_cast<DWORD>(lParam));
            } catch (...) {
                TraceLog("MixerNotifyWindow: message %u failed", msg);
            }
        }
        return Component::WndProc(msg, wParam, lParam);
    }

private:
    Mixer* m_mixer;
};

Mixer::Mixer() = default;

Mixer::~Mixer() {
    Close();
    delete m_window;
}

// Device ------------------------------------------------------------------------------------

int Mixer::GetNumDevices() {
    if (m_deviceCount < 0) m_deviceCount = static_cast<int>(QueryDeviceCount());
    return m_deviceCount;
}

bool Mixer::ReadCaps() {
    if (!m_capsRead) m_capsRead = QueryCaps(&m_caps);
    return m_capsRead;
}

WORD Mixer::GetManufacturerId() { return ReadCaps() ? m_caps.wMid : 0; }
WORD Mixer::GetProductId() { return ReadCaps() ? m_caps.wPid : 0; }
DWORD Mixer::GetDriverVersion() { return ReadCaps() ? m_caps.vDriverVersion : 0; }
const char* Mixer::GetName() { return ReadCaps() ? m_caps.szPname : ""; }
DWORD Mixer::GetSupport() { return ReadCaps() ? m_caps.fdwSupport : 0; }
DWORD Mixer::GetDestinationCount() { return ReadCaps() ? m_caps.cDestinations : 0; }

// Open and close ----------------------------------------------------------------------------

bool Mixer::Open(UINT mixerIndex, bool notify, bool saveState) {
    return OpenWith(mixerIndex, MIXER_OBJECTF_MIXER, notify, saveState);
}

bool Mixer::OpenWaveIn(UINT waveInId, bool notify, bool saveState) {
    return OpenWith(waveInId, MIXER_OBJECTF_WAVEIN, notify, saveState);
}

bool Mixer::OpenWaveOut(UINT waveOutId, bool saveState) {
    return OpenWith(waveOutId, MIXER_OBJECTF_WAVEOUT, true, saveState);
}

bool Mixer::OpenWith(UINT id, DWORD flags, bool notify, bool saveState) {
    Close();
    HWND window = nullptr;
    if (notify) {
        if (!m_window) m_window = new (std::nothrow) MixerNotifyWindow(this);
        if (m_window) window = m_window->GetHandle();
    }
    if (!QueryOpen(id, flags | (window ? CALLBACK_WINDOW : 0), window)) return false;
    m_open = true;
    m_capsRead = false;  // the caps of the mixer now open
    const DWORD count = GetDestinationCount();
    if (count) {
        m_destinations = new (std::nothrow) MixerLineRecord[count];
        if (m_destinations) m_destinationCount = count;
    }
    for (DWORD d = 0; d < m_destinationCount; ++d) {
        MixerLineRecord* dest = &m_destinations[d];
        if (!ReadLine(dest, MIXER_GETLINEINFOF_DESTINATION, d, 0)) continue;
        const DWORD n = dest->line.cConnections;
        if (n) dest->sources = new (std::nothrow) MixerLineRecord[n];
        if (!dest->sources) {
            dest->line.cConnections = 0;
            continue;
        }
        for (DWORD s = 0; s < n; ++s) ReadLine(&dest->sources[s], MIXER_GETLINEINFOF_SOURCE, d, s);
    }
    if (saveState) SaveState();
    return true;
}

bool Mixer::ReadLine(MixerLineRecord* record, DWORD flags, DWORD d, DWORD s) {
    record->line.cbStruct = sizeof(MIXERLINEA);
    record->line.dwDestination = d;
    record->line.dwSource = s;
    if (!QueryLine(&record->line, flags)) return false;
    const DWORD n = record->line.cControls;
    if (n) {
        record->controls = new (std::nothrow) MIXERCONTROLA[n];
        record->saved = new (std::nothrow) DWORD[n];
        if (!record->controls || !record->saved) {
            FreeRecord(record);
            return false;
        }
        if (!QueryControls(record->line, record->controls)) std::memset(record->controls, 0, n * sizeof(MIXERCONTROLA));
        std::memset(record->saved, 0, n * sizeof(DWORD));
    }
    record->valid = true;
    return true;
}

void Mixer::FreeRecord(MixerLineRecord* record) {
    delete[] record->controls;
    delete[] record->saved;
    record->controls = nullptr;
    record->saved = nullptr;
    record->valid = false;
}

void Mixer::FreeRecords() {
    for (DWORD d = 0; d < m_destinationCount; ++d) {
        MixerLineRecord* dest = &m_destinations[d];
        if (dest->sources) {
            for (DWORD s = 0; s < dest->line.cConnections; ++s) FreeRecord(&dest->sources[s]);
            delete[] dest->sources;
        }
        FreeRecord(dest);
    }
    delete[] m_destinations;
    m_destinations = nullptr;
    m_destinationCount = 0;
}

void Mixer::Close() {
    if (!m_open) return;
    if (m_stateSaved) RestoreState();
    m_stateSaved = false;
    FreeRecords();
    QueryClose();
    m_handle = nullptr;
    m_open = false;
    m_capsRead = false;
}

// Lines and controls ------------------------------------------------------------------------

MixerLineRecord* Mixer::Record(DWORD d, int s) const {
    if (d >= m_destinationCount || !m_destinations[d].valid) return nullptr;
    MixerLineRecord* dest = &m_destinations[d];
    if (s < 0) return dest;
    if (!dest->sources || static_cast<DWORD>(s) >= dest->line.cConnections) return nullptr;
    MixerLineRecord* source = &dest->sources[s];
    return source->valid ? source : nullptr;
}

const MIXERLINEA* Mixer::GetLine(DWORD d, int s) const {
    const MixerLineRecord* r = Record(d, s);
    return r ? &r->line : nullptr;
}

DWORD Mixer::GetSourceCount(DWORD d) const {
    const MixerLineRecord* r = Record(d, -1);
    return r && r->sources ? r->line.cConnections : 0;
}

DWORD Mixer::GetControlCount(DWORD d, int s) const {
    const MixerLineRecord* r = Record(d, s);
    return r && r->controls ? r->line.cControls : 0;
}

const MIXERCONTROLA* Mixer::GetControl(DWORD d, int s, DWORD c) const {
    const MixerLineRecord* r = Record(d, s);
    return r && r->controls && c < r->line.cControls ? &r->controls[c] : nullptr;
}

int Mixer::FindControl(DWORD d, int s, DWORD type) const {
    const DWORD n = GetControlCount(d, s);
    const MixerLineRecord* r = Record(d, s);
    for (DWORD c = 0; c < n; ++c)
        if (r->controls[c].dwControlType == type) return static_cast<int>(c);
    return -1;
}

int64_t Mixer::GetControlValue(DWORD d, int s, DWORD c) {
    const MIXERCONTROLA* control = GetControl(d, s, c);
    DWORD value = 0;
    if (!control || !QueryValue(*control, &value)) return -1;
    return value;
}

bool Mixer::SetControlValue(DWORD d, int s, DWORD c, DWORD value) {
    const MIXERCONTROLA* control = GetControl(d, s, c);
    return control && WriteValues(*control, &value, 1);
}

bool Mixer::SetControlValues(DWORD d, int s, DWORD c, const DWORD* values, DWORD count) {
    const MIXERCONTROLA* control = GetControl(d, s, c);
    if (!control || !values || !(control->fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE)) return false;
    if (count != control->cMultipleItems) return false;
    return WriteValues(*control, values, count);
}

DWORD Mixer::GetControlListTexts(DWORD d, int s, DWORD c, MIXERCONTROLDETAILS_LISTTEXTA* texts, DWORD count) {
    const MIXERCONTROLA* control = GetControl(d, s, c);
    if (!control || !texts || !(control->fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE)) return 0;
    const DWORD items = control->cMultipleItems;
    if (!items) return 0;
    MIXERCONTROLDETAILS_LISTTEXTA* all = new (std::nothrow) MIXERCONTROLDETAILS_LISTTEXTA[items];
    if (!all) return 0;
    DWORD n = 0;
    if (QueryListTexts(*control, all)) {
        n = items < count ? items : count;
        std::memcpy(texts, all, n * sizeof *all);
    }
    delete[] all;
    return n;
}

// Volume and mute ---------------------------------------------------------------------------

int Mixer::ServingLine(DWORD d, int s, DWORD type) const {
    if (s < 0) return FindControl(d, -1, type) >= 0 ? -1 : -2;
    if (!Record(d, s)) return -2;
    if (GetSourceCount(d) == 1 && FindControl(d, -1, type) >= 0) return -1;
    if (FindControl(d, s, type) >= 0) return s;
    return FindControl(d, -1, type) >= 0 ? -1 : -2;
}

bool Mixer::HasVolume(DWORD d, int s) const { return ServingLine(d, s, kVolumeControl) != -2; }
bool Mixer::HasMute(DWORD d, int s) const { return ServingLine(d, s, kMuteControl) != -2; }

int Mixer::GetMute(DWORD d, int s) {
    const int line = ServingLine(d, s, kMuteControl);
    if (line == -2) return -1;
    return static_cast<int>(GetControlValue(d, line, static_cast<DWORD>(FindControl(d, line, kMuteControl))));
}

bool Mixer::SetMute(DWORD d, int s, int on) {
    const int line = ServingLine(d, s, kMuteControl);
    if (line == -2) return false;
    return SetControlValue(d, line, static_cast<DWORD>(FindControl(d, line, kMuteControl)), on ? 1 : 0);
}

int Mixer::ToPermille(DWORD value, DWORD minimum, DWORD maximum) {
    if (maximum <= minimum) return 0;
    // In 64 bits: a 32-bit range times 1000 would wrap.
    return static_cast<int>((static_cast<int64_t>(value) - minimum) * 1000 / (static_cast<int64_t>(maximum) - minimum));
}

DWORD Mixer::FromPermille(int permille, DWORD minimum, DWORD maximum) {
    if (permille < 0) permille = 0;
    if (permille > 1000) permille = 1000;
    if (maximum <= minimum) return minimum;
    return static_cast<DWORD>((static_cast<int64_t>(maximum) - minimum) * permille / 1000 + minimum);
}

int Mixer::GetVolume(DWORD d, int s) {
    const int line = ServingLine(d, s, kVolumeControl);
    if (line == -2) return -1;
    const DWORD c = static_cast<DWORD>(FindControl(d, line, kVolumeControl));
    const int64_t value = GetControlValue(d, line, c);
    if (value < 0) return -1;
    const MIXERCONTROLA* control = GetControl(d, line, c);
    return ToPermille(static_cast<DWORD>(value), control->Bounds.dwMinimum, control->Bounds.dwMaximum);
}

bool Mixer::SetVolume(DWORD d, int s, int permille) {
    const int line = ServingLine(d, s, kVolumeControl);
    if (line == -2) return false;
    const DWORD c = static_cast<DWORD>(FindControl(d, line, kVolumeControl));
    const MIXERCONTROLA* control = GetControl(d, line, c);
    return SetControlValue(d, line, c, FromPermille(permille, control->Bounds.dwMinimum, control->Bounds.dwMaximum));
}

// Saved state -------------------------------------------------------------------------------

void Mixer::SaveState() {
    for (DWORD d = 0; d < m_destinationCount; ++d) {
        for (int s = -1; s < static_cast<int>(GetSourceCount(d)); ++s) {
            MixerLineRecord* r = Record(d, s);
            for (DWORD c = 0; r && c < GetControlCount(d, s); ++c) {
                const int64_t v = GetControlValue(d, s, c);
                r->saved[c] = v < 0 ? 0 : static_cast<DWORD>(v);
            }
        }
    }
    m_stateSaved = true;
}

void Mixer::RestoreState() {
    for (DWORD d = 0; d < m_destinationCount; ++d) {
        for (int s = -1; s < static_cast<int>(GetSourceCount(d)); ++s) {
            MixerLineRecord* r = Record(d, s);
            for (DWORD c = 0; r && c < GetControlCount(d, s); ++c)
                if (!(r->controls[c].fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE))
                    SetControlValue(d, s, c, r->saved[c]);
        }
    }
}

// Notifications -----------------------------------------------------------------------------

MixerLineRecord* Mixer::FindLineById(DWORD id) {
    for (DWORD d = 0; d < m_destinationCount; ++d) {
        for (int s = -1; s < static_cast<int>(GetSourceCount(d)); ++s) {
            MixerLineRecord* r = Record(d, s);
            if (r && r->line.dwLineID == id) return r;
        }
    }
    return nullptr;
}

void Mixer::HandleMixerMessage(UINT msg, HMIXER mixer, DWORD id) {
    if (!m_open || mixer != m_handle) return;
    if (msg == MM_MIXM_LINE_CHANGE) {
        // Only the line's own fields are read again; its controls stay as they were.
        MixerLineRecord* r = FindLineById(id);
        if (r) {
            MIXERLINEA line = r->line;
            line.cbStruct = sizeof line;
            if (QueryLine(&line, MIXER_GETLINEINFOF_LINEID) && line.cControls == r->line.cControls &&
                line.cConnections == r->line.cConnections)
                r->line = line;
        }
        OnLineChange.Invoke(this, mixer, id);
    } else if (msg == MM_MIXM_CONTROL_CHANGE) {
        OnControlChange.Invoke(this, mixer, id);
    }
}

// System primitives -------------------------------------------------------------------------

UINT Mixer::QueryDeviceCount() { return mixerGetNumDevs(); }

bool Mixer::QueryCaps(MIXERCAPSA* caps) {
    if (m_open) return mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(m_handle), caps, sizeof *caps) == MMSYSERR_NOERROR;
    return mixerGetDevCapsA(0, caps, sizeof *caps) == MMSYSERR_NOERROR;
}

bool Mixer::QueryOpen(UINT id, DWORD flags, HWND window) {
    HMIXER handle = nullptr;
    if (mixerOpen(&handle, id, reinterpret_cast<DWORD_PTR>(window), 0, flags) != MMSYSERR_NOERROR) return false;
    m_handle = handle;
    return true;
}

void Mixer::QueryClose() {
    if (m_handle) mixerClose(m_handle);
}

bool Mixer::QueryLine(MIXERLINEA* line, DWORD flags) {
    return mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(m_handle), line, flags | MIXER_OBJECTF_HMIXER) ==
           MMSYSERR_NOERROR;
}

bool Mixer::QueryControls(const MIXERLINEA& line, MIXERCONTROLA* controls) {
    MIXERLINECONTROLSA lc = {};
    lc.cbStruct = sizeof lc;
    lc.dwLineID = line.dwLineID;
    lc.cControls = line.cControls;
    lc.cbmxctrl = sizeof(MIXERCONTROLA);
    lc.pamxctrl = controls;
    return mixerGetLineControlsA(reinterpret_cast<HMIXEROBJ>(m_handle), &lc,
                                 MIXER_GETLINECONTROLSF_ALL | MIXER_OBJECTF_HMIXER) == MMSYSERR_NOERROR;
}

namespace {

// One channel of the control's details: items 0 for a uniform value, else one entry per item.
bool ControlDetails(HMIXER mixer, const MIXERCONTROLA& control, DWORD items, DWORD entrySize, void* entries,
                    DWORD flags, bool set) {
    MIXERCONTROLDETAILS details = {};
    details.cbStruct = sizeof details;
    details.dwControlID = control.dwControlID;
    details.cChannels = 1;
    details.cMultipleItems = items;
    details.cbDetails = entrySize;
    details.paDetails = entries;
    HMIXEROBJ object = reinterpret_cast<HMIXEROBJ>(mixer);
    flags |= MIXER_OBJECTF_HMIXER;
    const MMRESULT result =
        set ? mixerSetControlDetails(object, &details, flags) : mixerGetControlDetailsA(object, &details, flags);
    return result == MMSYSERR_NOERROR;
}

}  // namespace

bool Mixer::QueryValue(const MIXERCONTROLA& control, DWORD* value) {
    return ControlDetails(m_handle, control, 0, sizeof(DWORD), value, MIXER_GETCONTROLDETAILSF_VALUE, false);
}

bool Mixer::WriteValues(const MIXERCONTROLA& control, const DWORD* values, DWORD count) {
    return ControlDetails(m_handle, control, count > 1 ? count : 0, sizeof(DWORD), const_cast<DWORD*>(values),
                          MIXER_SETCONTROLDETAILSF_VALUE, true);
}

bool Mixer::QueryListTexts(const MIXERCONTROLA& control, MIXERCONTROLDETAILS_LISTTEXTA* texts) {
    return ControlDetails(m_handle, control, control.cMultipleItems, sizeof(MIXERCONTROLDETAILS_LISTTEXTA), texts,
                          MIXER_GETCONTROLDETAILSF_LISTTEXT, false);
}
