#include "plugin/host_protocol.h"

#include <cstring>
#include <new>

#include "plugin/host_call_record.h"

ApcoParams MakeEmptyApcoParams() {
    ApcoParams p{};
    p.nac = p.tgid = p.sourceId = p.destinationId = -1;
    p.algorithmId = p.manufacturerId = -1;
    return p;
}

uint32_t AudioBlockRecordSize(uint32_t count) {
    if (count > kAudioBlockMaxSamples) return 0;
    return sizeof(AudioBlockHeader) + 2 * count + kAudioBlockTrailerBytes;
}

uint32_t WriteAudioBlockRecord(void* out, uint32_t sampleRate, const int16_t* samples, uint32_t count) {
    const uint32_t size = AudioBlockRecordSize(count);
    if (!size || !out) return 0;
    AudioBlockHeader header{sampleRate, 16, 1, count};
    auto* bytes = static_cast<unsigned char*>(out);
    std::memcpy(bytes, &header, sizeof header);
    if (count) std::memcpy(bytes + sizeof header, samples, 2u * count);
    // The trailer carries nothing, but it reaches the host: never leave stale memory there.
    std::memset(bytes + sizeof header + 2u * count, 0, kAudioBlockTrailerBytes);
    return size;
}

void WriteMediaPacketHeader(void* out, uint32_t type, uint32_t payloadBytes) {
    MediaPacketHeader header;
    std::memset(&header, 0, sizeof header);
    std::memcpy(header.name, kPluginDisplayName, sizeof kPluginDisplayName);
    header.type = type;
    header.payloadBytes = payloadBytes;
    std::memcpy(out, &header, sizeof header);
}

bool HostCallRecord::AllocateData(uint32_t bytes) {
    FreeData();
    if (!bytes) return false;
    auto* p = new (std::nothrow) unsigned char[bytes];
    if (!p) return false;
    std::memset(p, 0, bytes);
    lpData = p;
    cbData = bytes;
    return true;
}

bool HostCallRecord::CopyData(const void* source, uint32_t bytes) {
    if (!source || !AllocateData(bytes)) {
        FreeData();
        return false;
    }
    std::memcpy(lpData, source, bytes);
    return true;
}

void HostCallRecord::FreeData() {
    delete[] static_cast<unsigned char*>(lpData);
    lpData = nullptr;
    cbData = 0;
}
