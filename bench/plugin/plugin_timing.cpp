// bench_plugin.exe: the plug-in decoding the real recordings as fast as the stand-in receiver
// delivers them, with everything running (host callbacks, spectra, resampling, wave-out);
// the share of each signal-processing stage; and the private heap's allocations per IF block
// once warmed up.
//   1. The DLL under the stand-in host: x real time and CPU seconds per second of IF (the whole
//      process: stream thread, GUI thread with the window and the host), while streaming (the
//      receiver's first block to its last) and with the plug-in's start-up counted in.
//   2. The stages alone on the same samples, in this process: CPU seconds per second of IF and
//      their share of the DLL's figure; the rest is the hand-over to the window and the host.
//   3. The plug-in object built into this program (same code as the DLL) on one recording:
//      private-heap allocations after the first 50 blocks, per block.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dsp/fft.h"
#include "dsp/fm_demodulator.h"
#include "dsp/resampler.h"
#include "foundation/private_heap.h"
#include "p25/apco_frame_decoder.h"
#include "p25/c4fm_demodulator.h"
#include "plugin/apco_plugin.h"
#include "testbed/host/vkt_host.h"
#include "tests/support/wav_io.h"

namespace {

const char* const kFiles[] = {"voice-nac293-tg1.if.wav", "voice-nac1f5-tg7455.if.wav",
                              "voice-encrypted-nac104-tg1543.if.wav", "control-nac140.if.wav"};

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto s = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) * 1e-7; };
    return s(kernel) + s(user);
}

std::string Path(const char* name) { return std::string(APCO_TESTDATA_DIR) + "/" + name; }

std::string PluginPath() {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string s = exe;
    return s.substr(0, s.find_last_of("\\/") + 1) + "Apco_K927_VKT_Plugin.vkt";
}

struct DllFigure {
    double ifSeconds = 0, wall = 0, cpu = 0;  // from Start to the last block
    double streamWall = 0, streamCpu = 0;     // from the first block to the last
};

DllFigure RunDll(uint32_t blockBytes, uint32_t loops) {
    DllFigure f;
    for (const char* name : kFiles) {
        testbed::VktHost host;
        std::string error, plugin;
        if (!host.Load(PluginPath(), &error)) {
            std::printf("cannot load the plug-in: %s\n", error.c_str());
            return f;
        }
        host.SetDataLimit(0);
        host.SetRecordLimit(1000);
        ReceiverConfig config{};
        config.structSize = sizeof config;
        config.blockBytes = blockBytes;
        config.loops = loops;
        const std::string path = Path(name);
        std::memcpy(config.wavPath, path.c_str(), path.size() + 1);
        host.ConfigureReceiver(config);
        host.Init(&plugin);
        const double cpu0 = ProcessCpuSeconds();
        LARGE_INTEGER q0, q1, hz;
        QueryPerformanceFrequency(&hz);
        QueryPerformanceCounter(&q0);
        host.Start(1, nullptr);
        ReceiverStatus status{};
        double streamCpu0 = -1;  // taken within one pump round (10 ms) of the first block
        host.PumpUntil(
            [&] {
                const bool ok = host.GetReceiverStatus(&status);
                if (ok && status.blocksDelivered && streamCpu0 < 0) streamCpu0 = ProcessCpuSeconds();
                return ok && status.finished;
            },
            600000);
        QueryPerformanceCounter(&q1);
        const double cpu1 = ProcessCpuSeconds();
        f.cpu += cpu1 - cpu0;
        f.streamCpu += cpu1 - (streamCpu0 < 0 ? cpu0 : streamCpu0);
        f.wall += static_cast<double>(q1.QuadPart - q0.QuadPart) / hz.QuadPart;
        f.streamWall += static_cast<double>(status.lastBlockTicks - status.firstBlockTicks) / hz.QuadPart;
        f.ifSeconds += status.bytesDelivered / 2.0 / (status.sampleRateHz ? status.sampleRateHz : 48000);
        host.Close(1);
    }
    return f;
}

