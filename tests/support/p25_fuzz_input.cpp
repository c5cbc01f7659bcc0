#include "tests/support/p25_fuzz_input.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "p25/apco_frame_decoder.h"
#include "tests/support/p25_frame_builder.h"

namespace {

// Frame streams the mutations start from, built once.
const std::vector<std::string>& Templates() {
    static const std::vector<std::string> templates = [] {
        using namespace p25test;
        FrameBuilder fb;
        const auto voice = PatternVoice(1);
        const HeaderWord headerWord = MakeHeader(0x90, 0x84, 0x1234, 0x5678);
        const uint8_t* header = headerWord.data();
        const LinkControl lcWord = GroupLc(0x90, true, 0x1234, 0x56789A);
        const EncryptionSync esWord = MakeEs(0x84, 0x1122);
        const uint8_t *lc = lcWord.data(), *es = esWord.data();
        std::vector<std::string> t;
        t.push_back(fb.Hdu(0x293, header) + fb.Ldu1(0x293, voice, lc) + fb.Ldu2(0x293, voice, es) + fb.Tdu(0x293));
        t.push_back(fb.Tdulc(0x111, lc) + fb.SyncAndNid(0x222, kDuidPdu) + fb.SyncAndNid(0x333, kDuidTsdu));
        t.push_back(fb.Ldu1(0xF00, voice, lc) + fb.Tdu(0xF00) + fb.SyncAndNid(0x444, 0x9));
        return t;
    }();
    return templates;
}

}  // namespace

bool P25FuzzOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return true;
    const uint8_t mode = data[0];
    const int chunk = 1 + data[1] % 97;
    const uint8_t flags = data[2];
    data += 3;
    size -= 3;

    std::string text;
    switch (mode % 3) {
    case 0:  // dibits, two bits per symbol
        for (size_t i = 0; i < size; ++i)
            for (int k = 0; k < 4; ++k) text += static_cast<char>('0' + ((data[i] >> (2 * k)) & 3));
        break;
    case 1:  // raw characters, NULs and all
        text.assign(reinterpret_cast<const char*>(data), size);
        break;
    default: {  // a built stream with (position, symbol) mutations
        text = Templates()[(mode / 3) % Templates().size()];
        static const char kSymbols[] = {'0', '1', '2', '3', 'x', '\0'};
        for (size_t i = 0; i + 2 < size; i += 3) {
            const size_t pos = (static_cast<size_t>(data[i]) << 8 | data[i + 1]) % text.size();
            text[pos] = kSymbols[data[i + 2] % 6];
        }
        break;
    }
    }

    CApcoFrameDecoder decoder;
    decoder.SetBlockSize((flags & 1) ? 200 + (flags >> 1) : 512);
    std::vector<int16_t*> held;
    for (size_t pos = 0; pos < text.size(); pos += static_cast<size_t>(chunk)) {
        const int n = static_cast<int>(std::min(static_cast<size_t>(chunk), text.size() - pos));
        const int ready = decoder.Process(text.data() + pos, n);
        if (ready != -1 && ready != decoder.GetReadyBlockCount()) return false;
        const int type = decoder.GetTransmissionType();
        if (type < kTransmissionNone || type > kTransmissionTerminator || decoder.GetNac() > 0xFFF) return false;
        if (flags & 2) {
            // Take blocks out and give them back one call later, as the plug-in may.
            for (int16_t* b : held) decoder.ReleaseAudioBlock(b);
            held.clear();
            while (int16_t* b = decoder.PopAudioBlock()) held.push_back(b);
        }
        if ((flags & 4) && pos % 1000 < static_cast<size_t>(chunk))
            decoder.SetBlockSize(200 + static_cast<int>(pos % 700));
        if ((flags & 8) && pos % 512 < static_cast<size_t>(chunk))
            decoder.SetReceiverFrequency(static_cast<uint32_t>(851000000 + pos));
        if (flags & 16) {
            unsigned packetSize = 0;
            std::free(decoder.GetEventPacket(&packetSize));
        }
    }
    for (int16_t* b : held) decoder.ReleaseAudioBlock(b);
    return decoder.GetBitErrorRate() >= 0.0f && decoder.GetBitErrorRate() <= 100.0f;
}
