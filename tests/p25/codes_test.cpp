// The block codes against the test-side encoders: every correctable weight decodes, beyond it
// only what the code can promise.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "p25/block_codes.h"
#include "p25/reed_solomon.h"
#include "tests/support/p25_frame_builder.h"

using namespace p25test;

namespace {

// The 32 NID characters of a 64-bit NID word (bit 63 sent first).
std::string NidText(uint64_t nid) {
    std::string s;
    for (int i = 0; i < 32; ++i) s += static_cast<char>('0' + ((nid >> (62 - 2 * i)) & 3));
    return s;
}

// Random distinct positions in [0, range).
std::vector<int> Positions(std::mt19937& rng, int count, int range) {
    std::vector<int> all(range);
    for (int i = 0; i < range; ++i) all[i] = i;
    std::shuffle(all.begin(), all.end(), rng);
    all.resize(count);
    return all;
}

bool IsNidCodeWord(const std::string& text31) {
    // Re-encode the data part and compare the first 63 bits.
    unsigned nac = 0, duid = 0;
    for (int i = 0; i < 6; ++i) nac = nac * 4 + (text31[i] - '0');
    duid = (text31[6] - '0') * 4 + (text31[7] - '0');
    const std::string expected = NidText(NidEncode(nac, duid)).substr(0, 31);
    return expected == text31.substr(0, 31);
}

}  // namespace

TEST(BitCountTest, Extremes) {
    EXPECT_EQ(0u, BitCount(0));
    EXPECT_EQ(32u, BitCount(0xFFFFFFFFu));
    EXPECT_EQ(1u, BitCount(0x80000000u));
    EXPECT_EQ(16u, BitCount(0xA5A5A5A5u));
    EXPECT_EQ(0u, Parity32(0x81u));
    EXPECT_EQ(1u, Parity32(0x181u));
}

// Clean words and up to eleven errors decode, with their count; the final parity bit is not
// part of the code word, so a flip there counts for nothing.
TEST(BchTest, UpToElevenErrorsCorrectedWithTheirCount) {
    std::mt19937 rng(1234);
    for (int weight = 0; weight <= 11; ++weight) {
        for (int trial = 0; trial < 300; ++trial) {
            const int nac = static_cast<int>(rng() & 0xFFF), duid = static_cast<int>(rng() & 0xF);
            const uint64_t sent = NidEncode(nac, duid);
            uint64_t received = sent ^ (trial & 1);
            for (int p : Positions(rng, weight, 63))
                received ^= uint64_t(1) << (p + 1);  // bits 63..1 are the code word
            std::string text = NidText(received);
            unsigned errors = 99;
            ASSERT_TRUE(DecodeNidBch(&text[0], &errors)) << "weight " << weight << " trial " << trial;
            EXPECT_EQ(static_cast<unsigned>(weight), errors);
            EXPECT_EQ(NidText(sent).substr(0, 31), text.substr(0, 31));
            EXPECT_EQ('\0', text[31]);
        }
    }
}

TEST(BchTest, TwelveOrMoreErrorsNeverGiveANonCodeWord) {
    // Minimum distance 23: twelve or more errors either fail or land on another code word;
    // a success must never return something that is not a code word, nor the sent word.
    std::mt19937 rng(99);
    int failures = 0;
    for (int weight = 12; weight <= 20; ++weight) {
        for (int trial = 0; trial < 200; ++trial) {
            const uint64_t sent = NidEncode(static_cast<int>(rng() & 0xFFF), static_cast<int>(rng() & 0xF));
            uint64_t received = sent;
            for (int p : Positions(rng, weight, 63)) received ^= uint64_t(1) << (p + 1);
            std::string text = NidText(received);
            const std::string before = text;
            unsigned errors = 0;
            if (DecodeNidBch(&text[0], &errors)) {
                EXPECT_TRUE(IsNidCodeWord(text));
                EXPECT_NE(NidText(sent).substr(0, 31), text.substr(0, 31));
                EXPECT_LE(errors, 11u);
            } else {
                ++failures;
                EXPECT_EQ(before, text);  // left as received
            }
        }
    }
    EXPECT_GT(failures, 0);
}

TEST(BchTest, BadInput) {
    EXPECT_FALSE(DecodeNidBch(nullptr, nullptr));
    // Characters outside "0".."3" count as zero bits: an all-'x' NID reads as the zero word.
    std::string text(32, 'x');
    unsigned errors = 5;
    ASSERT_TRUE(DecodeNidBch(&text[0], &errors));
    EXPECT_EQ(0u, errors);
    EXPECT_EQ(std::string(31, '0'), text.substr(0, 31));
}

