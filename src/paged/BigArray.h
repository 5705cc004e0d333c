#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace ondril {

// The system's pages behind BigArray.
namespace pages {
size_t size();
// `bytes` of pages holding what `old` held (`oldBytes`, nullptr for none);
// nullptr, with `old` untouched, when the system has no room.
void *grow(void *old, size_t oldBytes, size_t bytes);
void release(void *p, size_t bytes);
// The pages' contents are no longer needed: their memory goes back.
void discard(void *p, size_t bytes);
} // namespace pages

// A growable array of plain values in pages of its own from the system.
// Growing remaps the pages instead of copying them (on Windows: commits more
// of an address range reserved at the start), so a box of a hundred
// megabytes never needs room for two copies of itself; memory reserved but
// not yet written costs nothing; and clearing gives it all back at once.
template <class T>
class BigArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    BigArray() = default;
    ~BigArray() { clear(); }
    BigArray(const BigArray &) = delete;
    BigArray &operator=(const BigArray &) = delete;

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T *data() { return m_data; }
    const T *data() const { return m_data; }
    T &operator[](size_t i) { return m_data[i]; }
    const T &operator[](size_t i) const { return m_data[i]; }
    const T *begin() const { return m_data; }
    const T *end() const { return m_data + m_size; }

    // Room for `n` values, growing by half again at least. False, with
    // nothing changed, when the system has no memory for it.
    bool reserve(size_t n)
    {
        if (n <= m_capacity)
            return true;
        static const size_t page = pages::size();
        const size_t wanted = std::max(n, m_capacity + m_capacity / 2);
        if (wanted > (size_t(-1) - page) / sizeof(T))
            return false;
        const size_t bytes = (wanted * sizeof(T) + page - 1) / page * page;
        void *p = pages::grow(m_data, m_mapped, bytes);
        if (!p)
            return false;
        m_data = static_cast<T *>(p);
        m_mapped = bytes;
        m_capacity = bytes / sizeof(T);
        return true;
    }

    // These stay within the room reserved: they never fail.
    // Room for `n` values at `at`, holding what was there before.
    T *open(size_t at, size_t n)
    {
        if (n == 0)
            return m_data + at;
        if (at < m_size)
            std::memmove(m_data + at + n, m_data + at, (m_size - at) * sizeof(T));
        m_size += n;
        return m_data + at;
    }
    void erase(size_t from, size_t to)
    {
        if (from == to)
            return;
        if (to < m_size)
            std::memmove(m_data + from, m_data + to, (m_size - to) * sizeof(T));
        const size_t was = m_size;
        m_size -= to - from;
        release(m_size, was);
    }

    void swap(BigArray &other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_mapped, other.m_mapped);
    }

    void clear()
    {
        if (m_data)
            pages::release(m_data, m_mapped);
        m_data = nullptr;
        m_size = m_capacity = m_mapped = 0;
    }

private:
    // Gives the system back the pages that held values `from` to `to`, now
    // unused: a large cut then frees its memory, which Undo's copy of it takes.
    void release(size_t from, size_t to)
    {
        static const size_t page = pages::size();
        const size_t first = (from * sizeof(T) + page - 1) / page * page;
        const size_t last = to * sizeof(T) / page * page;
        if (last > first && last - first >= (size_t(1) << 20))
            pages::discard(reinterpret_cast<char *>(m_data) + first, last - first);
    }

    T *m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
    size_t m_mapped = 0;
};

} // namespace ondril
