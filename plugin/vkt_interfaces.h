// The stdcall interfaces between the plug-in and the programs around it: the host, the
// receiver's programming library QVK927API.dll and the spectrum-analyzer library
// k927apcospect.dll. Both sides include this one header, so a call and its callee always
// agree on the arguments a stdcall callee pops. Every word is 32 bits on the target.
//
// The stand-ins in testbed/ also export a few functions that only tests call ("Test..."):
// they configure a stand-in and read back the log of every call it received.
#pragma once

#include <cstdint>

#if defined(__i386__)
#define VKT_STDCALL __attribute__((stdcall))
#else
#define VKT_STDCALL
#endif

struct HWND__;

// ---- Host and plug-in ------------------------------------------------------------------
// The host callback: (plug-in window, code, dwParam, cbData, lpData) -> answer.
using PluginProc = uint32_t(VKT_STDCALL*)(HWND__* window, uint32_t msg, uint32_t dwParam, uint32_t cbData,
                                          void* lpData);
// The plug-in's exports, by name and ordinal: vktPluginInit 1, vktPluginDone 2,
// vktPluginNotify 3, vktPluginStart 4.
using VktPluginInitFn = uint32_t(VKT_STDCALL*)(uint32_t unused, const char* hostText, char* name, uint32_t nameLength);
using VktPluginDoneFn = void(VKT_STDCALL*)();
using VktPluginNotifyFn = void(VKT_STDCALL*)(uint32_t hostHandle, uint32_t code, uint32_t dwParam, uint32_t cbData,
                                             void* lpData);
// Returns the plug-in window's handle, or 0xFFFFFFFF for a handle already started.
using VktPluginStartFn = uint32_t(VKT_STDCALL*)(uint32_t hostHandle, void* hostRecord, PluginProc callback,
                                                uint32_t unused);

// ---- Receiver library QVK927API.dll ----------------------------------------------------
// IF blocks on the library's stream thread: 16-bit real samples, byteCount bytes, at rate Hz.
using IFStreamCallback = void(VKT_STDCALL*)(void* context, const int16_t* samples, uint32_t byteCount,
                                            uint32_t sampleRateHz);
// Each takes the receiver handle (the host handle) first. Non-zero means success.
// SetupStreams with a null callback unhooks: no callback runs once it has returned.
using SetupStreamsFn = uint32_t(VKT_STDCALL*)(uint32_t handle, IFStreamCallback callback, void* context,
                                              uint32_t reserved1, uint32_t reserved2);
// mode 1: argument is the host's folder (text); mode 0: argument 0.
using SetAdvancedModeFn = uint32_t(VKT_STDCALL*)(uint32_t handle, uint32_t mode, const char* argument);
using K9GetEEPFn = uint32_t(VKT_STDCALL*)(uint32_t handle, uint8_t* eeprom256);
using SetAdvancedScanModeFn = uint32_t(VKT_STDCALL*)(uint32_t handle, uint32_t mode, const void* data, uint32_t size);
using GetVolumeFn = uint32_t(VKT_STDCALL*)(uint32_t handle);
using SetVolumeFn = uint32_t(VKT_STDCALL*)(uint32_t handle, uint32_t volume);
using IsDeviceConnectedFn = uint32_t(VKT_STDCALL*)(uint32_t handle);

constexpr uint32_t kReceiverEepromBytes = 256;

// Test-only: how the stand-in receiver behaves. Zeroed fields take the defaults noted.
struct ReceiverConfig {
    uint32_t structSize;          // sizeof(ReceiverConfig)
    char wavPath[520];            // 16-bit mono PCM; empty: no stream
    uint32_t blockBytes;          // bytes per IF block, even (0: 4096)
    uint32_t realtime;            // 1: blocks paced at the file's rate; 0: as fast as possible
    uint32_t loops;               // times the file is played (0: once)
    uint32_t disconnected;        // 1: IsDeviceConnected answers 0
    uint32_t refuseSetupStreams;  // 1: SetupStreams with a callback answers 0
    uint32_t refuseAdvancedMode;  // 1: SetAdvancedMode answers 0
    uint32_t volume;              // what GetVolume answers first
    uint32_t eepromValid;         // 1: K9GetEEP succeeds with eeprom
    uint8_t eeprom[kReceiverEepromBytes];
    // While the host has tuned the receiver to tunedHz (TestReceiverTune), blocks come from
    // this file instead, at the same position; empty: one signal on every frequency.
    char tunedWavPath[520];
    uint32_t tunedHz;
};

struct ReceiverStatus {
    uint32_t structSize;       // sizeof(ReceiverStatus)
    uint32_t hooked;           // a callback is set
    uint32_t streaming;        // the stream thread is delivering
    uint32_t finished;         // every loop of the file was delivered
    uint32_t blocksDelivered;  // since the last configuration
    uint64_t bytesDelivered;
    uint32_t streamThreadId;
    uint32_t volume;
    uint32_t sampleRateHz;    // of the configured file
    int64_t firstBlockTicks;  // performance counter as the first block was handed over
    int64_t lastBlockTicks;   // and as the latest one came back
};

using TestReceiverConfigureFn = uint32_t(VKT_STDCALL*)(const ReceiverConfig* config);  // 1: accepted
using TestReceiverGetStatusFn = uint32_t(VKT_STDCALL*)(ReceiverStatus* status);
using TestReceiverTuneFn = void(VKT_STDCALL*)(uint32_t hz);  // the host's tuning of the receiver
// One line per call ("SetupStreams 7 hook", ...). Copies at most size - 1 characters and a
// NUL; returns the length of the whole log.
using TestReceiverGetLogFn = uint32_t(VKT_STDCALL*)(char* buffer, uint32_t size);

