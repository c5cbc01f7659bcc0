#include "tests/support/p25_test_call.h"

#include "tests/support/c4fm_modulator.h"
#include "tests/support/imbe_test_encoder.h"
#include "tests/support/p25_frame_builder.h"

namespace p25test {

namespace {

std::string CallText(const TestCall& call) {
    FrameBuilder builder;
    const uint8_t algid = static_cast<uint8_t>(call.algid);
    const uint8_t header[15] = {1,
                                2,
                                3,
                                4,
                                5,
                                6,
                                7,
                                8,
                                9,
                                static_cast<uint8_t>(call.mfid),
                                algid,
                                0x00,
                                0x00,
                                static_cast<uint8_t>(call.tgid >> 8),
                                static_cast<uint8_t>(call.tgid)};
    const uint8_t lc[9] = {0x00,
                           static_cast<uint8_t>(call.mfid),
                           0x00,
                           0x00,
                           static_cast<uint8_t>(call.tgid >> 8),
                           static_cast<uint8_t>(call.tgid),
                           static_cast<uint8_t>(call.sourceId >> 16),
                           static_cast<uint8_t>(call.sourceId >> 8),
                           static_cast<uint8_t>(call.sourceId)};
    const uint8_t es[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, algid, 0x00, 0x00};
    ImbeTestQuantizer quantizer;
    auto voice = [&] {
        std::vector<VoiceFrameBits> frames(9);
        for (auto& f : frames) ImbeTestEncodeFrame(quantizer.Flat(call.toneHz, true, 9.0), f.data());
        return frames;
    };
    // 20 bit errors, none in the DUID: the BCH code corrects 11, so both units are decoded
    // on their DUID as received but their NIDs do not check out.
    Corruption lost;
    if (call.headerLost)
        for (int b = 1; b < 40; b += 2) lost.nidMask |= uint64_t(1) << b;
    std::string text = builder.Hdu(call.nac, header, lost);
    auto nid = [&](int ldu, int duid) {  // a misread unit: those 20 bits and DUID bits
        Corruption c = ldu == 0 ? lost : Corruption{};
        if (ldu == call.misreadLdu) c.nidMask = 0xAAAAAAAAAAull | uint64_t(duid ^ call.misreadAs) << 48;
        if (ldu > call.misreadLdu && ldu <= call.misreadLdu + call.lostAfterMisread) c.nidMask = 0xAAAAAAAAAAull;
        return c;
    };
    for (int i = 0; i < call.superframes; ++i) {
        text += builder.Ldu1(call.nac, voice(), lc, nid(2 * i, kDuidLdu1));
        text += builder.Ldu2(call.nac, voice(), es, nid(2 * i + 1, kDuidLdu2));
    }
    Corruption end;
    if (call.terminatorLost) end.nidMask = 0xAAAAAAAAAAull;
    text += call.terminator == kDuidTdulc ? builder.Tdulc(call.nac, lc, end) : builder.Tdu(call.nac, end);
    return text;
}

}  // namespace

std::vector<float> MakeTestCallIf(const TestCall& call, int* voiceFrames) {
    std::string text = CallText(call);
    std::string gap = c4fmtest::RandomDibits(call.nextCallGap, call.seed + 3);
    if (call.strayDuid >= 0) {
        Corruption lost;
        if (call.strayLost) lost.nidMask = 0xAAAAAAAAAAull;
        const std::string stray = FrameBuilder().SyncAndNid(call.nac, call.strayDuid, lost);
        const size_t at = 864 - (call.terminator == kDuidTdulc ? 216 : 72);
        if (gap.size() >= at + stray.size()) gap.replace(at, stray.size(), stray);
    }
    text += gap;
    if (call.nextCallNac >= 0) {
        TestCall next = call;
        next.nac = call.nextCallNac;
        next.headerLost = next.terminatorLost = false;
        next.misreadLdu = next.nextCallNac = next.strayDuid = -1;
        text += CallText(next);
    }
    if (voiceFrames) *voiceFrames = 18 * call.superframes * (call.nextCallNac >= 0 ? 2 : 1);

    c4fmtest::C4fmOptions o;
    o.ebN0Db = call.ebN0Db;
    o.seed = call.seed;
    const double rms = c4fmtest::NoiseRmsForEbN0(o.amplitude, o.ebN0Db);
    const int lead = static_cast<int>(call.leadSeconds * o.sampleRate);
    std::vector<float> x = c4fmtest::WhiteNoise(lead, rms, call.seed + 1);
    const std::vector<float> signal = c4fmtest::ModulateC4fm(text, o);
    x.insert(x.end(), signal.begin(), signal.end());
    const std::vector<float> tail = c4fmtest::WhiteNoise(lead, rms, call.seed + 2);
    x.insert(x.end(), tail.begin(), tail.end());
    return x;
}

}  // namespace p25test
