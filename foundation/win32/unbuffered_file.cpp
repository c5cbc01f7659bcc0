#include "foundation/win32/unbuffered_file.h"

#include <cstring>

#include "foundation/compressing_queue.h"
#include "foundation/scratch_buffer.h"
#include "foundation/win32/virtual_buffer.h"

UnbufferedFile::UnbufferedFile(String name, bool readOnly, bool truncate, uint32_t dataSize)
    : File(name), m_readOnly(readOnly) {
    DWORD access = readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = readOnly ? OPEN_EXISTING : (truncate ? CREATE_ALWAYS : OPEN_ALWAYS);
    HANDLE h = CreateFileA(name.CStr(), access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_FLAG_NO_BUFFERING | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    m_handle = h;

    int root = name.Find(":\\", 2);
    DWORD sectorsPerCluster, bytesPerSector = 0, freeClusters, clusters;
    if (root < 0 ||
        !GetDiskFreeSpaceA(name.Mid(0, root + 2).CStr(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &clusters) ||
        bytesPerSector == 0) {
        CloseHandle(m_handle);
        m_handle = nullptr;
        return;
    }
    m_sector = bytesPerSector;
    m_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    try {
        m_tail = new VirtualBuffer(m_sector, m_sector);
        m_buffer = new VirtualBuffer(dataSize + 2 * m_sector, dataSize + 2 * m_sector);
    } catch (const char*) {}
    LARGE_INTEGER size;
    if (!m_event || !m_tail || !m_buffer || !GetFileSizeEx(m_handle, &size)) {
        CloseHandle(m_handle);
        m_handle = nullptr;
        return;
    }
    m_diskSize = static_cast<uint64_t>(size.QuadPart) / m_sector * m_sector;
    uint32_t tail = static_cast<uint32_t>(static_cast<uint64_t>(size.QuadPart) - m_diskSize);
    if (tail) {
        std::memset(&m_ov, 0, sizeof m_ov);
        m_ov.Offset = static_cast<DWORD>(m_diskSize);
        m_ov.OffsetHigh = static_cast<DWORD>(m_diskSize >> 32);
        m_ov.hEvent = m_event;
        ResetEvent(m_event);
        DWORD n = 0;
        bool ok = ReadFile(m_handle, m_tail->GetData(), m_sector, nullptr, &m_ov) || GetLastError() == ERROR_IO_PENDING;
        ok = ok && WaitForSingleObject(m_event, 10000) == WAIT_OBJECT_0 &&
             GetOverlappedResult(m_handle, &m_ov, &n, FALSE);
        if (!ok || n < tail) {
            CancelIo(m_handle);
            CloseHandle(m_handle);
            m_handle = nullptr;
            return;
        }
        m_tailBytes = tail;
    }
}

UnbufferedFile::~UnbufferedFile() {
    if (m_handle && m_pending == kWrite) {
        WaitPending(INFINITE);  // cancelling it would leave a hole in the file
    } else if (m_handle && m_pending == kRead) {
        CancelIo(m_handle);
        DWORD n;
        GetOverlappedResult(m_handle, &m_ov, &n, TRUE);
        m_pending = kNone;
    }
    if (m_handle) {
        CloseHandle(m_handle);
        m_handle = nullptr;
        if (m_written && m_tailBytes) {
            HANDLE h = CreateFileA(m_name.CStr(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                LARGE_INTEGER at;
                at.QuadPart = static_cast<LONGLONG>(m_diskSize);
                DWORD n;
                if (SetFilePointerEx(h, at, nullptr, FILE_BEGIN))
                    WriteFile(h, m_tail->GetData(), m_tailBytes, &n, nullptr);
                CloseHandle(h);
            }
        }
    }
    if (m_event) CloseHandle(m_event);
    delete m_buffer;
    delete m_tail;
}

int64_t UnbufferedFile::GetSize() { return static_cast<int64_t>(m_diskSize + m_tailBytes); }
int64_t UnbufferedFile::GetPosition() { return static_cast<int64_t>(m_position); }

bool UnbufferedFile::Seek(int64_t position) {
    if (position < 0 || position > GetSize()) return false;
    m_position = static_cast<uint64_t>(position);
    return true;
}

uint32_t UnbufferedFile::GetBlockSize() const { return m_buffer ? m_buffer->GetCapacity() - 2 * m_sector : 0; }
uint8_t* UnbufferedFile::GetBuffer() const { return m_buffer ? m_buffer->GetData() : nullptr; }

// Starts one overlapped transfer of the aligned buffer. True when it completed (*done bytes)
// or is pending (m_pending set by the caller when *done is -1).
bool UnbufferedFile::StartTransfer(bool write, uint64_t offset, uint32_t bytes, DWORD* done) {
    std::memset(&m_ov, 0, sizeof m_ov);
    m_ov.Offset = static_cast<DWORD>(offset);
    m_ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    m_ov.hEvent = m_event;
    ResetEvent(m_event);
    BOOL ok = write ? WriteFile(m_handle, m_buffer->GetData(), bytes, nullptr, &m_ov)
                    : ReadFile(m_handle, m_buffer->GetData(), bytes, nullptr, &m_ov);
    if (!ok) {
        DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            *done = static_cast<DWORD>(-1);
            return true;
        }
        if (error == ERROR_HANDLE_EOF) {
            *done = 0;
            return true;
        }
        return false;
    }
    return GetOverlappedResult(m_handle, &m_ov, done, TRUE) != 0;
}

int UnbufferedFile::WriteBlock(uint32_t count, const void* data) {
    if (!m_handle || m_readOnly || (count && !data)) return 0;
    if (m_pending != kNone && WaitPending(INFINITE) < 0) return 0;
    // 64-bit sum: a count near 4 GB must not wrap round into the tail's room.
    uint64_t sum = static_cast<uint64_t>(m_tailBytes) + count;
    if (sum > m_buffer->GetCapacity()) return 0;
    m_written = true;
    if (sum < m_sector) {
        std::memcpy(m_tail->GetData() + m_tailBytes, data, count);
        m_tailBytes += count;
        return 1;
    }
    uint32_t total = static_cast<uint32_t>(sum);
    uint8_t* buffer = m_buffer->GetData();
    std::memcpy(buffer, m_tail->GetData(), m_tailBytes);
    std::memcpy(buffer + m_tailBytes, data, count);
    uint32_t whole = total / m_sector * m_sector;
    m_tailBytes = total - whole;
    std::memcpy(m_tail->GetData(), buffer + whole, m_tailBytes);
    DWORD done = 0;
    if (!StartTransfer(true, m_diskSize, whole, &done)) return 0;
    if (done == static_cast<DWORD>(-1)) {
        m_pending = kWrite;
        m_pendingBytes = whole;
        return 0;
    }
    if (done < whole) return 0;
    m_diskSize += done;
    return 1;
}

int UnbufferedFile::ReadBlock(uint32_t count, void* destination) {
    if (!m_handle) return 0;
    if (m_pending != kNone && WaitPending(INFINITE) < 0) return 0;
    uint64_t end = m_diskSize + m_tailBytes;
    if (m_position >= end || count == 0) return 0;
    if (count > end - m_position) count = static_cast<uint32_t>(end - m_position);
    uint64_t start = m_position / m_sector * m_sector;
    uint64_t stop;
    for (;;) {  // the sectors read plus the tail after them must fit in the buffer
        stop = (m_position + count + m_sector - 1) / m_sector * m_sector;
        if (stop > m_diskSize) stop = m_diskSize;
        uint64_t need = (stop > start ? stop - start : 0) + (stop == m_diskSize ? m_tailBytes : 0);
        if (need <= m_buffer->GetCapacity()) break;
        if (count <= m_sector) return 0;
        count -= m_sector;
    }
    uint32_t bytes = stop > start ? static_cast<uint32_t>(stop - start) : 0;
    m_readSkip = static_cast<uint32_t>(m_position - start);
    m_readCount = count;
    m_readStart = start;
    m_readDestination = destination;
    m_pendingBytes = bytes;
    DWORD done = 0;
    if (bytes && !StartTransfer(false, start, bytes, &done)) return 0;
    if (done == static_cast<DWORD>(-1)) {
        m_pending = kRead;
        return 0;
    }
    int n = CompleteRead(done);
    return n < 0 ? 0 : n;
}

// The bytes from the position on go to the caller; a read that reaches the on-disk size
// takes the tail's bytes after it.
int UnbufferedFile::CompleteRead(uint32_t bytesRead) {
    uint8_t* buffer = m_buffer->GetData();
    uint32_t available = bytesRead;
    if (bytesRead == m_pendingBytes && m_readStart + bytesRead == m_diskSize && m_tailBytes) {
        std::memcpy(buffer + bytesRead, m_tail->GetData(), m_tailBytes);
        available += m_tailBytes;
    }
    if (available < m_readSkip) return -1;
    uint32_t n = available - m_readSkip;
    if (n > m_readCount) n = m_readCount;
    if (m_readDestination)
        std::memcpy(m_readDestination, buffer + m_readSkip, n);
    else
        std::memmove(buffer, buffer + m_readSkip, n);
    m_position += n;
    return static_cast<int>(n);
}

int UnbufferedFile::WaitPending(DWORD timeoutMs) {
    if (m_pending == kNone) return 0;
    if (!m_handle || WaitForSingleObject(m_event, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD n = 0;
    Pending kind = m_pending;
    if (!GetOverlappedResult(m_handle, &m_ov, &n, FALSE)) {
        if (GetLastError() != ERROR_HANDLE_EOF) {
            m_pending = kNone;
            return -2;
        }
        n = 0;
    }
    m_pending = kNone;
    if (kind == kWrite) {
        if (n < m_pendingBytes) return -3;
        m_diskSize += n;
        return static_cast<int>(n);
    }
    return CompleteRead(n);
}

uint32_t UnbufferedFile::Write(const void* data, uint32_t count) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t block = GetBlockSize();
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < block ? count - done : block;
        if (!WriteBlock(n, p + done) && !(IsPending() && WaitPending(INFINITE) >= 0)) return 0;
        done += n;
    }
    return count;
}

uint32_t UnbufferedFile::Read(void* buffer, uint32_t count) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    uint32_t block = GetBlockSize(), done = 0;
    while (done < count) {
        uint32_t n = count - done < block ? count - done : block;
        int r = ReadBlock(n, p + done);
        if (r == 0 && IsPending()) r = WaitPending(INFINITE);
        if (r <= 0) break;
        done += static_cast<uint32_t>(r);
    }
    return done;
}

namespace {
// One block from the source's position into its buffer; the bytes delivered, <= 0 at the end
// or on failure.
int ReadIntoBuffer(UnbufferedFile* source, uint32_t count) {
    int r = source->ReadBlock(count, nullptr);
    if (r == 0 && source->IsPending()) r = source->WaitPending(INFINITE);
    return r;
}
uint32_t CommonBlock(UnbufferedFile* a, UnbufferedFile* b) {
    return a->GetBlockSize() < b->GetBlockSize() ? a->GetBlockSize() : b->GetBlockSize();
}
// Writes the whole queue out.
bool Drain(LockedQueue* queue, UnbufferedFile* destination) {
    uint8_t* data = queue->LockRead();
    uint32_t n = queue->GetSize();
    bool ok = n == 0 || destination->Write(data, n) == n;
    queue->UnlockRead(ok ? n : 0);
    return ok;
}
}  // namespace

int CopyFileData(UnbufferedFile* source, UnbufferedFile* destination, uint64_t byteCount) {
    if (!source->GetHandle() || !destination->GetHandle()) return 0;
    uint64_t left = static_cast<uint64_t>(source->GetSize() - source->GetPosition());
    if (byteCount > left) byteCount = left;
    uint32_t block = CommonBlock(source, destination);
    while (byteCount > 0) {
        uint32_t n = byteCount < block ? static_cast<uint32_t>(byteCount) : block;
        int r = ReadIntoBuffer(source, n);
        if (r <= 0) return 0;
        if (!destination->WriteBlock(static_cast<uint32_t>(r), source->GetBuffer()) &&
            !(destination->IsPending() && destination->WaitPending(INFINITE) >= 0))
            return 0;
        byteCount -= static_cast<uint32_t>(r);
    }
    return destination->WaitPending(INFINITE) >= 0;
}

int CompressFile(UnbufferedFile* source, UnbufferedFile* destination) {
    if (!source->GetHandle() || !destination->GetHandle()) return 0;
    uint32_t block = CommonBlock(source, destination);
    CompressingQueue queue(block, 0x7FFFFFFF);
    if (!queue.IsValid()) return 0;
    for (;;) {
        int r = ReadIntoBuffer(source, block);
        if (r < 0) return 0;
        if (r == 0) break;
        if (queue.Write(source->GetBuffer(), static_cast<uint32_t>(r)) != r) return 0;
        if (queue.GetSize() >= block && !Drain(&queue, destination)) return 0;
    }
    // A read that failed part-way also delivers 0: only the source's end is the end.
    if (source->GetPosition() != source->GetSize()) return 0;
    return queue.Finish() && Drain(&queue, destination) && destination->WaitPending(INFINITE) >= 0;
}

int DecompressFile(UnbufferedFile* source, UnbufferedFile* destination) {
    if (!source->GetHandle() || !destination->GetHandle()) return 0;
    uint32_t block = CommonBlock(source, destination);
    CompressingQueue queue(block, 0x7FFFFFFF);
    if (!queue.IsValid()) return 0;
    ScratchBuffer<uint8_t> outBuffer(block);
    uint8_t* out = outBuffer.GetData();
    if (!out) return 0;
    for (;;) {
        int r = ReadIntoBuffer(source, block);
        if (r < 0) return 0;
        if (r == 0) break;
        if (queue.LockedQueue::Write(source->GetBuffer(), static_cast<uint32_t>(r)) != r) return 0;
        while (queue.GetSize() > 0) {
            int n = queue.ReadDecompressed(out, block);
            if (n < 0) return 0;
            if (n == 0) break;
            if (destination->Write(out, static_cast<uint32_t>(n)) != static_cast<uint32_t>(n)) return 0;
        }
    }
    if (source->GetPosition() != source->GetSize()) return 0;
    // The end of the stream must be there: a truncated file fails here.
    for (;;) {
        int n = queue.ReadDecompressedFinish(out, block);
        if (n < 0) return 0;
        uint32_t got = n == static_cast<int>(block) + 1 ? block : static_cast<uint32_t>(n);
        if (got && destination->Write(out, got) != got) return 0;
        if (n != static_cast<int>(block) + 1) break;
    }
    return destination->WaitPending(INFINITE) >= 0;
}
