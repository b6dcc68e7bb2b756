#include "DevToolsMessages.h"

#include <cstring>

namespace lurvik {

void MessageSplitter::append(const char* bytes, size_t count) {
    if (m_overflowed)
        return;
    // Drop what was handed out before growing, so the buffer holds one message or so.
    if (m_start > 0 && m_start * 2 >= m_buffer.size()) {
        m_buffer.erase(0, m_start);
        m_scanned -= m_start;
        m_start = 0;
    }
    m_buffer.append(bytes, count);
    if (m_buffer.size() - m_start > kMaxMessageBytes && m_buffer.find('\0', m_scanned) == std::string::npos)
        m_overflowed = true;
}

bool MessageSplitter::next(std::string& out) {
    if (m_overflowed)
        return false;
    const size_t end = m_buffer.find('\0', m_scanned);
    if (end == std::string::npos) {
        m_scanned = m_buffer.size();
        return false;
    }
    out.assign(m_buffer, m_start, end - m_start);
    m_start = end + 1;
    m_scanned = m_start;
    return true;
}

std::string base64Encode(std::string_view bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t group = static_cast<unsigned char>(bytes[i]) << 16 |
                               static_cast<unsigned char>(bytes[i + 1]) << 8 |
                               static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[group >> 18];
        out += kDigits[(group >> 12) & 63];
        out += kDigits[(group >> 6) & 63];
        out += kDigits[group & 63];
    }
    const size_t left = bytes.size() - i;
    if (left > 0) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (left == 2)
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kDigits[group >> 18];
        out += kDigits[(group >> 12) & 63];
        out += left == 2 ? kDigits[(group >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

} // namespace lurvik
