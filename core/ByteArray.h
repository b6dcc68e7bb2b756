#pragma once

#include "CompactArray.h"

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

// An array of one plain type, element by element.
template <class T>
class TypedArray {
public:
    int len() const { return static_cast<int>(m_items.size()); }
    void add(T v) { m_items.push_back(v); }
    void del(int i) {
        if (i >= 0 && i < len())
            m_items.erase(i);
    }
    // Element i, or a zero value out of range.
    T get(int i) const { return i >= 0 && i < len() ? m_items[i] : T{}; }
    void set(int i, T v) {
        if (i >= 0 && i < len())
            m_items[i] = v;
    }
    int find(T v) const {
        for (int i = 0; i < len(); ++i)
            if (m_items[i] == v)
                return i;
        return -1;
    }
    void clear() { m_items.clear(); }

private:
    CompactArray<T> m_items;
};

using IntArray = TypedArray<int32_t>;
using UIntArray = TypedArray<uint32_t>;
using ShortArray = TypedArray<int16_t>;
using UShortArray = TypedArray<uint16_t>;

} // namespace lurvik