// Seconds of each stage over the recordings, blocks of 2048 samples, one stage at a time over
// the whole file (one thread, so the time is its CPU time; per-block thread times are too coarse).
struct Stages {
    double ifSeconds = 0, spectrum = 0, c4fm = 0, decoder = 0, voice = 0, fm = 0;
};

double Now() {
    LARGE_INTEGER q, hz;
    QueryPerformanceCounter(&q);
    QueryPerformanceFrequency(&hz);
    return static_cast<double>(q.QuadPart) / hz.QuadPart;
}

Stages RunStages(int loops) {
    Stages s;
    constexpr size_t kBlock = 2048;
    for (const char* name : kFiles) {
        std::vector<int16_t> pcm;
        int rate = 0;
        if (!wavtest::ReadWav16(Path(name), &pcm, &rate)) continue;
        const size_t blocks = pcm.size() / kBlock;
        std::vector<float> x(blocks * kBlock);
        std::vector<float> bins(4097);
        CFFT fft(4096, 1);
        CC4fmDemodulator c4fm;
        c4fm.EnsureFilters();
        CApcoFrameDecoder decoder;
        decoder.SetBlockSize(512);
        CResampler voice, analogue;
        voice.SetRates(8000, 16000, 512);
        analogue.SetRates(48000, 16000, 2048);
        CFmDemodulator fm;
        std::vector<int16_t> audio(kBlock);
        for (int loop = 0; loop < loops; ++loop) {
            double t = Now();
            for (size_t b = 0; b < blocks; ++b) {
                CApcoPlugin::Int16ToFloat(&x[b * kBlock], &pcm[b * kBlock], kBlock);
                fft.TransformAvg(&x[b * kBlock], kBlock);
                if (fft.IsOutputReady()) fft.GetSpectrum(bins.data(), 4096);
            }
            s.spectrum += Now() - t;
            std::vector<std::string> symbols(blocks);
            t = Now();
            for (size_t b = 0; b < blocks; ++b) {
                const int n = c4fm.Process(&x[b * kBlock], kBlock);
                if (n > 0) symbols[b].assign(c4fm.GetSymbols(), n);
            }
            s.c4fm += Now() - t;
            std::vector<int> ready(blocks), quiet(blocks);
            std::vector<std::vector<int16_t>> voiceBlocks;
            t = Now();
            for (size_t b = 0; b < blocks; ++b) {
                ready[b] =
                    symbols[b].empty() ? 0 : decoder.Process(symbols[b].data(), static_cast<int>(symbols[b].size()));
                quiet[b] = decoder.GetTransmissionType() == kTransmissionNone && ready[b] <= 0;
                for (int i = 0; i < ready[b]; ++i) {
                    int16_t* v = decoder.PopAudioBlock();
                    if (v) voiceBlocks.emplace_back(v, v + 512);
                    decoder.ReleaseAudioBlock(v);
                }
            }
            s.decoder += Now() - t;
            t = Now();
            for (auto& v : voiceBlocks) {
                uint32_t n = 0;
                voice.Process(v.data(), 512, &n);
            }
            s.voice += Now() - t;
            t = Now();
            for (size_t b = 0; b < blocks; ++b) {
                if (!quiet[b]) continue;
                const float* out = fm.Process(&x[b * kBlock], kBlock);
                if (!out) continue;
                CApcoPlugin::FloatToInt16(audio.data(), out, kBlock);
                uint32_t n = 0;
                analogue.Process(audio.data(), kBlock, &n);
            }
            s.fm += Now() - t;
            s.ifSeconds += blocks * kBlock / 48000.0;
        }
    }
    return s;
}

uint32_t VKT_STDCALL QuietHost(HWND__*, uint32_t, uint32_t, uint32_t, void*) { return 0x80000000u; }

