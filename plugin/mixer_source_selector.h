// MixerSourceSelector: on the mixer of a chosen wave-out device, one source line (an item) that
// the plug-in keeps silent while it plays, for instance the receiver's own audio coming back
// through the sound card. The items are the entries of the wave-out destination's MUX or MIXER
// control, or its source lines when it has neither. Choosing an item gives the previous one
// back its mute (or volume) and silences the new one; destroying the selector gives the last
// one back. A control change reported by the mixer silences the current item again.
// GUI thread only.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

#include "foundation/object.h"

class Mixer;

class MixerSourceSelector : public Object {
public:
    static constexpr DWORD kMuxControl = MIXERCONTROL_CONTROLTYPE_MUX;      // 0x70010001
    static constexpr DWORD kMixerControl = MIXERCONTROL_CONTROLTYPE_MIXER;  // 0x71010001

    static constexpr UINT kCountDevices = 0xFFFFFFFFu;

    // mixer: the mixer to drive (owned from now on); null makes the system's. deviceCount: the
    // wave-out devices SelectMixer accepts; by default counted from the system now.
    explicit MixerSourceSelector(Mixer* mixer = nullptr, UINT deviceCount = kCountDevices);
    ~MixerSourceSelector() override;
    MixerSourceSelector(const MixerSourceSelector&) = delete;
    MixerSourceSelector& operator=(const MixerSourceSelector&) = delete;

    UINT GetNumDevices();
    // The name of wave-out device i; null when the call fails or i is beyond the count. The
    // text lives until the next call.
    const char* GetDeviceName(UINT i);
    // False when i is beyond the device count; else opens the mixer of device i and finds its
    // wave-out destination and items (nothing when i is already chosen).
    bool SelectMixer(UINT i);
    int GetItemCount() const;
    const char* GetItemName(int i) const;  // null beyond the count
    // Restores the current item and silences item i; -1 only restores.
    void SelectItem(int i);
    int GetCurrentItem() const { return m_currentItem; }
    bool SetItemMute(int i, int value);
    DWORD GetDestinationCount();

    void OnMixerChange(Object* sender, HMIXER mixer, DWORD controlId);

private:
    static constexpr int kMaxItems = 64;
    void Restore();
    void Silence(bool save);

    UINT m_deviceCount;
    int m_selectedDevice = -1;
    bool m_mixerOpen = false;
    int m_destination = -1;
    int m_muxControl = -1;
    int m_itemCount = 0;
    Mixer* m_mixer;
    WAVEOUTCAPSA m_caps = {};
    MIXERCONTROLDETAILS_LISTTEXTA m_itemTexts[kMaxItems] = {};
    int m_currentItem = -1;
    int m_savedMute = 0;
    int m_savedVolume = -1;
};
