#pragma once

#include "core/Str.h"

#include <string>
#include <string_view>

namespace lurvik {

// Turns text of one page from the page's character set into UTF-8, so titles and link texts are
// valid UTF-8 whatever the page was written in. Bytes that do not decode become U+FFFD.
class TextDecoder {
public:
    // An unknown or empty charset name means windows-1252, as browsers read unlabelled pages.
    explicit TextDecoder(std::string_view charset);
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    void decode(std::string_view bytes, Str& out);
    const std::string& charset() const { return m_charset; }
    bool isUtf8() const { return m_kind == Kind::Utf8; }
    // UTF-8 text back in the page's charset, as browsers send a link's query: a character the
    // charset has no byte for goes as "&#N;", its "#" percent-encoded.
    void encode(std::string_view utf8, std::string& out) const;

private:
    enum class Kind { Utf8, Windows1252, Other };
    Kind m_kind = Kind::Windows1252;
    std::string m_charset;
    void* m_iconv = nullptr;
};

// The charset a reply declares: its Content-Type header, else a <meta charset> or http-equiv
// Content-Type near the top of the page. Lower case; empty when nothing says.
std::string detectCharset(const Str& reply);

} // namespace lurvik
