#include "Str.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace lurvik {

bool isWordChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    // Bytes of multi-byte UTF-8 characters count as word characters so that a whole-word search
    // never splits an accented word.
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' ||
           u >= 0x80;
}

namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

int compareFolded(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(lowerAscii(a[i]));
        unsigned char y = static_cast<unsigned char>(lowerAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool equalAt(std::string_view hay, size_t pos, std::string_view needle, bool matchCase) {
    if (pos + needle.size() > hay.size())
        return false;
    if (matchCase)
        return hay.compare(pos, needle.size(), needle) == 0;
    for (size_t i = 0; i < needle.size(); ++i)
        if (lowerAscii(hay[pos + i]) != lowerAscii(needle[i]))
            return false;
    return true;
}

} // namespace

Str& Str::operator=(const char* text) {
    m_text.assign(text ? text : "");
    return *this;
}

Str& Str::operator=(char c) {
    m_text.assign(1, c);
    return *this;
}

Str& Str::operator=(int value) {
    m_text = std::to_string(value);
    return *this;
}

int Str::toInt() const {
    return static_cast<int>(std::strtol(m_text.c_str(), nullptr, 10));
}

int Str::cmp(std::string_view other) const {
    return sign(std::string_view(m_text).compare(other));
}

int Str::icmp(std::string_view other) const {
    return compareFolded(m_text, other);
}

int Str::ncmp(std::string_view other, int n) const {
    if (n <= 0)
        return 0;
    std::string_view a = std::string_view(m_text).substr(0, n);
    return sign(a.compare(other.substr(0, std::min<size_t>(n, other.size()))));
}

int Str::nicmp(std::string_view other, int n) const {
    if (n <= 0)
        return 0;
    return compareFolded(std::string_view(m_text).substr(0, n),
                         other.substr(0, std::min<size_t>(n, other.size())));
}

int Str::find(std::string_view needle, int start, bool matchCase, bool wholeWord) const {
    if (start < 0)
        start = 0;
    if (start > len() || static_cast<size_t>(start) + needle.size() > m_text.size())
        return -1;
    for (size_t pos = start; pos + needle.size() <= m_text.size(); ++pos) {
        if (matchCase) {
            pos = m_text.find(needle, pos);
            if (pos == std::string::npos)
                return -1;
        } else if (!equalAt(m_text, pos, needle, matchCase)) {
            continue;
        }
        if (wholeWord) {
            bool before = pos > 0 && isWordChar(m_text[pos - 1]);
            size_t end = pos + needle.size();
            bool after = end < m_text.size() && isWordChar(m_text[end]);
            if (before || after)
                continue;
        }
        return static_cast<int>(pos);
    }
    return -1;
}

int Str::find(char c, int start, bool matchCase) const {
    if (start < 0)
        start = 0;
    if (matchCase) {
        size_t pos = m_text.find(c, start);
        return pos == std::string::npos ? -1 : static_cast<int>(pos);
    }
    for (size_t pos = start; pos < m_text.size(); ++pos) {
        if (matchCase ? m_text[pos] == c : lowerAscii(m_text[pos]) == lowerAscii(c))
            return static_cast<int>(pos);
    }
    return -1;
}

int Str::findr(std::string_view needle, int start, bool matchCase) const {
    if (needle.size() > m_text.size())
        return -1;
    int last = len() - static_cast<int>(needle.size());
    int pos = (start < 0 || start > last) ? last : start;
    for (; pos >= 0; --pos)
        if (equalAt(m_text, pos, needle, matchCase))
            return pos;
    return -1;
}

int Str::findr(char c, int start) const {
    int pos = (start < 0 || start >= len()) ? len() - 1 : start;
    for (; pos >= 0; --pos)
        if (m_text[pos] == c)
            return pos;
    return -1;
}

void Str::substr(int start, int length, Str& out) const {
    if (start < 0)
        start = 0;
    if (start >= len() || length <= 0) {
        out.clear();
        return;
    }
    out.m_text.assign(m_text, start, length);
}

void Str::substr(int start, Str& out) const {
    substr(start, len(), out);
}

void Str::extract(int start, int length, Str& out, int remove) {
    substr(start, length, out);
    if (remove)
        collapse(start, length);
}

void Str::collapse(int start, int n) {
    if (start < 0 || start >= len() || n <= 0)
        return;
    m_text.erase(start, n);
}

void Str::truncate(int n) {
    if (n >= 0 && n < len())
        m_text.resize(n);
}

void Str::strip() {
    auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    };
    size_t begin = 0;
    while (begin < m_text.size() && isSpace(m_text[begin]))
        ++begin;
    size_t end = m_text.size();
    while (end > begin && isSpace(m_text[end - 1]))
        --end;
    m_text = m_text.substr(begin, end - begin);
}

void Str::lower() {
    for (char& c : m_text)
        c = lowerAscii(c);
}

int Str::getnumlines() const {
    if (m_text.empty())
        return 0;
    int lines = static_cast<int>(std::count(m_text.begin(), m_text.end(), '\n'));
    return m_text.back() == '\n' ? lines : lines + 1;
}

void Str::getline(int i, Str& out) const {
    out.clear();
    if (i < 0)
        return;
    size_t pos = 0;
    for (int line = 0; line < i; ++line) {
        size_t nl = m_text.find('\n', pos);
        if (nl == std::string::npos)
            return;
        pos = nl + 1;
    }
    if (pos >= m_text.size())
        return;
    size_t nl = m_text.find('\n', pos);
    size_t end = nl == std::string::npos ? m_text.size() : nl;
    if (end > pos && m_text[end - 1] == '\r')
        --end;
    out.m_text.assign(m_text, pos, end - pos);
}

Str& Str::printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    return *this;
}

Str& Str::vprintf(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed < 0) {
        m_text.clear();
        return *this;
    }
    m_text.resize(static_cast<size_t>(needed) + 1);
    std::vsnprintf(m_text.data(), m_text.size(), format, args);
    m_text.resize(needed);
    return *this;
}

namespace {
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
} // namespace

void Str::encode64() {
    std::string out;
    out.reserve((m_text.size() + 2) / 3 * 4);
    size_t i = 0;
    auto byte = [&](size_t k) { return static_cast<unsigned char>(m_text[k]); };
    for (; i + 2 < m_text.size(); i += 3) {
        unsigned v = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        out += kBase64[v >> 18 & 63];
        out += kBase64[v >> 12 & 63];
        out += kBase64[v >> 6 & 63];
        out += kBase64[v & 63];
    }
    size_t rest = m_text.size() - i;
    if (rest > 0) {
        unsigned v = byte(i) << 16 | (rest == 2 ? byte(i + 1) << 8 : 0);
        out += kBase64[v >> 18 & 63];
        out += kBase64[v >> 12 & 63];
        out += rest == 2 ? kBase64[v >> 6 & 63] : '=';
        out += '=';
    }
    m_text = std::move(out);
}

int Str::decode64() {
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    size_t padding = 0;
    for (char c : m_text) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t')
            continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        int v = base64Value(c);
        if (v < 0 || padding > 0)
            return 1;
        acc = (acc << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    if (padding > 2)
        return 1;
    m_text = std::move(out);
    return 0;
}

} // namespace lurvik
