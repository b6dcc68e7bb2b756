#include "WarcReader.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lurvik {

namespace {

constexpr size_t kChunk = 64 * 1024;
// A record header longer than this is damage, not a header.
constexpr size_t kMaxHeader = 1 << 20;
// The reply cap of a crawl: a block past it is refused rather than held.
constexpr int64_t kMaxBlock = int64_t(1) << 30;

z_stream* stream(void* p) {
    return static_cast<z_stream*>(p);
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return std::string(text);
}

} // namespace

std::string_view WarcRecord::field(std::string_view name) const {
    for (const auto& [key, value] : fields)
        if (equalNoCase(key, name))
            return value;
    return {};
}

WarcReader::~WarcReader() {
    if (m_zstream) {
        inflateEnd(stream(m_zstream));
        delete stream(m_zstream);
    }
    if (m_file)
        std::fclose(m_file);
}

int WarcReader::open(const std::string& path) {
    m_file = std::fopen(path.c_str(), "rb");
    if (!m_file)
        return errno;
    unsigned char magic[2] = {};
    m_compressed = std::fread(magic, 1, 2, m_file) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
    m_zstream = new z_stream{};
    // 16 + MAX_WBITS: gzip members, whose ends the inflater reports.
    if (inflateInit2(stream(m_zstream), 16 + MAX_WBITS) != Z_OK)
        return ENOMEM;
    m_in.resize(kChunk);
    restart(0);
    return 0;
}

void WarcReader::restart(int64_t offset) {
    std::fseek(m_file, offset, SEEK_SET);
    m_inFileOffset = offset;
    m_inPos = m_inLen = 0;
    m_inMember = false;
    m_buffer.clear();
    m_bufferPos = 0;
    m_dropped = 0;
    m_members.clear();
    if (!m_compressed)
        m_members.emplace_back(0, offset);
    m_end = false;
}

bool WarcReader::readMore(char* data, size_t n, size_t& got) {
    got = std::fread(data, 1, n, m_file);
    return got > 0;
}

bool WarcReader::inflateMore() {
    z_stream* z = stream(m_zstream);
    if (m_inPos == m_inLen) {
        m_inFileOffset += static_cast<int64_t>(m_inLen);
        m_inPos = 0;
        if (!readMore(m_in.data(), m_in.size(), m_inLen)) {
            m_inLen = 0;
            return false;
        }
    }
    if (!m_inMember) {
        // Whatever lies between members (padding a writer added) is not a member.
        if (static_cast<unsigned char>(m_in[m_inPos]) != 0x1f)
            return false;
        inflateReset(z);
        m_members.emplace_back(m_dropped + static_cast<int64_t>(m_buffer.size()),
                               m_inFileOffset + static_cast<int64_t>(m_inPos));
        m_inMember = true;
    }
    char out[kChunk];
    z->next_in = reinterpret_cast<Bytef*>(m_in.data() + m_inPos);
    z->avail_in = static_cast<uInt>(m_inLen - m_inPos);
    z->next_out = reinterpret_cast<Bytef*>(out);
    z->avail_out = sizeof out;
    int result = inflate(z, Z_NO_FLUSH);
    m_inPos = m_inLen - z->avail_in;
    m_buffer.append(out, sizeof out - z->avail_out);
    if (result == Z_STREAM_END) {
        m_inMember = false;
        return true;
    }
    return result == Z_OK || (result == Z_BUF_ERROR && z->avail_in == 0);
}

bool WarcReader::fill(size_t n) {
    // The consumed front goes once it outweighs what is left, so a long archive never piles up.
    if (m_bufferPos > kChunk && m_bufferPos * 2 > m_buffer.size()) {
        m_buffer.erase(0, m_bufferPos);
        m_dropped += static_cast<int64_t>(m_bufferPos);
        m_bufferPos = 0;
    }
    while (m_buffer.size() - m_bufferPos < n && !m_end) {
        if (m_compressed) {
            if (!inflateMore())
                m_end = true;
        } else {
            char chunk[kChunk];
            size_t got = 0;
            if (readMore(chunk, sizeof chunk, got))
                m_buffer.append(chunk, got);
            else
                m_end = true;
        }
    }
    return m_buffer.size() - m_bufferPos >= n;
}

