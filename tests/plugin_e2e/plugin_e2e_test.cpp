// The DLL under the stand-in host, receiver and analyzer: start-up, the decoded road on a
// generated call and on the real recordings, modes, scanning, close and bad input.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "tests/plugin_e2e/plugin_run.h"
#include "tests/support/p25_test_call.h"
#include "tests/support/wav_io.h"

namespace {

using e2e::RunOptions;
using e2e::RunResult;
using testbed::VktHost;

uint32_t Word(const std::vector<uint8_t>& r, uint32_t offset) {
    uint32_t v = 0;
    if (offset + 4 <= r.size()) std::memcpy(&v, &r[offset], 4);
    return v;
}

// A host with the plug-in loaded, keeping each PM_HOSTINFO record with its own address.
class PluginStart : public testing::Test {
protected:
    void SetUp() override {
        std::string error, name;
        ASSERT_TRUE(host.Load(e2e::PluginPath(), &error)) << error;
        EXPECT_EQ(host.Init(&name, 4), 0x481u);
        EXPECT_EQ(name.substr(0, 4), "K927");
        EXPECT_EQ(host.Init(&name, 128), 0x481u);
        EXPECT_EQ(std::string(name.c_str()), "K927 APCO");
        host.onCall = [this](testbed::HostCall& call, void* data) {
            auto* p = static_cast<uint8_t*>(data);
            if (call.msg == PM_HOSTINFO && p) seen.push_back({{p, p + call.cbData}, reinterpret_cast<uintptr_t>(p)});
        };
    }
    uint32_t At(size_t i, uint32_t offset) const { return Word(seen.at(i).bytes, offset); }
    uint32_t Offset(size_t i, uint32_t pointerWord) const { return At(i, pointerWord) - seen.at(i).base; }

