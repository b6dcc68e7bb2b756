#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace lurvik {

// A growable run of bytes.
class ByteArray {
public:
    void append(const void* data, int n) {
        if (n <= 0)
            return;
        auto* p = static_cast<const uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), p, p + n);
    }
    // Removes n bytes at offset; a range reaching past the end is cut at the end.
    void remove(int offset, int n) {
        if (offset < 0 || offset >= len() || n <= 0)
            return;
        int last = offset + n > len() ? len() : offset + n;
        m_bytes.erase(m_bytes.begin() + offset, m_bytes.begin() + last);
    }
    void clear() { m_bytes.clear(); }
    int len() const { return static_cast<int>(m_bytes.size()); }
    const uint8_t* data() const { return m_bytes.data(); }
    uint8_t* data() { return m_bytes.data(); }

private:
    std::vector<uint8_t> m_bytes;
};

// A ByteArray read as elements of one type: len() counts elements, not bytes.
template <class T> class TypedArray {
public:
    int len() const { return m_bytes.len() / static_cast<int>(sizeof(T)); }
    void add(T v) { m_bytes.append(&v, sizeof(T)); }
    void del(int i) {
        if (i >= 0 && i < len())
            m_bytes.remove(i * static_cast<int>(sizeof(T)), sizeof(T));
    }
    // Element i, or a zero value out of range.
    T get(int i) const {
        T v{};
        if (i >= 0 && i < len())
            std::memcpy(&v, m_bytes.data() + i * sizeof(T), sizeof(T));
        return v;
    }
    void set(int i, T v) {
        if (i >= 0 && i < len())
            std::memcpy(m_bytes.data() + i * sizeof(T), &v, sizeof(T));
    }
    int find(T v) const {
        for (int i = 0; i < len(); ++i)
            if (get(i) == v)
                return i;
        return -1;
    }
    void clear() { m_bytes.clear(); }

private:
    ByteArray m_bytes;
};

using IntArray = TypedArray<int32_t>;
using UIntArray = TypedArray<uint32_t>;
using ShortArray = TypedArray<int16_t>;
using UShortArray = TypedArray<uint16_t>;

} // namespace lurvik
