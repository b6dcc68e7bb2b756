#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace lurvik {

// A growable array of plain values in 16 bytes, a pointer and two 32-bit counts, where a vector
// takes 24: every node of a site holds several such lists (its parents, its children, its tree
// items), and a site has millions of nodes. Growth doubles, as a vector's does; whoever wants
// another rule reserves ahead.
template <class T>
class CompactArray {
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved as bytes");

public:
    CompactArray() = default;
    CompactArray(const CompactArray& other) { copyFrom(other); }
    CompactArray(CompactArray&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
          m_capacity(std::exchange(other.m_capacity, 0)) {}
    CompactArray& operator=(const CompactArray& other) {
        if (this != &other) {
            m_size = 0;
            copyFrom(other);
        }
        return *this;
    }
    CompactArray& operator=(CompactArray&& other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
        return *this;
    }
    ~CompactArray() { ::operator delete(m_data); }

    uint32_t size() const { return m_size; }
    uint32_t capacity() const { return m_capacity; }
    bool empty() const { return m_size == 0; }
    T* data() { return m_data; }
    const T* data() const { return m_data; }
    T& operator[](uint32_t i) { return m_data[i]; }
    const T& operator[](uint32_t i) const { return m_data[i]; }
    T* begin() { return m_data; }
    T* end() { return m_data + m_size; }
    const T* begin() const { return m_data; }
    const T* end() const { return m_data + m_size; }

    void reserve(uint32_t n) {
        if (n > m_capacity)
            reallocate(n);
    }
    void push_back(const T& v) {
        if (m_size == m_capacity)
            reallocate(m_capacity ? 2 * m_capacity : 1);
        m_data[m_size++] = v;
    }
    // Inserts before index i (at most size()).
    void insert(uint32_t i, const T& v) {
        if (m_size == m_capacity)
            reallocate(m_capacity ? 2 * m_capacity : 1);
        std::memmove(m_data + i + 1, m_data + i, (m_size - i) * sizeof(T));
        m_data[i] = v;
        ++m_size;
    }
    void erase(uint32_t i) {
        std::memmove(m_data + i, m_data + i + 1, (m_size - i - 1) * sizeof(T));
        --m_size;
    }
    template <class Pred>
    void eraseIf(Pred pred) {
        uint32_t kept = 0;
        for (uint32_t i = 0; i < m_size; ++i)
            if (!pred(m_data[i]))
                m_data[kept++] = m_data[i];
        m_size = kept;
    }
    void assign(uint32_t n, const T& v) {
        m_size = 0;
        reserve(n);
        for (uint32_t i = 0; i < n; ++i)
            m_data[i] = v;
        m_size = n;
    }
    void clear() { m_size = 0; }
    void shrinkToFit() {
        if (m_size < m_capacity)
            reallocate(m_size);
    }

private:
    // Through operator new, as a vector's storage is, so running out of memory ends as it does
    // for everything else.
    void reallocate(uint32_t capacity) {
        T* moved = capacity ? static_cast<T*>(::operator new(capacity * sizeof(T))) : nullptr;
        if (m_size)
            std::memcpy(moved, m_data, m_size * sizeof(T));
        ::operator delete(m_data);
        m_data = moved;
        m_capacity = capacity;
    }
    void copyFrom(const CompactArray& other) {
        reserve(other.m_size);
        if (other.m_size)
            std::memcpy(m_data, other.m_data, other.m_size * sizeof(T));
        m_size = other.m_size;
    }

    T* m_data = nullptr;
    uint32_t m_size = 0;
    uint32_t m_capacity = 0;
};

} // namespace lurvik
