#include "tests/plugin_e2e/plugin_run.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/support/p25_test_call.h"
#include "tests/support/wav_io.h"

namespace e2e {

std::string PluginPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of("\\/") + 1) + "Apco_K927_VKT_Plugin.vkt";
}

std::string TempWav(const std::string& name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name;
}

std::string WriteTestCall(const std::string& name, int algid, int* voiceFrames) {
    p25test::TestCall call;
    call.algid = algid;
    const std::string path = TempWav(name);
    wavtest::WriteWav16(path, p25test::MakeTestCallIf(call, voiceFrames), 48000);
    return path;
}

std::string Recording(const char* name) { return std::string(APCO_TESTDATA_DIR) + "/" + name; }

std::vector<uint8_t> FreshRecord(const char* eightCharacters) {
    RegDeleteTreeA(HKEY_CURRENT_USER,
                   (std::string("Software\\Quorvane Communications\\K927Apco\\") + eightCharacters).c_str());
    testbed::HostRecordBuilder b;
    b.SetReceiverId(eightCharacters);
    return b.Build();
}

RunResult Run(testbed::VktHost& host, const RunOptions& options) {
    RunResult r;
    bool closed = false;
    int32_t algid = -1;
    host.SetDataLimit(0);
    host.SetRecordLimit(options.keepRecords ? 100000 : 100);
    bool setUp = false;
    host.onCall = [&](testbed::HostCall& call, void* data) {
        // The set-up's last call: the stored settings are applied and the stream not yet hooked.
        if (!setUp && call.msg == PM_SETFLAGS && call.dwParam == 0x10004) {
            setUp = true;
            if (options.afterStart) options.afterStart(host);
        }
        if (options.onCall) options.onCall(call, data);
        if (closed) ++r.callsAfterClosed;
        if (!call.onGuiThread) ++r.offGuiThread;
        if (call.msg == PM_CLOSED) closed = true;
        r.lastMessage = call.msg;
        if (!options.keepRecords) return;
        const auto* bytes = static_cast<const uint8_t*>(data);
        if (call.msg == PMR_Media && bytes && call.cbData >= kMediaHeaderBytes) {
            MediaPacketHeader h;
            std::memcpy(&h, bytes, sizeof h);
            const bool named = std::strcmp(h.name, kPluginDisplayName) == 0;
            if (named && h.type == kMediaTypeParams && h.payloadBytes == 36 && call.cbData == kMediaParamsPacketBytes) {
                ApcoParams p;
                std::memcpy(&p, bytes + kMediaHeaderBytes, sizeof p);
                algid = p.algorithmId;
                r.params.push_back(p);
            } else if (named && h.type == kMediaTypeTrunkingEvents &&
                       call.cbData == kMediaHeaderBytes + h.payloadBytes) {
                r.eventPackets.emplace_back(bytes, bytes + call.cbData);
            } else {
                ++r.badMediaPackets;
            }
        } else if (call.msg == PMR_Audio && bytes && call.cbData >= sizeof(AudioBlockHeader)) {
            AudioBlockHeader h;
            std::memcpy(&h, bytes, sizeof h);
            double sum = 0;
            const uint32_t n = 2ull * h.sampleCount + 19 == call.cbData ? h.sampleCount : 0;
            for (uint32_t i = 0; i < n; ++i) {
                int16_t s;
                std::memcpy(&s, bytes + sizeof h + 2 * i, 2);
                sum += (s / 32768.0) * (s / 32768.0);
            }
            r.audio.push_back({call.cbData, h.sampleRate, h.sampleCount, n ? sum / n : -1.0, algid, r.params.size()});
        } else if (call.msg == PMR_IFSpectrum) {
            r.spectrumRates.push_back(call.dwParam);
        }
    };
    ReceiverConfig config{};
    config.structSize = sizeof config;
    config.blockBytes = options.blockBytes;
    config.loops = options.loops;
    config.realtime = options.realtime ? 1 : 0;
    config.volume = 8;
    std::memcpy(config.wavPath, options.wav.c_str(), options.wav.size() + 1);
    if (options.receiver) options.receiver(config);
    if (!options.wav.empty() && !host.ConfigureReceiver(config)) return r;
    std::string error, name;
    if (!host.Load(PluginPath(), &error)) return r;
    host.Init(&name);
    host.Start(1, options.record);
    r.finished = host.PumpUntil(
        [&] {
            ReceiverStatus status{};
            return options.wav.empty() || (host.GetReceiverStatus(&status) && status.finished);
        },
        options.timeoutMs);
    host.Pump(100);
    if (options.beforeClose) options.beforeClose(host);
    host.Close(1);
    host.Pump(100);
    r.offGuiThread = host.CallsOffGuiThread();
    host.onCall = nullptr;
    return r;
}

bool SawValue(const RunResult& r, int32_t ApcoParams::*field, int32_t value) {
    for (const ApcoParams& p : r.params)
        if (p.transmissionType != 0 && p.*field == value) return true;
    return false;
}

void HookImport(const char* dll, const char* name, void* replacement) {
    auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleA("Apco_K927_VKT_Plugin.vkt"));
    if (!base) return;
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    const auto target = reinterpret_cast<uintptr_t>(GetProcAddress(GetModuleHandleA(dll), name));
    for (DWORD old; import->Name; ++import)
        for (auto* t = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk); t->u1.Function; ++t)
            if (t->u1.Function == target && VirtualProtect(&t->u1.Function, 4, PAGE_READWRITE, &old))
                t->u1.Function = reinterpret_cast<uintptr_t>(replacement);
}

std::string RunHostInFolder(const std::string& receiverFolder, const std::string& folderName, unsigned long* exitCode) {
    *exitCode = 99;
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string bin = exe;
    bin.resize(bin.find_last_of("\\/") + 1);
    const std::string folder = TempWav(folderName + "\\");
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"vkt_host.exe", "Apco_K927_VKT_Plugin.vkt", "k927apcospect.dll"})
        if (!CopyFileA((bin + name).c_str(), (folder + name).c_str(), FALSE)) return "cannot copy " + bin + name;
    DeleteFileA((folder + "QVK927API.dll").c_str());
    if (!receiverFolder.empty()) {
        const std::string receiver = bin + receiverFolder + "\\QVK927API.dll";
        if (!CopyFileA(receiver.c_str(), (folder + "QVK927API.dll").c_str(), FALSE)) return "cannot copy " + receiver;
    }
    const std::string out = folder + "out.txt";
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE file = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "cannot create " + out;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = file;
    PROCESS_INFORMATION pi{};
    std::string command = "\"" + folder + "vkt_host.exe\" --seconds 3 \"" + folder + "Apco_K927_VKT_Plugin.vkt\"";
    const bool started =
        CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &si, &pi);
    if (started) {
        DWORD code = 99;
        if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
        *exitCode = code;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(file);
    if (!started) return "cannot start " + command;
    std::ifstream in(out);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace e2e
