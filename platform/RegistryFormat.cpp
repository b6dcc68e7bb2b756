#include "RegistryFormat.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace lurvik {

namespace {

constexpr std::string_view kHeader = "Lurvik registry 1";
// A written length beyond this is damage, not a setting, and must not become an allocation.
constexpr size_t kMaxTextLength = 16 * 1024 * 1024;

constexpr char kHex[] = "0123456789abcdef";

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The length of the valid UTF-8 sequence starting at text[i], or 0 when there is none.
size_t utf8Length(std::string_view text, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = byte(i);
    size_t n = 0;
    uint32_t code = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    if ((n == 3 && code < 0x800) || (n == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return n;
}

// Appends text with every control byte and every byte outside valid UTF-8 as two hex digits after
// an escape: "\x" in quoted texts, where '"' and '\' take a backslash of their own; "%" in key
// paths, where '%', '[' and ']' are escaped too.
void appendEscaped(std::string& out, std::string_view text, bool quoted) {
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            if (size_t n = utf8Length(text, i)) {
                out.append(text.substr(i, n));
                i += n;
                continue;
            }
        }
        bool plain = c >= 0x20 && c < 0x7F;
        if (quoted && (c == '"' || c == '\\')) {
            out += '\\';
            out += static_cast<char>(c);
        } else if (plain && (quoted || (c != '%' && c != '[' && c != ']'))) {
            out += static_cast<char>(c);
        } else {
            out += quoted ? "\\x" : "%";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        ++i;
    }
}

// Reads a quoted text at text[at] (at the opening quote); on success `at` is past the closing
// quote.
std::optional<std::string> readQuoted(std::string_view text, size_t& at) {
    if (at >= text.size() || text[at] != '"')
        return std::nullopt;
    std::string out;
    for (size_t i = at + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            at = i + 1;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 1 >= text.size())
            return std::nullopt;
        char next = text[++i];
        if (next == '"' || next == '\\') {
            out += next;
        } else if (next == 'x' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
                   hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::string> readKeyPath(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || hexDigit(text[i + 1]) < 0 || hexDigit(text[i + 2]) < 0)
            return std::nullopt;
        out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
        i += 2;
    }
    return out;
}

std::optional<std::string> readHexBytes(std::string_view text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (i + 1 >= text.size() || hexDigit(text[i]) < 0 || hexDigit(text[i + 1]) < 0)
            return std::nullopt;
        out += static_cast<char>(hexDigit(text[i]) * 16 + hexDigit(text[i + 1]));
        i += 2;
        if (i < text.size() && text[i++] != ',')
            return std::nullopt;
        if (i == text.size() && text.back() == ',')
            return std::nullopt;
    }
    return out;
}

std::optional<uint64_t> readNumber(std::string_view text, int base) {
    if (text.empty() || text.size() > 16)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        int digit = hexDigit(c);
        if (digit < 0 || digit >= base)
            return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    return value;
}

// `"Name"=...`; false for a line that does not parse.
bool readValueLine(std::string_view line, RegistryValue& value) {
    size_t at = 0;
    auto name = readQuoted(line, at);
    if (!name || at >= line.size() || line[at] != '=')
        return false;
    std::string_view rest = line.substr(at + 1);
    value.name = std::move(*name);
    if (rest.starts_with("dword:")) {
        auto number = readNumber(rest.substr(6), 16);
        if (!number || rest.size() - 6 > 8)
            return false;
        value.type = RegistryType::Number;
        value.data.clear();
        for (int i = 0; i < 4; ++i)
            value.data += static_cast<char>((*number >> (8 * i)) & 0xFF);
        return true;
    }
    if (rest.starts_with("hex:")) {
        auto bytes = readHexBytes(rest.substr(4));
        if (!bytes)
            return false;
        value.type = RegistryType::Binary;
        value.data = std::move(*bytes);
        return true;
    }
    size_t length = std::string::npos;
    if (rest.starts_with("text(")) {
        size_t close = rest.find("):");
        if (close == std::string_view::npos)
            return false;
        auto number = readNumber(rest.substr(5, close - 5), 10);
        if (!number || *number > kMaxTextLength)
            return false;
        length = static_cast<size_t>(*number);
        rest = rest.substr(close + 2);
    }
    size_t end = 0;
    auto text = readQuoted(rest, end);
    if (!text || end != rest.size())
        return false;
    if (length != std::string::npos) {
        if (length < text->size())
            return false;
        text->resize(length, '\0');
    }
    value.type = RegistryType::Text;
    value.data = std::move(*text);
    return true;
}

void appendValue(std::string& out, const RegistryValue& value) {
    out += '"';
    appendEscaped(out, value.name, true);
    out += "\"=";
    switch (value.type) {
    case RegistryType::Number: {
        uint32_t number = 0;
        for (size_t i = 0; i < 4 && i < value.data.size(); ++i)
            number |= static_cast<uint32_t>(static_cast<unsigned char>(value.data[i])) << (8 * i);
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", number);
        out += "dword:";
        out += digits;
        break;
    }
    case RegistryType::Text: {
        std::string_view text = value.data;
        size_t kept = text.find_last_not_of('\0');
        kept = kept == std::string_view::npos ? 0 : kept + 1;
        if (kept < text.size())
            out += "text(" + std::to_string(text.size()) + "):";
        out += '"';
        appendEscaped(out, text.substr(0, kept), true);
        out += '"';
        break;
    }
    case RegistryType::Binary:
        out += "hex:";
        for (size_t i = 0; i < value.data.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(value.data[i]);
            if (i > 0)
                out += ',';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        break;
    }
    out += '\n';
}

} // namespace

std::string formatRegistry(const RegistryTree& tree) {
    std::string out(kHeader);
    out += '\n';
    for (const auto& [folded, key] : tree) {
        out += "\n[";
        appendEscaped(out, key.path, false);
        out += "]\n";
        for (const auto& [name, value] : key.values)
            appendValue(out, value);
    }
    return out;
}

RegistryTree parseRegistry(std::string_view text) {
    RegistryTree tree;
    RegistryKeyData* key = nullptr;
    bool sawHeader = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (!sawHeader) {
            if (line != kHeader)
                return {};
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            auto path = line.ends_with(']') ? readKeyPath(line.substr(1, line.size() - 2)) : std::nullopt;
            // Values under a key line that does not parse must not land in the key before it.
            key = path ? &ensureKey(tree, normalizeKeyPath(*path)) : nullptr;
            continue;
        }
        RegistryValue value;
        if (key && readValueLine(line, value)) {
            std::string folded = foldName(value.name);
            key->values.insert_or_assign(std::move(folded), std::move(value));
        }
    }
    return tree;
}

} // namespace lurvik
