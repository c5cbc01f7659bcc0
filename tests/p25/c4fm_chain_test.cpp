// The receive chain on the real recordings: IF blocks of 2048 samples through the C4FM
// demodulator, the frame decoder and the vocoder, with the decoded fields read after every
// block as the plug-in reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "p25/apco_frame_decoder.h"
#include "p25/c4fm_demodulator.h"
#include "tests/support/c4fm_modulator.h"
#include "tests/support/p25_frame_builder.h"
#include "tests/support/wav_io.h"
#include "tests/support/c4fm_frame_scan.h"

namespace {

using c4fmtest::C4fmOptions;

struct ChainResult {
    // Fields read while the decoder reports voice or trunking traffic (a data unit whose NID
    // the code accepted or corrected).
    std::set<int> nacs, tgids, sources, algids, mfids, types;
    // The fields shown at any time, terminators and other units included.
    std::set<int> anyNacs, anyTgids, anySources, anyDestinations, anyAlgids, anyMfids;
    int lastType = kTransmissionNone;
    std::vector<float> voiceErrorRates;  // percent, after each block decoding voice
    int audioBlocks = 0;
    double audioPower = 0;  // mean square of the decoded audio, full scale 1
    std::string symbols;    // the demodulated text, for the test-side frame scan
};

void Collect(std::set<int>& values, int value) {
    if (value != -1) values.insert(value);
}

ChainResult RunChain(const std::vector<float>& x, int block = 2048) {
    CC4fmDemodulator demodulator;
    demodulator.EnsureFilters();
    CApcoFrameDecoder decoder;
    decoder.SetBlockSize(512);
    ChainResult r;
    double energy = 0;
    long samples = 0;
    for (size_t done = 0; done < x.size(); done += block) {
        int n = static_cast<int>(std::min<size_t>(block, x.size() - done));
        int symbols = demodulator.Process(x.data() + done, n);
        EXPECT_GE(symbols, 0);
        if (symbols <= 0) continue;
        EXPECT_GE(decoder.Process(demodulator.GetSymbols(), symbols), 0);
        const int type = decoder.GetTransmissionType();
        r.types.insert(type);
        r.lastType = type;
        r.symbols.append(demodulator.GetSymbols(), static_cast<size_t>(symbols));
        Collect(r.anyNacs, decoder.GetNac());
        Collect(r.anyTgids, decoder.GetTgid());
        Collect(r.anySources, decoder.GetSourceId());
        Collect(r.anyDestinations, decoder.GetDestinationId());
        Collect(r.anyAlgids, decoder.GetAlgid());
        Collect(r.anyMfids, decoder.GetMfid());
        if (type == kTransmissionVoice || type == kTransmissionTrunking) {
            Collect(r.nacs, decoder.GetNac());
            Collect(r.tgids, decoder.GetTgid());
            Collect(r.sources, decoder.GetSourceId());
            Collect(r.algids, decoder.GetAlgid());
            Collect(r.mfids, decoder.GetMfid());
        }
        if (decoder.GetTransmissionType() == kTransmissionVoice) r.voiceErrorRates.push_back(decoder.GetBitErrorRate());
        while (int16_t* audio = decoder.PopAudioBlock()) {
            for (int i = 0; i < decoder.GetBlockSize(); ++i) energy += double(audio[i]) * audio[i];
            samples += decoder.GetBlockSize();
            ++r.audioBlocks;
            decoder.ReleaseAudioBlock(audio);
        }
    }
    r.audioPower = samples ? energy / samples / (32768.0 * 32768.0) : 0;
    return r;
}

using c4fmtest::ReadRecording;

// Every field shown is one the recording carries: a NID the code cannot correct changes no
// field, nor does a header, link control or encryption sync word beyond its Reed-Solomon code,
// so noise can hide a value but not invent one. A known value must appear as well.
void ExpectFields(const std::set<int>& got, const std::set<int>& known, const char* field, const std::string& what) {
    std::string list;
    for (int v : got) list += std::to_string(v) + " ";
    bool any = false;
    for (int v : got) {
        EXPECT_TRUE(known.count(v)) << field << " " << what << ": " << list;
        any = any || known.count(v);
    }
    EXPECT_TRUE(any) << field << " " << what << ": " << list;
}

// As above for the fields shown at any time, which may also be none.
void ExpectOnly(const std::set<int>& got, const std::set<int>& known, const char* field, const std::string& what) {
    for (int v : got) EXPECT_TRUE(known.count(v)) << field << " " << what << ": false value " << v;
}

double Percentile(std::vector<float> v, double p) {
    if (v.empty()) return 100.0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * (v.size() - 1))];
}