    VktHost host;
    struct Seen {
        std::vector<uint8_t> bytes;
        uintptr_t base;
    };
    std::vector<Seen> seen;
};

TEST_F(PluginStart, InitStartAnnouncementAndClose) {
    std::vector<uint8_t> record = testbed::HostRecordBuilder().Build();
    const uint32_t window = host.Start(7, record.data());
    ASSERT_NE(window, 0u);
    ASSERT_NE(window, 0xFFFFFFFFu);
    EXPECT_EQ(host.Start(7, record.data()), 0xFFFFFFFFu);
    host.PumpUntil([&] { return host.Count(PM_SETFLAGS) > 0; }, 5000);

    // First call: the all-null record announced with the two-entry mode list behind it.
    EXPECT_EQ(host.Calls().at(0).msg, PM_HOSTINFO);
    ASSERT_EQ(seen.at(0).bytes.size(), 456u);
    const struct {
        uint32_t offset, value;
    } words[] = {{0, 456}, {4, 400},  {176, 0}, {180, 8000}, {192, 0x10000040}, {200, 0x306},
                 {212, 0}, {216, 99}, {228, 2}, {276, 31},   {280, 1}};
    for (const auto& w : words) EXPECT_EQ(At(0, w.offset), w.value) << "word " << w.offset;
    EXPECT_EQ(Offset(0, 236), 400u);
    const uint32_t modes[2][7] = {{19, 100, 0, 12500, 1, 0, 0}, {2, 100, 0, 12500, 1, 0, 0}};
    EXPECT_EQ(std::memcmp(&seen[0].bytes[400], modes, sizeof modes), 0);

    // The set-up runs on the GUI thread and hooks the stream.
    EXPECT_EQ(host.CallsOffGuiThread(), 0u);
    for (uint32_t code : {PM_SCANNING, PM_BANDWIDTH, PM_SQUELCHSETTINGS, PM_GETVALUE})
        EXPECT_GT(host.Count(code), 0u) << code;
    const std::string log = host.ReceiverLog();
    EXPECT_NE(log.find("SetAdvancedMode 7 1"), std::string::npos) << log;
    EXPECT_NE(log.find("SetupStreams 7 hook"), std::string::npos) << log;

    // Close: the withdrawal (no mode list, flags cleared), unhooked, PM_CLOSED last.
    seen.clear();
    host.Close(7);
    EXPECT_EQ(host.Calls().back().msg, PM_CLOSED);
    EXPECT_EQ(host.Calls().back().cbData, 9u);
    EXPECT_EQ(At(seen.size() - 1, 0), 400u);
    EXPECT_EQ(At(seen.size() - 1, 228), 0u);
    EXPECT_EQ(At(seen.size() - 1, 200) & 0x306u, 0u);
    EXPECT_NE(host.ReceiverLog().find("SetupStreams 7 unhook"), std::string::npos);
}

// Blocks of the host's record come back in order behind the fixed part; a pointer outside the
// record and a count that overruns it are dropped.
TEST_F(PluginStart, HostBlocksRelocatedAndBadPointersDropped) {
    testbed::HostRecordBuilder b;
    b.AddBlock(324, std::vector<uint8_t>(24, 0x32));  // two 12-byte entries
    b.AddBlock(184, std::vector<uint8_t>(28, 0x18));
    b.AddBlock(336, std::vector<uint8_t>(20, 0x33));  // word 328 claims 1000 entries
    b.SetWord(320, 2);
    b.SetWord(328, 1000);
    b.SetWord(360, 0x10);  // far outside the record
    std::vector<uint8_t> record = b.Build();
    ASSERT_NE(host.Start(1, record.data()), 0u);
    ASSERT_EQ(seen.at(0).bytes.size(), 400u + 28 + 56 + 24);
    EXPECT_EQ(Offset(0, 184), 400u);
    EXPECT_EQ(Offset(0, 236), 428u);
    EXPECT_EQ(Offset(0, 324), 484u);
    EXPECT_EQ(At(0, 336), 0u);
    EXPECT_EQ(At(0, 360), 0u);
    EXPECT_EQ(seen[0].bytes[400], 0x18);
    EXPECT_EQ(seen[0].bytes[484], 0x32);
    host.Close(1);
}

// Expected fields of each stream, with the end-of-call event for voice.
struct StreamCase {
    const char* file;  // null: the generated call
    int32_t nac, tgid, sourceId;
    bool encrypted, voice;
    int frames;  // voice frames of a recording
};

const StreamCase kStreams[] = {
    {nullptr, 0x2A7, 0x1234, 0xABCDE, false, true, 0},
    {"voice-nac293-tg1.if.wav", 0x293, 1, 1, false, true, 360},
    {"voice-nac1f5-tg7455.if.wav", 0x1F5, 7455, 4270002, false, true, 171},
    {"voice-encrypted-nac104-tg1543.if.wav", 0x104, 1543, -1, true, true, 306},
    {"control-nac140.if.wav", 0x140, -1, -1, false, false, 0},
};

bool HasEvent(const RunResult& r, uint8_t type) {
    for (const auto& packet : r.eventPackets) {
        uint32_t n;
        std::memcpy(&n, &packet[kMediaHeaderBytes], 4);
        for (uint32_t i = 0; i < n; ++i)
            if (packet[kMediaHeaderBytes + 4 + 21 * i] == type) return true;
    }
    return false;
}

TEST(PluginStream, DecodedParametersAudioSpectraAndEvents) {
    for (const StreamCase& c : kStreams) {
        SCOPED_TRACE(c.file ? c.file : "generated call");
        int voiceFrames = 0;
        RunOptions o;
        o.wav = c.file ? e2e::Recording(c.file) : e2e::WriteTestCall("e2e_call.if.wav", 0x80, &voiceFrames);
        VktHost host;
        const RunResult r = e2e::Run(host, o);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.badMediaPackets, 0u);
        EXPECT_EQ(r.offGuiThread, 0u);
        EXPECT_EQ(r.callsAfterClosed, 0u);
        EXPECT_EQ(r.lastMessage, PM_CLOSED);
        EXPECT_TRUE(e2e::SawValue(r, &ApcoParams::nac, c.nac));
        EXPECT_TRUE(c.tgid == -1 || e2e::SawValue(r, &ApcoParams::tgid, c.tgid));
        EXPECT_TRUE(c.sourceId == -1 || e2e::SawValue(r, &ApcoParams::sourceId, c.sourceId));
        ASSERT_FALSE(r.spectrumRates.empty());
        for (uint32_t rate : r.spectrumRates) EXPECT_EQ(rate, 24000u);
        if (!c.voice) {
            EXPECT_FALSE(r.eventPackets.empty());
            EXPECT_TRUE(HasEvent(r, 0x80)) << "identifier updates";
            continue;
        }
        // Voice then terminator; the call's end reaches the host as a type-256 packet.
        size_t firstVoice = r.params.size(), terminator = 0;
        for (size_t i = 0; i < r.params.size(); ++i) {
            if (r.params[i].transmissionType == 4 && firstVoice == r.params.size()) firstVoice = i;
            if (r.params[i].transmissionType == 5 && i > firstVoice) terminator = i;
        }
        EXPECT_GT(terminator, firstVoice);
        EXPECT_TRUE(HasEvent(r, 0x81)) << "end of call";
        size_t voiceSamples = 0, silent = 0, loud = 0;
        for (const e2e::AudioBlock& a : r.audio) {
            EXPECT_EQ(a.rate, 16000u);
            if (a.size != 2067) continue;
            voiceSamples += a.samples;
            const bool encrypted = a.algid >= 0 && a.algid <= 255 && a.algid != 0x80;
            EXPECT_TRUE(!encrypted || a.meanSquare == 0.0) << "encrypted voice must be silent";
            (a.meanSquare == 0.0 ? silent : loud) += 1;
        }
        EXPECT_GT(c.encrypted ? silent : loud, 10u);
        if (voiceFrames) {
            // 160 samples per frame at 8000/s become 320 at 16000/s; the last block may be partial.
            EXPECT_LE(voiceSamples, voiceFrames * 320u);
            EXPECT_GE(voiceSamples + 1024, voiceFrames * 320u);
            // The vocoder's error rate is smoothed from its start value: on a clean signal it
            // stays low and has fallen to 0 by the end of the call.
            float last = -1.0f;
            for (const ApcoParams& p : r.params) {
                if (p.transmissionType != 4) continue;
                EXPECT_LT(p.bitErrorRatePercent, 3.0f);
                last = p.bitErrorRatePercent;
            }
            EXPECT_EQ(last, 0.0f);
        }
    }
}

