// apco_run.exe: the plug-in run as the host runs it, printing what it decodes.
//   apco_run.exe [--realtime] [--block BYTES] [--out FOLDER] FILE.if.wav
// Loads Apco_K927_VKT_Plugin.vkt beside it, starts one instance, lets the stand-in receiver
// stream the recording (as fast as it can, or paced with --realtime), and prints each call's
// start and end with its fields, the trunking events and a summary. The audio the host
// received goes to FOLDER\decoded-audio.wav, a picture of the plug-in's window to
// FOLDER\plugin-window.png.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "plugin/host_protocol.h"
#include "testbed/common/screen_capture.h"
#include "testbed/host/vkt_host.h"

namespace {

const char* AlgorithmName(int32_t algid) {
    switch (algid) {
    case 0x80: return "unencrypted";
    case 0x81: return "DES-OFB";
    case 0x83: return "Triple DES";
    case 0x84: return "AES-256";
    case 0x85: return "AES-128";
    case 0xAA: return "ADP (RC4)";
    case -1: return "not decoded";
    default: return "unknown algorithm";
    }
}

const char* ManufacturerName(int32_t mfid) {
    switch (mfid) {
    case 0x00:
    case 0x01: return "standard";
    case 0x10: return "Relm / BK Radio";
    case 0x68: return "Kenwood";
    case 0x90: return "Motorola";
    case 0xA4: return "Harris";
    case 0xD8: return "Tait";
    case -1: return "not decoded";
    default: return "other";
    }
}

std::string Id(int32_t v, bool hex = false) {
    if (v == -1) return "-";
    char b[32];
    std::snprintf(b, sizeof b, hex ? "0x%X" : "%d", v);
    return b;
}

// The fields of a call as one line; "-" and "not decoded" where the decoder has none.
std::string Fields(const ApcoParams& p) {
    char b[300];
    std::snprintf(b, sizeof b, "NAC %s  TGID %s  SID %s  DID %s  ALGID %s (%s)  MFID %s (%s)%s",
                  Id(p.nac, true).c_str(), Id(p.tgid).c_str(), Id(p.sourceId).c_str(), Id(p.destinationId).c_str(),
                  Id(p.algorithmId, true).c_str(), AlgorithmName(p.algorithmId), Id(p.manufacturerId, true).c_str(),
                  ManufacturerName(p.manufacturerId), p.emergency ? "  EMERGENCY" : "");
    return b;
}

bool SameFields(const ApcoParams& a, const ApcoParams& b) {
    return a.nac == b.nac && a.tgid == b.tgid && a.sourceId == b.sourceId && a.destinationId == b.destinationId &&
           a.algorithmId == b.algorithmId && a.manufacturerId == b.manufacturerId && a.emergency == b.emergency;
}

// A frequency as the decoder packs it: Hz below 2^31, else 10 Hz units with the top bit.
double Hz(uint32_t packed) { return packed & 0x80000000u ? (packed & 0x7FFFFFFFu) * 10.0 : packed; }

uint32_t U32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

struct Runner {
    bool inCall = false;
    ApcoParams call{};
    double callStart = 0;
    int calls = 0;
    uint64_t voiceSamples = 0, packets = 0, events = 0;
    std::vector<int16_t> audio;
    std::set<std::string> printed;  // event lines already shown in this call (repeats are common)

    void Event(double at, const std::string& line) {
        if (printed.insert(line).second) std::printf("%7.2f s  %s\n", at, line.c_str());
    }

    void Params(const ApcoParams& p, double at) {
        ++packets;
        const bool voice = p.transmissionType == 4;
        if (voice && !inCall) {
            inCall = true;
            ++calls;
            printed.clear();
            callStart = at;
            call = p;
            std::printf("%7.2f s  call start  %s  BER %.1f %%\n", at, Fields(p).c_str(), p.bitErrorRatePercent);
        } else if (voice && !SameFields(p, call)) {
            // Every field as it now stands: a call starts with few decoded and gains the rest.
            std::printf("%7.2f s  call update %s\n", at, Fields(p).c_str());
            call = p;
        } else if (!voice && inCall) {
            inCall = false;
            std::printf("%7.2f s  call end    NAC %s  TGID %s  SID %s  (%.1f s)%s\n", at, Id(call.nac, true).c_str(),
                        Id(call.tgid).c_str(), Id(call.sourceId).c_str(), at - callStart,
                        p.transmissionType == 5 ? "  terminator" : "");
        }
        if (voice) call.bitErrorRatePercent = p.bitErrorRatePercent;
    }

