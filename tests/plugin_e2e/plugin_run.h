// The plug-in DLL run as the host runs it: the stand-in host loads it, starts one instance,
// the stand-in receiver streams a recording, the host pumps until the stream is delivered and
// closes the instance. What the plug-in sent is summed up while it arrives.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plugin/host_protocol.h"
#include "testbed/host/vkt_host.h"

namespace e2e {

std::string PluginPath();  // the DLL beside the test program
std::string TempWav(const std::string& name);
// A generated call written as an IF recording; the voice-frame count in *voiceFrames.
std::string WriteTestCall(const std::string& name, int algid, int* voiceFrames);
std::string Recording(const char* name);  // a real recording in the shared test data
// A host record for a receiver of its own whose stored settings are removed first.
std::vector<uint8_t> FreshRecord(const char* eightCharacters);

struct AudioBlock {
    uint32_t size, rate, samples;
    double meanSquare;    // full scale 1; -1 when the size does not match the count
    int32_t algid;        // the ALGID of the last parameters before it
    size_t paramsBefore;  // RunResult::params entries sent before it
};

struct RunResult {
    std::vector<ApcoParams> params;                  // every type-1 packet
    std::vector<std::vector<uint8_t>> eventPackets;  // every type-256 packet, whole
    std::vector<AudioBlock> audio;
    std::vector<uint32_t> spectrumRates;  // dwParam of PMR_IFSpectrum
    uint32_t lastMessage = 0;
    size_t badMediaPackets = 0;  // wrong size, name or type
    size_t callsAfterClosed = 0;
    size_t offGuiThread = 0;
    bool finished = false;  // the receiver delivered the whole file
};

struct RunOptions {
    std::string wav;
    uint32_t blockBytes = 4096;
    uint32_t loops = 1;
    bool realtime = false;  // the receiver paces its blocks at the file's rate
    uint32_t timeoutMs = 120000;
    bool keepRecords = true;  // false: only counts (long runs, whose memory is measured)
    void* record = nullptr;   // the host record given to the start
    // Edits the receiver's configuration before it is given (EEPROM, volume, refusals).
    std::function<void(ReceiverConfig&)> receiver;
    // Host codes sent once the plug-in is set up (handle 1), before the stream.
    std::function<void(testbed::VktHost&)> afterStart;
    // Once the stream is delivered, before the close.
    std::function<void(testbed::VktHost&)> beforeClose;
    // Sees each call first (may edit the data in place).
    std::function<void(testbed::HostCall&, void*)> onCall;
};

RunResult Run(testbed::VktHost& host, const RunOptions& options);

// Whether a field had the value while a transmission was decoded.
bool SawValue(const RunResult& r, int32_t ApcoParams::*field, int32_t value);

// Points the plug-in DLL's import of dll!name at replacement (the DLL must be loaded).
void HookImport(const char* dll, const char* name, void* replacement);

// What vkt_host.exe printed when run for 3 s in a folder of its own (folderName under the temp
// folder) with the plug-in, the analyzer and, unless receiverFolder is empty, the receiver
// library of the build's bin\<receiverFolder>; its exit code in *exitCode (99 when it did not
// end within a minute). A text starting "cannot" when the folder could not be laid out.
std::string RunHostInFolder(const std::string& receiverFolder, const std::string& folderName, unsigned long* exitCode);

}  // namespace e2e
