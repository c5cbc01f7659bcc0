// Workloads of the P25 benchmarks, shared by the Google Benchmark program and the Windows timing
// program: dibit text of non-voice frames (the vocoder is measured on its own), NIDs with 11
// bit errors and link-control words with 6 symbol errors.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "p25/apco_frame_decoder.h"
#include "p25/block_codes.h"
#include "p25/reed_solomon.h"
#include "tests/support/p25_frame_builder.h"
#include "tests/support/p25_tsbk_builder.h"

struct P25Workload {
    std::string frames;                     // HDU, TDULC, TDU, PDU and other NIDs, noise between
    std::vector<std::string> nids;          // 32 characters each, 11 bit errors
    std::vector<std::vector<int>> rsWords;  // 63 symbols, RS(24,12) shortened, 6 symbol errors
    std::string tsdus;                      // TSDUs of three blocks each, one bit error per block
    int tsbkCount = 0;

    explicit P25Workload(int count) {
        using namespace p25test;
        FrameBuilder fb;
        std::mt19937 rng(42);
        const uint8_t header[15] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0x90, 0x84, 0x12, 0x34, 0x56, 0x78};
        const uint8_t lc[9] = {0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78, 0x9A};
        while (frames.size() < 500000) {
            frames += std::string(50 + rng() % 100, '0');
            frames += fb.Hdu(static_cast<int>(rng() & 0xFFF), header) + fb.Tdulc(0x293, lc) + fb.Tdu(0x293);
            frames += fb.SyncAndNid(0x111, kDuidPdu) + std::string(200, '2') + fb.SyncAndNid(0x222, 0x9);
        }
        while (tsbkCount < 30000) {
            std::vector<Tsbk> blocks;
            for (int k = 0; k < 3; ++k) {
                std::array<uint8_t, 10> p;
                for (auto& x : p) x = static_cast<uint8_t>(rng());
                p[0] = static_cast<uint8_t>((k == 2 ? 0x80 : 0) | 0x02);
                p[1] = 0;
                blocks.push_back(MakeTsbk(p));
            }
            tsdus += Tsdu(fb, 0x140, blocks, {{static_cast<int>(rng() % 196)}, {static_cast<int>(rng() % 196)}, {}});
            tsbkCount += 3;
        }
        for (int i = 0; i < count; ++i) {
            uint64_t nid = NidEncode(static_cast<int>(rng() & 0xFFF), static_cast<int>(rng() & 0xF));
            std::vector<int> pos(63);
            for (int k = 0; k < 63; ++k) pos[k] = k;
            std::shuffle(pos.begin(), pos.end(), rng);
            for (int k = 0; k < 11; ++k) nid ^= uint64_t(1) << (pos[k] + 1);
            std::string text;
            for (int k = 0; k < 32; ++k) text += static_cast<char>('0' + ((nid >> (62 - 2 * k)) & 3));
            nids.push_back(text);

            std::vector<int> data(12);
            for (int& d : data) d = static_cast<int>(rng() % 64);
            std::vector<int> word(39, 0);
            const std::vector<int> coded = RsEncode(data, 12);
            word.insert(word.end(), coded.begin(), coded.end());
            std::shuffle(pos.begin(), pos.begin() + 24, rng);
            for (int k = 0; k < 6; ++k) word[39 + pos[k] % 24] ^= 1 + static_cast<int>(rng() % 63);
            rsWords.push_back(word);
        }
    }
};

// Each returns a value depending on the work so that it cannot be optimised away.
inline int RunFrames(const P25Workload& w, CApcoFrameDecoder& d) {
    return d.Process(w.frames.data(), static_cast<int>(w.frames.size())) + d.GetNac();
}

// Events are drained so that the queue does not grow over the run.
inline int RunTsdus(const P25Workload& w, CApcoFrameDecoder& d) {
    const int r = d.Process(w.tsdus.data(), static_cast<int>(w.tsdus.size()));
    unsigned size = 0;
    std::free(d.GetEventPacket(&size));
    return r + static_cast<int>(size);
}

inline unsigned RunBch(const P25Workload& w) {
    unsigned total = 0;
    char buf[33];
    for (const std::string& nid : w.nids) {
        std::memcpy(buf, nid.data(), 32);
        unsigned errors = 0;
        if (DecodeNidBch(buf, &errors)) total += errors;
    }
    return total;
}

inline unsigned RunRs(const P25Workload& w, CReedSolomon& rs) {
    unsigned ok = 0;
    int buf[63];
    for (const auto& word : w.rsWords) {
        std::memcpy(buf, word.data(), sizeof buf);
        ok += rs.Decode(63, buf) ? 1u : 0u;
    }
    return ok;
}