    void Events(const uint8_t* payload, uint32_t bytes, double at) {
        const uint32_t n = bytes >= 4 ? U32(payload) : 0;
        for (uint32_t i = 0; i < n && 4 + 21 * (i + 1) <= bytes; ++i) {
            const uint8_t* e = payload + 4 + 21 * i;
            ++events;
            const int type = e[0];
            char line[200];
            if (type >= 1 && type <= 4) {
                std::snprintf(line, sizeof line, "%s grant  channel %u-%u  %.4f MHz  NAC %s  %s %u  source %u",
                              type <= 2 ? "group" : "unit", e[1], e[2] | e[3] << 8, Hz(U32(e + 8)) / 1e6,
                              Id(static_cast<int32_t>(U32(e + 4)), true).c_str(), type <= 2 ? "TGID" : "target",
                              U32(e + 12), U32(e + 16));
            } else if (type == 0x80) {
                std::snprintf(line, sizeof line, "identifier update  identifier %u  spacing %u Hz  base %.4f MHz", e[1],
                              U32(e + 8), Hz(U32(e + 12)) / 1e6);
            } else if (type == 0x81) {
                std::snprintf(line, sizeof line, "end of call  NAC %s",
                              Id(static_cast<int32_t>(U32(e + 1)), true).c_str());
            } else {
                std::snprintf(line, sizeof line, "event 0x%02X", type);
            }
            Event(at, line);
        }
    }
};

bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, uint32_t rate) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    const uint32_t header[] = {0x46464952, 36 + data, 0x45564157, 0x20746D66, 16,  0x00010001,
                               rate,       rate * 2,  0x00100002, 0x61746164, data};
    std::fwrite(header, sizeof header, 1, f);
    std::fwrite(samples.data(), 2, samples.size(), f);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string file, out = ".";
    ReceiverConfig config{};
    config.structSize = sizeof config;
    config.volume = 8;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--realtime")
            config.realtime = 1;
        else if (a == "--block" && i + 1 < argc)
            config.blockBytes = static_cast<uint32_t>(std::atoi(argv[++i]));
        else if (a == "--out" && i + 1 < argc)
            out = argv[++i];
        else if (file.empty() && !a.empty() && a[0] != '-')
            file = a;
        else
            file.clear(), i = argc;
    }
    if (file.empty() || file.size() >= sizeof config.wavPath) {
        std::fprintf(stderr, "usage: apco_run [--realtime] [--block BYTES] [--out FOLDER] FILE.if.wav\n");
        return 2;
    }
    std::memcpy(config.wavPath, file.c_str(), file.size() + 1);
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string plugin = exe;
    plugin = plugin.substr(0, plugin.find_last_of("\\/") + 1) + "Apco_K927_VKT_Plugin.vkt";

    testbed::VktHost host;
    std::string error;
    if (!host.Load(plugin, &error)) {
        std::fprintf(stderr, "apco_run: %s\n", error.c_str());
        return 1;
    }
    if (!host.ConfigureReceiver(config)) {
        std::fprintf(stderr, "apco_run: the receiver cannot stream %s\n", file.c_str());
        return 1;
    }
    ReceiverStatus status{};
    host.GetReceiverStatus(&status);
    const double rate = status.sampleRateHz ? status.sampleRateHz : 48000.0;
    Runner run;
    host.SetDataLimit(0);
    host.SetRecordLimit(1000);
    host.onCall = [&](testbed::HostCall& call, void* data) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        ReceiverStatus now{};
        host.GetReceiverStatus(&now);
        const double at = now.bytesDelivered / 2.0 / rate;
        if (call.msg == PMR_Media && bytes && call.cbData >= kMediaHeaderBytes) {
            const uint32_t type = U32(bytes + kMediaNameBytes), size = U32(bytes + kMediaNameBytes + 4);
            if (type == kMediaTypeParams && size == sizeof(ApcoParams) && call.cbData == kMediaParamsPacketBytes) {
                ApcoParams p;
                std::memcpy(&p, bytes + kMediaHeaderBytes, sizeof p);
                run.Params(p, at);
            } else if (type == kMediaTypeTrunkingEvents && call.cbData == kMediaHeaderBytes + size) {
                run.Events(bytes + kMediaHeaderBytes, size, at);
            }
        } else if (call.msg == PMR_Audio && bytes && call.cbData >= sizeof(AudioBlockHeader)) {
            AudioBlockHeader h;
            std::memcpy(&h, bytes, sizeof h);
            if (2ull * h.sampleCount + 19 != call.cbData) return;
            const int16_t* s = reinterpret_cast<const int16_t*>(bytes + sizeof h);
            run.audio.insert(run.audio.end(), s, s + h.sampleCount);
            if (call.cbData == 2067) run.voiceSamples += h.sampleCount;
        }
    };
    std::string name;
    host.Init(&name);
    std::vector<uint8_t> record = testbed::HostRecordBuilder().Build();
    const uint32_t window = host.Start(1, record.data());
    if (window == 0 || window == 0xFFFFFFFFu) {
        std::fprintf(stderr, "apco_run: vktPluginStart answered 0x%x\n", window);
        return 1;
    }
    HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
    std::printf("%s: decoding %s%s\n", name.c_str(), file.c_str(), config.realtime ? " in real time" : "");
    const DWORD started = GetTickCount();
    host.PumpUntil([&] { return host.GetReceiverStatus(&status) && status.finished; }, INFINITE);
    const double wall = (GetTickCount() - started) / 1000.0;
    host.Pump(300);
    const char* slash = out.find('/') != std::string::npos ? "/" : "\\";
    const std::string picture = out + slash + "plugin-window.png", sound = out + slash + "decoded-audio.wav";
    const bool pictured = testbed::WritePng(picture, testbed::CaptureWindow(hwnd));
    host.Close(1);
    host.Done();
    const double seconds = status.bytesDelivered / 2.0 / rate;
    const bool written = WriteWav(sound, run.audio, 16000);
    std::printf(
        "summary: %.1f s of IF, %llu parameter packets, %llu voice frames, %d call(s), %.1f s of voice, "
        "%llu trunking events, %.0fx real time\n",
        seconds, static_cast<unsigned long long>(run.packets), static_cast<unsigned long long>(run.voiceSamples / 320),
        run.calls, run.voiceSamples / 16000.0, static_cast<unsigned long long>(run.events),
        wall > 0 ? seconds / wall : 0.0);
    std::printf("audio: %s%s\nwindow: %s%s\n", sound.c_str(), written ? "" : " (not written)", picture.c_str(),
                pictured ? "" : " (not written)");
    for (const auto& box : host.Dismissed())
        std::printf("message box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
    return written ? 0 : 1;
}
