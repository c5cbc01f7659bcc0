// The main window made on the test's thread, every Event of it recorded as one line of text,
// every host call recorded with its data, and its controls found by caption and place.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/window_probe.h"
#include "toolkit/button.h"
#include "toolkit/int_edit.h"
#include "toolkit/listbox.h"
#include "ui/k927_apco_plugin_window.h"
#include "ui/play_rec_controls.h"
#include "ui/play_rec_panel.h"
#include "ui/spectrum_analyzer_panel.h"

struct WindowEvents {
    std::vector<std::string> lines;
    void Add(const std::string& s) { lines.push_back(s); }
    void Type(Object*, uint32_t word) { Add("type " + std::to_string(word)); }
    void List(Object*, uint32_t type, int32_t value) {
        Add("list " + std::to_string(type) + " " + std::to_string(value));
    }
    void Mode(Object*, uint32_t mode) { Add("mode " + std::to_string(mode)); }
    void Filter(Object*, int on) { Add("filter " + std::to_string(on)); }
    void Invert(Object*) { Add("invert"); }
    void Params(Object*) { Add("params"); }
    void Logging(Object*) { Add("logging"); }
    void Rcv(Object*) { Add("rcv"); }
    void LogTimer(Object*) { Add("logtimer"); }
    void Scan(Object*) { Add("scan"); }
    int Count(const std::string& s) const {
        int n = 0;
        for (const std::string& l : lines) n += l == s;
        return n;
    }
};

struct MainWindow {
    CK927ApcoPluginWindow* w;
    window_probe::HostCallLog host;
    WindowEvents events;

    MainWindow() {
        w = new CK927ApcoPluginWindow(0x86000000 | WS_VISIBLE, 0x10000, 20, 20, CK927ApcoPluginWindow::kWidth,
                                      CK927ApcoPluginWindow::kHeight, nullptr);
        w->OnCallPluginProc.Bind(&host, &window_probe::HostCallLog::OnCall);
        w->OnSquelchTypeChange.Bind(&events, &WindowEvents::Type);
        w->OnSquelchListChange.Bind(&events, &WindowEvents::List);
        w->OnDemodModeChange.Bind(&events, &WindowEvents::Mode);
        w->OnAFEnable.Bind(&events, &WindowEvents::Filter);
        w->OnInvertSquelchChange.Bind(&events, &WindowEvents::Invert);
        w->OnApcoParamsChange.Bind(&events, &WindowEvents::Params);
        w->OnLoggingEnable.Bind(&events, &WindowEvents::Logging);
        w->OnRcvCheckTimer.Bind(&events, &WindowEvents::Rcv);
        w->OnLoggingTimer.Bind(&events, &WindowEvents::LogTimer);
        w->OnScanningDelayTimer.Bind(&events, &WindowEvents::Scan);
        window_probe::Pump();
    }
    ~MainWindow() { delete w; }

    LRESULT Send(UINT msg, WPARAM wParam, LPARAM lParam) { return SendMessageA(w->GetHandle(), msg, wParam, lParam); }

    // Value fields in reading order: BER, NAC, TGID, SID, DID, ALGID, MFID.
    std::string Field(int i) {
        auto fields = window_probe::Find(
            w, [&](Component* c) { return Own(c) && c->GetType() == kTagLabel && c->Height() == 20; });
        return i < static_cast<int>(fields.size()) ? window_probe::TextOf(fields[i]) : "<none>";
    }
    // Names beside the ALGID (0) and the MFID (1) fields.
    std::string Name(int i) { return window_probe::TextOf(window_probe::FindBySize(w, kTagLabel, 125, 17).at(i)); }
    // LEDs in reading order: APCO, FM, Voice, Data, Trunking, Unknown, Emergency.
    COLORREF Led(int i) { return window_probe::CentreColour(window_probe::FindBySize(w, kTagPanel, 8, 8).at(i)); }

    // A control of the main window itself, not of the player or the spectrum panel.
    bool Own(Component* c) {
        for (Component* p = c; p; p = p->GetParent())
            if (p == static_cast<Component*>(w->GetSpectrumAnalyzer()) ||
                p == static_cast<Component*>(w->GetPlayRecPanel()))
                return false;
        return c != static_cast<Component*>(w->GetPlayRecPanel()->GetFileList());
    }
    Button* ButtonNamed(const char* text) { return window_probe::FindByText<Button>(w, kTagButton, text); }
    Component* LabelNamed(const char* text) { return window_probe::FindByText<Component>(w, kTagLabel, text); }
    // 0: the error-rate threshold, 1: the code field.
    IntEdit* Edit(int i) {
        return static_cast<IntEdit*>(
            window_probe::Find(w, [&](Component* c) { return Own(c) && c->GetType() == kTagIntEdit; }).at(i));
    }
    Listbox* Codes() {
        return static_cast<Listbox*>(
            window_probe::Find(w, [&](Component* c) { return Own(c) && c->GetType() == kTagListbox; }).at(0));
    }
    std::string Title() {
        auto t = window_probe::Find(w, [](Component* c) {
            std::string s = window_probe::TextOf(c);
            return c->GetType() == kTagLabel && !s.empty() && s.back() == ':';
        });
        return t.empty() ? "<none>" : window_probe::TextOf(t[0]);
    }
    std::string ListText() {
        std::string s;
        Listbox* l = Codes();
        for (int i = 0; i < l->Count(); ++i) s += std::string(i ? "," : "") + l->GetItemText(i).CStr();
        return s;
    }
    void Click(Component* c) { window_probe::Click(c); }
    void Click(const char* button) { Click(ButtonNamed(button)); }
};
