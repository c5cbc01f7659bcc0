// The voice of the real recordings through the C4FM demodulator and the frame decoder at IF
// blocks of 512 to 32768 samples, blocks taken out once per IF block as the plug-in takes them:
// every voice frame decoded gives its 160 samples, however many frames one IF block brings.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "p25/apco_frame_decoder.h"
#include "p25/c4fm_demodulator.h"
#include "tests/support/c4fm_frame_scan.h"

namespace {

constexpr int kAudioBlock = 512;  // the plug-in's block size
constexpr int kFrameSamples = 160;

struct Taken {
    std::string symbols;         // the demodulated text, in order
    std::vector<int16_t> audio;  // every sample taken out
};

void TakeAll(CApcoFrameDecoder& d, std::vector<int16_t>& audio) {
    while (int16_t* b = d.PopAudioBlock()) {
        audio.insert(audio.end(), b, b + d.GetBlockSize());
        d.ReleaseAudioBlock(b);
    }
}

Taken ThroughChain(const std::vector<float>& x, int ifBlock) {
    CC4fmDemodulator demodulator;
    demodulator.EnsureFilters();
    CApcoFrameDecoder decoder;
    decoder.SetBlockSize(kAudioBlock);
    Taken t;
    for (size_t done = 0; done < x.size(); done += static_cast<size_t>(ifBlock)) {
        const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(ifBlock), x.size() - done));
        const int symbols = demodulator.Process(x.data() + done, n);
        EXPECT_GE(symbols, 0);
        if (symbols <= 0) continue;
        t.symbols.append(demodulator.GetSymbols(), static_cast<size_t>(symbols));
        EXPECT_GE(decoder.Process(demodulator.GetSymbols(), symbols), 0);
        TakeAll(decoder, t.audio);
    }
    return t;
}

// The same text in pieces of one voice frame's 72 symbols, blocks taken out after each: a piece
// completes at most one frame, less than one block, so no cap can ever bite. What comes out
// is 160 samples for every frame decoded, up to the partly filled last block.
std::vector<int16_t> OneFrameAtATime(const std::string& text) {
    CApcoFrameDecoder decoder;
    decoder.SetBlockSize(kAudioBlock);
    std::vector<int16_t> audio;
    for (size_t pos = 0; pos < text.size(); pos += 72) {
        EXPECT_GE(decoder.Process(text.data() + pos, static_cast<int>(std::min<size_t>(72, text.size() - pos))), 0);
        TakeAll(decoder, audio);
    }
    return audio;
}

// Voice frames in the text by the test-side frame scan: nine in every LDU whose NID checks out.
int ScannedVoiceFrames(const std::string& text) {
    int frames = 0;
    for (const c4fmtest::FoundFrame& f : c4fmtest::FindFrames(text))
        if (f.duid == 0x5 || f.duid == 0xA) frames += 9;
    return frames;
}

}  // namespace

// Per recording its LDUs (LDU1 + LDU2) as counted offline. At 32768 samples one IF block brings
// about 0.68 s of voice, 34 frames, 10.7 blocks of 512: more than the ten a queue keeps between
// calls.
TEST(RecordingsVoiceAudio, EveryFrameDecodedGivesItsSamplesAtAnyIfBlock) {
    const struct {
        const char* name;
        int ldus;
    } kRecordings[] = {
        {"voice-nac293-tg1.if.wav", 40},
        {"voice-nac1f5-tg7455.if.wav", 19},
        {"voice-encrypted-nac104-tg1543.if.wav", 34},
        {"control-nac140.if.wav", 0},
    };
    for (const auto& rec : kRecordings) {
        const std::vector<float> x = c4fmtest::ReadRecording(rec.name);
        ASSERT_FALSE(x.empty()) << rec.name;
        for (int ifBlock : {512, 2048, 16384, 32768}) {
            const std::string what = std::string(rec.name) + " IF block " + std::to_string(ifBlock);
            const Taken t = ThroughChain(x, ifBlock);
            const int frames = ScannedVoiceFrames(t.symbols);
            EXPECT_EQ(9 * rec.ldus, frames) << what;
            const size_t expected = static_cast<size_t>(frames * kFrameSamples / kAudioBlock * kAudioBlock);
            EXPECT_EQ(expected, t.audio.size()) << what << ": " << frames << " frames";
            // Not only as many samples: the same, in order.
            const std::vector<int16_t> reference = OneFrameAtATime(t.symbols);
            EXPECT_EQ(expected, reference.size()) << what;
            EXPECT_TRUE(t.audio == reference) << what;
        }
    }
}
