// Growable typed work area for per-block data (sample blocks, filter taps, symbol text).
//
// Reserve(n) guarantees room for n elements. When it has to reallocate it throws the old
// contents away and allocates exactly n elements: callers fill the storage again after every
// reservation. Grow(n) reallocates keeping the contents. The count is the owner's bookkeeping
// and never exceeds the capacity when set through SetCount. Storage comes from the private
// heap through operator new[]; a failed allocation leaves the buffer without storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

template <typename T>
class ScratchBuffer {
    static_assert(std::is_trivially_copyable<T>::value, "ScratchBuffer holds plain data");

public:
    explicit ScratchBuffer(size_t count = 0) {
        if (count) Reserve(count);
    }
    ~ScratchBuffer() { Release(); }
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;

    // Returns the storage, or null when it could not be had (the buffer is then empty).
    T* Reserve(size_t n) {
        if (m_data && m_capacity >= n) return m_data;
        Release();
        T* p = Allocate(n);
        if (p) {
            m_data = p;
            m_capacity = n;
        }
        return p;
    }

    // Like Reserve, but keeps the first Capacity() elements. On failure the old storage stays
    // and null is returned.
    T* Grow(size_t n) {
        if (m_data && m_capacity >= n) return m_data;
        T* p = Allocate(n);
        if (!p) return nullptr;
        if (m_data) {
            std::memcpy(p, m_data, m_capacity * sizeof(T));
            delete[] reinterpret_cast<unsigned char*>(m_data);
        }
        m_data = p;
        m_capacity = n;
        return p;
    }

    void Release() {
        if (m_data) delete[] reinterpret_cast<unsigned char*>(m_data);
        m_data = nullptr;
        m_capacity = 0;
    }

    void SetCount(size_t n) { m_count = n < m_capacity ? n : m_capacity; }
    size_t GetCount() const { return m_count; }
    size_t Capacity() const { return m_capacity; }
    T* GetData() const { return m_data; }

private:
    static T* Allocate(size_t n) {
        if (n == 0 || n > SIZE_MAX / sizeof(T)) return nullptr;
        try {
            return reinterpret_cast<T*>(new (std::nothrow) unsigned char[n * sizeof(T)]);
        } catch (...) {
            return nullptr;
        }
    }

    size_t m_capacity = 0;
    size_t m_count = 0;
    T* m_data = nullptr;
};
