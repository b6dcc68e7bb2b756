#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace lurvik {

// A byte string with value semantics, the program's text type. Text is UTF-8 where it is shown to
// the user; page bytes are kept as received. Indexes are byte offsets; searches return -1 when
// nothing matches, and comparisons return 0 on equality.
class Str {
public:
    Str() = default;
    Str(const char* text) : m_text(text ? text : "") {}
    Str(std::string_view text) : m_text(text) {}
    Str(std::string text) : m_text(std::move(text)) {}
    Str(const char* data, int length) : m_text(data, length > 0 ? length : 0) {}

    Str& operator=(const char* text);
    Str& operator=(char c);
    Str& operator=(int value);

    const char* text() const { return m_text.c_str(); }
    std::string_view view() const { return m_text; }
    const std::string& str() const { return m_text; }
    std::string& str() { return m_text; }
    int toInt() const;

    int len() const { return static_cast<int>(m_text.size()); }
    bool isEmpty() const { return m_text.empty(); }
    char operator[](int i) const { return i >= 0 && i < len() ? m_text[i] : '\0'; }

    void cpy(std::string_view text) { m_text.assign(text); }
    void cpy(const char* data, int length) { m_text.assign(data, length > 0 ? length : 0); }
    void cat(std::string_view text) { m_text.append(text); }
    void cat(const char* data, int length) { m_text.append(data, length > 0 ? length : 0); }
    void cat(char c) { m_text.push_back(c); }

    int cmp(std::string_view other) const;
    int icmp(std::string_view other) const;
    int ncmp(std::string_view other, int n) const;
    int nicmp(std::string_view other, int n) const;
    bool operator==(const Str& other) const { return m_text == other.m_text; }
    bool operator==(std::string_view other) const { return m_text == other; }
    bool operator==(const char* other) const { return m_text == other; }

    // wholeWord: the match must not touch a letter, digit or underscore on either side.
    int find(std::string_view needle, int start = 0, bool matchCase = true, bool wholeWord = false) const;
    int find(char c, int start = 0, bool matchCase = true) const;
    // Backwards from start (-1: from the end); the match begins at or before start.
    int findr(std::string_view needle, int start = -1, bool matchCase = true) const;
    int findr(char c, int start = -1) const;

    void substr(int start, int length, Str& out) const;
    void substr(int start, Str& out) const;
    // Copies the range into out; with remove set, the range is also cut from this string.
    void extract(int start, int length, Str& out, int remove);
    void collapse(int start, int n);
    void truncate(int n);
    void strip();
    void lower();

    int getnumlines() const;
    // Line i without its line end ("\n" or "\r\n"); empty when there is no such line.
    void getline(int i, Str& out) const;

    Str& printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    Str& vprintf(const char* format, va_list args);

    void encode64();
    // Returns 0 on success; on bad input the string is left unchanged and 1 is returned.
    int decode64();
    // Replaces HTML character references by the UTF-8 form of their character. Unknown names and
    // malformed references stay as written.
    void decodeISO();
    // The same for an attribute value, by the rules browsers apply there: a named reference without
    // its ";" counts only for the old Latin-1 names and not before "=" or a letter or digit, so
    // "?a=1&copy=2" keeps its "&copy"; numeric references count with or without ";".
    void decodeAttribute();

    void clear() { m_text.clear(); }

private:
    std::string m_text;
};

bool isWordChar(char c);
inline char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace lurvik