// The voice blocks that reached the host, each with the parameters last sent before it and
// the call it falls in (as the run command counts calls: a run of voice parameters), and the
// voice parameters with their call.
struct VoiceTimeline {
    struct Block {
        int call;
        ApcoParams params;
        double meanSquare;
    };
    std::vector<Block> blocks;
    std::vector<std::pair<int, ApcoParams>> voiceParams;
    int calls = 0;
    uint64_t voiceSamples = 0;  // at 16000/s
};

VoiceTimeline RunTimeline(const std::string& wav, uint32_t blockBytes) {
    VktHost host;
    RunOptions o;
    o.wav = wav;
    o.blockBytes = blockBytes;
    const RunResult r = e2e::Run(host, o);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.offGuiThread, 0u);
    EXPECT_EQ(r.lastMessage, PM_CLOSED);
    EXPECT_EQ(r.badMediaPackets, 0u);
    VoiceTimeline t;
    std::vector<int> callOf{0};  // by the number of parameter packets sent
    for (size_t i = 0; i < r.params.size(); ++i) {
        const bool voice = r.params[i].transmissionType == 4;
        t.calls += voice && (i == 0 || r.params[i - 1].transmissionType != 4);
        callOf.push_back(t.calls);
        if (voice) t.voiceParams.push_back({t.calls, r.params[i]});
    }
    const ApcoParams none = {0, -1, -1, -1, -1, 0, -1, -1, 0};
    for (const e2e::AudioBlock& a : r.audio) {
        // Voice: 512 samples at 8000/s become 1024 at 16000/s; analogue blocks are a third of
        // the receiver's block.
        if (a.meanSquare < 0 || a.samples < 1000 || a.samples > 1050) continue;
        t.blocks.push_back(
            {callOf[a.paramsBefore], a.paramsBefore ? r.params[a.paramsBefore - 1] : none, a.meanSquare});
        t.voiceSamples += a.samples;
    }
    return t;
}

// The receiver's 64 KB blocks (0.68 s of voice each: more audio blocks than the decoder keeps
// between two IF blocks) bring the host every voice frame that its 4 KB blocks do.
TEST(PluginStream, VoiceFramesAtTheHostDoNotDependOnTheBlockSize) {
    for (const StreamCase& c : kStreams) {
        if (!c.voice) continue;
        SCOPED_TRACE(c.file ? c.file : "generated call");
        int frames = c.frames;
        const std::string wav = c.file ? e2e::Recording(c.file) : e2e::WriteTestCall("e2e_call.if.wav", 0x80, &frames);
        const VoiceTimeline small = RunTimeline(wav, 4096), large = RunTimeline(wav, 65536);
        EXPECT_EQ(small.voiceSamples, frames * 320u / 1024 * 1024);  // 320 a frame, in whole blocks
        EXPECT_EQ(large.voiceSamples, small.voiceSamples);
        EXPECT_EQ(large.blocks.size(), small.blocks.size());
    }
}

