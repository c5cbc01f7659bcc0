#include "foundation/compressing_queue.h"

#include <zlib.h>

#include <cstring>
#include <new>

CompressingQueue::CompressingQueue(uint32_t initialCapacity, uint32_t maxSize) : LockedQueue(initialCapacity, maxSize) {
    StartStreams();
}

CompressingQueue::~CompressingQueue() { EndStreams(); }

// deflateInit/inflateInit (the macros) pass zlib's own version and record size, which differ
// between the 32- and 64-bit builds.
void CompressingQueue::StartStreams() {
    z_stream* deflater = new (std::nothrow) z_stream();
    if (deflater && deflateInit(deflater, 6) != Z_OK) {
        delete deflater;
        deflater = nullptr;
    }
    m_deflate.reset(deflater);
    z_stream* inflater = new (std::nothrow) z_stream();
    if (inflater && inflateInit(inflater) != Z_OK) {
        delete inflater;
        inflater = nullptr;
    }
    m_inflate.reset(inflater);
}

void CompressingQueue::EndDeflate::operator()(z_stream_s* z) const {
    deflateEnd(z);
    delete z;
}

void CompressingQueue::EndInflate::operator()(z_stream_s* z) const {
    inflateEnd(z);
    delete z;
}

void CompressingQueue::EndStreams() {
    m_inflate.reset();
    m_deflate.reset();
}

// Runs deflate from data into the queue's free space, doubling the capacity whenever the
// output space is used up. Called under the lock. Returns the input bytes consumed, or -1 on
// a zlib error; *ended tells whether Z_STREAM_END was reached (Z_FINISH only).
int CompressingQueue::Deflate(int flush, const void* data, uint32_t count, bool* ended) {
    *ended = false;
    if (!m_deflate) return -1;
    z_stream* z = m_deflate.get();
    z->next_in = static_cast<Bytef*>(const_cast<void*>(data));
    z->avail_in = count;
    int result = 0;
    for (;;) {
        uint32_t free = GetFree();
        z->next_out = m_data + GetSize();
        z->avail_out = free;
        int r = free ? deflate(z, flush) : Z_BUF_ERROR;
        uint32_t produced = free - z->avail_out;
        SetSize(GetSize() + produced);
        if (r == Z_STREAM_END) {
            *ended = true;
            break;
        }
        if (r != Z_OK && r != Z_BUF_ERROR) {
            result = -1;
            break;
        }
        if (flush == Z_NO_FLUSH && z->avail_in == 0) break;
        if (z->avail_out == 0 || free == 0) {
            uint32_t before = GetCapacity();
            Resize(before > 0x7FFFFFFFu ? 0xFFFFFFFFu : before * 2);
            if (GetCapacity() <= before) break;  // maxSize reached
        } else if (r == Z_BUF_ERROR) {
            break;  // no progress possible with space left: nothing more to do
        }
    }
    uint32_t consumed = count - z->avail_in;
    z->next_in = nullptr;
    z->avail_in = 0;
    return result < 0 ? -1 : static_cast<int>(consumed);
}

int CompressingQueue::Write(const void* data, uint32_t count) {
    CriticalSectionLock lock(&m_lock);
    if (!data && count) return -1;
    bool ended;
    return Deflate(Z_NO_FLUSH, data, count, &ended);
}

int CompressingQueue::Finish() {
    CriticalSectionLock lock(&m_lock);
    bool ended;
    Deflate(Z_FINISH, nullptr, 0, &ended);
    return ended ? 1 : 0;
}

// Inflates the queued bytes into destination under the lock and drops the input inflate
// consumed, whatever the outcome. Returns the last zlib result; *written the bytes produced.
int CompressingQueue::Inflate(bool finish, void* destination, uint32_t size, int* written) {
    uint8_t* in = LockRead();
    *written = 0;
    if (!m_inflate || !destination) {
        UnlockRead(0);
        return Z_STREAM_ERROR;
    }
    z_stream* z = m_inflate.get();
    z->next_in = in;
    z->avail_in = GetSize();
    z->next_out = static_cast<Bytef*>(destination);
    z->avail_out = size;
    int r = Z_OK;
    if (finish) {
        r = inflate(z, Z_FINISH);
    } else {
        while (z->avail_in > 0 && z->avail_out > 0 && r == Z_OK) r = inflate(z, Z_NO_FLUSH);
        if (r == Z_STREAM_END && z->avail_in > 0) r = Z_DATA_ERROR;  // bytes after the stream's end
    }
    *written = static_cast<int>(size - z->avail_out);
    if (r == Z_BUF_ERROR && z->avail_out > 0 && finish) r = Z_DATA_ERROR;  // input ran out first
    UnlockRead(GetSize() - z->avail_in);
    z->next_in = nullptr;
    z->avail_in = 0;
    return r;
}

int CompressingQueue::ReadDecompressed(void* destination, uint32_t size) {
    int written;
    int r = Inflate(false, destination, size, &written);
    return r == Z_OK || r == Z_STREAM_END || r == Z_BUF_ERROR ? written : -1;
}

int CompressingQueue::ReadDecompressedFinish(void* destination, uint32_t size) {
    int written;
    int r = Inflate(true, destination, size, &written);
    if (r == Z_STREAM_END) return written;
    if ((r == Z_BUF_ERROR || r == Z_OK) && written == static_cast<int>(size)) return static_cast<int>(size) + 1;
    return -1;  // truncated or corrupt
}

void CompressingQueue::Clear() {
    CriticalSectionLock lock(&m_lock);
    LockedQueue::Clear();
    EndStreams();
    StartStreams();
}
