// Trunking signalling of the frame decoder: collecting, de-interleaving, trellis decoding and
// checking the trunking blocks, the channel identifier table and the events they give.
#include <cstring>

#include "p25/apco_frame_decoder.h"
#include "p25/frame_sync.h"

namespace {

constexpr int kBlockSymbols = 98;  // 49 nibbles
constexpr int kResyncGiveUp = 100;
constexpr int kExpectedMaxSum = 16;
// The identifier table holds while the receiver stays within this distance of where it was
// learnt (a retune to another site would make it wrong).
constexpr uint32_t kTableHoldHz = 5000;

uint32_t Big16(const unsigned char* p) { return (uint32_t(p[0]) << 8) | p[1]; }
uint32_t Big24(const unsigned char* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
uint32_t Big32(const unsigned char* p) { return (Big16(p) << 16) | Big16(p + 2); }

// Where received nibble i belongs in the block.
int DeinterleavedPlace(int i) {
    if (i < 13) return 4 * i;
    if (i < 25) return 4 * (i - 13) + 1;
    if (i < 37) return 4 * (i - 25) + 2;
    return 4 * (i - 37) + 3;
}

}  // namespace

uint16_t CApcoFrameDecoder::Crc16Ccitt(const unsigned char* block) {
    uint32_t r = (uint32_t(block[0]) << 8) | block[1];
    for (int i = 2; i < 10; ++i) {
        for (int b = 7; b >= 0; --b) {
            r = (r << 1) | ((block[i] >> b) & 1u);
            if (r & 0x10000) r ^= 0x11021;
        }
    }
    for (int i = 0; i < 16; ++i) {
        r <<= 1;
        if (r & 0x10000) r ^= 0x11021;
    }
    return static_cast<uint16_t>((r & 0xFFFF) ^ 0xFFFF);
}

uint32_t CApcoFrameDecoder::PackFrequency(uint64_t hz) {
    if (hz < 0x80000000ull) return static_cast<uint32_t>(hz);
    return static_cast<uint32_t>(hz / 10) | 0x80000000u;
}

void CApcoFrameDecoder::DecodeTsdu() {
    int c;
    while ((c = NextDibit()) >= 0) {
        if (IsStatusSymbol()) continue;
        const unsigned v = static_cast<unsigned>(c - '0');
        if ((m_unitPosition & 1) == 0)
            m_blockNibbles[m_unitPosition / 2] = static_cast<unsigned char>(v * 4);
        else
            m_blockNibbles[m_unitPosition / 2] |= static_cast<unsigned char>(v);
        if (++m_unitPosition < kBlockSymbols) continue;

        unsigned char ordered[kTsbkNibbles];
        for (int i = 0; i < kTsbkNibbles; ++i) ordered[DeinterleavedPlace(i)] = m_blockNibbles[i];
        m_trellis.Decode(ordered, kTsbkNibbles);
        const unsigned char* d = m_trellis.GetOutput(nullptr);
        for (int k = 0; k < 12; ++k)
            m_block[k] =
                static_cast<unsigned char>(d[4 * k] * 64 + d[4 * k + 1] * 16 + d[4 * k + 2] * 4 + d[4 * k + 3]);
        HandleTrunkingBlock();

        m_unitPosition = 0;
        // The last-block flag is followed even when the CRC failed.
        if (m_block[0] & 0x80) {
            m_state = kStateResyncAfterTsdu;
            return;
        }
    }
}

void CApcoFrameDecoder::ResyncAfterTsdu() {
    int c;
    while ((c = NextDibit()) >= 0) {
        ++m_unitPosition;
        if (m_unitPosition <= kFrameSyncSymbols) {
            m_work[m_unitPosition - 1] = static_cast<char>(c);
            continue;
        }
        if (m_unitPosition >= kResyncGiveUp) {
            m_state = kStateSearchSync;
            m_unitPosition = 0;
            m_transmissionType = kTransmissionNone;
            ClearIdentifiers();
            return;
        }
        ShiftIntoWindow(static_cast<char>(c));
        int sum, largest;
        SyncDistance(&sum, &largest);
        if (sum < kExpectedMaxSum) {
            StartNid();
            return;
        }
    }
}

void CApcoFrameDecoder::CheckIdentifierTable() {
    const uint32_t rx = m_receiverHz.load();
    if (rx == 0xFFFFFFFFu) return;
    // Unsigned on purpose: an unknown reference (0xFFFFFFFF) always gives way.
    if (rx < m_referenceHz - kTableHoldHz || rx > m_referenceHz + kTableHoldHz) {
        for (ChannelIdentifier& id : m_identifiers) id = ChannelIdentifier();
        m_referenceHz = rx;
    }
}

uint32_t CApcoFrameDecoder::ChannelFrequency(int identifier, int channel) const {
    const ChannelIdentifier& id = m_identifiers[identifier & 15];
    if (id.baseHz == 0) return 0;
    return PackFrequency(id.baseHz + static_cast<uint64_t>(channel) * id.spacingHz);
}

void CApcoFrameDecoder::HandleTrunkingBlock() {
    const unsigned char* b = m_block;
    if (Crc16Ccitt(b) != Big16(b + 10)) return;
    if (b[0] & 0x40) return;  // protected: the content is encrypted
    const int opcode = b[0] & 63;
    switch (opcode) {
    case 0x00:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x06:
    case 0x34: break;
    default: return;
    }
    const int mfid = b[1];
    m_mfid = mfid;
    if (opcode == 0x00 || opcode == 0x02 || opcode == 0x03 || opcode == 0x34) CheckIdentifierTable();
    const uint32_t nac = static_cast<uint32_t>(m_nac);
    const uint32_t group = 0x80000000u;

    if (opcode == 0x34) {
        // Identifier update for VHF/UHF bands.
        const int identifier = b[2] >> 4;
        int offset = ((b[3] & 127) << 6) | (b[4] >> 2);
        if (!(b[3] & 0x80)) offset = -offset;
        const uint32_t spacing = ((uint32_t(b[4] & 3) << 8) | b[5]) * 125u;
        const uint64_t base = static_cast<uint64_t>(Big32(b + 6)) * 5u;  // unsigned: bases reach 21 GHz
        m_identifiers[identifier].baseHz = base;
        m_identifiers[identifier].spacingHz = spacing;
        PushEvent(TrunkingEventRecord::Make(kEventIdentifierUpdate, static_cast<uint8_t>(identifier),
                                            static_cast<uint16_t>(static_cast<int16_t>(offset)), nac, spacing,
                                            PackFrequency(base), 0, 0));
        return;
    }
    if (mfid != 0) return;  // another manufacturer's grant layout

    switch (opcode) {
    case 0x00: {  // group voice channel grant
        const int id = b[3] >> 4, channel = ((b[3] & 15) << 8) | b[4];
        PushEvent(TrunkingEventRecord::Make(kEventGroupGrant, static_cast<uint8_t>(id), static_cast<uint16_t>(channel),
                                            nac, ChannelFrequency(id, channel), Big24(b + 7), Big16(b + 5) | group,
                                            b[2]));
        break;
    }
    case 0x02: {  // group voice channel grant update, two channels
        for (int k = 0; k < 2; ++k) {
            const unsigned char* p = b + 2 + 4 * k;
            const int id = p[0] >> 4, channel = ((p[0] & 15) << 8) | p[1];
            const uint32_t address = Big16(p + 2) | group;
            PushEvent(TrunkingEventRecord::Make(kEventGroupGrantUpdate, static_cast<uint8_t>(id),
                                                static_cast<uint16_t>(channel), nac, ChannelFrequency(id, channel),
                                                address, address, 0));
        }
        break;
    }
    case 0x03: {  // group voice channel grant update, explicit
        const int id = b[6] >> 4, channel = ((b[6] & 15) << 8) | b[7];
        const uint32_t address = Big16(b + 8) | group;
        PushEvent(TrunkingEventRecord::Make(kEventGroupGrantUpdate, static_cast<uint8_t>(id),
                                            static_cast<uint16_t>(channel), nac, ChannelFrequency(id, channel), address,
                                            address, b[2]));
        break;
    }
    case 0x04:    // unit-to-unit voice channel grant
    case 0x06: {  // and its update
        const int id = b[2] >> 4, channel = ((b[2] & 15) << 8) | b[3];
        PushEvent(TrunkingEventRecord::Make(opcode == 0x04 ? kEventUnitGrant : kEventUnitGrantUpdate,
                                            static_cast<uint8_t>(id), static_cast<uint16_t>(channel), nac,
                                            ChannelFrequency(id, channel), Big24(b + 7), Big24(b + 4), 0));
        break;
    }
    default: break;
    }
}

const char* CApcoFrameDecoder::OpcodeName(int opcode) {
    switch (opcode & 63) {
    case 0x00: return "Group voice channel grant (GRP_V_CH_GRANT)";
    case 0x02: return "Group voice channel grant update (GRP_V_CH_GRANT_UPDT)";
    case 0x03: return "Group voice channel grant update, explicit (GRP_V_CH_GRANT_UPDT_EXP)";
    case 0x04: return "Unit-to-unit voice channel grant (UU_V_CH_GRANT)";
    case 0x05: return "Unit-to-unit answer request (UU_ANS_REQ)";
    case 0x06: return "Unit-to-unit voice channel grant update (UU_V_CH_GRANT_UPDT)";
    case 0x08: return "Telephone interconnect voice channel grant (TELE_INT_CH_GRANT)";
    case 0x09: return "Telephone interconnect voice channel grant update (TELE_INT_CH_GRANT_UPDT)";
    case 0x0A: return "Telephone interconnect answer request (TELE_INT_ANS_REQ)";
    case 0x10: return "Individual data channel grant (IND_DATA_CH_GRANT)";
    case 0x11: return "Group data channel grant (GRP_DATA_CH_GRANT)";
    case 0x12: return "Group data channel announcement (GRP_DATA_CH_ANN)";
    case 0x13: return "Group data channel announcement, explicit (GRP_DATA_CH_ANN_EXP)";
    case 0x14: return "SNDCP data channel grant (SNDATA_CHN_GNT)";
    case 0x15: return "SNDCP data page request (SNDATA_PAGE_REQ)";
    case 0x16: return "SNDCP data channel announcement, explicit (SNDATA_CHN_ANN_EXP)";
    case 0x18: return "Status update (STS_UPDT)";
    case 0x1A: return "Status query (STS_Q)";
    case 0x1C: return "Message update (MSG_UPDT)";
    case 0x1D: return "Radio unit monitor command (RAD_MON_CMD)";
    case 0x1F: return "Call alert (CALL_ALRT)";
    case 0x20: return "Acknowledge response, FNE (ACK_RSP_FNE)";
    case 0x21: return "Queued response (QUE_RSP)";
    case 0x24: return "Extended function command (EXT_FNCT_CMD)";
    case 0x27: return "Deny response (DENY_RSP)";
    case 0x28: return "Group affiliation response (GRP_AFF_RSP)";
    case 0x29: return "Secondary control channel broadcast, explicit (SCCB_EXP)";
    case 0x2A: return "Group affiliation query (GRP_AFF_Q)";
    case 0x2B: return "Location registration response (LOC_REG_RSP)";
    case 0x2C: return "Unit registration response (U_REG_RSP)";
    case 0x2D: return "Unit registration command (U_REG_CMD)";
    case 0x2E: return "Authentication command (AUTH_CMD)";
    case 0x2F: return "De-registration acknowledge (U_DE_REG_ACK)";
    case 0x34: return "Identifier update for VHF/UHF bands (IDEN_UP_VU)";
    case 0x35: return "Time and date announcement (TIME_DATE_ANN)";
    case 0x36: return "Roaming address command (ROAM_ADDR_CMD)";
    case 0x37: return "Roaming address update (ROAM_ADDR_UPDT)";
    case 0x38: return "System service broadcast (SYS_SRV_BCST)";
    case 0x39: return "Secondary control channel broadcast (SCCB)";
    case 0x3A: return "RFSS status broadcast (RFSS_STS_BCST)";
    case 0x3B: return "Network status broadcast (NET_STS_BCST)";
    case 0x3C: return "Adjacent status broadcast (ADJ_STS_BCST)";
    case 0x3D: return "Identifier update (IDEN_UP)";
    case 0x3E: return "Protection parameter broadcast (P_PARM_BCST)";
    case 0x3F: return "Protection parameter update (P_PARM_UPDT)";
    default: return "Unknown";
    }
}
