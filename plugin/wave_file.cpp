#include "plugin/wave_file.h"

#include <cstring>

namespace {

constexpr uint32_t kFormatChunkBytes = 18;
constexpr uint32_t kPcmFormatChunkBytes = 16;  // the same format without the extra-size word
// RIFF sizes are 32-bit and count everything after the first eight bytes.
constexpr uint64_t kMaxFileBytes = 0xFFFFFFFFull;
constexpr int64_t kMaxReadableBytes = 0x7FFFFFFF;

// The file's length as the file system has it, also while a recording holds it open; -1 when
// unknown or not a file.
int64_t FileSizeOf(const char* name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(name, GetFileExInfoStandard, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
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

// The chunks are walked by hand rather than with mmioDescend, which trusts the RIFF size: a
// recording cut short by a crash, or a streaming writer, leaves sizes that mean "unknown".
bool WaveFile::ReadHeader(int64_t fileSize) {
    uint32_t riff[3];
    if (fileSize < 12 || mmioRead(m_handle, reinterpret_cast<HPSTR>(riff), 12) != 12) return false;
    if (riff[0] != mmioFOURCC('R', 'I', 'F', 'F') || riff[2] != mmioFOURCC('W', 'A', 'V', 'E')) return false;
    const bool openEnded = IsOpenEndedRiffSize(riff[1]);
    // mmio positions are LONGs: nothing beyond them can be reached.
    int64_t end = fileSize < kMaxReadableBytes ? fileSize : kMaxReadableBytes;
    if (!openEnded && 8 + static_cast<int64_t>(riff[1]) < end) end = 8 + static_cast<int64_t>(riff[1]);

    WAVEFORMATEX format{};
    bool haveFormat = false;
    for (int64_t at = 12; at + 8 <= end;) {
        uint32_t header[2];
        if (mmioSeek(m_handle, static_cast<LONG>(at), SEEK_SET) != at ||
            mmioRead(m_handle, reinterpret_cast<HPSTR>(header), 8) != 8)
            return false;
        const int64_t body = at + 8;
        const uint32_t size = header[1];
        if (header[0] == mmioFOURCC('f', 'm', 't', ' ') && !haveFormat) {
            if (size < kPcmFormatChunkBytes) return false;
            // A plain PCM chunk is 16 bytes: reading 18 would take two bytes of the next chunk.
            const LONG want = size < kFormatChunkBytes ? kPcmFormatChunkBytes : kFormatChunkBytes;
            if (mmioRead(m_handle, reinterpret_cast<HPSTR>(&format), want) != want) return false;
            if (want < static_cast<LONG>(kFormatChunkBytes)) format.cbSize = 0;
            haveFormat = true;
        } else if (header[0] == mmioFOURCC('d', 'a', 't', 'a')) {
            if (!haveFormat || body > fileSize) return false;
            int64_t length = size;
            if (length > fileSize - body || (openEnded && (size == 0 || size == 0xFFFFFFFFu))) length = fileSize - body;
            if (length > kMaxReadableBytes - body) length = kMaxReadableBytes - body;
            // The header's own rates are not trusted: a second's bytes follow from the layout.
            const uint64_t blockAlign = static_cast<uint64_t>(format.nChannels) * ((format.wBitsPerSample + 7u) / 8u);
            const uint64_t perSecond = blockAlign * format.nSamplesPerSec;
            format.nBlockAlign = static_cast<WORD>(blockAlign <= 0xFFFF ? blockAlign : 0);
            format.nAvgBytesPerSec = static_cast<DWORD>(perSecond <= 0x7FFFFFFF ? perSecond : 0);
            if (mmioSeek(m_handle, static_cast<LONG>(body), SEEK_SET) != body) return false;
            m_format = format;
            m_dataLength = static_cast<uint32_t>(length) & ~1u;
            m_dataOffset = body;
            m_position = 0;
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

bool WaveFile::IsOpenEndedRiffSize(uint32_t riffSize) {
    return riffSize == 0 || riffSize == 4 || riffSize == 0xFFFFFFFFu;
}

bool WaveFile::IsSupported() const {
    return IsOpen() && !m_writing && m_format.wFormatTag == WAVE_FORMAT_PCM && m_format.nChannels == 1 &&
           m_format.wBitsPerSample == 16 && m_format.nSamplesPerSec >= 1 &&
           m_format.nSamplesPerSec <= kMaxPlaybackRate && m_dataLength >= 2;
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
    // A disk that is already full takes not even the header.
    if (here < 0 || mmioFlush(m_handle, 0) != MMSYSERR_NOERROR || FileSizeOf(mmioName) < here) {
        m_writing = false;  // nothing worth finishing
        Close();
        DeleteFileA(mmioName);  // no header, no WAV file: nothing to keep
        return 0;
    }
    m_format = format;
    m_dataLength = 0;
    m_headerWrittenAt = GetTickCount();
    m_dataOffset = here;
    m_position = 0;
    m_size = here;
    return 1;
}

int WaveFile::Write(const int16_t* samples, uint32_t count) {
    if (!m_handle || !m_writing || !samples || m_failed) return 0;
    if (m_byteLimit && m_size >= m_byteLimit) return 0;
    const uint64_t bytes = 2ull * count;
    if (static_cast<uint64_t>(m_size) + bytes > kMaxFileBytes - 8 || bytes > 0x7FFFFFFF) return 0;
    const LONG written = mmioWrite(m_handle, reinterpret_cast<const char*>(samples), static_cast<LONG>(bytes));
    if (written > 0) {
        m_dataLength += static_cast<uint32_t>(written) & ~1u;
        m_size += written & ~1;
    }
    if (written != static_cast<LONG>(bytes)) {
        m_failed = true;
        return 0;
    }
    if (GetTickCount() - m_headerWrittenAt >= m_headerRefreshMs && !RefreshHeader()) return 0;
    return 1;
}

// Everything buffered out to the file and the sizes so far into the header: a process that
// dies now leaves a file that plays up to here. Finish still writes the final sizes (mmio
// keeps its chunk records dirty until then).
bool WaveFile::RefreshHeader() {
    MeasureDisk();
    if (!WriteSizes()) m_failed = true;
    m_headerWrittenAt = GetTickCount();
    return !m_failed;
}

// Flushes, then compares the file's length with the bytes written: what did not reach the disk
// is no longer counted. The header lies within the first bytes that did, so it can still be
// rewritten on a full disk.
void WaveFile::MeasureDisk() {
    if (mmioFlush(m_handle, 0) != MMSYSERR_NOERROR) m_failed = true;
    const int64_t onDisk = FileSizeOf(m_fileName.CStr());
    if (onDisk < 0 || onDisk >= m_size) return;
    m_failed = true;
    const int64_t data = onDisk > m_dataOffset ? (onDisk - m_dataOffset) & ~int64_t{1} : 0;
    m_dataLength = static_cast<uint32_t>(data);
    m_size = m_dataOffset + data;
}

bool WaveFile::WriteSizes() {
    const LONG end = static_cast<LONG>(m_size);
    const uint32_t sizes[2] = {static_cast<uint32_t>(m_size - 8), m_dataLength};
    const LONG at[2] = {static_cast<LONG>(m_riffChunk.dwDataOffset - 4),
                        static_cast<LONG>(m_dataChunk.dwDataOffset - 4)};
    for (int i = 0; i < 2; ++i)
        if (mmioSeek(m_handle, at[i], SEEK_SET) != at[i] ||
            mmioWrite(m_handle, reinterpret_cast<const char*>(&sizes[i]), 4) != 4)
            return false;
    return mmioSeek(m_handle, end, SEEK_SET) == end && mmioFlush(m_handle, 0) == MMSYSERR_NOERROR;
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
    MeasureDisk();
    if (m_failed) {
        // mmio's chunk records still count what never reached the disk.
        WriteSizes();
    } else {
        mmioAscend(m_handle, &m_dataChunk, 0);
        mmioAscend(m_handle, &m_riffChunk, 0);
        mmioFlush(m_handle, 0);
    }
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
    m_failed = false;
    m_format = WAVEFORMATEX{};
}

uint32_t WaveFile::GetPositionSeconds() const {
    return m_format.nAvgBytesPerSec ? m_position / m_format.nAvgBytesPerSec : 0;
}

uint32_t WaveFile::GetLengthSeconds() const {
    return m_format.nAvgBytesPerSec ? m_dataLength / m_format.nAvgBytesPerSec : 0;
}
