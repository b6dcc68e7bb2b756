#pragma once

#include "Str.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace lurvik {

// A buffer that is written at its end and read from a cursor: the serialisation unit of the site
// map and criteria files. Strings are stored as a 4-byte length and their bytes; integers in the
// width asked for, little-endian. Every get returns 0 on success and non-zero, leaving the cursor
// where it was, when the data run out.
class MemBlock {
public:
    static constexpr int kMaxString = 0x7FFFFFFF;

    void set(const void* data, int n);
    void cat(const Str& s);
    // The same text, written as a Str is, without making one.
    void cat(std::string_view s);
    void cat(const void* data, int n);
    // Width 1, 2 or 4 bytes; the value is cut to that width.
    void cat(int64_t value, int width);
    // Appends n zero bytes and returns where they start, for a reader to fill in place.
    char* grow(int n);

    // Refuses, before allocating anything, a length past maxLength: a damaged or hostile file may
    // claim any length its writer could never have produced.
    [[nodiscard]] int get(Str& out, int maxLength = kMaxString);
    // The same without a copy: out views the block's bytes until the block changes.
    [[nodiscard]] int get(std::string_view& out, int maxLength = kMaxString);
    [[nodiscard]] int get(void* data, int n);
    // Reads a value written with the same width; widths 1 and 2 read back unsigned.
    [[nodiscard]] int get(int& out, int width);

    // Passes over n bytes; 1 when fewer are left.
    [[nodiscard]] int skip(int n) {
        if (n < 0 || n > remaining())
            return 1;
        m_cursor += n;
        return 0;
    }

    void getstart() { m_cursor = 0; }
    int cursor() const { return m_cursor; }
    int remaining() const { return len() - m_cursor; }
    void clear();
    int len() const { return static_cast<int>(m_bytes.size()); }
    const char* getAddr() const { return m_bytes.data(); }
    void reserve(int n) { m_bytes.reserve(n); }

private:
    std::vector<char> m_bytes;
    int m_cursor = 0;
};

} // namespace lurvik
