// Fakes of the system's audio devices for the Windows tests of the setup window's helpers: a
// mixer device held in tables behind Mixer's system primitives, and a Core Audio device
// enumerator that records registrations. Header only.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "plugin/mixer.h"

namespace audio_fakes {

using Writes = std::vector<std::pair<DWORD, DWORD>>;  // (control id, value) in order

struct FakeLine {
    std::string name;
    DWORD targetType;
    std::vector<MIXERCONTROLA> controls;
    std::vector<FakeLine> sources;
};

inline MIXERCONTROLA MakeControl(DWORD id, DWORD type, DWORD maximum = 1, DWORD items = 0) {
    MIXERCONTROLA c = {};
    c.dwControlID = id, c.dwControlType = type, c.cMultipleItems = items, c.Bounds.dwMaximum = maximum;
    c.fdwControl = items ? MIXERCONTROL_CONTROLF_MULTIPLE : 0;
    return c;
}

// Line ids: destination d is d << 8, its source s is (d << 8) + s + 1.
class FakeMixer : public Mixer {
public:
    std::vector<FakeLine> destinations;
    std::map<DWORD, DWORD> values;
    std::map<DWORD, std::vector<std::string>> listTexts;
    Writes writes;
    Writes* mirror = nullptr;  // the same writes, outliving the mixer
    int opens = 0;

protected:
    UINT QueryDeviceCount() override { return 1; }
    bool QueryCaps(MIXERCAPSA* caps) override {
        std::memset(caps, 0, sizeof *caps);
        caps->cDestinations = static_cast<DWORD>(destinations.size());
        std::strcpy(caps->szPname, "Fake Mixer");
        return true;
    }
    bool QueryOpen(UINT, DWORD, HWND) override {
        m_handle = reinterpret_cast<HMIXER>(static_cast<UINT_PTR>(0x1000 + ++opens));
        return true;
    }
    void QueryClose() override {}
    const FakeLine& LineOf(DWORD id) const {
        const FakeLine& d = destinations[id >> 8];
        return (id & 0xFF) ? d.sources[(id & 0xFF) - 1] : d;
    }
    bool QueryLine(MIXERLINEA* line, DWORD flags) override {
        const bool source = (flags & 0xF) == MIXER_GETLINEINFOF_SOURCE;
        if (line->dwDestination >= destinations.size() ||
            (source && line->dwSource >= destinations[line->dwDestination].sources.size()))
            return false;
        line->dwLineID = (line->dwDestination << 8) + (source ? line->dwSource + 1 : 0);
        const FakeLine& f = LineOf(line->dwLineID);
        line->cControls = static_cast<DWORD>(f.controls.size());
        line->cConnections = static_cast<DWORD>(f.sources.size());
        line->Target.dwType = f.targetType;
        std::strncpy(line->szName, f.name.c_str(), sizeof line->szName - 1);
        return true;
    }
    bool QueryControls(const MIXERLINEA& line, MIXERCONTROLA* controls) override {
        const FakeLine& f = LineOf(line.dwLineID);
        std::copy(f.controls.begin(), f.controls.end(), controls);
        return true;
    }
    bool QueryValue(const MIXERCONTROLA& control, DWORD* value) override {
        auto it = values.find(control.dwControlID);
        return it != values.end() && (*value = it->second, true);
    }
    bool WriteValues(const MIXERCONTROLA& control, const DWORD* v, DWORD count) override {
        for (DWORD i = 0; i < count; ++i) {
            writes.emplace_back(control.dwControlID, v[i]);
            if (mirror) mirror->emplace_back(control.dwControlID, v[i]);
        }
        values[control.dwControlID] = v[0];
        return true;
    }
    bool QueryListTexts(const MIXERCONTROLA& control, MIXERCONTROLDETAILS_LISTTEXTA* texts) override {
        const auto& names = listTexts[control.dwControlID];
        for (size_t i = 0; i < control.cMultipleItems; ++i) {
            std::memset(&texts[i], 0, sizeof texts[i]);
            if (i < names.size()) std::strncpy(texts[i].szName, names[i].c_str(), sizeof texts[i].szName - 1);
        }
        return true;
    }
};

// A device enumerator that only records (un)registrations of notification clients.
class FakeDeviceEnumerator : public IMMDeviceEnumerator {
public:
    std::vector<std::string>* log;
    bool refuse = false;
    explicit FakeDeviceEnumerator(std::vector<std::string>* l) : log(l) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow, ERole, IMMDevice**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override {
        log->push_back(refuse ? "register refused" : "register");
        return refuse ? E_FAIL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
        log->push_back("unregister");
        return S_OK;
    }
};

}  // namespace audio_fakes