TEST(GolayTest, EveryThreeErrorPatternCorrected) {
    // All 4096 code words against all 2048 patterns of weight 0..3 would be 8 M decodes; every
    // pattern on a spread of code words and every code word under a pattern of each weight
    // covers both sides.
    std::vector<uint32_t> patterns{0};
    for (int a = 0; a < 23; ++a) {
        patterns.push_back(1u << a);
        for (int b = a + 1; b < 23; ++b) {
            patterns.push_back((1u << a) | (1u << b));
            for (int c = b + 1; c < 23; ++c) patterns.push_back((1u << a) | (1u << b) | (1u << c));
        }
    }
    ASSERT_EQ(2048u, patterns.size());
    for (unsigned d = 0; d < 4096; d += 37) {
        const uint32_t cw = Golay23EncodeModel(d);
        ASSERT_EQ(cw, Golay23Encode(d));
        for (uint32_t e : patterns) ASSERT_EQ(cw, Golay23Decode(cw ^ e)) << d << " " << e;
    }
    std::mt19937 rng(7);
    for (unsigned d = 0; d < 4096; ++d) {
        const uint32_t cw = Golay23EncodeModel(d);
        ASSERT_EQ(cw, Golay23Decode(cw ^ patterns[rng() % patterns.size()]));
    }
    EXPECT_EQ(Golay23Decode(0x7FFFFF), Golay23Decode(0xFF7FFFFF));  // bits above 22 ignored
}

TEST(HammingTest, EverySingleFlipCorrected) {
    for (unsigned h = 0; h < 64; ++h) {
        const unsigned w = Hamming10Encode(h);
        unsigned syndrome = 1;
        EXPECT_EQ(static_cast<int>(h), DecodeHamming10(static_cast<int>(w), &syndrome));
        EXPECT_EQ(0u, syndrome);
        for (int b = 0; b < 10; ++b) {
            EXPECT_EQ(static_cast<int>(h), DecodeHamming10(static_cast<int>(w ^ (1u << b)), &syndrome))
                << h << " " << b;
            EXPECT_NE(0u, syndrome);
            EXPECT_NE(255u, syndrome);
        }
    }
}

TEST(HammingTest, UncorrectableSyndromeKeepsReceivedHexbit) {
    // Two flips whose syndrome columns add to one naming no bit: bits 3 and 1 give 8 ^ 2 = 10,
    // bits 9 and 6 give 14 ^ 7 = 9.
    const unsigned w = Hamming10Encode(0x2A) ^ (1u << 3) ^ (1u << 1);
    unsigned syndrome = 0;
    EXPECT_EQ(0x2A, DecodeHamming10(static_cast<int>(w), &syndrome));
    EXPECT_EQ(255u, syndrome);
    const unsigned w2 = Hamming10Encode(0x15) ^ (1u << 9) ^ (1u << 6);
    EXPECT_EQ(static_cast<int>(w2 >> 4), DecodeHamming10(static_cast<int>(w2), &syndrome));
}

namespace {

// Full 63-symbol word of a shortened code: zeros, then data, then parity.
std::vector<int> RsWord(std::mt19937& rng, int dataCount, int parity) {
    std::vector<int> data(dataCount);
    for (int& d : data) d = static_cast<int>(rng() % 64);
    std::vector<int> word(63 - dataCount - parity, 0);
    const std::vector<int> coded = RsEncode(data, parity);
    word.insert(word.end(), coded.begin(), coded.end());
    return word;
}

void CheckRsCapacity(int dataCount, int parity) {
    CReedSolomon rs(6);
    ASSERT_TRUE(rs.SetCode(parity, 1, 1));
    std::mt19937 rng(static_cast<unsigned>(parity * 1000 + dataCount));
    const int shortened = 63 - dataCount - parity;
    for (int errors = 0; errors <= parity / 2; ++errors) {
        for (int trial = 0; trial < 200; ++trial) {
            const std::vector<int> sent = RsWord(rng, dataCount, parity);
            std::vector<int> rx = sent;
            for (int p : Positions(rng, errors, dataCount + parity))
                rx[shortened + p] ^= 1 + static_cast<int>(rng() % 63);
            ASSERT_TRUE(rs.Decode(63, rx.data())) << "parity " << parity << " errors " << errors;
            ASSERT_EQ(sent, rx) << "parity " << parity << " errors " << errors;
        }
    }
    // Beyond capacity: no crash; a failure leaves the word as received, a success is a code word.
    int failures = 0;
    for (int errors = parity / 2 + 1; errors <= dataCount + parity; ++errors) {
        for (int trial = 0; trial < 30; ++trial) {
            std::vector<int> rx = RsWord(rng, dataCount, parity);
            for (int p : Positions(rng, errors, dataCount + parity))
                rx[shortened + p] ^= 1 + static_cast<int>(rng() % 63);
            const std::vector<int> before = rx;
            if (rs.Decode(63, rx.data())) {
                std::vector<int> check = rx;
                EXPECT_TRUE(rs.Decode(63, check.data()));
                EXPECT_EQ(rx, check);
                int changed = 0;
                for (size_t i = 0; i < rx.size(); ++i) changed += rx[i] != before[i];
                EXPECT_LE(changed, parity / 2);
            } else {
                ++failures;
                EXPECT_EQ(before, rx);
            }
        }
    }
    EXPECT_GT(failures, 0);
}

}  // namespace

