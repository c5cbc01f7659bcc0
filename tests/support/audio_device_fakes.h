// Fakes of the system's audio devices for the Windows tests of the setup window's helpers: a
// mixer device held in tables behind Mixer's system primitives, and a Core Audio device
// enumerator that records registrations. Header only.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <mmsystem.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "plugin/mixer.h"

namespace audio_fakes {

// A line with controls; the control ids are unique across the device.
struct FakeLine {
    std::string name;
    DWORD targetType = 0;
    std::vector<MIXERCONTROLA> controls;
    std::vector<FakeLine> sources;
};

inline MIXERCONTROLA MakeControl(DWORD id, DWORD type, DWORD minimum = 0, DWORD maximum = 1, DWORD items = 0) {
    MIXERCONTROLA c = {};
    c.cbStruct = sizeof c;
    c.dwControlID = id;
    c.dwControlType = type;
    c.fdwControl = items ? MIXERCONTROL_CONTROLF_MULTIPLE : 0;
    c.cMultipleItems = items;
    c.Bounds.dwMinimum = minimum;
    c.Bounds.dwMaximum = maximum;
    return c;
}

// A Mixer whose device is the tables below: values by control id, list texts by control id.
class FakeMixer : public Mixer {
public:
    std::vector<FakeLine> destinations;
    std::map<DWORD, DWORD> values;
    std::map<DWORD, std::vector<std::string>> listTexts;
    std::vector<std::pair<DWORD, DWORD>> writes;   // (control id, value) in order
    std::vector<std::pair<DWORD, DWORD>>* mirror = nullptr;   // the same, outliving the mixer
    bool failOpen = false;
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
        ++opens;
        if (failOpen) return false;
        m_handle = reinterpret_cast<HMIXER>(0x1234);
        return true;
    }
    void QueryClose() override {}
    bool QueryLine(MIXERLINEA* line, DWORD flags) override {
        if (line->dwDestination >= destinations.size()) return false;
        const FakeLine* f = &destinations[line->dwDestination];
        DWORD id = line->dwDestination << 8;
        if ((flags & 0xF) == MIXER_GETLINEINFOF_SOURCE) {
            if (line->dwSource >= f->sources.size()) return false;
            id |= line->dwSource + 1;
            f = &f->sources[line->dwSource];
        }
        line->dwLineID = id;
        line->cControls = static_cast<DWORD>(f->controls.size());
        line->cConnections = static_cast<DWORD>(f->sources.size());
        line->Target.dwType = f->targetType;
        std::strncpy(line->szName, f->name.c_str(), sizeof line->szName - 1);
        return true;
    }
    bool QueryControls(const MIXERLINEA& line, MIXERCONTROLA* controls) override {
        const FakeLine& d = destinations[line.dwLineID >> 8];
        const FakeLine& f = (line.dwLineID & 0xFF) ? d.sources[(line.dwLineID & 0xFF) - 1] : d;
        for (size_t i = 0; i < f.controls.size(); ++i) controls[i] = f.controls[i];
        return true;
    }
    bool QueryValue(const MIXERCONTROLA& control, DWORD* value) override {
        auto it = values.find(control.dwControlID);
        if (it == values.end()) return false;
        *value = it->second;
        return true;
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
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
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
