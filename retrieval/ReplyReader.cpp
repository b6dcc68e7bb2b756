#include "ReplyReader.h"

#include "HttpReply.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace lurvik {

namespace {

// A head larger than this is no head a server meant: the bytes pass through as a bare reply.
constexpr size_t kMaxHeadBytes = 64 * 1024;
constexpr size_t kMaxChunkLine = 4096;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20) || x == y;
           });
}

bool containsToken(std::string_view list, std::string_view token) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string_view item =
            list.substr(start, comma == std::string_view::npos ? list.npos : comma - start);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (equalsIgnoringCase(item, token))
            return true;
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return false;
}

} // namespace

ReplyReader::State ReplyReader::fail(Failure failure) {
    m_failure = failure;
    m_state = State::Failed;
    return m_state;
}

ReplyReader::State ReplyReader::feed(const char* data, size_t length, std::string& out) {
    m_wireBytes += length;
    if (m_state == State::Head) {
        m_head.append(data, length);
        State state = takeHead(out);
        if (state != State::Body)
            return state;
        // What followed the head in the same read is body.
        std::string rest;
        rest.swap(m_head);
        return takeBody(rest.data(), rest.size(), out);
    }
    if (m_state == State::Body)
        return takeBody(data, length, out);
    return m_state;
}

ReplyReader::State ReplyReader::takeHead(std::string& out) {
    for (;;) {
        const bool hasStatusLine = m_head.compare(0, std::min<size_t>(m_head.size(), 5), "HTTP/", 0,
                                                  std::min<size_t>(m_head.size(), 5)) == 0;
        if (!hasStatusLine || m_head.size() > kMaxHeadBytes) {
            m_framing = Framing::Close;
            m_state = State::Body;
            return m_state;
        }
        size_t end = replyHeadEnd(m_head);
        if (end == std::string::npos)
            return m_state;
        std::string_view head(m_head.data(), end);
        m_status = head.size() >= 12 ? std::atoi(std::string(head.substr(9, 3)).c_str()) : 0;
        if (m_status >= 100 && m_status < 200 && m_status != 101) {
            // An interim reply; the real one follows on the same connection.
            m_head.erase(0, end);
            continue;
        }
        m_keepAlive = head.compare(0, 8, "HTTP/1.0") != 0;
        bool chunked = false;
        bool hasLength = false;
        size_t contentLength = 0;
        bool inflate = false;
        size_t lineStart = head.find('\n') + 1;
        while (lineStart < head.size()) {
            size_t lineEnd = head.find('\n', lineStart);
            std::string_view line = head.substr(lineStart, lineEnd - lineStart);
            lineStart = lineEnd + 1;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            size_t colon = line.find(':');
            if (colon == std::string_view::npos)
                continue;
            std::string_view name = line.substr(0, colon);
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.remove_prefix(1);
            if (equalsIgnoringCase(name, "Transfer-Encoding")) {
                chunked = containsToken(value, "chunked");
            } else if (equalsIgnoringCase(name, "Content-Length")) {
                std::string digits(value.substr(0, value.find_first_not_of("0123456789")));
                hasLength = !digits.empty() && digits.size() < 19;
                contentLength = hasLength ? std::stoull(digits) : 0;
            } else if (equalsIgnoringCase(name, "Content-Encoding")) {
                inflate = containsToken(value, "gzip") || containsToken(value, "x-gzip") ||
                          containsToken(value, "deflate");
            } else if (equalsIgnoringCase(name, "Connection")) {
                if (containsToken(value, "close"))
                    m_keepAlive = false;
                else if (containsToken(value, "keep-alive"))
                    m_keepAlive = true;
            }
        }
        out.append(m_head, 0, end);
        m_head.erase(0, end);
        if (inflate)
            m_inflater = std::make_unique<BodyInflater>(m_maxBody);
        m_state = State::Body;
        const bool noBody = m_noBody || m_status == 204 || m_status == 304;
        if (noBody || (!chunked && hasLength && contentLength == 0)) {
            m_framed = true;
            m_state = State::Done;
        } else if (chunked) {
            m_framing = Framing::Chunked;
            m_framed = true;
        } else if (hasLength) {
            m_framing = Framing::Length;
            m_remaining = contentLength;
            m_framed = true;
        }
        return m_state;
    }
}

ReplyReader::State ReplyReader::emit(const char* data, size_t length, std::string& out) {
    if (m_inflater) {
        BodyInflater::Result result = m_inflater->inflate(data, length, out);
        if (result == BodyInflater::Result::TooLarge)
            return fail(Failure::TooLarge);
        if (result == BodyInflater::Result::Corrupt)
            return fail(Failure::Corrupt);
        return m_state;
    }
    out.append(data, length);
    return m_state;
}

ReplyReader::State ReplyReader::takeBody(const char* data, size_t length, std::string& out) {
    if (m_state != State::Body || length == 0)
        return m_state;
    if (m_framing == Framing::Chunked)
        return takeChunked(data, length, out);
    if (m_framing == Framing::Length) {
        size_t take = std::min(length, m_remaining);
        m_remaining -= take;
        if (m_remaining == 0)
            m_state = State::Done;
        // Bytes past the stated length belong to no request of ours: the connection is not reused.
        if (take < length)
            m_keepAlive = false;
        return emit(data, take, out);
    }
    return emit(data, length, out);
}

ReplyReader::State ReplyReader::takeChunked(const char* data, size_t length, std::string& out) {
    size_t at = 0;
    while (at < length && m_state == State::Body) {
        if (m_chunkStep == ChunkStep::Data) {
            size_t take = std::min(length - at, m_remaining);
            m_remaining -= take;
            if (m_remaining == 0)
                m_chunkStep = ChunkStep::DataEnd;
            if (emit(data + at, take, out) == State::Failed)
                return m_state;
            at += take;
            continue;
        }
        const char* newline = static_cast<const char*>(std::memchr(data + at, '\n', length - at));
        size_t take = newline ? static_cast<size_t>(newline - (data + at)) + 1 : length - at;
        m_line.append(data + at, take);
        at += take;
        if (!newline) {
            if (m_line.size() > kMaxChunkLine)
                return fail(Failure::Corrupt);
            continue;
        }
        std::string line;
        line.swap(m_line);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (m_chunkStep == ChunkStep::DataEnd) {
            m_chunkStep = ChunkStep::Size;
        } else if (m_chunkStep == ChunkStep::Size) {
            size_t digits = line.find_first_not_of("0123456789abcdefABCDEF");
            std::string hex = line.substr(0, digits);
            if (hex.empty() || hex.size() > 15)
                return fail(Failure::Corrupt);
            m_remaining = std::stoull(hex, nullptr, 16);
            m_chunkStep = m_remaining == 0 ? ChunkStep::Trailer : ChunkStep::Data;
        } else if (line.empty()) {
            m_state = State::Done;
            if (at < length)
                m_keepAlive = false;
        }
    }
    return m_state;
}

ReplyReader::State ReplyReader::close(std::string& out) {
    if (m_state == State::Head) {
        // No complete head ever came: what arrived is the reply.
        out.append(m_head);
        m_head.clear();
    }
    if (m_state == State::Head || m_state == State::Body) {
        m_framed = false;
        m_state = State::Done;
    }
    return m_state;
}

} // namespace lurvik
