// What travels between the plug-in, its host and its main window: the shape of a call into
// the host, the host codes in both directions, the private window messages and the records
// carried with them. Every record is little-endian with 32-bit words (the DLL is 32-bit).
//
// Host codes to the plug-in arrive through vktPluginNotify (host handle, code, dwParam,
// cbData, lpData); plug-in codes go to the host through PluginProc (plug-in window, code,
// dwParam, cbData, lpData). A host answers 0x80000000 (kHostNoAnswer) when it does not
// support a request or has no value; the plug-in produces the same when it has no callback.
#pragma once

#include <cstdint>

#include "p25/trunking_events.h"     // kMediaTypeParams
#include "plugin/vkt_interfaces.h"  // PluginProc and the other stdcall interfaces

constexpr uint32_t kHostNoAnswer = 0x80000000u;
constexpr char kPluginDisplayName[] = "K927 APCO";

// Host codes to the plug-in (vktPluginNotify).
enum HostNotifyCode : uint32_t {
    PN_FLAGS = 0x0000,            // dwParam: host state flags
    PN_ENABLE = 0x0100,           // dwParam != 0 enables processing
    PN_FREQUENCY = 0x0800,        // dwParam: receiver frequency, Hz
    PN_MODE = 0x0900,             // dwParam: receiver mode; optionally cbData 8, lpData {answer, mode}
    PN_SQUELCHSETTINGS = 0x0B01,  // dwParam: squelch-type bits; lpData: SquelchParams or null
    PN_SQUELCH = 0x0B02,          // dwParam: host squelch open/closed
    PN_RBW = 0x0D05,              // dwParam: resolution bandwidth, Hz
    PN_VOLUME = 0x0E00,           // dwParam: 0..32
    PN_MUTE = 0x0E01,             // dwParam: mute flag
    PN_SCANNING = 0x0F00,         // dwParam != 0: the host scans
    PN_CLOSE = 0x4000,
    PN_HOSTINFO = 0x4005,  // cbData, lpData: a new HostRecord
};

// Plug-in codes to the host (PluginProc msg).
enum PluginMessageCode : uint32_t {
    PM_MODE = 0x0900,
    PM_BANDWIDTH = 0x0902,
    PM_SQUELCHSETTINGS = 0x0B00,
    PM_SQUELCH = 0x0B02,
    PM_SCANNING = 0x0F00,
    PM_VOLUME = 0x1100,
    PM_MUTE = 0x1101,
    PMR_Audio = 0x110A,       // dwParam 3; AudioBlockRecord
    PMR_IFSpectrum = 0x110B,  // dwParam: half the IF rate; float bins
    PMR_Media = 0x110D,       // MediaPacket
    PM_CLOSED = 0x4000,       // the display name, no NUL counted
    PM_SETFLAGS = 0x4001,
    PM_GETVALUE = 0x4002,  // dwParam: the host code whose value is wanted
    PM_HOSTINFO = 0x4006,  // HostRecord
};

constexpr uint32_t kAudioBlockDwParam = 3;

// Private messages from the plug-in object to its main window (WM_APP + 0x1000 + n). Posted
// unless marked sent; a sent one keeps the stream thread waiting, so its wParam stays valid.
enum ApcoWindowMessage : uint32_t {
    WM_APCO_INIT = 0x9000,
    WM_APCO_RESERVED = 0x9001,
    WM_APCO_MEDIA = 0x9002,            // ApcoParams*, 36
    WM_APCO_RECBYTES = 0x9003,         // bytes written to the recording
    WM_APCO_RECSECONDS = 0x9004,       // recorded seconds
    WM_APCO_PLAYPOSITION = 0x9005,     // {u32 bytes, u32 seconds}*, 8
    WM_APCO_DISPLAYSPECTRUM = 0x9006,  // TSB*, result pointer
    WM_APCO_SQUELCH = 0x9007,          // squelch-state word
    WM_APCO_PAUSE = 0x9008,            // 1 paused, 0 resumed
    WM_APCO_CALLPLUGINPROC = 0x9009,   // sent: 1, 20
    WM_APCO_STATUS = 0x900A,           // 0 none, 1 P25, 2 analogue FM
    WM_APCO_PLAYRECEND = 0x900B,       // sent
    WM_APCO_SAMPLERATE = 0x900C,       // IF rate, Hz
    WM_APCO_PLAYBACK = 0x900D,         // 0 stopped, 1 IF file, 2 audio file
    WM_APCO_RESETIFSPECTRUMCALC = 0x900E,
    WM_APCO_SENDIFSPECTRUM = 0x900F,      // sent: float bins, bin count
    WM_APCO_SENDSCANIFSPECTRUM = 0x9010,  // sent: float bins, bin count
    WM_APCO_AUDIOPLAYBACK = 0x9011,       // 1 on, 0 off
    WM_APCO_SENDMEDIA = 0x9012,           // sent: ApcoParams*, 36
    WM_APCO_SENDAUDIO = 0x9013,           // sent: AudioBlockRecord*, record size
    WM_APCO_SENDEVENTS = 0x9014,
};