// A clear call (MFID 0x90, TGID 0x1234, source 0xABCDE) and its terminator; after a second of
// receiver noise an encrypted call (ALGID 0x81, MFID 0, TGID 0x0777) whose header and first
// LDU1 are behind NIDs beyond correction. The second call shows none of the first's fields;
// its voice plays while the algorithm is unknown and is silent once it is known to be DES.
TEST(PluginStream, EncryptedCallAfterAClearOneShowsNoneOfItsFields) {
    p25test::TestCall clear, encrypted;
    clear.mfid = 0x90;
    clear.superframes = 3;
    encrypted.algid = 0x81;
    encrypted.tgid = 0x0777;
    encrypted.sourceId = 0x00C0DE;
    encrypted.headerLost = true;
    encrypted.seed = 8;
    std::vector<float> x = p25test::MakeTestCallIf(clear);
    const std::vector<float> second = p25test::MakeTestCallIf(encrypted);
    x.insert(x.end(), second.begin(), second.end());
    const std::string wav = e2e::TempWav("e2e_clear_then_des.if.wav");
    ASSERT_TRUE(wavtest::WriteWav16(wav, x, 48000));
    auto noneOfTheFirst = [](const ApcoParams& p) {
        EXPECT_NE(p.algorithmId, 0x80);
        EXPECT_NE(p.manufacturerId, 0x90);
        EXPECT_NE(p.tgid, 0x1234);
        EXPECT_NE(p.sourceId, 0xABCDE);
    };
    for (uint32_t blockBytes : {4096u, 65536u}) {
        SCOPED_TRACE(blockBytes);
        const VoiceTimeline t = RunTimeline(wav, blockBytes);
        EXPECT_EQ(t.calls, 2);
        size_t firstCall = 0, unknown = 0, des = 0;
        for (const auto& b : t.blocks) {
            EXPECT_TRUE(b.call == 1 || b.call == 2) << b.call;
            if (b.call == 1) {
                ++firstCall;
                EXPECT_EQ(b.params.algorithmId, 0x80);
                continue;
            }
            noneOfTheFirst(b.params);
            const bool known = b.params.algorithmId != -1;
            EXPECT_TRUE(!known || b.params.algorithmId == 0x81) << b.params.algorithmId;
            EXPECT_EQ(b.meanSquare > 0.0, !known) << "unknown algorithms play, known encrypted voice is silent";
            ++(known ? des : unknown);
        }
        // 54 frames of the first call fill 16 blocks of 512 at 8000/s; the second call's 90
        // (and the first call's last 448 samples) 29: the first 18 frames or so under an
        // unknown algorithm (a 64 KB block may hold them all and the sync that ends them).
        EXPECT_EQ(firstCall, 16u);
        EXPECT_EQ(t.blocks.size(), 45u);
        EXPECT_GT(des, 20u);
        EXPECT_TRUE(blockBytes != 4096 || unknown > 3) << unknown;
        for (const auto& [call, p] : t.voiceParams)
            if (call == 2) noneOfTheFirst(p);
        const ApcoParams& last = t.voiceParams.back().second;
        EXPECT_TRUE(last.algorithmId == 0x81 && last.tgid == 0x0777 && last.manufacturerId == 0x00);
    }
}

// A lone encrypted call with its header intact and the second LDU1's NID, or the third LDU2's,
// beyond correction and read as TDU, TDULC or a header: DES holds to the end of the call and
// none of it plays; only that unit's 9 frames are lost.
TEST(PluginStream, EncryptedCallWithAVoiceUnitMisreadAsATerminatorStaysSilent) {
    for (const auto& [ldu, readAs] :
         {std::pair(2, 0x3), std::pair(2, 0xF), std::pair(5, 0x3), std::pair(5, 0xF), std::pair(5, 0x0)}) {
        p25test::TestCall call;
        call.algid = 0x81;
        call.misreadLdu = ldu;
        call.misreadAs = readAs;
        const std::string wav = e2e::TempWav("e2e_des_misread.if.wav");
        ASSERT_TRUE(wavtest::WriteWav16(wav, p25test::MakeTestCallIf(call), 48000));
        for (uint32_t blockBytes : {1024u, 4096u, 65536u}) {
            SCOPED_TRACE(testing::Message() << "LDU " << ldu << " as " << readAs << ", " << blockBytes << " bytes");
            const VoiceTimeline t = RunTimeline(wav, blockBytes);
            EXPECT_EQ(t.blocks.size(), 25u);  // 81 frames
            for (const auto& b : t.blocks)
                EXPECT_TRUE(b.params.algorithmId == 0x81 && b.meanSquare == 0.0) << b.params.algorithmId;
        }
    }
}

