// The plug-in's WAV recordings, over the Windows multimedia file functions (mmio): 16-bit mono
// PCM written with an 18-byte "fmt " chunk, read back for playback either in place of the
// receiver's IF (a name ending in ".if.wav") or straight to the audio output.
//
// Written layout: "RIFF" size "WAVE", "fmt " 18 {1, 1, rate, rate x 2, 2, 16, 0}, "data" size,
// samples; the header is 46 bytes. While recording, both sizes are brought up to date (and
// the samples flushed to the file) at least every kHeaderRefreshMs, so a process that dies
// mid-recording loses at most that much; Finish writes the final sizes.
//
// mmio may report no failure when a buffered write or a flush does not reach the disk (it
// does not under Wine), so each header refresh and Finish measure the file itself: a file
// shorter than the bytes written means the recording failed. From then on writes are refused
// and the sizes (the header's and GetSize's) are those of the samples that are on the disk.
//
// Reading opens any well-formed WAV file (a "fmt " chunk of 16 bytes or more before a "data"
// chunk), whatever its format, so that its details can be shown; IsSupported says whether the
// plug-in can play it. Samples come from the "data" chunk alone: a data size beyond the end
// of the file is cut to the bytes present, and chunks after the data are never read as
// samples. A data size of 0 or 0xFFFFFFFF under a RIFF size of 0, 4 or 0xFFFFFFFF (what a
// streaming writer or a cut recording leaves) means "to the end of the file".
//
// Not thread-safe: the owner guards the object.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

#include "foundation/scratch_buffer.h"
#include "foundation/string.h"

class WaveFile {
public:
    static constexpr uint32_t kDefaultByteLimit = 2000000000u;
    static constexpr uint32_t kHeaderBytes = 46;
    static constexpr uint32_t kHeaderRefreshMs = 500;
    static constexpr uint32_t kMaxPlaybackRate = 64000;

    // Closed, with the default byte limit; with a name the file is opened for reading.
    explicit WaveFile(const char* name = nullptr);
    ~WaveFile();
    WaveFile(const WaveFile&) = delete;
    WaveFile& operator=(const WaveFile&) = delete;

    // 1 on success, 0 on any failure (the object is then closed). Null reopens the kept name.
    int OpenRead(const char* name = nullptr);
    // Open for reading with what the plug-in plays: 16-bit mono PCM at 1..kMaxPlaybackRate Hz
    // with at least one sample.
    bool IsSupported() const;
    // A new recording at rate Hz (1..0x3FFFFFFF; the average bytes per second must fit 32
    // bits). 1 on success, 0 on failure (closed; a file created without its header on the
    // disk is removed).
    int Create(const char* path, uint32_t rateHz);
    // Appends count samples. 0 without a recording, once the byte limit is reached (checked
    // before the write, so the last accepted write may pass it), when the file would outgrow
    // the 32-bit RIFF sizes, or on a short write or a failed header refresh (the file stays
    // open; after a failure every write is refused).
    int Write(const int16_t* samples, uint32_t count);
    // Up to count samples from the position, never past the data chunk; 0 at its end, on
    // error or while writing.
    uint32_t Read(int16_t* buffer, uint32_t count);
    // Fills the buffer's capacity (its count becomes the samples read) and returns the count.
    uint32_t ReadBuffer(ScratchBuffer<int16_t>* buffer);
    // Moves to min(bytes, data length) rounded down to even; 1 when the position changed.
    int SeekBytes(uint32_t bytes);
    void Rewind();
    // Writes the chunk sizes of a recording (those on the disk after a failure) and flushes;
    // nothing when not writing.
    void Finish();
    void Close();

    bool IsOpen() const { return m_handle != nullptr; }
    int64_t GetSize() const { return m_size; }  // -1 when closed
    uint32_t GetDataLength() const { return m_dataLength; }
    const String& GetFileName() const { return m_fileName; }
    const String& GetShortName() const { return m_shortName; }
    bool IsIFFile() const { return m_isIFFile; }
    bool IsWriting() const { return m_writing; }
    // Whether a write of the recording did not reach the disk (kept until Close).
    bool HasFailed() const { return m_failed; }
    uint32_t GetPosition() const { return m_position; }
    uint32_t GetPositionSeconds() const;
    uint32_t GetLengthSeconds() const;
    uint32_t GetBytesPerSecond() const { return m_format.nAvgBytesPerSec; }
    uint32_t GetSampleRate() const { return m_format.nSamplesPerSec; }
    uint32_t GetChannels() const { return m_format.nChannels; }
    uint32_t GetBitsPerSample() const { return m_format.wBitsPerSample; }
    void SetByteLimit(uint32_t bytes) { m_byteLimit = bytes; }  // 0: none
    uint32_t GetByteLimit() const { return m_byteLimit; }
    // Longest time between two header refreshes of a recording; 0 refreshes at every write.
    void SetHeaderRefreshMs(uint32_t ms) { m_headerRefreshMs = ms; }

    // Whether the name, its last extension removed, ends in the extension "if" (any case).
    static bool IsIFName(const char* name);

private:
    void KeepName(const char* name);
    bool ReadHeader(int64_t fileSize);
    bool RefreshHeader();
    void MeasureDisk();
    bool WriteSizes();
    static bool IsOpenEndedRiffSize(uint32_t riffSize);

    String m_fileName;
    String m_shortName;
    int64_t m_size = -1;
    HMMIO m_handle = nullptr;
    WAVEFORMATEX m_format{};
    uint32_t m_dataLength = 0;
    int64_t m_dataOffset = -1;
    bool m_isIFFile = false;
    uint32_t m_position = 0;
    bool m_writing = false;
    bool m_failed = false;
    MMCKINFO m_riffChunk{};
    MMCKINFO m_dataChunk{};
    uint32_t m_byteLimit = kDefaultByteLimit;
    uint32_t m_headerRefreshMs = kHeaderRefreshMs;
    DWORD m_headerWrittenAt = 0;  // GetTickCount of the last header write
};
