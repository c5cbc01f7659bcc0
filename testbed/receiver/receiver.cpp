// Stand-in for the K927 receiver's programming library QVK927API.dll: the seven calls the
// plug-in binds, and an IF stream read from a WAV file and delivered in blocks on the
// library's own thread, paced in real time or as fast as the callback returns.
//
// Unhooking (SetupStreams with a null callback) returns only once no callback can run any
// more. While it waits it delivers messages sent to the calling thread, because the callback
// in flight may itself be blocked in a SendMessage to that very thread.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "testbed/common/call_log.h"
#include "testbed/common/wav16.h"
#include "plugin/vkt_interfaces.h"

#define RECEIVER_EXPORT extern "C"  // exported undecorated through QVK927API.def

namespace {

struct Receiver {
    CRITICAL_SECTION lock;
    // Guarded by lock.
    ReceiverConfig config{};
    std::vector<int16_t> samples;
    std::vector<int16_t> tunedSamples;  // the signal on the config's tunedHz
    bool tuned = false;
    uint32_t sampleRateHz = 0;
    testbed::CallLog log;
    IFStreamCallback callback = nullptr;
    void* context = nullptr;
    uint32_t volume = 0;
    uint32_t blocksDelivered = 0;
    uint64_t bytesDelivered = 0;
    int64_t firstBlockTicks = 0, lastBlockTicks = 0;
    bool finished = false;
    // The stream thread; only the thread that starts or stops it touches these.
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    volatile LONG stop = 0;

