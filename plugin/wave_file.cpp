#include "plugin/wave_file.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kFormatChunkBytes = 18;
constexpr uint32_t kPcmFormatChunkBytes = 16;  // the same format without the extra-size word
// RIFF sizes are 32-bit and count everything after the first eight bytes.
constexpr uint64_t kMaxFileBytes = 0xFFFFFFFFull;

int64_t FileSizeOf(const char* name) {
    FILE* f = std::fopen(name, "rb");
    if (!f) return -1;
    int64_t size = -1;
    if (_fseeki64(f, 0, SEEK_END) == 0) size = _ftelli64(f);
    std::fclose(f);
    return size;
}

// mmio takes writable names; a name that does not fit is refused.
bool CopyName(const char* name, char (&out)[MAX_PATH + 1]) {
    size_t n = std::strlen(name);
    if (n == 0 || n > MAX_PATH) return false;
    std::memcpy(out, name, n + 1);
    return true;
}

}  // namespace

WaveFile::WaveFile(const char* name) {
    if (name) OpenRead(name);
}

WaveFile::~WaveFile() { Close(); }

bool WaveFile::IsIFName(const char* name) {
    if (!name) return false;
    const char* lastDot = std::strrchr(name, '.');
    size_t stem = lastDot ? static_cast<size_t>(lastDot - name) : std::strlen(name);
    if (stem < 3) return false;
    const char* ext = name + stem - 3;
    if (ext[0] != '.') return false;
    return (ext[1] == 'i' || ext[1] == 'I') && (ext[2] == 'f' || ext[2] == 'F');
}

void WaveFile::KeepName(const char* name) {
    m_fileName = name;
    const char* slash = std::strrchr(name, '\\');
    const char* other = std::strrchr(name, '/');
    if (other > slash) slash = other;
    m_shortName = slash ? slash + 1 : name;
    m_isIFFile = IsIFName(name);
}

int WaveFile::OpenRead(const char* name) {
    Close();
    const String path = name ? String(name) : m_fileName;
    KeepName(path.CStr());
    char mmioName[MAX_PATH + 1];
    if (!CopyName(path.CStr(), mmioName)) return 0;
    const int64_t fileSize = FileSizeOf(mmioName);
    if (fileSize < 0) return 0;
    m_handle = mmioOpenA(mmioName, nullptr, MMIO_READ | MMIO_ALLOCBUF);
    if (!m_handle) return 0;
    if (!ReadHeader(fileSize)) {
        Close();
        return 0;
    }
    m_size = fileSize;
    return 1;
}

bool WaveFile::ReadHeader(int64_t fileSize) {
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(m_handle, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) return false;

    MMCKINFO chunk{};
    chunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(m_handle, &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return false;
    if (chunk.cksize < kPcmFormatChunkBytes) return false;
    // A plain PCM chunk is 16 bytes: reading 18 would take two bytes of the next chunk.
    const LONG want = chunk.cksize < kFormatChunkBytes ? kPcmFormatChunkBytes : kFormatChunkBytes;
    WAVEFORMATEX format{};
    if (mmioRead(m_handle, reinterpret_cast<HPSTR>(&format), want) != want) return false;
    if (want < static_cast<LONG>(kFormatChunkBytes)) format.cbSize = 0;
    // What a recording can hold: anything else would play as noise or at a wrong speed.
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels != 1 || format.wBitsPerSample != 16 ||
        format.nSamplesPerSec == 0 || format.nSamplesPerSec > 0x7FFFFFFFu / 2)
        return false;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = format.nSamplesPerSec * 2;
    if (mmioAscend(m_handle, &chunk, 0) != MMSYSERR_NOERROR) return false;

    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(m_handle, &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return false;
    const int64_t offset = data.dwDataOffset;
    if (offset > fileSize) return false;
    uint64_t length = data.cksize;
    if (static_cast<int64_t>(length) > fileSize - offset) length = static_cast<uint64_t>(fileSize - offset);
    m_format = format;
    m_dataLength = static_cast<uint32_t>(length) & ~1u;
    m_dataOffset = offset;
    m_position = 0;
    return true;
}

int WaveFile::Create(const char* path, uint32_t rateHz) {
    if (!path) return 0;
    Close();
    KeepName(path);
    if (rateHz == 0 || rateHz > 0x7FFFFFFFu / 2) return 0;
    char mmioName[MAX_PATH + 1];
    if (!CopyName(path, mmioName)) return 0;
    m_handle = mmioOpenA(mmioName, nullptr, MMIO_CREATE | MMIO_WRITE | MMIO_EXCLUSIVE | MMIO_ALLOCBUF);
    if (!m_handle) return 0;
    m_writing = true;

    m_riffChunk = MMCKINFO{};
    m_riffChunk.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    fmt.cksize = kFormatChunkBytes;
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, rateHz, rateHz * 2, 2, 16, 0};
    m_dataChunk = MMCKINFO{};
    m_dataChunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
    bool ok = mmioCreateChunk(m_handle, &m_riffChunk, MMIO_CREATERIFF) == MMSYSERR_NOERROR &&
              mmioCreateChunk(m_handle, &fmt, 0) == MMSYSERR_NOERROR &&
              mmioWrite(m_handle, reinterpret_cast<const char*>(&format), kFormatChunkBytes) ==
                  static_cast<LONG>(kFormatChunkBytes) &&
              mmioAscend(m_handle, &fmt, 0) == MMSYSERR_NOERROR &&
              mmioCreateChunk(m_handle, &m_dataChunk, 0) == MMSYSERR_NOERROR;
    const LONG here = ok ? mmioSeek(m_handle, 0, SEEK_CUR) : -1;
    if (here < 0) {
        m_writing = false;  // nothing worth finishing
        Close();
        return 0;
    }
    m_format = format;
    m_dataLength = 0;
    m_dataOffset = here;
    m_position = 0;
    m_size = here;
    return 1;
}

