#include "TextDecoder.h"

#include "HtmlTokenizer.h"

#include "core/Utf8.h"

#include <iconv.h>

#include <algorithm>
#include <vector>

namespace lurvik {

namespace {

constexpr int kReplacement = 0xFFFD;

// windows-1252 for 0x80-0x9F; the rest of the upper half is Latin-1.
constexpr int kWindows1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                      0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::string normalise(std::string_view name) {
    std::string out;
    for (char c : name)
        if (c != '"' && c != '\'' && c != ' ' && c != '\t')
            out += lowerAscii(c);
    return out;
}

// Labels that mean windows-1252 to a browser: the Latin-1 names included.
bool isWindows1252(const std::string& name) {
    static constexpr std::string_view kNames[] = {
        "windows-1252", "cp1252",   "x-cp1252", "iso-8859-1", "iso8859-1",     "latin1",
        "l1",           "us-ascii", "ascii",    "iso_8859-1", "ansi_x3.4-1968"};
    for (std::string_view n : kNames)
        if (name == n)
            return true;
    return false;
}

// Reads the code point at text[i] of valid UTF-8 and moves i past it.
int nextCodePoint(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    int cp = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length && i + k < text.size(); ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += length;
    return cp;
}

// "&#N;" with its "#" escaped: the text goes into a query, where a bare "#" would end it.
void appendCharacterReference(std::string& out, int cp) {
    out += "&%23" + std::to_string(cp) + ";";
}

std::string charsetFromContentType(std::string_view value) {
    std::string lower(value);
    for (char& c : lower)
        c = lowerAscii(c);
    size_t at = lower.find("charset=");
    if (at == std::string::npos)
        return {};
    size_t start = at + 8;
    size_t end = lower.find_first_of(";,\r\n", start);
    return normalise(std::string_view(lower).substr(start, end == std::string::npos ? end : end - start));
}

} // namespace

TextDecoder::TextDecoder(std::string_view charset) : m_charset(normalise(charset)) {
    if (m_charset == "utf-8" || m_charset == "utf8" || m_charset == "unicode-1-1-utf-8") {
        m_kind = Kind::Utf8;
        return;
    }
    if (m_charset.empty() || isWindows1252(m_charset)) {
        m_kind = Kind::Windows1252;
        return;
    }
    iconv_t handle = iconv_open("UTF-8", m_charset.c_str());
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        m_kind = Kind::Windows1252;
        return;
    }
    m_kind = Kind::Other;
    m_iconv = handle;
}

TextDecoder::~TextDecoder() {
    if (m_iconv)
        iconv_close(static_cast<iconv_t>(m_iconv));
}

void TextDecoder::encode(std::string_view utf8, std::string& out) const {
    out.clear();
    if (m_kind == Kind::Utf8) {
        out.assign(utf8);
        return;
    }
    iconv_t handle = reinterpret_cast<iconv_t>(-1);
    if (m_kind == Kind::Other)
        handle = iconv_open(m_charset.c_str(), "UTF-8");
    for (size_t i = 0; i < utf8.size();) {
        const size_t start = i;
        const int cp = nextCodePoint(utf8, i);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (m_kind != Kind::Other) {
            int byte = cp >= 0xA0 && cp <= 0xFF ? cp : -1;
            for (int k = 0; k < 32 && byte < 0; ++k)
                if (kWindows1252High[k] == cp && cp != kReplacement)
                    byte = 0x80 + k;
            if (byte < 0)
                appendCharacterReference(out, cp);
            else
                out += static_cast<char>(byte);
        } else {
            char buffer[16];
            char* in = const_cast<char*>(utf8.data() + start);
            size_t inLeft = i - start;
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            if (handle == reinterpret_cast<iconv_t>(-1) ||
                iconv(handle, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1))
                appendCharacterReference(out, cp);
            else
                out.append(buffer, outPtr - buffer);
        }
    }
    if (handle != reinterpret_cast<iconv_t>(-1))
        iconv_close(handle);
}

void TextDecoder::decode(std::string_view bytes, Str& out) {
    std::string result;
    result.reserve(bytes.size() + bytes.size() / 4);
    switch (m_kind) {
    case Kind::Utf8:
        appendValidUtf8(bytes, result);
        break;
    case Kind::Windows1252:
        for (char c : bytes) {
            auto u = static_cast<unsigned char>(c);
            if (u < 0x80)
                result += c;
            else
                appendUtf8(result, u < 0xA0 ? kWindows1252High[u - 0x80] : u);
        }
        break;
    case Kind::Other: {
        auto handle = static_cast<iconv_t>(m_iconv);
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
        std::vector<char> buffer(bytes.size() * 4 + 16);
        char* in = const_cast<char*>(bytes.data());
        size_t inLeft = bytes.size();
        while (inLeft > 0) {
            char* outPtr = buffer.data();
            size_t outLeft = buffer.size();
            size_t done = iconv(handle, &in, &inLeft, &outPtr, &outLeft);
            result.append(buffer.data(), outPtr - buffer.data());
            if (done == static_cast<size_t>(-1)) {
                if (errno == E2BIG)
                    continue;
                // An invalid or truncated sequence: mark it and go on with the next byte.
                appendUtf8(result, kReplacement);
                ++in;
                --inLeft;
                iconv(handle, nullptr, nullptr, nullptr, nullptr);
            }
        }
        // iconv's own output is UTF-8 already; checking it again costs little and guarantees it.
        std::string checked;
        appendValidUtf8(result, checked);
        result.swap(checked);
        break;
    }
    }
    out.str() = std::move(result);
}

std::string detectCharset(const Str& reply) {
    // The header is what comes before the first "<"; its Content-Type line is looked for by the
    // start of each line, not at every byte.
    const std::string_view text = reply.view();
    const size_t lt = text.find('<');
    const std::string_view header = text.substr(0, lt == std::string_view::npos ? 0 : lt);
    static constexpr std::string_view kField = "content-type:";
    for (size_t at = header.find('\n'); at != std::string_view::npos; at = header.find('\n', at + 1)) {
        const std::string_view line = header.substr(at + 1, kField.size());
        if (line.size() < kField.size() || !std::equal(line.begin(), line.end(), kField.begin(),
                                                       [](char a, char b) { return lowerAscii(a) == b; }))
            continue;
        std::string fromHeader = charsetFromContentType(header.substr(at, header.find('\n', at + 1) - at));
        if (!fromHeader.empty())
            return fromHeader;
        break;
    }
    // Browsers look for a meta declaration in the first kilobyte or so; allow a few.
    Str top;
    reply.substr(0, 4096, top);
    std::vector<Str> names;
    std::vector<Str> values;
    int tagStart = 0, tagEnd = -1, isEndTag = 0, tagCode = 0, hasAttributes = 0, attrStart = 0, attrEnd = 0;
    while (nextTag(top, tagEnd + 1, tagStart, tagEnd, isEndTag, tagCode, hasAttributes, attrStart, attrEnd) >=
           0) {
        if (tagCode == TAG_BODY)
            break;
        if (tagCode != TAG_META || isEndTag || !hasAttributes)
            continue;
        parseAttributes(top, attrStart, attrEnd, names, values);
        Str value;
        if (getAttribute(names, values, "charset", value))
            return normalise(value.view());
        Str equiv;
        if (getAttribute(names, values, "http-equiv", equiv) && equiv.icmp("content-type") == 0 &&
            getAttribute(names, values, "content", value)) {
            std::string found = charsetFromContentType(value.view());
            if (!found.empty())
                return found;
        }
    }
    return {};
}

} // namespace lurvik