TEST(ReedSolomonTest, HeaderCode16Parity) { CheckRsCapacity(20, 16); }
TEST(ReedSolomonTest, LinkControlCode12Parity) { CheckRsCapacity(12, 12); }
TEST(ReedSolomonTest, EncryptionSyncCode8Parity) { CheckRsCapacity(16, 8); }

TEST(ReedSolomonTest, EncoderMatchesTestModel) {
    CReedSolomon rs(6);
    ASSERT_TRUE(rs.SetCode(12, 1, 1));
    EXPECT_EQ(51, rs.GetDataCount());
    std::mt19937 rng(5);
    std::vector<int> data(12);
    for (int& d : data) d = static_cast<int>(rng() % 64);
    std::vector<int> word = data;
    word.resize(24);
    ASSERT_TRUE(rs.Encode(24, word.data()));
    EXPECT_EQ(RsEncode(data, 12), word);
}

TEST(ReedSolomonTest, OtherFieldsRoundTrip) {
    std::mt19937 rng(11);
    for (int m = 3; m <= 8; ++m) {
        const int n = (1 << m) - 1;
        const int parity = m == 3 ? 2 : 6;
        CReedSolomon rs(m);
        ASSERT_TRUE(rs.SetCode(parity, 1, 1));
        std::vector<int> word(n);
        for (int i = 0; i < n - parity; ++i) word[i] = static_cast<int>(rng() % (n + 1));
        ASSERT_TRUE(rs.Encode(n, word.data()));
        const std::vector<int> sent = word;
        for (int p : Positions(rng, parity / 2, n)) word[p] ^= 1 + static_cast<int>(rng() % n);
        ASSERT_TRUE(rs.Decode(n, word.data())) << "m " << m;
        EXPECT_EQ(sent, word) << "m " << m;
    }
}

TEST(ReedSolomonTest, RefusedCodesAndBadInput) {
    CReedSolomon rs(6);
    EXPECT_FALSE(rs.SetCode(63, 1, 1));
    EXPECT_FALSE(rs.SetCode(0, 1, 1));
    EXPECT_FALSE(rs.SetCode(8, 1, 2));
    EXPECT_EQ(0, rs.GetParityCount());
    std::vector<int> word(63, 1);
    EXPECT_FALSE(rs.Decode(63, word.data()));  // no code
    ASSERT_TRUE(rs.SetCode(8, 1, 1));
    EXPECT_FALSE(rs.Decode(64, word.data()));
    EXPECT_FALSE(rs.Decode(0, word.data()));
    EXPECT_FALSE(rs.Decode(63, nullptr));
    word[5] = 64;
    const std::vector<int> before = word;
    EXPECT_FALSE(rs.Decode(63, word.data()));
    EXPECT_EQ(before, word);
    CReedSolomon none(9);
    EXPECT_FALSE(none.SetCode(8, 1, 1));
    CReedSolomon big(8);
    EXPECT_TRUE(big.SetCode(200, 1, 1));
    EXPECT_FALSE(big.SetCode(201, 1, 1));
}

TEST(ReedSolomonTest, ErrorLocatedOutsideShortenedWordFails) {
    // rem(x) = v x^30 mod g(x) has the syndromes of a single error at degree 30. As a 24-symbol
    // word it therefore locates its one error outside the word: failure, word unchanged.
    CReedSolomon rs(6);
    ASSERT_TRUE(rs.SetCode(12, 1, 1));
    for (int v = 1; v < 64; v += 9) {
        std::vector<int> data(19, 0);
        data[0] = v;  // degree 18 + 12 = 30 after the parity shift
        const std::vector<int> coded = RsEncode(data, 12);
        std::vector<int> word(12, 0);
        word.insert(word.end(), coded.end() - 12, coded.end());
        const std::vector<int> before = word;
        EXPECT_FALSE(rs.Decode(24, word.data())) << v;
        EXPECT_EQ(before, word);
        // The same syndromes in a 63-symbol word are one correctable error at degree 30.
        std::vector<int> full(39, 0);
        full.insert(full.end(), word.begin(), word.end());
        ASSERT_TRUE(rs.Decode(63, full.data()));
        EXPECT_EQ(v, full[63 - 1 - 30]);
    }
}
