#include "testbed/host/vkt_host.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>

namespace testbed {

namespace {

constexpr uint32_t kFixedPartBytes = 400;
constexpr uint32_t kGetValue = 0x4002;
constexpr uint32_t kClose = 0x4000;
constexpr uint32_t kNoAnswer = 0x80000000u;
constexpr size_t kMaxCopiedBytes = 64u << 20;  // a copy beyond this says more about a fault
constexpr UINT kWatchMs = 50;

VktHost* g_host = nullptr;

// Access violations of the process, counted by a vectored handler that never handles them.
struct Fault {
    uintptr_t code, data;
    ULONG_PTR write;
    char module[MAX_PATH];
};
constexpr LONG kFaultsKept = 8;
volatile LONG g_accessViolations = 0;
Fault g_faults[kFaultsKept];

LONG CALLBACK CountAccessViolation(EXCEPTION_POINTERS* e) {
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    if (r->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
    const LONG n = InterlockedIncrement(&g_accessViolations);
    if (n <= kFaultsKept) {
        Fault& f = g_faults[n - 1];
        f.code = reinterpret_cast<uintptr_t>(r->ExceptionAddress);
        f.write = r->NumberParameters >= 2 ? r->ExceptionInformation[0] : 0;
        f.data = r->NumberParameters >= 2 ? r->ExceptionInformation[1] : 0;
        // Named now: the module may be unloaded by the time the faults are reported.
        HMODULE module = nullptr;
        f.module[0] = 0;
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               static_cast<LPCSTR>(r->ExceptionAddress), &module))
            GetModuleFileNameA(module, f.module, MAX_PATH);
        if (module) f.code -= reinterpret_cast<uintptr_t>(module);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

uint32_t VKT_STDCALL HostPluginProc(HWND__* window, uint32_t msg, uint32_t dwParam, uint32_t cbData, void* lpData) {
    try {
        return g_host ? g_host->OnPluginCall(window, msg, dwParam, cbData, lpData) : kNoAnswer;
    } catch (...) {
        return kNoAnswer;
    }
}

void PutWord(std::vector<uint8_t>& bytes, uint32_t offset, uint32_t value) { std::memcpy(&bytes[offset], &value, 4); }

// FARPROC has no arguments; every entry is cast to its real type through an object pointer.
template <typename Fn>
Fn ProcAs(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

struct BoxTexts {
    std::string all;
};

BOOL CALLBACK CollectText(HWND child, LPARAM word) {
    char className[64] = {}, childText[1024] = {};
    GetClassNameA(child, className, sizeof className);
    GetWindowTextA(child, childText, sizeof childText);
    auto* t = reinterpret_cast<BoxTexts*>(word);
    if (childText[0] && lstrcmpiA(className, "Button") != 0) {
        if (!t->all.empty()) t->all += '\n';
        t->all += childText;
    }
    return TRUE;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

HostRecordBuilder::HostRecordBuilder() : m_fixed(kFixedPartBytes, 0) {}

void HostRecordBuilder::SetWord(uint32_t offset, uint32_t value) {
    if (offset + 4 <= kFixedPartBytes) PutWord(m_fixed, offset, value);
}

void HostRecordBuilder::SetReceiverId(const char* eightCharacters) {
    std::memcpy(&m_fixed[76], eightCharacters, strnlen(eightCharacters, 8));
}

void HostRecordBuilder::AddBlock(uint32_t pointerOffset, const std::vector<uint8_t>& bytes) {
    m_blocks.emplace_back(pointerOffset, bytes);
}

std::vector<uint8_t> HostRecordBuilder::Build() const {
    size_t total = kFixedPartBytes;
    for (const auto& block : m_blocks) total += block.second.size();
    std::vector<uint8_t> out(total, 0);
    std::memcpy(out.data(), m_fixed.data(), kFixedPartBytes);
    size_t at = kFixedPartBytes;
    for (const auto& block : m_blocks) {
        if (!block.second.empty()) std::memcpy(&out[at], block.second.data(), block.second.size());
        PutWord(out, block.first, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(out.data() + at)));
        at += block.second.size();
    }
    PutWord(out, 0, static_cast<uint32_t>(total));
    PutWord(out, 4, kFixedPartBytes);
    return out;
}

VktHost::VktHost() : m_guiThread(GetCurrentThreadId()) {
    static const bool counting = AddVectoredExceptionHandler(1, &CountAccessViolation) != nullptr;
    (void)counting;
    g_host = this;
    m_comInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    m_watchWindow =
        CreateWindowExA(0, "STATIC", "vkt host watch", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (m_watchWindow) SetTimer(m_watchWindow, 1, kWatchMs, &VktHost::OnWatchTimer);
    DismissCaption("K927APCO - Error");
}

VktHost::~VktHost() {
    Unload();
    if (m_watchWindow) DestroyWindow(m_watchWindow);
    for (auto& library : m_libraries)
        if (library.second) FreeLibrary(library.second);
    if (m_comInitialised) CoUninitialize();
    if (g_host == this) g_host = nullptr;
}

bool VktHost::Load(const std::string& path, std::string* error) {
    Unload();
    SetEnvironmentVariableA("VKT_PLUGIN_PATH", (m_pluginPath.empty() ? FolderOf(path) : m_pluginPath).c_str());
    m_plugin = LoadLibraryA(path.c_str());
    if (!m_plugin) {
        *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    static const char* const kNames[4] = {"vktPluginInit", "vktPluginDone", "vktPluginNotify", "vktPluginStart"};
    FARPROC entries[4];
    for (int i = 0; i < 4; ++i) {
        entries[i] = GetProcAddress(m_plugin, kNames[i]);
        FARPROC byOrdinal = GetProcAddress(m_plugin, MAKEINTRESOURCEA(i + 1));
        if (!entries[i] || entries[i] != byOrdinal) {
            *error =
                std::string(kNames[i]) + (entries[i] ? " is not ordinal " + std::to_string(i + 1) : " is not exported");
            Unload();
            return false;
        }
    }
    m_init = ProcAs<VktPluginInitFn>(entries[0]);
    m_done = ProcAs<VktPluginDoneFn>(entries[1]);
    m_notify = ProcAs<VktPluginNotifyFn>(entries[2]);
    m_start = ProcAs<VktPluginStartFn>(entries[3]);
    return true;
}

void VktHost::Unload() {
    if (m_done) m_done();  // as a host does before it lets the library go
    if (m_plugin) FreeLibrary(m_plugin);
    m_plugin = nullptr;
    m_init = nullptr;
    m_done = nullptr;
    m_notify = nullptr;
    m_start = nullptr;
}

uint32_t VktHost::Init(std::string* name, uint32_t nameLength) {
    if (!m_init) return 0;
    std::vector<char> buffer(nameLength + 1, 0);
    const uint32_t flags = m_init(0, "vkt stand-in host", buffer.data(), nameLength);
    name->assign(buffer.data(), strnlen(buffer.data(), nameLength));
    return flags;
}

uint32_t VktHost::Start(uint32_t handle, void* record) {
    return m_start ? m_start(handle, record, &HostPluginProc, 0) : 0;
}

void VktHost::Notify(uint32_t handle, uint32_t code, uint32_t dwParam, uint32_t cbData, void* lpData) {
    if (m_notify) m_notify(handle, code, dwParam, cbData, lpData);
}

void VktHost::Close(uint32_t handle) { Notify(handle, kClose); }

void VktHost::Done() {
    if (m_done) m_done();
}

void VktHost::Pump(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

bool VktHost::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done()) return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        const DWORD left = timeoutMs - elapsed;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 10 ? left : 10, QS_ALLINPUT);
    }
}

uint32_t VktHost::OnPluginCall(HWND window, uint32_t msg, uint32_t dwParam, uint32_t cbData, void* lpData) {
    HostCall call{};
    call.sequence = m_sequence++;
    call.window = window;
    call.msg = msg;
    call.dwParam = dwParam;
    call.cbData = cbData;
    call.hadData = lpData != nullptr;
    call.threadId = GetCurrentThreadId();
    call.onGuiThread = call.threadId == m_guiThread;
    if (msg == kGetValue) {
        auto it = m_values.find(dwParam);
        call.answer = it == m_values.end() ? kNoAnswer : it->second;
    } else {
        auto it = m_answers.find(msg);
        call.answer = it == m_answers.end() ? 0 : it->second;
    }
    if (lpData && cbData && cbData <= kMaxCopiedBytes && call.sequence < m_dataLimit)
        call.data.assign(static_cast<const uint8_t*>(lpData), static_cast<const uint8_t*>(lpData) + cbData);
    if (!call.onGuiThread) ++m_offGuiThread;
    ++m_counts[msg];
    if (onCall) onCall(call, lpData);
    const uint32_t answer = call.answer;
    if (call.sequence < m_recordLimit) m_calls.push_back(std::move(call));
    return answer;
}

long VktHost::AccessViolations() { return InterlockedCompareExchange(&g_accessViolations, 0, 0); }

std::string VktHost::AccessViolationReport() {
    std::string out;
    const LONG n = AccessViolations();
    for (LONG i = 0; i < n && i < kFaultsKept; ++i) {
        const Fault& f = g_faults[i];
        char line[MAX_PATH + 96];
        std::snprintf(line, sizeof line, "access violation at %s+0x%lx %s 0x%lx\n",
                      f.module[0] ? f.module : "(no module)", static_cast<unsigned long>(f.code),
                      f.write ? "writing" : "reading", static_cast<unsigned long>(f.data));
        out += line;
    }
    if (n > kFaultsKept) out += "... " + std::to_string(n - kFaultsKept) + " more\n";
    return out;
}

size_t VktHost::Count(uint32_t msg) const {
    auto it = m_counts.find(msg);
    return it == m_counts.end() ? 0 : it->second;
}

void VktHost::ClearCalls() {
    m_calls.clear();
    m_counts.clear();
    m_offGuiThread = 0;
    m_sequence = 0;
}

void CALLBACK VktHost::OnWatchTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (!g_host) return;
    for (auto it = g_host->m_dismissing.begin(); it != g_host->m_dismissing.end();)
        it = IsWindow(*it) ? std::next(it) : g_host->m_dismissing.erase(it);
    EnumThreadWindows(g_host->m_guiThread, &VktHost::CheckWindow, reinterpret_cast<LPARAM>(g_host));
}

BOOL CALLBACK VktHost::CheckWindow(HWND window, LPARAM hostWord) {
    auto* host = reinterpret_cast<VktHost*>(hostWord);
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (IsWindowVisible(window) && host->m_captions.count(caption) && !host->m_dismissing.count(window))
        host->Dismiss(window);
    return TRUE;
}

void VktHost::Dismiss(HWND box) {
    DismissedBox record;
    char text[1024] = {};
    GetWindowTextA(box, text, sizeof text);
    record.caption = text;
    BoxTexts texts;
    EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&texts));
    record.text = texts.all;
    m_dismissed.push_back(record);
    m_dismissing.insert(box);
    if (HWND ok = GetDlgItem(box, IDOK))
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    else if (HWND cancel = GetDlgItem(box, IDCANCEL))
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    else
        PostMessageA(box, WM_CLOSE, 0, 0);
}