// ---- Analyzer library k927apcospect.dll -------------------------------------------------
// The analyzer object: its first word points to a table of operations, each called with the
// object first. The slots the plug-in uses and the arguments after the object:
enum AnalyzerSlot : int {
    kAnalyzerGetComponent = 0,        // () -> the analyzer's own component (the stand-in: null)
    kAnalyzerSetEnabled = 1,          // (enabled)
    kAnalyzerSetCallback = 2,         // (AnalyzerCallback, context)
    kAnalyzerSetCentre = 3,           // (12000)
    kAnalyzerSetSpan = 4,             // (20000)
    kAnalyzerSetPlayback = 8,         // (mode)
    kAnalyzerSetSquelched = 9,        // (state)
    kAnalyzerClose = 14,              // () the object is gone afterwards
    kAnalyzerSet17 = 17,              // (0)
    kAnalyzerSetAudioPlayback = 18,   // (2 or 0)
    kAnalyzerSet23 = 23,              // (0)
    kAnalyzerSetLinearization = 24,   // (const int8_t* coefficients, count <= kAnalyzerMaxLinearization)
    kAnalyzerResetSpectrum = 25,      // ()
    kAnalyzerSet26 = 26,              // (1)
    kAnalyzerGet27 = 27,              // (pointer) -> integer
    kAnalyzerResetIFCalc = 28,        // ()
    kAnalyzerSetFftSize = 29,         // (points)
    kAnalyzerDisplaySpectrum = 31,    // (const float* samples, count, 0, 0, flag)
    kAnalyzerSetSampleRate = 33,      // (Hz)
    kAnalyzerSet34 = 34,              // (6)
    kAnalyzerSet35 = 35,              // (0)
    kAnalyzerSet36 = 36,              // (12500)
    kAnalyzerSet38 = 38,              // (10000)
    kAnalyzerSet39 = 39,              // (12500)
    kAnalyzerSetNotch = 43,           // (on)
    kAnalyzerSetNotchFrequency = 44,  // (Hz offset, signed)
    kAnalyzerSetNotchWidth = 45,      // (Hz)
    kAnalyzerSet47 = 47,              // (1024)
    kAnalyzerSet48 = 48,              // (1)
    kAnalyzerSlotCount = 49,
};

// The receiver's spectrum linearisation holds 11 signed coefficients; the analyzer takes at
// most this many and may keep the address while it lives.
constexpr uint32_t kAnalyzerMaxLinearization = 16;

struct ISpectrumAnalyzer;
using AnalyzerOp0 = uintptr_t(VKT_STDCALL*)(ISpectrumAnalyzer* self);
using AnalyzerOp1 = uintptr_t(VKT_STDCALL*)(ISpectrumAnalyzer* self, uintptr_t a);
using AnalyzerOp2 = uintptr_t(VKT_STDCALL*)(ISpectrumAnalyzer* self, uintptr_t a, uintptr_t b);
using AnalyzerDisplayOp = uintptr_t(VKT_STDCALL*)(ISpectrumAnalyzer* self, const float* samples, uintptr_t count,
                                                  uintptr_t zero1, uintptr_t zero2, uintptr_t flag);

// Arguments after the object for each slot (0, 1, 2 or 5); unnamed slots take none.
constexpr int AnalyzerSlotArguments(int slot) {
    return slot == kAnalyzerDisplaySpectrum                                      ? 5
           : (slot == kAnalyzerSetCallback || slot == kAnalyzerSetLinearization) ? 2
           : (slot == kAnalyzerGetComponent || slot == kAnalyzerClose || slot == kAnalyzerResetSpectrum ||
              slot == kAnalyzerResetIFCalc)
               ? 0
           : (slot == 1 || slot == 3 || slot == 4 || slot == 8 || slot == 9 || slot == 17 || slot == 18 || slot == 23 ||
              slot == 26 || slot == 27 || slot == 29 || slot == 33 || slot == 34 || slot == 35 || slot == 36 ||
              slot == 38 || slot == 39 || slot == 43 || slot == 44 || slot == 45 || slot == 47 || slot == 48)
               ? 1
               : 0;
}

struct ISpectrumAnalyzer {
    void* const* ops;  // kAnalyzerSlotCount entries
};

// Called by the analyzer: code 3 carries a notch frequency, code 4 a notch width.
using AnalyzerCallback = void(VKT_STDCALL*)(uint32_t code, int32_t value, void* context);
// The library's one entry: the analyzer drawn inside parent. Null when it cannot be made.
using CreateAnalyzerFn = ISpectrumAnalyzer*(VKT_STDCALL*)(HWND__* parent, int x, int y, int width, int height,
                                                          uint32_t style, uint32_t extra);

struct AnalyzerStats {
    uint32_t structSize;  // sizeof(AnalyzerStats)
    uint32_t created;
    uint32_t alive;
    uint32_t offThreadCalls;  // calls on another thread than the one that created it
    uint64_t samplesDisplayed;
    uint32_t slotCalls[kAnalyzerSlotCount];
    uint32_t linearizationCount;  // the coefficients of the last slot 24 call
    int32_t linearization[kAnalyzerMaxLinearization];
};

using TestAnalyzerGetStatsFn = uint32_t(VKT_STDCALL*)(AnalyzerStats* stats);
// One line a call, but slot 31 only for its first ten calls (it is counted always).
using TestAnalyzerGetLogFn = uint32_t(VKT_STDCALL*)(char* buffer, uint32_t size);
// Calls the callback of the newest live analyzer; 0 when there is none or no callback.
using TestAnalyzerFireCallbackFn = uint32_t(VKT_STDCALL*)(uint32_t code, int32_t value);
