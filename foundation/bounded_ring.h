// A first-in first-out ring of at most Capacity plain records, stored inline: pushing never
// allocates and so never fails. When the ring is full the oldest record gives way to the new
// one and the dropped count goes up, so memory stays bounded when nobody drains the ring.
// Not thread-safe: the owner locks.
#pragma once

#include <cstddef>
#include <type_traits>

template <typename T, size_t Capacity>
class BoundedRing {
    static_assert(Capacity > 0, "a ring holds at least one record");
    static_assert(std::is_trivially_copyable<T>::value, "BoundedRing holds plain records");

public:
    class const_iterator {
    public:
        const_iterator(const BoundedRing* ring, size_t index) : m_ring(ring), m_index(index) {}
        const T& operator*() const { return m_ring->m_items[(m_ring->m_head + m_index) % Capacity]; }
        const_iterator& operator++() {
            ++m_index;
            return *this;
        }
        bool operator!=(const const_iterator& other) const { return m_index != other.m_index; }

    private:
        const BoundedRing* m_ring;
        size_t m_index;
    };

    // Appends item; returns false when the oldest record had to be dropped for it.
    bool push_back(const T& item) {
        bool kept = true;
        if (m_count == Capacity) {
            m_head = (m_head + 1) % Capacity;
            --m_count;
            ++m_dropped;
            kept = false;
        }
        m_items[(m_head + m_count) % Capacity] = item;
        ++m_count;
        return kept;
    }
    // Empties the ring; the dropped count stays (it counts over the ring's life).
    void clear() {
        m_head = 0;
        m_count = 0;
    }
    size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    static constexpr size_t capacity() { return Capacity; }
    size_t dropped() const { return m_dropped; }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, m_count); }

private:
    T m_items[Capacity];
    size_t m_head = 0;
    size_t m_count = 0;
    size_t m_dropped = 0;
};