// Host codes after the start, and what the host must see then.
TEST(PluginStream, ModesScanningAndResolution) {
    int frames = 0;
    const std::string call = e2e::WriteTestCall("e2e_modes.if.wav", 0x80, &frames);
    uint32_t answer[2] = {0, 19};
    struct ModeCase {
        const char* name;
        std::function<void(VktHost&)> codes;
        std::function<void(const RunResult&)> check;
    } cases[] = {
        {"P25 only: no analogue audio", [](VktHost& h) { h.Notify(1, PN_MODE, 19); },
         [](const RunResult& r) {
             for (const auto& a : r.audio) EXPECT_EQ(a.size, 2067u);
             EXPECT_FALSE(r.audio.empty());
         }},
        {"FM only: no identifiers, no events, no voice", [](VktHost& h) { h.Notify(1, PN_MODE, 2); },
         [](const RunResult& r) {
             for (const auto& p : r.params) EXPECT_EQ(p.nac, -1);
             EXPECT_TRUE(r.eventPackets.empty());
             for (const auto& a : r.audio) EXPECT_NE(a.size, 2067u);
             EXPECT_FALSE(r.audio.empty());
         }},
        {"mode query answered, then P25 only", [&](VktHost& h) { h.Notify(1, PN_MODE, 19, 8, answer); },
         [&](const RunResult& r) {
             EXPECT_EQ(answer[0], 1u);
             for (const auto& a : r.audio) EXPECT_EQ(a.size, 2067u);
         }},
        {"scanning: no audio, no parameters, a held-back spectrum",
         [](VktHost& h) {
             h.SetValue(PN_SCANNING, 1);  // what the host answers when the plug-in asks
             h.Notify(1, PN_SCANNING, 1);
             h.Notify(1, PN_FREQUENCY, 851000000);
         },
         [](const RunResult& r) {
             EXPECT_TRUE(r.audio.empty());
             EXPECT_TRUE(r.params.empty());
         }},
        {"RBW 1 Hz: 16385 bins", [](VktHost& h) { h.Notify(1, PN_RBW, 1); },
         [](const RunResult& r) { EXPECT_FALSE(r.spectrumRates.empty()); }},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        VktHost host;
        RunOptions o;
        o.wav = call;
        o.afterStart = c.codes;
        size_t largeSpectra = 0;
        o.onCall = [&](testbed::HostCall& call, void*) {
            if (call.msg == PMR_IFSpectrum && call.cbData == 16385 * 4) ++largeSpectra;
        };
        const RunResult r = e2e::Run(host, o);
        ASSERT_TRUE(r.finished);
        c.check(r);
        EXPECT_TRUE(std::strncmp(c.name, "RBW", 3) != 0 || largeSpectra > 0);
        EXPECT_EQ(r.callsAfterClosed, 0u);
    }
}

// Bytes at the very end of a readable page: reading one byte further faults.
struct GuardedBytes {
    explicit GuardedBytes(size_t n) {
        base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base + 4096, 4096, PAGE_NOACCESS, &old);
        data = base + 4096 - n;
    }
    ~GuardedBytes() { VirtualFree(base, 0, MEM_RELEASE); }
    uint8_t* base;
    uint8_t* data;
};

TEST_F(PluginStart, ShortAndMalformedHostDataAreRefusedSafely) {
    ASSERT_NE(host.Start(1, nullptr), 0u);
    // A squelch record of 8 bytes, a host record whose size word exceeds cbData, and one whose
    // size word is absurd: nothing beyond the given bytes is read.
    GuardedBytes squelch(8);
    host.Notify(1, PN_SQUELCHSETTINGS, 0x2, 8, squelch.data);
    GuardedBytes info(16);
    const uint32_t claims[4] = {4000, 400, 0, 0};
    std::memcpy(info.data, claims, 16);
    host.Notify(1, PN_HOSTINFO, 0, 16, info.data);
    const uint32_t absurd[4] = {0xFFFFFFF0u, 400, 0, 0};
    std::memcpy(info.data, absurd, 16);
    host.Notify(1, PN_HOSTINFO, 0, 0xFFFFFFFFu, info.data);
    host.Notify(1, 0x7777, 1, 2, nullptr);  // unknown code
    host.Notify(9, PN_CLOSE);               // unknown handle
    host.Pump(100);
    host.Close(1);
    EXPECT_EQ(host.Calls().back().msg, PM_CLOSED);
}