void WarcReader::position(int64_t& offset, int64_t& skip) const {
    int64_t at = m_dropped + static_cast<int64_t>(m_bufferPos);
    if (!m_compressed) {
        offset = m_members.front().second + at;
        skip = 0;
        return;
    }
    offset = 0;
    skip = at;
    for (auto it = m_members.rbegin(); it != m_members.rend(); ++it) {
        if (it->first <= at) {
            offset = it->second;
            skip = at - it->first;
            return;
        }
    }
}

int WarcReader::fail(const std::string& text, int64_t offset) {
    m_errorText = text;
    m_errorOffset = offset;
    return -1;
}

int WarcReader::next(WarcRecord& record) {
    record.fields.clear();
    record.block.clear();
    // Records are separated by blank lines; a member may also begin with them.
    while (fill(1) && (m_buffer[m_bufferPos] == '\r' || m_buffer[m_bufferPos] == '\n'))
        ++m_bufferPos;
    if (!fill(1))
        return 0;
    position(record.offset, record.skip);
    size_t headerEnd = std::string::npos;
    for (size_t want = 256; headerEnd == std::string::npos; want *= 2) {
        bool more = fill(std::min(want, kMaxHeader));
        headerEnd = m_buffer.find("\r\n\r\n", m_bufferPos);
        if (headerEnd != std::string::npos && headerEnd - m_bufferPos > kMaxHeader)
            headerEnd = std::string::npos;
        if (headerEnd == std::string::npos && (!more || want >= kMaxHeader)) {
            m_bufferPos = m_buffer.size();
            m_end = true;
            return fail("a record header without an end", record.offset);
        }
    }
    std::string_view header(m_buffer.data() + m_bufferPos, headerEnd - m_bufferPos);
    if (header.substr(0, 5) != "WARC/") {
        // Not a record: go on from the next line that starts one.
        size_t again = m_buffer.find("\nWARC/", m_bufferPos);
        m_bufferPos = again == std::string::npos ? headerEnd + 4 : again + 1;
        return fail("not a WARC record", record.offset);
    }
    size_t lineEnd = header.find("\r\n");
    std::string_view lines =
        lineEnd == std::string_view::npos ? std::string_view() : header.substr(lineEnd + 2);
    while (!lines.empty()) {
        size_t end = lines.find("\r\n");
        std::string_view line = lines.substr(0, end);
        lines = end == std::string_view::npos ? std::string_view() : lines.substr(end + 2);
        if ((line.front() == ' ' || line.front() == '\t') && !record.fields.empty()) {
            record.fields.back().second += " " + trimmed(line);
            continue;
        }
        size_t colon = line.find(':');
        if (colon != std::string_view::npos)
            record.fields.emplace_back(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    }
    m_bufferPos = headerEnd + 4;
    std::string length(record.field("Content-Length"));
    char* parsedEnd = nullptr;
    long long size = std::strtoll(length.c_str(), &parsedEnd, 10);
    if (length.empty() || *parsedEnd != '\0' || size < 0 || size > kMaxBlock)
        return fail("a record without a usable Content-Length", record.offset);
    if (!fill(static_cast<size_t>(size))) {
        m_bufferPos = m_buffer.size();
        return fail("the archive ends inside a record", record.offset);
    }
    record.block.assign(m_buffer, m_bufferPos, static_cast<size_t>(size));
    m_bufferPos += static_cast<size_t>(size);
    return 1;
}

int WarcReader::readAt(int64_t offset, int64_t skip, WarcRecord& record) {
    restart(offset);
    if (skip > 0) {
        if (!fill(static_cast<size_t>(skip)))
            return fail("the archive ends before the record", offset);
        m_bufferPos += static_cast<size_t>(skip);
    }
    return next(record);
}

} // namespace lurvik
