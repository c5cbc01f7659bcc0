// Stand-in for the receiver-control host: loads a plug-in (.vkt), starts instances, pumps
// messages on its GUI thread (the thread that made the host), answers the plug-in's calls and
// records every one of them, sends host codes on request, and dismisses modal message boxes
// it finds by caption, keeping their text.
//
// One host per process: the plug-in's callback carries no context, so it reaches the host
// through a process-wide pointer. GUI thread only, except where noted.
//
// The first host also installs a vectored exception handler that counts every access
// violation in the process, on any thread. It runs before any frame's handler, so it sees the
// faults that Wine swallows inside window procedures and system callbacks, where a test would
// otherwise pass through a crash unnoticed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "plugin/vkt_interfaces.h"

namespace testbed {

// One call the plug-in made into the host.
struct HostCall {
    uint32_t sequence;
    HWND window;
    uint32_t msg;
    uint32_t dwParam;
    uint32_t cbData;
    bool hadData;               // lpData was not null
    std::vector<uint8_t> data;  // a copy of cbData bytes (empty beyond the record limit)
    DWORD threadId;
    bool onGuiThread;
    uint32_t answer;
};

struct DismissedBox {
    std::string caption;
    std::string text;  // the box's texts, one per line
};

// A host record: a fixed part of 400 bytes and blocks behind it, each named by the offset of
// the pointer word that holds its address once the record is placed in memory.
class HostRecordBuilder {
public:
    HostRecordBuilder();
    void SetWord(uint32_t offset, uint32_t value);
    void SetReceiverId(const char* eightCharacters);
    void AddBlock(uint32_t pointerOffset, const std::vector<uint8_t>& bytes);
    // Total size in word 0, 400 in word 4, blocks in the order added, pointers made absolute
    // for the returned buffer (which must not be resized afterwards).
    std::vector<uint8_t> Build() const;

private:
    std::vector<uint8_t> m_fixed;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> m_blocks;
};

class VktHost {
public:
    VktHost();   // initialises COM on this thread, which becomes the GUI thread
    ~VktHost();  // unloads the plug-in
    VktHost(const VktHost&) = delete;
    VktHost& operator=(const VktHost&) = delete;

    // Loads the plug-in and checks its four exports by name and ordinal. VKT_PLUGIN_PATH is
    // set to the plug-in's folder first unless SetPluginPath chose another.
    bool Load(const std::string& path, std::string* error);
    void Unload();  // vktPluginDone, then the library is freed
    void SetPluginPath(const std::string& folder) { m_pluginPath = folder; }

    uint32_t Init(std::string* name, uint32_t nameLength = 128);
    // vktPluginStart with the given record (null: none); the answer (window or 0xFFFFFFFF).
    uint32_t Start(uint32_t handle, void* record);
    void Notify(uint32_t handle, uint32_t code, uint32_t dwParam = 0, uint32_t cbData = 0, void* lpData = nullptr);
    void Close(uint32_t handle);
    void Done();

    // Dispatches the thread's messages for the given time, or until done() holds.
    void Pump(DWORD milliseconds);
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

    // PM_GETVALUE answers by code (0x80000000 for codes never set); other codes answer 0
    // unless set here.
    void SetValue(uint32_t code, uint32_t value) { m_values[code] = value; }
    void SetAnswer(uint32_t msg, uint32_t answer) { m_answers[msg] = answer; }
    // Sees each call before it is recorded; may change the data in place and the answer.
    std::function<void(HostCall& call, void* lpData)> onCall;
    // Calls beyond this number keep no data copy (they are still recorded and counted).
    void SetDataLimit(size_t calls) { m_dataLimit = calls; }
    // Calls beyond this number are only counted (for long runs).
    void SetRecordLimit(size_t calls) { m_recordLimit = calls; }

    const std::vector<HostCall>& Calls() const { return m_calls; }
    size_t Count(uint32_t msg) const;
    size_t CallsOffGuiThread() const { return m_offGuiThread; }
    void ClearCalls();
    DWORD GuiThreadId() const { return m_guiThread; }

    // Boxes whose caption is in the list are dismissed when found (checked every 50 ms while
    // any message loop of the GUI thread runs, modal ones included).
    void DismissCaption(const std::string& caption) { m_captions.insert(caption); }
    void KeepCaption(const std::string& caption) { m_captions.erase(caption); }  // left for others to answer
    const std::vector<DismissedBox>& Dismissed() const { return m_dismissed; }

    // The stand-in receiver and analyzer, loaded into this process (the plug-in then binds
    // the same modules). False when the library is missing.
    bool ConfigureReceiver(const ReceiverConfig& config);
    bool GetReceiverStatus(ReceiverStatus* status);
    void TuneReceiver(uint32_t hz);  // as the host does before it tells the plug-in
    std::string ReceiverLog();
    bool GetAnalyzerStats(AnalyzerStats* stats);
    std::string AnalyzerLog();
    bool FireAnalyzerCallback(uint32_t code, int32_t value);

    // Access violations seen in this process since the first host was made (any thread), and
    // where the first few happened: code address with its module, the address touched.
    static long AccessViolations();
    static std::string AccessViolationReport();

    // Entry for the plug-in's callback.
    uint32_t OnPluginCall(HWND window, uint32_t msg, uint32_t dwParam, uint32_t cbData, void* lpData);

private:
    static void CALLBACK OnWatchTimer(HWND, UINT, UINT_PTR, DWORD);
    static BOOL CALLBACK CheckWindow(HWND window, LPARAM host);
    void Dismiss(HWND box);
    HMODULE Library(const char* name);

    DWORD m_guiThread;
    bool m_comInitialised = false;
    HMODULE m_plugin = nullptr;
    std::string m_pluginPath;
    VktPluginInitFn m_init = nullptr;
    VktPluginDoneFn m_done = nullptr;
    VktPluginNotifyFn m_notify = nullptr;
    VktPluginStartFn m_start = nullptr;
    HWND m_watchWindow = nullptr;
    std::map<uint32_t, uint32_t> m_values;
    std::map<uint32_t, uint32_t> m_answers;
    std::vector<HostCall> m_calls;
    std::map<uint32_t, size_t> m_counts;
    size_t m_offGuiThread = 0;
    uint32_t m_sequence = 0;
    size_t m_dataLimit = SIZE_MAX;
    size_t m_recordLimit = SIZE_MAX;
    std::set<std::string> m_captions;
    std::set<HWND> m_dismissing;
    std::vector<DismissedBox> m_dismissed;
    std::map<std::string, HMODULE> m_libraries;
};

}  // namespace testbed