std::vector<float> WithNoise(const std::vector<float>& x, unsigned seed, double level) {
    // White noise `level` times the recording's RMS (0.1: 20 dB below it).
    double power = 0;
    for (float v : x) power += double(v) * v;
    std::vector<float> noisy = x;
    c4fmtest::AddWhiteNoise(noisy, std::sqrt(power / x.size()) * level, seed);
    return noisy;
}

struct Copy {
    std::vector<float> samples;
    std::string what;
    bool noisy;
};

// The recording as it is, and with noise 20 dB and 17 dB below it on two seeds each.
std::vector<Copy> Copies(const std::vector<float>& x, unsigned seed) {
    std::vector<Copy> copies;
    copies.push_back({x, "clean", false});
    for (unsigned s : {seed, seed + 100})
        for (double level : {0.1, 0.14})
            copies.push_back({WithNoise(x, s, level),
                              "noise " + std::to_string(level).substr(0, 4) + " seed " + std::to_string(s), true});
    return copies;
}

struct Known {
    std::set<int> nacs, tgids, sources, algids, mfids;
};

// Each field with known values shows one of them while traffic is decoded, and none shows a
// value the recording does not carry at any time.
void ExpectKnownFields(const ChainResult& r, const Known& k, const std::string& what) {
    const struct {
        const char* name;
        const std::set<int>& got;
        const std::set<int>& any;
        const std::set<int>& known;
    } fields[] = {{"NAC", r.nacs, r.anyNacs, k.nacs},
                  {"TGID", r.tgids, r.anyTgids, k.tgids},
                  {"SID", r.sources, r.anySources, k.sources},
                  {"ALGID", r.algids, r.anyAlgids, k.algids},
                  {"MFID", r.mfids, r.anyMfids, k.mfids}};
    for (const auto& f : fields) {
        if (!f.known.empty()) ExpectFields(f.got, f.known, f.name, what);
        ExpectOnly(f.any, f.known, f.name, what);
    }
    ExpectOnly(r.anyDestinations, {}, "DID", what);  // no unit-to-unit call in the recordings
}

// Each recording as it is and with noise, then as it is in blocks of 512 to 32768 samples.
// The clear call's audio is real speech, not silence or muted frames (those stay within a few
// LSB of 0): above 10 LSB RMS, in 40 LDUs of 9 frames of 160 samples (112 blocks of 512). A
// wrong de-interleave or descrambler would put about half the bits in error; the recordings
// decode with a few percent at most. The trunked call's MFID 0x16 link control sets no field;
// every ALGID the encrypted call shows, at any time, says DES-OFB, so its voice is never taken
// for clear audio; the control channel carries trunking blocks of MFID 0x00 and 0x90, no call.
TEST(C4fmChain, RecordingsGiveTheirFields) {
    const struct {
        const char* name;
        Known known;
        std::set<int> types;     // each shows at some time
        int audioBlocks;         // at least this many; -1: none at all
        double medianErrorRate;  // percent, every copy; 0: not measured
    } kRecordings[] = {
        {"voice-nac293-tg1.if.wav",
         {{0x293}, {1}, {1}, {0x80}, {0x00}},
         {kTransmissionVoice, kTransmissionTerminator},
         100,
         0},
        {"voice-nac1f5-tg7455.if.wav",
         {{0x1F5}, {7455, 7583}, {4270002}, {0x80}, {0x00, 0x16}},
         {kTransmissionTerminator},
         0,
         3.0},
        {"voice-encrypted-nac104-tg1543.if.wav",
         {{0x104}, {1543}, {2287, 1027}, {0x81}, {0x90}},
         {kTransmissionVoice},
         0,
         0},
        {"control-nac140.if.wav", {{0x140}, {}, {}, {}, {0x00, 0x90}}, {kTransmissionTrunking}, -1, 0},
    };
    unsigned seed = 21;
    for (const auto& rec : kRecordings) {
        const std::vector<float> x = ReadRecording(rec.name);
        for (const Copy& copy : Copies(x, seed++)) {
            const ChainResult r = RunChain(copy.samples);
            const std::string what = std::string(rec.name) + " " + copy.what;
            ExpectKnownFields(r, rec.known, what);
            for (int type : rec.types) EXPECT_TRUE(r.types.count(type)) << what << " type " << type;
            if (rec.audioBlocks < 0) {
                EXPECT_FALSE(r.types.count(kTransmissionVoice)) << what;
                EXPECT_EQ(0, r.audioBlocks) << what;
            }
            if (rec.audioBlocks > 0) {
                EXPECT_GE(r.audioBlocks, rec.audioBlocks) << what;
                EXPECT_GT(r.audioPower, (10.0 / 32768) * (10.0 / 32768)) << what;
            }
            if (rec.medianErrorRate > 0) {
                EXPECT_LT(Percentile(r.voiceErrorRates, 0.5), rec.medianErrorRate) << what;
            }
            if (!rec.known.tgids.empty()) {  // the call's own talk group, not only another
                EXPECT_TRUE(r.tgids.count(*rec.known.tgids.begin())) << what;
            }
            if (rec.audioBlocks > 0 && !copy.noisy) {
                EXPECT_LT(Percentile(r.voiceErrorRates, 0.5), 1.0) << what;
                EXPECT_LT(Percentile(r.voiceErrorRates, 0.9), 3.0) << what;
            }
        }
        for (int block : {512, 8192, 32768})
            ExpectKnownFields(RunChain(x, block), rec.known, "block " + std::to_string(block));
    }
}

