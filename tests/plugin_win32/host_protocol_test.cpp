#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin/host_protocol.h"

TEST(HostRecords, AudioBlockRecordSizesAndZeroedTrailer) {
    std::vector<int16_t> samples(512);
    for (int i = 0; i < 512; ++i) samples[i] = static_cast<int16_t>(i * 61);
    std::vector<uint8_t> out(1100, 0xAA);
    ASSERT_EQ(1043u, WriteAudioBlockRecord(out.data(), 16000, samples.data(), 512));
    const uint32_t header[4] = {16000, 16, 1, 512};
    EXPECT_EQ(0, std::memcmp(out.data(), header, 16));
    EXPECT_EQ(0, std::memcmp(out.data() + 16, samples.data(), 1024));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0xAA}), std::vector<uint8_t>(out.begin() + 1040, out.begin() + 1044));

    EXPECT_EQ(19u, AudioBlockRecordSize(0));
    EXPECT_EQ(0xFFFFFFFFu, AudioBlockRecordSize(kAudioBlockMaxSamples));
    EXPECT_EQ(0u, AudioBlockRecordSize(kAudioBlockMaxSamples + 1));  // would wrap
    EXPECT_EQ(0u, WriteAudioBlockRecord(out.data(), 16000, samples.data(), 0x80000000u));
}

TEST(HostRecords, MediaPacketHeaderAndEmptyParameters) {
    std::vector<uint8_t> packet(140, 0xCC);
    WriteMediaPacketHeader(packet.data(), kMediaTypeTrunkingEvents, 4);
    std::memset(packet.data() + kMediaHeaderBytes, 0, 4);  // no events
    EXPECT_STREQ("K927 APCO", reinterpret_cast<const char*>(packet.data()));
    for (size_t i = 9; i < kMediaNameBytes; ++i) ASSERT_EQ(0, packet[i]) << i;
    uint32_t words[3];
    std::memcpy(words, packet.data() + 128, 12);
    EXPECT_EQ(256u, words[0]);
    EXPECT_EQ(4u, words[1]);
    EXPECT_EQ(0u, words[2]);
    EXPECT_EQ(172u, kMediaParamsPacketBytes);

    const ApcoParams p = MakeEmptyApcoParams();
    EXPECT_EQ(0.0f, p.bitErrorRatePercent);
    for (int32_t id : {p.nac, p.tgid, p.sourceId, p.destinationId}) EXPECT_EQ(-1, id);
    EXPECT_EQ(0, p.transmissionType | p.emergency);
}
