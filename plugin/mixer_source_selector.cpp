#include "plugin/mixer_source_selector.h"

#include <cstring>
#include <new>

#include "plugin/mixer.h"

MixerSourceSelector::MixerSourceSelector(Mixer* mixer, UINT deviceCount)
    : m_deviceCount(deviceCount == kCountDevices ? waveOutGetNumDevs() : deviceCount),
      m_mixer(mixer ? mixer : new (std::nothrow) Mixer) {
    if (m_mixer) m_mixer->OnControlChange.Bind(this, &MixerSourceSelector::OnMixerChange);
}

MixerSourceSelector::~MixerSourceSelector() {
    SelectItem(-1);
    delete m_mixer;
}

UINT MixerSourceSelector::GetNumDevices() { return waveOutGetNumDevs(); }

const char* MixerSourceSelector::GetDeviceName(UINT i) {
    if (i >= waveOutGetNumDevs()) return nullptr;
    if (waveOutGetDevCapsA(i, &m_caps, sizeof m_caps) != MMSYSERR_NOERROR) return nullptr;
    m_caps.szPname[sizeof m_caps.szPname - 1] = 0;
    return m_caps.szPname;
}

bool MixerSourceSelector::SelectMixer(UINT i) {
    if (i >= m_deviceCount) return false;
    if (static_cast<int>(i) == m_selectedDevice || !m_mixer) return true;
    // The item silenced on the previous mixer gets its sound back before that mixer closes.
    SelectItem(-1);
    m_selectedDevice = static_cast<int>(i);
    m_destination = -1;
    m_muxControl = -1;
    m_itemCount = 0;
    m_mixerOpen = m_mixer->OpenWaveOut(i);
    if (!m_mixerOpen) return true;
    for (DWORD d = 0; d < m_mixer->GetDestinationCount(); ++d) {
        const MIXERLINEA* line = m_mixer->GetLine(d);
        if (line && line->Target.dwType == MIXERLINE_TARGETTYPE_WAVEOUT) {
            m_destination = static_cast<int>(d);
            break;
        }
    }
    if (m_destination < 0) return true;
    const DWORD d = static_cast<DWORD>(m_destination);
    for (DWORD c = 0; c < m_mixer->GetControlCount(d, -1); ++c) {
        const DWORD type = m_mixer->GetControl(d, -1, c)->dwControlType;
        if (type == kMuxControl || type == kMixerControl) {
            m_muxControl = static_cast<int>(c);
            break;
        }
    }
    if (m_muxControl >= 0) {
        DWORD n = m_mixer->GetControl(d, -1, static_cast<DWORD>(m_muxControl))->cMultipleItems;
        if (n > kMaxItems) n = kMaxItems;
        m_itemCount =
            static_cast<int>(m_mixer->GetControlListTexts(d, -1, static_cast<DWORD>(m_muxControl), m_itemTexts, n));
    } else {
        m_itemCount = static_cast<int>(m_mixer->GetSourceCount(d));
    }
    return true;
}

int MixerSourceSelector::GetItemCount() const { return m_mixerOpen && m_destination >= 0 ? m_itemCount : 0; }

const char* MixerSourceSelector::GetItemName(int i) const {
    if (i < 0 || i >= GetItemCount()) return nullptr;
    if (m_muxControl >= 0) return m_itemTexts[i].szName;
    const MIXERLINEA* line = m_mixer->GetLine(static_cast<DWORD>(m_destination), i);
    return line ? line->szName : nullptr;
}

void MixerSourceSelector::Restore() {
    const DWORD d = static_cast<DWORD>(m_destination);
    if (m_mixer->HasMute(d, m_currentItem))
        m_mixer->SetMute(d, m_currentItem, m_savedMute);
    else if (m_savedVolume >= 0)
        m_mixer->SetVolume(d, m_currentItem, m_savedVolume);
}

void MixerSourceSelector::Silence(bool save) {
    const DWORD d = static_cast<DWORD>(m_destination);
    if (m_mixer->HasMute(d, m_currentItem)) {
        if (save) m_savedMute = m_mixer->GetMute(d, m_currentItem) > 0 ? 1 : 0;
        m_mixer->SetMute(d, m_currentItem, 1);
    } else {
        if (save) m_savedVolume = m_mixer->GetVolume(d, m_currentItem);
        m_mixer->SetVolume(d, m_currentItem, 0);
    }
}

void MixerSourceSelector::SelectItem(int i) {
    if (i == m_currentItem || !m_mixerOpen || m_destination < 0) return;
    if (m_currentItem >= 0) Restore();
    m_currentItem = i < GetItemCount() ? i : -1;
    m_savedMute = 0;
    m_savedVolume = -1;
    if (m_currentItem >= 0) Silence(true);
}

void MixerSourceSelector::OnMixerChange(Object*, HMIXER, DWORD) {
    if (m_currentItem >= 0 && m_mixerOpen && m_destination >= 0) Silence(false);
}

bool MixerSourceSelector::SetItemMute(int i, int value) {
    if (!m_mixerOpen || m_destination < 0 || i < 0 || i >= m_itemCount) return false;
    return m_mixer->SetMute(static_cast<DWORD>(m_destination), i, value);
}

DWORD MixerSourceSelector::GetDestinationCount() { return m_mixerOpen && m_mixer ? m_mixer->GetDestinationCount() : 0; }