    Receiver() { InitializeCriticalSection(&lock); }
};

Receiver& R() {
    static Receiver* receiver = new Receiver;  // never destroyed: the thread may outlive statics
    return *receiver;
}

struct Locked {
    Locked() { EnterCriticalSection(&R().lock); }
    ~Locked() { LeaveCriticalSection(&R().lock); }
};

DWORD WINAPI StreamThread(void*) {
    Receiver& r = R();
    const uint32_t blockBytes = r.config.blockBytes ? r.config.blockBytes & ~1u : 4096;
    const uint32_t blockSamples = blockBytes / 2 ? blockBytes / 2 : 1;
    const uint32_t loops = r.config.loops ? r.config.loops : 1;
    const bool realtime = r.config.realtime != 0;
    LARGE_INTEGER frequency, start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    uint64_t sentSamples = 0;
    for (uint32_t loop = 0; loop < loops; ++loop) {
        for (size_t at = 0; at < r.samples.size(); at += blockSamples) {
            if (InterlockedCompareExchange(&r.stop, 0, 0)) return 0;
            const size_t n = r.samples.size() - at < blockSamples ? r.samples.size() - at : blockSamples;
            if (realtime) {
                // Deliver a block once the time it covers has passed.
                const double due = static_cast<double>(sentSamples) / r.sampleRateHz;
                for (;;) {
                    LARGE_INTEGER now;
                    QueryPerformanceCounter(&now);
                    const double elapsed = static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
                    if (elapsed >= due || InterlockedCompareExchange(&r.stop, 0, 0)) break;
                    Sleep(static_cast<DWORD>((due - elapsed) * 1000) + 1);
                }
            }
            IFStreamCallback callback;
            void* context;
            const int16_t* block = &r.samples[at];
            {
                Locked locked;
                callback = r.callback;
                context = r.context;
                if (r.tuned && at + n <= r.tunedSamples.size()) block = &r.tunedSamples[at];
            }
            if (!callback || InterlockedCompareExchange(&r.stop, 0, 0)) return 0;
            LARGE_INTEGER handed, back;
            QueryPerformanceCounter(&handed);
            callback(context, block, static_cast<uint32_t>(n * 2), r.sampleRateHz);
            QueryPerformanceCounter(&back);
            sentSamples += n;
            Locked locked;
            if (r.blocksDelivered == 0) r.firstBlockTicks = handed.QuadPart;
            r.lastBlockTicks = back.QuadPart;
            ++r.blocksDelivered;
            r.bytesDelivered += n * 2;
        }
    }
    Locked locked;
    r.finished = true;
    return 0;
}

// Waits for the stream thread to end, letting messages sent to this thread through.
void StopStream() {
    Receiver& r = R();
    if (!r.thread) return;
    InterlockedExchange(&r.stop, 1);
    for (;;) {
        DWORD w = MsgWaitForMultipleObjects(1, &r.thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (w != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(r.thread);
    r.thread = nullptr;
    r.threadId = 0;
}

void StartStream() {
    Receiver& r = R();
    if (r.thread || r.samples.empty()) return;
    InterlockedExchange(&r.stop, 0);
    r.thread = CreateThread(nullptr, 0, StreamThread, nullptr, 0, &r.threadId);
}

}  // namespace

RECEIVER_EXPORT uint32_t __stdcall SetupStreams(uint32_t handle, IFStreamCallback callback, void* context,
                                                uint32_t reserved1, uint32_t reserved2) {
    Receiver& r = R();
    R().log.Add("SetupStreams %u %s %u %u", handle, callback ? "hook" : "unhook", reserved1, reserved2);
    if (callback && r.config.refuseSetupStreams) return 0;
    if (r.thread && GetCurrentThreadId() == r.threadId) {
        // Called from inside the callback: the thread itself is the one in flight.
        Locked locked;
        r.callback = callback;
        r.context = callback ? context : nullptr;
        if (!callback) InterlockedExchange(&r.stop, 1);
        return 1;
    }
    StopStream();
    {
        Locked locked;
        r.callback = callback;
        r.context = callback ? context : nullptr;
    }
    if (callback) StartStream();
    return 1;
}

RECEIVER_EXPORT uint32_t __stdcall SetAdvancedMode(uint32_t handle, uint32_t mode, const char* argument) {
    if (mode == 1)
        R().log.Add("SetAdvancedMode %u 1 %s", handle, argument ? argument : "(null)");
    else
        R().log.Add("SetAdvancedMode %u %u %lu", handle, mode,
                    static_cast<unsigned long>(reinterpret_cast<uintptr_t>(argument)));
    return R().config.refuseAdvancedMode ? 0 : 1;
}

RECEIVER_EXPORT uint32_t __stdcall SetAdvancedScanMode(uint32_t handle, uint32_t mode, const void* data,
                                                       uint32_t size) {
    if (data && size == 4)
        R().log.Add("SetAdvancedScanMode %u %u %u", handle, mode, *static_cast<const uint32_t*>(data));
    else
        R().log.Add("SetAdvancedScanMode %u %u %s %u", handle, mode, data ? "data" : "null", size);
    return 1;
}

RECEIVER_EXPORT uint32_t __stdcall K9GetEEP(uint32_t handle, uint8_t* eeprom) {
    Receiver& r = R();
    const bool ok = r.config.eepromValid && eeprom;
    R().log.Add("K9GetEEP %u %s", handle, ok ? "ok" : "fail");
    if (ok) std::memcpy(eeprom, r.config.eeprom, kReceiverEepromBytes);
    return ok ? 1 : 0;
}

RECEIVER_EXPORT uint32_t __stdcall GetVolume(uint32_t handle) {
    uint32_t volume;
    {
        Locked locked;
        volume = R().volume;
    }
    R().log.Add("GetVolume %u = %u", handle, volume);
    return volume;
}

RECEIVER_EXPORT uint32_t __stdcall SetVolume(uint32_t handle, uint32_t volume) {
    R().log.Add("SetVolume %u %u", handle, volume);
    Locked locked;
    R().volume = volume;
    return 1;
}

RECEIVER_EXPORT uint32_t __stdcall IsDeviceConnected(uint32_t handle) {
    const uint32_t connected = R().config.disconnected ? 0 : 1;
    R().log.Add("IsDeviceConnected %u = %u", handle, connected);
    return connected;
}

RECEIVER_EXPORT uint32_t __stdcall TestReceiverConfigure(const ReceiverConfig* config) {
    if (!config || config->structSize != sizeof(ReceiverConfig)) return 0;
    Receiver& r = R();
    StopStream();
    std::vector<int16_t> samples;
    uint32_t rate = 0;
    std::string error;
    std::string path(config->wavPath, strnlen(config->wavPath, sizeof config->wavPath));
    if (!path.empty() && !testbed::ReadWav16(path, &samples, &rate, &error)) {
        R().log.Add("TestReceiverConfigure failed: %s", error.c_str());
        return 0;
    }
    std::vector<int16_t> tuned;
    uint32_t tunedRate = 0;
    std::string tunedPath(config->tunedWavPath, strnlen(config->tunedWavPath, sizeof config->tunedWavPath));
    if (!tunedPath.empty() && (!testbed::ReadWav16(tunedPath, &tuned, &tunedRate, &error) || tunedRate != rate)) {
        R().log.Add("TestReceiverConfigure failed: %s", error.empty() ? "another rate when tuned" : error.c_str());
        return 0;
    }
    {
        Locked locked;
        r.config = *config;
        r.samples.swap(samples);
        r.tunedSamples.swap(tuned);
        r.tuned = false;
        r.sampleRateHz = rate;
        r.volume = config->volume;
        r.blocksDelivered = 0;
        r.bytesDelivered = 0;
        r.firstBlockTicks = r.lastBlockTicks = 0;
        r.finished = false;
    }
    r.log.Clear();
    if (r.callback) StartStream();
    return 1;
}

RECEIVER_EXPORT uint32_t __stdcall TestReceiverGetStatus(ReceiverStatus* status) {
    if (!status || status->structSize != sizeof(ReceiverStatus)) return 0;
    Receiver& r = R();
    Locked locked;
    status->hooked = r.callback != nullptr;
    status->finished = r.finished;
    status->streaming = r.thread && !r.finished && !r.stop;
    status->blocksDelivered = r.blocksDelivered;
    status->bytesDelivered = r.bytesDelivered;
    status->firstBlockTicks = r.firstBlockTicks;
    status->lastBlockTicks = r.lastBlockTicks;
    status->streamThreadId = r.threadId;
    status->volume = r.volume;
    status->sampleRateHz = r.sampleRateHz;
    return 1;
}

RECEIVER_EXPORT uint32_t __stdcall TestReceiverGetLog(char* buffer, uint32_t size) {
    return R().log.CopyTo(buffer, size);
}

RECEIVER_EXPORT void __stdcall TestReceiverTune(uint32_t hz) {
    Locked locked;
    R().tuned = R().config.tunedHz && hz == R().config.tunedHz;
}