int WaveFile::Write(const int16_t* samples, uint32_t count) {
    if (!m_handle || !m_writing || !samples) return 0;
    if (m_byteLimit && m_size >= m_byteLimit) return 0;
    const uint64_t bytes = 2ull * count;
    if (static_cast<uint64_t>(m_size) + bytes > kMaxFileBytes - 8 || bytes > 0x7FFFFFFF) return 0;
    const LONG written = mmioWrite(m_handle, reinterpret_cast<const char*>(samples), static_cast<LONG>(bytes));
    if (written != static_cast<LONG>(bytes)) return 0;
    m_dataLength += static_cast<uint32_t>(bytes);
    m_size += static_cast<int64_t>(bytes);
    return 1;
}

uint32_t WaveFile::Read(int16_t* buffer, uint32_t count) {
    if (!m_handle || m_writing || !buffer || m_position >= m_dataLength) return 0;
    uint32_t bytes = m_dataLength - m_position;
    if (count < bytes / 2) bytes = 2 * count;
    if (bytes > 0x7FFFFFFEu) bytes = 0x7FFFFFFEu;
    const LONG got = mmioRead(m_handle, reinterpret_cast<HPSTR>(buffer), static_cast<LONG>(bytes & ~1u));
    if (got < 1) return 0;
    m_position += static_cast<uint32_t>(got);
    return static_cast<uint32_t>(got) / 2;
}

uint32_t WaveFile::ReadBuffer(ScratchBuffer<int16_t>* buffer) {
    if (!buffer || !buffer->GetData() || m_writing) return 0;
    const size_t capacity = buffer->Capacity();
    const uint32_t got =
        Read(buffer->GetData(), capacity > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(capacity));
    buffer->SetCount(got);
    return got;
}

int WaveFile::SeekBytes(uint32_t bytes) {
    if (!m_handle || m_writing) return 0;
    uint32_t target = bytes < m_dataLength ? bytes : m_dataLength;
    target &= ~1u;
    if (target == m_position) return 0;
    if (mmioSeek(m_handle, static_cast<LONG>(m_dataOffset + target), SEEK_SET) < 0) return 0;
    m_position = target;
    return 1;
}

void WaveFile::Rewind() {
    if (!m_handle || m_writing) return;
    if (mmioSeek(m_handle, static_cast<LONG>(m_dataOffset), SEEK_SET) >= 0) m_position = 0;
}

void WaveFile::Finish() {
    if (!m_handle || !m_writing) return;
    mmioAscend(m_handle, &m_dataChunk, 0);
    mmioAscend(m_handle, &m_riffChunk, 0);
    mmioFlush(m_handle, 0);
    m_writing = false;
}

void WaveFile::Close() {
    Finish();
    if (m_handle) mmioClose(m_handle, 0);
    m_handle = nullptr;
    m_dataLength = 0;
    m_size = -1;
    m_dataOffset = -1;
    m_isIFFile = false;
    m_position = 0;
    m_writing = false;
    m_format = WAVEFORMATEX{};
}

uint32_t WaveFile::GetPositionSeconds() const {
    return m_format.nAvgBytesPerSec ? m_position / m_format.nAvgBytesPerSec : 0;
}

uint32_t WaveFile::GetLengthSeconds() const {
    return m_format.nAvgBytesPerSec ? m_dataLength / m_format.nAvgBytesPerSec : 0;
}
