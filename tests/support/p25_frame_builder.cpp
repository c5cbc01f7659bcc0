#include "tests/support/p25_frame_builder.h"

#include <cstdlib>

namespace p25test {

const char kFrameSync[25] = "111113113311333313133333";

namespace {

// GF(64) arithmetic by shift-and-add, deliberately not table driven like the decoder's.
unsigned GfMul(unsigned a, unsigned b) {
    unsigned r = 0;
    while (b) {
        if (b & 1) r ^= a;
        b >>= 1;
        a <<= 1;
        if (a & 0x40) a ^= 0x43;
    }
    return r;
}

unsigned GfPow(unsigned a, int e) {
    unsigned r = 1;
    for (int i = 0; i < e; ++i) r = GfMul(r, a);
    return r;
}

// Generator of BCH (63,16,23): product of (x - alpha^i) over the cyclotomic cosets mod 63 that
// hold 1..22; its coefficients come out binary. g[i] is the coefficient of x^i.
std::vector<unsigned> BchGenerator() {
    bool used[63] = {};
    for (int i = 1; i <= 22; ++i) {
        int j = i;
        do {
            used[j] = true;
            j = (2 * j) % 63;
        } while (j != i);
    }
    std::vector<unsigned> g{1};
    for (int i = 0; i < 63; ++i) {
        if (!used[i]) continue;
        const unsigned root = GfPow(2, i);
        std::vector<unsigned> next(g.size() + 1, 0);
        for (size_t k = 0; k < g.size(); ++k) {
            next[k + 1] ^= g[k];
            next[k] ^= GfMul(g[k], root);
        }
        g = next;
    }
    for (unsigned c : g)
        if (c > 1) std::abort();
    if (g.size() != 48) std::abort();  // degree 47 = 63 - 16
    return g;
}

}  // namespace

uint64_t NidEncode(int nac, int duid) {
    static const std::vector<unsigned> g = BchGenerator();
    const unsigned data = ((static_cast<unsigned>(nac) & 0xFFF) << 4) | (static_cast<unsigned>(duid) & 0xF);
    // Remainder of data(x) x^47 by g(x); bit k of rem is the coefficient of x^k.
    uint64_t rem = static_cast<uint64_t>(data) << 47;
    uint64_t gen = 0;
    for (int k = 0; k <= 47; ++k)
        if (g[k]) gen |= uint64_t(1) << k;
    for (int b = 62; b >= 47; --b)
        if (rem & (uint64_t(1) << b)) rem ^= gen << (b - 47);
    const uint64_t code = (static_cast<uint64_t>(data) << 47) | rem;  // 63 bits
    unsigned parity = 0;
    for (int b = 0; b < 63; ++b) parity ^= static_cast<unsigned>((code >> b) & 1);
    return (code << 1) | parity;
}

uint32_t Golay23EncodeModel(unsigned data12) {
    uint32_t rem = (data12 & 0xFFFu) << 11;
    for (int b = 22; b >= 11; --b)
        if (rem & (1u << b)) rem ^= 0xC75u << (b - 11);
    return ((data12 & 0xFFFu) << 11) | rem;
}

unsigned Hamming10Encode(unsigned hexbit) {
    // Each check bit completes the parity of one of the four check sets.
    static const unsigned kSets[4] = {0x398, 0x354, 0x2E2, 0x1E1};
    unsigned w = (hexbit & 63) << 4;
    for (int i = 0; i < 4; ++i) {
        unsigned v = w & kSets[i], p = 0;
        while (v) {
            p ^= v & 1;
            v >>= 1;
        }
        w |= p << (3 - i);
    }
    return w;
}

std::vector<int> RsEncode(const std::vector<int>& data, int parity) {
    // g(x) = prod (x - alpha^i), i = 1..parity; g[0] is the highest-degree coefficient.
    std::vector<unsigned> g{1};
    for (int i = 1; i <= parity; ++i) {
        const unsigned root = GfPow(2, i);
        std::vector<unsigned> next(g.size() + 1, 0);
        for (size_t k = 0; k < g.size(); ++k) {
            next[k] ^= g[k];
            next[k + 1] ^= GfMul(g[k], root);
        }
        g = next;
    }
    std::vector<unsigned> work(data.begin(), data.end());
    work.resize(data.size() + parity, 0);
    for (size_t i = 0; i < data.size(); ++i) {
        const unsigned coef = work[i];
        if (!coef) continue;
        for (size_t k = 0; k < g.size(); ++k) work[i + k] ^= GfMul(coef, g[k]);
    }
    std::vector<int> out(data.begin(), data.end());
    for (int k = 0; k < parity; ++k) out.push_back(static_cast<int>(work[data.size() + k]));
    return out;
}

std::vector<int> BytesToHexbits(const uint8_t* bytes, int count) {
    std::vector<int> out;
    const int bits = count * 8;
    for (int start = 0; start + 6 <= bits; start += 6) {
        int v = 0;
        for (int b = start; b < start + 6; ++b) v = (v << 1) | ((bytes[b / 8] >> (7 - b % 8)) & 1);
        out.push_back(v);
    }
    return out;
}

std::string BitsToDibits(const std::vector<uint8_t>& bits) {
    std::string s;
    for (size_t i = 0; i + 1 < bits.size(); i += 2) s += static_cast<char>('0' + 2 * (bits[i] & 1) + (bits[i + 1] & 1));
    return s;
}

void FlipDibitBit(std::string& text, int bit) {
    char& c = text[bit / 2];
    c = static_cast<char>('0' + ((c - '0') ^ (bit % 2 == 0 ? 2 : 1)));
}

namespace {

void AppendWord(std::vector<uint8_t>& bits, uint32_t word, int width, uint32_t flips) {
    word ^= flips;
    for (int b = width - 1; b >= 0; --b) bits.push_back(static_cast<uint8_t>((word >> b) & 1));
}

uint32_t MaskAt(const std::vector<uint32_t>& masks, size_t i) { return i < masks.size() ? masks[i] : 0; }

// Link control or encryption sync: 24 hexbits after Reed-Solomon, each as a Hamming word.
std::string HammingBlock(const std::vector<int>& hexbits, const Corruption& c) {
    std::vector<uint8_t> bits;
    for (size_t i = 0; i < hexbits.size(); ++i)
        AppendWord(bits, Hamming10Encode(hexbits[i]), 10, MaskAt(c.wordMasks, i));
    return BitsToDibits(bits);
}

std::string VoiceText(const VoiceFrameBits& frame, int index, const Corruption& c) {
    std::vector<uint8_t> bits(frame.begin(), frame.end());
    for (const auto& f : c.voiceFlips)
        if (f.first == index) bits[f.second] ^= 1;
    return BitsToDibits(bits);
}

bool IsLinkControlPosition(int u) {
    static const int kRanges[7][2] = {{149, 169}, {244, 263}, {338, 358}, {433, 453},
                                      {528, 547}, {622, 642}, {717, 732}};
    for (const auto& r : kRanges)
        if (u >= r[0] && u <= r[1]) return true;
    return false;
}

}  // namespace

std::string FrameBuilder::WithStatus(const std::string& data, int place) const {
    std::string out;
    for (char ch : data) {
        if (place % 36 == 35) {
            out += statusSymbol;
            ++place;
        }
        out += ch;
        ++place;
    }
    if (place % 36 == 35) out += statusSymbol;
    return out;
}

std::string FrameBuilder::SyncAndNid(int nac, int duid, const Corruption& c) const {
    std::vector<uint8_t> syncBits;
    for (int i = 0; i < 24; ++i) {
        const int v = kFrameSync[i] - '0';
        syncBits.push_back(static_cast<uint8_t>(v >> 1));
        syncBits.push_back(static_cast<uint8_t>(v & 1));
    }
    for (int b : c.syncFlips) syncBits[b] ^= 1;
    std::vector<uint8_t> nidBits;
    const uint64_t nid = NidEncode(nac, duid) ^ c.nidMask;
    for (int b = 63; b >= 0; --b) nidBits.push_back(static_cast<uint8_t>((nid >> b) & 1));
    std::string out = BitsToDibits(syncBits);
    std::string nidText = BitsToDibits(nidBits);
    // Places 24..56: the NID with the status symbol at place 35.
    out += nidText.substr(0, 11);
    out += statusSymbol;
    out += nidText.substr(11);
    return out;
}

std::string FrameBuilder::Hdu(int nac, const uint8_t header[15], const Corruption& c) const {
    const std::vector<int> hexbits = RsEncode(BytesToHexbits(header, 15), 16);
    std::vector<uint8_t> bits;
    // Each hexbit is the top of a 7-bit Golay data word whose last data bit is 0, sent as the
    // low 18 bits of the code word.
    for (size_t i = 0; i < hexbits.size(); ++i)
        AppendWord(bits, Golay23EncodeModel(static_cast<unsigned>(hexbits[i]) << 1) & 0x3FFFF, 18,
                   MaskAt(c.wordMasks, i));
    for (int i = 0; i < 10; ++i) bits.push_back(0);  // 5 null symbols
    return SyncAndNid(nac, kDuidHdu, c) + WithStatus(BitsToDibits(bits), 57);
}

namespace {

std::string LduBody(const FrameBuilder& fb, const std::vector<VoiceFrameBits>& voice, const std::string& lc,
                    const Corruption& c) {
    std::string voiceText;
    for (int f = 0; f < 9; ++f) voiceText += VoiceText(voice.at(static_cast<size_t>(f)), f, c);
    std::string lcText = lc + std::string(16, '0');  // low-speed data, not decoded
    std::string out;
    size_t vi = 0, li = 0;
    for (int u = 1; u <= 807; ++u) {
        const int place = 56 + u;
        if (place % 36 == 35)
            out += fb.statusSymbol;
        else if (IsLinkControlPosition(u))
            out += lcText.at(li++);
        else
            out += voiceText.at(vi++);
    }
    if (vi != voiceText.size() || li != lcText.size()) std::abort();
    return out;
}

}  // namespace

std::string FrameBuilder::Ldu1(int nac, const std::vector<VoiceFrameBits>& voice, const uint8_t lc[9],
                               const Corruption& c) const {
    const std::vector<int> hexbits = RsEncode(BytesToHexbits(lc, 9), 12);
    return SyncAndNid(nac, kDuidLdu1, c) + LduBody(*this, voice, HammingBlock(hexbits, c), c);
}

std::string FrameBuilder::Ldu2(int nac, const std::vector<VoiceFrameBits>& voice, const uint8_t es[12],
                               const Corruption& c) const {
    const std::vector<int> hexbits = RsEncode(BytesToHexbits(es, 12), 8);
    return SyncAndNid(nac, kDuidLdu2, c) + LduBody(*this, voice, HammingBlock(hexbits, c), c);
}

std::string FrameBuilder::Tdu(int nac, const Corruption& c) const {
    return SyncAndNid(nac, kDuidTdu, c) + WithStatus(std::string(14, '0'), 57);
}

std::string FrameBuilder::Tdulc(int nac, const uint8_t lc[9], const Corruption& c) const {
    const std::vector<int> hexbits = RsEncode(BytesToHexbits(lc, 9), 12);
    std::vector<uint8_t> bits;
    // Pairs of hexbits in extended Golay (24,12) words.
    for (size_t i = 0; i + 1 < hexbits.size(); i += 2) {
        const uint32_t word = Golay23EncodeModel(static_cast<unsigned>(hexbits[i] << 6 | hexbits[i + 1]));
        unsigned parity = 0;
        for (int b = 0; b < 23; ++b) parity ^= (word >> b) & 1;
        AppendWord(bits, (word << 1) | parity, 24, MaskAt(c.wordMasks, i / 2));
    }
    for (int i = 0; i < 20; ++i) bits.push_back(0);
    return SyncAndNid(nac, kDuidTdulc, c) + WithStatus(BitsToDibits(bits), 57);
}

std::vector<VoiceFrameBits> LduVoiceFrames(const std::string& text, size_t position) {
    if (position + 57 + 807 > text.size()) return {};
    std::vector<VoiceFrameBits> frames(9);
    int bit = 0;
    for (int u = 1; u <= 807; ++u) {
        if ((56 + u) % 36 == 35 || IsLinkControlPosition(u)) continue;
        const int v = text[position + 56 + static_cast<size_t>(u)] - '0';
        for (int b : {v >> 1, v & 1}) {
            frames[static_cast<size_t>(bit / 144)][static_cast<size_t>(bit % 144)] = static_cast<uint8_t>(b);
            ++bit;
        }
    }
    return frames;
}

std::vector<VoiceFrameBits> PatternVoice(int seed) {
    std::vector<VoiceFrameBits> frames(9);
    uint32_t x = 0x9E3779B9u ^ static_cast<uint32_t>(seed);
    for (auto& f : frames)
        for (auto& b : f) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(x >> 31);
        }
    return frames;
}

