// Records the P25 frame decoder hands to the host: the 21-byte trunking event and the envelope
// of the media packet that carries them (type 256). All little-endian, every byte defined.
#pragma once

#include <cstdint>
#include <cstring>

constexpr int kTrunkingEventSize = 21;

// Event types.
constexpr uint8_t kEventGroupGrant = 1;
constexpr uint8_t kEventGroupGrantUpdate = 2;
constexpr uint8_t kEventUnitGrant = 3;
constexpr uint8_t kEventUnitGrantUpdate = 4;
constexpr uint8_t kEventIdentifierUpdate = 0x80;
constexpr uint8_t kEventEndOfCall = 0x81;

struct TrunkingEventRecord {
    uint8_t bytes[kTrunkingEventSize];

    // Grants (types 1..4) and identifier updates (0x80):
    //   0 type, 1 channel identifier, 2-3 channel number (or transmit offset), 4-7 NAC,
    //   8-11 frequency (or spacing), 12-15 address A (or packed base), 16-19 address B,
    //   20 service options.
    static TrunkingEventRecord Make(uint8_t type, uint8_t identifier, uint16_t channel, uint32_t nac,
                                    uint32_t frequency, uint32_t addressA, uint32_t addressB, uint8_t options) {
        TrunkingEventRecord r{};
        r.bytes[0] = type;
        r.bytes[1] = identifier;
        Put16(r.bytes + 2, channel);
        Put32(r.bytes + 4, nac);
        Put32(r.bytes + 8, frequency);
        Put32(r.bytes + 12, addressA);
        Put32(r.bytes + 16, addressB);
        r.bytes[20] = options;
        return r;
    }
    // End of call: 0 type 0x81, 1-4 NAC (unaligned), the rest 0.
    static TrunkingEventRecord EndOfCall(uint32_t nac) {
        TrunkingEventRecord r{};
        r.bytes[0] = kEventEndOfCall;
        Put32(r.bytes + 1, nac);
        return r;
    }
    static void Put16(uint8_t* p, uint16_t v) {
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
    }
    static void Put32(uint8_t* p, uint32_t v) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
};
static_assert(sizeof(TrunkingEventRecord) == kTrunkingEventSize, "packed 21-byte record");

// MediaPacket envelope: 128-byte name, u32 type, u32 payload size, payload.
constexpr int kMediaPacketNameSize = 128;
constexpr int kMediaPacketHeaderSize = 136;
constexpr uint32_t kMediaTypeParams = 1;
constexpr uint32_t kMediaTypeEvents = 256;
constexpr char kMediaPacketName[] = "K927 APCO";