// A synthetic call after one second of receiver noise, written to a WAV file and read back as
// a recording would be: a clear group call, then an encrypted unit-to-unit call whose header is
// lost. The fields come from the link control, header and encryption sync as sent, and the
// second call never shows the first one's "clear".
TEST(C4fmChain, SyntheticCallsAfterNoiseGiveTheirFields) {
    p25test::FrameBuilder builder;
    const int nac = 0x2A7;
    const p25test::EncryptionSync des = p25test::MakeEs(0x81, 0x1234);
    const p25test::LinkControl unit = p25test::UnitLc(0, 0xBEEF, 0x4321);
    std::string groupCall = p25test::VoiceCall(builder, nac, 4, p25test::MakeHeader(0, 0x80, 0, 0x1234),
                                               p25test::GroupLc(0, false, 0x1234, 0xABCD), p25test::MakeEs(0x80, 0));
    std::string unitCall;
    for (int i = 0; i < 4; ++i)
        unitCall += builder.Ldu1(nac, p25test::PatternVoice(i), unit.data()) +
                    builder.Ldu2(nac, p25test::PatternVoice(i + 10), des.data());
    unitCall += builder.Tdu(nac);

    C4fmOptions o;
    o.carrierOffsetHz = 700;
    o.ebN0Db = 25;
    const double noiseRms = c4fmtest::NoiseRmsForEbN0(o.amplitude, o.ebN0Db);
    std::vector<float> x = c4fmtest::WhiteNoise(48000, noiseRms, 31);
    std::vector<float> first = c4fmtest::ModulateC4fm(groupCall, o);
    x.insert(x.end(), first.begin(), first.end());
    std::vector<float> gap = c4fmtest::WhiteNoise(24000, noiseRms, 32);
    x.insert(x.end(), gap.begin(), gap.end());
    const size_t secondStart = x.size();
    o.seed = 2;
    std::vector<float> second = c4fmtest::ModulateC4fm(unitCall, o);
    x.insert(x.end(), second.begin(), second.end());

    const std::string path = testing::TempDir() + "c4fm_chain_calls.wav";
    ASSERT_TRUE(wavtest::WriteWav16(path, x, 48000));
    std::vector<int16_t> stored;
    int rate = 0;
    ASSERT_TRUE(wavtest::ReadWav16(path, &stored, &rate));
    std::remove(path.c_str());
    EXPECT_EQ(48000, rate);
    ASSERT_EQ(x.size(), stored.size());
    const std::vector<float> played = wavtest::ToFloat(stored);

    ChainResult a = RunChain(std::vector<float>(played.begin(), played.begin() + secondStart));
    EXPECT_EQ(std::set<int>{nac}, a.nacs);
    EXPECT_EQ(std::set<int>{0x1234}, a.tgids);
    EXPECT_EQ(std::set<int>{0xABCD}, a.sources);
    EXPECT_EQ(std::set<int>{0x80}, a.algids);
    EXPECT_EQ(std::set<int>{0x00}, a.mfids);
    EXPECT_TRUE(a.types.count(kTransmissionVoice));
    // The call ended: the fields were cleared after its terminator.
    EXPECT_EQ(kTransmissionNone, a.lastType);

    CC4fmDemodulator demodulator;
    CApcoFrameDecoder decoder;
    std::set<int> destinations, sources, algids;
    for (size_t done = 0; done < played.size(); done += 2048) {
        int n = static_cast<int>(std::min<size_t>(2048, played.size() - done));
        int symbols = demodulator.Process(played.data() + done, n);
        if (symbols > 0) decoder.Process(demodulator.GetSymbols(), symbols);
        while (int16_t* audio = decoder.PopAudioBlock()) decoder.ReleaseAudioBlock(audio);
        if (done >= secondStart && decoder.GetTransmissionType() == kTransmissionVoice) {
            Collect(destinations, decoder.GetDestinationId());
            Collect(sources, decoder.GetSourceId());
            Collect(algids, decoder.GetAlgid());
        }
    }
    EXPECT_TRUE(destinations.count(0xBEEF));
    EXPECT_TRUE(sources.count(0x4321));
    EXPECT_EQ(std::set<int>{0x81}, algids);
}