std::string PlainCall(int nac, int pairs) {
    HeaderWord header = MakeHeader(0, 0x80, 0, 1);
    EncryptionSync es = MakeEs(0x80, 0);
    for (int i = 0; i < 9; ++i) header[i] = static_cast<uint8_t>(i + 1), es[i] = 0;
    return VoiceCall(FrameBuilder(), nac, pairs, header, GroupLc(0, false, 1, 1), es);
}

LinkControl GroupLc(int mfid, bool emergency, int tgid, int sourceId) {
    return {0,
            static_cast<uint8_t>(mfid),
            static_cast<uint8_t>(emergency ? 0x80 : 0),
            0,
            static_cast<uint8_t>(tgid >> 8),
            static_cast<uint8_t>(tgid),
            static_cast<uint8_t>(sourceId >> 16),
            static_cast<uint8_t>(sourceId >> 8),
            static_cast<uint8_t>(sourceId)};
}

LinkControl UnitLc(int mfid, int destinationId, int sourceId) {
    return {3,
            static_cast<uint8_t>(mfid),
            0x80,
            static_cast<uint8_t>(destinationId >> 16),
            static_cast<uint8_t>(destinationId >> 8),
            static_cast<uint8_t>(destinationId),
            static_cast<uint8_t>(sourceId >> 16),
            static_cast<uint8_t>(sourceId >> 8),
            static_cast<uint8_t>(sourceId)};
}