// Host records that end at a no-access page: a start record whose size word claims more than
// the readable memory holds counts as absent (the empty announcement), a PN_HOSTINFO of 1 to 3
// bytes is not read at all (the stored copy stays); either way the plug-in runs on.
TEST_F(PluginStart, HostRecordsAtAPageEndAreReadNoFurtherThanTheyReach) {
    // No stored demodulation mode: the PN_MODE below must change the mode to be announced.
    std::vector<uint8_t> named = e2e::FreshRecord("PAGEEND1");
    const struct {
        const char* what;
        size_t readable;  // bytes before the no-access page
        uint32_t sizeWord;
        bool kept;
    } starts[] = {{"the whole record readable", 400, 400, true},
                  {"size word cut by the page", 2, 0, false},
                  {"400 claimed, 8 readable", 8, 400, false},
                  {"400 claimed, 399 readable", 399, 400, false},
                  {"size word beyond the largest record", 400, 0x7FFFFFF0u, false}};
    auto setUpsEnded = [&](uint32_t n) {  // waits until n instances ran their set-up to its end
        auto ended = [](const testbed::HostCall& c) { return c.msg == PM_SETFLAGS && c.dwParam == 0x10004; };
        auto count = [&] { return std::count_if(host.Calls().begin(), host.Calls().end(), ended); };
        return host.PumpUntil([&] { return count() == static_cast<long>(n); }, 5000);
    };
    uint32_t handle = 1;
    for (const auto& c : starts) {
        SCOPED_TRACE(c.what);
        GuardedBytes page(c.readable);
        std::memcpy(page.data, named.data(), c.readable);
        if (c.readable >= 4) std::memcpy(page.data, &c.sizeWord, 4);
        const size_t first = seen.size();
        ASSERT_NE(host.Start(handle, page.data), 0u);
        ASSERT_GT(seen.size(), first);
        EXPECT_EQ(seen[first].bytes.size(), 456u);
        EXPECT_EQ(std::memcmp(&seen[first].bytes[76], "PAGEEND1", 8) == 0, c.kept);
        EXPECT_TRUE(setUpsEnded(handle));
        host.Close(handle++);
        EXPECT_EQ(host.Calls().back().msg, PM_CLOSED);
    }
    ASSERT_NE(host.Start(9, named.data()), 0u);
    ASSERT_TRUE(setUpsEnded(handle));
    for (uint32_t bytes : {1u, 2u, 3u}) {
        GuardedBytes page(bytes);
        std::memset(page.data, 0xFF, bytes);
        host.Notify(9, PN_HOSTINFO, 0, bytes, page.data);
    }
    const size_t before = seen.size();
    host.Notify(9, PN_MODE, 19);
    ASSERT_GT(seen.size(), before);
    EXPECT_EQ(std::memcmp(&seen.back().bytes[76], "PAGEEND1", 8), 0) << "the record given at the start";
    host.Close(9);
    EXPECT_EQ(host.Calls().back().msg, PM_CLOSED);
}

