// A LockedQueue whose bytes are a zlib stream: Write deflates into the queue (level 6),
// Finish ends the stream, ReadDecompressed/ReadDecompressedFinish inflate queued bytes into
// the caller's buffer. Input that inflate consumed is always dropped from the queue, so a
// call after a partial one continues where it stopped and never feeds a byte twice.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/locked_queue.h"

struct z_stream_s;

class CompressingQueue : public LockedQueue {
public:
    CompressingQueue(uint32_t initialCapacity, uint32_t maxSize);
    ~CompressingQueue() override;

    // count when all input was taken; the bytes taken when the queue reached maxSize; -1 on a
    // zlib error (or when the streams could not be initialised).
    int Write(const void* data, uint32_t count) override;
    // Empties the queue and starts fresh deflate and inflate streams.
    void Clear() override;
    // Inflates the queued bytes into destination; the bytes written, -1 on corrupt data.
    virtual int ReadDecompressed(void* destination, uint32_t size);
    // Ends the deflate stream; 1 when the stream end is in the queue, 0 otherwise.
    virtual int Finish();
    // Inflates the rest of the stream: the bytes written when the stream ended; size + 1 when
    // the destination filled up first (it then holds size bytes and a further call continues
    // after them); -1 for truncated or corrupt data.
    virtual int ReadDecompressedFinish(void* destination, uint32_t size);

    bool IsValid() const { return m_deflate && m_inflate; }

private:
    void StartStreams();
    void EndStreams();
    int Deflate(int flush, const void* data, uint32_t count, bool* ended);
    int Inflate(bool finish, void* destination, uint32_t size, int* written);

    // Each deleter ends its stream (deflateEnd/inflateEnd) and frees it.
    struct EndDeflate {
        void operator()(z_stream_s* z) const;
    };
    struct EndInflate {
        void operator()(z_stream_s* z) const;
    };
    std::unique_ptr<z_stream_s, EndDeflate> m_deflate;
    std::unique_ptr<z_stream_s, EndInflate> m_inflate;
};