// Decoded parameters. The four identifiers are -1 and the rate 0 while nothing is decoded;
// the transmission type and the emergency flag are then 0.
struct ApcoParams {
    float bitErrorRatePercent;  // one decimal
    int32_t nac;
    int32_t tgid;
    int32_t sourceId;
    int32_t destinationId;
    int32_t transmissionType;
    int32_t algorithmId;
    int32_t manufacturerId;
    int32_t emergency;
};
static_assert(sizeof(ApcoParams) == 36, "ApcoParams travels as 36 bytes");

// A record with nothing decoded.
ApcoParams MakeEmptyApcoParams();

// Squelch measurements and settings, seven words. In a PM_SQUELCH report only the measured
// word is filled; PM_SQUELCHSETTINGS carries the five settings with words 3 and 4 zero.
struct SquelchParams {
    uint32_t level;  // LevelSqVal
    uint32_t noiseLevel;
    uint32_t ctcssMilliHz;  // tone x 1000
    uint32_t reserved3;
    uint32_t reserved4;
    uint32_t voicePercent;
    int32_t dcsCode;  // inverted codes negative
};
static_assert(sizeof(SquelchParams) == 28, "SquelchParams travels as 28 bytes");

// Audio for the host: this header, then the int16 samples, then three bytes that carry
// nothing (zeroed). The size sent is 2 x count + 19.
struct AudioBlockHeader {
    uint32_t sampleRate;
    uint32_t bitsPerSample;  // 16
    uint32_t channels;       // 1
    uint32_t sampleCount;
};
static_assert(sizeof(AudioBlockHeader) == 16, "AudioBlockRecord header is 16 bytes");

constexpr uint32_t kAudioBlockTrailerBytes = 3;
// The largest sample count whose record size still fits 32 bits.
constexpr uint32_t kAudioBlockMaxSamples = (0xFFFFFFFFu - sizeof(AudioBlockHeader) - kAudioBlockTrailerBytes) / 2;

// 2 x count + 19; 0 when count exceeds kAudioBlockMaxSamples.
uint32_t AudioBlockRecordSize(uint32_t count);
// Builds the record into out, which holds at least AudioBlockRecordSize(count) bytes. Returns
// the size, 0 for a count that is too large.
uint32_t WriteAudioBlockRecord(void* out, uint32_t sampleRate, const int16_t* samples, uint32_t count);

// MediaPacket: a 128-byte name field ("K927 APCO", NUL-terminated, the rest zero), the type,
// the payload size and the payload.
constexpr uint32_t kMediaNameBytes = 128;
constexpr uint32_t kMediaHeaderBytes = 136;
// kMediaTypeParams (1, payload ApcoParams, 36 bytes) comes with the frame decoder's envelope.
constexpr uint32_t kMediaTypeTrunkingEvents = 256;  // payload: u32 n, n 21-byte events
constexpr uint32_t kMediaParamsPacketBytes = kMediaHeaderBytes + sizeof(ApcoParams);  // 172

struct MediaPacketHeader {
    char name[kMediaNameBytes];
    uint32_t type;
    uint32_t payloadBytes;
};
static_assert(sizeof(MediaPacketHeader) == kMediaHeaderBytes, "MediaPacket header is 136 bytes");

// Name, type and payload size into out (kMediaHeaderBytes), the name field zero-padded.
void WriteMediaPacketHeader(void* out, uint32_t type, uint32_t payloadBytes);
