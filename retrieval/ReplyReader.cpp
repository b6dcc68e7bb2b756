#include "ReplyReader.h"

#include "HttpReply.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

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

// The header fields that frame and encode a reply.
struct HeadFields {
    bool hasTransferCoding = false;
    bool chunked = false; // chunked is the last transfer coding
    bool hasLength = false;
    size_t contentLength = 0;
    std::vector<std::string> codings; // content codings in the order they were applied
    bool decodable = false;           // every content coding is one we can undo
    bool connectionClose = false;
    bool connectionKeepAlive = false;
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

template <typename Each>
void forEachToken(std::string_view list, Each each) {
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        std::string_view item =
            trimmed(list.substr(start, comma == std::string_view::npos ? list.npos : comma - start));
        if (!item.empty())
            each(item);
        if (comma == std::string_view::npos)
            return;
        start = comma + 1;
    }
}

// A length is digits only; a list of them (a proxy folding repeated fields) must agree. 1 when
// the value is malformed or disagrees with one read before.
int readContentLength(std::string_view value, HeadFields& fields) {
    int result = 0;
    bool any = false;
    forEachToken(value, [&](std::string_view item) {
        any = true;
        if (item.size() > 18 || item.find_first_not_of("0123456789") != std::string_view::npos) {
            result = 1;
            return;
        }
        size_t length = std::stoull(std::string(item));
        if (fields.hasLength && length != fields.contentLength)
            result = 1;
        fields.hasLength = true;
        fields.contentLength = length;
    });
    return any ? result : 1;
}

// 1 when the head frames its body in a way that cannot be trusted.
int readHeadFields(std::string_view head, HeadFields& fields) {
    bool unknownCoding = false;
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
        std::string_view value = trimmed(line.substr(colon + 1));
        if (equalsIgnoringCase(name, "Transfer-Encoding")) {
            forEachToken(value, [&](std::string_view item) {
                fields.hasTransferCoding = true;
                fields.chunked = equalsIgnoringCase(item, "chunked");
            });
        } else if (equalsIgnoringCase(name, "Content-Length")) {
            if (readContentLength(value, fields) != 0)
                return 1;
        } else if (equalsIgnoringCase(name, "Content-Encoding")) {
            forEachToken(value, [&](std::string_view item) {
                if (equalsIgnoringCase(item, "identity"))
                    return;
                if (equalsIgnoringCase(item, "gzip") || equalsIgnoringCase(item, "x-gzip") ||
                    equalsIgnoringCase(item, "deflate"))
                    fields.codings.emplace_back(item);
                else
                    unknownCoding = true;
            });
        } else if (equalsIgnoringCase(name, "Connection")) {
            if (containsToken(value, "close"))
                fields.connectionClose = true;
            else if (containsToken(value, "keep-alive"))
                fields.connectionKeepAlive = true;
        }
    }
    // A coding we cannot undo leaves the body as it came: half undone it would be neither form.
    fields.decodable = !unknownCoding && !fields.codings.empty();
    return 0;
}

} // namespace

const char* ReplyReader::failureText(Failure failure) {
    switch (failure) {
    case Failure::TooLarge:
        return "Error - Page larger than 64 MB";
    case Failure::CutShort:
        return "Error - Reply cut short";
    case Failure::BadFraming:
        return "Error - Reply length is malformed";
    default:
        break;
    }
    return "Error - Could not decode the reply";
}

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
            m_sawInterim = true;
            m_head.erase(0, end);
            continue;
        }
        m_keepAlive = head.compare(0, 8, "HTTP/1.0") != 0;
        HeadFields fields;
        if (readHeadFields(head, fields) != 0)
            return fail(Failure::BadFraming);
        if (fields.connectionClose)
            m_keepAlive = false;
        else if (fields.connectionKeepAlive)
            m_keepAlive = true;
        out.append(m_head, 0, end);
        m_head.erase(0, end);
        if (fields.decodable) {
            // The codings are listed in the order they were applied: the last is undone first.
            for (auto it = fields.codings.rbegin(); it != fields.codings.rend(); ++it)
                m_inflaters.push_back(std::make_unique<BodyInflater>(m_maxBody));
        }
        m_state = State::Body;
        const bool noBody = m_noBody || m_status == 204 || m_status == 304;
        if (noBody) {
            m_framed = true;
            m_state = State::Done;
        } else if (fields.hasTransferCoding) {
            // A length beside a transfer coding may be a smuggling attempt: the coding frames the
            // reply, and the connection carries nothing after it.
            if (fields.hasLength)
                m_keepAlive = false;
            if (fields.chunked) {
                m_framing = Framing::Chunked;
                m_framed = true;
            }
        } else if (fields.hasLength) {
            m_framing = Framing::Length;
            m_remaining = fields.contentLength;
            m_framed = true;
            if (m_remaining == 0)
                m_state = State::Done;
        }
        return m_state;
    }
}

ReplyReader::State ReplyReader::emit(const char* data, size_t length, std::string& out) {
    if (length == 0)
        return m_state;
    m_bodyBytes += length;
    if (m_inflaters.empty()) {
        if (m_bodyBytes > m_maxBody)
            return fail(Failure::TooLarge);
        out.append(data, length);
        return m_state;
    }
    std::string stages[2];
    const char* in = data;
    size_t inLength = length;
    for (size_t i = 0; i < m_inflaters.size(); ++i) {
        const bool isLast = i + 1 == m_inflaters.size();
        std::string& target = isLast ? out : stages[i % 2];
        if (!isLast)
            target.clear();
        BodyInflater::Result result = m_inflaters[i]->inflate(in, inLength, target);
        if (result == BodyInflater::Result::TooLarge)
            return fail(Failure::TooLarge);
        if (result == BodyInflater::Result::Corrupt)
            return fail(Failure::Corrupt);
        in = target.data();
        inLength = target.size();
    }
    return m_state;
}

ReplyReader::State ReplyReader::finish() {
    m_state = State::Done;
    if (m_bodyBytes == 0)
        return m_state;
    for (const auto& inflater : m_inflaters)
        if (!inflater->isComplete())
            return fail(Failure::CutShort);
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
        // Bytes past the stated length belong to no request of ours: the connection is not reused.
        if (take < length)
            m_keepAlive = false;
        if (emit(data, take, out) == State::Failed)
            return m_state;
        return m_remaining == 0 ? finish() : m_state;
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
            if (at < length)
                m_keepAlive = false;
            return finish();
        }
    }
    return m_state;
}

ReplyReader::State ReplyReader::close(std::string&) {
    if (m_state == State::Head) {
        // Nothing at all came: the caller tells that from a reply. Anything else stopped part-way.
        if (m_head.empty() && !m_sawInterim) {
            m_state = State::Done;
            return m_state;
        }
        return fail(Failure::CutShort);
    }
    if (m_state != State::Body)
        return m_state;
    m_framed = false;
    if (m_framing != Framing::Close)
        return fail(Failure::CutShort);
    return finish();
}

} // namespace lurvik