HeaderWord MakeHeader(int mfid, int algid, int kid, int tgid) {
    HeaderWord h{};
    for (int i = 0; i < 9; ++i) h[i] = static_cast<uint8_t>(0x11 * (i + 1));  // message indicator
    h[9] = static_cast<uint8_t>(mfid);
    h[10] = static_cast<uint8_t>(algid);
    h[11] = static_cast<uint8_t>(kid >> 8);
    h[12] = static_cast<uint8_t>(kid);
    h[13] = static_cast<uint8_t>(tgid >> 8);
    h[14] = static_cast<uint8_t>(tgid);
    return h;
}

EncryptionSync MakeEs(int algid, int kid) {
    EncryptionSync e{};
    for (int i = 0; i < 9; ++i) e[i] = static_cast<uint8_t>(0xA0 + i);
    e[9] = static_cast<uint8_t>(algid);
    e[10] = static_cast<uint8_t>(kid >> 8);
    e[11] = static_cast<uint8_t>(kid);
    return e;
}

std::string VoiceCall(const FrameBuilder& fb, int nac, int pairs, const HeaderWord& header, const LinkControl& lc,
                      const EncryptionSync& es) {
    std::string text = fb.Hdu(nac, header.data());
    for (int i = 0; i < pairs; ++i)
        text += fb.Ldu1(nac, PatternVoice(2 * i), lc.data()) + fb.Ldu2(nac, PatternVoice(2 * i + 1), es.data());
    return text + fb.Tdu(nac);
}

}  // namespace p25test
