#include "MemBlock.h"

#include <algorithm>
#include <cstring>

namespace lurvik {

void MemBlock::set(const void* data, int n) {
    clear();
    cat(data, n);
}

char* MemBlock::grow(int n) {
    size_t at = m_bytes.size();
    m_bytes.resize(at + static_cast<size_t>(std::max(n, 0)));
    return m_bytes.data() + at;
}

void MemBlock::cat(const Str& s) {
    cat(s.view());
}

void MemBlock::cat(std::string_view s) {
    cat(static_cast<int64_t>(s.size()), 4);
    cat(s.data(), static_cast<int>(s.size()));
}

void MemBlock::cat(const void* data, int n) {
    if (n <= 0)
        return;
    auto* p = static_cast<const char*>(data);
    m_bytes.insert(m_bytes.end(), p, p + n);
}

void MemBlock::cat(int64_t value, int width) {
    char bytes[8];
    width = std::clamp(width, 0, 8);
    for (int i = 0; i < width; ++i)
        bytes[i] = static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xFF);
    cat(bytes, width);
}

int MemBlock::get(void* data, int n) {
    if (n < 0 || n > remaining())
        return 1;
    if (n > 0)
        std::memcpy(data, m_bytes.data() + m_cursor, n);
    m_cursor += n;
    return 0;
}

int MemBlock::get(int& out, int width) {
    if (width < 1 || width > 4 || width > remaining())
        return 1;
    uint32_t v = 0;
    for (int i = 0; i < width; ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(m_bytes[m_cursor + i])) << (8 * i);
    m_cursor += width;
    out = static_cast<int>(v);
    return 0;
}

int MemBlock::get(Str& out, int maxLength) {
    std::string_view bytes;
    if (get(bytes, maxLength) != 0)
        return 1;
    out.cpy(bytes);
    return 0;
}

int MemBlock::get(std::string_view& out, int maxLength) {
    int start = m_cursor;
    int length = 0;
    if (get(length, 4) != 0)
        return 1;
    if (length < 0 || length > remaining() || length > maxLength) {
        m_cursor = start;
        return 1;
    }
    out = std::string_view(m_bytes.data() + m_cursor, length);
    m_cursor += length;
    return 0;
}

void MemBlock::clear() {
    m_bytes.clear();
    m_cursor = 0;
}

} // namespace lurvik