HMODULE VktHost::Library(const char* name) {
    auto it = m_libraries.find(name);
    if (it != m_libraries.end()) return it->second;
    HMODULE module = LoadLibraryA(name);
    if (module) m_libraries[name] = module;
    return module;
}

template <typename Fn>
static Fn Entry(HMODULE module, const char* name) {
    return module ? ProcAs<Fn>(GetProcAddress(module, name)) : nullptr;
}

bool VktHost::ConfigureReceiver(const ReceiverConfig& config) {
    auto fn = Entry<TestReceiverConfigureFn>(Library("QVK927API.dll"), "TestReceiverConfigure");
    return fn && fn(&config);
}

bool VktHost::GetReceiverStatus(ReceiverStatus* status) {
    auto fn = Entry<TestReceiverGetStatusFn>(Library("QVK927API.dll"), "TestReceiverGetStatus");
    status->structSize = sizeof *status;
    return fn && fn(status);
}

void VktHost::TuneReceiver(uint32_t hz) {
    if (auto fn = Entry<TestReceiverTuneFn>(Library("QVK927API.dll"), "TestReceiverTune")) fn(hz);
}

static std::string ReadLog(TestReceiverGetLogFn fn) {
    if (!fn) return std::string();
    std::vector<char> buffer(fn(nullptr, 0) + 1);
    fn(buffer.data(), static_cast<uint32_t>(buffer.size()));
    return std::string(buffer.data());
}

std::string VktHost::ReceiverLog() {
    return ReadLog(Entry<TestReceiverGetLogFn>(Library("QVK927API.dll"), "TestReceiverGetLog"));
}

bool VktHost::GetAnalyzerStats(AnalyzerStats* stats) {
    auto fn = Entry<TestAnalyzerGetStatsFn>(Library("k927apcospect.dll"), "TestAnalyzerGetStats");
    stats->structSize = sizeof *stats;
    return fn && fn(stats);
}

std::string VktHost::AnalyzerLog() {
    return ReadLog(Entry<TestAnalyzerGetLogFn>(Library("k927apcospect.dll"), "TestAnalyzerGetLog"));
}

bool VktHost::FireAnalyzerCallback(uint32_t code, int32_t value) {
    auto fn = Entry<TestAnalyzerFireCallbackFn>(Library("k927apcospect.dll"), "TestAnalyzerFireCallback");
    return fn && fn(code, value);
}

}  // namespace testbed