// Ends the process when the cycle counter stops moving for 30 s, until told to stop.
struct Watch {
    volatile LONG cycle = 0;
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

DWORD WINAPI Watchdog(void* p) {
    auto* watch = static_cast<Watch*>(p);
    LONG last = -1;
    while (WaitForSingleObject(watch->stop, 30000) == WAIT_TIMEOUT) {
        const LONG now = InterlockedCompareExchange(&watch->cycle, 0, 0);
        if (now == last) {
            std::fprintf(stderr, "watchdog: cycle %ld hangs\n", now);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        last = now;
    }
    return 0;
}

// Start, stream a while, close, a hundred times with random block sizes and timings; a
// watchdog ends the process when a cycle hangs.
TEST(PluginLifecycle, RandomStartStreamCloseCycles) {
    int frames = 0;
    const std::string call = e2e::WriteTestCall("e2e_cycles.if.wav", 0x81, &frames);
    std::mt19937 rng(2024);
    Watch watch;
    HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, &watch, 0, nullptr);
    VktHost host;
    std::string error, name;
    ASSERT_TRUE(host.Load(e2e::PluginPath(), &error)) << error;
    host.SetRecordLimit(1000);
    host.Init(&name);
    size_t closed = 0, after = 0;
    for (int cycle = 0; cycle < 100; ++cycle) {
        ReceiverConfig config{};
        config.structSize = sizeof config;
        config.blockBytes = 2 * std::uniform_int_distribution<uint32_t>(1, 8000)(rng);
        config.loops = 1;
        std::memcpy(config.wavPath, call.c_str(), call.size() + 1);
        ASSERT_TRUE(host.ConfigureReceiver(config));
        bool isClosed = false;
        host.onCall = [&](testbed::HostCall& c, void*) {
            if (isClosed) ++after;
            if (c.msg == PM_CLOSED) isClosed = true, ++closed;
        };
        ASSERT_NE(host.Start(1, nullptr), 0u);
        host.Pump(std::uniform_int_distribution<DWORD>(0, 150)(rng));
        host.Close(1);
        host.Pump(std::uniform_int_distribution<DWORD>(0, 20)(rng));
        InterlockedIncrement(&watch.cycle);
    }
    SetEvent(watch.stop);
    WaitForSingleObject(watchdog, INFINITE);
    CloseHandle(watchdog);
    CloseHandle(watch.stop);
    host.onCall = nullptr;
    EXPECT_EQ(closed, 100u);
    EXPECT_EQ(after, 0u);
}

// One hour of IF (a recording looped) as fast as the stand-ins go: memory flat after the
// first minutes of stream and every voice frame's audio at the host.
TEST(PluginLongRun, OneHourOfIfKeepsMemoryFlat) {
    const std::string file = e2e::Recording("voice-nac293-tg1.if.wav");
    const uint32_t loops = 392;  // 9.2 s each
    const uint32_t blockBytes = 65536;
    size_t perLoop = 0;  // voice blocks of the file played once
    {
        VktHost first;
        RunOptions once;
        once.wav = file;
        once.blockBytes = blockBytes;
        for (const auto& a : e2e::Run(first, once).audio) perLoop += a.size == 2067;
    }
    ASSERT_GT(perLoop, 80u);
    VktHost host;
    RunOptions o;
    o.wav = file;
    o.loops = loops;
    o.blockBytes = blockBytes;
    o.timeoutMs = 600000;
    o.keepRecords = false;
    size_t voiceBlocks = 0, marked = 0;
    SIZE_T afterMinute = 0, peakAfter = 0;
    o.onCall = [&](testbed::HostCall& call, void*) {
        if (call.msg != PMR_Audio) return;
        if (call.cbData == 2067) ++voiceBlocks;
        PROCESS_MEMORY_COUNTERS m{};
        if (++marked % 200 || !GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m)) return;
        if (marked < 2000) return;  // the first minutes of stream
        if (!afterMinute) afterMinute = m.PagefileUsage;
        if (m.PagefileUsage > peakAfter) peakAfter = m.PagefileUsage;
    };
    const RunResult r = e2e::Run(host, o);
    ASSERT_TRUE(r.finished);
    EXPECT_GT(afterMinute, 0u);
    EXPECT_LT(peakAfter, afterMinute + (4u << 20)) << "memory grew after the first minute";
    // Each loop delivers its voice; a block may straddle the loop boundary.
    EXPECT_GE(voiceBlocks + loops, perLoop * loops);
    EXPECT_LE(voiceBlocks, perLoop * loops + loops);
}

// The host and the plug-in in a folder of their own without the receiver library: the error
// box comes up (the host dismisses it and prints its text) and nothing is hooked.
TEST(PluginReceiver, MissingLibraryShowsTheErrorBox) {
    unsigned long code = 0;
    const std::string text = e2e::RunHostInFolder("", "apco_no_receiver", &code);
    EXPECT_EQ(code, 0u) << text;
    EXPECT_NE(text.find("message box \"K927APCO - Error\": Failed to load K927API."), std::string::npos) << text;
    EXPECT_EQ(text.find("code 0x110b"), std::string::npos) << "no stream, so no spectra\n" << text;
}

}  // namespace