// The plug-in object in this process on one recording: allocations after warm-up.
void CountAllocations(const char* name, uint32_t loops) {
    HMODULE receiver = LoadLibraryA("QVK927API.dll");
    auto configure = reinterpret_cast<TestReceiverConfigureFn>(
        reinterpret_cast<void*>(GetProcAddress(receiver, "TestReceiverConfigure")));
    auto getStatus = reinterpret_cast<TestReceiverGetStatusFn>(
        reinterpret_cast<void*>(GetProcAddress(receiver, "TestReceiverGetStatus")));
    if (!configure || !getStatus) {
        std::printf("allocations: the stand-in receiver is missing\n");
        return;
    }
    ReceiverConfig config{};
    config.structSize = sizeof config;
    config.loops = loops;
    const std::string path = Path(name);
    std::memcpy(config.wavPath, path.c_str(), path.size() + 1);
    configure(&config);
    auto* plugin = new CApcoPlugin(1, nullptr);
    plugin->SetHostCallback(&QuietHost);
    plugin->OnWindowReady();
    plugin->ConnectReceiver();
    ReceiverStatus status{};
    status.structSize = sizeof status;
    uint64_t warmCount = 0;
    uint32_t warmBlocks = 0;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        getStatus(&status);
        if (!warmBlocks && status.blocksDelivered >= 50) {
            warmBlocks = status.blocksDelivered;
            warmCount = PrivateHeapAllocationCount();
        }
        if (status.finished) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    const uint64_t allocations = PrivateHeapAllocationCount() - warmCount;
    const uint32_t blocks = status.blocksDelivered - warmBlocks;
    delete plugin;
    std::printf("allocations: %s x%u, %u blocks after the first %u: %llu private-heap allocations (%.3f per block)\n",
                name, loops, blocks, warmBlocks, static_cast<unsigned long long>(allocations),
                blocks ? static_cast<double>(allocations) / blocks : 0.0);
}

}  // namespace

int main() {
    std::printf("the plug-in DLL under the stand-in host, the four recordings looped 5 times\n");
    for (uint32_t block : {4096u, 65536u}) {
        const DllFigure f = RunDll(block, 5);
        std::printf("  blocks of %5u bytes: %.1f s of IF\n", block, f.ifSeconds);
        std::printf("    streaming (first block to last): %.2f s, %.0fx real time, %.4f CPU s per s of IF\n",
                    f.streamWall, f.streamWall > 0 ? f.ifSeconds / f.streamWall : 0.0,
                    f.ifSeconds > 0 ? f.streamCpu / f.ifSeconds : 0.0);
        std::printf("    with the plug-in's start-up:     %.2f s, %.0fx real time, %.4f CPU s per s of IF\n", f.wall,
                    f.wall > 0 ? f.ifSeconds / f.wall : 0.0, f.ifSeconds > 0 ? f.cpu / f.ifSeconds : 0.0);
        if (block == 4096u) {
            const Stages s = RunStages(5);
            const double dll = f.ifSeconds > 0 ? f.streamCpu / f.ifSeconds : 0.0;
            const struct {
                const char* name;
                double cpu;
            } rows[] = {{"IF to float and spectrum", s.spectrum},
                        {"C4FM demodulator", s.c4fm},
                        {"frame decoder and vocoder", s.decoder},
                        {"voice resampler", s.voice},
                        {"FM road", s.fm}};
            double sum = 0;
            std::printf("  stages alone (blocks of 2048 samples), CPU s per s of IF and share of the DLL's:\n");
            for (const auto& r : rows) {
                const double per = r.cpu / s.ifSeconds;
                sum += per;
                std::printf("    %-28s %.5f  %5.1f %%\n", r.name, per, dll > 0 ? 100 * per / dll : 0.0);
            }
            std::printf("    %-28s %.5f  %5.1f %%  (messages, window, analyzer, host, wave-out)\n", "the rest",
                        dll - sum, dll > 0 ? 100 * (dll - sum) / dll : 0.0);
            std::printf("    the stages alone run at %.0fx real time\n", sum > 0 ? 1 / sum : 0.0);
        }
    }
    CountAllocations("voice-nac293-tg1.if.wav", 3);
    CountAllocations("control-nac140.if.wav", 5);
    return 0;
}