// A receiver that drops out for 2 s inside an LDU1 and inside an LDU2: the zero samples
// demodulate to '0' symbols, which read as all-zero link control and encryption sync words;
// no TGID 0, source 0 or ALGID 0 may show, and the call's own fields still do.
TEST(C4fmChain, ReceiverGapsInsideVoiceUnitsInventNoField) {
    std::vector<float> x = ReadRecording("voice-nac293-tg1.if.wav");
    ASSERT_FALSE(x.empty());
    std::vector<size_t> gaps;  // samples; the symbol at p was about sample 10 p
    for (const c4fmtest::FoundFrame& f : c4fmtest::FindFrames(RunChain(x).symbols))
        if ((f.duid == 0x5 && gaps.empty()) || (f.duid == 0xA && gaps.size() == 1 && f.position > 20000))
            gaps.push_back(10 * f.position + 4000);
    ASSERT_EQ(2u, gaps.size());
    for (auto gap = gaps.rbegin(); gap != gaps.rend(); ++gap)
        x.insert(x.begin() + static_cast<long>(*gap), 96000, 0.0f);
    ChainResult r = RunChain(x);
    ExpectKnownFields(r, {{0x293}, {1}, {1}, {0x80}, {0x00}}, "with receiver gaps");
}

TEST(C4fmChain, DamagedCopiesNeverCrash) {
    const std::pair<const char*, int> kFiles[] = {{"voice-nac293-tg1.if.wav", 0x293},
                                                  {"voice-encrypted-nac104-tg1543.if.wav", 0x104}};
    for (auto [name, nac] : kFiles) {
        const std::vector<float> x = ReadRecording(name);
        ASSERT_GT(x.size(), 300000u) << name;
        std::vector<float> truncated(x.begin(), x.begin() + x.size() / 2 + 1234);
        std::vector<float> clipped = x;
        for (float& v : clipped) v = std::max(-0.02f, std::min(0.02f, v * 10));
        std::vector<float> spliced(x.begin() + 150000, x.begin() + 220007);
        spliced.insert(spliced.end(), x.begin() + 31111, x.begin() + 90000);
        spliced.insert(spliced.end(), 3000, 0.0f);
        spliced.insert(spliced.end(), x.begin() + 250001, x.end());
        for (const auto* copy : {&truncated, &clipped, &spliced}) {
            for (int block : {333, 2048, 16384}) {
                const std::string what = std::string(name) + " block " + std::to_string(block);
                ChainResult r = RunChain(*copy, block);
                // Whatever survives, no field is invented; the NAC shows whenever the stream
                // holds a frame whose NID checks out (of the clipped copy, only terminators may).
                ExpectOnly(r.anyNacs, {nac}, "NAC", what);
                if (!c4fmtest::FindFrames(r.symbols).empty()) {
                    EXPECT_FALSE(r.anyNacs.empty()) << what;
                }
            }
        }
    }
}

}  // namespace
