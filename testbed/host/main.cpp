// vkt_host.exe: runs a plug-in as the receiver-control host would, with the stand-in receiver
// streaming an IF recording.
//   vkt_host.exe [--if FILE.if.wav] [--realtime] [--block BYTES] [--loops N] [--seconds S]
//                [--log FILE] PLUGIN.vkt
// Starts one instance (handle 1) with an all-null host record, pumps messages until the
// recording has been delivered (or S seconds), closes it and prints what the plug-in sent.
// Fails (exit code 1) when a call came off the GUI thread or the process saw an access
// violation.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "testbed/host/vkt_host.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: vkt_host [--if FILE] [--realtime] [--block BYTES] [--loops N] [--seconds S] [--log FILE] "
                 "PLUGIN.vkt\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string plugin, ifFile, logFile;
    ReceiverConfig config{};
    config.structSize = sizeof config;
    config.volume = 8;
    DWORD seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--if" && hasValue)
            ifFile = argv[++i];
        else if (a == "--realtime")
            config.realtime = 1;
        else if (a == "--block" && hasValue)
            config.blockBytes = static_cast<uint32_t>(std::atoi(argv[++i]));
        else if (a == "--loops" && hasValue)
            config.loops = static_cast<uint32_t>(std::atoi(argv[++i]));
        else if (a == "--seconds" && hasValue)
            seconds = static_cast<DWORD>(std::atoi(argv[++i]));
        else if (a == "--log" && hasValue)
            logFile = argv[++i];
        else if (!a.empty() && a[0] != '-' && plugin.empty())
            plugin = a;
        else
            return Usage();
    }
    if (plugin.empty() || ifFile.size() >= sizeof config.wavPath) return Usage();
    std::memcpy(config.wavPath, ifFile.c_str(), ifFile.size() + 1);

    testbed::VktHost host;
    std::string error;
    if (!host.Load(plugin, &error)) {
        std::fprintf(stderr, "vkt_host: %s\n", error.c_str());
        return 1;
    }
    if (!ifFile.empty() && !host.ConfigureReceiver(config)) {
        std::fprintf(stderr, "vkt_host: the receiver cannot stream %s\n", ifFile.c_str());
        return 1;
    }
    // Held loaded from here on (when it is there), so that its record outlives the plug-in's use.
    AnalyzerStats analyzer{sizeof analyzer};
    const bool analyzerLoaded = host.GetAnalyzerStats(&analyzer);
    std::string name;
    const uint32_t flags = host.Init(&name);
    std::printf("plug-in \"%s\", capabilities 0x%x\n", name.c_str(), flags);
    const std::vector<uint8_t> record = testbed::HostRecordBuilder().Build();
    std::vector<uint8_t> copy = record;
    const uint32_t window = host.Start(1, copy.data());
    if (window == 0xFFFFFFFFu || window == 0) {
        std::fprintf(stderr, "vkt_host: vktPluginStart answered 0x%x\n", window);
        return 1;
    }
    const DWORD limit = seconds ? seconds * 1000 : INFINITE;
    host.PumpUntil(
        [&] {
            ReceiverStatus status{};
            return ifFile.empty() || (host.GetReceiverStatus(&status) && status.finished);
        },
        limit);
    host.Pump(200);
    host.Close(1);
    host.Done();

    std::map<uint32_t, size_t> counts;
    for (const auto& call : host.Calls()) ++counts[call.msg];
    for (const auto& c : counts) std::printf("code 0x%04x: %zu calls\n", c.first, c.second);
    for (const auto& box : host.Dismissed())
        std::printf("message box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
    if (host.CallsOffGuiThread()) std::printf("%zu calls off the GUI thread\n", host.CallsOffGuiThread());
    if (analyzerLoaded && host.GetAnalyzerStats(&analyzer))
        std::printf("analyzer: %u created, %u linearisation calls\n", analyzer.created,
                    analyzer.slotCalls[kAnalyzerSetLinearization]);
    const long faults = testbed::VktHost::AccessViolations();
    if (faults) std::printf("%ld access violations\n%s", faults, testbed::VktHost::AccessViolationReport().c_str());
    if (!logFile.empty()) {
        FILE* f = std::fopen(logFile.c_str(), "w");
        if (f) {
            for (const auto& call : host.Calls())
                std::fprintf(f, "%u 0x%04x %u %u %s\n", call.sequence, call.msg, call.dwParam, call.cbData,
                             call.onGuiThread ? "gui" : "other");
            std::fclose(f);
        }
    }
    return host.CallsOffGuiThread() || faults ? 1 : 0;
}
