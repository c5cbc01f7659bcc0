// A file read and written through sector-aligned overlapped I/O without the system cache.
//
// The file on disk always holds whole sectors; the bytes after the last whole sector (the
// tail, less than a sector) stay in memory until the destructor writes them with ordinary
// buffering. Writes append at the end of the data; reads start at the logical position.
// One transfer can be pending at a time: a new transfer completes a pending one before it
// reuses the buffer, and the destructor waits for a pending write. Win32 only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/win32/file.h"

class VirtualBuffer;

class UnbufferedFile : public File {
public:
    // readOnly opens an existing file; otherwise truncate selects CREATE_ALWAYS over
    // OPEN_ALWAYS. dataSize is the largest block one transfer moves. The path must be
    // absolute (the sector size comes from its drive root); on failure the handle is 0.
    UnbufferedFile(String name, bool readOnly, bool truncate, uint32_t dataSize);
    ~UnbufferedFile() override;

    int64_t GetSize() override;  // on-disk size plus the tail
    int64_t GetPosition() override;
    bool Seek(int64_t position) override;  // within 0..GetSize()
    // Writes everything (block by block, waiting as needed); count when all was written, else 0.
    uint32_t Write(const void* data, uint32_t count) override;
    // Reads up to count bytes from the position, waiting as needed; the bytes read.
    uint32_t Read(void* buffer, uint32_t count) override;

    // One block of at most GetBlockSize() bytes appended. 1 when written (or kept in the tail),
    // 0 when it failed or is pending (IsPending tells which).
    virtual int WriteBlock(uint32_t count, const void* data);
    // One block from the position into destination, or left at the start of GetBuffer() when
    // destination is null. The bytes delivered; 0 at the end, on failure, or when pending.
    virtual int ReadBlock(uint32_t count, void* destination);
    // Completes the pending transfer: its byte count; 0 when none is pending; -1 on time-out,
    // error state or a short read; -2 when the system reports failure; -3 for a short write.
    int WaitPending(DWORD timeoutMs);

    bool IsPending() const { return m_pending != kNone; }
    uint32_t GetBlockSize() const;
    uint8_t* GetBuffer() const;
    uint32_t GetSectorSize() const { return m_sector; }

private:
    enum Pending { kNone, kRead, kWrite };
    bool StartTransfer(bool write, uint64_t offset, uint32_t bytes, DWORD* done);
    int CompleteRead(uint32_t bytesRead);

    uint32_t m_sector = 0;
    VirtualBuffer* m_buffer = nullptr;
    VirtualBuffer* m_tail = nullptr;
    HANDLE m_event = nullptr;
    OVERLAPPED m_ov = {};
    uint64_t m_diskSize = 0;
    uint64_t m_position = 0;
    uint32_t m_tailBytes = 0;
    bool m_readOnly;
    bool m_written = false;
    Pending m_pending = kNone;
    uint32_t m_pendingBytes = 0;  // bytes asked of the system
    uint32_t m_readSkip = 0;      // read: bytes in the buffer before the position
    uint32_t m_readCount = 0;     // read: bytes wanted from the position
    uint64_t m_readStart = 0;     // read: file offset of the buffer's first byte
    void* m_readDestination = nullptr;
};

// Whole-file copies between two open UnbufferedFiles, block by block from the source's
// position. 1 on success, 0 when a transfer (or the compression) fails.
int CopyFileData(UnbufferedFile* source, UnbufferedFile* destination, uint64_t byteCount);
int CompressFile(UnbufferedFile* source, UnbufferedFile* destination);
int DecompressFile(UnbufferedFile* source, UnbufferedFile* destination);
